#include "platform/linux/X11ClipboardTargets.h"

#include <algorithm>
#include <array>

#include "runtime/Unicode.h"

namespace murmo::x11_clipboard {

namespace {

constexpr std::array<std::string_view, 9> kMetaTargets{
    "TARGETS",          "TIMESTAMP",       "MULTIPLE",         "SAVE_TARGETS",    "DELETE",
    "INSERT_SELECTION", "INSERT_PROPERTY", "_GTK_SAVE_TARGETS", "SAVE_TARGETS_REPLY",
};

constexpr std::string_view kLatin1Target = "STRING";
constexpr std::string_view kPlainMimeTarget = "text/plain";

bool isPlainTextTarget(std::string_view target) { return target == kUTF8StringTarget || target == kUTF8MimeTarget; }

void addOnce(std::vector<ServedTarget>& served, std::string_view target, const PasteboardBytes& bytes) {
    const bool present =
        std::ranges::any_of(served, [&](const ServedTarget& existing) { return existing.target == target; });
    if (!present) served.push_back(ServedTarget{.target = std::string(target), .bytes = bytes});
}

}  // namespace

bool isMetaTarget(std::string_view target) { return std::ranges::find(kMetaTargets, target) != kMetaTargets.end(); }

std::optional<std::string> typeOfTarget(std::string_view target) {
    if (isMetaTarget(target) || target.empty()) return std::nullopt;
    if (isPlainTextTarget(target)) return std::string(kPasteboardPlainTextType);
    return std::string(target);
}

std::vector<std::string> typesOfTargets(const std::vector<std::string>& targets) {
    std::vector<std::string> types;
    for (const auto& target : targets) {
        auto type = typeOfTarget(target);
        if (type && std::ranges::find(types, *type) == types.end()) types.push_back(std::move(*type));
    }
    return types;
}

std::vector<std::string> targetsOfType(std::string_view type) {
    if (type == kPasteboardPlainTextType) return {std::string(kUTF8StringTarget), std::string(kUTF8MimeTarget)};
    if (typeOfTarget(type)) return {std::string(type)};
    return {};
}

std::optional<PasteboardBytes> latin1(const PasteboardBytes& utf8) {
    const auto points = unicode::codePoints(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    if (!points) return std::nullopt;
    PasteboardBytes bytes;
    bytes.reserve(points->size());
    for (const char32_t point : *points) {
        if (point > 0xff) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(point));
    }
    return bytes;
}

std::vector<ServedTarget> servedTargets(const std::vector<PasteboardItem>& items) {
    std::vector<ServedTarget> served;
    // Explicit representations first, so that none is shadowed by one
    // derived from the plain text.
    for (const auto& item : items) {
        for (const auto& representation : item.representations) {
            if (representation.type != kPasteboardPlainTextType && typeOfTarget(representation.type)) {
                addOnce(served, representation.type, representation.data);
            }
        }
    }
    const PasteboardBytes* text = nullptr;
    for (const auto& item : items) {
        if ((text = item.data(kPasteboardPlainTextType))) break;
    }
    if (!text) return served;
    const auto narrow = latin1(*text);
    std::vector<ServedTarget> withText;
    const auto addDerived = [&](std::string_view target, const PasteboardBytes& bytes) {
        const auto explicitOne =
            std::ranges::find_if(served, [&](const ServedTarget& existing) { return existing.target == target; });
        addOnce(withText, target, explicitOne == served.end() ? bytes : explicitOne->bytes);
    };
    // The text leads: readers that take the first target they know pick it.
    addDerived(kUTF8StringTarget, *text);
    addDerived(kUTF8MimeTarget, *text);
    if (narrow) {
        addDerived(kLatin1Target, *narrow);
        addDerived(kPlainMimeTarget, *narrow);
    }
    for (const auto& target : served) addOnce(withText, target.target, target.bytes);
    return withText;
}

}  // namespace murmo::x11_clipboard
