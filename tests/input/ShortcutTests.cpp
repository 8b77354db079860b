#include <gtest/gtest.h>

#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "input/Shortcut.h"
#include "input/ShortcutMonitorError.h"
#include "input/ShortcutSpecPayload.h"

namespace murmo {
namespace {

constexpr auto kCommand = ShortcutModifiers::command;
constexpr auto kOption = ShortcutModifiers::option;
constexpr auto kControl = ShortcutModifiers::control;
constexpr auto kShift = ShortcutModifiers::shift;

TEST(ShortcutChoiceParse, AcceptsTheTextForms) {
    const std::vector<std::pair<std::string, ShortcutChoice>> cases{
        {"fn", ShortcutChoice::function()},
        {"FN", ShortcutChoice::function()},
        {"Function", ShortcutChoice::function()},
        {"fUnCtIoN", ShortcutChoice::function()},
        {"chord:49:Ctrl, Alt", ShortcutChoice::chord(49, kControl | kOption)},
        {"CHORD:49:cmd", ShortcutChoice::chord(49, kCommand)},
        {"chord:49:cmd,cmd", ShortcutChoice::chord(49, kCommand)},
        {"chord:49:,shift,,", ShortcutChoice::chord(49, kShift)},
        {"chord:0:\tcontrol\t,OPTION,Command,shift", ShortcutChoice::chord(0, kControl | kOption | kCommand | kShift)},
        {"chord:255:alt", ShortcutChoice::chord(255, kOption)},
        {"chord:053:ctrl", ShortcutChoice::chord(53, kControl)},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ShortcutChoice::parse(text), expected) << text;
    }
}

TEST(ShortcutChoiceParse, RejectsMalformedAndOutOfRangeTexts) {
    const std::vector<std::string> cases{
        "",
        "Fn/Globe",
        " fn",
        "fn ",
        "chord:49:",
        "chord:49:,,",
        "chord:49:cmd:x",
        "chord: 49:cmd",
        "chord:49 :cmd",
        "chord::cmd",
        "chord:55:cmd",
        "chord:63:shift",
        "chord:256:cmd",
        "chord:300:cmd",
        "chord:49:super",
        "chord:49: ,cmd",
        "chords:49:cmd",
        "chord:49",
        "chord:0x31:cmd",
        // A code that is negative or beyond 16 bits is rejected, never wrapped
        // onto a real key (65589 would wrap onto Escape, 65536 onto "A").
        "chord:-1:cmd",
        "chord:+49:cmd",
        "chord:65589:cmd",
        "chord:65536:cmd",
        "chord:99999999999999999999:cmd",
    };
    for (const auto& text : cases) {
        EXPECT_EQ(ShortcutChoice::parse(text), std::nullopt) << text;
    }
}

TEST(ShortcutChoiceText, CanonicalTextParsesBackForEveryChordWithModifiers) {
    EXPECT_EQ(ShortcutChoice::function().canonicalText(), "fn");
    EXPECT_EQ(ShortcutChoice::chord(49, kOption | kControl).canonicalText(), "chord:49:control,option");
    EXPECT_EQ(ShortcutChoice::chord(36, kCommand | kShift | kOption | kControl).canonicalText(),
              "chord:36:control,option,shift,command");
    EXPECT_EQ(ShortcutChoice::parse("fn"), ShortcutChoice::function());

    for (std::uint16_t code = 0; code < kChordKeyCodeLimit; ++code) {
        if (isModifierKeyCode(code)) continue;
        for (std::uint8_t raw = 1; raw <= 15; ++raw) {
            const auto choice = ShortcutChoice::chord(code, ShortcutModifiers{raw});
            ASSERT_EQ(ShortcutChoice::parse(choice.canonicalText()), choice) << choice.canonicalText();
        }
    }
}

TEST(ShortcutChoiceText, DescriptionNamesModifiersAndTheRawKeyCode) {
    EXPECT_EQ(ShortcutChoice::function().description(), "Fn/Globe (hold)");
    EXPECT_EQ(ShortcutChoice::chord(49, kOption | kControl).description(), "Control+Option+keyCode 49 (hold)");
    EXPECT_EQ(ShortcutChoice::chord(36, kCommand | kShift).description(), "Shift+Command+keyCode 36 (hold)");
    EXPECT_EQ(ShortcutChoice::chord(40, kCommand).localizedDescription(NativeAppLanguage::turkish),
              "Command+keyCode 40 (basılı tut)");
    EXPECT_EQ(ShortcutChoice::function().localizedDescription(NativeAppLanguage::turkish), "Fn/Globe (basılı tut)");
    // Languages without their own native texts show the English word.
    EXPECT_EQ(ShortcutChoice::function().localizedDescription(NativeAppLanguage::german), "Fn/Globe (hold)");
}

TEST(ShortcutMonitorErrorText, EnglishForLogsAndCatalogTextsForTheUser) {
    EXPECT_EQ(errorDescription(ShortcutMonitorError::inputMonitoringPermissionRequired),
              "Input Monitoring permission is required to listen for the Fn/Globe shortcut in other apps. Open macOS "
              "Permissions in Dorvex Settings.");
    EXPECT_EQ(errorDescription(ShortcutMonitorError::accessibilityPermissionRequired),
              "Accessibility permission is required to safely suppress the macOS Globe action for the Fn/Globe "
              "shortcut.");
    EXPECT_EQ(errorDescription(ShortcutMonitorError::eventTapUnavailable),
              "The global keyboard listener could not start. Check Input Monitoring and Accessibility permissions.");
    EXPECT_EQ(localizedDescription(ShortcutMonitorError::eventTapUnavailable, NativeAppLanguage::turkish),
              "Global klavye dinleyicisi başlatılamadı. Klavye İzleme ve Erişilebilirlik izinlerini kontrol edin.");
    EXPECT_EQ(localizedDescription(ShortcutMonitorError::accessibilityPermissionRequired, NativeAppLanguage::french),
              errorDescription(ShortcutMonitorError::accessibilityPermissionRequired));
}

TEST(ShortcutPurposeRawValue, RoundTripsAndRejectsOthers) {
    for (auto purpose : kAllShortcutPurposes) {
        EXPECT_EQ(shortcutPurposeFromRawValue(rawValue(purpose)), purpose);
    }
    EXPECT_EQ(rawValue(ShortcutPurpose::dictation), "dictation");
    EXPECT_EQ(rawValue(ShortcutPurpose::agent), "agent");
    EXPECT_EQ(shortcutPurposeFromRawValue("Agent"), std::nullopt);
    EXPECT_EQ(shortcutPurposeFromRawValue(""), std::nullopt);
}

TEST(ShortcutSpecPayloadBuild, FromChoiceGivesNamesAndDisplay) {
    const ShortcutSpecPayload fn(ShortcutChoice::function());
    EXPECT_EQ(fn, ShortcutSpecPayload("fn", std::nullopt, {}, "Fn/Globe"));

    const ShortcutSpecPayload returnChord(ShortcutChoice::chord(36, kCommand | kShift));
    EXPECT_EQ(returnChord, ShortcutSpecPayload("chord", 36, {"shift", "command"}, "⇧⌘Return"));

    EXPECT_EQ(ShortcutSpecPayload::displayString(10, kControl), "⌃Key 10");
    EXPECT_EQ(ShortcutSpecPayload::displayString(42, kOption), "⌥\\");
    EXPECT_EQ(ShortcutSpecPayload::displayString(49, kCommand | kShift | kOption | kControl), "⌃⌥⇧⌘Space");
    EXPECT_EQ(ShortcutSpecPayload::displayString(200, kShift), "⇧Key 200");
    EXPECT_EQ(ShortcutSpecPayload::names(kCommand | kShift | kOption | kControl | ShortcutModifiers::function),
              (std::vector<std::string>{"control", "option", "shift", "command"}));
}

TEST(ShortcutSpecPayloadValidate, DecodedShortcutTable) {
    struct Case {
        ShortcutSpecPayload payload;
        std::optional<ShortcutChoice> expected;
    };
    const std::vector<Case> cases{
        {{"fn", std::nullopt, {}, "Fn/Globe"}, ShortcutChoice::function()},
        {{"fn", std::nullopt, {}, "anything"}, ShortcutChoice::function()},
        {{"fn", 63, {}, "Fn/Globe"}, std::nullopt},
        {{"fn", std::nullopt, {"shift"}, "Fn/Globe"}, std::nullopt},
        {{"Fn", std::nullopt, {}, "Fn/Globe"}, std::nullopt},
        {{"chord", 49, {"control", "option"}, ""}, ShortcutChoice::chord(49, kControl | kOption)},
        {{"chord", 49, {"Command", "command"}, ""}, ShortcutChoice::chord(49, kCommand)},
        {{"chord", 0, {"SHIFT"}, ""}, ShortcutChoice::chord(0, kShift)},
        {{"chord", 255, {"shift"}, ""}, ShortcutChoice::chord(255, kShift)},
        {{"chord", 49, {"command", "command"}, ""}, std::nullopt},
        {{"chord", 49, {"cmd"}, ""}, std::nullopt},
        {{"chord", 49, {}, ""}, std::nullopt},
        {{"chord", 256, {"command"}, ""}, std::nullopt},
        {{"chord", 58, {"command"}, ""}, std::nullopt},
        {{"chord", std::nullopt, {"command"}, ""}, std::nullopt},
        {{"CHORD", 49, {"command"}, ""}, std::nullopt},
        {{"key", 49, {"command"}, ""}, std::nullopt},
    };
    for (const auto& [payload, expected] : cases) {
        EXPECT_EQ(payload.decodedShortcut(), expected) << payload.kind << " " << payload.keyCode.value_or(9999);
    }
}

TEST(ShortcutSpecPayloadJSON, EncodesInKeyOrderAndOmitsAnAbsentKeyCode) {
    EXPECT_EQ(ShortcutSpecPayload(ShortcutChoice::function()).encoded(),
              R"({"kind":"fn","modifiers":[],"display":"Fn/Globe"})");
    EXPECT_EQ(ShortcutSpecPayload(ShortcutChoice::chord(0, kCommand)).encoded(),
              R"({"kind":"chord","modifiers":["command"],"display":"⌘A","key_code":0})");
    EXPECT_FALSE(ShortcutSpecPayload(ShortcutChoice::function()).toJSON().contains("key_code"));
}

TEST(ShortcutSpecPayloadJSON, RoundTripsThroughTextAndObject) {
    const std::vector<ShortcutSpecPayload> payloads{
        ShortcutSpecPayload(ShortcutChoice::function()),
        ShortcutSpecPayload(ShortcutChoice::chord(36, kCommand | kShift)),
        ShortcutSpecPayload(ShortcutChoice::chord(0, kControl)),
        // Decoding keeps what it was given; validation is a separate step.
        ShortcutSpecPayload("chord", 65535, {"Command", "command", "cmd"}, ""),
    };
    for (const auto& payload : payloads) {
        auto text = payload.encoded();
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(ShortcutSpecPayload::decode(*text), payload) << *text;
        EXPECT_EQ(ShortcutSpecPayload::fromJSON(payload.toJSON()), payload) << *text;
    }
    const auto stored = ShortcutSpecPayload::decode(R"({"kind":"chord","key_code":49,"modifiers":["control","option"],
                                                       "display":"⌃⌥Space"})");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->decodedShortcut(), ShortcutChoice::chord(49, kControl | kOption));
    EXPECT_EQ(ShortcutSpecPayload::decode(R"({"kind":"fn","modifiers":[],"display":"Fn/Globe","key_code":null})"),
              ShortcutSpecPayload(ShortcutChoice::function()));
}

TEST(ShortcutSpecPayloadJSON, RejectsWrongShapesAndOutOfRangeKeyCodes) {
    const std::vector<std::string> cases{
        "",
        "[]",
        R"({"modifiers":[],"display":"x"})",
        R"({"kind":"fn","display":"x"})",
        R"({"kind":"fn","modifiers":[]})",
        R"({"kind":1,"modifiers":[],"display":"x"})",
        R"({"kind":"fn","modifiers":"shift","display":"x"})",
        R"({"kind":"chord","modifiers":["shift",1],"display":"x","key_code":1})",
        R"({"kind":"fn","modifiers":[],"display":null})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":"49"})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":true})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":49.5})",
        // Never wrapped onto a valid key: -1 would become 65535, 65589 Escape.
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":-1})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":65536})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":65589})",
        R"({"kind":"chord","modifiers":["shift"],"display":"x","key_code":1e30})",
    };
    for (const auto& text : cases) {
        EXPECT_FALSE(ShortcutSpecPayload::decode(text).has_value()) << text;
    }
}

TEST(KeyboardSampleFromEvent, ReadsKindFlagsAndRepeat) {
    const KeyTapEvent flags{KeyTapEventType::flagsChanged, 63, key_event_flags::secondaryFn | key_event_flags::shift};
    EXPECT_EQ(KeyboardSample::from(flags),
              (KeyboardSample{KeyboardEventKind::flagsChanged, 63, ShortcutModifiers::function | kShift, false}));

    const KeyTapEvent repeat{KeyTapEventType::keyDown, 49,
                             key_event_flags::command | key_event_flags::alternate | key_event_flags::control, 1};
    EXPECT_EQ(KeyboardSample::from(repeat),
              (KeyboardSample{KeyboardEventKind::keyDown, 49, kCommand | kOption | kControl, true}));

    const KeyTapEvent up{KeyTapEventType::keyUp, 65535, 0x1 /* unrelated flag */};
    EXPECT_EQ(KeyboardSample::from(up), (KeyboardSample{KeyboardEventKind::keyUp, 65535, {}, false}));

    for (std::int64_t code : {-1LL, 65536LL, 65589LL}) {
        EXPECT_EQ(KeyboardSample::from(KeyTapEvent{KeyTapEventType::keyDown, code}), std::nullopt) << code;
    }
}

TEST(SyntheticKeyboardEventMarker, OnlyTheExactMarkerCounts) {
    KeyTapEvent event{KeyTapEventType::keyDown, 9};
    EXPECT_FALSE(MurmoSyntheticKeyboardEventPolicy::isMarked(event));
    MurmoSyntheticKeyboardEventPolicy::mark(event);
    EXPECT_EQ(event.sourceUserData, 0x4D55524D4F0001);
    EXPECT_TRUE(MurmoSyntheticKeyboardEventPolicy::isMarked(event));
    for (std::int64_t other : {0LL, 0x4D55524D4F0000LL, 0x4D55524D4F0002LL, -1LL}) {
        event.sourceUserData = other;
        EXPECT_FALSE(MurmoSyntheticKeyboardEventPolicy::isMarked(event)) << other;
    }
}

}  // namespace
}  // namespace murmo
