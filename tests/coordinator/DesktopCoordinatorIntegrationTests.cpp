#include "coordinator/DesktopCoordinator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "engine/BeastCoreTransport.h"
#include "platform/sim/SimUpdater.h"
#include "stand-in-engine/StandInEngine.h"
#include "support/CoordinatorWorld.h"
#include "support/FixedBundle.h"
#include "support/ProcessProbes.h"
#include "support/RecordingCoreTransport.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::CoordinatorWorld;
using testing::RecordingCoreTransport;

constexpr std::string_view kSettings = "GET /api/settings";

// The coordinator on the simulated desktop, launching the stand-in engine
// program as a real child and talking to it through the real client.
class DesktopCoordinatorIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto reserved = reserveLoopbackPort();
        ASSERT_TRUE(reserved);
        port = *reserved;

        const auto engine = tree.path() / "engine/bin/murmo-stand-in-engine";
        fs::create_directories(engine.parent_path());
        fs::create_symlink(MURMO_STAND_IN_ENGINE_PATH, engine);
        writeScenario({});

        auto& services = world.options().supervisor;
        services.mainBundle = std::make_shared<testing::FixedBundle>(tree.path() / "build");
        services.environment = [this, engine] {
            return EnvironmentMap{{"HOME", (tree.path() / "home").string()},
                                  {"XDG_DATA_HOME", (tree.path() / "data").string()},
                                  {"PATH", "/usr/bin:/bin"},
                                  {"MURMO_EXECUTABLE", engine.string()},
                                  {"MURMO_STAND_IN_SCENARIO", scenarioPath().string()}};
        };
        services.searchPaths = {tree.path(), {}};
        services.transport = nullptr;
        world.options().clientTransport = transport;
    }

    void TearDown() override {
        if (coordinator && !coordinator->isShuttingDown()) {
            bool done = false;
            coordinator->shutdown([&] { done = true; });
            loop.pumpUntil([&] { return done; }, 10s);
        }
        if (auto pid = enginePID()) testing::killIfRunning(*pid);
    }

    fs::path scenarioPath() const { return tree.path() / "scenario.json"; }
    fs::path recordPath() const { return tree.path() / "record.json"; }
    void writeScenario(nlohmann::json scenario) {
        scenario["record_path"] = recordPath().string();
        std::ofstream(scenarioPath()) << scenario.dump();
    }
    // The engine's pid, from the record it writes at start.
    std::optional<pid_t> enginePID() const {
        std::ifstream file(recordPath());
        auto record = nlohmann::json::parse(file, nullptr, false);
        if (!record.is_object() || !record["pid"].is_number()) return std::nullopt;
        return record["pid"].get<pid_t>();
    }

    void makeAndStart(bool launchCore = true) {
        auto configuration = CoordinatorWorld::attachingConfiguration();
        configuration.coreURL = "http://127.0.0.1:" + std::to_string(port);
        configuration.launchCore = launchCore;
        updates = std::make_shared<UpdateCoordinator>(MurmoUpdateConfiguration{}, *world.bundle, updaters, *world.ids);
        coordinator = world.makeCoordinator(std::move(configuration), updates);
        coordinator->start();
    }
    bool pumpUntil(const std::function<bool()>& condition, Duration timeout = 20s) {
        loop.pumpUntil(condition, timeout);
        return condition();
    }
    HUDIdleState idleState() const { return world.hud->policy().idleState; }
    void settleHUD() {
        loop.pumpUntil([] { return false; }, 400ms);
    }

    ManualLoop loop;
    CoordinatorWorld world{loop};
    testing::TemporaryDirectory tree;
    std::uint16_t port = 0;
    std::shared_ptr<RecordingCoreTransport> transport =
        std::make_shared<RecordingCoreTransport>(std::make_shared<BeastCoreTransport>(world.log));
    SimUpdaterFactory updaters;
    std::shared_ptr<UpdateCoordinator> updates;
    std::shared_ptr<DesktopCoordinator> coordinator;
};

TEST_F(DesktopCoordinatorIntegrationTest, StartsTheEngineAndBecomesReady) {
    writeScenario({{"ready_after_ms", 200}});
    makeAndStart();
    EXPECT_EQ(idleState(), HUDIdleState::booting);
    ASSERT_TRUE(pumpUntil([&] { return coordinator->connected() && coordinator->audioSettingsReady(); }));
    EXPECT_TRUE(coordinator->runtimeStarted());
    EXPECT_FALSE(coordinator->paused());
    EXPECT_TRUE(updates->coreReady());
    EXPECT_EQ(transport->socketsOpened(), 1u);
    EXPECT_GE(transport->count(kSettings), 1u);
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 1u);
    EXPECT_EQ(idleState(), HUDIdleState::idle);
    EXPECT_EQ(world.errorCuesPlayed(), 0u);
}

TEST_F(DesktopCoordinatorIntegrationTest, AnEngineThatExitsBeforeReadinessLeavesTheApplicationOffline) {
    writeScenario({{"exit", {{"code", 3}}}});
    makeAndStart();
    ASSERT_TRUE(pumpUntil([&] { return coordinator->runtimeStartFailed(); }));
    settleHUD();
    EXPECT_TRUE(coordinator->paused());
    EXPECT_FALSE(coordinator->runtimeStarted());
    EXPECT_EQ(idleState(), HUDIdleState::offline);
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_EQ(transport->socketsOpened(), 0u);
}

TEST_F(DesktopCoordinatorIntegrationTest, AnEngineThatExitsAfterReadinessIsNotRelaunched) {
    writeScenario({{"exit", {{"code", 7}, {"after_ready", true}, {"after_ms", 500}}}});
    makeAndStart();
    ASSERT_TRUE(pumpUntil([&] { return coordinator->connected(); }));
    const auto pid = enginePID();
    ASSERT_TRUE(pid);
    ASSERT_TRUE(pumpUntil([&] { return coordinator->runtimeStartFailed(); }));
    settleHUD();

    EXPECT_TRUE(coordinator->paused());
    EXPECT_FALSE(coordinator->connected());
    EXPECT_FALSE(coordinator->runtimeStarted());
    EXPECT_FALSE(updates->coreReady());
    EXPECT_EQ(idleState(), HUDIdleState::offline);
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 0u) << "the router stops with the engine";
    EXPECT_EQ(world.errorCuesPlayed(), 1u);
    EXPECT_EQ(world.hudErrorsShown(), 1u);
    EXPECT_TRUE(world.log->contains("Operation error purpose=dictation detail=<private>"));

    loop.pumpUntil([] { return false; }, 1s);
    EXPECT_EQ(enginePID(), pid) << "no second engine was started";
    EXPECT_TRUE(testing::processGone(*pid));
}

TEST_F(DesktopCoordinatorIntegrationTest, ShutdownStopsEverythingAndTheEngineAfterItsGracePeriod) {
    writeScenario({{"ignore_sigterm", true}});
    makeAndStart();
    ASSERT_TRUE(pumpUntil([&] { return coordinator->connected(); }));
    const auto pid = enginePID();
    ASSERT_TRUE(pid);

    int completions = 0;
    const auto began = loop.now();
    coordinator->shutdown([&] { ++completions; });
    EXPECT_EQ(transport->socketsClosed(), transport->socketsOpened());
    EXPECT_TRUE(world.hud->isShuttingDown());
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 0u);
    const auto requestsAtShutdown = transport->requests().size();

    ASSERT_TRUE(pumpUntil([&] { return completions > 0; }));
    EXPECT_GE(loop.now() - began, DesktopCoordinator::kEngineStopGracePeriod)
        << "an engine that ignores SIGTERM gets its grace period before SIGKILL";
    EXPECT_TRUE(testing::processGone(*pid));
    loop.pumpUntil([] { return false; }, 2500ms);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(transport->requests().size(), requestsAtShutdown) << "no tick after shutdown";
}

TEST_F(DesktopCoordinatorIntegrationTest, AttachingToARunningEngineShutsDownAtOnceTouchingNoProcess) {
    StandInEngine engine({.desktopToken = std::string(CoordinatorWorld::kToken)});
    ASSERT_TRUE(engine.start());
    port = engine.port();
    makeAndStart(false);
    ASSERT_TRUE(pumpUntil([&] { return coordinator->connected() && coordinator->audioSettingsReady(); }));
    EXPECT_EQ(idleState(), HUDIdleState::idle);
    EXPECT_FALSE(fs::exists(recordPath())) << "no engine program was started";

    int completions = 0;
    coordinator->shutdown([&] { ++completions; });
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(transport->socketsClosed(), transport->socketsOpened());
    EXPECT_TRUE(engine.isReady()) << "the engine we did not launch is left alone";
}

}  // namespace
}  // namespace murmo
