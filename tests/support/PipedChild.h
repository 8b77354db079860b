#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Error.h"
#include "runtime/FileDescriptor.h"

namespace murmo::testing {

// A test program started with its standard input and output on pipes of
// ours (its standard error stays the test's), for the drivers of the test
// programs the linux tests talk to line by line.
struct PipedChild {
    pid_t pid = -1;
    // Its standard input: closing it is how the test programs are asked to end.
    FileDescriptor input;
    FileDescriptor output;

    // `environment`: "NAME=value" entries, absent for this process's own.
    // Errors are reported in `errorDomain`.
    static Result<PipedChild> spawn(const std::string& program, std::string_view errorDomain,
                                    const std::optional<std::vector<std::string>>& environment = std::nullopt);
};

enum class LineRead { line, timedOut, ended };

// Takes the next line (without its newline) out of `pending` into `line`,
// reading what the child writes on `fd` into `pending` until one is there or
// `deadline` passes.
LineRead readLine(int fd, std::string& pending, std::chrono::steady_clock::time_point deadline, std::string& line);

// Waits at most `patience` for the child to exit, then kills it; reaps it
// either way.
void reapOrKill(pid_t pid, std::chrono::milliseconds patience);

}  // namespace murmo::testing
