#pragma once

// Reads one target of a selection from its owner, the ICCCM way: asks for a
// conversion into a property of a window made for this one read, and takes
// the data from it, whole or, for large data, in the INCR protocol's chunks.
// Every wait is bounded: a dead or hung owner, one that stops in the middle
// of a transfer, or data beyond the size cap give nothing, never a part.
// The clipboard's thread only.

#include <chrono>
#include <cstddef>
#include <optional>

#include "platform/Pasteboard.h"
#include "platform/linux/X11ClipboardEventPump.h"
#include "platform/linux/X11Connection.h"

namespace murmo {

struct X11SelectionLimits {
    // How long the owner may take to answer the request, and each chunk of
    // an INCR transfer.
    std::chrono::milliseconds stepTimeout{1000};
    // How long a whole conversion may take.
    std::chrono::milliseconds conversionTimeout{3000};
    // The most bytes one target may hold.
    std::size_t maximumSize = std::size_t{64} << 20;
};

// A converted target: the property's type and format, and its data as on
// the wire (16- and 32-bit items in the host's byte order, 2 and 4 bytes
// each).
struct X11SelectionData {
    unsigned long type = 0;
    int format = 8;
    PasteboardBytes bytes{};
};

class X11SelectionReader {
public:
    X11SelectionReader(X11Connection& connection, X11ClipboardEventPump& pump, X11SelectionLimits limits);

    // The owner's conversion of `selection` to `target`; absent when it
    // refused, did not finish within the limits, exceeded the size cap, or
    // the connection broke.
    std::optional<X11SelectionData> convert(unsigned long selection, unsigned long target);

private:
    X11Connection& connection_;
    X11ClipboardEventPump& pump_;
    X11SelectionLimits limits_;
    unsigned long property_;
    unsigned long incrementalType_;
};

}  // namespace murmo
