#include "platform/linux/X11SelectionOwner.h"

#include <algorithm>
#include <cstdint>

#include "platform/linux/X11ClipboardMemory.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace murmo {

namespace {

// Below the server's largest request, with room for the request's header.
std::size_t chunkLimit(Display* display) {
    const long extended = XExtendedMaxRequestSize(display);
    const long units = extended > 0 ? extended : XMaxRequestSize(display);
    const auto bytes = static_cast<std::size_t>(units) * 4;
    return std::min(X11SelectionOwner::kChunkSize, bytes > 1024 ? bytes - 1024 : bytes / 2);
}

// Server times wrap around after 49 days: compared as a signed difference.
bool notBefore(Time time, Time start) { return static_cast<std::int32_t>(time - start) >= 0; }


}  // namespace

X11SelectionOwner::X11SelectionOwner(X11Connection& connection, unsigned long window, unsigned long selection)
    : connection_(connection),
      window_(window),
      selection_(selection),
      incrementalThreshold_(chunkLimit(connection.display())),
      targetsAtom_(XInternAtom(connection.display(), "TARGETS", False)),
      timestampAtom_(XInternAtom(connection.display(), "TIMESTAMP", False)),
      multipleAtom_(XInternAtom(connection.display(), "MULTIPLE", False)),
      incrementalAtom_(XInternAtom(connection.display(), "INCR", False)) {}

X11SelectionOwner::~X11SelectionOwner() {
    if (connection_.isBroken()) return;
    for (const auto& transfer : transfers_) XSelectInput(connection_.display(), transfer.requestor, NoEventMask);
}

void X11SelectionOwner::serve(std::vector<x11_clipboard::ServedTarget> targets, unsigned long timestamp) {
    contentAtoms_.clear();
    for (const auto& target : targets) {
        contentAtoms_.push_back(XInternAtom(connection_.display(), target.target.c_str(), False));
    }
    content_ = std::make_shared<const Content>(std::move(targets));
    timestamp_ = timestamp;
}

void X11SelectionOwner::stop() {
    content_.reset();
    contentAtoms_.clear();
}

const std::vector<x11_clipboard::ServedTarget>& X11SelectionOwner::served() const {
    static const Content none;
    return content_ ? *content_ : none;
}

bool X11SelectionOwner::handle(XEvent& event) {
    if (event.type == SelectionRequest && event.xselectionrequest.selection == selection_ &&
        event.xselectionrequest.owner == window_) {
        answer(event);
        return true;
    }
    if (event.type == SelectionClear && event.xselectionclear.window == window_ &&
        event.xselectionclear.selection == selection_) {
        // A loss from before our latest takeover, handled late, ends nothing.
        if (notBefore(event.xselectionclear.time, timestamp_)) stop();
        return true;
    }
    if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
        return continueTransfer(event.xproperty.window, event.xproperty.atom);
    }
    return false;
}

void X11SelectionOwner::answer(XEvent& event) {
    const auto& request = event.xselectionrequest;
    // Clients older than ICCCM 2 name no property: the target's name is used.
    const Atom property = request.property == None ? request.target : request.property;
    Atom answered = None;
    if (content_ && (request.time == CurrentTime || notBefore(request.time, timestamp_))) {
        answered = request.target == multipleAtom_
                       ? (request.property == None ? None : convertMultiple(request.requestor, request.property))
                       : convert(request.requestor, request.target, property, true);
    }
    XEvent notify{};
    notify.xselection.type = SelectionNotify;
    notify.xselection.display = connection_.display();
    notify.xselection.requestor = request.requestor;
    notify.xselection.selection = request.selection;
    notify.xselection.target = request.target;
    notify.xselection.property = answered;
    notify.xselection.time = request.time;
    XSendEvent(connection_.display(), request.requestor, False, NoEventMask, &notify);
    XFlush(connection_.display());
}

unsigned long X11SelectionOwner::convert(unsigned long requestor, unsigned long target, unsigned long property,
                                         bool allowIncremental) {
    Display* display = connection_.display();
    if (target == targetsAtom_) {
        std::vector<long> atoms{static_cast<long>(targetsAtom_), static_cast<long>(timestampAtom_),
                                static_cast<long>(multipleAtom_)};
        for (const auto atom : contentAtoms_) atoms.push_back(static_cast<long>(atom));
        XChangeProperty(display, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
        return property;
    }
    if (target == timestampAtom_) {
        const long time = static_cast<long>(timestamp_);
        XChangeProperty(display, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&time), 1);
        return property;
    }
    std::size_t index = 0;
    const auto* served = find(target, index);
    if (!served) return None;
    if (served->bytes.size() > incrementalThreshold_) {
        if (!allowIncremental) return None;
        startTransfer(requestor, property, target, index);
        return property;
    }
    XChangeProperty(display, requestor, property, target, 8, PropModeReplace, served->bytes.data(),
                    static_cast<int>(served->bytes.size()));
    return property;
}

unsigned long X11SelectionOwner::convertMultiple(unsigned long requestor, unsigned long property) {
    Display* display = connection_.display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    X11ClipboardMemory<unsigned char> pairs;
    if (XGetWindowProperty(display, requestor, property, 0, 1L << 16, False, AnyPropertyType, &type, &format, &count,
                           &after, pairs.receive()) != Success ||
        format != 32 || count % 2 != 0) {
        return None;
    }
    std::vector<long> answered(reinterpret_cast<const long*>(pairs.get()),
                               reinterpret_cast<const long*>(pairs.get()) + count);
    for (std::size_t index = 0; index + 1 < answered.size(); index += 2) {
        const auto target = static_cast<unsigned long>(answered[index]);
        const auto into = static_cast<unsigned long>(answered[index + 1]);
        // A nested MULTIPLE or a large target inside MULTIPLE is refused.
        const bool converted = into != None && target != multipleAtom_ && convert(requestor, target, into, false);
        if (!converted) answered[index + 1] = None;
    }
    XChangeProperty(display, requestor, property, type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(answered.data()), static_cast<int>(answered.size()));
    return property;
}

const x11_clipboard::ServedTarget* X11SelectionOwner::find(unsigned long target, std::size_t& index) const {
    const auto found = std::ranges::find(contentAtoms_, target);
    if (!content_ || found == contentAtoms_.end()) return nullptr;
    index = static_cast<std::size_t>(found - contentAtoms_.begin());
    return &(*content_)[index];
}

void X11SelectionOwner::startTransfer(unsigned long requestor, unsigned long property, unsigned long type,
                                      std::size_t index) {
    Display* display = connection_.display();
    // A requestor asking again into the same property starts over.
    std::erase_if(transfers_, [&](const Transfer& transfer) {
        return transfer.requestor == requestor && transfer.property == property;
    });
    XSelectInput(display, requestor, PropertyChangeMask);
    const long size = static_cast<long>((*content_)[index].bytes.size());
    XChangeProperty(display, requestor, property, incrementalAtom_, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    transfers_.push_back(Transfer{.requestor = requestor,
                                  .property = property,
                                  .type = type,
                                  .content = content_,
                                  .targetIndex = index,
                                  .offset = 0,
                                  .lastProgress = Clock::now()});
}

bool X11SelectionOwner::continueTransfer(unsigned long requestor, unsigned long property) {
    const auto found = std::ranges::find_if(transfers_, [&](const Transfer& transfer) {
        return transfer.requestor == requestor && transfer.property == property;
    });
    if (found == transfers_.end()) return false;
    const auto& bytes = (*found->content)[found->targetIndex].bytes;
    const auto length = std::min(incrementalThreshold_, bytes.size() - found->offset);
    XChangeProperty(connection_.display(), requestor, property, found->type, 8, PropModeReplace,
                    bytes.data() + found->offset, static_cast<int>(length));
    XFlush(connection_.display());
    if (length == 0) {
        transfers_.erase(found);
        endWatching(requestor);
    } else {
        found->offset += length;
        found->lastProgress = Clock::now();
    }
    return true;
}

void X11SelectionOwner::endWatching(unsigned long requestor) {
    const bool stillWatched = std::ranges::any_of(
        transfers_, [&](const Transfer& transfer) { return transfer.requestor == requestor; });
    if (!stillWatched) XSelectInput(connection_.display(), requestor, NoEventMask);
}

std::optional<X11SelectionOwner::Clock::time_point> X11SelectionOwner::nextExpiry() const {
    std::optional<Clock::time_point> next;
    for (const auto& transfer : transfers_) {
        const auto due = transfer.lastProgress + kTransferIdleTimeout;
        if (!next || due < *next) next = due;
    }
    return next;
}

void X11SelectionOwner::dropIdleTransfers() {
    const auto now = Clock::now();
    std::vector<unsigned long> dropped;
    std::erase_if(transfers_, [&](const Transfer& transfer) {
        const bool idle = transfer.lastProgress + kTransferIdleTimeout <= now;
        if (idle) dropped.push_back(transfer.requestor);
        return idle;
    });
    for (const auto requestor : dropped) endWatching(requestor);
}

}  // namespace murmo
