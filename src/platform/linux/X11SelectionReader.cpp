#include "platform/linux/X11SelectionReader.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/X11ClipboardMemory.h"
#include "platform/linux/X11ClipboardWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace murmo {

namespace {

using Clock = std::chrono::steady_clock;


// Xlib hands 16- and 32-bit items over as C shorts and longs.
void appendItems(PasteboardBytes& bytes, const unsigned char* data, unsigned long count, int format) {
    if (format == 8) {
        bytes.insert(bytes.end(), data, data + count);
        return;
    }
    for (unsigned long index = 0; index < count; ++index) {
        if (format == 16) {
            const auto value = static_cast<std::uint16_t>(reinterpret_cast<const unsigned short*>(data)[index]);
            const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
            bytes.insert(bytes.end(), raw, raw + sizeof value);
        } else {
            const auto value = static_cast<std::uint32_t>(reinterpret_cast<const unsigned long*>(data)[index]);
            const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
            bytes.insert(bytes.end(), raw, raw + sizeof value);
        }
    }
}

// The whole property, removed from the window once read; absent when it is
// missing or larger than `maximumSize`.
std::optional<X11SelectionData> takeProperty(Display* display, Window window, Atom property, std::size_t maximumSize) {
    X11SelectionData taken;
    // In 32-bit units, as XGetWindowProperty counts.
    constexpr long kChunkLongs = 1L << 16;
    long offset = 0;
    for (;;) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        X11ClipboardMemory<unsigned char> buffer;
        if (XGetWindowProperty(display, window, property, offset, kChunkLongs, False, AnyPropertyType, &type, &format,
                               &count, &after, buffer.receive()) != Success ||
            type == None) {
            return std::nullopt;
        }
        taken.type = type;
        taken.format = format;
        appendItems(taken.bytes, buffer.get(), count, format);
        if (taken.bytes.size() > maximumSize) return std::nullopt;
        if (after == 0) break;
        offset += static_cast<long>(count * static_cast<unsigned long>(format) / 32);
    }
    XDeleteProperty(display, window, property);
    return taken;
}

}  // namespace

X11SelectionReader::X11SelectionReader(X11Connection& connection, X11ClipboardEventPump& pump,
                                       X11SelectionLimits limits)
    : connection_(connection),
      pump_(pump),
      limits_(limits),
      property_(XInternAtom(connection.display(), "MURMO_SELECTION", False)),
      incrementalType_(XInternAtom(connection.display(), "INCR", False)) {}

std::optional<X11SelectionData> X11SelectionReader::convert(unsigned long selection, unsigned long target) {
    if (connection_.isBroken()) return std::nullopt;
    Display* display = connection_.display();
    // A window for this read alone: an owner that answers late, or goes on
    // with a transfer we gave up, writes to a window that is gone.
    const X11ClipboardWindow requestor(connection_);
    const auto started = Clock::now();
    const auto conversionDeadline = started + limits_.conversionTimeout;
    const auto stepDeadline = [&] { return std::min(Clock::now() + limits_.stepTimeout, conversionDeadline); };

    XConvertSelection(display, selection, target, property_, requestor.id(), CurrentTime);
    Atom answered = None;
    const bool notified = pump_.waitFor(stepDeadline(), [&](XEvent& event) {
        if (event.type != SelectionNotify || event.xselection.requestor != requestor.id()) return false;
        answered = event.xselection.property;
        return true;
    });
    if (!notified || answered == None) return std::nullopt;

    auto first = takeProperty(display, requestor.id(), answered, limits_.maximumSize);
    if (!first || first->type != incrementalType_) return first;

    // INCR: each deletion of the property asks for the next chunk; an empty
    // chunk ends the transfer.
    X11SelectionData whole{.type = None, .format = 8, .bytes = {}};
    for (;;) {
        const bool chunkArrived = pump_.waitFor(stepDeadline(), [&](XEvent& event) {
            return event.type == PropertyNotify && event.xproperty.window == requestor.id() &&
                   event.xproperty.atom == answered && event.xproperty.state == PropertyNewValue;
        });
        if (!chunkArrived) return std::nullopt;
        auto chunk = takeProperty(display, requestor.id(), answered, limits_.maximumSize - whole.bytes.size());
        if (!chunk) return std::nullopt;
        if (chunk->bytes.empty()) return whole;
        whole.type = chunk->type;
        whole.format = chunk->format;
        whole.bytes.insert(whole.bytes.end(), chunk->bytes.begin(), chunk->bytes.end());
    }
}

}  // namespace murmo
