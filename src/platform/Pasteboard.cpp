#include "platform/Pasteboard.h"

namespace murmo {

PasteboardBytes pasteboardBytes(std::string_view text) { return PasteboardBytes(text.begin(), text.end()); }

PasteboardItem PasteboardItem::plainText(std::string_view text) {
    return PasteboardItem{.representations = {PasteboardRepresentation{.type = std::string(kPasteboardPlainTextType),
                                                                       .data = pasteboardBytes(text)}}};
}

const PasteboardBytes* PasteboardItem::data(std::string_view type) const {
    for (const auto& representation : representations) {
        if (representation.type == type) return &representation.data;
    }
    return nullptr;
}

}  // namespace murmo
