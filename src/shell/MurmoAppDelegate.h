#pragma once

// The application itself: builds every long-lived object at launch in an
// order that lets the first status change find its targets, wires the
// callbacks between them, keeps both menus current, answers the
// application's activation and reopen notices, and runs the quit handshake:
// the dashboard page may refuse (an editor may hold unsaved writing), and
// only once the coordinator has stopped the engine does the application end.
// Every callback it installs holds it weakly. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coordinator/DesktopCoordinator.h"
#include "coordinator/DesktopCoordinatorDependencies.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Chrome.h"
#include "platform/StatusItem.h"
#include "platform/Updater.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/ObserverHandle.h"
#include "services/NativePreferencesController.h"
#include "services/PermissionCenter.h"
#include "services/UpdateCoordinator.h"
#include "shell/dashboard/DashboardWindowController.h"
#include "shell/menus/ApplicationMenus.h"

namespace murmo {

struct MurmoAppDelegatePorts {
    MainLoop& loop;
    Chrome& chrome;
    StatusBar& statusBar;
    Alerts& alerts;
    // The main bundle: its Info dictionary configures updates, its resources
    // hold the menu-bar icon.
    std::shared_ptr<const Bundle> bundle;
    UpdaterFactory& updaters;
    IdGenerator& ids;
    std::shared_ptr<PermissionCenter> permissions;
    NativePreferencesControllerPorts preferences;
    DashboardWindowPorts dashboard;
    // What the dictation coordinator is built from at launch.
    DesktopCoordinatorDependencies coordinator;
    Logger log = Logger("application");
};

class MurmoAppDelegate final : public std::enable_shared_from_this<MurmoAppDelegate> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // How long the page may take to say whether it may close.
    static constexpr Duration kClosePreparationTimeout = std::chrono::seconds(5);

    // Creates the preferences controller; nothing else exists before launch.
    static std::shared_ptr<MurmoAppDelegate> create(MurmoLaunchConfiguration configuration,
                                                    MurmoAppDelegatePorts ports);
    MurmoAppDelegate(Passkey, MurmoLaunchConfiguration configuration, MurmoAppDelegatePorts ports);
    ~MurmoAppDelegate();
    MurmoAppDelegate(const MurmoAppDelegate&) = delete;
    MurmoAppDelegate& operator=(const MurmoAppDelegate&) = delete;

    // Builds and wires everything, starts the coordinator, shows the
    // dashboard. Once.
    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();
    // The application lives in the menu bar: closing the dashboard only
    // hides it.
    static constexpr bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
    // Shows the dashboard; always handled.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    TerminateReply applicationShouldTerminate();
    void applicationWillTerminate();

    // ---- Menus --------------------------------------------------------------------
    void menuWillOpen();
    void refreshMenu();
    void refreshLocalizedChrome(NativeAppLanguage language);
    void refreshSidebarMenuItem();
    // One of the application's nine menu commands.
    void perform(MenuAction action);

    const MurmoLaunchConfiguration& configuration() const { return configuration_; }
    NativePreferencesController& preferencesController() { return *preferences_; }
    const std::shared_ptr<DesktopCoordinator>& coordinator() const { return coordinator_; }
    const std::shared_ptr<DashboardWindowController>& dashboard() const { return dashboard_; }
    const std::shared_ptr<UpdateCoordinator>& updateCoordinator() const { return updates_; }
    const ApplicationMenus& menus() const { return menus_; }
    bool isTerminating() const { return isTerminating_; }
    bool didFinishShutdown() const { return didFinishShutdown_; }

private:
    // Against the system's preferred languages as they are now.
    NativeAppLanguage resolvedLanguage(NativeAppLanguage language) const;
    // The interface language in force.
    NativeAppLanguage currentLanguage() const;

    void createUpdateCoordinator();
    void installPreferenceCallbacks();
    void createDashboard();
    void installCoordinatorCallbacks();
    void installDashboardCallbacks();
    void installApplicationHandlers();
    void registerPreferencesObserver();
    void observeEffectiveAppearance();

    void buildApplicationMenu();
    void buildStatusItem();
    void publishStatusMenu();
    void publishMainMenu();
    void refreshPermissions();
    void openSettings(std::optional<NativeSettingsSection> section);
    void toggleLaunchAtLogin();
    void requestPermission(NativePermissionKind kind);

    void runQuitTask();
    void closePreparationEnded(bool mayClose);
    void shutDownAndReply();

    MurmoLaunchConfiguration configuration_;
    MurmoAppDelegatePorts ports_;
    std::shared_ptr<NativePreferencesController> preferences_;
    std::shared_ptr<UpdateCoordinator> updates_;
    std::shared_ptr<DesktopCoordinator> coordinator_;
    std::shared_ptr<DashboardWindowController> dashboard_;
    std::unique_ptr<StatusItem> statusItem_;
    ApplicationMenus menus_;
    bool launched_ = false;
    bool isTerminating_ = false;
    bool didFinishShutdown_ = false;
    std::optional<std::string> preferencesObserverToken_;
    ObserverHandle effectiveAppearanceObservation_;
    ObserverHandle activeObservation_;
};

}  // namespace murmo
