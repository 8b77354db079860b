#pragma once

// The records text delivery keeps about where the text must go: the
// application pinned at key press, the element captured for it, and the
// outcome of a reservation. Plain copyable values; the elements inside are
// retained references.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "delivery/CaptureFailure.h"
#include "platform/Accessibility.h"
#include "platform/InputActivity.h"
#include "platform/ProcessInfo.h"
#include "runtime/Clock.h"

namespace murmo {

// The user's input counters at one moment. Any change means the user typed
// or clicked somewhere since, and every later check treats that as a changed
// target.
struct FocusInputEpoch {
    std::uint32_t keyDown = 0;
    std::uint32_t leftMouseDown = 0;
    std::uint32_t rightMouseDown = 0;
    std::uint32_t otherMouseDown = 0;

    static FocusInputEpoch read(InputActivity& input);
    bool operator==(const FocusInputEpoch&) const = default;
};

// When the host process started: tells it from a later process that reuses
// its pid.
struct FocusProcessBirthIdentity {
    std::uint64_t seconds = 0;
    std::uint64_t microseconds = 0;

    // Absent for pids below 2 and for records that cannot be read completely.
    static std::optional<FocusProcessBirthIdentity> read(ProcessInfo& processes, std::int32_t pid);
    bool operator==(const FocusProcessBirthIdentity&) const = default;
};

inline constexpr std::string_view kUnnamedApplication = "Application";

struct FocusHostMetadata {
    std::optional<std::string> bundleIdentifier{};
    std::string applicationName{};
    bool operator==(const FocusHostMetadata&) const = default;
};

// The frontmost application pinned at key press.
struct FocusHostPin {
    std::string targetID{};
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier{};
    std::string applicationName{};
    MonotonicTime pinnedAt{};
    std::optional<AXElement> focusedWindow{};
    bool manualAccessibilityRequested = false;
    // Result of the manual-accessibility request; failure when none was made.
    AXError manualAccessibilityError = axerror::failure;
    FocusInputEpoch inputEpoch{};
    std::optional<FocusProcessBirthIdentity> processBirth{};

    bool operator==(const FocusHostPin&) const = default;
};

// One focus attempt's find: the element and the process that owns it (which
// may be a helper of the host, see FocusApplicationFamilyPolicy).
struct FocusedElementResolution {
    AXElement element{};
    std::int32_t ownerPID = 0;
    bool operator==(const FocusedElementResolution&) const = default;
};

// A captured, validated insertion target.
struct FocusTargetSnapshot {
    std::string targetID{};
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier{};
    std::string applicationName{};
    int captureAttempts = 0;
    Duration captureElapsed{};
    bool manualAccessibilityRequested = false;
    AXElement element{};
    std::int32_t elementPID = 0;
    std::optional<AXTextRange> selectedRange{};
    std::optional<AXElement> focusedWindow{};
    FocusInputEpoch inputEpoch{};
    std::optional<FocusProcessBirthIdentity> processBirth{};
    // The messaging time-out later reads of `element` use when they have no
    // deadline: the platform's default, or 0.2 s after a capture that had a
    // deadline (its per-message cap must not outlive it).
    AXMessagingTimeout elementMessagingTimeout = kAXDefaultMessagingTimeoutSeconds;

    bool operator==(const FocusTargetSnapshot&) const = default;
};

// The outcome of a key-press reservation.
class FocusReservation {
public:
    enum class Kind { ready, warming, failed };

    static FocusReservation ready(FocusTargetSnapshot snapshot) { return FocusReservation(std::move(snapshot)); }
    static FocusReservation warming(FocusHostPin pin) { return FocusReservation(std::move(pin)); }
    static FocusReservation failed(CaptureFailure failure) { return FocusReservation(failure); }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const FocusTargetSnapshot* snapshot() const { return std::get_if<FocusTargetSnapshot>(&value_); }
    const FocusHostPin* pin() const { return std::get_if<FocusHostPin>(&value_); }
    std::optional<CaptureFailure> failure() const {
        if (const auto* failure = std::get_if<CaptureFailure>(&value_)) return *failure;
        return std::nullopt;
    }

private:
    template <class T>
    explicit FocusReservation(T value) : value_(std::move(value)) {}
    std::variant<FocusTargetSnapshot, FocusHostPin, CaptureFailure> value_;
};

enum class FocusCandidateDisposition { ready, retryablePartialTree, terminalNotEditable };
enum class FocusSelectionDisposition { exact, transient, changed };
// A caller's verdict on the target right before the clipboard is written and
// again right before the paste command.
enum class ClipboardTargetValidation { exact, transient, changed };

}  // namespace murmo
