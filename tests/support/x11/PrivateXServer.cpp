#include "PrivateXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "runtime/FileDescriptor.h"

extern char** environ;

namespace murmo::testing {

namespace {

constexpr char kDomain[] = "PrivateXServer";

}  // namespace

Result<std::unique_ptr<PrivateXServer>> PrivateXServer::start() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return fail(kDomain, 1, "No pipe for the display number.");
    FileDescriptor readEnd(fds[0]);
    FileDescriptor writeEnd(fds[1]);

    // The server writes its display number to descriptor 3 once it listens.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{"Xvfb",     "-displayfd", "3", "-nolisten", "tcp",
                                  "-noreset", "-screen",    "0", "640x480x24"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0) return fail(kDomain, 2, "Xvfb could not be started.");
    std::unique_ptr<PrivateXServer> server(new PrivateXServer(pid, {}));

    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.empty() || number.back() != '\n') {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{readEnd.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return fail(kDomain, 3, "Xvfb did not report its display in time.");
        }
        char buffer[32];
        const auto got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got <= 0) return fail(kDomain, 4, "Xvfb ended before it reported its display.");
        number.append(buffer, static_cast<std::size_t>(got));
    }
    number.pop_back();
    server->displayName_ = ":" + number;
    return server;
}

void PrivateXServer::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = 0;
}

PrivateXServer::~PrivateXServer() { kill(); }

}  // namespace murmo::testing
