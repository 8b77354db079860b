#pragma once

// The HUD: one floating panel at the bottom centre of a screen whose content
// morphs between the HUD's modes. The coordinator calls it at every visible
// step of an operation; the preferences reach it through the coordinator.
//
// Every change of mode is a transition: a short panel morph and a content
// cross-fade with blur, or an immediate change when the panel was hidden or
// motion is reduced. A generation counter drops the follow-ups of a
// transition that a newer one replaced, so an old mode never lands over a
// new one. Transient modes hide after fixed delays on monotonic time.
//
// Two modes hold the user's work: the clipboard offer (the only copy of words
// that could not be delivered; Copy replaces the clipboard in one step, so a
// refused write leaves the user's clipboard as it was) and the agent answer
// (its callbacks are taken before the HUD changes and called at most once; a
// click meant for one answer never reaches its replacement).
//
// Main thread only. Delayed steps hold the controller weakly and end with it.
// After shutdown() every operation returns at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/hud/HUDPresentationPolicy.h"
#include "input/hud/HUDScene.h"
#include "input/hud/WaveformView.h"
#include "platform/HUDSurface.h"
#include "platform/Pasteboard.h"
#include "platform/TextMeasure.h"
#include "runtime/MainLoop.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

class HUDController : public std::enable_shared_from_this<HUDController> {
public:
    using PreferredLanguages = std::function<std::vector<std::string>()>;
    using Callback = std::function<void()>;

    // The delays the HUD keeps its transient modes on screen.
    static constexpr HUDSeconds kSuccessHideDelay{0.65};
    static constexpr HUDSeconds kErrorHideDelay{2.6};
    static constexpr HUDSeconds kClipboardHoverResumeDelay{4.0};
    static constexpr HUDSeconds kMinimumHoverRemainder{0.1};
    static constexpr int kAnnouncementPriority = 50;

    static std::shared_ptr<HUDController> create(MainLoop& loop, HUDSurface& surface, TextMeasure& measure,
                                                 Pasteboard& pasteboard, PreferredLanguages preferredLanguages);
    ~HUDController();
    HUDController(const HUDController&) = delete;
    HUDController& operator=(const HUDController&) = delete;

    void showListening(HUDOperationPurpose purpose);
    void showProcessing(HUDOperationPurpose purpose);
    void showSuccess(HUDSuccessKind kind);
    void showError();
    void showShortcutCapture();
    // Offers `text` for copying after a failed or unconfirmed delivery. The
    // offer hides after `duration` (paused while the pointer rests on it);
    // +∞ never hides it; NaN or a negative duration hides it at once.
    void showClipboard(std::string text, HUDClipboardFailure failure, HUDSeconds duration, Callback onCopied);
    // Shows or replaces the assistant's answer. An empty confirmation line is
    // hidden; a missing callback hides its button. Earlier callbacks are
    // dropped without being called.
    void showAgentAnswer(const std::string& text, const std::string& confirmationLabel, std::string confirmTitle,
                         std::string cancelTitle, Callback onConfirm, Callback onCancel);
    // Ends an answer shown or requested; with `cancelPendingOperation` its
    // onCancel is called afterwards.
    void hideAgentAnswer(bool cancelPendingOperation);
    // Settles the transient mode and shows what the preferences ask for.
    void hide();
    void updateLevel(double level);
    void setAlwaysVisible(bool visible);
    void setIdleState(HUDIdleState state);
    void setAppearancePreference(const std::string& preference, const std::string& resolved);
    void setApplicationLanguage(NativeAppLanguage language);
    // Hides for good and lets go of every observer. Only the first call acts.
    void shutdown();
    bool isShuttingDown() const { return shuttingDown_; }

    // The panel's buttons.
    void copyNow();
    void confirmAgentAnswer();
    void cancelAgentAnswer();

    // The mode whose content is on screen.
    std::optional<HUDMode> currentMode() const { return currentMode_; }
    const HUDPresentationPolicy& policy() const { return policy_; }
    const HUDState& state() const { return state_; }
    // What the panel shows at `now`: the content laid out at the panel's
    // presented size.
    HUDDisplayList sceneAt(MonotonicTime now) const;

private:
    struct Passkey {};

public:
    HUDController(Passkey, MainLoop& loop, HUDSurface& surface, TextMeasure& measure, Pasteboard& pasteboard,
                  PreferredLanguages preferredLanguages);

private:
    using Configure = std::function<void()>;

    void start();
    MonotonicTime now() const { return loop_.clock().now(); }
    std::vector<std::string> languages() const {
        return preferredLanguages_ ? preferredLanguages_() : std::vector<std::string>{};
    }
    HUDPresentationSpec presentationFor(const HUDMode& mode) const;
    bool reduceMotion() { return surface_.displayOptions().reduceMotion; }

    // Transitions.
    void beginNonClipboardPresentation(const HUDMode& mode);
    void transition(const HUDMode& mode, bool preferPointerScreen, Configure configure, Callback completion);
    void showContent(const HUDMode& mode, const Configure& configure);
    void invoke(Callback callback, std::int64_t generation, HUDSeconds delay);
    void later(HUDSeconds delay, std::function<void(HUDController&)> step);
    void presentPanel(const HUDRect& frame, bool animated);
    void animatePanel(const HUDRect& frame);
    void animateContentOut();
    void animateContentIn();
    void setContentModelState(double opacity, double scale, double blur);
    void dismissPanel(bool animated);
    void resetAfterDismissal();
    void synchronizeWithPolicy(bool animated);
    void settleAndSynchronize();
    void clearClipboardOffer();
    void clearAgentCallbacks();

    // Content.
    void resetContent(const HUDMode& mode);
    void configureLocalizedContent(const HUDMode& mode);
    void layoutContent();
    void applyContentPalette();
    void presentChrome();
    HUDPaletteSpec resolvedPalette(const HUDMode& mode);
    void announce(const std::string& text);
    void mirrorPanelSize(const HUDRect& frame, std::optional<HUDPanelAnimation> animation);

    // Hides.
    void scheduleHide(HUDSeconds delay);
    void cancelScheduledHide();

    // Placement.
    HUDRect frameFor(const HUDPresentationSpec& presentation, bool preferPointerScreen);

    // Desktop notices.
    void displayOptionsChanged();
    void screenParametersChanged();
    void appearanceChanged();

    // The clipboard offer.
    void presentClipboardFailure(HUDClipboardFailure failure, std::optional<HUDSeconds> autoHideAfter);
    void clipboardHoverChanged(bool hovering);

    // The agent answer.
    void configureAgentAnswer(const std::string& text, const std::string& label, const std::string& confirmTitle,
                              const std::string& cancelTitle, bool showsConfirm, bool showsCancel);
    bool agentAnswerRequested() const;
    void startOutsideClickMonitoring();
    void stopOutsideClickMonitoring();
    void outsideClick(std::uint64_t monitor, HUDPoint location);
    void endAgentAnswer(Callback taken);
    void scrollAnswer(double deltaY);

    // Panel input.
    void panelClicked(HUDPoint contentPoint);

    MainLoop& loop_;
    HUDSurface& surface_;
    TextMeasure& measure_;
    Pasteboard& pasteboard_;
    PreferredLanguages preferredLanguages_;

    HUDState state_;
    // The size the content was last laid out for; frames of another size
    // (mid-morph) lay it out again.
    double laidOutWidth_ = 0;
    double laidOutHeight_ = 0;
    std::shared_ptr<WaveformView> waveform_;

    std::string clipboardText_;
    Callback copied_;
    std::optional<Timer> hideWork_;
    std::optional<MonotonicTime> hideDeadline_;
    HUDSeconds remainingHideDuration_{0};
    bool clipboardOfferActive_ = false;
    bool clipboardAutoHideEnabled_ = false;
    HUDClipboardFailure currentClipboardFailure_ = HUDClipboardFailure::paste;
    bool panelHovering_ = false;

    double agentAnswerHeight_ = 45;
    Callback agentOnConfirm_;
    Callback agentOnCancel_;
    ObserverHandle outsideClickMonitor_;
    // Names the monitor installed now; a press seen by an earlier one is
    // dropped when its main-loop step runs.
    std::uint64_t outsideClickMonitorID_ = 0;

    std::int64_t presentationGeneration_ = 0;
    std::optional<HUDMode> currentMode_;
    HUDPresentationPolicy policy_;
    std::string appearancePreference_ = "system";
    std::string resolvedAppearance_ = "system";
    NativeAppLanguage applicationLanguage_ = NativeAppLanguage::system;
    bool shuttingDown_ = false;

    ObserverHandle screenObserver_;
    ObserverHandle displayOptionsObserver_;
    ObserverHandle appearanceObserver_;
    // Delayed steps; they end with the controller.
    std::vector<Timer> pending_;
};

}  // namespace murmo
