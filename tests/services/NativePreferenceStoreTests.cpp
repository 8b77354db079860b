#include "services/NativePreferenceStore.h"

#include <gtest/gtest.h>

#include "platform/DefaultsReadings.h"
#include "platform/sim/SimDefaultsStore.h"
#include "services/NativePreferencesError.h"

namespace murmo {
namespace {

using nlohmann::json;

TEST(DefaultsReadingsTest, FlagsAndTextsReadTheWayStoredDefaultsRead) {
    const struct {
        json stored;
        std::optional<bool> flag;
        std::optional<std::string> text;
    } rows[] = {
        {true, true, std::nullopt},
        {false, false, std::nullopt},
        {0, false, "0"},
        {-3, true, "-3"},
        {0.0, false, "0.0"},
        {2.5, true, "2.5"},
        {"TRUE", true, "TRUE"},
        {"Yes", true, "Yes"},
        {"1", true, "1"},
        {"false", false, "false"},
        {"NO", false, "NO"},
        {"0", false, "0"},
        {"on", std::nullopt, "on"},
        {"", std::nullopt, ""},
        {nullptr, std::nullopt, std::nullopt},
        {json::array({true}), std::nullopt, std::nullopt},
        {json::object({{"a", 1}}), std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(defaultsBoolReading(row.stored), row.flag) << row.stored.dump();
        EXPECT_EQ(defaultsStringReading(row.stored), row.text) << row.stored.dump();
    }
}

TEST(NativePreferenceStoreTest, AnEmptyDomainReadsTheDefaults) {
    SimDefaultsStore defaults;
    NativePreferenceStore store(defaults);
    EXPECT_EQ(store.uiLanguage(), NativeAppLanguage::system);
    EXPECT_EQ(store.appearancePreference(), NativeAppearancePreference::system);
    EXPECT_FALSE(store.showFlowBarAlways());
    EXPECT_FALSE(store.showAppInDock());
    EXPECT_TRUE(store.feedbackSoundsEnabled());
    EXPECT_FALSE(store.bigModeEnabled());
}

TEST(NativePreferenceStoreTest, StoredValuesReadBackAndUnreadableOnesReadAsDefaultsUntouched) {
    SimDefaultsStore defaults;
    NativePreferenceStore store(defaults);
    defaults.preset("Murmo.Native.feedbackSounds", false);
    EXPECT_FALSE(store.feedbackSoundsEnabled()) << "a stored false is not the default true";
    defaults.preset("Murmo.Native.feedbackSounds", json::array());
    EXPECT_TRUE(store.feedbackSoundsEnabled()) << "no boolean reading: the default";
    defaults.preset("Murmo.Native.showInDock", "yes");
    EXPECT_TRUE(store.showAppInDock());

    for (const json& stored : {json("klingon"), json(42), json("Turkish"), json(true)}) {
        defaults.preset("Murmo.UI.language", stored);
        EXPECT_EQ(store.uiLanguage(), NativeAppLanguage::system) << stored.dump();
    }
    EXPECT_EQ(defaults.value("Murmo.UI.language"), json(true)) << "left as it was";
    defaults.preset("Murmo.Appearance.preference", "Dark");
    EXPECT_EQ(store.appearancePreference(), NativeAppearancePreference::system) << "raw values are exact";

    store.setUILanguage(NativeAppLanguage::turkish);
    store.setAppearancePreference(NativeAppearancePreference::black);
    store.setBigModeEnabled(true);
    EXPECT_EQ(defaults.value("Murmo.UI.language"), json("tr"));
    EXPECT_EQ(defaults.value("Murmo.Appearance.preference"), json("black"));
    EXPECT_EQ(defaults.value("Murmo.UI.bigModeEnabled"), json(true));
    EXPECT_EQ(store.uiLanguage(), NativeAppLanguage::turkish);
    EXPECT_EQ(store.appearancePreference(), NativeAppearancePreference::black);
}

TEST(NativePreferenceTypesTest, KeysPayloadsAndErrorTexts) {
    for (auto key : kAllNativePreferenceKeys) EXPECT_EQ(nativePreferenceKeyFromRawValue(rawValue(key)), key);
    EXPECT_FALSE(nativePreferenceKeyFromRawValue("UI_LANGUAGE"));
    EXPECT_EQ(
        (NativeAppearanceState{NativeAppearancePreference::black, NativeResolvedAppearance::black}.bridgePayload()),
        (json{{"preference", "black"}, {"resolved", "black"}, {"color_scheme", "dark"}}));
    EXPECT_EQ((NativeLaunchAtLoginState{true, NativeLaunchAtLoginStatus::requiresApproval}.bridgePayload()),
              (json{{"value", true}, {"status", "requires_approval"}}));

    const auto failed = NativePreferencesError::launchAtLoginChangeFailed("Removal was not confirmed");
    EXPECT_EQ(failed.errorDescription(), "Launch at Login could not be changed");
    EXPECT_EQ(
        failed.localizedDescription(NativeAppLanguage::turkish),
        NativePreferencesError::launchAtLoginChangeFailed("other").localizedDescription(NativeAppLanguage::turkish));
    EXPECT_NE(failed, NativePreferencesError::launchAtLoginChangeFailed("other"));
    EXPECT_EQ(NativePreferencesError::invalidValue().errorDescription(), "The native preference value is invalid.");
}

}  // namespace
}  // namespace murmo
