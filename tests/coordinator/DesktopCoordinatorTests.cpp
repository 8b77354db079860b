#include "coordinator/DesktopCoordinator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/MurmoLaunchConfiguration.h"
#include "platform/sim/SimUpdater.h"
#include "support/CoordinatorWorld.h"
#include "support/FakeChildProcess.h"
#include "support/FixedBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::CoordinatorWorld;
using ::testing::ElementsAre;

const ShortcutChoice kSpaceChord = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option);
const ShortcutChoice kReturnChord = ShortcutChoice::chord(36, ShortcutModifiers::command);

constexpr std::string_view kRoute = "POST /api/v1/audio/route";
constexpr std::string_view kSettings = "GET /api/settings";
constexpr std::string_view kResume = "POST /api/v1/runtime/resume";
constexpr std::string_view kPause = "POST /api/v1/runtime/pause";

std::string shortcutJSON(const ShortcutChoice& shortcut) { return *ShortcutSpecPayload(shortcut).encoded(); }

// A settings reply naming `shortcut`, with `extra` members ("a":1,...).
std::string settingsReply(const ShortcutChoice& shortcut, std::string_view extra = {}) {
    std::string body = R"({"native_shortcut":)" + shortcutJSON(shortcut);
    if (!extra.empty()) body += "," + std::string(extra);
    return body + "}";
}

class DesktopCoordinatorTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (coordinator) coordinator->shutdown({});
        loop.runUntilIdle();
    }

    void make(MurmoLaunchConfiguration configuration = CoordinatorWorld::attachingConfiguration()) {
        coordinator = world.makeCoordinator(std::move(configuration));
        coordinator->onStatusChange = [this] { ++statusChanges; };
    }
    void start() {
        coordinator->start();
        loop.runUntilIdle();
    }

    // "METHOD /path" of every request the client made, from `from` on.
    std::vector<std::string> requests(std::size_t from = 0) const {
        std::vector<std::string> lines;
        const auto& all = world.transport->requests();
        for (auto i = from; i < all.size(); ++i) lines.push_back(all[i].method + " " + all[i].url.target());
        return lines;
    }
    std::size_t requestCount() const { return world.transport->requests().size(); }
    std::size_t count(std::string_view line) const {
        auto all = requests();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
    }

    // Answers the `which`-th settings request still waiting (0: the oldest).
    void answerSettings(std::size_t which, int status, std::string body) {
        answerSettings(which, CoreHTTPResponse{status, std::move(body)});
    }
    void answerSettings(std::size_t which, Result<CoreHTTPResponse> reply) {
        for (std::size_t i = 0; i < world.transport->pendingRequests(); ++i) {
            const auto& request = world.transport->pendingRequest(i);
            if (request.method + " " + request.url.target() != kSettings) continue;
            if (which-- == 0) {
                world.transport->answerPending(i, std::move(reply));
                loop.runUntilIdle();
                return;
            }
        }
        FAIL() << "no such settings request";
    }
    void answerLatestSettings(std::string body) { answerSettings(pendingSettingsRequests() - 1, 200, std::move(body)); }
    std::size_t pendingSettingsRequests() const {
        std::size_t found = 0;
        for (std::size_t i = 0; i < world.transport->pendingRequests(); ++i) {
            const auto& request = world.transport->pendingRequest(i);
            if (request.method + " " + request.url.target() == kSettings) ++found;
        }
        return found;
    }

    void connect() {
        world.transport->lastSocket()->deliverText(
            R"({"protocol_version":1,"sequence":1,"type":"runtime_status","qos":"reliable","data":{}})");
        loop.runUntilIdle();
    }
    void disconnect() {
        world.transport->lastSocket()->failReceive(coreTransportError(CoreTransportErrorCode::networkConnectionLost));
        loop.runUntilIdle();
    }

    // Lets the HUD finish its transitions: it announces an error once shown.
    void settleHUD() { loop.advance(400ms); }

    HUDIdleState idleState() const { return world.hud->policy().idleState; }
    std::size_t liveTaps() { return world.desktop.keyTap().liveTapCount(); }

    ManualLoop loop;
    CoordinatorWorld world{loop};
    std::shared_ptr<DesktopCoordinator> coordinator;
    int statusChanges = 0;
};

TEST_F(DesktopCoordinatorTest, ConstructionStartsNothingAndAttachingActivatesTheRuntime) {
    make();
    EXPECT_THAT(world.factoryCalls, ElementsAre("hud", "agentSpeech", "soundFeedback", "microphoneCapture", "paster",
                                                "injector", "supervisor", "router", "client"));
    EXPECT_EQ(requestCount(), 0u);
    EXPECT_TRUE(world.transport->sockets().empty());
    EXPECT_EQ(world.routersMade, 1u);
    EXPECT_EQ(liveTaps(), 0u) << "the router is made, not started";
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::function());
    EXPECT_FALSE(coordinator->paused());
    EXPECT_EQ(idleState(), HUDIdleState::booting);

    start();
    EXPECT_TRUE(coordinator->runtimeStarted());
    EXPECT_FALSE(coordinator->paused());
    EXPECT_EQ(world.transport->sockets().size(), 1u) << "the event socket opens at activation";
    EXPECT_THAT(requests(), ElementsAre(kRoute, kSettings, kResume)) << "the first tick runs at once";
    EXPECT_EQ(liveTaps(), 1u) << "the router starts before the runtime resumes";
    EXPECT_EQ(idleState(), HUDIdleState::booting) << "no socket yet";

    connect();
    EXPECT_TRUE(coordinator->connected());
    EXPECT_EQ(idleState(), HUDIdleState::idle);
    EXPECT_GT(statusChanges, 0);

    coordinator->start();
    EXPECT_EQ(world.transport->sockets().size(), 1u) << "start acts once";
}

TEST_F(DesktopCoordinatorTest, ThePollReportsTheRouteThenAsksEveryTwoSecondsAndOnceAtConnect) {
    make();
    start();
    const auto afterStart = requestCount();
    loop.advance(1900ms);
    EXPECT_EQ(requestCount(), afterStart);
    loop.advance(100ms);
    EXPECT_THAT(requests(afterStart), ElementsAre(kRoute, kSettings));

    const auto beforeConnect = requestCount();
    connect();
    EXPECT_THAT(requests(beforeConnect), ElementsAre(kRoute, kSettings));
    loop.advance(2s);
    EXPECT_THAT(requests(beforeConnect), ElementsAre(kRoute, kSettings, kRoute, kSettings));

    // Failed replies stay silent and change nothing; the next tick asks again.
    answerSettings(0, 500, "{}");
    answerSettings(0, std::unexpected(coreTransportError(CoreTransportErrorCode::timedOut)));
    answerSettings(0, 200, "not json");
    answerSettings(0, 200, R"({"native_shortcut":{"kind":"bogus"},"hotkey_enabled":false})");
    loop.runUntilIdle();
    EXPECT_EQ(world.errorCuesPlayed(), 0u);
    EXPECT_EQ(world.hudErrorsShown(), 0u);
    EXPECT_FALSE(coordinator->audioSettingsReady()) << "a reply without a valid shortcut is ignored whole";
    EXPECT_TRUE(coordinator->shortcutEnabled());
}

TEST_F(DesktopCoordinatorTest, AppliedSettingsFollowTheReply) {
    const struct {
        const char* what;
        std::string reply;
        ShortcutChoice shortcut;
        std::optional<ShortcutChoice> agentShortcut;
        bool enabled;
        bool audioReady;
        bool live;
        bool noiseReductionAvailable;
        std::size_t routersMade;
    } rows[] = {
        {"defaults for absent keys", settingsReply(ShortcutChoice::function()), ShortcutChoice::function(),
         std::nullopt, true, true, false, true, 1},
        {"an invalid shortcut changes nothing",
         R"({"native_shortcut":{"kind":"chord"},"hotkey_enabled":false,"fast_mode_enabled":true,)"
         R"("live_dictation_enabled":true})",
         ShortcutChoice::function(), std::nullopt, true, false, false, false, 1},
        {"live needs fast and live mode",
         settingsReply(ShortcutChoice::function(), R"("fast_mode_enabled":true,"live_dictation_enabled":true)"),
         ShortcutChoice::function(), std::nullopt, true, true, true, true, 1},
        {"live is off when injection is",
         settingsReply(ShortcutChoice::function(),
                       R"("fast_mode_enabled":true,"live_dictation_enabled":true,"auto_inject":false)"),
         ShortcutChoice::function(), std::nullopt, true, true, false, true, 1},
        {"a chosen device decides noise reduction",
         settingsReply(ShortcutChoice::function(),
                       R"("audio_device":3,"background_noise_reduction":{"available":false})"),
         ShortcutChoice::function(), std::nullopt, true, true, false, false, 1},
        {"a chosen device that offers it",
         settingsReply(ShortcutChoice::function(),
                       R"("audio_device":3,"background_noise_reduction":{"available":true})"),
         ShortcutChoice::function(), std::nullopt, true, true, false, true, 1},
        {"a new dictation shortcut makes a new router", settingsReply(kSpaceChord, R"("hotkey_enabled":false)"),
         kSpaceChord, std::nullopt, false, true, false, true, 2},
        {"the agent shortcut under dedicated",
         settingsReply(ShortcutChoice::function(),
                       R"("agent_mode_enabled":true,"agent_native_shortcut":)" + shortcutJSON(kReturnChord)),
         ShortcutChoice::function(), kReturnChord, true, true, false, true, 2},
        {"under both",
         settingsReply(ShortcutChoice::function(), R"("agent_mode_enabled":true,"agent_activation_policy":"both",)"
                                                   R"("agent_native_shortcut":)" +
                                                       shortcutJSON(kReturnChord)),
         ShortcutChoice::function(), kReturnChord, true, true, false, true, 2},
        {"not under no_editable",
         settingsReply(ShortcutChoice::function(),
                       R"("agent_mode_enabled":true,"agent_activation_policy":"no_editable",)"
                       R"("agent_native_shortcut":)" +
                           shortcutJSON(kReturnChord)),
         ShortcutChoice::function(), std::nullopt, true, true, false, true, 1},
        {"not with the agent off",
         settingsReply(ShortcutChoice::function(), R"("agent_native_shortcut":)" + shortcutJSON(kReturnChord)),
         ShortcutChoice::function(), std::nullopt, true, true, false, true, 1},
    };
    for (const auto& row : rows) {
        ManualLoop rowLoop;
        CoordinatorWorld rowWorld(rowLoop);
        auto subject = rowWorld.makeCoordinator(CoordinatorWorld::attachingConfiguration());
        subject->start();
        rowLoop.runUntilIdle();
        for (std::size_t i = 0; i < rowWorld.transport->pendingRequests(); ++i) {
            if (rowWorld.transport->pendingRequest(i).url.target() == "/api/settings") {
                rowWorld.transport->answerPending(i, CoreHTTPResponse{200, row.reply});
                break;
            }
        }
        rowLoop.runUntilIdle();
        EXPECT_EQ(subject->activeShortcut(), row.shortcut) << row.what;
        EXPECT_EQ(subject->activeAgentShortcut(), row.agentShortcut) << row.what;
        EXPECT_EQ(subject->shortcutEnabled(), row.enabled) << row.what;
        EXPECT_EQ(subject->audioSettingsReady(), row.audioReady) << row.what;
        EXPECT_EQ(subject->audioSettings().liveDictationRequested, row.live) << row.what;
        EXPECT_EQ(subject->audioSettings().backgroundNoiseReductionAvailable, row.noiseReductionAvailable) << row.what;
        EXPECT_EQ(rowWorld.routersMade, row.routersMade) << row.what;
        EXPECT_EQ(rowWorld.desktop.keyTap().liveTapCount(), row.enabled ? 1u : 0u)
            << row.what << ": the router runs exactly while the shortcut is on";
        subject->shutdown({});
        rowLoop.runUntilIdle();
    }
}

TEST_F(DesktopCoordinatorTest, ALateReplyNeverBringsBackAShortcutTheEngineNoLongerHas) {
    make();
    start();
    loop.advance(2s);
    ASSERT_EQ(pendingSettingsRequests(), 2u);

    // The second tick's reply overtakes the first one's.
    answerSettings(1, 200, settingsReply(kSpaceChord));
    EXPECT_EQ(coordinator->activeShortcut(), kSpaceChord);
    answerSettings(
        0, 200, settingsReply(ShortcutChoice::function(), R"("fast_mode_enabled":true,"live_dictation_enabled":true)"));

    EXPECT_EQ(coordinator->activeShortcut(), kSpaceChord);
    EXPECT_FALSE(coordinator->audioSettings().liveDictationRequested) << "its audio settings are dropped with it";
    EXPECT_EQ(world.routersMade, 2u);
    ASSERT_NE(coordinator->shortcutRouter(), nullptr);
    EXPECT_EQ(coordinator->shortcutRouter()->shortcuts().at(ShortcutPurpose::dictation), kSpaceChord);
    EXPECT_EQ(world.desktop.defaults().value(kShortcutDefaultsKey), nlohmann::json(kSpaceChord.canonicalText()));
}

TEST_F(DesktopCoordinatorTest, TheStoredShortcutReadsBackAsTheSameShortcut) {
    make();
    start();
    IdGenerator& ids = *world.ids;
    for (const auto& shortcut : {kSpaceChord, ShortcutChoice::function()}) {
        loop.advance(2s);
        answerLatestSettings(settingsReply(shortcut));
        auto parsed = MurmoLaunchConfiguration::parse(std::vector<std::string>{"murmo"}, world.desktop.defaults(),
                                                      {ids, Logger("launch-configuration", world.log)});
        EXPECT_EQ(parsed.shortcut, shortcut) << shortcut.canonicalText();
        EXPECT_TRUE(world.desktop.defaults().value(kNativeShortcutDefaultsKey));
    }
}

TEST_F(DesktopCoordinatorTest, ARouterThatCannotListenAtActivationHoldsDictationPausedWithoutPausingTheRuntime) {
    world.desktop.keyTap().setListenEventAccess(false);
    make();
    start();
    settleHUD();
    EXPECT_TRUE(coordinator->paused());
    EXPECT_TRUE(coordinator->shortcutMonitorStartFailed());
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_EQ(count(kPause), 0u) << "the runtime is simply not resumed";
    EXPECT_EQ(count(kResume), 0u);
    EXPECT_TRUE(world.log->contains("Native error detail=<private>"));

    // The retry stays silent while the permission is missing...
    coordinator->retryShortcutMonitorAfterPermissionChange();
    settleHUD();
    EXPECT_TRUE(coordinator->paused());
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);

    // ...and resumes the runtime once it is granted.
    world.desktop.keyTap().setListenEventAccess(true);
    const auto before = statusChanges;
    coordinator->retryShortcutMonitorAfterPermissionChange();
    loop.runUntilIdle();
    EXPECT_FALSE(coordinator->paused());
    EXPECT_FALSE(coordinator->shortcutMonitorStartFailed());
    EXPECT_EQ(count(kResume), 1u);
    EXPECT_EQ(liveTaps(), 1u);
    EXPECT_GE(statusChanges, before + 2);
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
}

TEST_F(DesktopCoordinatorTest, ARouterThatCannotListenForNewSettingsPausesTheRuntimeToo) {
    make();
    start();
    connect();
    world.desktop.keyTap().setListenEventAccess(false);
    answerLatestSettings(settingsReply(kSpaceChord));
    settleHUD();

    EXPECT_TRUE(coordinator->paused());
    EXPECT_TRUE(coordinator->shortcutMonitorStartFailed());
    EXPECT_EQ(count(kPause), 1u);
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_EQ(idleState(), HUDIdleState::paused);
    EXPECT_EQ(liveTaps(), 0u) << "the old router went with the old shortcut";
}

TEST_F(DesktopCoordinatorTest, PauseAndResumeWithNoOperationOpen) {
    make();
    start();
    connect();
    ASSERT_EQ(liveTaps(), 1u);

    coordinator->pause();
    loop.runUntilIdle();
    EXPECT_TRUE(coordinator->paused());
    EXPECT_EQ(count(kPause), 1u) << "sent at once";
    EXPECT_EQ(liveTaps(), 0u);
    EXPECT_EQ(idleState(), HUDIdleState::paused);

    coordinator->togglePaused();
    loop.runUntilIdle();
    EXPECT_FALSE(coordinator->paused());
    EXPECT_EQ(liveTaps(), 1u);
    EXPECT_EQ(count(kResume), 2u);
    EXPECT_EQ(idleState(), HUDIdleState::idle);

    // With the shortcut switched off, resuming only resumes the runtime.
    answerLatestSettings(settingsReply(ShortcutChoice::function(), R"("hotkey_enabled":false)"));
    EXPECT_EQ(liveTaps(), 0u);
    EXPECT_EQ(idleState(), HUDIdleState::paused);
    coordinator->pause();
    coordinator->resume();
    loop.runUntilIdle();
    EXPECT_EQ(count(kResume), 3u);
    EXPECT_EQ(liveTaps(), 0u);
    EXPECT_EQ(world.desktop.keyTap().createdTapCount(), 2u);
}

TEST_F(DesktopCoordinatorTest, TheIdleStateFollowsTheEngineAndTheUser) {
    make();
    struct Step {
        const char* what;
        std::function<void()> act;
        HUDIdleState expected;
    };
    const Step steps[] = {
        {"constructed", [] {}, HUDIdleState::booting},
        {"started, no socket", [this] { start(); }, HUDIdleState::booting},
        {"connected", [this] { connect(); }, HUDIdleState::idle},
        {"paused", [this] { coordinator->pause(); }, HUDIdleState::paused},
        {"resumed", [this] { coordinator->resume(); }, HUDIdleState::idle},
        {"shortcut off",
         [this] { answerLatestSettings(settingsReply(ShortcutChoice::function(), R"("hotkey_enabled":false)")); },
         HUDIdleState::paused},
        {"shortcut on",
         [this] {
             loop.advance(2s);
             answerLatestSettings(settingsReply(ShortcutChoice::function()));
         },
         HUDIdleState::idle},
        {"disconnected", [this] { disconnect(); }, HUDIdleState::offline},
    };
    for (const auto& step : steps) {
        step.act();
        loop.runUntilIdle();
        EXPECT_EQ(idleState(), step.expected) << step.what;
    }
}

TEST_F(DesktopCoordinatorTest, AnEngineThatCannotBeLaunchedLeavesTheApplicationUpAndOffline) {
    auto configuration = CoordinatorWorld::attachingConfiguration();
    configuration.launchCore = true;
    make(configuration);
    start();
    settleHUD();
    EXPECT_TRUE(coordinator->runtimeStartFailed());
    EXPECT_FALSE(coordinator->runtimeStarted());
    EXPECT_TRUE(coordinator->paused());
    EXPECT_EQ(idleState(), HUDIdleState::offline);
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_TRUE(world.log->contains("Core launch detail=<private>"));
    EXPECT_GT(statusChanges, 0);
    EXPECT_EQ(requestCount(), 0u);
    EXPECT_TRUE(world.transport->sockets().empty());
    EXPECT_EQ(liveTaps(), 0u);
}

TEST_F(DesktopCoordinatorTest, GeneralErrorsShowEachTimeButCueAtMostOncePerEightTenths) {
    world.desktop.keyTap().setListenEventAccess(false);
    make();
    start();
    ASSERT_EQ(world.errorCuesPlayed(), 1u);
    loop.advance(500ms);
    coordinator->resume();
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    loop.advance(800ms);
    EXPECT_EQ(world.hudErrorsShown(), 2u);
    coordinator->resume();
    EXPECT_EQ(world.errorCuesPlayed(), 2u);
    settleHUD();
    EXPECT_EQ(world.hudErrorsShown(), 3u);
}

TEST_F(DesktopCoordinatorTest, TheShortcutDescriptionNamesTheShortcutAndWhetherItIsOff) {
    make();
    start();
    EXPECT_EQ(coordinator->shortcutDescription(), "Fn/Globe (hold)");
    EXPECT_EQ(coordinator->shortcutDescription(NativeAppLanguage::turkish), "Fn/Globe (basılı tut)");

    answerLatestSettings(settingsReply(kSpaceChord, R"("hotkey_enabled":false)"));
    coordinator->setApplicationLanguage(NativeAppLanguage::turkish);
    EXPECT_EQ(coordinator->shortcutDescription(), "Control+Option+keyCode 49 (hold) · disabled")
        << "English whatever the interface language";
    EXPECT_EQ(coordinator->shortcutDescription(NativeAppLanguage::turkish),
              "Control+Option+keyCode 49 (basılı tut) · devre dışı");
    world.preferredLanguages = {"tr-TR"};
    EXPECT_EQ(coordinator->shortcutDescription(NativeAppLanguage::system),
              "Control+Option+keyCode 49 (basılı tut) · devre dışı");
}

TEST_F(DesktopCoordinatorTest, ShutdownStopsEverythingOnceAndNothingStartsAfterIt) {
    make();
    start();
    connect();
    loop.advance(2s);
    ASSERT_GE(pendingSettingsRequests(), 1u);

    int completions = 0;
    coordinator->shutdown([&] { ++completions; });
    EXPECT_EQ(completions, 1) << "no engine was launched: done at once";
    EXPECT_TRUE(world.transport->lastSocket()->closed());
    EXPECT_TRUE(world.hud->isShuttingDown());
    EXPECT_EQ(liveTaps(), 0u);

    const auto afterShutdown = requestCount();
    // A reply still on its way must not start a router for the new shortcut.
    answerLatestSettings(settingsReply(kSpaceChord));
    loop.advance(10s);
    EXPECT_EQ(requestCount(), afterShutdown) << "no tick after shutdown";
    EXPECT_EQ(liveTaps(), 0u);
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::function());

    coordinator->shutdown([&] { ++completions; });
    coordinator->resume();
    coordinator->pause();
    loop.runUntilIdle();
    EXPECT_EQ(completions, 1) << "a second shutdown never completes";
    EXPECT_EQ(liveTaps(), 0u);
    EXPECT_EQ(requestCount(), afterShutdown);
}

// The engine launched as a child that exists only in memory, its health and
// desktop context on the supervisor's own fake transport.
class DesktopCoordinatorLaunchTest : public DesktopCoordinatorTest {
protected:
    DesktopCoordinatorLaunchTest() {
        tree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
        auto& services = world.options().supervisor;
        services.mainBundle = std::make_shared<testing::FixedBundle>(tree.path() / "Murmo.app");
        services.environment = [this] {
            return EnvironmentMap{{"HOME", (tree.path() / "home").string()},
                                  {"XDG_DATA_HOME", (tree.path() / "data").string()},
                                  {"PATH", "/usr/bin:/bin"}};
        };
        services.searchPaths = {tree.path(), {}};
        services.launcher = [this](const ChildProcessRequest&, ChildProcess::OutputHandler onOutput,
                                   ChildProcess::ExitHandler onExit) -> Result<std::shared_ptr<ChildProcess>> {
            auto child = std::make_shared<testing::FakeChildProcess>();
            child->exitsOn({SIGTERM});
            child->setHandlers(std::move(onOutput), std::move(onExit));
            children.push_back(child);
            return child;
        };
    }

    MurmoLaunchConfiguration launchingConfiguration() const {
        auto configuration = CoordinatorWorld::attachingConfiguration();
        configuration.launchCore = true;
        return configuration;
    }
    void makeWithUpdates() {
        updates = std::make_shared<UpdateCoordinator>(MurmoUpdateConfiguration{}, *world.bundle, updaters, *world.ids);
        coordinator = world.makeCoordinator(launchingConfiguration(), updates);
        coordinator->onStatusChange = [this] { ++statusChanges; };
    }
    void answerHealth() {
        ASSERT_EQ(world.healthTransport->pendingRequests(), 1u);
        world.healthTransport->answer(200, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
        loop.runUntilIdle();
    }
    std::vector<nlohmann::json> contextBodies() const {
        std::vector<nlohmann::json> bodies;
        for (const auto& request : world.healthTransport->requests()) {
            if (request.url.target() == "/api/v1/desktop/context")
                bodies.push_back(nlohmann::json::parse(*request.body));
        }
        return bodies;
    }

    testing::TemporaryDirectory tree;
    SimUpdaterFactory updaters;
    std::shared_ptr<UpdateCoordinator> updates;
    std::vector<std::shared_ptr<testing::FakeChildProcess>> children;
};

TEST_F(DesktopCoordinatorLaunchTest, TheEngineIsActivatedAtReadinessAndHearsTheDesktopContext) {
    makeWithUpdates();
    coordinator->setPendingExportEvent("export-1");
    start();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_TRUE(coordinator->paused()) << "held paused until the engine is ready";
    EXPECT_FALSE(coordinator->runtimeStarted());
    EXPECT_FALSE(updates->coreReady());
    EXPECT_TRUE(world.transport->sockets().empty());

    answerHealth();
    EXPECT_TRUE(updates->coreReady());
    EXPECT_TRUE(coordinator->runtimeStarted());
    EXPECT_FALSE(coordinator->paused());
    EXPECT_EQ(world.transport->sockets().size(), 1u);
    EXPECT_THAT(requests(), ElementsAre(kRoute, kSettings, kResume));

    auto sent = contextBodies();
    ASSERT_EQ(sent.size(), 1u) << "the first tick hands the engine the context";
    EXPECT_EQ(sent[0]["export_event"], "export-1");
    EXPECT_TRUE(sent[0]["writing_copy_event"].is_null());
    EXPECT_TRUE(sent[0]["update_facts"].is_object());

    // A send that fails keeps its event for the next tick, which carries the
    // newer writing-copy event too.
    world.healthTransport->answer(500, "{}");
    loop.runUntilIdle();
    coordinator->setPendingWritingCopyEvent("copy-1");
    loop.advance(2s);
    sent = contextBodies();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1]["export_event"], "export-1");
    EXPECT_EQ(sent[1]["writing_copy_event"], "copy-1");
    world.healthTransport->answer(200, "{}");
    loop.advance(2s);
    EXPECT_EQ(contextBodies().size(), 2u) << "nothing new, nothing sent";

    int completions = 0;
    coordinator->shutdown([&] { ++completions; });
    loop.pumpUntil([&] { return completions > 0; }, 10s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(children[0]->sentSignals().front().signal, SIGTERM);
}

TEST_F(DesktopCoordinatorLaunchTest, AnEngineThatIsNeverReadyLeavesTheApplicationOffline) {
    makeWithUpdates();
    start();
    const auto startedAt = loop.now();
    while (!coordinator->runtimeStartFailed() && loop.now() - startedAt < 30s) {
        while (world.healthTransport->pendingRequests() > 0) world.healthTransport->answer(503, "{}");
        loop.advance(100ms);
    }
    EXPECT_GE(loop.now() - startedAt, DesktopCoordinator::kReadinessTimeout);
    settleHUD();
    EXPECT_TRUE(coordinator->runtimeStartFailed());
    EXPECT_TRUE(coordinator->paused());
    EXPECT_FALSE(updates->coreReady());
    EXPECT_EQ(idleState(), HUDIdleState::offline);
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_TRUE(world.transport->requests().empty());
}

}  // namespace
}  // namespace murmo
