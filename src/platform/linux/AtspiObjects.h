#pragma once

// The messages this backend sends to accessible objects, each a typed call on
// the accessibility bus. Every reply is checked for its type and range: a
// peer that answers nonsense fails the call rather than feed it on.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/linux/AtspiBus.h"

namespace murmo {

class AtspiObjects {
public:
    explicit AtspiObjects(AtspiBus& bus) : bus_(bus) {}

    AXResult<std::uint32_t> role(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    // The state set as a mask of AtspiStateType bits.
    AXResult<std::uint64_t> states(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    AXResult<std::vector<std::string>> interfaces(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    // noValue when the object has no parent.
    AXResult<AtspiObjectPath> parent(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    AXResult<std::vector<AtspiObjectPath>> children(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    // The applications on the bus (the registry's desktop's children).
    AXResult<std::vector<AtspiObjectPath>> applications(const AtspiDeadline& deadline);

    // Text, in character (code point) offsets.
    AXResult<std::string> text(const AtspiObjectPath& object, const AtspiDeadline& deadline);
    // The first selection, or the caret as an empty range when nothing is
    // selected; [start, end) with start <= end.
    AXResult<std::pair<std::int32_t, std::int32_t>> selection(const AtspiObjectPath& object,
                                                              const AtspiDeadline& deadline);
    AXError deleteText(const AtspiObjectPath& object, std::int32_t start, std::int32_t end,
                       const AtspiDeadline& deadline);
    // The length sent is the text's size in bytes, as the toolkits read it.
    AXError insertText(const AtspiObjectPath& object, std::int32_t position, const std::string& text,
                       const AtspiDeadline& deadline);
    AXError setCaret(const AtspiObjectPath& object, std::int32_t offset, const AtspiDeadline& deadline);
    AXError setTextContents(const AtspiObjectPath& object, const std::string& text, const AtspiDeadline& deadline);

private:
    // A call to one of the object's interfaces. A missing method or
    // interface means the object is gone when even its Accessible interface
    // is missing (toolkits answer both alike), attributeUnsupported
    // otherwise: one more message tells them apart.
    AtspiReply send(const AtspiObjectPath& object, const char* interface, const char* method, GVariant* parameters,
                    const char* replyType, const AtspiDeadline& deadline);
    AtspiReply read(const AtspiObjectPath& object, const char* interface, const char* name,
                    const AtspiDeadline& deadline);
    AXError unsupportedOrGone(const AtspiObjectPath& object, const char* interface, const AtspiDeadline& deadline);
    AXResult<std::int32_t> intProperty(const AtspiObjectPath& object, const char* interface, const char* name,
                                       const AtspiDeadline& deadline);
    AXError confirmedCall(const AtspiObjectPath& object, const char* interface, const char* method,
                          GVariant* parameters, const AtspiDeadline& deadline);

    AtspiBus& bus_;
};

// Whether a reference names no object (AT-SPI's null path or an empty name).
bool isNullObject(const AtspiObjectPath& object);

}  // namespace murmo
