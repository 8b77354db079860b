#pragma once

// The built `murmo` program run as a user starts it, with private XDG folders:
// its standard output read as it comes, its engine child found, and whatever
// is left of both killed when the run goes.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TemporaryDirectory.h"

namespace murmo::testing {

// The live children of `parent`.
std::vector<pid_t> childrenOf(pid_t parent);
bool processGroupGone(pid_t group);

class RunningApplication {
public:
    // Starts `program` with the test's environment, private XDG folders and
    // `extraEnvironment` ("NAME=value" entries, each replacing the test's
    // own); its standard error goes to a file read by standardError().
    explicit RunningApplication(const std::string& program, std::vector<std::string> extraEnvironment = {});
    ~RunningApplication();
    RunningApplication(const RunningApplication&) = delete;
    RunningApplication& operator=(const RunningApplication&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& output() const { return seen_; }
    std::string standardError() const;

    // Reads the program's output until `text` appears at or after `from`.
    bool waitForOutput(std::string_view text, std::size_t from = 0,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // The engine's process group: the program's one child leads it.
    std::optional<pid_t> engineGroup();
    // The exit status after `signal`, or nothing when it did not end in time
    // or not by exiting.
    std::optional<int> stopWith(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    TemporaryDirectory home_;
    pid_t pid_ = -1;
    int output_ = -1;
    std::string seen_;
    std::optional<pid_t> engine_;
    std::optional<int> exitStatus_;
};

}  // namespace murmo::testing
