#include "shell/dashboard/DashboardPageScripts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDefaultsStore.h"

namespace murmo {
namespace {

namespace scripts = DashboardPageScripts;

constexpr std::string_view kInvalidUTF8 = "op-\xff";

TEST(DashboardPageScriptsTest, UIStateCarriesTheStoredSidebarAndCards) {
    EXPECT_EQ(scripts::uiState(NativeSidebarPreference::collapsed, std::vector<std::string>{"email-workflow-v1"}),
              "window.__MURMO_NATIVE_UI_STATE__ = Object.freeze({sidebar: 'collapsed', dismissedCards: "
              "[\"email-workflow-v1\"]});\n"
              "document.documentElement.dataset.nativeSidebarPreference = 'collapsed';");
    EXPECT_EQ(scripts::uiState(NativeSidebarPreference::expanded, {}),
              "window.__MURMO_NATIVE_UI_STATE__ = Object.freeze({sidebar: 'expanded', dismissedCards: []});\n"
              "document.documentElement.dataset.nativeSidebarPreference = 'expanded';");
    // Cards that cannot be written as JSON leave an empty list rather than a
    // broken script.
    EXPECT_EQ(scripts::uiState(NativeSidebarPreference::expanded, std::vector<std::string>{std::string(kInvalidUTF8)}),
              scripts::uiState(NativeSidebarPreference::expanded, {}));

    SimDefaultsStore defaults;
    defaults.preset(NativeUIStateStore::sidebarKey, "collapsed");
    defaults.preset(NativeUIStateStore::dismissedCardsKey, nlohmann::json::array({"email-workflow-v1", "unknown"}));
    EXPECT_EQ(scripts::uiState(NativeUIStateStore(defaults)),
              scripts::uiState(NativeSidebarPreference::collapsed, std::vector<std::string>{"email-workflow-v1"}));
}

TEST(DashboardPageScriptsTest, DictationCallsPassTheirValuesAsJson) {
    EXPECT_EQ(scripts::reserveDictation("op-1"), "window.dorvexReserveDictation?.(\"op-1\")");
    EXPECT_EQ(scripts::deliverDictation("op-1", "Hello \"there\"\n"),
              "window.dorvexDeliverDictation?.(...[\"op-1\",\"Hello \\\"there\\\"\\n\"])");
    EXPECT_EQ(scripts::cancelDictation("op-1"), "window.dorvexCancelDictation?.(\"op-1\")");
    EXPECT_EQ(scripts::reserveDictation(std::string_view("a\0b", 3)), "window.dorvexReserveDictation?.(\"a\\u0000b\")");
}

TEST(DashboardPageScriptsTest, AValueJsonCannotCarrySkipsTheCall) {
    EXPECT_EQ(scripts::reserveDictation(kInvalidUTF8), std::nullopt);
    EXPECT_EQ(scripts::deliverDictation(kInvalidUTF8, "text"), std::nullopt);
    EXPECT_EQ(scripts::deliverDictation("op-1", kInvalidUTF8), std::nullopt);
    EXPECT_EQ(scripts::cancelDictation(kInvalidUTF8), std::nullopt);
    EXPECT_EQ(scripts::nativeAudioFailure(kInvalidUTF8, "code", "message"), std::nullopt);
    EXPECT_EQ(scripts::nativeAudioFailure("op-1", kInvalidUTF8, "message"), std::nullopt);
    EXPECT_EQ(scripts::nativeAudioFailure("op-1", "code", kInvalidUTF8), std::nullopt);
}

TEST(DashboardPageScriptsTest, EventAndStateCalls) {
    EXPECT_EQ(scripts::nativeAudioFailure("op-1", "audio_engine_failed", "The microphone stopped"),
              "window.dispatchEvent(new CustomEvent('dorvex:native-audio-error',{detail:{\"code\":"
              "\"audio_engine_failed\",\"message\":\"The microphone stopped\",\"operation_id\":\"op-1\"}}))");
    EXPECT_EQ(scripts::windowActivity(true),
              "window.__DORVEX_WINDOW_ACTIVE__ = true; window.dispatchEvent(new Event('dorvex:window-activity'));");
    EXPECT_EQ(scripts::windowActivity(false),
              "window.__DORVEX_WINDOW_ACTIVE__ = false; window.dispatchEvent(new Event('dorvex:window-activity'));");
    EXPECT_EQ(scripts::sidebar(NativeSidebarPreference::collapsed),
              "if (typeof window.murmoSetDesktopSidebar === 'function') {\n"
              "  window.murmoSetDesktopSidebar('collapsed', {persist: true, source: 'native'});\n"
              "} else {\n"
              "  window.dispatchEvent(new CustomEvent('murmo:native-sidebar', {\n"
              "    detail: {state: 'collapsed'}\n"
              "  }));\n"
              "}");
    EXPECT_EQ(scripts::sidebar(NativeSidebarPreference::expanded),
              "if (typeof window.murmoSetDesktopSidebar === 'function') {\n"
              "  window.murmoSetDesktopSidebar('expanded', {persist: true, source: 'native'});\n"
              "} else {\n"
              "  window.dispatchEvent(new CustomEvent('murmo:native-sidebar', {\n"
              "    detail: {state: 'expanded'}\n"
              "  }));\n"
              "}");
    EXPECT_EQ(scripts::permissionsChanged(), "window.dispatchEvent(new Event('murmo:native-permissions-changed'))");
    EXPECT_EQ(scripts::prepareToCloseFunctionBody(),
              "if (typeof window.dorvexPrepareToClose === 'function') {\n"
              "    return await window.dorvexPrepareToClose();\n"
              "}\n"
              "return !document.querySelector('.writing-workspace');");
}

TEST(DashboardPageScriptsTest, SettingsSectionsAndTheirPaths) {
    struct Case {
        NativeSettingsSection section;
        const char* path;
    };
    using enum NativeSettingsSection;
    const Case cases[] = {
        {general, "/settings/general"}, {appearance, "/settings/appearance"}, {agent, "/settings/agent"},
        {system, "/settings/system"},   {speech, "/settings/speech"},         {intelligence, "/settings/intelligence"},
        {personalize, "/personalize"},  {privacy, "/settings/privacy"},       {advanced, "/settings/advanced"},
    };
    ASSERT_EQ(std::size(cases), kAllNativeSettingsSections.size());
    for (const auto& c : cases) {
        EXPECT_EQ(scripts::settingsPath(c.section), c.path);
    }
    EXPECT_EQ(scripts::selectSettings(privacy),
              "window.location.hash='/settings/privacy'; window.dispatchEvent(new Event('hashchange'));");
    EXPECT_EQ(scripts::selectSettings(personalize),
              "window.location.hash='/personalize'; window.dispatchEvent(new Event('hashchange'));");
}

}  // namespace
}  // namespace murmo
