// The built program as a user starts it: `murmo` in its bundle tree, with
// private XDG folders, launching the bundled stand-in engine. What it prints
// is what a person would see of the status menu and the dashboard.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ProcessProbes.h"
#include "support/TemporaryDirectory.h"

extern char** environ;

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kConnectedLine = "Murmo: Core connected  •  ";
constexpr std::string_view kOfflineLine = "Murmo: Core offline  •  ";
constexpr std::string_view kDashboardLoadedLine = "Murmo: dashboard loaded";

// The parent pid field of /proc/<pid>/stat.
std::optional<pid_t> parentOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!file || !std::getline(file, text)) return std::nullopt;
    const auto close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc) return children;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = std::stoi(name);
        if (parentOf(pid) == parent && !processGone(pid)) children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

bool processGroupGone(pid_t group) { return ::kill(-group, 0) != 0 && errno == ESRCH; }

// One run of the program; kills what is left of it when it goes.
class RunningApplication {
public:
    RunningApplication() {
        const std::string program = std::string(MURMO_BUNDLE_DIR) + "/Contents/MacOS/murmo";
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string_view variable(*entry);
            if (variable.starts_with("XDG_DATA_HOME=") || variable.starts_with("XDG_CONFIG_HOME=") ||
                variable.starts_with("XDG_STATE_HOME=") || variable.starts_with("XDG_CACHE_HOME=")) {
                continue;
            }
            environment.emplace_back(variable);
        }
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
            environment.push_back(std::string(name) + "=" + (home_.path() / name).string());
        }
        std::vector<char*> envp;
        for (auto& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);

        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        output_ = output[0];
    }

    ~RunningApplication() {
        if (engine_) ::kill(-*engine_, SIGKILL);
        if (pid_ > 0 && !exitStatus_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }

    pid_t pid() const { return pid_; }
    const std::string& output() const { return seen_; }

    // Reads the program's output until `text` appears after `from`.
    bool waitForOutput(std::string_view text, std::size_t from = 0, std::chrono::milliseconds timeout = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (seen_.find(text, from) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) return false;
            pollfd ready{output_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[512];
            const auto got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0) return false;
            seen_.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    // The engine's process group: the program's one child leads it.
    std::optional<pid_t> engineGroup() {
        const auto children = childrenOf(pid_);
        if (children.size() != 1) return std::nullopt;
        const pid_t group = ::getpgid(children.front());
        if (group != children.front()) return std::nullopt;
        engine_ = group;
        return group;
    }

    // The exit status after `signal`, or nothing when it did not end in time
    // or not by exiting.
    std::optional<int> stopWith(int signal, std::chrono::milliseconds timeout = 20s) {
        ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const auto reaped = ::waitpid(pid_, &status, WNOHANG);
            if (reaped == pid_) {
                exitStatus_ = status;
                if (!WIFEXITED(status)) return std::nullopt;
                return WEXITSTATUS(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

private:
    TemporaryDirectory home_;
    pid_t pid_ = -1;
    int output_ = -1;
    std::string seen_;
    std::optional<pid_t> engine_;
    std::optional<int> exitStatus_;
};

class ApplicationRunTest : public ::testing::TestWithParam<int> {};

TEST_P(ApplicationRunTest, ConnectsLoadsTheDashboardAndQuitsInOrderOnTheSignal) {
    RunningApplication app;
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(app.waitForOutput(kConnectedLine)) << app.output();
    ASSERT_TRUE(app.waitForOutput(kDashboardLoadedLine)) << app.output();
    const auto engine = app.engineGroup();
    ASSERT_TRUE(engine.has_value()) << "the engine runs as the program's child, leading its own group";

    EXPECT_EQ(app.stopWith(GetParam()), 0) << app.output();
    EXPECT_TRUE(processGroupGone(*engine)) << "the engine was stopped before the program ended";
}

INSTANTIATE_TEST_SUITE_P(QuitSignals, ApplicationRunTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? std::string("SIGTERM") : std::string("SIGINT");
                         });

TEST(ApplicationRunEngineExitTest, AKilledEngineTurnsTheLineOfflineAndTheProgramStillQuitsCleanly) {
    RunningApplication app;
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(app.waitForOutput(kConnectedLine)) << app.output();
    const auto engine = app.engineGroup();
    ASSERT_TRUE(engine.has_value());

    const auto before = app.output().size();
    ::kill(-*engine, SIGKILL);
    EXPECT_TRUE(app.waitForOutput(kOfflineLine, before)) << app.output();
    EXPECT_FALSE(processGone(app.pid())) << "the program stays up without its engine";

    EXPECT_EQ(app.stopWith(SIGTERM), 0) << app.output();
}

}  // namespace
}  // namespace murmo::testing
