#include "PipedChild.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace murmo::testing {

namespace {

struct Pipe {
    FileDescriptor read;
    FileDescriptor write;
};

std::optional<Pipe> openPipe() {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) return std::nullopt;
    return Pipe{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

}  // namespace

Result<PipedChild> PipedChild::spawn(const std::string& program, std::string_view errorDomain,
                                     const std::optional<std::vector<std::string>>& environment) {
    auto input = openPipe();
    auto output = openPipe();
    if (!input || !output) return fail(std::string(errorDomain), 1, std::strerror(errno));

    std::vector<std::string> entries = environment.value_or(std::vector<std::string>{});
    std::vector<char*> environmentPointers;
    for (auto& entry : entries) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input->read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output->write.get(), STDOUT_FILENO);
    std::array<char*, 2> arguments{const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments.data(),
                                      environment ? environmentPointers.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return fail(std::string(errorDomain), 2, program + " could not be started: " + std::strerror(spawned));
    }
    return PipedChild{pid, std::move(input->write), std::move(output->read)};
}

LineRead readLine(int fd, std::string& pending, std::chrono::steady_clock::time_point deadline, std::string& line) {
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return LineRead::line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return LineRead::timedOut;
        pollfd watched{.fd = fd, .events = POLLIN, .revents = 0};
        const int polled = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (polled <= 0) continue;
        std::array<char, 1 << 16> buffer{};
        const auto count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return LineRead::ended;
        pending.append(buffer.data(), static_cast<std::size_t>(count));
    }
}

void reapOrKill(pid_t pid, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
        if (reaped == pid || (reaped < 0 && errno != EINTR)) return;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace murmo::testing
