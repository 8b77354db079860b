#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "engine/PosixChildProcess.h"
#include "support/ProcessProbes.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Collects what a child writes and when it exits.
struct ChildObserver {
    std::mutex mutex;
    std::condition_variable changed;
    std::string out;
    std::string err;
    bool exited = false;

    ChildProcess::OutputHandler outputHandler() {
        return [this](ChildOutputStream stream, std::string_view bytes) {
            std::lock_guard lock(mutex);
            (stream == ChildOutputStream::standardOutput ? out : err).append(bytes);
        };
    }
    ChildProcess::ExitHandler exitHandler() {
        return [this] {
            std::lock_guard lock(mutex);
            exited = true;
            changed.notify_all();
        };
    }
    bool waitForExit() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [this] { return exited; });
    }
    std::string stdoutText() {
        std::lock_guard lock(mutex);
        return out;
    }
    std::string stderrText() {
        std::lock_guard lock(mutex);
        return err;
    }
};

ChildProcessRequest shell(std::string script) {
    ChildProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", std::move(script)};
    request.workingDirectory = "/";
    request.environment = {{"PATH", "/usr/bin:/bin"}};
    return request;
}

std::shared_ptr<ChildProcess> spawnOrFail(const ChildProcessRequest& request, ChildObserver& observer) {
    auto child = PosixChildProcess::spawn(request, observer.outputHandler(), observer.exitHandler());
    EXPECT_TRUE(child.has_value()) << (child ? "" : child.error().message);
    return child ? *child : nullptr;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

TEST(PosixChildProcess, RunsWithTheGivenDirectoryAndEnvironmentAndReportsOutputAndStatus) {
    const auto directory = std::filesystem::temp_directory_path();
    auto request = shell("pwd; echo \"$ONLY_THIS\"; env | sort; echo oops >&2; exit 7");
    request.workingDirectory = directory;
    request.environment = {{"ONLY_THIS", "value with spaces"}};
    ChildObserver observer;
    auto child = spawnOrFail(request, observer);
    ASSERT_TRUE(child);
    ASSERT_TRUE(observer.waitForExit());
    child->finishOutput(true);

    auto out = lines(observer.stdoutText());
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], std::filesystem::canonical(directory).string());
    EXPECT_EQ(out[1], "value with spaces");
    // The shell adds PWD and the like, but nothing of ours leaks in.
    EXPECT_THAT(observer.stdoutText(), Not(HasSubstr("HOME=")));
    EXPECT_EQ(observer.stderrText(), "oops\n");
    EXPECT_FALSE(child->isRunning());
    EXPECT_EQ(child->terminationStatus(), 7);
}

TEST(PosixChildProcess, LeadsItsOwnGroupWithDefaultSignalsAnEmptyMaskAndNothingButStandardDescriptors) {
    // What a child must not inherit from us: an ignored SIGPIPE, a blocked
    // SIGTERM and a descriptor opened without close-on-exec.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    sigset_t blocked;
    sigset_t oldMask;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &oldMask);
    const int leaked = ::open("/dev/null", O_RDONLY);

    ChildObserver observer;
    auto child = spawnOrFail(shell("cat /proc/self/stat; grep -E '^Sig(Blk|Ign)' /proc/self/status; ls /proc/self/fd; "
                                   "readlink /proc/self/fd/0"),
                             observer);

    ::close(leaked);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_TRUE(child);
    ASSERT_EQ(child->processGroupID(), child->pid());
    ASSERT_TRUE(observer.waitForExit());
    child->finishOutput(true);

    auto out = lines(observer.stdoutText());
    ASSERT_GE(out.size(), 3u);
    // cat runs in the shell's group, which is the one made for the child.
    std::istringstream stat(out[0].substr(out[0].rfind(')') + 2));
    std::string state;
    pid_t parent = 0;
    pid_t group = 0;
    stat >> state >> parent >> group;
    EXPECT_EQ(group, child->pid());
    EXPECT_EQ(out[1], "SigBlk:\t0000000000000000");
    // The C library keeps its own reserved real-time signals (those below
    // SIGRTMIN) ignored in a spawned child; no other signal may be.
    ASSERT_TRUE(out[2].starts_with("SigIgn:\t"));
    auto ignored = std::stoull(out[2].substr(8), nullptr, 16);
    for (int signal = 32; signal < SIGRTMIN; ++signal) ignored &= ~(1ULL << (signal - 1));
    EXPECT_EQ(ignored, 0u) << out[2];
    // ls sees 0, 1, 2 and the directory it is listing.
    EXPECT_THAT(std::vector(out.begin() + 3, out.end()), ElementsAre("0", "1", "2", "3", "/dev/null"));
}

TEST(PosixChildProcess, FailsWithThePlatformErrorWhenTheProgramOrDirectoryIsMissing) {
    ChildObserver observer;
    auto request = shell("exit 0");
    request.executable = "/nonexistent/program";
    auto missingProgram = PosixChildProcess::spawn(request, observer.outputHandler(), observer.exitHandler());
    ASSERT_FALSE(missingProgram);
    EXPECT_EQ(missingProgram.error().domain, kPosixErrorDomain);
    EXPECT_EQ(missingProgram.error().code, ENOENT);

    request = shell("exit 0");
    request.workingDirectory = "/nonexistent/directory";
    auto missingDirectory = PosixChildProcess::spawn(request, observer.outputHandler(), observer.exitHandler());
    ASSERT_FALSE(missingDirectory);
    EXPECT_EQ(missingDirectory.error().code, ENOENT);
}

TEST(PosixChildProcess, SignalsByPidfdAndReportsTheSignalThatEndedTheChild) {
    ChildObserver observer;
    auto child = spawnOrFail(shell("exec sleep 30"), observer);
    ASSERT_TRUE(child);
    EXPECT_TRUE(static_cast<PosixChildProcess&>(*child).signalsByPidfd());
    EXPECT_TRUE(child->isRunning());
    EXPECT_FALSE(child->waitForExit(10ms));
    EXPECT_EQ(child->signal(SIGTERM), 0);
    EXPECT_TRUE(child->waitForExit(5s));
    EXPECT_EQ(child->terminationStatus(), SIGTERM);
}

TEST(PosixChildProcess, HoldsTheExitedChildUnreapedWhileTheHandleLivesAndLeavesNoZombie) {
    ChildObserver observer;
    auto child = spawnOrFail(shell("exit 0"), observer);
    ASSERT_TRUE(child);
    const pid_t pid = child->pid();
    ASSERT_TRUE(observer.waitForExit());
    // The pid cannot be reused while we can still signal it: signals to the
    // exited child and its group find the zombie, not a stranger.
    EXPECT_EQ(testing::processState(pid), 'Z');
    EXPECT_EQ(child->signal(SIGTERM), 0);
    EXPECT_FALSE(testing::notOurZombie(pid));

    child.reset();
    EXPECT_TRUE(testing::notOurZombie(pid));
}

TEST(PosixChildProcess, ReapsAChildThatExitsAfterItsHandleWasDropped) {
    ChildObserver observer;
    auto child = spawnOrFail(shell("sleep 0.2"), observer);
    ASSERT_TRUE(child);
    const pid_t pid = child->pid();
    child.reset();
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!testing::notOurZombie(pid) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(testing::notOurZombie(pid));
    EXPECT_FALSE(observer.exited) << "no exit call after the handle is gone";
}

TEST(PosixChildProcess, GroupSignalReachesTheChildsOwnChildren) {
    ChildObserver observer;
    auto child = spawnOrFail(shell("trap '' TERM; sleep 30 & echo $!; wait"), observer);
    ASSERT_TRUE(child);
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((out = observer.stdoutText()).find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    const pid_t grandchild = std::stoi(out);
    EXPECT_EQ(child->signalGroup(child->pid(), SIGKILL), 0);
    EXPECT_TRUE(child->waitForExit(5s));
    EXPECT_EQ(child->terminationStatus(), SIGKILL);
    EXPECT_TRUE(testing::waitUntilGone(grandchild, 5000ms));
}

TEST(PosixChildProcess, DrainingAtExitIsBoundedWhenAnEscapedProcessHoldsThePipesOpen) {
    ChildObserver observer;
    // The background sleep leaves the group and keeps both pipes open long
    // after the shell itself has exited.
    auto child = spawnOrFail(shell("setsid sleep 30 & echo $!; printf 'last line without newline'; exit 3"), observer);
    ASSERT_TRUE(child);
    ASSERT_TRUE(observer.waitForExit());
    const auto started = std::chrono::steady_clock::now();
    child->finishOutput(true);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    auto out = observer.stdoutText();
    EXPECT_THAT(out, HasSubstr("\nlast line without newline"));
    testing::killIfRunning(std::stoi(out));
    EXPECT_EQ(child->terminationStatus(), 3);
}

}  // namespace
}  // namespace murmo
