// How clipboard targets become pasteboard types and back: plain text under
// its X names, meta targets left out, every other target kept by name, and
// what we serve for our items, explicit representations winning.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/linux/X11ClipboardTargets.h"

namespace murmo {
namespace {

using x11_clipboard::ServedTarget;

TEST(X11ClipboardTargets, OwnerTargetsBecomeTypes) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"UTF8_STRING", std::string(kPasteboardPlainTextType)},
        {"text/plain;charset=utf-8", std::string(kPasteboardPlainTextType)},
        {"image/png", "image/png"},
        {"STRING", "STRING"},
        {"text/html", "text/html"},
        {"TARGETS", std::nullopt},
        {"TIMESTAMP", std::nullopt},
        {"MULTIPLE", std::nullopt},
        {"SAVE_TARGETS", std::nullopt},
        {"DELETE", std::nullopt},
    };
    for (const auto& [target, type] : cases) EXPECT_EQ(x11_clipboard::typeOfTarget(target), type) << target;

    EXPECT_EQ(x11_clipboard::typesOfTargets(
                  {"TARGETS", "UTF8_STRING", "image/png", "text/plain;charset=utf-8", "TIMESTAMP", "STRING"}),
              (std::vector<std::string>{std::string(kPasteboardPlainTextType), "image/png", "STRING"}));
    EXPECT_EQ(x11_clipboard::targetsOfType(kPasteboardPlainTextType),
              (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8"}));
    EXPECT_EQ(x11_clipboard::targetsOfType("image/png"), (std::vector<std::string>{"image/png"}));
    EXPECT_TRUE(x11_clipboard::targetsOfType("TARGETS").empty());
}

std::vector<std::string> targetNames(const std::vector<ServedTarget>& served) {
    std::vector<std::string> names;
    for (const auto& target : served) names.push_back(target.target);
    return names;
}

TEST(X11ClipboardTargets, PlainTextIsServedUnderEveryTextTargetLatin1OnlyWhenRepresentable) {
    const auto latin = x11_clipboard::servedTargets({PasteboardItem::plainText("Grüße")});
    EXPECT_EQ(targetNames(latin),
              (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "text/plain"}));
    EXPECT_EQ(latin[0].bytes, pasteboardBytes("Grüße"));
    EXPECT_EQ(latin[1].bytes, pasteboardBytes("Grüße"));
    const PasteboardBytes latin1Bytes{'G', 'r', 0xfc, 0xdf, 'e'};
    EXPECT_EQ(latin[2].bytes, latin1Bytes);
    EXPECT_EQ(latin[3].bytes, latin1Bytes);

    for (const auto* text : {"emoji 👋", "€uro", "日本"}) {
        EXPECT_EQ(targetNames(x11_clipboard::servedTargets({PasteboardItem::plainText(text)})),
                  (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8"}))
            << text;
    }
    // Bytes that are no UTF-8 (a snapshot of a careless owner) go out as
    // they are, under the UTF-8 names only.
    const PasteboardItem broken{{{std::string(kPasteboardPlainTextType), {0xff, 0xfe, 'a'}}}};
    const auto served = x11_clipboard::servedTargets({broken});
    EXPECT_EQ(targetNames(served), (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8"}));
    EXPECT_EQ(served[0].bytes, (PasteboardBytes{0xff, 0xfe, 'a'}));
}

TEST(X11ClipboardTargets, ExplicitRepresentationsWinAndItemsMergeFirstWins) {
    // A snapshot holds the owner's STRING as it was; the restore serves it,
    // not a conversion of the plain text.
    const PasteboardBytes ownersString{'o', 'l', 'd'};
    const PasteboardItem snapshot{{
        {std::string(kPasteboardPlainTextType), pasteboardBytes("new")},
        {"STRING", ownersString},
        {"image/png", {0x89, 'P', 'N', 'G', 0, 0, 1}},
        {"TARGETS", {1, 2, 3}},
    }};
    const PasteboardItem second{{{"image/png", {9}}, {"text/html", pasteboardBytes("<b>x</b>")}}};
    const auto served = x11_clipboard::servedTargets({snapshot, second});
    EXPECT_EQ(targetNames(served), (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8", "STRING",
                                                             "text/plain", "image/png", "text/html"}));
    EXPECT_EQ(served[2].bytes, ownersString);
    EXPECT_EQ(served[3].bytes, pasteboardBytes("new"));
    EXPECT_EQ(served[4].bytes, (PasteboardBytes{0x89, 'P', 'N', 'G', 0, 0, 1}));

    EXPECT_TRUE(x11_clipboard::servedTargets({}).empty());
    EXPECT_EQ(targetNames(x11_clipboard::servedTargets({second})), (std::vector<std::string>{"image/png", "text/html"}));
}

}  // namespace
}  // namespace murmo
