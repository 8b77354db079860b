#include "RunningApplication.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "ProcessProbes.h"

extern char** environ;

namespace murmo::testing {

namespace {

using namespace std::chrono_literals;

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

bool isXdgFolder(std::string_view variable) {
    for (const char* name : {"XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "XDG_STATE_HOME=", "XDG_CACHE_HOME="}) {
        if (variable.starts_with(name)) return true;
    }
    return false;
}

}  // namespace

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

RunningApplication::RunningApplication(const std::string& program, std::vector<std::string> extraEnvironment) {
    const auto overridden = [&](std::string_view variable) {
        for (const auto& extra : extraEnvironment) {
            const auto name = extra.substr(0, extra.find('=') + 1);
            if (variable.starts_with(name)) return true;
        }
        return isXdgFolder(variable);
    };
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (!overridden(*entry)) environment.emplace_back(*entry);
    }
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        environment.push_back(std::string(name) + "=" + (home_.path() / name).string());
    }
    for (auto& entry : extraEnvironment) environment.push_back(std::move(entry));
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return;
    const auto errors = (home_.path() / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    output_ = output[0];
}

RunningApplication::~RunningApplication() {
    if (engine_) ::kill(-*engine_, SIGKILL);
    if (pid_ > 0 && !exitStatus_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
}

std::string RunningApplication::standardError() const {
    std::ifstream file(home_.path() / "stderr", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool RunningApplication::waitForOutput(std::string_view text, std::size_t from, std::chrono::milliseconds timeout) {
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

std::optional<pid_t> RunningApplication::engineGroup() {
    const auto children = childrenOf(pid_);
    if (children.size() != 1) return std::nullopt;
    const pid_t group = ::getpgid(children.front());
    if (group != children.front()) return std::nullopt;
    engine_ = group;
    return group;
}

std::optional<int> RunningApplication::stopWith(int signal, std::chrono::milliseconds timeout) {
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exitStatus_ = status;
            if (!WIFEXITED(status)) return std::nullopt;
            return WEXITSTATUS(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
}

}  // namespace murmo::testing
