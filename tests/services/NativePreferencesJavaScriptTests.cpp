#include "services/NativePreferencesJavaScript.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

constexpr std::string_view kPrologue = "(() => {\n  const snapshot = ";

TEST(NativePreferencesJavaScriptTest, EachScriptOpensWithTheSnapshotAsCompactSortedJson) {
    NativePreferencesSnapshot fresh;
    NativePreferencesSnapshot black = fresh;
    black.revision = 4;
    black.appearance = {NativeAppearancePreference::black, NativeResolvedAppearance::black};
    black.bigModeEnabled = true;
    NativePreferencesSnapshot arabic = fresh;
    arabic.uiLanguagePreference = NativeAppLanguage::system;
    arabic.uiLanguage = NativeAppLanguage::arabic;
    arabic.launchAtLogin = {true, NativeLaunchAtLoginStatus::requiresApproval};

    const struct {
        const char* name;
        NativePreferencesSnapshot snapshot;
        std::string json;
    } rows[] = {
        {"fresh", fresh,
         R"({"appearance":{"color_scheme":"light","preference":"system","resolved":"light"},"big_mode_enabled":false,)"
         R"("feedback_sounds_enabled":true,"launch_at_login":{"status":"unavailable","value":false},)"
         R"("native_available":true,"resolved_ui_language":"en","revision":1,"show_app_in_dock":false,)"
         R"("show_flow_bar_always":false,"ui_direction":"ltr","ui_language":"system",)"
         R"("ui_language_preference":"system"})"},
        {"black", black,
         R"({"appearance":{"color_scheme":"dark","preference":"black","resolved":"black"},"big_mode_enabled":true,)"
         R"("feedback_sounds_enabled":true,"launch_at_login":{"status":"unavailable","value":false},)"
         R"("native_available":true,"resolved_ui_language":"en","revision":4,"show_app_in_dock":false,)"
         R"("show_flow_bar_always":false,"ui_direction":"ltr","ui_language":"system",)"
         R"("ui_language_preference":"system"})"},
        {"arabic", arabic,
         R"({"appearance":{"color_scheme":"light","preference":"system","resolved":"light"},"big_mode_enabled":false,)"
         R"("feedback_sounds_enabled":true,"launch_at_login":{"status":"requires_approval","value":true},)"
         R"("native_available":true,"resolved_ui_language":"ar","revision":1,"show_app_in_dock":false,)"
         R"("show_flow_bar_always":false,"ui_direction":"rtl","ui_language":"system",)"
         R"("ui_language_preference":"system"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.snapshot.bridgePayload().size(), 12u);
        for (const auto& script : {NativePreferencesJavaScript::documentStart(row.snapshot),
                                   NativePreferencesJavaScript::broadcast(row.snapshot)}) {
            const auto opening = std::string(kPrologue) + row.json + ";\n";
            EXPECT_EQ(script.substr(0, opening.size()), opening);
            EXPECT_TRUE(script.ends_with("})();\n"));
        }
    }
}

}  // namespace
}  // namespace murmo
