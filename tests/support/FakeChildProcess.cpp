#include "FakeChildProcess.h"

#include <cerrno>

namespace murmo::testing {

FakeChildProcess::FakeChildProcess(pid_t pid, std::optional<pid_t> group)
    : pid_(pid), group_(group), currentGroup_(group) {}

void FakeChildProcess::exitsOn(std::set<int> signals) {
    std::lock_guard lock(mutex_);
    exitSignals_ = std::move(signals);
}

void FakeChildProcess::failSends(Target target, int signal, int error) {
    std::lock_guard lock(mutex_);
    failures_[{target, signal}] = error;
}

void FakeChildProcess::setCurrentProcessGroup(std::optional<pid_t> group) {
    std::lock_guard lock(mutex_);
    currentGroup_ = group;
}

void FakeChildProcess::setHandlers(OutputHandler onOutput, ExitHandler onExit) {
    std::lock_guard lock(mutex_);
    onOutput_ = std::move(onOutput);
    onExit_ = std::move(onExit);
}

void FakeChildProcess::emit(ChildOutputStream stream, std::string_view bytes) {
    OutputHandler handler;
    {
        std::lock_guard lock(mutex_);
        if (outputFinished_) return;
        handler = onOutput_;
    }
    if (handler) handler(stream, bytes);
}

void FakeChildProcess::exitNow(int status) {
    ExitHandler handler;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        status_ = status;
        handler = std::exchange(onExit_, nullptr);
    }
    if (handler) handler();
}

std::vector<FakeChildProcess::SentSignal> FakeChildProcess::sentSignals() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<Duration> FakeChildProcess::waits() const {
    std::lock_guard lock(mutex_);
    return waits_;
}

std::vector<bool> FakeChildProcess::finishCalls() const {
    std::lock_guard lock(mutex_);
    return finishCalls_;
}

std::optional<pid_t> FakeChildProcess::currentProcessGroup() const {
    std::lock_guard lock(mutex_);
    return currentGroup_;
}

bool FakeChildProcess::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int FakeChildProcess::terminationStatus() const {
    std::lock_guard lock(mutex_);
    return running_ ? -1 : status_;
}

bool FakeChildProcess::waitForExit(Duration timeout) {
    std::lock_guard lock(mutex_);
    waits_.push_back(timeout);
    return !running_;
}

int FakeChildProcess::signal(int signalNumber) { return send(Target::process, pid_, signalNumber); }

int FakeChildProcess::signalGroup(pid_t group, int signalNumber) { return send(Target::group, group, signalNumber); }

void FakeChildProcess::leaveInPipe(ChildOutputStream stream, std::string bytes) {
    std::lock_guard lock(mutex_);
    inPipes_.emplace_back(stream, std::move(bytes));
}

void FakeChildProcess::holdOutputFinish() {
    std::lock_guard lock(mutex_);
    finishHeld_ = true;
}

void FakeChildProcess::releaseOutputFinish() {
    {
        std::lock_guard lock(mutex_);
        finishHeld_ = false;
    }
    changed_.notify_all();
}

bool FakeChildProcess::waitForFinishCalls(std::size_t count, Duration timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finishCalls_.size() >= count; });
}

void FakeChildProcess::finishOutput(bool drain) {
    {
        std::lock_guard lock(mutex_);
        finishCalls_.push_back(drain);
    }
    changed_.notify_all();
    std::lock_guard finishing(finishing_);
    std::vector<std::pair<ChildOutputStream, std::string>> drained;
    OutputHandler handler;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !finishHeld_; });
        if (outputFinished_) return;
        outputFinished_ = true;
        if (drain) drained = std::exchange(inPipes_, {});
        handler = onOutput_;
    }
    if (!handler) return;
    for (const auto& [stream, bytes] : drained) handler(stream, bytes);
}

int FakeChildProcess::send(Target target, pid_t id, int signalNumber) {
    ExitHandler handler;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        sent_.push_back({target, id, signalNumber});
        if (auto failure = failures_.find({target, signalNumber}); failure != failures_.end()) return failure->second;
        if (!running_) return ESRCH;
        if (exitSignals_.contains(signalNumber)) {
            running_ = false;
            status_ = signalNumber;
            handler = std::exchange(onExit_, nullptr);
        }
    }
    if (handler) handler();
    return result;
}

}  // namespace murmo::testing
