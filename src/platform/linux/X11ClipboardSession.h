#pragma once

// Everything the pasteboard does on the X server, on one connection that
// only the clipboard's thread uses (X11ClipboardPasteboard runs it): reading
// the CLIPBOARD selection, owning and serving it, and counting its owner
// changes as the XFixes extension reports them.
//
// The change count moves once for every owner change the server reports:
// another client taking the clipboard, its owner window going away or its
// client closing, and each of our own takeovers (clear and replace move it,
// a write after a clear does not). changeCount() makes a round trip first,
// so it reflects every change the server made before the call.
//
// While we own the clipboard, reads are served from memory, items and all,
// and another client's requests are answered by X11SelectionOwner. Reads of
// another owner go through X11SelectionReader, with its bounds.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/linux/X11ClipboardEventPump.h"
#include "platform/linux/X11ClipboardWindow.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11SelectionOwner.h"
#include "platform/linux/X11SelectionReader.h"
#include "runtime/Error.h"

namespace murmo {

class X11ClipboardSession {
public:
    using Clock = std::chrono::steady_clock;
    // How long the server may take to hand out a timestamp.
    static constexpr std::chrono::milliseconds kTimestampTimeout{1000};
    // How long a clipboard manager may take to save our content.
    static constexpr std::chrono::milliseconds kManagerTimeout{2000};

    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached
    // or offers no XFixes selection events.
    static Result<std::unique_ptr<X11ClipboardSession>> open(const std::string& displayName,
                                                             X11SelectionLimits limits = {});
    ~X11ClipboardSession();
    X11ClipboardSession(const X11ClipboardSession&) = delete;
    X11ClipboardSession& operator=(const X11ClipboardSession&) = delete;

    int fileDescriptor() const { return connection_->fileDescriptor(); }
    bool isBroken() const { return connection_->isBroken(); }

    // Handles every event received so far.
    void dispatchPending();
    // When housekeeping is due next (an idle transfer to drop), if ever.
    std::optional<Clock::time_point> nextDeadline() const { return owner_.nextExpiry(); }
    void runHousekeeping() { owner_.dropIdleTransfers(); }

    std::int64_t changeCount();
    std::optional<std::vector<PasteboardItemReference>> items();
    std::optional<PasteboardBytes> data(const PasteboardItemReference& item, std::string_view type);
    // The new change count; the old one when the clipboard could not be
    // taken (a broken connection).
    std::int64_t clear();
    // False when we no longer own the clipboard we cleared.
    bool write(const std::vector<PasteboardItem>& items);
    // False, with nothing changed, when the clipboard could not be taken.
    bool replace(const std::vector<PasteboardItem>& items);
    // When we own the clipboard and a clipboard manager runs, asks it to
    // keep our content, serving it until the manager answers or
    // kManagerTimeout passes. Returns at once otherwise.
    void offerToClipboardManager();

private:
    X11ClipboardSession(std::unique_ptr<X11Connection> connection, int fixesEventBase, X11SelectionLimits limits);

    void handle(_XEvent& event);
    bool ownsClipboard() const { return ownedAtCount_ && *ownedAtCount_ == changeCount_; }
    std::optional<unsigned long> serverTime();
    // Takes the clipboard with `items` ready to serve; false when it could
    // not be taken, our previous content then still served.
    bool takeOwnership(std::vector<PasteboardItem> items);
    std::optional<std::vector<std::string>> ownerTargets();
    std::optional<std::string> atomName(unsigned long atom);

    std::unique_ptr<X11Connection> connection_;
    int fixesEventBase_;
    X11ClipboardWindow window_;
    unsigned long clipboardAtom_;
    unsigned long targetsAtom_;
    unsigned long timestampProperty_;
    unsigned long managerAtom_;
    unsigned long saveTargetsAtom_;
    unsigned long saveProperty_;
    X11ClipboardEventPump pump_;
    X11SelectionOwner owner_;
    X11SelectionReader reader_;

    std::int64_t changeCount_ = 0;
    // The last owner change the server reported.
    unsigned long lastOwner_ = 0;
    unsigned long lastOwnerTime_ = 0;
    // The change count of our ownership, while it may still hold.
    std::optional<std::int64_t> ownedAtCount_;
    unsigned long ownedSince_ = 0;
    std::vector<PasteboardItem> ownedItems_;
    // The targets of another owner, read at the change count given.
    std::optional<std::pair<std::int64_t, std::vector<std::string>>> listedTargets_;
};

}  // namespace murmo
