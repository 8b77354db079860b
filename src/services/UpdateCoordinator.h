#pragma once

// Owns the updater, its delegate and its user driver; starts the updater once,
// answers the dashboard's update requests with the status payload, keeps the
// installed release identity, and assembles the update card facts handed to
// the engine. Without a usable configuration there is no updater at all and
// every request answers "unavailable". Main thread.

#include <memory>
#include <optional>
#include <string_view>

#include "platform/Bundle.h"
#include "platform/Updater.h"
#include "runtime/Ids.h"
#include "services/InstalledReleaseIdentity.h"
#include "services/MurmoUpdateConfiguration.h"
#include "services/SparkleUpdateObserver.h"

namespace murmo {

class UpdateCoordinator {
public:
    enum class RequestResult { ready, accepted, busy, unavailable, notAllowed };

    // Builds the updater when the configuration is usable and starts it.
    // The bundle and the factory must outlive the coordinator.
    UpdateCoordinator(MurmoUpdateConfiguration configuration, const Bundle& bundle, UpdaterFactory& updaters,
                      IdGenerator& ids);
    UpdateCoordinator(const UpdateCoordinator&) = delete;
    UpdateCoordinator& operator=(const UpdateCoordinator&) = delete;

    const MurmoUpdateConfiguration& configuration() const { return configuration_; }
    const ApplicationUpdateState& state() const { return observer_.state(); }
    bool isAvailable() const { return started_; }
    bool canCheckForUpdates() const;
    void setCoreReady(bool ready) { coreReady_ = ready; }
    bool coreReady() const { return coreReady_; }

    // The 14-key status for the dashboard.
    json::Json statusPayload(RequestResult result) const;
    json::Json checkForUpdates();
    json::Json setAutomaticallyChecksForUpdates(bool enabled);
    json::Json setAutomaticallyDownloadsUpdates(bool enabled);

    // The card of the current state, with "installed": the release identity
    // once the engine is ready, else null.
    json::Json coreCardFacts() const;

    // "yyyy-MM-ddTHH:mm:ssZ" in UTC, without fractional seconds.
    static std::string internetDateTime(std::chrono::system_clock::time_point time);

private:
    MurmoUpdateConfiguration configuration_;
    const Bundle& bundle_;
    SparkleUpdateObserver observer_;
    std::optional<InstalledReleaseIdentity> installedRelease_;
    std::unique_ptr<Updater> updater_;
    bool started_ = false;
    bool coreReady_ = false;
};

std::string_view rawValue(UpdateCoordinator::RequestResult result);
std::optional<UpdateCoordinator::RequestResult> updateRequestResultFromRawValue(std::string_view text);

}  // namespace murmo
