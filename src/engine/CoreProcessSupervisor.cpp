#include "engine/CoreProcessSupervisor.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "engine/BeastCoreTransport.h"
#include "runtime/JsonRead.h"

namespace murmo {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kWorkingDirectoryMode = 0700;
constexpr std::string_view kLoopbackHost = "127.0.0.1";

// Like create_directories, but every directory it makes is private to the
// user; one that exists already is accepted as it is.
Status createPrivateDirectories(const fs::path& path) {
    fs::path current;
    for (const auto& part : path) {
        current /= part;
        if (part.empty() || part == current.root_path()) continue;
        if (::mkdir(current.c_str(), kWorkingDirectoryMode) == 0) continue;
        const int error = errno;
        struct stat status {};
        if (error == EEXIST && ::stat(current.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
        return fail(posixError(error == EEXIST ? ENOTDIR : error));
    }
    return {};
}

CoreProcessLogStream logStream(ChildOutputStream stream) {
    return stream == ChildOutputStream::standardOutput ? CoreProcessLogStream::stdoutStream
                                                       : CoreProcessLogStream::stderrStream;
}

}  // namespace

std::shared_ptr<CoreProcessSupervisor> CoreProcessSupervisor::create(CoreProcessSupervisorServices services) {
    return std::shared_ptr<CoreProcessSupervisor>(new CoreProcessSupervisor(std::move(services)));
}

CoreProcessSupervisor::CoreProcessSupervisor(CoreProcessSupervisorServices services)
    : services_(std::move(services)), worker_(std::make_unique<WorkerThread>()) {
    if (!services_.transport) services_.transport = std::make_shared<BeastCoreTransport>();
}

CoreProcessSupervisor::~CoreProcessSupervisor() { cancelReadiness(); }

std::optional<pid_t> CoreProcessSupervisor::processID() const {
    if (!process_) return std::nullopt;
    return process_->pid();
}

std::vector<std::string> CoreProcessSupervisor::serveArguments(int port) {
    return {"serve", "--host", std::string(kLoopbackHost), "--port", std::to_string(port)};
}

EnvironmentMap CoreProcessSupervisor::engineEnvironment(const EnvironmentMap& inherited,
                                                        const CoreEnvironmentInputs& inputs,
                                                        const std::function<bool(const fs::path&)>& isExecutable) {
    EnvironmentMap environment = inherited;

    // Our tool folders first, so the engine finds uv, ffmpeg and the like
    // even when the application was started without a login shell's PATH.
    std::vector<std::string> path;
    if (inputs.repoRoot) path.push_back((*inputs.repoRoot / ".venv/bin").string());
    path.push_back((inputs.homeDirectory / ".local/bin").string());
    path.push_back((inputs.homeDirectory / ".cargo/bin").string());
    for (const char* system : {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin", "/bin"}) path.emplace_back(system);
    if (auto own = lookup(inherited, "PATH")) path.push_back(*own);
    environment["PATH"] = fmt::format("{}", fmt::join(path, ":"));

    environment["MURMO_DESKTOP_HOSTED"] = "1";
    environment["MURMO_DESKTOP_TOKEN"] = inputs.desktopToken;
    environment["MURMO_DESKTOP_PROCESS_GROUP"] = "1";
    environment["MURMO_CORE_DIAGNOSTICS_FORMAT"] = "jsonl";
    environment["MURMO_CORE_DIAGNOSTICS_PRIVACY"] = "metadata";
    environment["PYTHONUNBUFFERED"] = "1";

    const auto resources = inputs.bundleURL / "Contents/Resources";
    auto setIfExecutable = [&](const char* name, const fs::path& tool) {
        if (!isExecutable(tool)) return false;
        environment[name] = tool.string();
        return true;
    };
    setIfExecutable("MURMO_BUNDLED_WHISPER", resources / "Whisper/bin/whisper-cli");
    setIfExecutable("MURMO_BUNDLED_LLAMA_SERVER", resources / "Llama/bin/llama-server");
    std::vector<fs::path> bridges{resources / "FoundationModels/MurmoFoundationBridge"};
    if (inputs.repoRoot) {
        bridges.push_back(*inputs.repoRoot / "macos/.build/debug/MurmoFoundationBridge");
        bridges.push_back(*inputs.repoRoot / "macos/.build/release/MurmoFoundationBridge");
    }
    for (const auto& bridge : bridges) {
        if (setIfExecutable("MURMO_APPLE_FOUNDATION_BRIDGE", bridge)) break;
    }

    switch (inputs.runtimeKind) {
        case CoreRuntimeKind::bundled:
            // The bundled engine carries its own Python; a developer's would
            // only confuse it.
            for (const char* name : {"PYTHONHOME", "PYTHONPATH", "VIRTUAL_ENV"}) environment.erase(std::string(name));
            break;
        case CoreRuntimeKind::virtualEnvironment:
            if (inputs.repoRoot) environment["VIRTUAL_ENV"] = (*inputs.repoRoot / ".venv").string();
            break;
        case CoreRuntimeKind::explicitExecutable:
        case CoreRuntimeKind::uv: break;
    }
    return environment;
}

Status CoreProcessSupervisor::prepareWorkingDirectory(const CoreLaunchPlan& plan) const {
    if (plan.runtimeKind != CoreRuntimeKind::bundled) return {};
    auto created = createPrivateDirectories(plan.currentDirectoryURL);
    if (!created) return fail(CoreProcessError::runtimeDirectoryUnavailable(created.error().message).toError());
    return {};
}

Status CoreProcessSupervisor::launch(const std::optional<fs::path>& repoRoot, int port, std::string_view desktopToken,
                                     CoreLaunchProviders providers) {
    if (process_) return fail(CoreProcessError::alreadyRunning().toError());
    if (desktopToken.empty()) return fail(CoreProcessError::missingDesktopToken().toError());

    const auto environment = services_.environment();
    const auto bundleURL = services_.mainBundle ? services_.mainBundle->bundleURL() : fs::path();
    auto plan = resolveLaunchPlan(repoRoot, bundleURL, environment, services_.searchPaths);
    if (!plan) return fail(plan.error().toError());
    if (auto prepared = prepareWorkingDirectory(*plan); !prepared) return prepared;

    ChildProcessRequest request;
    request.executable = plan->executableURL;
    request.arguments = plan->arguments;
    std::ranges::move(serveArguments(port), std::back_inserter(request.arguments));
    request.workingDirectory = plan->currentDirectoryURL;
    request.environment =
        engineEnvironment(environment, CoreEnvironmentInputs{repoRoot, userHomeDirectory(environment), bundleURL,
                                                             std::string(desktopToken), plan->runtimeKind});

    finishEndedRun();
    CoreProcessPrivacyLogOptions logOptions;
    logOptions.openFile = services_.openLogFile;
    auto log = CoreProcessPrivacyLog::create(CoreProcessLogPolicy::directory(applicationDataDirectory(environment)),
                                             std::move(logOptions));
    if (!log) {
        return fail(CoreProcessError::runtimeDirectoryUnavailable(std::string(kDiagnosticsUnavailablePrefix) +
                                                                  log.error().message)
                        .toError());
    }

    // The output handler holds the log, not the supervisor.
    ChildProcess::OutputHandler onOutput = [log = *log](ChildOutputStream stream, std::string_view bytes) {
        log->consume(bytes, logStream(stream));
    };
    // The child is known only once started; the exit is handled on the main
    // thread, after launch has returned, so it is filled in by then.
    auto startedChild = std::make_shared<std::weak_ptr<ChildProcess>>();
    ChildProcess::ExitHandler onExit = [weak = weak_from_this(), loop = &services_.loop, startedChild] {
        loop->post([weak, startedChild] {
            if (auto self = weak.lock()) self->handleExit(startedChild->lock());
        });
    };

    stopping_ = false;
    isReady_ = false;
    launchPlan_ = *plan;

    auto child = services_.launcher(request, std::move(onOutput), std::move(onExit));
    if (!child) {
        (*log)->finish();
        launchPlan_.reset();
        return fail(child.error());
    }
    *startedChild = *child;
    process_ = *child;
    privacyLog_ = *log;
    contextPublisher_ = CoreDesktopContextPublisher::create(
        {.loop = services_.loop, .transport = services_.transport, .log = services_.logger},
        fmt::format("http://{}:{}", kLoopbackHost, port), std::string(desktopToken), std::move(providers));

    const pid_t pid = process_->pid();
    processGroupID_ = process_->processGroupID();
    if (!processGroupID_ && process_->currentProcessGroup() == pid) processGroupID_ = pid;
    services_.logger.notice("Core launched pid={} runtime={}", logPublic(pid), logPublic(toString(plan->runtimeKind)));
    return {};
}

void CoreProcessSupervisor::publishDesktopContext() {
    if (process_ && isReady_ && contextPublisher_) contextPublisher_->publish();
}

void CoreProcessSupervisor::handleExit(const std::shared_ptr<ChildProcess>& exited) {
    if (!exited || exited != process_) return;
    if (stopping_) return;  // the stop under way finishes the run

    auto log = std::exchange(privacyLog_, nullptr);
    process_.reset();
    processGroupID_.reset();
    launchPlan_.reset();
    const bool wasReady = std::exchange(isReady_, false);
    const int status = exited->terminationStatus();
    services_.logger.notice("Core exited status={} ready={}", logPublic(status), logPublic(wasReady));

    // The rest of the output is filed off the main thread, so the loop does
    // not wait for the drain. The owner hears of the exit only once the last
    // line is in the log; a launch before that finishes the log itself.
    endedRun_ = EndedRun{exited, log};
    worker_->post([exited, log, wasReady, status, weak = weak_from_this(), loop = &services_.loop]() mutable {
        exited->finishOutput(true);
        if (log) log->finish();
        // The handle goes back to the main thread, so the child is reaped
        // before the owner hears of its exit.
        loop->post([exited = std::move(exited), weak, wasReady, status]() mutable {
            auto self = weak.lock();
            if (self && self->endedRun_ && self->endedRun_->child == exited) self->endedRun_.reset();
            exited.reset();
            if (!self || !wasReady || !self->onUnexpectedTermination) return;
            self->onUnexpectedTermination(status);
        });
    });
}

void CoreProcessSupervisor::finishEndedRun() {
    auto ended = std::exchange(endedRun_, std::nullopt);
    if (!ended) return;
    // Both steps are idempotent and serialised with the worker's: when the
    // worker is still draining, this waits for that bounded drain, so the
    // old run's last lines still reach the file before the new log opens it.
    ended->child->finishOutput(true);
    if (ended->log) ended->log->finish();
}

void CoreProcessSupervisor::stop(Duration gracePeriod, StopCompletion completion) {
    cancelReadiness();
    if (!process_) {
        if (completion) completion(CoreStopOutcome::notRunning);
        return;
    }
    if (stopping_) return;
    stopping_ = true;
    isReady_ = false;

    auto child = process_;
    const auto group = CoreStopSequence::groupToSignal(*child, processGroupID_);
    CoreStopSequence::sendPoliteSignal(*child, group);

    worker_->post([child, group, gracePeriod, log = privacyLog_, weak = weak_from_this(), loop = &services_.loop,
                   completion = std::move(completion)]() mutable {
        const auto outcome = CoreStopSequence::awaitExitOrKill(*child, group, gracePeriod);
        // Drain only a child that has ended; one that survived SIGKILL may
        // write forever.
        child->finishOutput(!child->isRunning());
        if (log) log->finish();
        loop->post([child = std::move(child), outcome, weak, completion = std::move(completion)]() mutable {
            if (auto self = weak.lock()) {
                self->services_.logger.notice("Core stopped outcome={}", logPublic(rawValue(outcome)));
                self->finishStop(child);
            }
            // Released here, so an ended child is reaped before the
            // completion runs.
            child.reset();
            if (completion) completion(outcome);
        });
    });
}

void CoreProcessSupervisor::finishStop(const std::shared_ptr<ChildProcess>& child) {
    if (child != process_) return;
    process_.reset();
    processGroupID_.reset();
    launchPlan_.reset();
    privacyLog_.reset();
    stopping_ = false;
    isReady_ = false;
}

void CoreProcessSupervisor::waitUntilReady(std::string_view coreURL, std::string desktopToken, Duration timeout,
                                           ReadinessCompletion completion) {
    cancelReadiness();
    if (!process_) {
        if (completion) completion(std::unexpected(CoreProcessError::exitedBeforeReady(-1)));
        return;
    }
    const auto deadline =
        saturatingAdd(services_.loop.clock().now(), std::max<Duration>(timeout, kShortestReadinessTimeout));
    CancelToken cancel;
    readinessTask_ = cancel;
    spawn(readinessLoop(weak_from_this(), process_, cancel, std::move(completion), healthRequest(coreURL, desktopToken),
                        deadline));
}

void CoreProcessSupervisor::cancelReadiness() {
    if (!readinessTask_) return;
    auto cancel = *readinessTask_;
    readinessTask_.reset();
    cancel.cancel();
}

void CoreProcessSupervisor::endReadiness() { readinessTask_.reset(); }

Task<void> CoreProcessSupervisor::readinessLoop(std::weak_ptr<CoreProcessSupervisor> weak,
                                                std::shared_ptr<ChildProcess> awaited, CancelToken cancel,
                                                ReadinessCompletion completion, std::optional<CoreHTTPRequest> health,
                                                MonotonicTime deadline) {
    MainLoop* loop = nullptr;
    if (auto self = weak.lock()) loop = &self->services_.loop;
    if (!loop) co_return;
    // The wait runs as a task of its own: the caller returns first.
    if (!co_await sleepFor(*loop, Duration::zero(), cancel)) co_return;
    for (;;) {
        {
            auto self = weak.lock();
            if (!self || cancel.isCancelled()) co_return;
            if (self->process_ != awaited || !awaited->isRunning()) {
                self->endReadiness();
                if (completion)
                    completion(std::unexpected(CoreProcessError::exitedBeforeReady(awaited->terminationStatus())));
                co_return;
            }
        }
        auto reply = co_await probeHealth(weak, health, cancel);
        if (!reply) co_return;
        auto self = weak.lock();
        if (!self || cancel.isCancelled()) co_return;
        // An answer that comes after the engine ended or was replaced says
        // nothing about it: the check above reports the exit.
        if (self->process_ != awaited || !awaited->isRunning()) continue;
        if (isReadyReply(*reply)) {
            self->isReady_ = true;
            self->endReadiness();
            if (completion) completion({});
            co_return;
        }
        if (loop->clock().now() >= deadline) {
            self->endReadiness();
            if (completion) completion(std::unexpected(CoreProcessError::readinessTimedOut(attemptDetail(*reply))));
            co_return;
        }
        self.reset();
        if (!co_await sleepFor(*loop, kPauseBetweenHealthAttempts, cancel)) co_return;
    }
}

std::optional<CoreHTTPRequest> CoreProcessSupervisor::healthRequest(std::string_view coreURL,
                                                                    const std::string& desktopToken) {
    auto base = URL::parseServer(coreURL);
    if (!base) return std::nullopt;
    CoreHTTPRequest request;
    request.url = base->appending(URLPath::literal(kHealthPath));
    request.method = "GET";
    // Every attempt asks the engine afresh: nothing cached may answer it.
    request.headers = {
        {std::string(kDesktopTokenHeader), desktopToken}, {"Cache-Control", "no-cache"}, {"Connection", "close"}};
    // A stalled attempt must not eat into the readiness time-out unnoticed:
    // the attempt as a whole is bounded, not only each wait in it.
    request.idleTimeout = kHealthRequestTimeout;
    request.exchangeTimeout = kHealthRequestTimeout;
    return request;
}

Task<std::optional<CoreProcessSupervisor::HealthReply>> CoreProcessSupervisor::probeHealth(
    std::weak_ptr<CoreProcessSupervisor> weak, std::optional<CoreHTTPRequest> health, CancelToken cancel) {
    if (!health) co_return HealthReply(fail(coreTransportError(CoreTransportErrorCode::badURL)));
    MainLoop* loop = nullptr;
    if (auto self = weak.lock()) loop = &self->services_.loop;
    if (!loop) co_return std::nullopt;

    CancelToken::Subscription subscription;
    using Reply = std::optional<HealthReply>;
    auto reply = co_await suspendWith<Reply>(*loop, [&](Resumer<Reply> resumer) {
        // A stop or a newer wait must not sit out the request's time-out.
        subscription = cancel.onCancel([resumer] { resumer.resume(std::nullopt); });
        auto self = weak.lock();
        if (!self) return resumer.resume(std::nullopt);
        self->services_.transport->sendHTTP(*health, [resumer, loop](HealthReply result) mutable {
            // Runs on the transport's thread; the resumer must only be used
            // and dropped on the main thread.
            loop->post([resumer = std::move(resumer), result = std::move(result)]() mutable {
                resumer.resume(std::move(result));
            });
        });
    });
    co_return reply;
}

bool CoreProcessSupervisor::isReadyReply(const HealthReply& reply) {
    if (!reply || reply->status < 200 || reply->status > 299) return false;
    auto object = json::parseObject(reply->body.value_or(std::string()));
    if (!object) return false;
    auto ok = json::requiredBool(*object, "ok");
    auto version = json::requiredInteger<long long>(*object, "protocol_version");
    auto hosted = json::requiredBool(*object, "desktop_hosted");
    return ok && version && hosted && *ok && *version == 1 && *hosted;
}

std::string CoreProcessSupervisor::attemptDetail(const HealthReply& reply) {
    if (reply) return fmt::format("Last HTTP status: {}.", reply->status);
    // Something answered, but not in HTTP.
    if (reply.error() == coreTransportError(CoreTransportErrorCode::badServerResponse)) {
        return CoreProcessError::invalidHealthResponse().localizedDescription();
    }
    return reply.error().message;
}

}  // namespace murmo
