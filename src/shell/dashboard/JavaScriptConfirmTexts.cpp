#include "shell/dashboard/JavaScriptConfirmTexts.h"

#include "runtime/Unicode.h"

namespace murmo {

namespace {

struct MessagePieces {
    std::string_view first;
    std::optional<std::string_view> second;
};

// At most two non-empty pieces: the first line (after any leading line
// feeds) and everything after the line feed that ends it.
std::optional<MessagePieces> splitOnce(std::string_view message) {
    const auto start = message.find_first_not_of('\n');
    if (start == std::string_view::npos) return std::nullopt;
    message.remove_prefix(start);
    const auto end = message.find('\n');
    if (end == std::string_view::npos) return MessagePieces{message, std::nullopt};
    const auto rest = message.substr(end + 1);
    if (rest.empty()) return MessagePieces{message.substr(0, end), std::nullopt};
    return MessagePieces{message.substr(0, end), rest};
}

}  // namespace

JavaScriptConfirmTexts JavaScriptConfirmTexts::make(std::string_view message, const NativeLocalizedStrings& strings) {
    JavaScriptConfirmTexts texts{std::string(message), std::nullopt, strings.confirm(), strings.cancel()};
    const auto pieces = splitOnce(message);
    if (!pieces) return texts;
    texts.messageText = std::string(pieces->first);
    if (pieces->second) {
        auto informative = unicode::trimWhitespaceAndNewlines(*pieces->second);
        // Nothing left to show: the dialog gets no informative text at all.
        if (!informative.empty()) texts.informativeText = std::move(informative);
    }
    return texts;
}

}  // namespace murmo
