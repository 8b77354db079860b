#include "platform/linux/LinuxUpdaterFactory.h"

namespace murmo {

namespace {

// Shows nothing: there is never an update to show.
class SilentUserDriver final : public UpdateUserDriver {
public:
    void showUserInitiatedUpdateCheck(std::function<void()>) override {}
    void showDownloadInitiated(std::function<void()>) override {}
    void showUpdateFound(const AppcastItem&, UserUpdateStage, std::function<void(UserUpdateChoice)>) override {}
    void showDownloadDidReceiveExpectedContentLength(std::uint64_t) override {}
    void showDownloadDidReceiveDataOfLength(std::uint64_t) override {}
    void showDownloadDidStartExtractingUpdate() override {}
    void showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)>) override {}
    void showInstallingUpdate(bool, std::function<void()>) override {}
};

class UnavailableUpdater final : public Updater {
public:
    Status start() override {
        return fail(std::string(LinuxUpdaterFactory::kErrorDomain), LinuxUpdaterFactory::kNoInAppUpdater,
                    "This platform has no in-app updater; update Murmo with the system's package manager.");
    }
    bool canCheckForUpdates() const override { return false; }
    bool sessionInProgress() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
    bool allowsAutomaticUpdates() const override { return false; }
    std::optional<std::chrono::system_clock::time_point> lastUpdateCheckDate() const override { return std::nullopt; }
    void checkForUpdates() override {}
};

}  // namespace

std::shared_ptr<UpdateUserDriver> LinuxUpdaterFactory::makeStandardUserDriver(const Bundle&) {
    return std::make_shared<SilentUserDriver>();
}

std::unique_ptr<Updater> LinuxUpdaterFactory::makeUpdater(const Bundle&, const Bundle&,
                                                          std::shared_ptr<UpdateUserDriver>, UpdaterDelegate&) {
    return std::make_unique<UnavailableUpdater>();
}

}  // namespace murmo
