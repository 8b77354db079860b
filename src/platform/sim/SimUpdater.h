#pragma once

// A scripted updater framework: its start succeeds or fails as told, its
// switches may refuse a change, checks are counted, and tests play callback
// sequences into the delegate and the user driver it was given. The standard
// user driver records every call and keeps the blocks it was handed until the
// test runs them.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Updater.h"

namespace murmo {

class SimStandardUserDriver final : public UpdateUserDriver {
public:
    void showUserInitiatedUpdateCheck(std::function<void()> cancellation) override;
    void showDownloadInitiated(std::function<void()> cancellation) override;
    void showUpdateFound(const AppcastItem& item, UserUpdateStage stage,
                         std::function<void(UserUpdateChoice)> reply) override;
    void showDownloadDidReceiveExpectedContentLength(std::uint64_t length) override;
    void showDownloadDidReceiveDataOfLength(std::uint64_t length) override;
    void showDownloadDidStartExtractingUpdate() override;
    void showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)> reply) override;
    void showInstallingUpdate(bool applicationTerminated, std::function<void()> retryTerminatingApplication) override;

    // Every call by name ("showUpdateFound"), in order.
    const std::vector<std::string>& calls() const { return calls_; }
    // The user cancels, or answers the latest window that asked.
    bool cancel();
    bool reply(UserUpdateChoice choice);

private:
    std::vector<std::string> calls_;
    std::function<void()> cancellation_;
    std::function<void(UserUpdateChoice)> reply_;
};

class SimUpdater final : public Updater {
public:
    SimUpdater(std::shared_ptr<UpdateUserDriver> userDriver, UpdaterDelegate& delegate)
        : userDriver_(std::move(userDriver)), delegate_(delegate) {}

    Status start() override;
    bool canCheckForUpdates() const override { return canCheck; }
    bool sessionInProgress() const override { return inSession; }
    bool automaticallyChecksForUpdates() const override { return checksAutomatically_; }
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    bool automaticallyDownloadsUpdates() const override { return downloadsAutomatically_; }
    void setAutomaticallyDownloadsUpdates(bool enabled) override;
    bool allowsAutomaticUpdates() const override { return allowsAutomatic; }
    std::optional<std::chrono::system_clock::time_point> lastUpdateCheckDate() const override { return lastChecked; }
    void checkForUpdates() override { ++checks; }

    UpdaterDelegate& delegate() { return delegate_; }
    UpdateUserDriver& userDriver() { return *userDriver_; }

    // The script.
    std::optional<UpdaterError> startFailure;
    bool canCheck = true;
    bool inSession = false;
    bool allowsAutomatic = true;
    // A change of a switch the system holds fixed is ignored.
    bool automaticChecksFixed = false;
    bool automaticDownloadsFixed = false;
    std::optional<std::chrono::system_clock::time_point> lastChecked;
    // What happened.
    int starts = 0;
    int checks = 0;

private:
    std::shared_ptr<UpdateUserDriver> userDriver_;
    UpdaterDelegate& delegate_;
    bool checksAutomatically_ = true;
    bool downloadsAutomatically_ = false;
};

class SimUpdaterFactory final : public UpdaterFactory {
public:
    std::shared_ptr<UpdateUserDriver> makeStandardUserDriver(const Bundle& hostBundle) override;
    std::unique_ptr<Updater> makeUpdater(const Bundle& hostBundle, const Bundle& applicationBundle,
                                         std::shared_ptr<UpdateUserDriver> userDriver,
                                         UpdaterDelegate& delegate) override;

    // Applied to each updater as it is made.
    std::function<void(SimUpdater&)> script;
    // The last ones made (owned by whoever asked for them).
    SimStandardUserDriver* standardDriver = nullptr;
    SimUpdater* updater = nullptr;
    int updatersMade = 0;
};

}  // namespace murmo
