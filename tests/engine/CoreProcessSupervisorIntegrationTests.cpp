#include "engine/CoreProcessSupervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include "engine/BeastCoreTransport.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FixedBundle.h"
#include "support/ProcessProbes.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using testing::FixedBundle;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::TemporaryDirectory;

constexpr std::string_view kToken = "Qm9vdHN0cmFwLXRva2VuLWZvci1pbnRlZ3JhdGlvbg";

// The supervisor launching the stand-in engine as a real child through the
// explicit-executable rule, in a temporary tree that stands for the user's
// home, data folder, a development build and a checkout.
class CoreProcessSupervisorIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto reserved = reserveLoopbackPort();
        ASSERT_TRUE(reserved);
        port = *reserved;
        coreURL = "http://127.0.0.1:" + std::to_string(port);

        engineLink = tree.path() / "engine/bin/murmo-stand-in-engine";
        fs::create_directories(engineLink.parent_path());
        fs::create_symlink(MURMO_STAND_IN_ENGINE_PATH, engineLink);

        environment = {{"HOME", (tree.path() / "home").string()},
                       {"XDG_DATA_HOME", (tree.path() / "data").string()},
                       {"PATH", "/usr/bin:/bin"},
                       {"MURMO_EXECUTABLE", engineLink.string()},
                       {"MURMO_STAND_IN_SCENARIO", scenarioPath().string()},
                       {"MURMO_DESKTOP_TOKEN", "stale-token"},
                       {"PYTHONPATH", "/kept/for/explicit/engines"}};
        writeScenario({});

        CoreProcessSupervisorServices services{loop, std::make_shared<FixedBundle>(tree.path() / "build")};
        services.environment = [this] { return environment; };
        services.searchPaths = {tree.path(), {tree.path() / "system/bin"}};
        services.logger = Logger("core-process", std::make_shared<RecordingLogSink>());
        supervisor = CoreProcessSupervisor::create(std::move(services));
        supervisor->onUnexpectedTermination = [this](std::int32_t status) {
            terminations.push_back(status);
            idleAtTermination = !supervisor->processID() && !supervisor->launchPlan() && !supervisor->isReady();
            logAtTermination = diagnostics();
        };
    }

    void TearDown() override {
        if (supervisor && supervisor->processID()) {
            bool stopped = false;
            supervisor->stop(0s, [&](CoreStopOutcome) { stopped = true; });
            loop.pumpUntil([&] { return stopped; }, 10s);
        }
        for (const char* key : {"group_child_pid", "escaped_child_pid"}) {
            if (lastRecord.contains(key) && lastRecord[key].is_number()) {
                testing::killIfRunning(lastRecord[key].get<pid_t>());
            }
        }
    }

    fs::path scenarioPath() const { return tree.path() / "scenario.json"; }
    fs::path recordPath() const { return tree.path() / "record.json"; }
    fs::path dataFolder() const { return tree.path() / "data" / "Dorvex Local"; }

    void writeScenario(nlohmann::json scenario) {
        scenario["record_path"] = recordPath().string();
        std::ofstream(scenarioPath()) << scenario.dump();
    }

    // What the engine recorded about itself at start.
    const nlohmann::json& record() {
        loop.pumpUntil([&] { return fs::exists(recordPath()); }, 10s);
        std::ifstream file(recordPath());
        lastRecord = nlohmann::json::parse(file, nullptr, false);
        return lastRecord;
    }

    std::string recordText() const {
        std::ifstream file(recordPath());
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string diagnostics() const {
        std::ifstream file(dataFolder() / "Logs" / "core-diagnostics.jsonl");
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    void launch(std::optional<fs::path> repoRoot = std::nullopt) {
        auto launched = supervisor->launch(repoRoot, port, kToken);
        ASSERT_TRUE(launched) << launched.error().message;
    }

    std::optional<CoreProcessResult<void>> waitUntilReady(Duration timeout = 20s) {
        std::optional<CoreProcessResult<void>> result;
        supervisor->waitUntilReady(coreURL, std::string(kToken), timeout,
                                   [&](CoreProcessResult<void> value) { result = std::move(value); });
        loop.pumpUntil([&] { return result.has_value(); }, 30s);
        return result;
    }

    // Until the engine answers HTTP at all, whatever it says: a short
    // readiness time-out must not be spent on a slow start.
    bool waitUntilServing() {
        BeastCoreTransport transport;
        const auto request = CoreProcessSupervisor::healthRequest(coreURL, std::string(kToken));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::promise<CoreProcessSupervisor::HealthReply> reply;
            transport.sendHTTP(*request,
                               [&](CoreProcessSupervisor::HealthReply result) { reply.set_value(std::move(result)); });
            if (reply.get_future().get()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::optional<CoreStopOutcome> stop(Duration gracePeriod) {
        std::optional<CoreStopOutcome> outcome;
        supervisor->stop(gracePeriod, [&](CoreStopOutcome value) { outcome = value; });
        loop.pumpUntil([&] { return outcome.has_value(); }, 10s);
        return outcome;
    }

    ManualLoop loop;
    TemporaryDirectory tree;
    std::uint16_t port = 0;
    std::string coreURL;
    fs::path engineLink;
    EnvironmentMap environment;
    std::shared_ptr<CoreProcessSupervisor> supervisor;
    std::vector<std::int32_t> terminations;
    bool idleAtTermination = false;
    std::string logAtTermination;
    nlohmann::json lastRecord;
};

TEST_F(CoreProcessSupervisorIntegrationTest, LaunchesWithTheContractLeadsItsGroupAndBecomesReady) {
    writeScenario({{"ready_after_ms", 300}});
    // Tools: only executable ones are handed to the engine.
    const auto whisper = tree.writeExecutable("build/Contents/Resources/Whisper/bin/whisper-cli");
    tree.writeFile("build/Contents/Resources/Llama/bin/llama-server", "not executable");
    const auto bridge = tree.writeExecutable("checkout/macos/.build/debug/MurmoFoundationBridge");
    const auto checkout = tree.path() / "checkout";

    launch(checkout);
    const auto pid = supervisor->processID();
    ASSERT_TRUE(pid);
    EXPECT_EQ(supervisor->launchPlan()->runtimeKind, CoreRuntimeKind::explicitExecutable);

    auto ready = waitUntilReady();
    ASSERT_TRUE(ready);
    EXPECT_TRUE(*ready) << ready->error().localizedDescription();
    EXPECT_TRUE(supervisor->isReady());

    const auto& self = record();
    EXPECT_THAT(self["argv"].get<std::vector<std::string>>(),
                ElementsAre(engineLink.string(), "serve", "--host", "127.0.0.1", "--port", std::to_string(port)));
    EXPECT_EQ(self["cwd"].get<std::string>(), fs::canonical(checkout).string());
    EXPECT_EQ(self["pid"].get<pid_t>(), *pid);
    EXPECT_EQ(self["process_group"].get<pid_t>(), *pid) << "the engine leads a process group of its own";
    EXPECT_EQ(supervisor->processGroupID(), pid);

    const auto childEnvironment = self["environment"].get<std::map<std::string, std::string>>();
    const auto home = tree.path() / "home";
    EXPECT_EQ(childEnvironment.at("PATH"), (checkout / ".venv/bin").string() + ":" + (home / ".local/bin").string() +
                                               ":" + (home / ".cargo/bin").string() +
                                               ":/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/bin:/bin");
    // The engine answered health requests carrying kToken, so it got the
    // token; its record, readable on disk, must not hold it.
    EXPECT_FALSE(childEnvironment.contains("MURMO_DESKTOP_TOKEN"));
    EXPECT_EQ(recordText().find(kToken), std::string::npos);
    EXPECT_EQ(fs::status(recordPath()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(childEnvironment.at("MURMO_BUNDLED_WHISPER"), whisper.string());
    EXPECT_EQ(childEnvironment.at("MURMO_APPLE_FOUNDATION_BRIDGE"), bridge.string());
    EXPECT_EQ(childEnvironment.at("PYTHONPATH"), "/kept/for/explicit/engines");
    std::set<std::string> names;
    for (const auto& [name, value] : childEnvironment) names.insert(name);
    // The child's whole environment is the one built for it: nothing of the
    // test process leaks in.
    EXPECT_EQ(names,
              (std::set<std::string>{"HOME", "XDG_DATA_HOME", "PATH", "MURMO_EXECUTABLE", "MURMO_STAND_IN_SCENARIO",
                                     "PYTHONPATH", "MURMO_DESKTOP_HOSTED", "MURMO_DESKTOP_PROCESS_GROUP",
                                     "MURMO_CORE_DIAGNOSTICS_FORMAT", "MURMO_CORE_DIAGNOSTICS_PRIVACY",
                                     "PYTHONUNBUFFERED", "MURMO_BUNDLED_WHISPER", "MURMO_APPLE_FOUNDATION_BRIDGE"}));
    for (const auto& [name, value] : std::map<std::string, std::string>{{"MURMO_DESKTOP_HOSTED", "1"},
                                                                        {"MURMO_DESKTOP_PROCESS_GROUP", "1"},
                                                                        {"MURMO_CORE_DIAGNOSTICS_FORMAT", "jsonl"},
                                                                        {"MURMO_CORE_DIAGNOSTICS_PRIVACY", "metadata"},
                                                                        {"PYTHONUNBUFFERED", "1"}}) {
        EXPECT_EQ(childEnvironment.at(name), value) << name;
    }

    EXPECT_EQ(stop(2s), CoreStopOutcome::terminated);
    EXPECT_FALSE(supervisor->processID());
    EXPECT_FALSE(supervisor->isReady());
    EXPECT_TRUE(terminations.empty()) << "a stopped engine is no unexpected exit";
    EXPECT_TRUE(testing::notOurZombie(*pid));
}

TEST_F(CoreProcessSupervisorIntegrationTest, TheEngineTakesTheDesktopContextOnlyOnceReady) {
    std::optional<std::string> exportEvent = "{\"kind\":\"export\"}";
    std::optional<std::string> restored;
    int factsAsked = 0;
    auto launched = supervisor->launch(
        std::nullopt, port, kToken,
        CoreLaunchProviders{.updateFacts =
                                [&] {
                                    ++factsAsked;
                                    return nlohmann::json{{"availability", "unavailable"}};
                                },
                            .exportEvent = {.take = [&] { return std::exchange(exportEvent, std::nullopt); },
                                            .restore = [&](std::string event) { restored = std::move(event); }},
                            .writingCopyEvent = {}});
    ASSERT_TRUE(launched) << launched.error().message;
    supervisor->publishDesktopContext();
    EXPECT_EQ(factsAsked, 0) << "nothing is asked before the engine is ready";

    auto ready = waitUntilReady();
    ASSERT_TRUE(ready && *ready);
    supervisor->publishDesktopContext();
    EXPECT_EQ(factsAsked, 1);
    EXPECT_FALSE(exportEvent);
    // A second tick goes out only once the first was answered; it finds
    // nothing new when the engine took the first.
    ASSERT_TRUE(loop.pumpUntil(
        [&] {
            supervisor->publishDesktopContext();
            return factsAsked >= 2;
        },
        10s));
    EXPECT_FALSE(restored) << "the engine accepted the event";
    ASSERT_TRUE(stop(2s));
}

TEST_F(CoreProcessSupervisorIntegrationTest, AWrongHealthBodyTimesOutWithTheLastHttpStatus) {
    writeScenario(
        {{"health", {{"status", 200}, {"body", R"({"ok": true, "protocol_version": 2, "desktop_hosted": true})"}}}});
    launch();
    ASSERT_TRUE(waitUntilServing());

    auto ready = waitUntilReady(600ms);
    ASSERT_TRUE(ready);
    ASSERT_FALSE(*ready);
    EXPECT_EQ(ready->error().code, CoreProcessError::Code::readinessTimedOut);
    EXPECT_EQ(ready->error().localizedDescription(),
              "Dorvex core did not become ready in time. Last HTTP status: 200.");
    EXPECT_FALSE(supervisor->isReady());
    EXPECT_TRUE(supervisor->processID()) << "a time-out does not stop the engine";
}

TEST_F(CoreProcessSupervisorIntegrationTest, AnExitDuringTheWaitIsReportedWithItsStatusAndNoTerminationCall) {
    writeScenario({{"ready_after_ms", 60000}, {"exit", {{"code", 3}, {"after_ms", 300}}}});
    launch();
    const auto pid = *supervisor->processID();

    auto ready = waitUntilReady();
    ASSERT_TRUE(ready);
    ASSERT_FALSE(*ready);
    EXPECT_EQ(ready->error().localizedDescription(), "Dorvex core exited before becoming ready (status 3).");

    loop.pumpUntil([&] { return !supervisor->processID(); }, 5s);
    loop.pumpUntil([] { return false; }, 200ms);
    EXPECT_FALSE(supervisor->processID());
    EXPECT_TRUE(terminations.empty());
    EXPECT_TRUE(testing::notOurZombie(pid));
}

TEST_F(CoreProcessSupervisorIntegrationTest, AnExitAfterReadinessIsReportedOnceAfterItsLastLineIsFiled) {
    writeScenario({{"exit", {{"code", 5}, {"after_ms", 150}, {"after_ready", true}}},
                   {"output",
                    {{"when", "exit"},
                     {"stdout", {R"({"event":"engine_ready","operation_id":"op-1","transcript":"secret"})"}},
                     {"stderr", {"plain diagnostic text"}},
                     {"stdout_tail", R"({"event":"last_words"})"}}}});
    launch();
    const auto pid = *supervisor->processID();
    ASSERT_TRUE(waitUntilReady().value_or(std::unexpected(CoreProcessError::runtimeNotFound())));

    loop.pumpUntil([&] { return !terminations.empty(); }, 10s);
    loop.pumpUntil([] { return false; }, 300ms);
    EXPECT_THAT(terminations, ElementsAre(5));
    EXPECT_TRUE(idleAtTermination) << "the owner may launch again from the callback";
    EXPECT_THAT(logAtTermination, HasSubstr(R"("event":"last_words")"));
    EXPECT_THAT(logAtTermination, HasSubstr(R"("event":"engine_ready","operation_id":"op-1")"));
    EXPECT_THAT(logAtTermination, HasSubstr(R"("byte_count":21,"event":"unstructured_core_output")"));
    EXPECT_THAT(logAtTermination, Not(HasSubstr("secret")));
    EXPECT_TRUE(testing::notOurZombie(pid));
}

TEST_F(CoreProcessSupervisorIntegrationTest, AnExitIsFiledWithoutStallingWhileAnEscapedProcessHoldsThePipes) {
    writeScenario({{"escaped_child", true},
                   {"exit", {{"code", 0}, {"after_ms", 100}, {"after_ready", true}}},
                   {"output", {{"when", "exit"}, {"stderr_tail", R"({"event":"escaped_child_still_running"})"}}}});
    launch();
    ASSERT_TRUE(waitUntilReady().value_or(std::unexpected(CoreProcessError::runtimeNotFound())));
    ASSERT_TRUE(record()["escaped_child_pid"].is_number());

    // The escaped process keeps the pipes open for half a minute; the exit is
    // still reported at once, with the output filed.
    ASSERT_TRUE(loop.pumpUntil([&] { return !terminations.empty(); }, 10s));
    EXPECT_THAT(terminations, ElementsAre(0));
    EXPECT_THAT(logAtTermination, HasSubstr(R"("event":"escaped_child_still_running","stream":"stderr")"));
}

TEST_F(CoreProcessSupervisorIntegrationTest, AnEngineIgnoringSigtermIsKilledWithItsGroupWithoutStallingTheLoop) {
    writeScenario({{"ignore_sigterm", true}, {"group_child", true}});
    launch();
    const auto pid = *supervisor->processID();
    ASSERT_TRUE(waitUntilReady().value_or(std::unexpected(CoreProcessError::runtimeNotFound())));
    const auto groupChild = record()["group_child_pid"].get<pid_t>();
    ASSERT_FALSE(testing::processGone(groupChild));

    std::vector<CoreStopOutcome> outcomes;
    bool secondCompleted = false;
    const auto started = std::chrono::steady_clock::now();
    // A grace period of 0 still waits the shortest one before SIGKILL.
    supervisor->stop(0s, [&](CoreStopOutcome outcome) { outcomes.push_back(outcome); });
    supervisor->stop(0s, [&](CoreStopOutcome) { secondCompleted = true; });

    // The wait happens off the main thread: posted work runs meanwhile.
    bool postedRan = false;
    loop.post([&] { postedRan = true; });
    ASSERT_TRUE(loop.pumpUntil([&] { return postedRan; }, 5s));
    EXPECT_TRUE(outcomes.empty());

    ASSERT_TRUE(loop.pumpUntil([&] { return !outcomes.empty(); }, 10s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, CoreStopSequence::kShortestGracePeriod);
    loop.pumpUntil([] { return false; }, 100ms);
    EXPECT_THAT(outcomes, ElementsAre(CoreStopOutcome::killed));
    EXPECT_FALSE(secondCompleted);
    EXPECT_TRUE(testing::waitUntilGone(groupChild, 5000ms)) << "SIGKILL went to the whole group";
    EXPECT_TRUE(testing::notOurZombie(pid));
    EXPECT_TRUE(terminations.empty());
    EXPECT_FALSE(supervisor->processID());
}

TEST_F(CoreProcessSupervisorIntegrationTest, AStopCancelsTheReadinessWaitWithoutCallingIt) {
    writeScenario({{"ready_after_ms", 60000}});
    launch();
    bool readinessCalled = false;
    supervisor->waitUntilReady(coreURL, std::string(kToken), 20s,
                               [&](CoreProcessResult<void>) { readinessCalled = true; });
    loop.pumpUntil([] { return false; }, 300ms);

    EXPECT_EQ(stop(2s), CoreStopOutcome::terminated);
    loop.pumpUntil([] { return false; }, 300ms);
    EXPECT_FALSE(readinessCalled);

    // Idle again: the supervisor can launch a new engine.
    writeScenario({});
    launch();
    auto ready = waitUntilReady();
    ASSERT_TRUE(ready);
    EXPECT_TRUE(*ready);
}

}  // namespace
}  // namespace murmo
