#include "platform/linux/X11ClipboardSession.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/X11ClipboardMemory.h"
#include "platform/linux/X11ClipboardTargets.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace murmo {

namespace {


std::vector<unsigned long> atomsOf(const X11SelectionData& data) {
    std::vector<unsigned long> atoms;
    if (data.format != 32) return atoms;
    for (std::size_t offset = 0; offset + 4 <= data.bytes.size(); offset += 4) {
        std::uint32_t atom = 0;
        std::memcpy(&atom, data.bytes.data() + offset, sizeof atom);
        atoms.push_back(atom);
    }
    return atoms;
}

}  // namespace

Result<std::unique_ptr<X11ClipboardSession>> X11ClipboardSession::open(const std::string& displayName,
                                                                       X11SelectionLimits limits) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    Display* display = (*connection)->display();
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // The version must be asked for before the extension is used.
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor) ||
        major < 1) {
        return fail(std::string(kX11ErrorDomain), 3, "The X server offers no XFixes selection events.", "XFIXES");
    }
    std::unique_ptr<X11ClipboardSession> session(new X11ClipboardSession(std::move(*connection), eventBase, limits));
    XSync(display, False);
    if (session->isBroken()) return fail(std::string(kX11ErrorDomain), 1, "The X server went away.", "XFIXES");
    return session;
}

X11ClipboardSession::X11ClipboardSession(std::unique_ptr<X11Connection> connection, int fixesEventBase,
                                         X11SelectionLimits limits)
    : connection_(std::move(connection)),
      fixesEventBase_(fixesEventBase),
      window_(*connection_),
      clipboardAtom_(XInternAtom(connection_->display(), "CLIPBOARD", False)),
      targetsAtom_(XInternAtom(connection_->display(), "TARGETS", False)),
      timestampProperty_(XInternAtom(connection_->display(), "MURMO_TIMESTAMP", False)),
      managerAtom_(XInternAtom(connection_->display(), "CLIPBOARD_MANAGER", False)),
      saveTargetsAtom_(XInternAtom(connection_->display(), "SAVE_TARGETS", False)),
      saveProperty_(XInternAtom(connection_->display(), "MURMO_SAVE_TARGETS", False)),
      pump_(*connection_, [this](XEvent& event) { handle(event); }),
      owner_(*connection_, window_.id(), clipboardAtom_),
      reader_(*connection_, pump_, limits) {
    XFixesSelectSelectionInput(connection_->display(), window_.id(), clipboardAtom_,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
}

X11ClipboardSession::~X11ClipboardSession() = default;

void X11ClipboardSession::dispatchPending() { pump_.drain(); }

void X11ClipboardSession::handle(XEvent& event) {
    if (event.type == fixesEventBase_ + XFixesSelectionNotify) {
        const auto& notice = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notice.selection != clipboardAtom_) return;
        ++changeCount_;
        lastOwner_ = notice.owner;
        lastOwnerTime_ = notice.selection_timestamp;
        return;
    }
    owner_.handle(event);
}

std::int64_t X11ClipboardSession::changeCount() {
    if (!isBroken()) XSync(connection_->display(), False);
    dispatchPending();
    return changeCount_;
}

std::optional<unsigned long> X11ClipboardSession::serverTime() {
    if (isBroken()) return std::nullopt;
    // An empty append changes nothing but is stamped with the server's time.
    XChangeProperty(connection_->display(), window_.id(), timestampProperty_, XA_INTEGER, 8, PropModeAppend, nullptr,
                    0);
    std::optional<unsigned long> time;
    pump_.waitFor(Clock::now() + kTimestampTimeout, [&](XEvent& event) {
        if (event.type != PropertyNotify || event.xproperty.window != window_.id() ||
            event.xproperty.atom != timestampProperty_) {
            return false;
        }
        time = event.xproperty.time;
        return true;
    });
    return time;
}

bool X11ClipboardSession::takeOwnership(std::vector<PasteboardItem> items) {
    const auto time = serverTime();
    if (!time) return false;
    Display* display = connection_->display();
    XSetSelectionOwner(display, clipboardAtom_, window_.id(), *time);
    // No event is handled before the new content is in place: a request that
    // comes right after the takeover is served the new content.
    if (XGetSelectionOwner(display, clipboardAtom_) != window_.id()) return false;
    ownedItems_ = std::move(items);
    owner_.serve(x11_clipboard::servedTargets(ownedItems_), *time);
    ownedSince_ = *time;
    changeCount();
    // Ours until the next owner change; already gone if one followed.
    ownedAtCount_.reset();
    if (lastOwner_ == window_.id() && lastOwnerTime_ == *time) ownedAtCount_ = changeCount_;
    return true;
}

std::int64_t X11ClipboardSession::clear() {
    takeOwnership({});
    return changeCount();
}

bool X11ClipboardSession::write(const std::vector<PasteboardItem>& items) {
    changeCount();
    if (isBroken() || !ownsClipboard()) return false;
    ownedItems_.insert(ownedItems_.end(), items.begin(), items.end());
    owner_.serve(x11_clipboard::servedTargets(ownedItems_), ownedSince_);
    return true;
}

bool X11ClipboardSession::replace(const std::vector<PasteboardItem>& items) { return takeOwnership(items); }

std::optional<std::string> X11ClipboardSession::atomName(unsigned long atom) {
    // An atom the server does not know gives a protocol error, dropped, and
    // no name.
    const X11ClipboardMemory<char> name(XGetAtomName(connection_->display(), atom));
    if (!name.get()) return std::nullopt;
    return std::string(name.get());
}

std::optional<std::vector<std::string>> X11ClipboardSession::ownerTargets() {
    const auto listed = reader_.convert(clipboardAtom_, targetsAtom_);
    if (!listed || listed->format != 32) return std::nullopt;
    std::vector<std::string> names;
    for (const auto atom : atomsOf(*listed)) {
        if (auto name = atomName(atom)) names.push_back(std::move(*name));
    }
    return names;
}

std::optional<std::vector<PasteboardItemReference>> X11ClipboardSession::items() {
    // A server that is gone holds no clipboard, not even ours.
    const auto count = changeCount();
    if (isBroken()) return std::nullopt;
    std::vector<PasteboardItemReference> listed;
    if (ownsClipboard()) {
        for (std::size_t index = 0; index < ownedItems_.size(); ++index) {
            PasteboardItemReference reference{.changeCount = count, .index = index};
            for (const auto& representation : ownedItems_[index].representations) {
                reference.types.push_back(representation.type);
            }
            listed.push_back(std::move(reference));
        }
        return listed;
    }
    if (XGetSelectionOwner(connection_->display(), clipboardAtom_) == None) return listed;
    auto targets = ownerTargets();
    if (!targets) return std::nullopt;
    auto types = x11_clipboard::typesOfTargets(*targets);
    listedTargets_.emplace(count, std::move(*targets));
    if (!types.empty()) listed.push_back(PasteboardItemReference{.changeCount = count, .index = 0, .types = types});
    return listed;
}

std::optional<PasteboardBytes> X11ClipboardSession::data(const PasteboardItemReference& item, std::string_view type) {
    const auto count = changeCount();
    if (isBroken() || item.changeCount != count) return std::nullopt;
    if (ownsClipboard()) {
        if (item.index >= ownedItems_.size()) return std::nullopt;
        const auto* bytes = ownedItems_[item.index].data(type);
        return bytes ? std::optional<PasteboardBytes>(*bytes) : std::nullopt;
    }
    if (item.index != 0) return std::nullopt;
    if (!listedTargets_ || listedTargets_->first != count) {
        auto targets = ownerTargets();
        if (!targets) return std::nullopt;
        listedTargets_.emplace(count, std::move(*targets));
    }
    const auto& offered = listedTargets_->second;
    const auto candidates = x11_clipboard::targetsOfType(type);
    const auto chosen = std::ranges::find_if(
        candidates, [&](const std::string& target) { return std::ranges::find(offered, target) != offered.end(); });
    if (chosen == candidates.end()) return std::nullopt;
    const Atom target = XInternAtom(connection_->display(), chosen->c_str(), True);
    if (target == None) return std::nullopt;
    auto converted = reader_.convert(clipboardAtom_, target);
    // Data read across an owner change may be the next owner's.
    if (!converted || changeCount() != count) return std::nullopt;
    return std::move(converted->bytes);
}

void X11ClipboardSession::offerToClipboardManager() {
    if (isBroken()) return;
    changeCount();
    if (!ownsClipboard() || owner_.served().empty()) return;
    Display* display = connection_->display();
    if (XGetSelectionOwner(display, managerAtom_) == None) return;
    std::vector<long> targets;
    for (const auto& served : owner_.served()) {
        targets.push_back(static_cast<long>(XInternAtom(display, served.target.c_str(), False)));
    }
    XChangeProperty(display, window_.id(), saveProperty_, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(targets.data()), static_cast<int>(targets.size()));
    XConvertSelection(display, managerAtom_, saveTargetsAtom_, saveProperty_, window_.id(), CurrentTime);
    // The manager reads our content (served meanwhile) before it answers.
    pump_.waitFor(Clock::now() + kManagerTimeout, [&](XEvent& event) {
        return event.type == SelectionNotify && event.xselection.requestor == window_.id() &&
               event.xselection.selection == managerAtom_;
    });
}

}  // namespace murmo
