#pragma once

// The application's own updater framework: the updater, the delegate it
// reports to, the user driver that shows its windows, and a factory. Main
// thread only: the updater calls its delegate and driver there.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Bundle.h"
#include "runtime/Error.h"

namespace murmo {

// The framework's error domains.
inline constexpr std::string_view kUpdaterErrorDomain = "SUSparkleErrorDomain";
inline constexpr std::string_view kURLErrorDomain = "NSURLErrorDomain";

// An error the updater reports: a domain, a code, and the no-update reason
// value it carried (any JSON value; null when there was none).
struct UpdaterError {
    std::string domain;
    long code = 0;
    std::string message;
    nlohmann::json noUpdateFoundReason = nullptr;

    bool operator==(const UpdaterError&) const = default;
};

// One update of the feed.
struct AppcastItem {
    std::optional<std::string> displayVersionString;
    std::optional<std::string> versionString;

    bool operator==(const AppcastItem&) const = default;
};

// What the user chose for an update shown to them (the framework's numbers).
enum class UserUpdateChoice : int { skip = 0, install = 1, dismiss = 2 };
// How far a shown update has come.
enum class UserUpdateStage : int { notDownloaded = 0, downloaded = 1, installing = 2 };

// The updater's delegate: told of every step of an update cycle.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;

    // Whether the updater may check now.
    virtual bool mayPerformUpdateCheck() = 0;
    virtual void didFindValidUpdate(const AppcastItem& item) = 0;
    virtual void didNotFindUpdate(const UpdaterError& error) = 0;
    virtual void willDownloadUpdate(const AppcastItem& item) = 0;
    virtual void didDownloadUpdate(const AppcastItem& item) = 0;
    virtual void willExtractUpdate(const AppcastItem& item) = 0;
    virtual void failedToDownloadUpdate(const AppcastItem& item, const UpdaterError& error) = 0;
    virtual void userDidCancelDownload() = 0;
    virtual void willInstallUpdate(const AppcastItem& item) = 0;
    virtual void willRelaunchApplication() = 0;
    // The update will be installed on quit. `immediateInstallation` would
    // install it at once; true means the delegate takes it over (and calls
    // it), false that the updater installs on quit itself.
    virtual bool willInstallUpdateOnQuit(const AppcastItem& item, std::function<void()> immediateInstallation) = 0;
    virtual void didAbort(const UpdaterError& error) = 0;
    virtual void didFinishUpdateCycle(const std::optional<UpdaterError>& error) = 0;
    virtual void userDidMakeChoice(UserUpdateChoice choice, const AppcastItem& item, UserUpdateStage stage) = 0;
};

// Shows the updater's windows and alerts.
class UpdateUserDriver {
public:
    virtual ~UpdateUserDriver() = default;

    virtual void showUserInitiatedUpdateCheck(std::function<void()> cancellation) = 0;
    virtual void showDownloadInitiated(std::function<void()> cancellation) = 0;
    virtual void showUpdateFound(const AppcastItem& item, UserUpdateStage stage,
                                 std::function<void(UserUpdateChoice)> reply) = 0;
    virtual void showDownloadDidReceiveExpectedContentLength(std::uint64_t length) = 0;
    virtual void showDownloadDidReceiveDataOfLength(std::uint64_t length) = 0;
    virtual void showDownloadDidStartExtractingUpdate() = 0;
    virtual void showReadyToInstallAndRelaunch(std::function<void(UserUpdateChoice)> reply) = 0;
    virtual void showInstallingUpdate(bool applicationTerminated, std::function<void()> retryTerminatingApplication) = 0;
};

class Updater {
public:
    virtual ~Updater() = default;

    virtual Status start() = 0;
    virtual bool canCheckForUpdates() const = 0;
    virtual bool sessionInProgress() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    // The updater may keep its own value (a policy of the system's); read it
    // back to know.
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool enabled) = 0;
    virtual bool allowsAutomaticUpdates() const = 0;
    virtual std::optional<std::chrono::system_clock::time_point> lastUpdateCheckDate() const = 0;
    // A check the user asked for, shown by the user driver.
    virtual void checkForUpdates() = 0;
};

class UpdaterFactory {
public:
    virtual ~UpdaterFactory() = default;

    // The framework's own windows and alerts for `hostBundle`.
    virtual std::shared_ptr<UpdateUserDriver> makeStandardUserDriver(const Bundle& hostBundle) = 0;
    // The updater keeps the user driver; the delegate must outlive it.
    virtual std::unique_ptr<Updater> makeUpdater(const Bundle& hostBundle, const Bundle& applicationBundle,
                                                 std::shared_ptr<UpdateUserDriver> userDriver,
                                                 UpdaterDelegate& delegate) = 0;
};

}  // namespace murmo
