#include "services/NativePreferencesController.h"

namespace murmo {

namespace {

using Key = NativePreferenceKey;

ActivationPolicy policyFor(bool showInDock) {
    return showInDock ? ActivationPolicy::regular : ActivationPolicy::accessory;
}

}  // namespace

std::shared_ptr<NativePreferencesController> NativePreferencesController::create(
    NativePreferencesControllerPorts ports) {
    return std::shared_ptr<NativePreferencesController>(new NativePreferencesController(std::move(ports)));
}

NativePreferencesController::NativePreferencesController(NativePreferencesControllerPorts ports)
    : ports_(std::move(ports)),
      store_(ports_.defaults),
      appearanceCoordinator_(ports_.chrome),
      loginItemService_(ports_.loginItemOperations.value_or(NativeLoginItemOperations::of(ports_.loginItem)),
                        ports_.bundlePath, ports_.log) {
    rememberExternalState(snapshot());
}

NativeAppLanguage NativePreferencesController::resolvedLanguage(NativeAppLanguage preference) const {
    const auto preferred = ports_.preferredLanguages();
    return resolved(preference, preferred);
}

NativePreferencesSnapshot NativePreferencesController::snapshot() const {
    const auto language = store_.uiLanguage();
    return NativePreferencesSnapshot{.revision = revision_,
                                     .uiLanguagePreference = language,
                                     .uiLanguage = resolvedLanguage(language),
                                     .appearance = appearanceCoordinator_.state(store_.appearancePreference()),
                                     .launchAtLogin = loginItemService_.state(),
                                     .showFlowBarAlways = store_.showFlowBarAlways(),
                                     .showAppInDock = store_.showAppInDock(),
                                     .feedbackSoundsEnabled = store_.feedbackSoundsEnabled(),
                                     .bigModeEnabled = store_.bigModeEnabled()};
}

std::string NativePreferencesController::addObserver(Observer observer) {
    auto identifier = ports_.ids.uuid();
    observers_.emplace(identifier, observer);
    observer(snapshot());
    return identifier;
}

void NativePreferencesController::removeObserver(const std::optional<std::string>& identifier) {
    if (identifier) observers_.erase(*identifier);
}

void NativePreferencesController::rememberExternalState(const NativePreferencesSnapshot& snapshot) {
    lastAppearance_ = snapshot.appearance;
    lastLaunchAtLogin_ = snapshot.launchAtLogin;
    lastResolvedUILanguage_ = snapshot.uiLanguage;
}

void NativePreferencesController::notifyObservers() {
    const auto current = snapshot();
    rememberExternalState(current);
    std::vector<std::string> identifiers;
    identifiers.reserve(observers_.size());
    for (const auto& [identifier, observer] : observers_) identifiers.push_back(identifier);
    for (const auto& identifier : identifiers) {
        // A change made by an observer has run a newer pass already.
        if (revision_ != current.revision) return;
        const auto found = observers_.find(identifier);
        if (found == observers_.end()) continue;  // removed during this pass
        auto observer = found->second;            // it may remove itself
        observer(current);
    }
}

std::expected<NativePreferencesSnapshot, NativePreferencesError> NativePreferencesController::set(
    Key key, const NativePreferenceValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    const auto* flag = std::get_if<bool>(&value);
    switch (key) {
        case Key::uiLanguage: {
            const auto language = text ? nativeAppLanguageFromRawValue(*text) : std::nullopt;
            if (!language) return std::unexpected(NativePreferencesError::invalidValue());
            setUILanguage(*language);
            break;
        }
        case Key::appearancePreference: {
            const auto preference = text ? nativeAppearancePreferenceFromRawValue(*text) : std::nullopt;
            if (!preference) return std::unexpected(NativePreferencesError::invalidValue());
            setAppearancePreference(*preference);
            break;
        }
        case Key::launchAtLogin:
            if (!flag) return std::unexpected(NativePreferencesError::invalidValue());
            if (auto changed = setLaunchAtLogin(*flag); !changed) return std::unexpected(changed.error());
            break;
        default:
            if (!flag) return std::unexpected(NativePreferencesError::invalidValue());
            if (auto changed = setFlag(key, *flag); !changed) return std::unexpected(changed.error());
            break;
    }
    return snapshot();
}

void NativePreferencesController::setUILanguage(NativeAppLanguage language) {
    if (store_.uiLanguage() == language) return refreshExternalState();
    store_.setUILanguage(language);
    ++revision_;
    lastResolvedUILanguage_ = resolvedLanguage(language);
    // Also when the resolved language stays the same ("system" resolving to
    // English, then an explicit English): the choice itself changed.
    if (onUILanguageChanged) onUILanguageChanged(lastResolvedUILanguage_);
    notifyObservers();
}

void NativePreferencesController::setAppearancePreference(NativeAppearancePreference preference) {
    if (store_.appearancePreference() == preference) return refreshExternalState();
    store_.setAppearancePreference(preference);
    ++revision_;
    lastAppearance_ = appearanceCoordinator_.state(preference);
    if (onAppearanceChanged) onAppearanceChanged(lastAppearance_);
    notifyObservers();
}

std::expected<void, NativePreferencesError> NativePreferencesController::setFlag(Key key, bool value) {
    switch (key) {
        case Key::showFlowBarAlways:
            if (store_.showFlowBarAlways() == value) return {};
            store_.setShowFlowBarAlways(value);
            ++revision_;
            if (onFlowBarAlwaysVisibleChanged) onFlowBarAlwaysVisibleChanged(value);
            break;
        case Key::showAppInDock:
            if (store_.showAppInDock() == value) return {};
            if (!ports_.chrome.setActivationPolicy(policyFor(value))) {
                return std::unexpected(NativePreferencesError::dockPolicyChangeFailed());
            }
            store_.setShowAppInDock(value);
            ++revision_;
            break;
        case Key::feedbackSoundsEnabled:
            if (store_.feedbackSoundsEnabled() == value) return {};
            store_.setFeedbackSoundsEnabled(value);
            ++revision_;
            if (onFeedbackSoundsEnabledChanged) onFeedbackSoundsEnabledChanged(value);
            break;
        case Key::bigModeEnabled:
            if (store_.bigModeEnabled() == value) return {};
            store_.setBigModeEnabled(value);
            ++revision_;
            break;
        default: return std::unexpected(NativePreferencesError::invalidValue());
    }
    notifyObservers();
    return {};
}

std::expected<void, NativePreferencesError> NativePreferencesController::setLaunchAtLogin(bool enabled) {
    const auto before = loginItemService_.state();
    if (auto changed = loginItemService_.setEnabled(enabled); !changed) return changed;
    const auto after = loginItemService_.state();
    if (after == before) return {};
    lastLaunchAtLogin_ = after;
    ++revision_;
    notifyObservers();
    return {};
}

void NativePreferencesController::openLoginItemsSettings() {
    ports_.loginItem.openSettings();
    refreshExternalState();
}

void NativePreferencesController::applyInitialApplicationPolicy() {
    if (ports_.chrome.setActivationPolicy(policyFor(store_.showAppInDock()))) return;
    store_.setShowAppInDock(false);
    ports_.chrome.setActivationPolicy(ActivationPolicy::accessory);
    ++revision_;
}

void NativePreferencesController::activateRuntimeBindings() {
    if (!localeObservation_) {
        localeObservation_ = ports_.chrome.observeLocaleChanges([weak = weak_from_this(), loop = &ports_.loop] {
            loop->post([weak] {
                // Not once the bindings are down, nor once the controller is.
                if (auto self = weak.lock(); self && self->localeObservation_) self->refreshExternalState();
            });
        });
    }
    const auto current = snapshot();
    if (onFlowBarAlwaysVisibleChanged) onFlowBarAlwaysVisibleChanged(current.showFlowBarAlways);
    if (onFeedbackSoundsEnabledChanged) onFeedbackSoundsEnabledChanged(current.feedbackSoundsEnabled);
    if (onAppearanceChanged) onAppearanceChanged(current.appearance);
    if (onUILanguageChanged) onUILanguageChanged(current.uiLanguage);
    rememberExternalState(current);
}

void NativePreferencesController::deactivateRuntimeBindings() { localeObservation_.reset(); }

void NativePreferencesController::refreshExternalState() {
    const auto appearance = appearanceCoordinator_.state(store_.appearancePreference());
    const auto launchAtLogin = loginItemService_.state();
    const auto language = resolvedLanguage(store_.uiLanguage());
    const bool appearanceChanged = appearance != lastAppearance_;
    const bool languageChanged = language != lastResolvedUILanguage_;
    if (!appearanceChanged && !languageChanged && launchAtLogin == lastLaunchAtLogin_) return;
    lastAppearance_ = appearance;
    lastLaunchAtLogin_ = launchAtLogin;
    lastResolvedUILanguage_ = language;
    ++revision_;
    if (appearanceChanged && onAppearanceChanged) onAppearanceChanged(appearance);
    if (languageChanged && onUILanguageChanged) onUILanguageChanged(language);
    notifyObservers();
}

}  // namespace murmo
