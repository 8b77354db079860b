#pragma once

// The texts of the native dialog that stands for the page's confirm(): the
// first line of the page's message as the dialog's message, what follows as
// its smaller informative text, and the two buttons in the interface
// language. The dialog itself belongs to the window.

#include <optional>
#include <string>
#include <string_view>

#include "services/NativeStringCatalog.h"

namespace murmo {

struct JavaScriptConfirmTexts {
    std::string messageText;
    // Absent when the message has no second line, or only white space there.
    std::optional<std::string> informativeText;
    // The first button: confirming is the destructive choice, and the default.
    std::string confirmTitle;
    std::string cancelTitle;

    // Splits `message` once, at the first line feed that ends a non-empty
    // piece (line feeds before the first line are skipped, and no piece is
    // empty); the second piece loses Unicode white space and line breaks at
    // both ends. A message of line feeds alone is shown whole.
    static JavaScriptConfirmTexts make(std::string_view message, const NativeLocalizedStrings& strings);

    bool operator==(const JavaScriptConfirmTexts&) const = default;
};

}  // namespace murmo
