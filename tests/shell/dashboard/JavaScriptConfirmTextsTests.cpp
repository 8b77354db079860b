#include "shell/dashboard/JavaScriptConfirmTexts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace murmo {
namespace {

NativeLocalizedStrings english() { return NativeLocalizedStrings(NativeAppLanguage::english, {}); }

TEST(JavaScriptConfirmTextsTest, TheFirstLineIsTheMessageAndTheRestTrimmedIsTheInformativeText) {
    struct Case {
        const char* message;
        const char* messageText;
        // Null: no informative text.
        const char* informativeText;
    };
    const Case cases[] = {
        {"Discard the draft?", "Discard the draft?", nullptr},
        {"Discard the draft?\n  Your changes will be lost. \n", "Discard the draft?", "Your changes will be lost."},
        // Unicode white space, not only ASCII: no-break and ideographic spaces.
        {"Discard?\n\u00A0Unsaved writing is lost.\u3000", "Discard?", "Unsaved writing is lost."},
        {"Discard?\n\u3000\u00A0Unsaved\u00A0writing\u00A0", "Discard?", "Unsaved\u00A0writing"},
        {"Discard?\n\u3000\u00A0\t\n", "Discard?", nullptr},
        // One split only; what follows keeps its inner line breaks.
        {"Discard?\n\nFirst.\n\nSecond.", "Discard?", "First.\n\nSecond."},
        // Empty pieces are skipped, so leading line feeds vanish.
        {"\n\nDiscard?\nLost.", "Discard?", "Lost."},
        {"Discard?\n", "Discard?", nullptr},
        // The first line is shown as the page wrote it.
        {"  Discard?  \nLost.", "  Discard?  ", "Lost."},
        // Nothing but line feeds: the message as it is.
        {"\n\n", "\n\n", nullptr},
        {"", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto texts = JavaScriptConfirmTexts::make(c.message, english());
        EXPECT_EQ(texts.messageText, c.messageText);
        EXPECT_EQ(texts.informativeText,
                  c.informativeText ? std::optional<std::string>(c.informativeText) : std::nullopt);
    }
}

TEST(JavaScriptConfirmTextsTest, ButtonsComeFromTheCatalogInTheResolvedLanguage) {
    struct Case {
        NativeAppLanguage language;
        std::vector<std::string> preferredLanguages;
        const char* confirm;
        const char* cancel;
    };
    const Case cases[] = {
        {NativeAppLanguage::english, {"tr-TR"}, "Confirm", "Cancel"},
        {NativeAppLanguage::turkish, {"en-US"}, "Onayla", "Vazgeç"},
        {NativeAppLanguage::system, {"tr-TR", "en-US"}, "Onayla", "Vazgeç"},
        {NativeAppLanguage::system, {}, "Confirm", "Cancel"},
        // A language the catalog has no texts of shows the English ones.
        {NativeAppLanguage::german, {}, "Confirm", "Cancel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.language)));
        const auto texts =
            JavaScriptConfirmTexts::make("Discard?\nLost.", NativeLocalizedStrings(c.language, c.preferredLanguages));
        EXPECT_EQ(texts, (JavaScriptConfirmTexts{"Discard?", "Lost.", c.confirm, c.cancel}));
    }
}

}  // namespace
}  // namespace murmo
