#pragma once

// The one owner and writer of the native preferences. It validates and
// stores changes, applies the Dock icon and launch at login at once, keeps a
// revision, and tells its observers and four callbacks about every change,
// including the ones made outside the application (the system's light or
// dark mode, its preferred languages, the login-item registration), which a
// refresh finds. Main thread only; observers and callbacks are called from
// inside the operation that caused them.
//
// Observers see one snapshot per pass, and every observer in a pass sees the
// same revision: one removed during a pass is not called later in it, and a
// change made from inside a pass ends the outer pass (the inner one has given
// everyone the newer snapshot).

#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Chrome.h"
#include "platform/DefaultsStore.h"
#include "platform/LoginItem.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/ObserverHandle.h"
#include "services/AppearanceCoordinator.h"
#include "services/NativeLoginItemService.h"
#include "services/NativePreferenceStore.h"
#include "services/NativePreferencesError.h"
#include "services/NativePreferencesSnapshot.h"

namespace murmo {

struct NativePreferencesControllerPorts {
    MainLoop& loop;
    DefaultsStore& defaults;
    Chrome& chrome;
    LoginItem& loginItem;
    IdGenerator& ids;
    // The system's preferred language identifiers, most preferred first,
    // read afresh at every use.
    std::function<std::vector<std::string>()> preferredLanguages = currentPreferredLanguages;
    // Names the application in launch-at-login failure lines.
    std::filesystem::path bundlePath = {};
    Logger log = Logger("preferences");
    // Replaces the login-item port's operations (tests).
    std::optional<NativeLoginItemOperations> loginItemOperations = std::nullopt;
};

class NativePreferencesController : public std::enable_shared_from_this<NativePreferencesController> {
public:
    using Observer = std::function<void(const NativePreferencesSnapshot&)>;

    static std::shared_ptr<NativePreferencesController> create(NativePreferencesControllerPorts ports);
    NativePreferencesController(const NativePreferencesController&) = delete;
    NativePreferencesController& operator=(const NativePreferencesController&) = delete;

    // Set by the owner; each called only when set.
    std::function<void(bool)> onFlowBarAlwaysVisibleChanged;
    std::function<void(bool)> onFeedbackSoundsEnabledChanged;
    std::function<void(NativeAppearanceState)> onAppearanceChanged;
    std::function<void(NativeAppLanguage)> onUILanguageChanged;

    NativePreferencesSnapshot snapshot() const;

    // Calls the observer at once with the current snapshot, then on every
    // change; returns its identifier.
    std::string addObserver(Observer observer);
    void removeObserver(const std::optional<std::string>& identifier);

    // Validates, stores and applies one preference; the snapshot after it.
    std::expected<NativePreferencesSnapshot, NativePreferencesError> set(NativePreferenceKey key,
                                                                         const NativePreferenceValue& value);
    std::expected<void, NativePreferencesError> setLaunchAtLogin(bool enabled);
    void openLoginItemsSettings();

    // At launch, before anything else: the Dock icon as stored; a policy
    // the system refuses falls back to the menu bar only and is stored so.
    void applyInitialApplicationPolicy();
    // Hands the current values to the four callbacks once and starts
    // watching for locale changes; deactivating stops the watch.
    void activateRuntimeBindings();
    void deactivateRuntimeBindings();
    // Finds changes made outside the application; one revision step and one
    // observer pass when anything changed.
    void refreshExternalState();

private:
    explicit NativePreferencesController(NativePreferencesControllerPorts ports);

    NativeAppLanguage resolvedLanguage(NativeAppLanguage preference) const;
    std::expected<void, NativePreferencesError> setFlag(NativePreferenceKey key, bool value);
    void setUILanguage(NativeAppLanguage language);
    void setAppearancePreference(NativeAppearancePreference preference);
    void rememberExternalState(const NativePreferencesSnapshot& snapshot);
    void notifyObservers();

    NativePreferencesControllerPorts ports_;
    NativePreferenceStore store_;
    AppearanceCoordinator appearanceCoordinator_;
    NativeLoginItemService loginItemService_;

    std::int64_t revision_ = 1;
    std::map<std::string, Observer> observers_;
    ObserverHandle localeObservation_;
    NativeAppearanceState lastAppearance_;
    NativeLaunchAtLoginState lastLaunchAtLogin_;
    NativeAppLanguage lastResolvedUILanguage_ = NativeAppLanguage::english;
};

}  // namespace murmo
