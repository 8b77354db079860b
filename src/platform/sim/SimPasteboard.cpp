#include "platform/sim/SimPasteboard.h"

namespace murmo {

std::int64_t SimPasteboard::changeCount() { return desktop_.model().pasteboard.changeCount; }

std::optional<std::vector<PasteboardItemReference>> SimPasteboard::items() {
    if (desktop_.takePasteboardFault(SimPasteboardOperation::readItems, {})) {
        desktop_.logPasteboardCall(SimPasteboardOperation::readItems, {}, false);
        return std::nullopt;
    }
    const auto& state = desktop_.model().pasteboard;
    std::vector<PasteboardItemReference> listed;
    for (std::size_t index = 0; index < state.items.size(); ++index) {
        PasteboardItemReference reference{.changeCount = state.changeCount, .index = index};
        for (const auto& representation : state.items[index].representations) {
            reference.types.push_back(representation.type);
        }
        listed.push_back(std::move(reference));
    }
    desktop_.logPasteboardCall(SimPasteboardOperation::readItems, {}, true);
    return listed;
}

std::optional<PasteboardBytes> SimPasteboard::data(const PasteboardItemReference& item, std::string_view type) {
    std::optional<PasteboardBytes> found;
    const auto& state = desktop_.model().pasteboard;
    if (!desktop_.takePasteboardFault(SimPasteboardOperation::readData, type) &&
        item.changeCount == state.changeCount && item.index < state.items.size()) {
        if (const auto* bytes = state.items[item.index].data(type)) found = *bytes;
    }
    desktop_.logPasteboardCall(SimPasteboardOperation::readData, type, found.has_value());
    return found;
}

std::int64_t SimPasteboard::clearContents() {
    auto& state = desktop_.model().pasteboard;
    ++state.changeCount;
    state.items.clear();
    const auto count = state.changeCount;
    desktop_.logPasteboardCall(SimPasteboardOperation::clear, {}, true);
    return count;
}

bool SimPasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    const bool written = !desktop_.takePasteboardFault(SimPasteboardOperation::write, {});
    if (written) {
        auto& state = desktop_.model().pasteboard;
        state.items.insert(state.items.end(), items.begin(), items.end());
    }
    desktop_.logPasteboardCall(SimPasteboardOperation::write, {}, written);
    return written;
}

bool SimPasteboard::replaceContents(const std::vector<PasteboardItem>& items) {
    const bool written = !desktop_.takePasteboardFault(SimPasteboardOperation::write, {});
    if (written) {
        auto& state = desktop_.model().pasteboard;
        ++state.changeCount;
        state.items = items;
    }
    desktop_.logPasteboardCall(SimPasteboardOperation::replace, {}, written);
    return written;
}

}  // namespace murmo
