#include "engine/PosixChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <system_error>

namespace murmo {

namespace {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

// Both ends close-on-exec; the child gets the write end through dup2, which
// clears the flag on the copy only. The read end never blocks, so draining
// can stop as soon as a pipe is empty.
Result<Pipe> makeOutputPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return fail(posixError(errno));
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    if (::fcntl(pipe.readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return fail(posixError(errno));
    return pipe;
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

int sendByPidfd(int pidfd, int signalNumber) {
#ifdef SYS_pidfd_send_signal
    return ::syscall(SYS_pidfd_send_signal, pidfd, signalNumber, nullptr, 0) == 0 ? 0 : errno;
#else
    (void)pidfd;
    (void)signalNumber;
    return ENOSYS;
#endif
}

// The C strings posix_spawn wants, kept alive together with their storage.
class CStringList {
public:
    void add(std::string text) { storage_.push_back(std::move(text)); }
    char* const* pointers() {
        pointers_.clear();
        for (auto& text : storage_) pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
        return pointers_.data();
    }

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

int prepareActions(SpawnActions& actions, const ChildProcessRequest& request, const Pipe& out, const Pipe& err) {
    if (int rc = ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0)) return rc;
    if (int rc = ::posix_spawn_file_actions_adddup2(actions.get(), out.writeEnd.get(), STDOUT_FILENO)) return rc;
    if (int rc = ::posix_spawn_file_actions_adddup2(actions.get(), err.writeEnd.get(), STDERR_FILENO)) return rc;
    if (!request.workingDirectory.empty()) {
        if (int rc = ::posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory.c_str())) return rc;
    }
    // Descriptors opened elsewhere in this process without close-on-exec
    // must not leak into the engine either.
    return ::posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
}

int prepareAttributes(SpawnAttributes& attributes) {
    sigset_t all;
    sigset_t none;
    ::sigfillset(&all);
    ::sigemptyset(&none);
    const short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (int rc = ::posix_spawnattr_setflags(attributes.get(), flags)) return rc;
    // Group 0: a new group whose id is the child's pid, set in the child
    // before it executes.
    if (int rc = ::posix_spawnattr_setpgroup(attributes.get(), 0)) return rc;
    if (int rc = ::posix_spawnattr_setsigdefault(attributes.get(), &all)) return rc;
    return ::posix_spawnattr_setsigmask(attributes.get(), &none);
}

}  // namespace

Error posixError(int code) {
    return Error(std::string(kPosixErrorDomain), code, std::generic_category().message(code));
}

struct PosixChildProcess::ExitState {
    ExitState(pid_t pid, int pidfd, ExitHandler onExit) : pid(pid), pidfd(pidfd), onExit(std::move(onExit)) {}
    ~ExitState() {
        if (pidfd >= 0) ::close(pidfd);
    }

    // Under `mutex`; the child has exited.
    void reap() {
        siginfo_t info{};
        while (::waitid(P_PID, pid, &info, WEXITED) != 0 && errno == EINTR) {
        }
        reaped = true;
    }

    std::mutex mutex;
    std::condition_variable changed;
    const pid_t pid;
    const int pidfd;
    bool exited = false;
    int status = -1;
    bool reaped = false;
    bool handleAlive = true;
    ExitHandler onExit;
};

namespace {

void watchExit(const std::shared_ptr<PosixChildProcess::ExitState>& state) {
    siginfo_t info{};
    int result = 0;
    do {
        result = ::waitid(P_PID, state->pid, &info, WEXITED | WNOWAIT);
    } while (result != 0 && errno == EINTR);
    std::lock_guard lock(state->mutex);
    state->exited = true;
    if (result == 0) {
        // si_status is the exit code, or the signal that ended the child.
        state->status = info.si_status;
    } else {
        state->reaped = true;  // someone else reaped it; nothing is held
    }
    if (!state->handleAlive && !state->reaped) state->reap();
    state->changed.notify_all();
    // Called under the lock, so a handle being destroyed waits for the call
    // to end and no call starts after the handle is gone.
    if (auto handler = std::exchange(state->onExit, nullptr)) handler();
}

}  // namespace

class PosixChildProcess::OutputReader {
public:
    OutputReader(UniqueFd out, UniqueFd err, UniqueFd wake, OutputHandler handler)
        : wake_(std::move(wake)), handler_(std::move(handler)) {
        streams_[0] = {std::move(out), ChildOutputStream::standardOutput};
        streams_[1] = {std::move(err), ChildOutputStream::standardError};
        thread_ = std::thread([this] { run(); });
    }
    ~OutputReader() { finish(false); }
    OutputReader(const OutputReader&) = delete;
    OutputReader& operator=(const OutputReader&) = delete;

    void finish(bool drain) {
        if (!thread_.joinable()) return;
        drain_.store(drain);
        const std::uint64_t one = 1;
        while (::write(wake_.get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }

private:
    struct Stream {
        UniqueFd fd;
        ChildOutputStream kind = ChildOutputStream::standardOutput;
    };

    // Reads once; false at the end of the pipe or on an error.
    bool readOnce(Stream& stream, std::size_t limit) {
        for (;;) {
            auto count = ::read(stream.fd.get(), buffer_.data(), std::min(buffer_.size(), limit));
            if (count > 0) {
                if (handler_) handler_(stream.kind, std::string_view(buffer_.data(), static_cast<std::size_t>(count)));
                return true;
            }
            if (count < 0 && errno == EINTR) continue;
            if (count < 0 && errno == EAGAIN) return true;
            stream.fd.reset();
            return false;
        }
    }

    void drain(Stream& stream) {
        std::size_t total = 0;
        while (stream.fd.get() >= 0 && total < kDrainLimit) {
            auto count = ::read(stream.fd.get(), buffer_.data(), std::min(buffer_.size(), kDrainLimit - total));
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            if (handler_) handler_(stream.kind, std::string_view(buffer_.data(), static_cast<std::size_t>(count)));
            total += static_cast<std::size_t>(count);
        }
    }

    void run() {
        for (;;) {
            std::array<pollfd, 3> polled{};
            std::array<Stream*, 3> owners{};
            nfds_t count = 0;
            polled[count++] = {wake_.get(), POLLIN, 0};
            for (auto& stream : streams_) {
                if (stream.fd.get() < 0) continue;
                owners[count] = &stream;
                polled[count++] = {stream.fd.get(), POLLIN, 0};
            }
            if (::poll(polled.data(), count, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (polled[0].revents != 0) break;
            for (nfds_t i = 1; i < count; ++i) {
                if (polled[i].revents != 0) readOnce(*owners[i], buffer_.size());
            }
        }
        if (drain_.load()) {
            for (auto& stream : streams_) drain(stream);
        }
        for (auto& stream : streams_) stream.fd.reset();
    }

    std::array<Stream, 2> streams_;
    UniqueFd wake_;
    OutputHandler handler_;
    std::atomic<bool> drain_{false};
    std::array<char, 64 * 1024> buffer_{};
    std::thread thread_;
};

PosixChildProcess::PosixChildProcess(pid_t pid, std::shared_ptr<ExitState> exit, std::unique_ptr<OutputReader> reader)
    : pid_(pid), exit_(std::move(exit)), reader_(std::move(reader)) {}

Result<std::shared_ptr<ChildProcess>> PosixChildProcess::spawn(const ChildProcessRequest& request,
                                                               OutputHandler onOutput, ExitHandler onExit) {
    auto out = makeOutputPipe();
    if (!out) return fail(out.error());
    auto err = makeOutputPipe();
    if (!err) return fail(err.error());
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0) return fail(posixError(errno));

    SpawnActions actions;
    SpawnAttributes attributes;
    if (int rc = prepareActions(actions, request, *out, *err)) return fail(posixError(rc));
    if (int rc = prepareAttributes(attributes)) return fail(posixError(rc));

    CStringList argv;
    argv.add(request.executable.string());
    for (const auto& argument : request.arguments) argv.add(argument);
    CStringList envp;
    for (const auto& [name, value] : request.environment) envp.add(name + "=" + value);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, request.executable.c_str(), actions.get(), attributes.get(), argv.pointers(),
                                 envp.pointers());
    out->writeEnd.reset();
    err->writeEnd.reset();
    if (rc != 0) return fail(posixError(rc));

    auto exit = std::make_shared<ExitState>(pid, openPidfd(pid), std::move(onExit));
    try {
        auto reader = std::make_unique<OutputReader>(std::move(out->readEnd), std::move(err->readEnd), std::move(wake),
                                                     std::move(onOutput));
        std::thread([exit] { watchExit(exit); }).detach();
        return std::shared_ptr<ChildProcess>(std::make_shared<PosixChildProcess>(pid, exit, std::move(reader)));
    } catch (const std::system_error& error) {
        // Without its watcher the child could never be reaped: end it now.
        ::kill(pid, SIGKILL);
        exit->reap();
        return fail(posixError(error.code().value()));
    }
}

ChildProcessLauncher PosixChildProcess::launcher() {
    return [](const ChildProcessRequest& request, OutputHandler onOutput, ExitHandler onExit) {
        return spawn(request, std::move(onOutput), std::move(onExit));
    };
}

PosixChildProcess::~PosixChildProcess() {
    finishOutput(false);
    std::lock_guard lock(exit_->mutex);
    exit_->handleAlive = false;
    exit_->onExit = nullptr;
    if (exit_->exited && !exit_->reaped) exit_->reap();
}

std::optional<pid_t> PosixChildProcess::currentProcessGroup() const {
    std::lock_guard lock(exit_->mutex);
    if (exit_->reaped) return std::nullopt;
    pid_t group = ::getpgid(pid_);
    if (group < 0) return std::nullopt;
    return group;
}

bool PosixChildProcess::isRunning() const {
    std::lock_guard lock(exit_->mutex);
    return !exit_->exited;
}

int PosixChildProcess::terminationStatus() const {
    std::lock_guard lock(exit_->mutex);
    return exit_->exited ? exit_->status : -1;
}

bool PosixChildProcess::waitForExit(Duration timeout) {
    std::unique_lock lock(exit_->mutex);
    return exit_->changed.wait_for(lock, timeout, [this] { return exit_->exited; });
}

// The child stays unreaped while this handle lives, so neither its pid nor
// its group id can have been given to another process yet.
int PosixChildProcess::signal(int signalNumber) {
    std::lock_guard lock(exit_->mutex);
    if (exit_->reaped) return ESRCH;
    if (exit_->pidfd >= 0) {
        int result = sendByPidfd(exit_->pidfd, signalNumber);
        if (result != ENOSYS) return result;
    }
    return ::kill(pid_, signalNumber) == 0 ? 0 : errno;
}

int PosixChildProcess::signalGroup(pid_t group, int signalNumber) {
    std::lock_guard lock(exit_->mutex);
    if (exit_->reaped || group <= 0) return ESRCH;
    return ::kill(-group, signalNumber) == 0 ? 0 : errno;
}

void PosixChildProcess::finishOutput(bool drain) {
    std::lock_guard lock(finishMutex_);
    if (reader_) reader_->finish(drain);
}

bool PosixChildProcess::signalsByPidfd() const { return exit_->pidfd >= 0; }

}  // namespace murmo
