#include "engine/CoreProcessSupervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeChildProcess.h"
#include "support/FixedBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::FakeChildProcess;
using testing::FixedBundle;
using ::testing::HasSubstr;
using testing::TemporaryDirectory;

// The supervisor's hand-offs between the main loop, the output and exit
// threads of a child and its own worker, with children that exist only in
// memory but write and exit from threads of their own.
class CoreProcessSupervisorThreadTest : public ::testing::Test {
protected:
    CoreProcessSupervisorThreadTest() {
        tree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
        CoreProcessSupervisorServices services{loop, std::make_shared<FixedBundle>(tree.path() / "Murmo.app")};
        services.environment = [this] {
            return EnvironmentMap{{"HOME", (tree.path() / "home").string()},
                                  {"XDG_DATA_HOME", (tree.path() / "data").string()}};
        };
        services.launcher = [this](const ChildProcessRequest&, ChildProcess::OutputHandler onOutput,
                                   ChildProcess::ExitHandler onExit) -> Result<std::shared_ptr<ChildProcess>> {
            child = std::make_shared<FakeChildProcess>(4242, 4242);
            child->setHandlers(std::move(onOutput), std::move(onExit));
            return std::shared_ptr<ChildProcess>(child);
        };
        services.openLogFile = [this](const fs::path& path) {
            logAtOpen.push_back(diagnostics());
            return openLogFileForAppending(path);
        };
        services.logger = Logger("core-process", std::make_shared<RecordingLogSink>());
        supervisor = CoreProcessSupervisor::create(std::move(services));
        supervisor->onUnexpectedTermination = [this](std::int32_t status) { terminations.push_back(status); };
    }

    std::string diagnostics() const {
        std::ifstream file(tree.path() / "data/Dorvex Local/Logs/core-diagnostics.jsonl");
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    ManualLoop loop;
    TemporaryDirectory tree;
    std::shared_ptr<FakeChildProcess> child;
    std::shared_ptr<CoreProcessSupervisor> supervisor;
    std::vector<std::int32_t> terminations;
    // The log file as each launch found it when it opened it (main thread).
    std::vector<std::string> logAtOpen;
};

TEST_F(CoreProcessSupervisorThreadTest, AnExitFromAnotherThreadEndsTheRunWithAllOutputFiled) {
    ASSERT_TRUE(supervisor->launch(std::nullopt, 8765, "token"));
    std::thread engine([child = child] {
        for (int i = 0; i < 200; ++i)
            child->emit(ChildOutputStream::standardOutput, R"({"event":"tick"})"
                                                           "\n");
        child->emit(ChildOutputStream::standardError, R"({"event":"unfinished"})");
        child->exitNow(9);
    });
    ASSERT_TRUE(loop.pumpUntil([&] { return !supervisor->processID(); }, 10s));
    engine.join();
    // The log is finished on the worker after the fields are cleared.
    ASSERT_TRUE(loop.pumpUntil([&] { return diagnostics().find("unfinished") != std::string::npos; }, 10s));

    const auto log = diagnostics();
    std::size_t ticks = 0;
    for (auto at = log.find("\"tick\""); at != std::string::npos; at = log.find("\"tick\"", at + 1)) ++ticks;
    EXPECT_EQ(ticks, 200u);
    EXPECT_THAT(child->finishCalls(), ElementsAre(true));
    EXPECT_TRUE(terminations.empty()) << "it never reported ready";
}

TEST_F(CoreProcessSupervisorThreadTest, ALaunchRightAfterAnExitOpensTheLogOnlyOnceTheOldRunIsFiled) {
    ASSERT_TRUE(supervisor->launch(std::nullopt, 8765, "token"));
    auto first = child;
    first->emit(ChildOutputStream::standardOutput, R"({"event":"before.exit"})"
                                                   "\n");
    first->leaveInPipe(ChildOutputStream::standardError, R"({"event":"left.in.pipe"})");
    // The worker's drain is still busy when the next launch comes.
    first->holdOutputFinish();
    first->exitNow(3);
    loop.runUntilIdle();
    ASSERT_FALSE(supervisor->processID());
    ASSERT_TRUE(first->waitForFinishCalls(1, 10s));

    // Lets the drain go on once the launch waits for it too (or at the end,
    // should the launch not wait).
    std::thread drain([first] {
        first->waitForFinishCalls(2, 10s);
        first->releaseOutputFinish();
    });
    const auto relaunched = supervisor->launch(std::nullopt, 8765, "token");
    first->releaseOutputFinish();
    drain.join();
    ASSERT_TRUE(relaunched);

    ASSERT_EQ(logAtOpen.size(), 2u);
    EXPECT_THAT(logAtOpen[1], HasSubstr("before.exit"));
    EXPECT_THAT(logAtOpen[1], HasSubstr("left.in.pipe")) << "the old run's last output is filed before the reopen";

    // The worker's late finish changes nothing, and the new run files on.
    ASSERT_TRUE(loop.pumpUntil([&] { return first.use_count() == 1; }, 10s));
    child->emit(ChildOutputStream::standardOutput, R"({"event":"second.run"})"
                                                   "\n");
    const auto log = diagnostics();
    EXPECT_EQ(log.find("left.in.pipe"), log.rfind("left.in.pipe")) << "filed once";
    EXPECT_THAT(log, HasSubstr("second.run"));
    EXPECT_TRUE(terminations.empty());
}

TEST_F(CoreProcessSupervisorThreadTest, AStopCompletesOnceOnTheMainThreadAndLeavesTheSupervisorIdle) {
    ASSERT_TRUE(supervisor->launch(std::nullopt, 8765, "token"));
    child->exitsOn({SIGKILL});
    std::vector<CoreStopOutcome> outcomes;
    bool onMainThread = true;
    supervisor->stop(0s, [&](CoreStopOutcome outcome) {
        onMainThread = onMainThread && loop.isCurrentThread();
        outcomes.push_back(outcome);
    });
    EXPECT_TRUE(supervisor->processID()) << "the run ends only when the stop completes";
    ASSERT_TRUE(loop.pumpUntil([&] { return !outcomes.empty(); }, 10s));

    EXPECT_THAT(outcomes, ElementsAre(CoreStopOutcome::killed));
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(supervisor->processID());
    EXPECT_FALSE(supervisor->launchPlan());
    EXPECT_THAT(child->finishCalls(), ElementsAre(true));
    // The exit the kill caused arrives while the stop owns the run: no call.
    loop.pumpUntil([] { return false; }, 50ms);
    EXPECT_TRUE(terminations.empty());

    // Idle again: a new launch is accepted.
    EXPECT_TRUE(supervisor->launch(std::nullopt, 8765, "token"));
}

}  // namespace
}  // namespace murmo
