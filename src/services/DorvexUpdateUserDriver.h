#pragma once

// The user driver the updater is given: the framework's standard windows and
// alerts, unchanged, with each step noted in the observer's state on the way
// through, before the standard driver sees it.

#include <memory>

#include "platform/Updater.h"
#include "services/SparkleUpdateObserver.h"

namespace murmo {

class DorvexUpdateUserDriver final : public UpdateUserDriver {
public:
    // Both must outlive the driver.
    DorvexUpdateUserDriver(std::shared_ptr<UpdateUserDriver> standard, SparkleUpdateObserver& observer)
        : standard_(std::move(standard)), observer_(observer) {}

    // The user's cancellation moves the state to cancelled first.
    void showUserInitiatedUpdateCheck(std::function<void()> cancellation) override;
    void showDownloadInitiated(std::function<void()> cancellation) override;
    void showUpdateFound(const AppcastItem& item, UserUpdateStage stage,
                         std::function<void(UserUpdateChoice)> reply) override;
    void showDownloadDidReceiveExpectedContentLength(std::uint64_t length) override;
    void showDownloadDidReceiveDataOfLength(std::uint64_t length) override;
    void showDownloadDidStartExtractingUpdate() override;
    // Skipping moves the state to cancelled before the reply goes on.
    void showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)> reply) override;
    void showInstallingUpdate(bool applicationTerminated, std::function<void()> retryTerminatingApplication) override;

private:
    using Stage = ApplicationUpdateState::Stage;

    std::shared_ptr<UpdateUserDriver> standard_;
    SparkleUpdateObserver& observer_;
};

}  // namespace murmo
