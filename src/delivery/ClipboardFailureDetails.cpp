#include "delivery/ClipboardFailureDetails.h"

#include <string_view>

namespace murmo {

ClipboardFailureDetails ClipboardFailureDetails::from(std::optional<ClipboardPreparationFailure> failure) {
    static constexpr std::string_view unsafe = "Dorvex could not safely prepare the clipboard or paste command.";
    auto unsupported = [](std::string_view code) {
        return ClipboardFailureDetails{"unsupported", std::string(code), std::string(unsafe)};
    };
    if (!failure) return unsupported("clipboard_paste_unavailable");
    if (*failure == ClipboardPreparationFailure::eventAccessDenied) {
        return ClipboardFailureDetails{"permission_denied", std::string(rawValue(*failure)),
                                       "macOS has not allowed this Dorvex app to send keyboard events."};
    }
    return unsupported(rawValue(*failure));
}

}  // namespace murmo
