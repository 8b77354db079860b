#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/ChildProcess.h"

namespace murmo::testing {

// A child process that exists only in memory: it answers signals as scripted
// and never blocks, so stop and exit logic can be exercised without real
// processes or real waiting.
class FakeChildProcess final : public ChildProcess {
public:
    enum class Target { process, group };
    struct SentSignal {
        Target target;
        pid_t id;
        int signal;
        bool operator==(const SentSignal&) const = default;
    };

    explicit FakeChildProcess(pid_t pid = 4242, std::optional<pid_t> group = 4242);

    // Script: which signals end it (none: it never ends), and the errno a send
    // to a target returns instead of delivering.
    void exitsOn(std::set<int> signals);
    void failSends(Target target, int signal, int error);
    void setCurrentProcessGroup(std::optional<pid_t> group);
    void setHandlers(OutputHandler onOutput, ExitHandler onExit);

    // Simulates the child: writing, and exiting by itself.
    void emit(ChildOutputStream stream, std::string_view bytes);
    void exitNow(int status);
    // Bytes still in a pipe: delivered only by a draining finishOutput.
    void leaveInPipe(ChildOutputStream stream, std::string bytes);
    // While held, finishOutput waits (as a drain busy on another thread
    // would); every call is recorded before it waits.
    void holdOutputFinish();
    void releaseOutputFinish();
    // Waits until finishOutput has been called `count` times; false on
    // time-out.
    bool waitForFinishCalls(std::size_t count, Duration timeout) const;

    std::vector<SentSignal> sentSignals() const;
    std::vector<Duration> waits() const;
    std::vector<bool> finishCalls() const;

    pid_t pid() const override { return pid_; }
    std::optional<pid_t> processGroupID() const override { return group_; }
    std::optional<pid_t> currentProcessGroup() const override;
    bool isRunning() const override;
    int terminationStatus() const override;
    bool waitForExit(Duration timeout) override;
    int signal(int signalNumber) override;
    int signalGroup(pid_t group, int signalNumber) override;
    void finishOutput(bool drain) override;

private:
    int send(Target target, pid_t id, int signalNumber);

    const pid_t pid_;
    const std::optional<pid_t> group_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // Held across a whole finishOutput, as the real reader's join is.
    std::mutex finishing_;
    bool finishHeld_ = false;
    std::vector<std::pair<ChildOutputStream, std::string>> inPipes_;
    std::optional<pid_t> currentGroup_;
    std::set<int> exitSignals_;
    std::map<std::pair<Target, int>, int> failures_;
    bool running_ = true;
    int status_ = -1;
    bool outputFinished_ = false;
    OutputHandler onOutput_;
    ExitHandler onExit_;
    std::vector<SentSignal> sent_;
    std::vector<Duration> waits_;
    std::vector<bool> finishCalls_;
};

}  // namespace murmo::testing
