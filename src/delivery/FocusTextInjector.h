#pragma once

// The text delivery front: reserves the focused target at key press, runs
// the capture worker for the coordinator, and admits one delivery at a time.
// Delivery methods enter through admitDelivery(), which keeps two
// deliveries from ever writing into the same target at once and lets at most
// one more wait. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "delivery/ClipboardPaster.h"
#include "delivery/CurrentFocusDelivery.h"
#include "delivery/DeliveryContext.h"
#include "delivery/DeliveryResult.h"
#include "delivery/DeliveryRun.h"
#include "delivery/FocusCapture.h"
#include "delivery/FocusTargetSnapshot.h"
#include "platform/Accessibility.h"
#include "platform/EventPoster.h"
#include "platform/InputActivity.h"
#include "platform/Pasteboard.h"
#include "platform/ProcessInfo.h"
#include "platform/Workspace.h"
#include "runtime/CancelToken.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/StderrLogSink.h"
#include "runtime/Task.h"

namespace murmo {

enum class DeliveryAdmission { start, queue, reject };

struct DeliveryAdmissionPolicy {
    static DeliveryAdmission admission(bool mutationActive, bool deliveryAlreadyQueued);
};

// Rules the coordinator reads while a paste is in flight.
struct DeliveryOverlapPolicy {
    // Once the paste command is out, the dictation no longer owns the target.
    static bool releasesDictationOwnership(bool commandDispatched) { return commandDispatched; }
    // The clipboard path keeps the mutation locked until its terminal report.
    static bool keepsMutationLocked(bool clipboardTerminal) { return !clipboardTerminal; }
};

// One delivery request as the gate sees it. The body may finish before its
// result arrives (a paste reports when its observation ends); it may be a
// coroutine lambda: the gate keeps it alive while it runs.
struct DeliveryRequest {
    std::function<Task<void>(DeliveryRun)> body;
    std::function<void(DeliveryResult)> completion;
};

struct FocusTextInjectorPorts {
    MainLoop& loop;
    Accessibility& accessibility;
    Workspace& workspace;
    ProcessInfo& processInfo;
    InputActivity& inputActivity;
    // The general pasteboard and the keyboard event port: what the default
    // paste engine works on.
    Pasteboard& pasteboard;
    EventPoster& eventPoster;
    IdGenerator& ids;
    std::shared_ptr<LogSink> logSink = StderrLogSink::shared();
};

// Made with create() and held in a shared_ptr: deliveries run as tasks that
// hold the injector weakly.
class FocusTextInjector : public std::enable_shared_from_this<FocusTextInjector> {
public:
    // With a paste engine of its own on the ports' pasteboard, restoring
    // the user's clipboard 1.2 s after the paste command, with the default
    // observation delays.
    static std::shared_ptr<FocusTextInjector> create(FocusTextInjectorPorts ports);
    // With the paste engine every delivery uses, shared with whoever made
    // it; null means the default one.
    static std::shared_ptr<FocusTextInjector> create(FocusTextInjectorPorts ports,
                                                     std::shared_ptr<ClipboardPaster> clipboardPaster);
    FocusTextInjector(const FocusTextInjector&) = delete;
    FocusTextInjector& operator=(const FocusTextInjector&) = delete;

    // Pins the frontmost application and makes exactly one quick attempt to
    // capture its focused text element. Never waits or retries.
    FocusReservation reserve(const std::string& targetID);
    // Name and bundle of the application pinned by the latest reservation.
    const std::optional<FocusHostMetadata>& lastReservationHostMetadata() const { return lastReservationHostMetadata_; }
    // The latest pin, kept only while it can still serve a current-focus
    // fallback.
    const std::optional<FocusHostPin>& lastReservationHostPin() const { return lastReservationHostPin_; }

    // Activation phase: the activation delays, no deadline.
    Task<CaptureResult> finishCapture(FocusHostPin pin, CancelToken cancel = CancelToken());
    // Finalization phase: the finalization delays, deadline 75 ms from now.
    Task<CaptureResult> finishCaptureForFinalization(FocusHostPin pin, CancelToken cancel = CancelToken());
    // The capture worker itself.
    Task<CaptureResult> finishCapture(FocusHostPin pin, std::vector<Duration> retryDelays, FocusCapturePhase phase,
                                      FocusCapture::Deadline deadline, CancelToken cancel = CancelToken());

    // Inserts the final text into the captured element: revalidates it,
    // pastes through the guarded clipboard, writes through accessibility
    // only when the clipboard cannot be prepared, and falls back to the
    // current focus of the same host when the element's identity is lost.
    // `completion` is called once, or not at all when the delivery is
    // superseded or shut down; `onCommandDispatched` gets the time right
    // after the paste command went out. An empty text is
    // refused ("empty_text"): there is nothing to insert, and an empty write
    // would erase the user's selection.
    void deliver(std::string text, FocusTargetSnapshot to, CommandDispatchedCallback onCommandDispatched,
                 std::function<void(DeliveryResult)> completion);
    // Pastes into whatever has the focus in the pinned host, provided the
    // host, its process, the user's input and its window are unchanged. An
    // empty text is refused as above.
    void deliver(std::string text, FocusHostPin toCurrentFocusOf, std::string triggerReason,
                 CommandDispatchedCallback onCommandDispatched, std::function<void(DeliveryResult)> completion);

    // The admission gate every delivery method goes through: starts the
    // request, queues it (at most one waits; it is admitted afresh, with a
    // new start time, when the running one completes), or refuses it at once
    // with "delivery_queue_full".
    void admitDelivery(DeliveryRequest request);
    // Cancels the running delivery and forgets the waiting one; neither
    // completion is called. A paste still being observed ends now, giving
    // the user's clipboard back while the paster still owns it.
    void shutdown();

    bool isDeliveryActive() const { return activeDeliveryID_.has_value(); }
    bool hasQueuedDelivery() const { return static_cast<bool>(queuedDelivery_); }

private:
    FocusTextInjector(FocusTextInjectorPorts ports, std::shared_ptr<ClipboardPaster> clipboardPaster);

    // The delivery services, alive exactly as long as this injector.
    std::weak_ptr<DeliveryServices> weakDeliveryServices();
    static Task<void> runDelivery(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop, std::string id,
                                  DeliveryRequest request, MonotonicTime startedAt, CancelToken cancel);
    void completeDelivery(const std::string& id, const DeliveryResult& result,
                          const std::function<void(DeliveryResult)>& completion);
    void deliveryTaskEnded(const std::string& id, bool cancelled);
    void startQueuedDeliveryIfPossible();

    FocusReservation evaluateReservedElement(const FocusHostPin& pin, const FocusAttempt& attempt,
                                             const AXElement& applicationElement);
    FocusReservation requestManualAccessibility(FocusHostPin pin, const AXElement& applicationElement);

    FocusTextInjectorPorts ports_;
    std::shared_ptr<ClipboardPaster> clipboardPaster_;
    Logger focusLog_;
    std::shared_ptr<FocusCapture> capture_;
    // What a delivery body reaches, handed out weakly with this injector's
    // lifetime.
    DeliveryServices deliveryServices_;

    std::optional<CancelToken> deliveryTask_;
    std::optional<std::string> deliveryTaskID_;
    std::optional<std::string> activeDeliveryID_;
    std::function<void()> queuedDelivery_;
    std::optional<FocusHostMetadata> lastReservationHostMetadata_;
    std::optional<FocusHostPin> lastReservationHostPin_;
};

}  // namespace murmo
