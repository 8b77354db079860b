#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/ChildProcess.h"
#include "engine/CoreDesktopContextPublisher.h"
#include "engine/CoreLaunchPlan.h"
#include "engine/CoreProcessPrivacyLog.h"
#include "engine/CoreStopSequence.h"
#include "engine/CoreTransport.h"
#include "engine/PosixChildProcess.h"
#include "platform/Bundle.h"
#include "runtime/CancelToken.h"
#include "runtime/Environment.h"
#include "runtime/Error.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/Task.h"
#include "runtime/WorkerThread.h"

namespace murmo {

// Where the supervisor gets what lies outside it. Tests replace any of these;
// the application data folder follows the environment (XDG_DATA_HOME).
struct CoreProcessSupervisorServices {
    MainLoop& loop;
    // The main bundle; its URL is where the engine and its tools are looked
    // for first.
    std::shared_ptr<const Bundle> mainBundle = {};
    // The application's environment variables, read afresh at every launch.
    std::function<EnvironmentMap()> environment = currentEnvironment;
    // Where the launch plan looks for development engines beyond the bundle.
    CoreLaunchPlanSearchPaths searchPaths = {};
    ChildProcessLauncher launcher = PosixChildProcess::launcher();
    // How each run's diagnostics log opens its file.
    std::function<Result<LogFileHandle>(const std::filesystem::path&)> openLogFile = openLogFileForAppending;
    Logger logger = Logger("core-process");
    // Carries the health requests; null: a BeastCoreTransport of the
    // supervisor's own.
    std::shared_ptr<CoreTransport> transport = {};
};

// The inputs of the engine's environment besides the inherited variables.
struct CoreEnvironmentInputs {
    std::optional<std::filesystem::path> repoRoot;
    std::filesystem::path homeDirectory;
    std::filesystem::path bundleURL;
    std::string desktopToken;
    CoreRuntimeKind runtimeKind = CoreRuntimeKind::bundled;
};

// Starts the engine program as a child in a process group of its own, hands
// it the desktop token and tool paths in its environment, files its output in
// the diagnostics log, polls its health endpoint until it reports ready,
// reports an unexpected exit, and stops it with SIGTERM, a grace period and
// SIGKILL to its whole group. Main thread only; results arrive on the main
// thread. The owner stops the engine before it lets the supervisor go:
// destruction neither signals nor waits for the child (it does finish a stop
// already under way).
class CoreProcessSupervisor : public std::enable_shared_from_this<CoreProcessSupervisor> {
public:
    using ReadinessCompletion = std::function<void(CoreProcessResult<void>)>;
    // One health request's outcome: a reply, whatever its status, or the
    // transport's error.
    using HealthReply = Result<CoreHTTPResponse>;
    using StopCompletion = std::function<void(CoreStopOutcome)>;

    static constexpr std::string_view kHealthPath = "api/health";
    static constexpr std::chrono::milliseconds kHealthRequestTimeout{1000};
    static constexpr std::chrono::milliseconds kPauseBetweenHealthAttempts{200};
    static constexpr std::chrono::milliseconds kShortestReadinessTimeout{500};
    static constexpr std::string_view kDesktopTokenHeader = murmo::kDesktopTokenHeader;
    static constexpr std::string_view kDiagnosticsUnavailablePrefix =
        "Privacy-safe diagnostics could not be prepared: ";

    static std::shared_ptr<CoreProcessSupervisor> create(CoreProcessSupervisorServices services);
    ~CoreProcessSupervisor();
    CoreProcessSupervisor(const CoreProcessSupervisor&) = delete;
    CoreProcessSupervisor& operator=(const CoreProcessSupervisor&) = delete;

    // Called with the exit status when an engine that had reported ready
    // exits while no stop is under way; after its remaining output is filed
    // and the supervisor is idle again.
    std::function<void(std::int32_t status)> onUnexpectedTermination;

    // Starts the engine serving `port` and returns once it runs, without
    // waiting for readiness. Refusals, in this order: alreadyRunning,
    // missingDesktopToken, runtimeNotFound, runtimeDirectoryUnavailable (the
    // working directory, then the diagnostics log), the platform's own error
    // when the program cannot be started.
    // `providers` are what publishDesktopContext() hands the engine.
    Status launch(const std::optional<std::filesystem::path>& repoRoot, int port, std::string_view desktopToken,
                  CoreLaunchProviders providers = {});

    // Hands the engine the update facts and the waiting events, when they are
    // new, once it has reported ready (see CoreDesktopContextPublisher). The
    // owner calls it on each settings poll tick.
    void publishDesktopContext();

    // Polls "api/health" under `coreURL` until the engine reports ready or
    // `timeout` (at least 0.5 s) passes. The completion runs on the main
    // thread at most once: never when this wait is cancelled by a stop or by
    // another wait, at once when no engine runs.
    void waitUntilReady(std::string_view coreURL, std::string desktopToken, Duration timeout,
                        ReadinessCompletion completion);

    // Stops the engine. The completion runs exactly once per accepted stop: at
    // once with notRunning when nothing runs, else later on the main thread.
    // A stop asked for while one is under way is ignored, completion and all.
    void stop(Duration gracePeriod, StopCompletion completion);

    const std::optional<CoreLaunchPlan>& launchPlan() const { return launchPlan_; }
    bool isReady() const { return isReady_; }
    // The running engine's pid and process group, when one runs.
    std::optional<pid_t> processID() const;
    std::optional<pid_t> processGroupID() const { return processGroupID_; }

    // The engine's whole environment: `inherited` with PATH extended, the
    // fixed variables, the tool paths that are executable, and the runtime
    // kind's Python variables.
    static EnvironmentMap engineEnvironment(
        const EnvironmentMap& inherited, const CoreEnvironmentInputs& inputs,
        const std::function<bool(const std::filesystem::path&)>& isExecutable = isExecutableFile);

    // The serve arguments for a port: "serve", "--host", "127.0.0.1",
    // "--port", port.
    static std::vector<std::string> serveArguments(int port);

    // The request each health attempt sends: a GET of "api/health" under
    // `coreURL` with the token, bounded as a whole by kHealthRequestTimeout.
    // Absent when `coreURL` is not a server URL.
    static std::optional<CoreHTTPRequest> healthRequest(std::string_view coreURL, const std::string& desktopToken);

    // Whether a health reply says the engine is ready, and how an attempt that
    // was not is described in a time-out.
    static bool isReadyReply(const HealthReply& reply);
    static std::string attemptDetail(const HealthReply& reply);

private:
    explicit CoreProcessSupervisor(CoreProcessSupervisorServices services);

    Status prepareWorkingDirectory(const CoreLaunchPlan& plan) const;
    void handleExit(const std::shared_ptr<ChildProcess>& exited);
    void finishEndedRun();
    void finishStop(const std::shared_ptr<ChildProcess>& child);
    void cancelReadiness();
    void endReadiness();

    static Task<void> readinessLoop(std::weak_ptr<CoreProcessSupervisor> weak, std::shared_ptr<ChildProcess> awaited,
                                    CancelToken cancel, ReadinessCompletion completion,
                                    std::optional<CoreHTTPRequest> health, MonotonicTime deadline);
    static Task<std::optional<HealthReply>> probeHealth(std::weak_ptr<CoreProcessSupervisor> weak,
                                                        std::optional<CoreHTTPRequest> health, CancelToken cancel);

    CoreProcessSupervisorServices services_;
    std::optional<CoreLaunchPlan> launchPlan_;
    bool isReady_ = false;
    std::shared_ptr<ChildProcess> process_;
    std::optional<pid_t> processGroupID_;
    bool stopping_ = false;
    std::optional<CancelToken> readinessTask_;
    std::shared_ptr<CoreProcessPrivacyLog> privacyLog_;
    // The current launch's; a new launch asks a new engine afresh.
    std::shared_ptr<CoreDesktopContextPublisher> contextPublisher_;

    // A run that ended by itself while its last output is still being filed
    // on the worker. A new launch finishes it first: two logs must never
    // append to, or rotate, the same file.
    struct EndedRun {
        std::shared_ptr<ChildProcess> child;
        std::shared_ptr<CoreProcessPrivacyLog> log;
    };
    std::optional<EndedRun> endedRun_;

    // Waiting out a stop and filing a run's last output happen here; declared
    // last so it is joined first, while everything its jobs touch still exists.
    std::unique_ptr<WorkerThread> worker_;
};

}  // namespace murmo
