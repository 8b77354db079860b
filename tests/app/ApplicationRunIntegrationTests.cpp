#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ProcessProbes.h"
#include "support/TemporaryDirectory.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Reads the child's standard output until `text` shows up or the time is up.
bool waitForOutput(int fd, const std::string& text, std::string& seen, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (seen.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) return false;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[512];
        const auto got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) return false;
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

TEST(ApplicationRunTest, LaunchesTheBundledEngineAndStopsItOnSIGTERM) {
    murmo::testing::TemporaryDirectory data;
    const std::string program = std::string(MURMO_BUNDLE_DIR) + "/Contents/MacOS/murmo";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::string_view(*entry).starts_with("XDG_DATA_HOME=")) continue;
        environment.emplace_back(*entry);
    }
    environment.push_back("XDG_DATA_HOME=" + data.path().string());
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);

    std::string seen;
    const bool ready = waitForOutput(output[0], "Murmo: engine ready at http://127.0.0.1:", seen, 20s);
    EXPECT_TRUE(ready) << seen;
    const auto log = data.path() / "Dorvex Local/Logs/core-diagnostics.jsonl";
    EXPECT_TRUE(std::filesystem::exists(log));

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(output[0]);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
