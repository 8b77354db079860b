#include <gtest/gtest.h>

#include "input/hud/HUDMode.h"
#include "input/hud/HUDPresentationPolicy.h"
#include "services/NativeStringCatalog.h"

namespace murmo {
namespace {

using Kind = HUDMode::Kind;
using Role = HUDSemanticRole;

const std::vector<std::string> kEnglishSystem{"en-US"};

TEST(HUDModeTest, EveryModesPresentation) {
    const struct {
        HUDMode mode;
        double width, height;
        std::optional<std::string> icon;
        std::string primary;
        HUDTextRole secondary;
        Role role;
        bool waveform, dots, copy;
    } rows[] = {
        {HUDMode::idle(HUDIdleState::idle),
         136,
         37,
         "waveform",
         "Dorvex is ready",
         {},
         Role::neutral,
         false,
         false,
         false},
        {HUDMode::idle(HUDIdleState::booting),
         136,
         37,
         "hourglass",
         "Dorvex is starting…",
         {},
         Role::processing,
         false,
         false,
         false},
        {HUDMode::idle(HUDIdleState::paused),
         136,
         37,
         "pause.fill",
         "Dictation paused",
         {},
         Role::warning,
         false,
         false,
         false},
        {HUDMode::idle(HUDIdleState::offline),
         136,
         37,
         "bolt.slash.fill",
         "Dorvex is offline",
         {},
         Role::error,
         false,
         false,
         false},
        {HUDMode::of(Kind::listening), 82, 37, "mic.fill", "", {}, Role::listening, true, false, false},
        {HUDMode::of(Kind::agentListening), 82, 37, "sparkles", "", {}, Role::listening, true, false, false},
        {HUDMode::of(Kind::processing), 54, 37, std::nullopt, "", {}, Role::processing, false, true, false},
        {HUDMode::of(Kind::agentProcessing), 76, 37, "sparkles", "", {}, Role::processing, false, true, false},
        {HUDMode::of(Kind::agentAnswer), 360, 45, std::nullopt, "", HUDTextRole::supplied(), Role::listening, false,
         false, false},
        {HUDMode::of(Kind::shortcut),
         192,
         37,
         "keyboard",
         "Press the shortcut keys",
         {},
         Role::neutral,
         false,
         false,
         false},
        {HUDMode::of(Kind::success), 45, 37, "checkmark", "", {}, Role::success, false, false, false},
        {HUDMode::of(Kind::clipboard),
         252,
         37,
         std::nullopt,
         "The text couldn’t be pasted",
         {},
         Role::warning,
         false,
         false,
         true},
        {HUDMode::of(Kind::error), 245, 53, "exclamationmark.triangle.fill", "Dorvex couldn’t complete this",
         HUDTextRole::fixed("Check settings and try again"), Role::error, false, false, false},
    };
    for (const auto& row : rows) {
        const auto presentation = row.mode.presentation(NativeAppLanguage::english, kEnglishSystem);
        EXPECT_EQ(presentation, (HUDPresentationSpec{row.width, row.height, row.icon, row.primary, row.secondary,
                                                     row.role, row.waveform, row.dots, row.copy}))
            << static_cast<int>(row.mode.kind());
        EXPECT_EQ(row.mode.showsRainbowBorder(), row.mode.kind() != Kind::idle);
    }
}

TEST(HUDModeTest, TextsFollowTheLanguageAtEachLookup) {
    const auto paused = HUDMode::idle(HUDIdleState::paused);
    const std::vector<std::string> turkishSystem{"tr-TR"};
    EXPECT_EQ(paused.presentation(NativeAppLanguage::turkish, kEnglishSystem).primaryText,
              NativeLocalizedStrings(NativeAppLanguage::turkish).hudPaused());
    EXPECT_EQ(paused.presentation(NativeAppLanguage::system, kEnglishSystem).primaryText, "Dictation paused");
    EXPECT_EQ(paused.presentation(NativeAppLanguage::system, turkishSystem).primaryText,
              NativeLocalizedStrings(NativeAppLanguage::turkish).hudPaused())
        << "a changed system language shows at the next lookup";
    EXPECT_EQ(successText(HUDSuccessKind::copied, NativeAppLanguage::english, kEnglishSystem).secondaryText,
              "Press ⌘V to paste into the target app");
    EXPECT_EQ(clipboardFailureText(HUDClipboardFailure::unverified, NativeAppLanguage::english, kEnglishSystem).message,
              "Dorvex couldn’t confirm the paste");
}

TEST(HUDModeTest, CornerRadiusEqualityAndPurposes) {
    auto presentation = HUDMode::of(Kind::listening).presentation(NativeAppLanguage::english, kEnglishSystem);
    EXPECT_EQ(presentation.cornerRadius(), 18.5);
    EXPECT_EQ(HUDMode::of(Kind::error).presentation(NativeAppLanguage::english, kEnglishSystem).cornerRadius(), 26.5);
    auto tallAnswer = HUDMode::of(Kind::agentAnswer).presentation(NativeAppLanguage::english, kEnglishSystem);
    tallAnswer.height = 255;
    EXPECT_EQ(tallAnswer.cornerRadius(), 26.5);
    auto withCopy = presentation;
    withCopy.showsCopyButton = true;
    EXPECT_NE(presentation, withCopy);
    EXPECT_NE(HUDMode::idle(HUDIdleState::idle), HUDMode::idle(HUDIdleState::paused));
    EXPECT_EQ(hudOperationPurposeFromRawValue("agent"), HUDOperationPurpose::agent);
    EXPECT_FALSE(hudOperationPurposeFromRawValue("Agent"));
}

TEST(HUDPresentationPolicyTest, TransientThenAlwaysVisibleAndNothingOnceForceHidden) {
    HUDPresentationPolicy policy;
    EXPECT_EQ(policy.idleState, HUDIdleState::booting);
    policy.setIdleState(HUDIdleState::offline);
    EXPECT_FALSE(policy.resolvedMode()) << "not always visible and nothing transient";
    policy.presentTransient(HUDMode::idle(HUDIdleState::paused));
    EXPECT_FALSE(policy.transientMode) << "an idle mode is no transient one";
    policy.presentTransient(HUDMode::of(Kind::error));
    EXPECT_EQ(policy.resolvedMode(), HUDMode::of(Kind::error));
    policy.setAlwaysVisible(true);
    policy.settleTransient();
    EXPECT_EQ(policy.resolvedMode(), HUDMode::idle(HUDIdleState::offline));

    policy.forceHide();
    const auto hidden = policy;
    policy.setAlwaysVisible(true);
    policy.setIdleState(HUDIdleState::idle);
    policy.presentTransient(HUDMode::of(Kind::error));
    policy.settleTransient();
    EXPECT_EQ(policy, hidden);
    EXPECT_FALSE(policy.resolvedMode());
}

TEST(HUDPaletteTest, AppearanceResolutionAndPalettes) {
    const struct {
        const char* preference;
        const char* resolved;
        bool systemDark;
        std::optional<HUDAppearance> appearance;
    } rows[] = {
        {"system", "light", true, HUDAppearance::light}, {"system", "dark", false, HUDAppearance::dark},
        {"system", "system", true, HUDAppearance::dark}, {"system", "system", false, HUDAppearance::light},
        {"system", "black", true, std::nullopt},         {"black", "dark", true, std::nullopt},
        {"black", "black", false, HUDAppearance::black}, {"Light", "light", false, std::nullopt},
        {"dark", "dark", false, HUDAppearance::dark},    {"sepia", "sepia", false, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HUDAppearanceResolver::resolve(row.preference, row.resolved, row.systemDark), row.appearance)
            << row.preference << "/" << row.resolved;
    }

    const auto dark = HUDVisualPalette::resolved(HUDAppearance::dark, Role::error, false, false);
    EXPECT_EQ(dark, HUDVisualPalette::resolved(HUDAppearance::black, Role::error, false, true));
    auto light = HUDVisualPalette::resolved(HUDAppearance::light, Role::error, false, false);
    EXPECT_EQ(light.borderAlpha, 0.52);
    EXPECT_EQ(dark.borderAlpha, 0.58);
    light.borderAlpha = dark.borderAlpha;
    EXPECT_EQ(light, dark) << "the appearance changes only the border";
    EXPECT_EQ(dark.accentRGB, 0xE77A82u);
    EXPECT_EQ(dark.surfaceTopRGB, 0x0A0A0Au);
    for (auto appearance : {HUDAppearance::light, HUDAppearance::dark, HUDAppearance::black}) {
        const auto contrast = HUDVisualPalette::resolved(appearance, Role::listening, true, false);
        EXPECT_EQ(contrast.borderAlpha, 0.72);
        EXPECT_EQ(contrast.primaryTextRGB, 0xE7E7EAu);
        EXPECT_EQ(contrast.secondaryTextRGB, 0xBDBDC2u);
    }
    EXPECT_EQ(HUDVisualPalette::accent(Role::warning), 0xD7B06Bu);
}

}  // namespace
}  // namespace murmo
