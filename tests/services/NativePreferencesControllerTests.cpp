#include "services/NativePreferencesController.h"

#include <gtest/gtest.h>

#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using Key = NativePreferenceKey;
using Change = SimDefaultsStore::Change;
using nlohmann::json;

class NativePreferencesControllerTest : public ::testing::Test {
protected:
    ManualLoop loop;
    SimDesktop desktop{loop};
    SequentialIdGenerator ids;
    std::vector<std::string> preferredLanguages{"en-US"};
    std::vector<std::string> calls;
    std::vector<std::int64_t> passes;

    std::shared_ptr<NativePreferencesController> make() {
        auto controller =
            NativePreferencesController::create({.loop = loop,
                                                 .defaults = desktop.defaults(),
                                                 .chrome = desktop.chrome(),
                                                 .loginItem = desktop.loginItem(),
                                                 .ids = ids,
                                                 .preferredLanguages = [this] { return preferredLanguages; }});
        controller->onFlowBarAlwaysVisibleChanged = [this](bool on) { calls.push_back(fmt("flowBar", on)); };
        controller->onFeedbackSoundsEnabledChanged = [this](bool on) { calls.push_back(fmt("sounds", on)); };
        controller->onAppearanceChanged = [this](NativeAppearanceState state) {
            calls.push_back("appearance " + std::string(rawValue(state.preference)) + "/" +
                            std::string(rawValue(state.resolved)));
        };
        controller->onUILanguageChanged = [this](NativeAppLanguage language) {
            calls.push_back("language " + std::string(rawValue(language)));
        };
        return controller;
    }
    static std::string fmt(const char* name, bool on) { return std::string(name) + (on ? " on" : " off"); }

    std::shared_ptr<NativePreferencesController> controller = make();

    void observe() {
        controller->addObserver(
            [this](const NativePreferencesSnapshot& snapshot) { passes.push_back(snapshot.revision); });
        passes.clear();
    }
};

TEST_F(NativePreferencesControllerTest, TheShellsStartOrder) {
    EXPECT_EQ(controller->snapshot().revision, 1);
    controller->applyInitialApplicationPolicy();
    EXPECT_EQ(desktop.chrome().activationPolicy(), ActivationPolicy::accessory);

    std::vector<std::int64_t> seen;
    controller->addObserver([&](const NativePreferencesSnapshot& snapshot) { seen.push_back(snapshot.revision); });
    EXPECT_EQ(seen, std::vector<std::int64_t>{1}) << "an observer hears the snapshot at once";

    controller->activateRuntimeBindings();
    EXPECT_EQ(calls, (std::vector<std::string>{"flowBar off", "sounds on", "appearance system/light", "language en"}));
    EXPECT_EQ(controller->snapshot().revision, 1);
    EXPECT_EQ(seen.size(), 1u) << "activation calls no observer";

    desktop.loginItem().failRegister("denied");
    const auto before = controller->snapshot();
    EXPECT_FALSE(controller->setLaunchAtLogin(true)) << "the menu toggle fails";
    EXPECT_EQ(controller->snapshot(), before);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(NativePreferencesControllerTest, SettingEachKeyStoresOnlyAChangeAndTellsWhoListens) {
    const struct {
        Key key;
        NativePreferenceValue value;
        std::vector<Change> changes;
        std::vector<std::string> calls;
    } rows[] = {
        {Key::uiLanguage, std::string("system"), {}, {}},
        {Key::uiLanguage, std::string("en"), {{"Murmo.UI.language", json("en")}}, {"language en"}},
        {Key::appearancePreference, std::string("system"), {}, {}},
        {Key::appearancePreference,
         std::string("black"),
         {{"Murmo.Appearance.preference", json("black")}},
         {"appearance black/black"}},
        {Key::showFlowBarAlways, false, {}, {}},
        {Key::showFlowBarAlways, true, {{"Murmo.Native.showFlowBarAlways", json(true)}}, {"flowBar on"}},
        {Key::showAppInDock, false, {}, {}},
        {Key::showAppInDock, true, {{"Murmo.Native.showInDock", json(true)}}, {}},
        {Key::feedbackSoundsEnabled, true, {}, {}},
        {Key::feedbackSoundsEnabled, false, {{"Murmo.Native.feedbackSounds", json(false)}}, {"sounds off"}},
        {Key::bigModeEnabled, false, {}, {}},
        {Key::bigModeEnabled, true, {{"Murmo.UI.bigModeEnabled", json(true)}}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(rawValue(row.key)) + " " +
                     std::visit([](const auto& v) { return json(v).dump(); }, row.value));
        desktop.defaults() = SimDefaultsStore();
        calls.clear();
        controller = make();
        observe();
        const auto result = controller->set(row.key, row.value);
        ASSERT_TRUE(result);
        EXPECT_EQ(desktop.defaults().changes(), row.changes);
        EXPECT_EQ(calls, row.calls);
        const std::int64_t revision = row.changes.empty() ? 1 : 2;
        EXPECT_EQ(result->revision, revision);
        EXPECT_EQ(passes, row.changes.empty() ? std::vector<std::int64_t>{} : std::vector<std::int64_t>{2});
    }
    EXPECT_EQ(desktop.chrome().activationPolicy(), ActivationPolicy::regular) << "the Dock icon shows at once";
}

TEST_F(NativePreferencesControllerTest, AValueOfTheWrongKindIsRefusedBeforeAnythingIsRead) {
    const std::pair<Key, NativePreferenceValue> rows[] = {
        {Key::uiLanguage, true},
        {Key::uiLanguage, std::string("klingon")},
        {Key::appearancePreference, std::string("Dark")},
        {Key::showAppInDock, std::string("true")},
        {Key::launchAtLogin, std::string("true")},
    };
    for (const auto& [key, value] : rows) {
        EXPECT_EQ(controller->set(key, value), std::unexpected(NativePreferencesError::invalidValue()))
            << rawValue(key);
    }
    EXPECT_TRUE(desktop.defaults().changes().empty());
    EXPECT_EQ(controller->snapshot().revision, 1);
}

TEST_F(NativePreferencesControllerTest, ARefusedDockChangeStoresNothingAndAtLaunchFallsBackToTheMenuBar) {
    desktop.chrome().refuseActivationPolicy(ActivationPolicy::regular);
    EXPECT_EQ(controller->set(Key::showAppInDock, true),
              std::unexpected(NativePreferencesError::dockPolicyChangeFailed()));
    EXPECT_FALSE(controller->snapshot().showAppInDock);
    EXPECT_EQ(controller->snapshot().revision, 1);

    desktop.defaults().preset("Murmo.Native.showInDock", true);
    auto launched = make();
    launched->applyInitialApplicationPolicy();
    EXPECT_EQ(desktop.chrome().activationPolicy(), ActivationPolicy::accessory);
    EXPECT_EQ(desktop.defaults().value("Murmo.Native.showInDock"), json(false));
    EXPECT_EQ(launched->snapshot().revision, 2);
}

TEST_F(NativePreferencesControllerTest, ARefreshFindsChangesMadeOutsideTheApplication) {
    controller->activateRuntimeBindings();
    observe();
    calls.clear();

    desktop.chrome().setDarkAppearance(true);
    controller->refreshExternalState();
    EXPECT_EQ(calls, std::vector<std::string>{"appearance system/dark"});
    EXPECT_EQ(passes, std::vector<std::int64_t>{2});
    controller->refreshExternalState();
    EXPECT_EQ(passes.size(), 1u) << "nothing changed since";

    // The user approves the login item in the settings: observers only.
    ASSERT_TRUE(controller->setLaunchAtLogin(true));
    desktop.loginItem().setStatus(login_item_status::requiresApproval);
    controller->refreshExternalState();
    desktop.loginItem().setStatus(login_item_status::enabled);
    calls.clear();
    controller->refreshExternalState();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(controller->snapshot().launchAtLogin,
              (NativeLaunchAtLoginState{true, NativeLaunchAtLoginStatus::enabled}));

    // The system's languages change; setting the same "system" choice runs a
    // refresh that finds it.
    preferredLanguages = {"tr-TR"};
    const auto revision = controller->snapshot().revision;
    auto result = controller->set(Key::uiLanguage, std::string("system"));
    EXPECT_EQ(calls, std::vector<std::string>{"language tr"});
    EXPECT_EQ(result->revision, revision + 1);
    EXPECT_EQ(result->bridgePayload()["ui_language"], "system");
    EXPECT_EQ(result->bridgePayload()["resolved_ui_language"], "tr");
}

TEST_F(NativePreferencesControllerTest, ALocaleNoticeRefreshesOnTheNextTurnWhileBound) {
    controller->activateRuntimeBindings();
    observe();
    preferredLanguages = {"ar"};
    desktop.chrome().changeLocale();
    EXPECT_TRUE(passes.empty());
    loop.runUntilIdle();
    EXPECT_EQ(passes, std::vector<std::int64_t>{2});
    EXPECT_EQ(controller->snapshot().bridgePayload()["ui_direction"], "rtl");

    preferredLanguages = {"de"};
    desktop.chrome().changeLocale();
    controller->deactivateRuntimeBindings();
    controller->deactivateRuntimeBindings();
    loop.runUntilIdle();
    EXPECT_EQ(passes.size(), 1u) << "a notice that lands after deactivation does nothing";
    desktop.chrome().changeLocale();
    EXPECT_EQ(desktop.chrome().localeObserverCount(), 0u);

    controller->activateRuntimeBindings();
    desktop.chrome().changeLocale();
    controller.reset();
    loop.runUntilIdle();
    EXPECT_EQ(passes.size(), 1u) << "nor once the controller is gone";
}

TEST_F(NativePreferencesControllerTest, AnObserverRemovedDuringAPassIsNotCalledLaterInIt) {
    std::vector<std::string> heard;
    std::optional<std::string> first, second;
    // Identifiers are ordered, so the first observer runs first in a pass.
    first = controller->addObserver([&](const NativePreferencesSnapshot& snapshot) {
        heard.push_back("first " + std::to_string(snapshot.revision));
        if (snapshot.revision == 2) controller->removeObserver(second);
    });
    second = controller->addObserver([&](const NativePreferencesSnapshot& snapshot) {
        heard.push_back("second " + std::to_string(snapshot.revision));
    });
    heard.clear();
    ASSERT_TRUE(controller->set(Key::bigModeEnabled, true));
    EXPECT_EQ(heard, std::vector<std::string>{"first 2"});
}

TEST_F(NativePreferencesControllerTest, AChangeMadeByAnObserverEndsTheOuterPass) {
    std::vector<std::string> heard;
    controller->addObserver([&](const NativePreferencesSnapshot& snapshot) {
        heard.push_back("first " + std::to_string(snapshot.revision));
        if (snapshot.revision == 2) {
            EXPECT_TRUE(controller->set(Key::feedbackSoundsEnabled, false));
        }
    });
    controller->addObserver([&](const NativePreferencesSnapshot& snapshot) {
        heard.push_back("second " + std::to_string(snapshot.revision));
    });
    heard.clear();
    ASSERT_TRUE(controller->set(Key::bigModeEnabled, true));
    EXPECT_EQ(heard, (std::vector<std::string>{"first 2", "first 3", "second 3"}))
        << "nobody hears revision 2 after revision 3";
}

}  // namespace
}  // namespace murmo
