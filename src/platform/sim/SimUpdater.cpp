#include "platform/sim/SimUpdater.h"

namespace murmo {

void SimStandardUserDriver::showUserInitiatedUpdateCheck(std::function<void()> cancellation) {
    calls_.emplace_back("showUserInitiatedUpdateCheck");
    cancellation_ = std::move(cancellation);
}

void SimStandardUserDriver::showDownloadInitiated(std::function<void()> cancellation) {
    calls_.emplace_back("showDownloadInitiated");
    cancellation_ = std::move(cancellation);
}

void SimStandardUserDriver::showUpdateFound(const AppcastItem&, UserUpdateStage,
                                            std::function<void(UserUpdateChoice)> reply) {
    calls_.emplace_back("showUpdateFound");
    reply_ = std::move(reply);
}

void SimStandardUserDriver::showDownloadDidReceiveExpectedContentLength(std::uint64_t) {
    calls_.emplace_back("showDownloadDidReceiveExpectedContentLength");
}

void SimStandardUserDriver::showDownloadDidReceiveDataOfLength(std::uint64_t) {
    calls_.emplace_back("showDownloadDidReceiveDataOfLength");
}

void SimStandardUserDriver::showDownloadDidStartExtractingUpdate() {
    calls_.emplace_back("showDownloadDidStartExtractingUpdate");
}

void SimStandardUserDriver::showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)> reply) {
    calls_.emplace_back("showReadyToInstallAndRelaunch");
    reply_ = std::move(reply);
}

void SimStandardUserDriver::showInstallingUpdate(bool, std::function<void()>) {
    calls_.emplace_back("showInstallingUpdate");
}

bool SimStandardUserDriver::cancel() {
    auto cancellation = std::exchange(cancellation_, nullptr);
    if (!cancellation) return false;
    cancellation();
    return true;
}

bool SimStandardUserDriver::reply(UserUpdateChoice choice) {
    auto reply = std::exchange(reply_, nullptr);
    if (!reply) return false;
    reply(choice);
    return true;
}

Status SimUpdater::start() {
    ++starts;
    if (startFailure) return fail(startFailure->domain, startFailure->code, startFailure->message);
    return {};
}

void SimUpdater::setAutomaticallyChecksForUpdates(bool enabled) {
    if (!automaticChecksFixed) checksAutomatically_ = enabled;
}

void SimUpdater::setAutomaticallyDownloadsUpdates(bool enabled) {
    if (!automaticDownloadsFixed) downloadsAutomatically_ = enabled;
}

std::shared_ptr<UpdateUserDriver> SimUpdaterFactory::makeStandardUserDriver(const Bundle&) {
    auto driver = std::make_shared<SimStandardUserDriver>();
    standardDriver = driver.get();
    return driver;
}

std::unique_ptr<Updater> SimUpdaterFactory::makeUpdater(const Bundle&, const Bundle&,
                                                        std::shared_ptr<UpdateUserDriver> userDriver,
                                                        UpdaterDelegate& delegate) {
    auto made = std::make_unique<SimUpdater>(std::move(userDriver), delegate);
    if (script) script(*made);
    updater = made.get();
    ++updatersMade;
    return made;
}

}  // namespace murmo
