#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace murmo {

// Accessibility error codes, as numbers: callers compare and log them, and the
// retry rules branch on exact values.
using AXError = std::int32_t;

namespace axerror {
inline constexpr AXError success = 0;
inline constexpr AXError failure = -25200;
inline constexpr AXError illegalArgument = -25201;
inline constexpr AXError invalidUIElement = -25202;
inline constexpr AXError invalidUIElementObserver = -25203;
inline constexpr AXError cannotComplete = -25204;
inline constexpr AXError attributeUnsupported = -25205;
inline constexpr AXError actionUnsupported = -25206;
inline constexpr AXError notificationUnsupported = -25207;
inline constexpr AXError notImplemented = -25208;
inline constexpr AXError notificationAlreadyRegistered = -25209;
inline constexpr AXError notificationNotRegistered = -25210;
inline constexpr AXError apiDisabled = -25211;
inline constexpr AXError noValue = -25212;
inline constexpr AXError parameterizedAttributeUnsupported = -25213;
inline constexpr AXError notEnoughPrecision = -25214;
}  // namespace axerror

// Attribute names the application reads or writes.
namespace axattr {
inline constexpr std::string_view focusedApplication = "AXFocusedApplication";
inline constexpr std::string_view focusedUIElement = "AXFocusedUIElement";
inline constexpr std::string_view focusedWindow = "AXFocusedWindow";
inline constexpr std::string_view parent = "AXParent";
inline constexpr std::string_view role = "AXRole";
inline constexpr std::string_view subrole = "AXSubrole";
inline constexpr std::string_view value = "AXValue";
inline constexpr std::string_view selectedText = "AXSelectedText";
inline constexpr std::string_view selectedTextRange = "AXSelectedTextRange";
// Asks an application that builds its tree lazily to expose all of it.
inline constexpr std::string_view manualAccessibility = "AXManualAccessibility";
}  // namespace axattr

// Messaging time-out in seconds. Every call that messages another process
// takes one explicitly; a call that cannot be answered in time fails with
// axerror::cannotComplete.
using AXMessagingTimeout = float;

// What the platform applies to an element nobody has given a time-out.
inline constexpr AXMessagingTimeout kAXDefaultMessagingTimeoutSeconds = 6.0f;

// A text range in UTF-16 code units, as the platform counts text.
struct AXTextRange {
    std::int64_t location = 0;
    std::int64_t length = 0;
    bool operator==(const AXTextRange&) const = default;
};

// The backend's own reference to one element. Equality and hash define
// element identity: two references to the same element are equal.
class AXElementReference {
public:
    virtual ~AXElementReference() = default;
    virtual bool isEqual(const AXElementReference& other) const = 0;
    virtual std::size_t hashValue() const = 0;
};

// A retained reference to an accessibility element: a plain copyable value.
// A default-constructed one refers to nothing.
class AXElement {
public:
    AXElement() = default;
    explicit AXElement(std::shared_ptr<const AXElementReference> reference) : reference_(std::move(reference)) {}

    explicit operator bool() const { return reference_ != nullptr; }
    const AXElementReference* reference() const { return reference_.get(); }

    friend bool operator==(const AXElement& a, const AXElement& b) {
        if (!a.reference_ || !b.reference_) return a.reference_ == b.reference_;
        return a.reference_ == b.reference_ || a.reference_->isEqual(*b.reference_);
    }
    std::size_t hash() const { return reference_ ? reference_->hashValue() : 0; }

private:
    std::shared_ptr<const AXElementReference> reference_;
};

// A value of a type the application does not interpret (an array, say).
struct AXOtherValue {
    bool operator==(const AXOtherValue&) const = default;
};

using AXAttributeValue = std::variant<AXElement, std::string, bool, std::int64_t, double, AXTextRange, AXOtherValue>;

// The outcome of one call: an error code, and a value only when the call
// succeeded and produced one.
template <class T>
struct AXResult {
    AXError error = axerror::failure;
    std::optional<T> value{};
};

// The accessibility interface of the desktop. Main thread only. Calls block
// the caller until the other process answers or the time-out passes.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may use the accessibility interface at all.
    virtual bool isProcessTrusted() = 0;
    // The same check, showing the system's prompt when the process is not
    // trusted.
    virtual bool isProcessTrustedWithPrompt() = 0;

    // Creating an element sends no message. An application element for a
    // process that has none answers its calls with an error.
    virtual AXElement applicationElement(std::int32_t pid) = 0;
    virtual AXElement systemWideElement() = 0;

    // The process that owns the element (sends no message).
    virtual AXResult<std::int32_t> ownerPID(const AXElement& element) = 0;

    virtual AXResult<AXAttributeValue> copyAttributeValue(const AXElement& element, std::string_view attribute,
                                                          AXMessagingTimeout timeout) = 0;
    virtual AXResult<bool> isAttributeSettable(const AXElement& element, std::string_view attribute,
                                               AXMessagingTimeout timeout) = 0;
    virtual AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                                      const AXAttributeValue& value, AXMessagingTimeout timeout) = 0;
};

}  // namespace murmo

template <>
struct std::hash<murmo::AXElement> {
    std::size_t operator()(const murmo::AXElement& element) const noexcept { return element.hash(); }
};
