#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/Accessibility.h"
#include "runtime/Clock.h"

namespace murmo {

// How text reached its target; the raw values go verbatim into the delivery
// report to the engine.
enum class TextDeliveryMethod { keyboard, internalEditor, accessibility, clipboardPaste };

std::string_view rawValue(TextDeliveryMethod method);
// Exactly the four raw values are accepted.
std::optional<TextDeliveryMethod> textDeliveryMethodFromRawValue(std::string_view raw);

enum class DeliveryUserFacingStatus { success, failure };

struct DeliveryInserted {
    TextDeliveryMethod method = TextDeliveryMethod::clipboardPaste;
    bool verified = false;
    Duration elapsed{};
    bool operator==(const DeliveryInserted&) const = default;
};

struct DeliveryFailed {
    // Coarse class ("target_changed", "delivery_busy", ...).
    std::string outcome{};
    // Precise snake_case cause.
    std::string reasonCode{};
    // Fixed English sentence for the user.
    std::string message{};
    Duration elapsed{};
    bool operator==(const DeliveryFailed&) const = default;
};

// The one outcome of a delivery request. Elapsed times count from the moment
// the request was made.
class DeliveryResult {
public:
    static DeliveryResult inserted(TextDeliveryMethod method, bool verified, Duration elapsed);
    static DeliveryResult failed(std::string outcome, std::string reasonCode, std::string message, Duration elapsed);

    bool isInserted() const { return std::holds_alternative<DeliveryInserted>(value_); }
    const DeliveryInserted* insertion() const { return std::get_if<DeliveryInserted>(&value_); }
    const DeliveryFailed* failure() const { return std::get_if<DeliveryFailed>(&value_); }
    Duration elapsed() const;
    // An unverified insertion still counts as a success.
    DeliveryUserFacingStatus userFacingStatus() const;

    bool operator==(const DeliveryResult&) const = default;

private:
    explicit DeliveryResult(std::variant<DeliveryInserted, DeliveryFailed> value) : value_(std::move(value)) {}
    std::variant<DeliveryInserted, DeliveryFailed> value_;
};

// What a read-back after an insertion shows, from the insertion range before
// the write, the one expected after it and the one observed.
enum class AXInsertionObservation { verified, unchanged, ambiguous };

AXInsertionObservation classifyInsertion(const AXTextRange& original, const AXTextRange& expected,
                                         const std::optional<AXTextRange>& observed);

}  // namespace murmo
