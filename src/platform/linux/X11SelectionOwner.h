#pragma once

// Answers other clients' requests for a selection we own, from memory:
// TARGETS, TIMESTAMP, MULTIPLE and every served target, large data in the
// INCR protocol's chunks (above incrementalThreshold(), which stays below
// the server's request size). A requestor that stops taking chunks for
// kTransferIdleTimeout is dropped. Requests made before our ownership began,
// or after we lost it, are refused; a loss that predates our latest takeover
// (its event handled only after the takeover) ends nothing.
// The clipboard's thread only.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/X11ClipboardTargets.h"
#include "platform/linux/X11Connection.h"

union _XEvent;

namespace murmo {

class X11SelectionOwner {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTransferIdleTimeout{5000};
    static constexpr std::size_t kChunkSize = std::size_t{256} << 10;

    X11SelectionOwner(X11Connection& connection, unsigned long window, unsigned long selection);
    ~X11SelectionOwner();
    X11SelectionOwner(const X11SelectionOwner&) = delete;
    X11SelectionOwner& operator=(const X11SelectionOwner&) = delete;

    // Serves `targets` for the ownership taken at server time `timestamp`.
    void serve(std::vector<x11_clipboard::ServedTarget> targets, unsigned long timestamp);
    // Serves nothing any more; transfers under way finish.
    void stop();
    bool isServing() const { return content_ != nullptr; }
    const std::vector<x11_clipboard::ServedTarget>& served() const;

    // True when the event was ours (a request, the loss of the selection,
    // progress of a transfer).
    bool handle(_XEvent& event);
    // When the next idle transfer is due to be dropped, if any.
    std::optional<Clock::time_point> nextExpiry() const;
    void dropIdleTransfers();

    // Data larger than this goes out in chunks.
    std::size_t incrementalThreshold() const { return incrementalThreshold_; }

private:
    using Content = std::vector<x11_clipboard::ServedTarget>;
    struct Transfer {
        unsigned long requestor = 0;
        unsigned long property = 0;
        unsigned long type = 0;
        std::shared_ptr<const Content> content;
        std::size_t targetIndex = 0;
        std::size_t offset = 0;
        Clock::time_point lastProgress{};
    };

    void answer(_XEvent& request);
    // The property the answer went to, or 0 for a refusal.
    unsigned long convert(unsigned long requestor, unsigned long target, unsigned long property, bool allowIncremental);
    unsigned long convertMultiple(unsigned long requestor, unsigned long property);
    const x11_clipboard::ServedTarget* find(unsigned long target, std::size_t& index) const;
    void startTransfer(unsigned long requestor, unsigned long property, unsigned long type, std::size_t index);
    bool continueTransfer(unsigned long requestor, unsigned long property);
    void endWatching(unsigned long requestor);

    X11Connection& connection_;
    unsigned long window_;
    unsigned long selection_;
    std::size_t incrementalThreshold_;
    unsigned long targetsAtom_;
    unsigned long timestampAtom_;
    unsigned long multipleAtom_;
    unsigned long incrementalAtom_;
    std::shared_ptr<const Content> content_;
    std::vector<unsigned long> contentAtoms_;
    unsigned long timestamp_ = 0;
    std::vector<Transfer> transfers_;
};

}  // namespace murmo
