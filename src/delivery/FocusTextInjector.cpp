#include "delivery/FocusTextInjector.h"

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/CapturedTargetDelivery.h"
#include "delivery/FocusPolicies.h"

namespace murmo {

namespace {

// The application element's calls during a reservation block the main
// thread; a host that does not answer in this time is treated as not ready.
constexpr AXMessagingTimeout kReservationApplicationTimeout =
    AXManualAccessibilityRetryPolicy::mainThreadMessagingTimeoutSeconds;

std::vector<Duration> tableOf(std::span<const Duration> table) { return {table.begin(), table.end()}; }

// Lets a new delivery task begin on a later turn of the loop, never inside
// the call that admitted it.
auto nextTurn(MainLoop& loop) {
    return suspendWith<bool>(loop, [](Resumer<bool> resumer) { resumer.resume(true); });
}

}  // namespace

DeliveryAdmission DeliveryAdmissionPolicy::admission(bool mutationActive, bool deliveryAlreadyQueued) {
    if (!mutationActive) return DeliveryAdmission::start;
    return deliveryAlreadyQueued ? DeliveryAdmission::reject : DeliveryAdmission::queue;
}

std::shared_ptr<FocusTextInjector> FocusTextInjector::create(FocusTextInjectorPorts ports) {
    return create(std::move(ports), nullptr);
}

std::shared_ptr<FocusTextInjector> FocusTextInjector::create(FocusTextInjectorPorts ports,
                                                             std::shared_ptr<ClipboardPaster> clipboardPaster) {
    if (!clipboardPaster) {
        clipboardPaster = ClipboardPaster::create(ClipboardPasterPorts{.loop = ports.loop,
                                                                       .pasteboard = ports.pasteboard,
                                                                       .eventPoster = ports.eventPoster,
                                                                       .workspace = ports.workspace,
                                                                       .ids = ports.ids});
    }
    return std::shared_ptr<FocusTextInjector>(new FocusTextInjector(std::move(ports), std::move(clipboardPaster)));
}

FocusTextInjector::FocusTextInjector(FocusTextInjectorPorts ports, std::shared_ptr<ClipboardPaster> clipboardPaster)
    : ports_(std::move(ports)),
      clipboardPaster_(std::move(clipboardPaster)),
      focusLog_("focus", ports_.logSink),
      capture_(std::make_shared<FocusCapture>(FocusCapturePorts{.loop = ports_.loop,
                                                                .accessibility = ports_.accessibility,
                                                                .workspace = ports_.workspace,
                                                                .processInfo = ports_.processInfo,
                                                                .inputActivity = ports_.inputActivity,
                                                                .log = focusLog_})),
      deliveryServices_{.capture = *capture_, .paster = *clipboardPaster_, .log = focusLog_} {}

// ---- Reservation ------------------------------------------------------------

FocusReservation FocusTextInjector::reserve(const std::string& targetID) {
    lastReservationHostMetadata_.reset();
    lastReservationHostPin_.reset();
    if (!ports_.accessibility.isProcessTrusted()) return FocusReservation::failed(CaptureFailure::permission);
    auto host = ports_.workspace.frontmostApplication();
    if (!host) return FocusReservation::failed(CaptureFailure::noApplication);
    const auto pid = host->processIdentifier;
    const auto name = host->localizedName.value_or(std::string(kUnnamedApplication));
    lastReservationHostMetadata_ =
        FocusHostMetadata{.bundleIdentifier = host->bundleIdentifier, .applicationName = name};

    const auto epoch = FocusInputEpoch::read(ports_.inputActivity);
    const auto birth = FocusProcessBirthIdentity::read(ports_.processInfo, pid);
    const auto pinnedAt = capture_->now();
    const auto applicationElement = ports_.accessibility.applicationElement(pid);
    auto window = capture_->elementAttribute(applicationElement, axattr::focusedWindow, std::nullopt,
                                             kReservationApplicationTimeout);

    FocusHostPin pin{.targetID = targetID,
                     .pid = pid,
                     .bundleIdentifier = host->bundleIdentifier,
                     .applicationName = name,
                     .pinnedAt = pinnedAt,
                     .focusedWindow = window.value,
                     .manualAccessibilityRequested = false,
                     .manualAccessibilityError = axerror::failure,
                     .inputEpoch = epoch,
                     .processBirth = birth};
    lastReservationHostPin_ = pin;

    auto attempt = capture_->focusedElementAttempt(pid, std::nullopt, false, kReservationApplicationTimeout);
    if (!attempt.resolution) {
        if (AXManualAccessibilityRetryPolicy::shouldRequestManualAccessibility(0, false, attempt.applicationError)) {
            return requestManualAccessibility(std::move(pin), applicationElement);
        }
        return FocusReservation::warming(std::move(pin));
    }
    auto reservation = evaluateReservedElement(pin, attempt, applicationElement);
    if (auto failure = reservation.failure(); failure && !permitsCurrentFocusFallback(*failure)) {
        lastReservationHostPin_.reset();
    }
    return reservation;
}

FocusReservation FocusTextInjector::evaluateReservedElement(const FocusHostPin& pin, const FocusAttempt& attempt,
                                                            const AXElement& applicationElement) {
    auto& capture = *capture_;
    const auto& element = attempt.resolution->element;
    const auto ownerPID = attempt.resolution->ownerPID;
    auto waitForFullTree = [&](const std::optional<std::string>& role) {
        focusLog_.notice("Waiting for partial AX target host_pid={} owner_pid={} role={}", logPublic(pin.pid),
                         logPublic(ownerPID), logPublic(role.value_or("unknown")));
        return requestManualAccessibility(pin, applicationElement);
    };

    auto paste = capture.pasteCapability(element, std::nullopt);
    auto role = capture.stringAttribute(element, axattr::role, std::nullopt);
    if (!paste) return waitForFullTree(role);
    if (FocusCandidatePolicy::disposition(role, *paste) == FocusCandidateDisposition::retryablePartialTree) {
        return waitForFullTree(role);
    }

    auto secure = capture.secureState(element, std::nullopt);
    if (!secure) return FocusReservation::failed(CaptureFailure::accessibilityTreeNotReady);
    if (*secure) return FocusReservation::failed(CaptureFailure::secureField);
    paste = capture.pasteCapability(element, std::nullopt);
    if (!paste) return FocusReservation::failed(CaptureFailure::accessibilityTreeNotReady);
    if (!*paste) {
        focusLog_.notice("Rejected non-editable AX target host_pid={} owner_pid={} role={}", logPublic(pin.pid),
                         logPublic(ownerPID), logPublic(role.value_or("unknown")));
        return FocusReservation::failed(CaptureFailure::notEditable);
    }

    auto range = capture.selectedTextRange(element, std::nullopt);
    return FocusReservation::ready(FocusTargetSnapshot{
        .targetID = pin.targetID,
        .pid = pin.pid,
        .bundleIdentifier = pin.bundleIdentifier,
        .applicationName = pin.applicationName,
        .captureAttempts = 1,
        .captureElapsed = capture.now() - pin.pinnedAt,
        .manualAccessibilityRequested = false,
        .element = element,
        .elementPID = ownerPID,
        .selectedRange = range,
        .focusedWindow = pin.focusedWindow,
        .inputEpoch = pin.inputEpoch,
        .processBirth = pin.processBirth,
    });
}

FocusReservation FocusTextInjector::requestManualAccessibility(FocusHostPin pin, const AXElement& applicationElement) {
    const auto error =
        ports_.accessibility.setAttributeValue(applicationElement, AXManualAccessibilityRetryPolicy::attributeName,
                                               AXAttributeValue(true), kReservationApplicationTimeout);
    focusLog_.info("Requested AXManualAccessibility host_pid={} error={}", logPublic(pin.pid), logPublic(error));
    if (auto running = ports_.workspace.runningApplication(pin.pid)) {
        pin.pid = running->processIdentifier;
        pin.bundleIdentifier = running->bundleIdentifier;
        pin.applicationName = running->localizedName.value_or(std::string(kUnnamedApplication));
    }
    pin.manualAccessibilityRequested = true;
    pin.manualAccessibilityError = error;
    lastReservationHostPin_ = pin;
    return FocusReservation::warming(std::move(pin));
}

// ---- Capture --------------------------------------------------------------------

Task<CaptureResult> FocusTextInjector::finishCapture(FocusHostPin pin, CancelToken cancel) {
    return finishCapture(std::move(pin), tableOf(AXManualAccessibilityRetryPolicy::activationRetryDelays()),
                         FocusCapturePhase::activation, std::nullopt, std::move(cancel));
}

Task<CaptureResult> FocusTextInjector::finishCaptureForFinalization(FocusHostPin pin, CancelToken cancel) {
    const auto deadline = capture_->now() + AXManualAccessibilityRetryPolicy::finalizationWallClockBudget;
    return finishCapture(std::move(pin), tableOf(AXManualAccessibilityRetryPolicy::finalizationRetryDelays()),
                         FocusCapturePhase::finalization, deadline, std::move(cancel));
}

Task<CaptureResult> FocusTextInjector::finishCapture(FocusHostPin pin, std::vector<Duration> retryDelays,
                                                     FocusCapturePhase phase, FocusCapture::Deadline deadline,
                                                     CancelToken cancel) {
    return FocusCapture::finishCapture(capture_, std::move(pin), std::move(retryDelays), phase, deadline,
                                       std::move(cancel));
}

// ---- Delivery -------------------------------------------------------------------

void FocusTextInjector::deliver(std::string text, FocusTargetSnapshot to, CommandDispatchedCallback onCommandDispatched,
                                std::function<void(DeliveryResult)> completion) {
    auto body = [services = weakDeliveryServices(), &loop = ports_.loop, text = std::move(text), target = std::move(to),
                 dispatched = std::move(onCommandDispatched)](DeliveryRun run) {
        return CapturedTargetDelivery::run(DeliveryContext{services, loop, dispatched, std::move(run)}, text, target);
    };
    admitDelivery(DeliveryRequest{.body = std::move(body), .completion = std::move(completion)});
}

void FocusTextInjector::deliver(std::string text, FocusHostPin toCurrentFocusOf, std::string triggerReason,
                                CommandDispatchedCallback onCommandDispatched,
                                std::function<void(DeliveryResult)> completion) {
    auto body = [services = weakDeliveryServices(), &loop = ports_.loop, text = std::move(text),
                 host = CurrentFocusHost::of(toCurrentFocusOf), trigger = std::move(triggerReason),
                 dispatched = std::move(onCommandDispatched)](DeliveryRun run) {
        return CurrentFocusDelivery::run(DeliveryContext{services, loop, dispatched, std::move(run)}, text, host,
                                         trigger);
    };
    admitDelivery(DeliveryRequest{.body = std::move(body), .completion = std::move(completion)});
}

std::weak_ptr<DeliveryServices> FocusTextInjector::weakDeliveryServices() {
    return std::shared_ptr<DeliveryServices>(shared_from_this(), &deliveryServices_);
}

// ---- Admission --------------------------------------------------------------------

void FocusTextInjector::admitDelivery(DeliveryRequest request) {
    const auto startedAt = capture_->now();
    switch (DeliveryAdmissionPolicy::admission(activeDeliveryID_.has_value(), static_cast<bool>(queuedDelivery_))) {
        case DeliveryAdmission::reject:
            if (request.completion) {
                request.completion(DeliveryResult::failed("delivery_busy", "delivery_queue_full",
                                                          "Another insertion is already waiting.", Duration::zero()));
            }
            return;
        case DeliveryAdmission::queue:
            queuedDelivery_ = [weak = weak_from_this(), request = std::move(request)] {
                if (auto self = weak.lock()) self->admitDelivery(request);
            };
            return;
        case DeliveryAdmission::start: break;
    }
    auto id = ports_.ids.uuid();
    activeDeliveryID_ = id;
    deliveryTaskID_ = id;
    CancelToken cancel;
    deliveryTask_ = cancel;
    spawn(runDelivery(weak_from_this(), ports_.loop, std::move(id), std::move(request), startedAt, cancel));
}

Task<void> FocusTextInjector::runDelivery(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop, std::string id,
                                          DeliveryRequest request, MonotonicTime startedAt, CancelToken cancel) {
    co_await nextTurn(loop);
    if (!injector.expired() && !cancel.isCancelled() && request.body) {
        DeliveryRun run{.startedAt = startedAt,
                        .cancel = cancel,
                        .complete = [injector, id, completion = request.completion](DeliveryResult result) {
                            if (auto self = injector.lock()) self->completeDelivery(id, result, completion);
                        }};
        co_await request.body(std::move(run));
    }
    if (auto self = injector.lock()) self->deliveryTaskEnded(id, cancel.isCancelled());
}

void FocusTextInjector::completeDelivery(const std::string& id, const DeliveryResult& result,
                                         const std::function<void(DeliveryResult)>& completion) {
    if (activeDeliveryID_ != id) return;
    activeDeliveryID_.reset();
    if (completion) completion(result);
    startQueuedDeliveryIfPossible();
}

void FocusTextInjector::deliveryTaskEnded(const std::string& id, bool cancelled) {
    if (deliveryTaskID_ != id) return;
    deliveryTask_.reset();
    deliveryTaskID_.reset();
    if (!cancelled) return;
    if (activeDeliveryID_ == id) activeDeliveryID_.reset();
    // The waiting request goes with it, as at shutdown: left behind, it would
    // run after some later delivery and insert text nobody is waiting for.
    queuedDelivery_ = nullptr;
}

void FocusTextInjector::startQueuedDeliveryIfPossible() {
    if (activeDeliveryID_ || !queuedDelivery_) return;
    auto queued = std::move(queuedDelivery_);
    queuedDelivery_ = nullptr;
    queued();
}

void FocusTextInjector::shutdown() {
    if (deliveryTask_) deliveryTask_->cancel();
    deliveryTask_.reset();
    deliveryTaskID_.reset();
    activeDeliveryID_.reset();
    queuedDelivery_ = nullptr;
    // Its report finds no delivery to complete any more and is dropped.
    clipboardPaster_->restorePendingNow();
}

}  // namespace murmo
