#pragma once

// The dashboard window controller's own state, shared by the files the
// controller is split into. Not for anyone else.

#include <memory>
#include <optional>
#include <string>

#include "platform/AppWindow.h"
#include "runtime/LoopHandle.h"
#include "runtime/ObserverHandle.h"
#include "services/NativeAppLanguage.h"
#include "services/NativePreferenceTypes.h"
#include "services/NativeStringCatalog.h"
#include "shell/bridges/NativeApplicationIconBridge.h"
#include "shell/bridges/NativePermissionBridge.h"
#include "shell/bridges/NativePreferencesBridge.h"
#include "shell/bridges/NativeThemeBridge.h"
#include "shell/bridges/NativeUIStateBridge.h"
#include "shell/bridges/NativeUIStateStore.h"
#include "shell/bridges/NativeUpdateBridge.h"
#include "shell/dashboard/DashboardNavigationPolicy.h"
#include "shell/dashboard/DashboardWindowController.h"

namespace murmo {

struct DashboardWindowController::State {
    State(DashboardWindowPorts ports, DashboardWindowSettings settings);

    // The catalog in the interface language in force.
    NativeLocalizedStrings strings() const;
    // The snapshot's interface language, resolved against the preferred
    // languages as they are now.
    NativeAppLanguage resolvedLanguage(NativeAppLanguage language) const;

    DashboardWindowPorts ports;
    DashboardWindowSettings settings;
    DashboardNavigationPolicy policy;
    NativeUIStateStore uiStateStore;

    // The bridges, in the order of their handlers.
    std::shared_ptr<NativeWritingCopyBridge> writingCopyBridge;
    std::shared_ptr<NativeFileExportBridge> fileExportBridge;
    std::shared_ptr<NativePermissionBridge> permissionBridge;
    std::shared_ptr<NativeSettingsBridge> settingsBridge;
    std::shared_ptr<NativeThemeBridge> themeBridge;
    std::shared_ptr<NativePreferencesBridge> preferencesBridge;
    std::shared_ptr<NativeAudioBridge> audioBridge;
    std::shared_ptr<NativeUIStateBridge> uiStateBridge;
    std::shared_ptr<NativeSelectionBridge> selectionBridge;
    std::shared_ptr<NativeApplicationIconBridge> applicationIconBridge;
    std::shared_ptr<NativeUpdateBridge> updateBridge;

    std::unique_ptr<AppWindow> window;

    NativeAppLanguage language = NativeAppLanguage::english;
    NativeResolvedAppearance resolvedAppearance = NativeResolvedAppearance::light;
    WindowLoadingView loadingView;

    // The page finished loading and no navigation has started since.
    bool hasLoadedDashboard = false;
    bool shutDown = false;
    std::optional<NativeSettingsSection> pendingSettingsSection;

    // The one pending reload.
    Timer retry;
    // The load in flight fails when this fires; the engine has no time-out.
    Timer loadTimeout;

    ObserverHandle applicationActiveObserver;
    ObserverHandle workspaceActivationObserver;
    std::optional<std::string> preferencesObserverToken;
};

}  // namespace murmo
