#include "delivery/ClipboardPaster.h"

#include <algorithm>
#include <cctype>

#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "platform/KeyTap.h"

namespace murmo {

namespace {

constexpr int kSnapshotAttempts = 3;

std::optional<std::string> stringOf(const std::optional<PasteboardBytes>& bytes) {
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

// ---- Snapshot -------------------------------------------------------------------

std::optional<PasteboardSnapshot> PasteboardSnapshot::capture(Pasteboard& pasteboard, int maximumAttempts) {
    for (int attempt = 0;; ++attempt) {
        const auto before = pasteboard.changeCount();
        auto listed = pasteboard.items();
        bool failed = !listed;
        PasteboardSnapshot snapshot{.capturedChangeCount = before};
        for (const auto& reference : listed.value_or(std::vector<PasteboardItemReference>{})) {
            Item item;
            for (const auto& type : reference.types) {
                auto data = pasteboard.data(reference, type);
                if (!data) {
                    failed = true;
                    break;
                }
                item.representations.push_back(Representation{.type = type, .data = std::move(*data)});
            }
            if (failed) break;
            snapshot.items.push_back(std::move(item));
        }
        const bool changed = pasteboard.changeCount() != before;
        if (!failed && !changed) return snapshot;
        if (!PasteboardCaptureRetryPolicy::shouldRetry(failed, changed, attempt, maximumAttempts)) return std::nullopt;
    }
}

bool PasteboardSnapshot::restore(Pasteboard& pasteboard) const {
    pasteboard.clearContents();
    if (items.empty()) return true;
    return pasteboard.writeItems(items);
}

// ---- Enumerations and policies --------------------------------------------------

std::string_view rawValue(ClipboardPreparationFailure failure) {
    switch (failure) {
        case ClipboardPreparationFailure::emptyText: return "empty_text";
        case ClipboardPreparationFailure::eventAccessDenied: return "event_post_access_denied";
        case ClipboardPreparationFailure::snapshotUnavailable: return "clipboard_snapshot_unavailable";
        case ClipboardPreparationFailure::writeFailed: return "clipboard_write_failed";
        case ClipboardPreparationFailure::postCommandRejected: return "paste_command_rejected";
    }
    return "";
}

std::optional<ClipboardPreparationFailure> clipboardPreparationFailureFromRawValue(std::string_view raw) {
    for (auto failure : {ClipboardPreparationFailure::emptyText, ClipboardPreparationFailure::eventAccessDenied,
                         ClipboardPreparationFailure::snapshotUnavailable, ClipboardPreparationFailure::writeFailed,
                         ClipboardPreparationFailure::postCommandRejected}) {
        if (rawValue(failure) == raw) return failure;
    }
    return std::nullopt;
}

bool PasteboardCaptureRetryPolicy::shouldRetry(bool materializationFailed, bool changeCountChanged, int attemptIndex,
                                               int maximumAttempts) {
    if (attemptIndex < 0) return false;
    return attemptIndex + 1 < std::max(1, maximumAttempts) && (materializationFailed || changeCountChanged);
}

bool ClipboardPreparationRetryPolicy::shouldRetry(ClipboardPasteStartResult result,
                                                  std::optional<ClipboardPreparationFailure> failure) {
    if (result == ClipboardPasteStartResult::transient) return true;
    return result == ClipboardPasteStartResult::unavailable &&
           failure == ClipboardPreparationFailure::snapshotUnavailable;
}

bool PasteboardOwnershipPolicy::sourceIsCurrent(std::int64_t capturedChangeCount, std::int64_t currentChangeCount) {
    return capturedChangeCount == currentChangeCount;
}

bool PasteboardOwnershipPolicy::ownsTemporaryValue(std::int64_t expectedChangeCount, std::string_view expectedMarker,
                                                   std::int64_t currentChangeCount,
                                                   std::optional<std::size_t> currentItemCount,
                                                   const std::optional<std::string>& currentMarker) {
    return currentChangeCount == expectedChangeCount && currentItemCount == 1u && currentMarker &&
           *currentMarker == expectedMarker;
}

ClipboardUnverifiedReport ClipboardUnverifiedPolicy::report(bool commandDispatched, bool insertionVerified) {
    if (!commandDispatched) return ClipboardUnverifiedReport::preflightFailure;
    return insertionVerified ? ClipboardUnverifiedReport::insertedVerified
                             : ClipboardUnverifiedReport::dispatchedUnverified;
}

ClipboardFinalDisposition ClipboardUnverifiedPolicy::clipboardDisposition(bool commandDispatched,
                                                                          bool insertionVerified,
                                                                          bool stillOwnsTemporaryClipboard) {
    if (!stillOwnsTemporaryClipboard) return ClipboardFinalDisposition::preserveCurrentClipboard;
    if (commandDispatched && !insertionVerified) return ClipboardFinalDisposition::keepTranscript;
    return ClipboardFinalDisposition::restoreOriginalClipboard;
}

// ---- The paster -----------------------------------------------------------------

std::shared_ptr<ClipboardPaster> ClipboardPaster::create(ClipboardPasterPorts ports, ClipboardPasterOptions options) {
    return std::shared_ptr<ClipboardPaster>(new ClipboardPaster(ports, std::move(options)));
}

ClipboardPaster::ClipboardPaster(ClipboardPasterPorts ports, ClipboardPasterOptions options)
    : ports_(ports),
      eventAccessCheck_(std::move(options.eventAccessCheck)),
      pasteCommand_(std::move(options.pasteCommand)),
      snapshotProvider_(std::move(options.snapshotProvider)) {
    const Duration given = options.restoreDelay;
    restoreDelay_ = std::max(given, Duration::zero());
    for (const Duration delay : options.observationDelays) {
        if (delay >= Duration::zero() && delay < given) observationDelays_.push_back(delay);
    }
    std::sort(observationDelays_.begin(), observationDelays_.end());
    if (!eventAccessCheck_) {
        eventAccessCheck_ = [&poster = ports_.eventPoster] { return poster.preflightPostEventAccess(); };
    }
    if (!pasteCommand_) {
        pasteCommand_ = [this](std::int32_t pid) { return postCommandV(pid); };
    }
    if (!snapshotProvider_) {
        snapshotProvider_ = [](Pasteboard& pasteboard) {
            return PasteboardSnapshot::capture(pasteboard, kSnapshotAttempts);
        };
    }
}

ClipboardPaster::~ClipboardPaster() {
    // Left on the clipboard, the text would stand in for the user's content
    // for good; nobody is left to report to, so only the clipboard is mended.
    if (pending_) restoreIfOwned(*pending_);
}

ClipboardPasteStart ClipboardPaster::fail(ClipboardPreparationFailure failure) {
    return ClipboardPasteStart{.result = ClipboardPasteStartResult::unavailable, .failure = failure};
}

ClipboardPasteStart ClipboardPaster::beginPasteReporting(
    std::string_view text, std::int32_t targetPID, const std::function<ClipboardTargetValidation()>& validateTarget,
    std::function<bool()> consumptionCheck, std::function<void(MonotonicTime)> dispatchCompletion,
    std::function<void(ClipboardUnverifiedReport)> terminalCompletion) {
    if (text.empty()) return fail(ClipboardPreparationFailure::emptyText);
    if (!eventAccessCheck_()) return fail(ClipboardPreparationFailure::eventAccessDenied);
    restorePendingNow();

    auto& pasteboard = ports_.pasteboard;
    auto snapshot = snapshotProvider_(pasteboard);
    if (!snapshot) return fail(ClipboardPreparationFailure::snapshotUnavailable);
    if (!PasteboardOwnershipPolicy::sourceIsCurrent(snapshot->capturedChangeCount, pasteboard.changeCount())) {
        return {ClipboardPasteStartResult::transient};
    }
    auto validation = validateTarget ? validateTarget() : ClipboardTargetValidation::exact;
    if (validation == ClipboardTargetValidation::transient) return {ClipboardPasteStartResult::transient};
    if (validation == ClipboardTargetValidation::changed) return {ClipboardPasteStartResult::changed};
    // The user copied while the target was checked: theirs is newer.
    if (!PasteboardOwnershipPolicy::sourceIsCurrent(snapshot->capturedChangeCount, pasteboard.changeCount())) {
        return {ClipboardPasteStartResult::transient};
    }

    auto marker = ports_.ids.uuid();
    std::transform(marker.begin(), marker.end(), marker.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto item = PasteboardItem::plainText(text);
    item.representations.push_back(
        PasteboardRepresentation{.type = std::string(markerType), .data = pasteboardBytes(marker)});

    const auto clearedChangeCount = pasteboard.clearContents();
    if (!pasteboard.writeItems({item})) {
        if (pasteboard.changeCount() == clearedChangeCount) snapshot->restore(pasteboard);
        return fail(ClipboardPreparationFailure::writeFailed);
    }
    PendingRestore record{.snapshot = std::move(*snapshot),
                          .ownedChangeCount = pasteboard.changeCount(),
                          .marker = std::move(marker),
                          .transcript = std::string(text),
                          .completion = std::move(terminalCompletion),
                          .ticks = {}};
    if (!ownsTemporaryClipboard(record)) return {ClipboardPasteStartResult::transient};

    validation = validateTarget ? validateTarget() : ClipboardTargetValidation::exact;
    if (validation != ClipboardTargetValidation::exact) {
        restoreIfOwned(record);
        return {validation == ClipboardTargetValidation::transient ? ClipboardPasteStartResult::transient
                                                                   : ClipboardPasteStartResult::changed};
    }
    if (!ownsTemporaryClipboard(record)) return {ClipboardPasteStartResult::transient};
    if (!pasteCommand_(targetPID)) {
        restoreIfOwned(record);
        return fail(ClipboardPreparationFailure::postCommandRejected);
    }

    const auto dispatchedAt = ports_.loop.clock().now();
    pending_ = std::move(record);
    if (dispatchCompletion) dispatchCompletion(dispatchedAt);
    // The dispatch callback may have ended this paste (a nested start).
    if (pending_) scheduleTicks(std::move(consumptionCheck));
    return {ClipboardPasteStartResult::posted};
}

bool ClipboardPaster::paste(std::string_view text, std::int32_t targetPID, const std::function<bool()>& validateTarget,
                            std::function<bool()> consumptionCheck, std::function<void()> completion) {
    auto validate = [&validateTarget] {
        const bool same = validateTarget && validateTarget();
        return same ? ClipboardTargetValidation::exact : ClipboardTargetValidation::changed;
    };
    return beginPaste(text, targetPID, validate, std::move(consumptionCheck), std::move(completion)).result ==
           ClipboardPasteStartResult::posted;
}

ClipboardPasteStart ClipboardPaster::beginPaste(std::string_view text, std::int32_t targetPID,
                                                const std::function<ClipboardTargetValidation()>& validateTarget,
                                                std::function<bool()> consumptionCheck,
                                                std::function<void()> completion) {
    return beginPasteReporting(text, targetPID, validateTarget, std::move(consumptionCheck), nullptr,
                               [completion = std::move(completion)](ClipboardUnverifiedReport) {
                                   if (completion) completion();
                               });
}

void ClipboardPaster::restorePendingNow() {
    if (!pending_) return;
    auto ended = std::move(*pending_);
    pending_.reset();
    restoreIfOwned(ended);
    if (ended.completion) ended.completion(ClipboardUnverifiedReport::dispatchedUnverified);
}

bool ClipboardPaster::postCommandV(std::int32_t targetPID) {
    // Command-V goes to whatever is frontmost: never paste into another
    // application than the one validated.
    auto frontmost = ports_.workspace.frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != targetPID) return false;
    auto source = ports_.eventPoster.makeEventSource();
    if (!source) return false;
    auto keyDown = source->makeKeyboardEvent(virtual_key::v, true);
    auto keyUp = source->makeKeyboardEvent(virtual_key::v, false);
    if (!keyDown || !keyUp) return false;
    for (auto* event : {&*keyDown, &*keyUp}) {
        event->flags = key_event_flags::command;
        MurmoSyntheticKeyboardEventPolicy::mark(*event);
    }
    ports_.eventPoster.post(*keyDown);
    ports_.eventPoster.post(*keyUp);
    return true;
}

bool ClipboardPaster::ownsTemporaryClipboard(const PendingRestore& pending) {
    auto& pasteboard = ports_.pasteboard;
    auto listed = pasteboard.items();
    const auto changeCount = pasteboard.changeCount();
    std::optional<std::size_t> itemCount;
    std::optional<std::string> marker;
    if (listed) {
        itemCount = listed->size();
        if (!listed->empty()) marker = stringOf(pasteboard.data(listed->front(), markerType));
    }
    return PasteboardOwnershipPolicy::ownsTemporaryValue(pending.ownedChangeCount, pending.marker, changeCount,
                                                         itemCount, marker);
}

void ClipboardPaster::restoreIfOwned(const PendingRestore& pending) {
    if (ownsTemporaryClipboard(pending)) pending.snapshot.restore(ports_.pasteboard);
}

void ClipboardPaster::scheduleTicks(std::function<bool()> consumptionCheck) {
    auto delays = observationDelays_;
    delays.push_back(restoreDelay_);
    auto shared = std::make_shared<std::function<bool()>>(std::move(consumptionCheck));
    for (const Duration delay : delays) {
        pending_->ticks.push_back(
            ports_.loop.after(delay, [weak = weak_from_this(), marker = pending_->marker, shared, delay] {
                if (auto self = weak.lock()) self->observationTick(marker, *shared, delay);
            }));
    }
}

void ClipboardPaster::observationTick(const std::string& marker, const std::function<bool()>& consumptionCheck,
                                      Duration delay) {
    // A finished or replaced paste's ticks find another marker, or none.
    if (!pending_ || pending_->marker != marker) return;
    const bool verified = consumptionCheck && consumptionCheck();
    if (!pending_ || pending_->marker != marker) return;
    const bool owned = ownsTemporaryClipboard(*pending_);
    if (verified || !owned || delay >= restoreDelay_) finishPending(marker, verified);
}

void ClipboardPaster::finishPending(const std::string& marker, bool verified) {
    if (!pending_ || pending_->marker != marker) return;
    auto ended = std::move(*pending_);
    pending_.reset();
    auto& pasteboard = ports_.pasteboard;
    switch (ClipboardUnverifiedPolicy::clipboardDisposition(true, verified, ownsTemporaryClipboard(ended))) {
        case ClipboardFinalDisposition::restoreOriginalClipboard: ended.snapshot.restore(pasteboard); break;
        case ClipboardFinalDisposition::keepTranscript: {
            // The text stays for the user to paste by hand, without the
            // marker: the paster no longer claims it.
            const auto cleared = pasteboard.clearContents();
            if (!pasteboard.writeItems({PasteboardItem::plainText(ended.transcript)}) &&
                pasteboard.changeCount() == cleared) {
                ended.snapshot.restore(pasteboard);
            }
            break;
        }
        case ClipboardFinalDisposition::preserveCurrentClipboard: break;
    }
    if (ended.completion) ended.completion(ClipboardUnverifiedPolicy::report(true, verified));
}

}  // namespace murmo
