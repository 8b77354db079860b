#include "input/hud/HUDController.h"

#include <algorithm>
#include <cmath>

#include "input/hud/AgentAnswerLayout.h"
#include "input/hud/AgentResponsePolicies.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

namespace {

using Kind = HUDMode::Kind;

constexpr HUDSeconds kPresentDuration{0.18};
constexpr double kPresentRise = 6;
constexpr HUDSeconds kDismissDuration{0.14};
constexpr double kDismissDrop = 4;
constexpr double kContentOutScale = 0.95;
constexpr double kContentInScale = 0.96;
// Delays longer than this are as good as never; they stay clear of overflow.
constexpr HUDSeconds kLongestDelay{365.0 * 24 * 3600};

constexpr const char* kOpacity = "opacity";
constexpr const char* kScale = "scale";
constexpr const char* kBlur = "blur";

Duration toDuration(HUDSeconds delay) {
    if (!(delay > HUDSeconds::zero())) return Duration::zero();
    return std::chrono::duration_cast<Duration>(std::min(delay, kLongestDelay));
}

bool isProcessing(Kind kind) { return kind == Kind::processing || kind == Kind::agentProcessing; }

bool contains(const HUDRect& frame, HUDPoint point) {
    return !AgentResponseInteractionPolicy::shouldDismiss(frame, point.x, point.y);
}

}  // namespace

std::shared_ptr<HUDController> HUDController::create(MainLoop& loop, HUDSurface& surface, TextMeasure& measure,
                                                     Pasteboard& pasteboard, PreferredLanguages preferredLanguages) {
    auto controller =
        std::make_shared<HUDController>(Passkey{}, loop, surface, measure, pasteboard, std::move(preferredLanguages));
    controller->start();
    return controller;
}

HUDController::HUDController(Passkey, MainLoop& loop, HUDSurface& surface, TextMeasure& measure, Pasteboard& pasteboard,
                             PreferredLanguages preferredLanguages)
    : loop_(loop),
      surface_(surface),
      measure_(measure),
      pasteboard_(pasteboard),
      preferredLanguages_(std::move(preferredLanguages)),
      waveform_(WaveformView::create(loop)) {}

HUDController::~HUDController() {
    // The surface outlives the controller; it must not call into a dead one.
    surface_.setScene(nullptr);
    surface_.setPanelInput({});
}

void HUDController::start() {
    const std::weak_ptr<HUDController> weak = weak_from_this();
    const auto withSelf = [weak](auto step) {
        return [weak, step](auto&&... args) {
            if (auto self = weak.lock()) step(*self, args...);
        };
    };
    waveform_->onRedraw = [&surface = surface_] { surface.setNeedsDisplay(); };
    surface_.setScene([weak](MonotonicTime now) {
        auto self = weak.lock();
        return self ? self->sceneAt(now) : HUDDisplayList{};
    });
    surface_.setPanelInput(HUDPanelInput{
        .hoverChanged = withSelf([](HUDController& self, bool inside) { self.clipboardHoverChanged(inside); }),
        .clicked = withSelf([](HUDController& self, HUDPoint point) { self.panelClicked(point); }),
        .scrolled = withSelf([](HUDController& self, double deltaY) { self.scrollAnswer(deltaY); }),
    });
    displayOptionsObserver_ =
        surface_.observeDisplayOptions(withSelf([](HUDController& self) { self.displayOptionsChanged(); }));
    screenObserver_ =
        surface_.observeScreenChanges(withSelf([](HUDController& self) { self.screenParametersChanged(); }));
    appearanceObserver_ =
        surface_.observeEffectiveAppearance(withSelf([](HUDController& self) { self.appearanceChanged(); }));

    const NativeLocalizedStrings strings(applicationLanguage_, languages());
    state_.content.copyButton.text = strings.hudCopy();
    applyContentPalette();
    state_.content.resetAccessories();
    surface_.setClickThrough(true);
    surface_.orderOut();
}

// ---- Mode operations -------------------------------------------------------------

void HUDController::showListening(HUDOperationPurpose purpose) {
    if (shuttingDown_) return;
    const bool agent = purpose == HUDOperationPurpose::agent;
    const auto mode = HUDMode::of(agent ? Kind::agentListening : Kind::listening);
    beginNonClipboardPresentation(mode);
    transition(
        mode, true,
        [this, mode] {
            resetContent(mode);
            state_.content.waveform.hidden = false;
            waveform_->start();
        },
        [this, agent] {
            const NativeLocalizedStrings strings(applicationLanguage_, languages());
            announce(agent ? strings.hudAgentListeningAnnouncement() : strings.hudListeningAnnouncement());
        });
}

void HUDController::showProcessing(HUDOperationPurpose purpose) {
    if (shuttingDown_) return;
    const bool agent = purpose == HUDOperationPurpose::agent;
    const auto mode = HUDMode::of(agent ? Kind::agentProcessing : Kind::processing);
    beginNonClipboardPresentation(mode);
    transition(
        mode, false,
        [this, mode] {
            resetContent(mode);
            state_.content.processingDots.hidden = false;
            state_.dots.start(reduceMotion(), now());
        },
        [this, agent] {
            const NativeLocalizedStrings strings(applicationLanguage_, languages());
            announce(agent ? strings.hudAgentProcessingAnnouncement() : strings.hudProcessingAnnouncement());
        });
}

void HUDController::showSuccess(HUDSuccessKind kind) {
    if (shuttingDown_) return;
    const auto mode = HUDMode::of(Kind::success);
    beginNonClipboardPresentation(mode);
    transition(
        mode, false, [this, mode] { resetContent(mode); },
        [this, kind] {
            announce(successText(kind, applicationLanguage_, languages()).accessibilityAnnouncement);
            scheduleHide(kSuccessHideDelay);
        });
}

void HUDController::showError() {
    if (shuttingDown_) return;
    const auto mode = HUDMode::of(Kind::error);
    beginNonClipboardPresentation(mode);
    transition(
        mode, false, [this, mode] { resetContent(mode); },
        [this] {
            announce(NativeLocalizedStrings(applicationLanguage_, languages()).hudErrorAnnouncement());
            scheduleHide(kErrorHideDelay);
        });
}

void HUDController::showShortcutCapture() {
    if (shuttingDown_) return;
    const auto mode = HUDMode::of(Kind::shortcut);
    beginNonClipboardPresentation(mode);
    transition(
        mode, false, [this, mode] { resetContent(mode); }, nullptr);
}

void HUDController::hide() {
    if (shuttingDown_) return;
    settleAndSynchronize();
}

void HUDController::updateLevel(double level) {
    // The waveform drops levels while stopped and reads NaN and infinities
    // as silence or full.
    waveform_->receive(level);
}

void HUDController::setAlwaysVisible(bool visible) {
    if (shuttingDown_) return;
    policy_.setAlwaysVisible(visible);
    synchronizeWithPolicy(true);
}

void HUDController::setIdleState(HUDIdleState state) {
    if (shuttingDown_) return;
    policy_.setIdleState(state);
    synchronizeWithPolicy(true);
}

void HUDController::setAppearancePreference(const std::string& preference, const std::string& resolved) {
    if (shuttingDown_) return;
    if (!HUDAppearanceResolver::resolve(preference, resolved, surface_.isEffectiveAppearanceDark())) return;
    appearancePreference_ = preference;
    resolvedAppearance_ = resolved;
    if (preference == "light") {
        surface_.setPanelAppearance(HUDPanelAppearance::light);
    } else if (preference == "dark" || preference == "black") {
        surface_.setPanelAppearance(HUDPanelAppearance::dark);
    } else {
        surface_.setPanelAppearance(HUDPanelAppearance::system);
    }
    if (currentMode_) {
        applyContentPalette();
        presentChrome();
    }
}

void HUDController::setApplicationLanguage(NativeAppLanguage language) {
    if (shuttingDown_ || language == applicationLanguage_) return;
    applicationLanguage_ = language;
    state_.content.copyButton.text = NativeLocalizedStrings(applicationLanguage_, languages()).hudCopy();
    if (!currentMode_) return;
    configureLocalizedContent(*currentMode_);
    layoutContent();
    surface_.setPanelFrame(frameFor(presentationFor(*currentMode_), false));
    surface_.setNeedsDisplay();
}

void HUDController::shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    policy_.forceHide();
    displayOptionsObserver_.reset();
    screenObserver_.reset();
    appearanceObserver_.reset();
    stopOutsideClickMonitoring();
    dismissPanel(false);
}

HUDDisplayList HUDController::sceneAt(MonotonicTime at) const {
    HUDState frame = state_;
    const auto panel = surface_.panelFrame();
    frame.panel = HUDLayer();
    frame.panel.set("width", panel.width);
    frame.panel.set("height", panel.height);
    // The surface fades the panel as a whole.
    frame.panel.set("alpha", 1);
    if (currentMode_ && (panel.width != laidOutWidth_ || panel.height != laidOutHeight_)) {
        // A morph lays the content out again at every size it passes.
        if (currentMode_->kind() == Kind::agentAnswer) {
            layoutAgentAnswer(frame.content, panel.width, panel.height, measure_);
        } else {
            frame.content.layout(currentMode_->kind(), panel.width, panel.height);
        }
    }
    const auto& bars = waveform_->displayed();
    frame.barLevels.assign(bars.begin(), bars.end());
    return murmo::sceneAt(frame, at);
}

// ---- Transitions ---------------------------------------------------------------

HUDPresentationSpec HUDController::presentationFor(const HUDMode& mode) const {
    auto presentation = mode.presentation(applicationLanguage_, languages());
    // A shown answer keeps its measured height through every re-placement.
    if (mode.kind() == Kind::agentAnswer) presentation.height = agentAnswerHeight_;
    return presentation;
}

void HUDController::beginNonClipboardPresentation(const HUDMode& mode) {
    clearClipboardOffer();
    stopOutsideClickMonitoring();
    clearAgentCallbacks();
    policy_.presentTransient(mode);
    surface_.setClickThrough(true);
}

void HUDController::transition(const HUDMode& mode, bool preferPointerScreen, Configure configure,
                               Callback completion) {
    cancelScheduledHide();
    const auto generation = ++presentationGeneration_;
    const bool reduce = reduceMotion();
    const auto frame = frameFor(presentationFor(mode), preferPointerScreen);
    const bool wasVisible = surface_.isPanelVisible();
    surface_.setPanelAlpha(1);

    if (!wasVisible || reduce) {
        state_.contentGroup.removeAll();
        setContentModelState(1, 1, 0);
        showContent(mode, configure);
        presentPanel(frame, !reduce);
        invoke(std::move(completion), generation, !wasVisible && !reduce ? kPresentDuration : HUDSeconds::zero());
        return;
    }
    animatePanel(frame);
    animateContentOut();
    later(HUDAnimationMetrics::contentOutDuration, [generation, mode, configure = std::move(configure),
                                                    completion = std::move(completion)](HUDController& self) mutable {
        if (self.presentationGeneration_ != generation) return;
        self.showContent(mode, configure);
        self.animateContentIn();
        self.invoke(std::move(completion), generation, HUDAnimationMetrics::contentInDuration);
    });
}

void HUDController::showContent(const HUDMode& mode, const Configure& configure) {
    currentMode_ = mode;
    state_.mode = mode;
    if (configure) configure();
    layoutContent();
    applyContentPalette();
    presentChrome();
    surface_.setNeedsDisplay();
}

void HUDController::invoke(Callback callback, std::int64_t generation, HUDSeconds delay) {
    if (!callback) return;
    if (!(delay > HUDSeconds::zero())) {
        if (presentationGeneration_ == generation) callback();
        return;
    }
    later(delay, [generation, callback = std::move(callback)](HUDController& self) {
        if (self.presentationGeneration_ == generation) callback();
    });
}

void HUDController::later(HUDSeconds delay, std::function<void(HUDController&)> step) {
    std::erase_if(pending_, [](const Timer& timer) { return !timer.armed(); });
    pending_.push_back(loop_.after(toDuration(delay), [weak = weak_from_this(), step = std::move(step)] {
        if (auto self = weak.lock()) step(*self);
    }));
}

void HUDController::presentPanel(const HUDRect& frame, bool animated) {
    if (!surface_.isPanelVisible() && animated) {
        surface_.setPanelAlpha(0);
        surface_.setPanelFrame(HUDRect{frame.x, frame.y - kPresentRise, frame.width, frame.height});
        surface_.orderFront();
        surface_.setNeedsDisplay();
        surface_.animatePanel({frame, 1.0, toDuration(kPresentDuration), HUDTimingCurve::easeOut()}, nullptr);
        return;
    }
    surface_.setPanelFrame(frame);
    surface_.setNeedsDisplay();
    surface_.orderFront();
}

void HUDController::animatePanel(const HUDRect& frame) {
    surface_.animatePanel(
        {frame, std::nullopt, toDuration(HUDAnimationMetrics::morphDuration), HUDTimingCurve::morph()}, nullptr);
}

void HUDController::setContentModelState(double opacity, double scale, double blur) {
    state_.contentGroup.set(kOpacity, opacity);
    state_.contentGroup.set(kScale, scale);
    state_.contentGroup.set(kBlur, blur);
}

void HUDController::animateContentOut() {
    auto& layer = state_.contentGroup;
    const auto at = now();
    // From what shows now, so that an interrupted fade never jumps.
    const double opacity = layer.presentation(kOpacity, at, 1);
    const double scale = layer.presentation(kScale, at, 1);
    const double blur = layer.presentation(kBlur, at, 0);
    layer.removeAll();
    setContentModelState(0, kContentOutScale, HUDAnimationMetrics::contentBlurRadius);
    const auto duration = HUDAnimationMetrics::contentOutDuration;
    const auto curve = HUDTimingCurve::easeInEaseOut();
    layer.add(HUDAnimation::basic("murmo-content-opacity-out", kOpacity, opacity, 0, duration, curve, at));
    layer.add(HUDAnimation::basic("murmo-content-scale-out", kScale, scale, kContentOutScale, duration, curve, at));
    layer.add(HUDAnimation::basic("murmo-content-blur-out", kBlur, blur, HUDAnimationMetrics::contentBlurRadius,
                                  duration, curve, at));
    surface_.setNeedsDisplay();
}

void HUDController::animateContentIn() {
    auto& layer = state_.contentGroup;
    const auto at = now();
    const double blur = HUDAnimationMetrics::contentBlurRadius;
    layer.removeAll();
    setContentModelState(1, 1, 0);
    const auto duration = HUDAnimationMetrics::contentInDuration;
    const auto curve = HUDTimingCurve::easeInEaseOut();
    layer.add(HUDAnimation::basic("murmo-content-opacity-in", kOpacity, 0, 1, duration, curve, at));
    layer.add(HUDAnimation::basic("murmo-content-scale-in", kScale, kContentInScale, 1, duration, curve, at));
    layer.add(HUDAnimation::basic("murmo-content-blur-in", kBlur, blur, 0, duration, curve, at));
    surface_.setNeedsDisplay();
}

void HUDController::dismissPanel(bool animated) {
    cancelScheduledHide();
    clearClipboardOffer();
    surface_.setClickThrough(true);
    stopOutsideClickMonitoring();
    clearAgentCallbacks();
    waveform_->stop();
    state_.chrome.stopRingMotion();
    const auto generation = ++presentationGeneration_;

    if (!surface_.isPanelVisible()) {
        resetAfterDismissal();
        return;
    }
    if (animated && !reduceMotion()) {
        const auto frame = surface_.panelFrame();
        const HUDRect lowered{frame.x, frame.y - kDismissDrop, frame.width, frame.height};
        surface_.animatePanel({lowered, 0.0, toDuration(kDismissDuration), HUDTimingCurve::easeInEaseOut()},
                              [weak = weak_from_this(), generation, frame] {
                                  auto self = weak.lock();
                                  // Shown again meanwhile: the panel stays.
                                  if (!self || self->presentationGeneration_ != generation) return;
                                  self->surface_.orderOut();
                                  self->surface_.setPanelAlpha(1);
                                  self->surface_.setPanelFrame(frame);
                                  self->resetAfterDismissal();
                              });
        return;
    }
    surface_.orderOut();
    surface_.setPanelAlpha(1);
    resetAfterDismissal();
}

void HUDController::resetAfterDismissal() {
    state_.content.resetAccessories();
    state_.dots.stop();
    state_.contentGroup.removeAll();
    setContentModelState(1, 1, 0);
    currentMode_.reset();
    agentAnswerHeight_ = AgentResponseLayoutPolicy::minimumPanelHeight;
    clearAgentCallbacks();
    state_.content.primaryLabel.text.clear();
    state_.content.secondaryLabel.text.clear();
    state_.answerScrollOffset = 0;
    clipboardText_.clear();
    copied_ = nullptr;
}

void HUDController::synchronizeWithPolicy(bool animated) {
    if (policy_.isForceHidden || (!policy_.transientMode && !policy_.alwaysVisible)) {
        dismissPanel(animated);
        return;
    }
    if (policy_.transientMode) return;
    const auto target = HUDMode::idle(policy_.idleState);
    if (currentMode_ == target && surface_.isPanelVisible()) return;
    clearClipboardOffer();
    surface_.setClickThrough(true);
    stopOutsideClickMonitoring();
    clearAgentCallbacks();
    transition(
        target, !surface_.isPanelVisible(), [this, target] { resetContent(target); }, nullptr);
}

void HUDController::settleAndSynchronize() {
    policy_.settleTransient();
    synchronizeWithPolicy(true);
}

void HUDController::clearClipboardOffer() {
    clipboardText_.clear();
    copied_ = nullptr;
    clipboardOfferActive_ = false;
    clipboardAutoHideEnabled_ = false;
}

void HUDController::clearAgentCallbacks() {
    agentOnConfirm_ = nullptr;
    agentOnCancel_ = nullptr;
}

// ---- Content -------------------------------------------------------------------

void HUDController::resetContent(const HUDMode& mode) {
    auto& content = state_.content;
    waveform_->stop();
    state_.dots.stop();
    content.resetAccessories();
    const auto presentation = presentationFor(mode);
    content.configureText(presentation);
    content.iconSymbol = presentation.iconSymbol;
    content.icon.hidden = !presentation.iconSymbol;
}

void HUDController::configureLocalizedContent(const HUDMode& mode) {
    auto& content = state_.content;
    switch (mode.kind()) {
        case Kind::agentAnswer: return;
        case Kind::clipboard:
            content.primaryLabel.text =
                clipboardFailureText(currentClipboardFailure_, applicationLanguage_, languages()).message;
            return;
        default: content.configureText(presentationFor(mode)); return;
    }
}

void HUDController::layoutContent() {
    if (!currentMode_) return;
    const auto presentation = presentationFor(*currentMode_);
    if (currentMode_->kind() == Kind::agentAnswer) {
        layoutAgentAnswer(state_.content, presentation.width, presentation.height, measure_);
    } else {
        state_.content.layout(currentMode_->kind(), presentation.width, presentation.height);
    }
    laidOutWidth_ = presentation.width;
    laidOutHeight_ = presentation.height;
}

void HUDController::applyContentPalette() {
    const auto palette = resolvedPalette(currentMode_.value_or(HUDMode::of(Kind::listening)));
    state_.content.applyPalette(palette);
    state_.dots.tintRGB = palette.accentRGB;
    waveform_->tintRGB = palette.accentRGB;
}

void HUDController::presentChrome() {
    if (!currentMode_) return;
    state_.chrome.present(*currentMode_, resolvedPalette(*currentMode_), reduceMotion(), now());
}

HUDPaletteSpec HUDController::resolvedPalette(const HUDMode& mode) {
    const bool systemDark = surface_.isEffectiveAppearanceDark();
    const auto appearance = HUDAppearanceResolver::resolve(appearancePreference_, resolvedAppearance_, systemDark)
                                .value_or(systemDark ? HUDAppearance::dark : HUDAppearance::light);
    const auto options = surface_.displayOptions();
    return HUDVisualPalette::resolved(appearance, presentationFor(mode).semanticRole, options.increaseContrast,
                                      options.reduceTransparency);
}

void HUDController::announce(const std::string& text) {
    if (surface_.canAnnounce()) surface_.announce(text, kAnnouncementPriority);
}

// ---- Hides -----------------------------------------------------------------------

void HUDController::scheduleHide(HUDSeconds delay) {
    hideWork_.reset();
    delay = std::max(delay, HUDSeconds::zero());
    remainingHideDuration_ = delay;
    const auto wait = toDuration(delay);
    hideDeadline_ = saturatingAdd(now(), wait);
    hideWork_ = loop_.after(wait, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || self->shuttingDown_) return;
        self->settleAndSynchronize();
    });
}

void HUDController::cancelScheduledHide() {
    hideWork_.reset();
    hideDeadline_.reset();
    remainingHideDuration_ = HUDSeconds::zero();
}

// ---- Placement -------------------------------------------------------------------

HUDRect HUDController::frameFor(const HUDPresentationSpec& presentation, bool preferPointerScreen) {
    std::optional<HUDScreen> screen;
    if (!preferPointerScreen && surface_.isPanelVisible()) screen = surface_.panelScreen();
    if (!screen) {
        const auto pointer = surface_.pointerLocation();
        const auto screens = surface_.screens();
        const auto under = std::find_if(screens.begin(), screens.end(),
                                        [&](const HUDScreen& candidate) { return contains(candidate.frame, pointer); });
        screen = under != screens.end() ? std::optional(*under) : surface_.mainScreen();
    }
    if (!screen) {
        // No screen at all: the panel stays where it is.
        const auto current = surface_.panelFrame();
        return {current.x + current.width / 2 - presentation.width / 2, current.y, presentation.width,
                presentation.height};
    }
    const auto& visible = screen->visibleFrame;
    return {visible.x + visible.width / 2 - presentation.width / 2, visible.y + HUDLayoutMetrics::screenEdgeInset,
            presentation.width, presentation.height};
}

// ---- Desktop notices -----------------------------------------------------------

void HUDController::displayOptionsChanged() {
    if (!currentMode_) return;
    applyContentPalette();
    presentChrome();
    if (isProcessing(currentMode_->kind())) {
        state_.dots.start(reduceMotion(), now());
    } else {
        state_.dots.stop();
    }
    surface_.setNeedsDisplay();
}

void HUDController::screenParametersChanged() {
    if (!surface_.isPanelVisible() || !currentMode_) return;
    const auto frame = frameFor(presentationFor(*currentMode_), false);
    if (reduceMotion()) {
        surface_.setPanelFrame(frame);
    } else {
        animatePanel(frame);
    }
}

void HUDController::appearanceChanged() {
    if (!currentMode_) return;
    applyContentPalette();
    presentChrome();
    surface_.setNeedsDisplay();
}

// ---- Panel input -----------------------------------------------------------------

void HUDController::panelClicked(HUDPoint point) {
    const auto& content = state_.content;
    const auto hits = [&point](const HUDContentView& view) { return !view.hidden && contains(view.frame, point); };
    if (hits(content.copyButton)) {
        copyNow();
    } else if (hits(content.agentConfirmButton)) {
        confirmAgentAnswer();
    } else if (hits(content.agentCancelButton)) {
        cancelAgentAnswer();
    }
}

}  // namespace murmo
