#pragma once

// What one admitted delivery works with. The capture, the paster and the log
// belong to the injector; a delivery holds them weakly (through a pointer
// that shares the injector's lifetime), locks them before each step and
// ends without a result once they are gone. Cancellation is checked after
// every pause and before every write. Main loop only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "delivery/CaptureFailure.h"
#include "delivery/ClipboardFailureDetails.h"
#include "delivery/ClipboardPaster.h"
#include "delivery/DeliveryFailure.h"
#include "delivery/DeliveryResult.h"
#include "delivery/DeliveryRun.h"
#include "delivery/FocusCapture.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"

namespace murmo {

struct DeliveryServices {
    FocusCapture& capture;
    ClipboardPaster& paster;
    const Logger& log;
};

struct DeliveryContext {
    std::weak_ptr<DeliveryServices> services;
    MainLoop& loop;
    CommandDispatchedCallback onCommandDispatched;
    DeliveryRun run;

    // Time since the request was admitted.
    Duration elapsed(const DeliveryServices& services) const;
    void fail(const DeliveryServices& services, DeliveryFailure failure) const;
    void fail(const DeliveryServices& services, CaptureFailure failure) const;
    void fail(const DeliveryServices& services, const ClipboardFailureDetails& details) const;
    void inserted(const DeliveryServices& services, TextDeliveryMethod method, bool verified) const;
    // Nothing to insert: an empty write would only erase the user's
    // selection, so an empty text is refused as "empty_text".
    bool refusedEmptyText(std::string_view text) const;
    // Reports a paste as inserted once the paster's observation ends.
    std::function<void(ClipboardUnverifiedReport)> pasteCompletion() const;
};

// What a paste leaves behind for its observation to compare with. Shared by
// the paster's closures for as long as the paste lasts.
struct InsertionEvidence {
    std::optional<std::string> valueBefore{};
    std::optional<std::string> expectedValue{};
    std::optional<AXTextRange> range{};
    // Once the text was seen in the field it stays seen.
    bool observed = false;
};

// A paste's consumption check: reads nothing once the services are gone,
// and once `seen` found the text it stays seen.
std::function<bool()> observedOnce(std::weak_ptr<DeliveryServices> services,
                                   std::shared_ptr<InsertionEvidence> evidence,
                                   std::function<bool(FocusCapture&)> seen);

// The text's length as the accessibility ranges count it.
std::int64_t utf16Count(std::string_view text);
// Whether inserting `text` at `range` stays within the range arithmetic.
bool rangeIsUsable(const AXTextRange& range, std::string_view text);
// The element's value, dropped when it is too long to compare.
std::optional<std::string> boundedValue(FocusCapture& capture, const AXElement& element,
                                        FocusCapture::Deadline deadline,
                                        AXMessagingTimeout timeout = FocusCapture::kDefaultTimeout);

}  // namespace murmo
