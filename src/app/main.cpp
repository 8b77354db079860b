#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string_view>

#include "engine/CoreProcessSupervisor.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "platform/linux/FileSystemBundle.h"
#include "runtime/Ids.h"
#include "runtime/SystemIdGenerator.h"
#include "runtime/glib/GLibLoop.h"
#include "runtime/glib/GLibSignalWatch.h"

// The desktop application's entry. Until the desktop shell exists it runs the
// engine the way the dictation coordinator will: launch it from the bundle,
// wait until it reports ready, and stop it in order when asked to quit.
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kDeliverySmokeNotice = "Dorvex delivery smoke is disabled in this build.\n";
constexpr int kDeliverySmokeStatus = 69;
constexpr int kConfigurationFailureStatus = 78;
constexpr int kEngineFailureStatus = 1;
constexpr auto kReadinessTimeout = 20s;
constexpr auto kStopGracePeriod = 2s;

bool asksForDeliverySmoke(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--delivery-smoke") return true;
    }
    return false;
}

class EngineSession {
public:
    EngineSession(murmo::GLibLoop& loop, murmo::MurmoLaunchConfiguration configuration)
        : loop_(loop),
          configuration_(std::move(configuration)),
          supervisor_(murmo::CoreProcessSupervisor::create(
              {.loop = loop, .mainBundle = murmo::FileSystemBundle::mainBundle()})) {
        supervisor_->onUnexpectedTermination = [this](std::int32_t status) {
            std::fprintf(stderr, "murmo: the engine exited unexpectedly (%d)\n", status);
            finish(kEngineFailureStatus);
        };
    }

    void start() {
        auto launched =
            supervisor_->launch(configuration_.repoRoot, configuration_.corePort(), configuration_.desktopToken);
        if (!launched) {
            std::fprintf(stderr, "murmo: %s\n", launched.error().message.c_str());
            finish(kEngineFailureStatus);
            return;
        }
        supervisor_->waitUntilReady(configuration_.coreURL, configuration_.desktopToken, kReadinessTimeout,
                                    [this](murmo::CoreProcessResult<void> ready) {
                                        if (!ready) {
                                            std::fprintf(stderr, "murmo: %s\n",
                                                         ready.error().localizedDescription().c_str());
                                            quit(kEngineFailureStatus);
                                            return;
                                        }
                                        std::printf("Murmo: engine ready at %s\n", configuration_.coreURL.c_str());
                                        std::fflush(stdout);
                                    });
    }

    // Stops the engine, then ends the loop.
    void quit(int status) {
        if (quitting_) return;
        quitting_ = true;
        status_ = status;
        supervisor_->stop(kStopGracePeriod, [this](murmo::CoreStopOutcome) { loop_.quit(); });
    }

    int status() const { return status_; }

private:
    void finish(int status) {
        status_ = status;
        loop_.quit();
    }

    murmo::GLibLoop& loop_;
    murmo::MurmoLaunchConfiguration configuration_;
    std::shared_ptr<murmo::CoreProcessSupervisor> supervisor_;
    bool quitting_ = false;
    int status_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (asksForDeliverySmoke(argc, argv)) {
        // Straight to the descriptor: nothing else of the program may run.
        [[maybe_unused]] auto written =
            ::write(STDERR_FILENO, kDeliverySmokeNotice.data(), kDeliverySmokeNotice.size());
        return kDeliverySmokeStatus;
    }

    murmo::GLibLoop loop;
    std::optional<EngineSession> session;
    // Quitting from a terminal or a session manager runs the orderly stop.
    murmo::GLibSignalWatch signals(loop, {SIGINT, SIGTERM, SIGHUP}, [&session](int) {
        if (session) session->quit(0);
    });

    murmo::SystemIdGenerator ids;
    auto configuration = murmo::MurmoLaunchConfiguration::isolatedManaged({.ids = ids});
    if (!configuration) {
        std::fprintf(stderr, "murmo: %s\n", configuration.error().localizedDescription().c_str());
        return kConfigurationFailureStatus;
    }

    session.emplace(loop, std::move(*configuration));
    session->start();
    loop.run();
    return session->status();
}
