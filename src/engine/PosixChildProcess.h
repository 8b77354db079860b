#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "engine/ChildProcess.h"

namespace murmo {

// A real child process.
//
// - Started with posix_spawn in a process group of its own, set before the
//   program executes (setting it afterwards races with the children the
//   program starts at once); with default signal dispositions and an empty
//   signal mask, so an ignored SIGPIPE or a blocked SIGTERM of ours is not
//   inherited (the C library alone keeps its reserved real-time signals
//   ignored); with standard input from /dev/null and every other descriptor
//   of ours closed.
// - Its exit is watched on a detached thread that observes it without reaping
//   it: the zombie keeps the pid and the group id from being reused while this
//   handle can still signal them. The handle reaps it when destroyed, or the
//   watcher does when the handle is gone first, so no zombie is left behind.
// - Signals go through a pidfd where the kernel offers one.
// - Both pipes are read on one reader thread.
class PosixChildProcess final : public ChildProcess {
public:
    // Bytes read from each pipe when draining, at most.
    static constexpr std::size_t kDrainLimit = 1024 * 1024;

    static Result<std::shared_ptr<ChildProcess>> spawn(const ChildProcessRequest& request, OutputHandler onOutput,
                                                       ExitHandler onExit);
    static ChildProcessLauncher launcher();

    ~PosixChildProcess() override;

    pid_t pid() const override { return pid_; }
    std::optional<pid_t> processGroupID() const override { return pid_; }
    std::optional<pid_t> currentProcessGroup() const override;
    bool isRunning() const override;
    int terminationStatus() const override;
    bool waitForExit(Duration timeout) override;
    int signal(int signalNumber) override;
    int signalGroup(pid_t group, int signalNumber) override;
    void finishOutput(bool drain) override;

    // Whether signals go through a pidfd.
    bool signalsByPidfd() const;

    struct ExitState;
    class OutputReader;

    PosixChildProcess(pid_t pid, std::shared_ptr<ExitState> exit, std::unique_ptr<OutputReader> reader);

private:
    pid_t pid_;
    std::shared_ptr<ExitState> exit_;
    std::mutex finishMutex_;
    std::unique_ptr<OutputReader> reader_;
};

}  // namespace murmo
