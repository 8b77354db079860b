#include "platform/linux/AtspiAccessibility.h"

#include <atspi/atspi-constants.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/AtspiElementReference.h"
#include "platform/linux/AtspiRoles.h"
#include "platform/linux/AtspiTextRanges.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

// Asking the bus daemon (trust, owner pids) never waits on an application.
constexpr AXMessagingTimeout kBusDaemonTimeoutSeconds = 1.0f;

constexpr std::uint64_t bit(AtspiStateType state) { return std::uint64_t{1} << static_cast<unsigned>(state); }

bool processExists(std::int32_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

template <class T>
AXResult<T> failed(AXError error) {
    return {error, std::nullopt};
}

AXResult<AXAttributeValue> text(std::string value) { return {axerror::success, AXAttributeValue(std::move(value))}; }

AXResult<AXAttributeValue> element(AXElement value) { return {axerror::success, AXAttributeValue(std::move(value))}; }

bool isRoot(const AtspiObjectPath& object) { return object.path == ATSPI_DBUS_PATH_ROOT; }

}  // namespace

AtspiAccessibility::AtspiAccessibility() {
    bus_.setConnectionHandler(
        [this](GDBusConnection* connection, const AtspiDeadline& deadline) { tracker_.attach(connection, deadline); });
}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::startFocusTracking(AXMessagingTimeout timeout) {
    return bus_.ensureConnected(AtspiDeadline::after(timeout));
}

bool AtspiAccessibility::isProcessTrusted() {
    const auto deadline = AtspiDeadline::after(kBusDaemonTimeoutSeconds);
    auto reply = bus_.call(AtspiObjectPath{"org.freedesktop.DBus", "/org/freedesktop/DBus"},
                           "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr, deadline);
    return reply.error == axerror::success;
}

// Nothing prompts for accessibility on X11.
bool AtspiAccessibility::isProcessTrustedWithPrompt() { return isProcessTrusted(); }

AXElement AtspiAccessibility::applicationElement(std::int32_t pid) { return AtspiElementReference::application(pid); }

AXElement AtspiAccessibility::systemWideElement() { return AtspiElementReference::systemWide(); }

AXResult<std::int32_t> AtspiAccessibility::ownerPID(const AXElement& element) {
    const auto* reference = AtspiElementReference::of(element);
    if (!reference) return failed<std::int32_t>(axerror::invalidUIElement);
    switch (reference->kind()) {
        case AtspiElementReference::Kind::systemWide: return failed<std::int32_t>(axerror::illegalArgument);
        case AtspiElementReference::Kind::application:
            if (!processExists(reference->pid())) return failed<std::int32_t>(axerror::invalidUIElement);
            return {axerror::success, reference->pid()};
        case AtspiElementReference::Kind::object: break;
    }
    return bus_.processOf(reference->busName(), AtspiDeadline::after(kBusDaemonTimeoutSeconds));
}

// ---- Reading ------------------------------------------------------------------

AXResult<AXAttributeValue> AtspiAccessibility::copyAttributeValue(const AXElement& element, std::string_view attribute,
                                                                  AXMessagingTimeout timeout) {
    const auto* reference = AtspiElementReference::of(element);
    if (!reference) return failed<AXAttributeValue>(axerror::invalidUIElement);
    const auto deadline = AtspiDeadline::after(timeout);
    if (deadline.passed()) return failed<AXAttributeValue>(axerror::cannotComplete);
    switch (reference->kind()) {
        case AtspiElementReference::Kind::systemWide: return copySystemWide(attribute, deadline);
        case AtspiElementReference::Kind::application: return copyApplication(reference->pid(), attribute, deadline);
        case AtspiElementReference::Kind::object:
            return copyObject(AtspiObjectPath{reference->busName(), reference->path()}, attribute, deadline);
    }
    return failed<AXAttributeValue>(axerror::failure);
}

AXResult<AXAttributeValue> AtspiAccessibility::copySystemWide(std::string_view attribute,
                                                              const AtspiDeadline& deadline) {
    if (attribute == axattr::role) return text("AXSystemWide");
    if (attribute != axattr::focusedUIElement && attribute != axattr::focusedApplication) {
        return failed<AXAttributeValue>(axerror::attributeUnsupported);
    }
    if (!bus_.ensureConnected(deadline)) {
        return failed<AXAttributeValue>(deadline.passed() ? axerror::cannotComplete : axerror::apiDisabled);
    }
    auto focused = focusedObject(std::nullopt, deadline);
    if (!focused.value) return failed<AXAttributeValue>(focused.error);
    if (attribute == axattr::focusedUIElement) return element(elementFor(*focused.value, deadline));
    auto pid = bus_.processOf(focused.value->busName, deadline);
    if (!pid.value) return failed<AXAttributeValue>(pid.error);
    return element(AtspiElementReference::application(*pid.value));
}

AXResult<AXAttributeValue> AtspiAccessibility::copyApplication(std::int32_t pid, std::string_view attribute,
                                                               const AtspiDeadline& deadline) {
    auto busName = applicationBusName(pid, deadline);
    if (!busName.value) return failed<AXAttributeValue>(busName.error);
    if (attribute == axattr::role) return text("AXApplication");
    if (attribute == axattr::focusedUIElement) {
        auto focused = focusedObject(*busName.value, deadline);
        if (!focused.value) return failed<AXAttributeValue>(focused.error);
        return element(elementFor(*focused.value, deadline));
    }
    if (attribute == axattr::focusedWindow) {
        auto window = search_.activeWindow(*busName.value, deadline);
        if (!window.value) return failed<AXAttributeValue>(window.error);
        return element(elementFor(*window.value, deadline));
    }
    if (attribute == axattr::parent) return failed<AXAttributeValue>(axerror::noValue);
    return failed<AXAttributeValue>(axerror::attributeUnsupported);
}

AXResult<AXAttributeValue> AtspiAccessibility::copyObject(const AtspiObjectPath& object, std::string_view attribute,
                                                          const AtspiDeadline& deadline) {
    if (attribute == axattr::role) return roleOf(object, false, deadline);
    if (attribute == axattr::subrole) return roleOf(object, true, deadline);
    if (attribute == axattr::parent) return parentOf(object, deadline);
    if (attribute == axattr::value) {
        auto value = objects_.text(object, deadline);
        if (!value.value) return failed<AXAttributeValue>(value.error);
        return text(std::move(*value.value));
    }
    if (attribute == axattr::selectedText) return selectedTextOf(object, false, deadline);
    if (attribute == axattr::selectedTextRange) return selectedTextOf(object, true, deadline);
    // Anything else (focus attributes included) an object does not have; it
    // must still exist to say so.
    auto role = objects_.role(object, deadline);
    if (!role.value) return failed<AXAttributeValue>(role.error);
    return failed<AXAttributeValue>(axerror::attributeUnsupported);
}

AXResult<AXAttributeValue> AtspiAccessibility::roleOf(const AtspiObjectPath& object, bool subrole,
                                                      const AtspiDeadline& deadline) {
    auto role = objects_.role(object, deadline);
    if (!role.value) return failed<AXAttributeValue>(role.error);
    bool multiLine = false;
    if (roleDependsOnMultiLine(*role.value)) {
        auto states = objects_.states(object, deadline);
        if (!states.value) return failed<AXAttributeValue>(states.error);
        multiLine = (*states.value & bit(ATSPI_STATE_MULTI_LINE)) != 0;
    }
    const auto names = axRoleNames(*role.value, multiLine);
    if (!subrole) return text(std::string(names.role));
    if (names.subrole.empty()) return failed<AXAttributeValue>(axerror::noValue);
    return text(std::string(names.subrole));
}

AXResult<AXAttributeValue> AtspiAccessibility::parentOf(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    // An application's root has the registry's desktop above it: no parent.
    if (isRoot(object)) return failed<AXAttributeValue>(axerror::noValue);
    auto parent = objects_.parent(object, deadline);
    if (!parent.value) return failed<AXAttributeValue>(parent.error);
    return element(elementFor(*parent.value, deadline));
}

AXResult<AXAttributeValue> AtspiAccessibility::selectedTextOf(const AtspiObjectPath& object, bool asRange,
                                                              const AtspiDeadline& deadline) {
    auto value = objects_.text(object, deadline);
    if (!value.value) return failed<AXAttributeValue>(value.error);
    auto selection = objects_.selection(object, deadline);
    if (!selection.value) return failed<AXAttributeValue>(selection.error);
    const auto [start, end] = *selection.value;
    const auto range = utf16RangeOfCharacters(*value.value, start, end);
    // Offsets past the text: the peer answered about another text than the
    // one it gave.
    if (!range) return failed<AXAttributeValue>(axerror::failure);
    if (asRange) return {axerror::success, AXAttributeValue(*range)};
    auto units = unicode::toUTF16(*value.value);
    if (!units) return failed<AXAttributeValue>(axerror::failure);
    auto selected = unicode::fromUTF16(std::u16string_view(*units).substr(static_cast<std::size_t>(range->location),
                                                                          static_cast<std::size_t>(range->length)));
    if (!selected) return failed<AXAttributeValue>(axerror::failure);
    return text(std::move(*selected));
}

// ---- Writing ------------------------------------------------------------------

AXResult<bool> AtspiAccessibility::isAttributeSettable(const AXElement& element, std::string_view attribute,
                                                       AXMessagingTimeout timeout) {
    const auto* reference = AtspiElementReference::of(element);
    if (!reference) return failed<bool>(axerror::invalidUIElement);
    const auto deadline = AtspiDeadline::after(timeout);
    if (deadline.passed()) return failed<bool>(axerror::cannotComplete);
    if (reference->kind() == AtspiElementReference::Kind::application) {
        auto busName = applicationBusName(reference->pid(), deadline);
        if (!busName.value) return failed<bool>(busName.error);
    }
    if (reference->kind() != AtspiElementReference::Kind::object) return {axerror::success, false};
    const AtspiObjectPath object{reference->busName(), reference->path()};
    auto interfaces = objects_.interfaces(object, deadline);
    if (!interfaces.value) return failed<bool>(interfaces.error);
    if (attribute != axattr::selectedText && attribute != axattr::value) return {axerror::success, false};
    const bool editableText =
        std::ranges::find(*interfaces.value, ATSPI_DBUS_INTERFACE_EDITABLE_TEXT) != interfaces.value->end();
    if (!editableText) return {axerror::success, false};
    auto states = objects_.states(object, deadline);
    if (!states.value) return failed<bool>(states.error);
    return {axerror::success, (*states.value & bit(ATSPI_STATE_EDITABLE)) != 0};
}

AXError AtspiAccessibility::setAttributeValue(const AXElement& element, std::string_view attribute,
                                              const AXAttributeValue& value, AXMessagingTimeout timeout) {
    const auto* reference = AtspiElementReference::of(element);
    if (!reference) return axerror::invalidUIElement;
    const auto deadline = AtspiDeadline::after(timeout);
    if (deadline.passed()) return axerror::cannotComplete;
    if (reference->kind() == AtspiElementReference::Kind::application) {
        // No application here has the attribute, on the bus or not.
        if (attribute == axattr::manualAccessibility && processExists(reference->pid())) {
            return axerror::attributeUnsupported;
        }
        auto busName = applicationBusName(reference->pid(), deadline);
        if (!busName.value) return busName.error;
    }
    if (reference->kind() != AtspiElementReference::Kind::object) return axerror::attributeUnsupported;
    if (attribute != axattr::selectedText && attribute != axattr::value) return axerror::attributeUnsupported;
    const auto* newText = std::get_if<std::string>(&value);
    if (!newText || !unicode::isValidUTF8(*newText)) return axerror::illegalArgument;
    const AtspiObjectPath object{reference->busName(), reference->path()};
    if (attribute == axattr::value) return objects_.setTextContents(object, *newText, deadline);
    return replaceSelection(object, *newText, deadline);
}

AXError AtspiAccessibility::replaceSelection(const AtspiObjectPath& object, const std::string& newText,
                                             const AtspiDeadline& deadline) {
    auto selection = objects_.selection(object, deadline);
    if (!selection.value) return selection.error;
    const auto [start, end] = *selection.value;
    const auto inserted = characterCount(newText);
    if (!inserted || *inserted > G_MAXINT32 - start) return axerror::illegalArgument;
    if (end > start) {
        if (const auto error = objects_.deleteText(object, start, end, deadline); error != axerror::success) {
            return error;
        }
    }
    if (!newText.empty()) {
        if (const auto error = objects_.insertText(object, start, newText, deadline); error != axerror::success) {
            return error;
        }
    }
    // The text is in; a caret the toolkit would not move is not worth failing
    // a write that happened (a retry would insert it twice).
    objects_.setCaret(object, start + static_cast<std::int32_t>(*inserted), deadline);
    return axerror::success;
}

// ---- Focus and applications -----------------------------------------------------

AXResult<AtspiObjectPath> AtspiAccessibility::focusedObject(const std::optional<std::string>& applicationBusName,
                                                            const AtspiDeadline& deadline) {
    if (const auto& tracked = tracker_.focused();
        tracked && (!applicationBusName || tracked->busName == *applicationBusName)) {
        const auto candidate = *tracked;
        auto states = objects_.states(candidate, deadline);
        if (states.value && (*states.value & bit(ATSPI_STATE_FOCUSED)) != 0) return {axerror::success, candidate};
        if (states.error == axerror::cannotComplete) return failed<AtspiObjectPath>(states.error);
        if (states.error == axerror::invalidUIElement) tracker_.forget(candidate);
    }
    auto found = searchFocus(applicationBusName, deadline);
    if (found.value) tracker_.adopt(*found.value);
    return found;
}

AXResult<AtspiObjectPath> AtspiAccessibility::searchFocus(const std::optional<std::string>& applicationBusName,
                                                          const AtspiDeadline& deadline) {
    if (applicationBusName) return search_.focusedIn(*applicationBusName, deadline);
    auto applications = objects_.applications(deadline);
    if (!applications.value) return failed<AtspiObjectPath>(applications.error);
    for (const auto& application : *applications.value) {
        // Our own windows cannot answer while this thread waits for them.
        if (bus_.processOf(application.busName, deadline).value == static_cast<std::int32_t>(::getpid())) continue;
        auto focused = search_.focusedIn(application.busName, deadline);
        if (focused.value || focused.error == axerror::cannotComplete) return focused;
    }
    return failed<AtspiObjectPath>(axerror::noValue);
}

AXResult<std::string> AtspiAccessibility::applicationBusName(std::int32_t pid, const AtspiDeadline& deadline) {
    if (auto known = applicationNames_.find(pid); known != applicationNames_.end()) {
        if (bus_.knownProcessOf(known->second) == pid) return {axerror::success, known->second};
        applicationNames_.erase(known);
    }
    if (!processExists(pid)) return failed<std::string>(axerror::invalidUIElement);
    auto applications = objects_.applications(deadline);
    if (!applications.value) return failed<std::string>(applications.error);
    for (const auto& application : *applications.value) {
        auto owner = bus_.processOf(application.busName, deadline);
        if (owner.error == axerror::cannotComplete) return failed<std::string>(owner.error);
        if (owner.value == pid) {
            applicationNames_[pid] = application.busName;
            return {axerror::success, application.busName};
        }
    }
    // Alive but not on the bus: an application without accessibility.
    return failed<std::string>(axerror::noValue);
}

AXElement AtspiAccessibility::elementFor(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    if (isRoot(object)) {
        if (auto pid = bus_.processOf(object.busName, deadline); pid.value) {
            return AtspiElementReference::application(*pid.value);
        }
    }
    return AtspiElementReference::object(object.busName, object.path);
}

}  // namespace murmo
