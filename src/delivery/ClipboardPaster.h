#pragma once

// Inserts text into another application the way a user would: saves the
// user's clipboard, puts the text on it with a private ownership marker,
// posts Command-V, watches for a short while whether the text arrived, and
// then gives the user's clipboard back or, when the insertion was not
// confirmed, leaves the text alone on the clipboard. Every step that touches
// the clipboard first proves that the clipboard is still the one it wrote:
// whatever the user (or the target) copied meanwhile is never overwritten.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/FocusTargetSnapshot.h"
#include "platform/EventPoster.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "runtime/Clock.h"
#include "runtime/Ids.h"
#include "runtime/MainLoop.h"

namespace murmo {

// The user's clipboard as it was: every item with every representation,
// bytes copied out of the pasteboard.
struct PasteboardSnapshot {
    using Item = PasteboardItem;
    using Representation = PasteboardRepresentation;

    std::vector<Item> items{};
    // The change count at which the items were read.
    std::int64_t capturedChangeCount = 0;

    bool operator==(const PasteboardSnapshot&) const = default;

    // Reads the whole clipboard, retrying at once (up to `maximumAttempts`,
    // at least one) while a representation cannot be materialised, the
    // clipboard cannot be read, or its change count moves during the read.
    // Absent when no attempt succeeded: an unreadable clipboard is never
    // taken for an empty one, whose restore would wipe the user's content.
    static std::optional<PasteboardSnapshot> capture(Pasteboard& pasteboard, int maximumAttempts);
    // Clears the clipboard and writes the saved items back; an empty
    // snapshot leaves it empty. False when the write failed.
    bool restore(Pasteboard& pasteboard) const;
};

enum class ClipboardPasteStartResult { posted, transient, changed, unavailable };

enum class ClipboardPreparationFailure {
    emptyText,
    eventAccessDenied,
    snapshotUnavailable,
    writeFailed,
    postCommandRejected,
};
std::string_view rawValue(ClipboardPreparationFailure failure);
std::optional<ClipboardPreparationFailure> clipboardPreparationFailureFromRawValue(std::string_view raw);

// How a start ended, and for `unavailable` why the clipboard could not be
// prepared.
struct ClipboardPasteStart {
    ClipboardPasteStartResult result = ClipboardPasteStartResult::unavailable;
    std::optional<ClipboardPreparationFailure> failure{};
    bool operator==(const ClipboardPasteStart&) const = default;
};

enum class ClipboardUnverifiedReport { preflightFailure, dispatchedUnverified, insertedVerified };
enum class ClipboardFinalDisposition { restoreOriginalClipboard, keepTranscript, preserveCurrentClipboard };

struct PasteboardCaptureRetryPolicy {
    static bool shouldRetry(bool materializationFailed, bool changeCountChanged, int attemptIndex, int maximumAttempts);
};

struct ClipboardPreparationRetryPolicy {
    static bool shouldRetry(ClipboardPasteStartResult result, std::optional<ClipboardPreparationFailure> failure);
};

struct PasteboardOwnershipPolicy {
    static bool sourceIsCurrent(std::int64_t capturedChangeCount, std::int64_t currentChangeCount);
    static bool ownsTemporaryValue(std::int64_t expectedChangeCount, std::string_view expectedMarker,
                                   std::int64_t currentChangeCount, std::optional<std::size_t> currentItemCount,
                                   const std::optional<std::string>& currentMarker);
};

struct ClipboardUnverifiedPolicy {
    static bool permitsAdditionalMutation(bool commandDispatched) { return !commandDispatched; }
    static ClipboardUnverifiedReport report(bool commandDispatched, bool insertionVerified);
    static ClipboardFinalDisposition clipboardDisposition(bool commandDispatched, bool insertionVerified,
                                                          bool stillOwnsTemporaryClipboard);
};

struct ClipboardPasterPorts {
    MainLoop& loop;
    Pasteboard& pasteboard;
    EventPoster& eventPoster;
    Workspace& workspace;
    IdGenerator& ids;
};

struct ClipboardPasterOptions {
    // Time after the paste command at which the outcome is settled at the
    // latest; a negative value counts as 0.
    Duration restoreDelay = std::chrono::milliseconds(1200);
    // Earlier times at which the outcome is examined; only those in
    // [0, restoreDelay) are kept.
    std::vector<Duration> observationDelays{std::chrono::milliseconds(25), std::chrono::milliseconds(75),
                                            std::chrono::milliseconds(150), std::chrono::milliseconds(300),
                                            std::chrono::milliseconds(600)};
    // Whether the process may post keyboard events; default: ask the port.
    std::function<bool()> eventAccessCheck{};
    // Posts Command-V to a process; default: postCommandV.
    std::function<bool(std::int32_t)> pasteCommand{};
    // Saves the clipboard; default: PasteboardSnapshot::capture, 3 attempts.
    std::function<std::optional<PasteboardSnapshot>(Pasteboard&)> snapshotProvider{};
};

class ClipboardPaster : public std::enable_shared_from_this<ClipboardPaster> {
public:
    // The ownership marker's pasteboard type.
    static constexpr std::string_view markerType = "local.murmo.private.clipboard-owner";

    static std::shared_ptr<ClipboardPaster> create(ClipboardPasterPorts ports,
                                                   ClipboardPasterOptions options = ClipboardPasterOptions());
    // A paste still pending gives the user's clipboard back if the paster
    // still owns it; its completion is not called.
    ~ClipboardPaster();
    ClipboardPaster(const ClipboardPaster&) = delete;
    ClipboardPaster& operator=(const ClipboardPaster&) = delete;

    // Starts one paste of `text` into process `targetPID`. `validateTarget`
    // is called at most twice during the call (before the write and before
    // the command); `consumptionCheck` at each observation tick. Only for
    // `posted` are the completions called: `dispatchCompletion` inside this
    // call, with the time right after the command went out, and
    // `terminalCompletion` once, later, with the outcome. An `unavailable`
    // start carries why the clipboard could not be prepared.
    ClipboardPasteStart beginPasteReporting(std::string_view text, std::int32_t targetPID,
                                            const std::function<ClipboardTargetValidation()>& validateTarget,
                                            std::function<bool()> consumptionCheck,
                                            std::function<void(MonotonicTime)> dispatchCompletion,
                                            std::function<void(ClipboardUnverifiedReport)> terminalCompletion);
    // Convenience forms: a yes/no target check, and a completion without
    // the outcome.
    bool paste(std::string_view text, std::int32_t targetPID, const std::function<bool()>& validateTarget,
               std::function<bool()> consumptionCheck, std::function<void()> completion);
    ClipboardPasteStart beginPaste(std::string_view text, std::int32_t targetPID,
                                   const std::function<ClipboardTargetValidation()>& validateTarget,
                                   std::function<bool()> consumptionCheck, std::function<void()> completion);

    // Ends a pending paste now: the user's clipboard back if still owned,
    // its completion told `dispatchedUnverified`.
    void restorePendingNow();

    bool hasPendingPaste() const { return pending_.has_value(); }
    Duration restoreDelay() const { return restoreDelay_; }
    const std::vector<Duration>& observationDelays() const { return observationDelays_; }

private:
    struct PendingRestore {
        PasteboardSnapshot snapshot;
        std::int64_t ownedChangeCount = 0;
        std::string marker;
        std::string transcript;
        std::function<void(ClipboardUnverifiedReport)> completion;
        std::vector<Timer> ticks;
    };

    ClipboardPaster(ClipboardPasterPorts ports, ClipboardPasterOptions options);

    bool postCommandV(std::int32_t targetPID);
    bool ownsTemporaryClipboard(const PendingRestore& pending);
    void restoreIfOwned(const PendingRestore& pending);
    static ClipboardPasteStart fail(ClipboardPreparationFailure failure);
    void scheduleTicks(std::function<bool()> consumptionCheck);
    void observationTick(const std::string& marker, const std::function<bool()>& consumptionCheck, Duration delay);
    void finishPending(const std::string& marker, bool verified);

    ClipboardPasterPorts ports_;
    Duration restoreDelay_{};
    std::vector<Duration> observationDelays_;
    std::function<bool()> eventAccessCheck_;
    std::function<bool(std::int32_t)> pasteCommand_;
    std::function<std::optional<PasteboardSnapshot>(Pasteboard&)> snapshotProvider_;
    std::optional<PendingRestore> pending_;
};

}  // namespace murmo
