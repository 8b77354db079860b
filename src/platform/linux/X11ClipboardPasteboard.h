#pragma once

// The pasteboard port over the X11 CLIPBOARD selection.
//
// Whoever owns an X selection must answer other clients' requests for it at
// any time, also while our main thread waits for the paste it started: the
// selection lives on a connection and a thread of its own
// (X11ClipboardSession), and each call of the port hands its work to that
// thread and waits for the answer, within a bound.
//
// The clipboard is one item: items() lists the owner's targets as the types
// of that item (see X11ClipboardTargets for the mapping), and data() converts
// one target. The change count moves on every owner change the server
// reports, ours included: clearContents() and replaceContents() move it, a
// writeItems() after a clear does not. changeCount() reflects every owner
// change the server made before the call. While we own the clipboard it is
// read from memory, every item as written, and served to other clients as
// X11ClipboardTargets says; writeItems() fails once another client has taken
// the clipboard since our clear. Once the server is gone every read and
// write fails at once and the change count stands still.
//
// Bounds: the owner must answer each step of a conversion (the request, each
// INCR chunk) within kLimits.stepTimeout (1 s) and finish it within
// kLimits.conversionTimeout (3 s); a target holds at most
// kLimits.maximumSize (64 MiB). Whatever exceeds them reads as absent, never
// as a part. A call waits for the clipboard's thread at most as long as its
// own conversions may take (items: one, data: two, a takeover: the server's
// timestamp) plus kWorkerSlack; a call that runs out of time reads as a
// failure. When the pasteboard goes away while it owns the clipboard, it
// offers the content to a clipboard manager if one runs and waits for it at
// most X11ClipboardSession::kManagerTimeout (2 s); without one it returns
// at once, and the content goes with it.
//
// Main thread only (the port's rule); the clipboard's thread is internal.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/linux/X11SelectionReader.h"
#include "runtime/Error.h"
#include "runtime/Wakeup.h"

namespace murmo {

class X11ClipboardSession;

class X11ClipboardPasteboard final : public Pasteboard {
public:
    static constexpr X11SelectionLimits kLimits{};
    static constexpr std::chrono::milliseconds kWorkerSlack{1000};

    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached
    // or offers no XFixes selection events. `limits` are for tests.
    static Result<std::unique_ptr<X11ClipboardPasteboard>> open(const std::string& displayName = {},
                                                                X11SelectionLimits limits = kLimits);
    ~X11ClipboardPasteboard() override;
    X11ClipboardPasteboard(const X11ClipboardPasteboard&) = delete;
    X11ClipboardPasteboard& operator=(const X11ClipboardPasteboard&) = delete;

    std::int64_t changeCount() override;
    std::optional<std::vector<PasteboardItemReference>> items() override;
    std::optional<PasteboardBytes> data(const PasteboardItemReference& item, std::string_view type) override;
    std::int64_t clearContents() override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    bool replaceContents(const std::vector<PasteboardItem>& items) override;

private:
    using Job = std::function<void(X11ClipboardSession&)>;

    X11ClipboardPasteboard(std::unique_ptr<X11ClipboardSession> session, X11SelectionLimits limits);

    // Runs `work` on the clipboard's thread; absent when it did not finish
    // within `bound` (it may still run later; its result is then dropped).
    template <class Value>
    std::optional<Value> ask(std::chrono::milliseconds bound, std::function<Value(X11ClipboardSession&)> work);
    void run();
    void runQueuedJobs();

    X11SelectionLimits limits_;
    std::chrono::milliseconds takeoverBound_;
    // The last count the clipboard's thread gave, for a call that ran out of
    // time.
    std::int64_t lastChangeCount_ = 0;

    std::mutex jobsMutex_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    Wakeup wakeup_;
    // The clipboard's thread only, from construction on.
    std::unique_ptr<X11ClipboardSession> session_;
    std::thread thread_;
};

}  // namespace murmo
