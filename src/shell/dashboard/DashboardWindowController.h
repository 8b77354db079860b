#pragma once

// The dashboard: the engine's own web application in one window of ours. The
// controller makes the window and its web view once, registers the page's
// bridges and user scripts, loads the workspace page with the per-launch
// desktop token, shows a loading view while the engine does not answer and
// retries every second until it does. It applies the appearance and language
// preferences to the window, keeps the sidebar preference, decides where the
// view may navigate, stands for the page's confirm dialog, and carries the
// native side's calls into the page. Closing the window only hides it.
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AppWindow.h"
#include "platform/Chrome.h"
#include "platform/DefaultsStore.h"
#include "platform/IconRenderer.h"
#include "platform/Pasteboard.h"
#include "platform/SavePanel.h"
#include "platform/WebView.h"
#include "platform/Workspace.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"
#include "services/NativePreferencesController.h"
#include "services/PermissionCenter.h"
#include "services/UpdateCoordinator.h"
#include "shell/bridges/NativeAudioBridge.h"
#include "shell/bridges/NativeFileExportBridge.h"
#include "shell/bridges/NativeSelectionBridge.h"
#include "shell/bridges/NativeSettingsBridge.h"
#include "shell/bridges/NativeUIStateTypes.h"
#include "shell/bridges/NativeWritingCopyBridge.h"

namespace murmo {

// The ports the dashboard and its bridges use; all outlive the controller.
struct DashboardWindowPorts {
    MainLoop& loop;
    AppWindowFactory& windows;
    Chrome& chrome;
    Workspace& workspace;
    DefaultsStore& defaults;
    SavePanel& savePanel;
    Pasteboard& pasteboard;
    IconRenderer& iconRenderer;
    NativeSelectionBridgePorts selection;
    std::shared_ptr<PermissionCenter> permissions;
    // The system's preferred languages, most preferred first.
    std::function<std::vector<std::string>()> preferredLanguages = currentPreferredLanguages;
};

struct DashboardWindowSettings {
    // The engine's base URL on the loopback address: where the page comes
    // from and the one origin the bridges trust.
    URL coreURL;
    // Sent with every load of the page, and nowhere else.
    std::string desktopToken;
    std::shared_ptr<NativePreferencesController> preferences;
    std::shared_ptr<UpdateCoordinator> updates;
};

// The pure address rules of the dashboard.
struct NativeWebSurfaceURL {
    // The URL's path set to "/workspace", its "surface" query items dropped
    // (other items kept, an empty query stays empty, none stays none), no
    // fragment.
    static URL workspace(const URL& from);
    // workspace(from) with the fragment "/settings/general".
    static URL settings(const URL& from);
};

class DashboardWindowController final : public std::enable_shared_from_this<DashboardWindowController> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    static constexpr std::string_view kDesktopTokenHeader = "X-Murmo-Desktop-Token";
    static constexpr Duration kRetryDelay = std::chrono::seconds(1);
    // The web engine has no load time-out of its own.
    static constexpr Duration kLoadTimeout = std::chrono::seconds(5);

    // Makes the window (hidden), the web view, the bridges and the user
    // scripts; the page is loaded by the first showDashboard().
    static std::shared_ptr<DashboardWindowController> create(DashboardWindowPorts ports,
                                                             DashboardWindowSettings settings);
    DashboardWindowController(Passkey, DashboardWindowPorts ports, DashboardWindowSettings settings);
    ~DashboardWindowController();
    DashboardWindowController(const DashboardWindowController&) = delete;
    DashboardWindowController& operator=(const DashboardWindowController&) = delete;

    // Set by the application delegate; each runs on the main loop.
    std::function<void()> onPermissionsChanged;
    std::function<void(std::optional<NativeSettingsSection>)> onSettingsRequested;
    // The page's recording cannot go on (a new page, a crash, the window
    // closed).
    std::function<void()> onAudioAbandoned;
    std::function<void(NativeSidebarPreference)> onSidebarPreferenceChanged;

    // Shows the window in front, activates the application, and loads the
    // page unless it is loaded or loading.
    void showDashboard();
    // Quit: removes the page's handlers (all but the audio one), stops
    // loading and retrying, drops the observers and hides the window. A
    // second call does nothing new.
    void shutdown();

    NativeSidebarPreference sidebarPreference() const;
    void setSidebarPreference(NativeSidebarPreference preference);
    void toggleSidebar();

    void load(const URL& url);
    // At most one pending reload, kRetryDelay from now.
    void scheduleRetry();
    void applyNativePreferences(const NativePreferencesSnapshot& snapshot);

    // ---- Calls into the page ----------------------------------------------------
    void reserveDictation(const std::string& operationID);
    // Completes once: true only when the page was loaded and answered a JSON
    // true.
    void deliverDictation(const std::string& operationID, const std::string& text,
                          std::function<void(bool delivered)> completion);
    void cancelDictation(const std::string& operationID);
    void reportNativeAudioFailure(const std::string& operationID, const std::string& code, const std::string& message);
    void broadcastWindowActivity();
    void broadcastNativePreferences(const NativePreferencesSnapshot& snapshot);
    void setPendingSettingsSection(std::optional<NativeSettingsSection> section);
    const std::optional<NativeSettingsSection>& pendingSettingsSection() const;
    // Shows the pending section once the page is loaded, then forgets it.
    void selectPendingSettings();
    // The page's verdict on closing, for EditorClosePreparation::wait.
    void prepareForTermination(WebScriptCompletion completion);

    bool hasLoadedDashboard() const;
    bool isShutDown() const;
    const URL& coreURL() const;

    // The bridges the application delegate wires.
    NativeAudioBridge& audioBridge();
    NativeFileExportBridge& fileExportBridge();
    NativeWritingCopyBridge& writingCopyBridge();

    // The window, for the program's own display of its state.
    AppWindow& window();

private:
    struct State;

    // What needs the controller's own weak reference: the callbacks of the
    // bridges, the window, the web view and the observers.
    void start();
    void installBridgeCallbacks();
    // After shutdown the toolbar's button no longer answers.
    void installWindowHandlers(bool toolbarAnswers);
    void installWebViewEvents();
    void observeDesktop();

    // ---- Loading ----------------------------------------------------------------
    void showLoadFailure();
    void loadTimedOut();
    void provisionalLoadStarted();
    void loadFinished();
    void loadFailed(const WebLoadError& error);
    void webProcessTerminated();
    PolicyVerdict decideResponse(const NavigationResponse& response);
    PolicyVerdict decideNavigationAction(const NavigationAction& action);
    void newWindowRequested(const NavigationAction& action);
    void confirmRequested(const ConfirmRequest& request, ConfirmReply reply);

    bool windowShouldClose();
    void setLoadingViewShown(bool shown);
    void updateSidebarButton();
    void sendPermissionsChangedIfLoaded();
    void evaluate(std::string_view script);

    std::unique_ptr<State> state_;
};

}  // namespace murmo
