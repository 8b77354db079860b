#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace murmo::testing {

// The state letter of /proc/<pid>/stat, or 0 when there is no such process.
inline char processState(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!file || !std::getline(file, text)) return 0;
    auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return 0;
    return text[close + 2];
}

// Gone or dead: a zombie that some other parent has not reaped yet counts as
// gone, since it runs no more code.
inline bool processGone(pid_t pid) {
    char state = processState(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

inline bool waitUntilGone(pid_t pid, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!processGone(pid)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// True when `pid` is no child of ours waiting to be reaped.
inline bool notOurZombie(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0 && errno == ECHILD;
}

// Ends a process a test left behind, if it still runs.
inline void killIfRunning(pid_t pid) {
    if (pid > 0 && !processGone(pid)) ::kill(pid, SIGKILL);
}

}  // namespace murmo::testing
