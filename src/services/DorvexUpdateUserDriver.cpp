#include "services/DorvexUpdateUserDriver.h"

namespace murmo {

void DorvexUpdateUserDriver::showUserInitiatedUpdateCheck(std::function<void()> cancellation) {
    standard_->showUserInitiatedUpdateCheck([&observer = observer_, cancellation = std::move(cancellation)] {
        observer.go(Stage::cancelled);
        if (cancellation) cancellation();
    });
}

void DorvexUpdateUserDriver::showDownloadInitiated(std::function<void()> cancellation) {
    observer_.go(Stage::downloading);
    standard_->showDownloadInitiated(std::move(cancellation));
}

void DorvexUpdateUserDriver::showUpdateFound(const AppcastItem& item, UserUpdateStage stage,
                                             std::function<void(UserUpdateChoice)> reply) {
    if (stage == UserUpdateStage::installing) {
        observer_.readyOnQuit(item);
    } else if (stage == UserUpdateStage::downloaded) {
        observer_.go(Stage::downloaded, item);
    } else {
        observer_.go(Stage::available, item);
    }
    standard_->showUpdateFound(item, stage, std::move(reply));
}

void DorvexUpdateUserDriver::showDownloadDidReceiveExpectedContentLength(std::uint64_t length) {
    observer_.expected(length);
    standard_->showDownloadDidReceiveExpectedContentLength(length);
}

void DorvexUpdateUserDriver::showDownloadDidReceiveDataOfLength(std::uint64_t length) {
    observer_.received(length);
    standard_->showDownloadDidReceiveDataOfLength(length);
}

void DorvexUpdateUserDriver::showDownloadDidStartExtractingUpdate() {
    observer_.go(Stage::preparing);
    standard_->showDownloadDidStartExtractingUpdate();
}

void DorvexUpdateUserDriver::showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)> reply) {
    observer_.readyOnQuit(std::nullopt);
    standard_->showReadyToInstallAndRelaunch(
        [&observer = observer_, reply = std::move(reply)](UserUpdateChoice choice) {
            if (choice == UserUpdateChoice::skip) observer.go(Stage::cancelled);
            if (reply) reply(choice);
        });
}

void DorvexUpdateUserDriver::showInstallingUpdate(bool applicationTerminated,
                                                  std::function<void()> retryTerminatingApplication) {
    observer_.go(Stage::installing);
    standard_->showInstallingUpdate(applicationTerminated, std::move(retryTerminatingApplication));
}

}  // namespace murmo
