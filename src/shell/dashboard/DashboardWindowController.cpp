#include "shell/dashboard/DashboardWindowController.h"

#include <utility>

#include "services/AppearanceCoordinator.h"
#include "services/NativePreferencesJavaScript.h"
#include "shell/bridges/NativeUpdateJavaScript.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "shell/dashboard/DashboardWindowControllerState.h"

namespace murmo {

namespace {

constexpr WindowSize kContentSize{1180, 760};
constexpr WindowSize kMinimumSize{960, 640};
constexpr std::string_view kFrameAutosaveName = "MurmoMainWindow";
// The strip beside the page's sidebar, until the page reports its width.
constexpr double kExpandedSidebarWidth = 222;
constexpr double kCollapsedSidebarWidth = 74;

WindowColors colorsFor(NativeResolvedAppearance appearance) {
    return {.chrome = AppearanceCoordinator::workspaceChromeColor(appearance),
            .sidebar = AppearanceCoordinator::workspaceSidebarColor(appearance)};
}

}  // namespace

// ---- State ------------------------------------------------------------------------

DashboardWindowController::State::State(DashboardWindowPorts ports_, DashboardWindowSettings settings_)
    : ports(std::move(ports_)), settings(std::move(settings_)), policy(settings.coreURL), uiStateStore(ports.defaults) {
    const auto& coreURL = settings.coreURL;
    auto& loop = ports.loop;
    const auto snapshot = settings.preferences->snapshot();
    permissionBridge = NativePermissionBridge::create(loop, coreURL, ports.permissions);
    settingsBridge = NativeSettingsBridge::create(loop, coreURL, {NativeSettingsCommand::Action::open});
    themeBridge = NativeThemeBridge::create(loop, coreURL);
    preferencesBridge = NativePreferencesBridge::create(loop, coreURL, settings.preferences);
    audioBridge = NativeAudioBridge::create(loop, coreURL);
    uiStateBridge = NativeUIStateBridge::create(loop, coreURL);
    selectionBridge = NativeSelectionBridge::create(ports.selection, coreURL, snapshot.uiLanguage);
    applicationIconBridge = NativeApplicationIconBridge::create(loop, coreURL, ports.workspace, ports.iconRenderer);
    updateBridge = NativeUpdateBridge::create(loop, coreURL, settings.updates);
    fileExportBridge = NativeFileExportBridge::create(loop, coreURL, ports.savePanel);
    writingCopyBridge = NativeWritingCopyBridge::create(loop, coreURL, ports.pasteboard);
    language = resolvedLanguage(snapshot.uiLanguage);
    resolvedAppearance = snapshot.appearance.resolved;
}

NativeAppLanguage DashboardWindowController::State::resolvedLanguage(NativeAppLanguage preference) const {
    const auto preferred = ports.preferredLanguages ? ports.preferredLanguages() : std::vector<std::string>{};
    return resolved(preference, preferred);
}

NativeLocalizedStrings DashboardWindowController::State::strings() const {
    return NativeLocalizedStrings(language, std::span<const std::string>{});
}

// ---- Construction --------------------------------------------------------------------

std::shared_ptr<DashboardWindowController> DashboardWindowController::create(DashboardWindowPorts ports,
                                                                             DashboardWindowSettings settings) {
    auto controller = std::make_shared<DashboardWindowController>(Passkey{}, std::move(ports), std::move(settings));
    controller->start();
    return controller;
}

DashboardWindowController::DashboardWindowController(Passkey, DashboardWindowPorts ports,
                                                     DashboardWindowSettings settings)
    : state_(std::make_unique<State>(std::move(ports), std::move(settings))) {
    auto& s = *state_;
    const auto snapshot = s.settings.preferences->snapshot();
    const auto strings = s.strings();

    s.window = s.ports.windows.makeWindow(WindowRequest{
        .title = strings.mainWindowTitle(),
        .contentSize = kContentSize,
        .minimumSize = kMinimumSize,
        .style = {.titled = true, .closable = true, .miniaturizable = true, .resizable = true, .fullSizeContent = true},
        .frameAutosaveName = std::string(kFrameAutosaveName),
    });

    // The handlers in the order the page's contract lists them; the ones that
    // answer the page with a reply.
    auto& view = s.window->webView();
    view.addScriptMessageHandlerWithReply(NativeWritingCopyBridge::kHandlerName, s.writingCopyBridge->handler());
    view.addScriptMessageHandlerWithReply(NativeFileExportBridge::kHandlerName, s.fileExportBridge->handler());
    view.addScriptMessageHandlerWithReply(NativePermissionBridge::kHandlerName, s.permissionBridge->handler());
    view.addScriptMessageHandler(NativeSettingsBridge::kHandlerName, s.settingsBridge->scriptMessageHandler());
    view.addScriptMessageHandler(NativeThemeBridge::kHandlerName, s.themeBridge->scriptMessageHandler());
    view.addScriptMessageHandlerWithReply(NativePreferencesBridge::kHandlerName, s.preferencesBridge->handler());
    view.addScriptMessageHandlerWithReply(NativeAudioBridge::kHandlerName, s.audioBridge->handler());
    view.addScriptMessageHandler(NativeUIStateBridge::kHandlerName, s.uiStateBridge->scriptMessageHandler());
    view.addScriptMessageHandlerWithReply(NativeSelectionBridge::kHandlerName, s.selectionBridge->handler());
    view.addScriptMessageHandlerWithReply(NativeApplicationIconBridge::kHandlerName,
                                          s.applicationIconBridge->handler());
    view.addScriptMessageHandlerWithReply(NativeUpdateBridge::kHandlerName, s.updateBridge->handler());

    // Each main-frame load runs them at document start, with the values of
    // this moment; later changes reach the page through calls.
    if (const auto preferences = NativePreferencesJavaScript::documentStart(snapshot); !preferences.empty()) {
        view.addUserScript(preferences);
    }
    view.addUserScript(NativeUpdateJavaScript::documentStart());
    view.addUserScript(DashboardPageScripts::uiState(s.uiStateStore));
    view.addUserScript(DashboardPageScripts::nativeHost());

    s.window->setAppearance(AppearanceCoordinator::appKitAppearance(snapshot.appearance),
                            colorsFor(s.resolvedAppearance));
    updateSidebarButton();
    s.window->setSidebarStripWidth(s.uiStateStore.sidebar() == NativeSidebarPreference::collapsed
                                       ? kCollapsedSidebarWidth
                                       : kExpandedSidebarWidth);
    s.loadingView = {.shown = true, .label = strings.coreLoading()};
    s.window->setLoadingView(s.loadingView);
}

DashboardWindowController::~DashboardWindowController() {
    if (state_->preferencesObserverToken)
        state_->settings.preferences->removeObserver(state_->preferencesObserverToken);
}

void DashboardWindowController::start() {
    installBridgeCallbacks();
    observeDesktop();
    installWindowHandlers(true);
    auto weak = weak_from_this();
    state_->preferencesObserverToken =
        state_->settings.preferences->addObserver([weak](const NativePreferencesSnapshot& snapshot) {
            if (auto self = weak.lock()) self->applyNativePreferences(snapshot);
        });
    installWebViewEvents();
}

void DashboardWindowController::installBridgeCallbacks() {
    auto& s = *state_;
    auto weak = weak_from_this();
    s.permissionBridge->onPermissionsChanged = [weak] {
        const auto self = weak.lock();
        if (!self) return;
        if (const auto changed = self->onPermissionsChanged) changed();
        self->sendPermissionsChangedIfLoaded();
    };
    s.settingsBridge->onCommand = [weak](const NativeSettingsCommand& command) {
        const auto self = weak.lock();
        if (!self) return;
        if (const auto requested = self->onSettingsRequested) requested(command.section);
    };
    s.themeBridge->onThemeChanged = [weak](const NativeThemeCommand& command) {
        const auto self = weak.lock();
        if (!self) return;
        // A preference the controller refuses leaves the theme as it is.
        (void)self->state_->settings.preferences->set(NativePreferenceKey::appearancePreference,
                                                      NativePreferenceValue(command.preference));
    };
    s.uiStateBridge->onCommand = [weak](const NativeUIStateCommand& command) {
        const auto self = weak.lock();
        if (!self) return;
        self->state_->uiStateStore.setSidebar(command.sidebar);
        self->updateSidebarButton();
        if (const auto changed = self->onSidebarPreferenceChanged) changed(command.sidebar);
    };
    s.uiStateBridge->onSidebarWidthChanged = [weak](double width) {
        if (const auto self = weak.lock()) self->state_->window->setSidebarStripWidth(width);
    };
    s.uiStateBridge->onCardDismissed = [weak](const std::string& cardID) {
        if (const auto self = weak.lock()) self->state_->uiStateStore.dismissCard(cardID);
    };
}

void DashboardWindowController::observeDesktop() {
    auto& s = *state_;
    auto weak = weak_from_this();
    s.applicationActiveObserver = s.ports.chrome.observeActiveChanges([weak](bool isActive) {
        const auto self = weak.lock();
        if (!self || !isActive) return;
        // The user may have changed a permission in the system's settings.
        if (const auto changed = self->onPermissionsChanged) changed();
        self->sendPermissionsChangedIfLoaded();
    });
    s.workspaceActivationObserver = s.ports.workspace.observeActivations([weak](const RunningApplication& application) {
        if (const auto self = weak.lock()) self->state_->selectionBridge->rememberExternalApplication(application);
    });
    if (const auto frontmost = s.ports.workspace.frontmostApplication()) {
        s.selectionBridge->rememberExternalApplication(*frontmost);
    }
}

void DashboardWindowController::installWindowHandlers(bool toolbarAnswers) {
    auto weak = weak_from_this();
    AppWindowHandlers handlers{
        .onEvent =
            [weak](WindowEvent) {
                if (const auto self = weak.lock()) self->broadcastWindowActivity();
            },
        .shouldClose =
            [weak] {
                const auto self = weak.lock();
                return !self || self->windowShouldClose();
            },
    };
    if (toolbarAnswers) {
        handlers.onSidebarButtonPressed = [weak] {
            if (const auto self = weak.lock()) self->toggleSidebar();
        };
    }
    state_->window->setHandlers(std::move(handlers));
}

// ---- Showing and hiding ----------------------------------------------------------------

void DashboardWindowController::showDashboard() {
    auto& s = *state_;
    if (!s.window || s.shutDown) return;
    s.window->showAndMakeKey();
    s.ports.chrome.activate();
    if (!s.hasLoadedDashboard && !s.window->webView().isLoading()) {
        load(NativeWebSurfaceURL::workspace(s.settings.coreURL));
    }
}

bool DashboardWindowController::windowShouldClose() {
    // Closing only hides the window: the page keeps running, but its
    // recording cannot go on unseen.
    if (const auto abandoned = onAudioAbandoned) abandoned();
    state_->window->orderOut();
    broadcastWindowActivity();
    return false;
}

void DashboardWindowController::shutdown() {
    auto& s = *state_;
    if (s.shutDown) return;
    s.shutDown = true;
    auto& view = s.window->webView();
    view.removeScriptMessageHandler(NativeWritingCopyBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeFileExportBridge::kHandlerName);
    s.retry.cancel();
    s.loadTimeout.cancel();
    s.applicationActiveObserver.reset();
    s.workspaceActivationObserver.reset();
    view.removeScriptMessageHandler(NativePermissionBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeSettingsBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeThemeBridge::kHandlerName);
    view.removeScriptMessageHandler(NativePreferencesBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeUIStateBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeSelectionBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeApplicationIconBridge::kHandlerName);
    view.removeScriptMessageHandler(NativeUpdateBridge::kHandlerName);
    // The audio handler stays, so a page still recording while the
    // application quits is answered rather than left waiting; but nothing
    // may reach the coordinator being shut down: the page is told at once
    // that native audio is unavailable. Commands handed on earlier are
    // answered by whoever holds them.
    s.audioBridge->onCommand = nullptr;
    view.stopLoading();
    view.setEvents({});
    installWindowHandlers(false);
    s.settings.preferences->removeObserver(s.preferencesObserverToken);
    s.preferencesObserverToken.reset();
    s.window->orderOut();
}

// ---- Sidebar ----------------------------------------------------------------------------

NativeSidebarPreference DashboardWindowController::sidebarPreference() const { return state_->uiStateStore.sidebar(); }

void DashboardWindowController::setSidebarPreference(NativeSidebarPreference preference) {
    state_->uiStateStore.setSidebar(preference);
    updateSidebarButton();
    if (const auto changed = onSidebarPreferenceChanged) changed(preference);
    if (state_->hasLoadedDashboard) evaluate(DashboardPageScripts::sidebar(preference));
}

void DashboardWindowController::toggleSidebar() {
    setSidebarPreference(sidebarPreference() == NativeSidebarPreference::collapsed
                             ? NativeSidebarPreference::expanded
                             : NativeSidebarPreference::collapsed);
}

void DashboardWindowController::updateSidebarButton() {
    const auto strings = state_->strings();
    state_->window->setSidebarButtonLabel(sidebarPreference() == NativeSidebarPreference::collapsed
                                              ? strings.showNavigation()
                                              : strings.hideNavigation());
}

// ---- Preferences --------------------------------------------------------------------------

void DashboardWindowController::applyNativePreferences(const NativePreferencesSnapshot& snapshot) {
    auto& s = *state_;
    s.language = s.resolvedLanguage(snapshot.uiLanguage);
    s.selectionBridge->setApplicationLanguage(s.language);
    const auto strings = s.strings();
    s.window->setTitle(strings.mainWindowTitle());
    s.loadingView.label = strings.coreLoading();
    s.window->setLoadingView(s.loadingView);
    updateSidebarButton();
    s.resolvedAppearance = snapshot.appearance.resolved;
    s.window->setAppearance(AppearanceCoordinator::appKitAppearance(snapshot.appearance),
                            colorsFor(s.resolvedAppearance));
    if (s.hasLoadedDashboard) broadcastNativePreferences(snapshot);
}

// ---- Accessors ------------------------------------------------------------------------------

bool DashboardWindowController::hasLoadedDashboard() const { return state_->hasLoadedDashboard; }
bool DashboardWindowController::isShutDown() const { return state_->shutDown; }
const URL& DashboardWindowController::coreURL() const { return state_->settings.coreURL; }
NativeAudioBridge& DashboardWindowController::audioBridge() { return *state_->audioBridge; }
NativeFileExportBridge& DashboardWindowController::fileExportBridge() { return *state_->fileExportBridge; }
NativeWritingCopyBridge& DashboardWindowController::writingCopyBridge() { return *state_->writingCopyBridge; }
AppWindow& DashboardWindowController::window() { return *state_->window; }

}  // namespace murmo
