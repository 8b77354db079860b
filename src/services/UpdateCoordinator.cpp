#include "services/UpdateCoordinator.h"

#include <array>
#include <ctime>

#include <fmt/format.h>

#include "services/DorvexUpdateUserDriver.h"

namespace murmo {

namespace {

using RequestResult = UpdateCoordinator::RequestResult;

constexpr std::array kResultNames{"ready", "accepted", "busy", "unavailable", "not_allowed"};

std::string infoString(const Bundle& bundle, const char* key) {
    const auto info = bundle.infoDictionary();
    if (!info || !info->is_object()) return {};
    const auto found = info->find(key);
    return found != info->end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string_view rawValue(RequestResult result) { return kResultNames[static_cast<std::size_t>(result)]; }

std::optional<RequestResult> updateRequestResultFromRawValue(std::string_view text) {
    for (std::size_t i = 0; i < kResultNames.size(); ++i) {
        if (text == kResultNames[i]) return static_cast<RequestResult>(i);
    }
    return std::nullopt;
}

UpdateCoordinator::UpdateCoordinator(MurmoUpdateConfiguration configuration, const Bundle& bundle,
                                     UpdaterFactory& updaters, IdGenerator& ids)
    : configuration_(std::move(configuration)),
      bundle_(bundle),
      observer_(ids),
      installedRelease_(InstalledReleaseIdentity::make(bundle)) {
    if (!configuration_.isAvailable()) return;
    auto driver = std::make_shared<DorvexUpdateUserDriver>(updaters.makeStandardUserDriver(bundle), observer_);
    updater_ = updaters.makeUpdater(bundle, bundle, std::move(driver), observer_);
    if (!updater_) return;
    if (auto started = updater_->start(); started) {
        started_ = true;
    } else {
        const auto& error = started.error();
        observer_.didAbort(UpdaterError{error.domain, error.code, error.message, nullptr});
    }
}

bool UpdateCoordinator::canCheckForUpdates() const { return started_ && updater_ && updater_->canCheckForUpdates(); }

json::Json UpdateCoordinator::statusPayload(RequestResult result) const {
    json::Json reason;
    if (configuration_.unavailabilityReason) {
        reason = rawValue(*configuration_.unavailabilityReason);
    } else if (!started_) {
        reason = rawValue(MurmoUpdateUnavailabilityReason::startupFailed);
    }
    const auto* updater = updater_.get();
    json::Json lastChecked;
    if (updater) {
        if (auto date = updater->lastUpdateCheckDate()) lastChecked = internetDateTime(*date);
    }
    return json::Json{
        {"contract_version", 1},
        {"update_scope", "application"},
        {"availability", started_ ? "available" : "unavailable"},
        {"request_result", rawValue(result)},
        {"reason_code", reason},
        {"can_check", canCheckForUpdates()},
        {"session_in_progress", updater && updater->sessionInProgress()},
        {"automatically_checks", updater && updater->automaticallyChecksForUpdates()},
        {"automatically_downloads", updater && updater->automaticallyDownloadsUpdates()},
        {"automatic_downloads_allowed", updater && updater->allowsAutomaticUpdates()},
        {"last_checked_at", lastChecked},
        {"current_version", infoString(bundle_, "CFBundleShortVersionString")},
        {"current_build", infoString(bundle_, "CFBundleVersion")},
        {"lifecycle", observer_.state().payload()},
    };
}

json::Json UpdateCoordinator::checkForUpdates() {
    if (!started_ || !updater_) return statusPayload(RequestResult::unavailable);
    if (!updater_->canCheckForUpdates()) return statusPayload(RequestResult::busy);
    updater_->checkForUpdates();
    return statusPayload(RequestResult::accepted);
}

json::Json UpdateCoordinator::setAutomaticallyChecksForUpdates(bool enabled) {
    if (!started_ || !updater_) return statusPayload(RequestResult::unavailable);
    updater_->setAutomaticallyChecksForUpdates(enabled);
    const bool applied = updater_->automaticallyChecksForUpdates() == enabled;
    return statusPayload(applied ? RequestResult::accepted : RequestResult::notAllowed);
}

json::Json UpdateCoordinator::setAutomaticallyDownloadsUpdates(bool enabled) {
    if (!started_ || !updater_) return statusPayload(RequestResult::unavailable);
    if (enabled && !updater_->allowsAutomaticUpdates()) return statusPayload(RequestResult::notAllowed);
    updater_->setAutomaticallyDownloadsUpdates(enabled);
    const bool applied = updater_->automaticallyDownloadsUpdates() == enabled;
    return statusPayload(applied ? RequestResult::accepted : RequestResult::notAllowed);
}

json::Json UpdateCoordinator::coreCardFacts() const {
    auto facts = observer_.state().cardPayload(started_);
    facts["installed"] = coreReady_ && installedRelease_ ? installedRelease_->payload() : json::Json();
    return facts;
}

std::string UpdateCoordinator::internetDateTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                       utc.tm_hour, utc.tm_min, utc.tm_sec);
}

}  // namespace murmo
