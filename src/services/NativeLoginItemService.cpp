#include "services/NativeLoginItemService.h"

namespace murmo {

namespace {

namespace status = login_item_status;

bool isOn(std::int32_t value) { return value == status::enabled || value == status::requiresApproval; }
bool isOff(std::int32_t value) { return value == status::notRegistered || value == status::notFound; }

constexpr std::string_view kRegistrationNotConfirmed = "Registration was not confirmed by the system";
constexpr std::string_view kRemovalNotConfirmed = "Removal was not confirmed by the system";

}  // namespace

NativeLoginItemOperations NativeLoginItemOperations::of(LoginItem& loginItem) {
    return NativeLoginItemOperations{.status = [&loginItem] { return loginItem.status(); },
                                     .registerItem = [&loginItem] { return loginItem.registerItem(); },
                                     .unregisterItem = [&loginItem] { return loginItem.unregisterItem(); },
                                     .prepare = [&loginItem] { return loginItem.prepare(); },
                                     .eligible = [&loginItem] { return loginItem.isEligible(); }};
}

NativeLoginItemService::NativeLoginItemService(NativeLoginItemOperations operations, std::filesystem::path bundlePath,
                                               Logger log)
    : operations_(std::move(operations)), bundlePath_(std::move(bundlePath)), log_(std::move(log)) {}

NativeLaunchAtLoginState NativeLoginItemService::state() const {
    using Status = NativeLaunchAtLoginStatus;
    if (!operations_.eligible()) return {false, Status::unavailable};
    switch (operations_.status()) {
        case status::notRegistered: return {false, Status::disabled};
        case status::enabled: return {true, Status::enabled};
        case status::requiresApproval: return {true, Status::requiresApproval};
        case status::notFound: return {false, Status::disabled};
        default: return {false, Status::unavailable};
    }
}

std::expected<void, NativePreferencesError> NativeLoginItemService::setEnabled(bool enabled) {
    if (!operations_.eligible()) return std::unexpected(Failure::launchAtLoginUnavailable());
    const auto current = operations_.status();
    return enabled ? turnOn(current) : turnOff(current);
}

std::expected<void, NativePreferencesError> NativeLoginItemService::turnOn(std::int32_t current) {
    if (isOn(current)) return {};
    std::optional<Failure> failure;
    if (!isOff(current)) {
        failure = Failure::launchAtLoginUnavailable();
    } else if (auto prepared = operations_.prepare(); !prepared) {
        failure = changeFailed(prepared.error());
    } else if (auto registered = operations_.registerItem(); !registered) {
        failure = changeFailed(registered.error());
    } else if (!isOn(operations_.status())) {
        failure = Failure::launchAtLoginChangeFailed(std::string(kRegistrationNotConfirmed));
    }
    if (!failure) return {};
    // The system may have taken the registration despite the error (one
    // that awaits the user's approval, say): then the user has what they
    // asked for.
    if (isOn(operations_.status())) return {};
    return report(*failure);
}

std::expected<void, NativePreferencesError> NativeLoginItemService::turnOff(std::int32_t current) {
    if (isOff(current)) return {};
    if (!isOn(current)) return report(Failure::launchAtLoginUnavailable());
    if (auto unregistered = operations_.unregisterItem(); !unregistered) {
        return report(changeFailed(unregistered.error()));
    }
    if (isOff(operations_.status())) return {};
    return report(Failure::launchAtLoginChangeFailed(std::string(kRemovalNotConfirmed)));
}

std::unexpected<NativePreferencesError> NativeLoginItemService::report(const Failure& failure) const {
    log_.error("Login registration failed at {}: {}", logPrivate(bundlePath_.string()),
               logPublic(failure.logDescription()));
    return std::unexpected(failure);
}

}  // namespace murmo
