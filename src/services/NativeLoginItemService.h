#pragma once

// Launch at login as a preference: the system's login-item registration read
// as a NativeLaunchAtLoginState, and turned on or off with every change
// confirmed by reading the registration back. Main thread.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>

#include "platform/LoginItem.h"
#include "runtime/Logger.h"
#include "services/NativePreferenceTypes.h"
#include "services/NativePreferencesError.h"

namespace murmo {

// The five operations the service works with; tests may pass their own.
struct NativeLoginItemOperations {
    std::function<std::int32_t()> status;
    std::function<Status()> registerItem;
    std::function<Status()> unregisterItem;
    std::function<Status()> prepare;
    std::function<bool()> eligible;

    // The operations of a login-item port, which must outlive them.
    static NativeLoginItemOperations of(LoginItem& loginItem);
};

class NativeLoginItemService {
public:
    // `bundlePath` names the application in the failure log line (privately).
    NativeLoginItemService(NativeLoginItemOperations operations, std::filesystem::path bundlePath, Logger log);

    // Not eligible: (false, unavailable). A registration awaiting the user's
    // approval counts as on.
    NativeLaunchAtLoginState state() const;

    // Registers or unregisters unless already so. A failed registration is
    // forgiven when the status then reads on; every failure other than an
    // ineligible build is logged once.
    std::expected<void, NativePreferencesError> setEnabled(bool enabled);

private:
    using Failure = NativePreferencesError;

    std::expected<void, Failure> turnOn(std::int32_t status);
    std::expected<void, Failure> turnOff(std::int32_t status);
    std::unexpected<Failure> report(const Failure& failure) const;
    static Failure changeFailed(const Error& error) { return Failure::launchAtLoginChangeFailed(error.message); }

    NativeLoginItemOperations operations_;
    std::filesystem::path bundlePath_;
    Logger log_;
};

}  // namespace murmo
