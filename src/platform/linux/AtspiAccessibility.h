#pragma once

// The accessibility port over the AT-SPI2 accessibility bus.
//
// Calls: every message is a GDBus call on the main thread with the time-out
// the caller gave (see AtspiBus for why not libatspi); one port call may send
// several messages, all within that one time-out, so a hung application costs
// at most the time-out asked for, whatever its age. An application that has
// exited answers invalidUIElement at once (the bus daemon replies for it).
//
// Focus: an AtspiFocusTracker follows "object:state-changed:focused" events
// once the bus is connected (on first use, or startFocusTracking()); its
// events arrive only while the main loop (GLib's default main context) runs.
// The system-wide element's focus is the tracker's, checked to still hold the
// FOCUSED state; focus the tracker has not seen (it existed before, or the
// focused object is gone) is searched for in the active windows, within the
// call's time-out (a walk of the window's tree: GTK 4.8 offers no Collection
// interface to query). The tracker also feeds isSecureTextFocused(), which
// sends nothing.
//
// Attributes (the application reads no others):
//   system-wide: AXFocusedApplication, AXFocusedUIElement, AXRole.
//   application (by pid, resolved on use through the registry's list and the
//     bus daemon's pid of each name): AXFocusedUIElement, AXFocusedWindow,
//     AXRole. A process with nothing on the bus answers noValue; a pid with no
//     process invalidUIElement.
//   object: AXRole and AXSubrole from the role table (AtspiRoles), AXParent,
//     AXValue and AXSelectedText (Text), AXSelectedTextRange (UTF-16 code
//     units, converted from AT-SPI's character offsets). AXSelectedText is
//     settable on editable text (EditableText): the selection is replaced and
//     the caret left after the inserted text. AXValue is settable there too
//     (the whole text).
//   AXManualAccessibility: unsupported everywhere, as an application without
//   it answers.
// Errors: time-out cannotComplete, object or application gone
// invalidUIElement, missing interface attributeUnsupported, nothing focused
// noValue, accessibility bus unreachable apiDisabled.
//
// Identity: an object by its bus name and object path, an application by its
// pid; creating an element sends nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Accessibility.h"
#include "platform/linux/AtspiBus.h"
#include "platform/linux/AtspiFocusSearch.h"
#include "platform/linux/AtspiFocusTracker.h"
#include "platform/linux/AtspiObjects.h"

namespace murmo {

class AtspiElementReference;

class AtspiAccessibility final : public Accessibility {
public:
    // Sends nothing: the bus is connected on first use.
    AtspiAccessibility();
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    // Connects to the accessibility bus now and starts following the focus;
    // false when the bus cannot be reached within the time-out.
    bool startFocusTracking(AXMessagingTimeout timeout);
    // Whether the focused element (as the tracker last saw it) is password
    // text. Sends nothing: the secure-input probe of XInputActivity.
    bool isSecureTextFocused() const { return tracker_.focusedIsPassword(); }

    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    AXElement applicationElement(std::int32_t pid) override;
    AXElement systemWideElement() override;
    AXResult<std::int32_t> ownerPID(const AXElement& element) override;
    AXResult<AXAttributeValue> copyAttributeValue(const AXElement& element, std::string_view attribute,
                                                  AXMessagingTimeout timeout) override;
    AXResult<bool> isAttributeSettable(const AXElement& element, std::string_view attribute,
                                       AXMessagingTimeout timeout) override;
    AXError setAttributeValue(const AXElement& element, std::string_view attribute, const AXAttributeValue& value,
                              AXMessagingTimeout timeout) override;

private:
    AXResult<AXAttributeValue> copySystemWide(std::string_view attribute, const AtspiDeadline& deadline);
    AXResult<AXAttributeValue> copyApplication(std::int32_t pid, std::string_view attribute,
                                               const AtspiDeadline& deadline);
    AXResult<AXAttributeValue> copyObject(const AtspiObjectPath& object, std::string_view attribute,
                                          const AtspiDeadline& deadline);
    AXResult<AXAttributeValue> roleOf(const AtspiObjectPath& object, bool subrole, const AtspiDeadline& deadline);
    AXResult<AXAttributeValue> parentOf(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    AXResult<AXAttributeValue> selectedTextOf(const AtspiObjectPath& object, bool asRange,
                                              const AtspiDeadline& deadline);
    AXError replaceSelection(const AtspiObjectPath& object, const std::string& text, const AtspiDeadline& deadline);

    // The focused object: the tracker's while it still holds the focus,
    // otherwise searched for (in one application, or in every one).
    AXResult<AtspiObjectPath> focusedObject(const std::optional<std::string>& applicationBusName,
                                            const AtspiDeadline& deadline);
    // The focus as the accessibility tree shows it, without the tracker.
    AXResult<AtspiObjectPath> searchFocus(const std::optional<std::string>& applicationBusName,
                                          const AtspiDeadline& deadline);
    // The bus name of the application of `pid`: noValue when the process is
    // alive but not on the bus, invalidUIElement when there is no process.
    AXResult<std::string> applicationBusName(std::int32_t pid, const AtspiDeadline& deadline);
    // The element for an object: an application's root reads as the
    // application.
    AXElement elementFor(const AtspiObjectPath& object, const AtspiDeadline& deadline);

    AtspiBus bus_;
    AtspiObjects objects_{bus_};
    AtspiFocusSearch search_{objects_};
    AtspiFocusTracker tracker_;
    std::unordered_map<std::int32_t, std::string> applicationNames_;
};

}  // namespace murmo
