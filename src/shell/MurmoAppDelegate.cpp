#include "shell/MurmoAppDelegate.h"

#include <utility>

#include "services/MurmoUpdateConfiguration.h"

namespace murmo {

std::shared_ptr<MurmoAppDelegate> MurmoAppDelegate::create(MurmoLaunchConfiguration configuration,
                                                           MurmoAppDelegatePorts ports) {
    return std::make_shared<MurmoAppDelegate>(Passkey{}, std::move(configuration), std::move(ports));
}

MurmoAppDelegate::MurmoAppDelegate(Passkey, MurmoLaunchConfiguration configuration, MurmoAppDelegatePorts ports)
    : configuration_(std::move(configuration)),
      ports_(std::move(ports)),
      preferences_(NativePreferencesController::create(ports_.preferences)) {}

MurmoAppDelegate::~MurmoAppDelegate() = default;

NativeAppLanguage MurmoAppDelegate::resolvedLanguage(NativeAppLanguage language) const {
    return resolved(language, ports_.preferences.preferredLanguages());
}

NativeAppLanguage MurmoAppDelegate::currentLanguage() const {
    return resolvedLanguage(preferences_->snapshot().uiLanguage);
}

void MurmoAppDelegate::applicationDidFinishLaunching() {
    if (launched_) return;
    launched_ = true;
    preferences_->applyInitialApplicationPolicy();
    createUpdateCoordinator();
    coordinator_ = DesktopCoordinator::create(configuration_, updates_, std::move(ports_.coordinator));
    installPreferenceCallbacks();
    preferences_->activateRuntimeBindings();
    createDashboard();
    installCoordinatorCallbacks();
    installDashboardCallbacks();
    installApplicationHandlers();
    buildApplicationMenu();
    buildStatusItem();
    registerPreferencesObserver();
    observeEffectiveAppearance();
    // Last but one: every target of the coordinator's first status change
    // exists by now.
    coordinator_->start();
    dashboard_->showDashboard();
}

void MurmoAppDelegate::createUpdateCoordinator() {
    updates_ = std::make_shared<UpdateCoordinator>(MurmoUpdateConfiguration::fromBundle(*ports_.bundle), *ports_.bundle,
                                                   ports_.updaters, ports_.ids);
}

void MurmoAppDelegate::installPreferenceCallbacks() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    preferences_->onFlowBarAlwaysVisibleChanged = [weak](bool visible) {
        if (auto self = weak.lock(); self && self->coordinator_) self->coordinator_->setFlowBarAlwaysVisible(visible);
    };
    preferences_->onFeedbackSoundsEnabledChanged = [weak](bool enabled) {
        if (auto self = weak.lock(); self && self->coordinator_) self->coordinator_->setFeedbackSoundsEnabled(enabled);
    };
    preferences_->onAppearanceChanged = [weak](NativeAppearanceState appearance) {
        if (auto self = weak.lock(); self && self->coordinator_) {
            self->coordinator_->setAppearancePreference(std::string(rawValue(appearance.preference)),
                                                        std::string(rawValue(appearance.resolved)));
        }
    };
    // The coordinator's language change reports a status change, which
    // retitles the status menu.
    preferences_->onUILanguageChanged = [weak](NativeAppLanguage language) {
        if (auto self = weak.lock(); self && self->coordinator_) self->coordinator_->setApplicationLanguage(language);
    };
}

void MurmoAppDelegate::createDashboard() {
    dashboard_ = DashboardWindowController::create(
        ports_.dashboard, DashboardWindowSettings{.coreURL = URL::parse(configuration_.coreURL).value_or(URL()),
                                                  .desktopToken = configuration_.desktopToken,
                                                  .preferences = preferences_,
                                                  .updates = updates_});
}

void MurmoAppDelegate::installCoordinatorCallbacks() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    coordinator_->onStatusChange = [weak] {
        if (auto self = weak.lock()) self->refreshMenu();
    };
    coordinator_->reserveInternalDictation = [weak](const std::string& operationID) {
        if (auto self = weak.lock(); self && self->dashboard_) self->dashboard_->reserveDictation(operationID);
    };
    coordinator_->deliverInternalDictation = [weak](const std::string& operationID, const std::string& text,
                                                    std::function<void(bool)> completion) {
        auto self = weak.lock();
        if (!self || !self->dashboard_) {
            completion(false);
            return;
        }
        self->dashboard_->deliverDictation(operationID, text, std::move(completion));
    };
    coordinator_->cancelInternalDictation = [weak](const std::string& operationID) {
        if (auto self = weak.lock(); self && self->dashboard_) self->dashboard_->cancelDictation(operationID);
    };
    coordinator_->onWebAudioFailure = [weak](const std::string& operationID, const std::string& code,
                                             const std::string& message) {
        if (auto self = weak.lock(); self && self->dashboard_) {
            self->dashboard_->reportNativeAudioFailure(operationID, code, message);
        }
    };
}

void MurmoAppDelegate::installDashboardCallbacks() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    dashboard_->onPermissionsChanged = [weak] {
        if (auto self = weak.lock()) self->refreshPermissions();
    };
    dashboard_->fileExportBridge().onSuccessfulExport = [weak] {
        if (auto self = weak.lock(); self && self->coordinator_) {
            self->coordinator_->setPendingExportEvent(self->ports_.ids.uuid());
        }
    };
    dashboard_->writingCopyBridge().onSuccessfulCopy = [weak] {
        if (auto self = weak.lock(); self && self->coordinator_) {
            self->coordinator_->setPendingWritingCopyEvent(self->ports_.ids.uuid());
        }
    };
    dashboard_->onSettingsRequested = [weak](std::optional<NativeSettingsSection> section) {
        if (auto self = weak.lock()) self->openSettings(section);
    };
    dashboard_->onSidebarPreferenceChanged = [weak](NativeSidebarPreference) {
        if (auto self = weak.lock()) self->refreshSidebarMenuItem();
    };
    // A command after the delegate is gone is answered as the dropped reply
    // answers: the audio service is unavailable.
    dashboard_->audioBridge().onCommand = [weak](NativeAudioCommand command, WebAudioReply reply) {
        auto self = weak.lock();
        if (!self || !self->coordinator_) {
            reply.answer(WebAudioReply::unavailable());
            return;
        }
        self->coordinator_->handleWebAudio(std::move(command), std::move(reply));
    };
    dashboard_->onAudioAbandoned = [weak] {
        if (auto self = weak.lock(); self && self->coordinator_) self->coordinator_->cancelWebAudio();
    };
}

void MurmoAppDelegate::installApplicationHandlers() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    ports_.chrome.setApplicationHandlers(ApplicationHandlers{
        .onReopen =
            [weak](bool hasVisibleWindows) {
                if (auto self = weak.lock()) self->applicationShouldHandleReopen(hasVisibleWindows);
            },
        .shouldTerminate =
            [weak] {
                auto self = weak.lock();
                return self ? self->applicationShouldTerminate() : TerminateReply::now;
            },
        .willTerminate =
            [weak] {
                if (auto self = weak.lock()) self->applicationWillTerminate();
            },
        .onMenuAction =
            [weak](MenuAction action) {
                if (auto self = weak.lock()) self->perform(action);
            },
    });
    activeObservation_ = ports_.chrome.observeActiveChanges([weak](bool isActive) {
        if (auto self = weak.lock(); self && isActive) self->applicationDidBecomeActive();
    });
}

void MurmoAppDelegate::registerPreferencesObserver() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    preferencesObserverToken_ = preferences_->addObserver([weak](const NativePreferencesSnapshot& snapshot) {
        auto self = weak.lock();
        if (!self) return;
        self->refreshLocalizedChrome(snapshot.uiLanguage);
        self->refreshMenu();
    });
}

void MurmoAppDelegate::observeEffectiveAppearance() {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    effectiveAppearanceObservation_ = ports_.chrome.observeAppearanceChanges([weak, &loop = ports_.loop] {
        loop.post([weak] {
            if (auto self = weak.lock()) self->preferences_->refreshExternalState();
        });
    });
}

void MurmoAppDelegate::applicationDidBecomeActive() { preferences_->refreshExternalState(); }

bool MurmoAppDelegate::applicationShouldHandleReopen(bool) {
    if (dashboard_) dashboard_->showDashboard();
    return true;
}

}  // namespace murmo
