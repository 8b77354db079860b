#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Environment.h"
#include "runtime/Error.h"

namespace murmo {

// What to run: the program, the arguments after the program path, the working
// directory and the child's whole environment.
struct ChildProcessRequest {
    std::filesystem::path executable;
    std::vector<std::string> arguments;
    std::filesystem::path workingDirectory;
    EnvironmentMap environment;
};

enum class ChildOutputStream { standardOutput, standardError };

// A started child process with its standard output and standard error piped
// back to us. The engine supervisor talks to the child only through this, so
// its bookkeeping can be exercised without real processes.
class ChildProcess {
public:
    // Called on a reader thread with each chunk read from a pipe.
    using OutputHandler = std::function<void(ChildOutputStream stream, std::string_view bytes)>;
    // Called once, on a watcher thread, when the child has exited.
    using ExitHandler = std::function<void()>;

    virtual ~ChildProcess() = default;

    virtual pid_t pid() const = 0;
    // The group the child was placed in before it executed (its own pid), when
    // that was done.
    virtual std::optional<pid_t> processGroupID() const = 0;
    // The child's process group now; none once it cannot be asked.
    virtual std::optional<pid_t> currentProcessGroup() const = 0;

    virtual bool isRunning() const = 0;
    // The exit code, or the number of the signal that ended the child; -1
    // while it runs.
    virtual int terminationStatus() const = 0;
    // Waits up to `timeout` for the exit; true once the child has exited.
    // Blocks: never call it on the main thread.
    virtual bool waitForExit(Duration timeout) = 0;

    // Send a signal to the child alone, or to the process group `group`.
    // Return 0 or the errno of the failure (ESRCH once the child is gone).
    virtual int signal(int signalNumber) = 0;
    virtual int signalGroup(pid_t group, int signalNumber) = 0;

    // Stops delivering output; when `drain` is set, first delivers what the
    // pipes hold now, with a bound, without waiting for their end (a process
    // that left the child's group may hold them open forever). Blocks until
    // the reader has stopped, which the drain's bound keeps short; best off
    // the main thread. Safe to call from several threads: every call returns
    // only once the output is finished, and no output arrives afterwards.
    virtual void finishOutput(bool drain) = 0;
};

// Starts a child process, or fails with the platform's error.
using ChildProcessLauncher = std::function<Result<std::shared_ptr<ChildProcess>>(
    const ChildProcessRequest& request, ChildProcess::OutputHandler onOutput, ChildProcess::ExitHandler onExit)>;

inline constexpr std::string_view kPosixErrorDomain = "NSPOSIXErrorDomain";

// The platform's error for an errno value.
Error posixError(int code);

}  // namespace murmo
