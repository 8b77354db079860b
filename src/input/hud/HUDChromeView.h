#pragma once

// The capsule's chrome as state: the surface, and the rainbow ring that shows
// for every transient mode. The ring turns once every 5 s while shown, unless
// motion is reduced (then it stays at its static angle); a running turn is
// never restarted, so a change of mode never jerks it. Main thread.

#include "input/hud/HUDAnimation.h"
#include "input/hud/HUDChromeGeometry.h"
#include "input/hud/HUDMode.h"
#include "input/hud/HUDPalette.h"

namespace murmo {

class HUDChromeView {
public:
    static constexpr const char* kRotationKey = "murmo-rainbow-rotation";
    static constexpr const char* kImpulseKey = "murmo-rainbow-impulse";
    static constexpr const char* kRotationPath = "transform.rotation.z";
    static constexpr const char* kOpacityPath = "opacity";
    static constexpr HUDSeconds kImpulseDuration{0.28};

    HUDChromeView();

    // Shows the ring for a transient mode and hides it for idle; the turn
    // runs while the ring shows and motion is allowed.
    void present(const HUDMode& mode, const HUDPaletteSpec& palette, bool reduceMotion, MonotonicTime now);
    // A brief flash of the ring (when the user copies the offered text),
    // only while it shows and motion is allowed.
    void impulse(bool reduceMotion, MonotonicTime now);
    // Stops the turn and any flash, as a dismissal does; the ring rests at
    // its static angle.
    void stopRingMotion();

    const HUDPaletteSpec& palette() const { return palette_; }
    bool ringShown() const { return container_.model(kOpacityPath) > 0; }
    const HUDLayer& container() const { return container_; }
    const HUDLayer& gradient() const { return gradient_; }
    HUDChromeGeometry geometry(double width, double height) const {
        return HUDChromeGeometry::of(width, height, palette_.borderAlpha);
    }

private:
    void startRingMotion(MonotonicTime now);

    HUDPaletteSpec palette_;
    HUDLayer container_;
    HUDLayer gradient_;
};

// The three processing dots as state: pulsing from left to right, each 0.12 s
// after the one before, or resting at 0.48/1.0/0.48 when motion is reduced.
class HUDProcessingDotsView {
public:
    static constexpr const char* kPulseKey = "murmo-processing-dot-pulse";
    static constexpr const char* kOpacityPath = "opacity";

    HUDProcessingDotsView();

    void start(bool reduceMotion, MonotonicTime now);
    void stop();
    void showStatic();

    std::uint32_t tintRGB = 0xB8BBC2;
    const std::array<HUDLayer, HUDMinimalFeedbackSpec::processingDotCount>& dots() const { return dots_; }

private:
    void removeAnimations();
    void rest();

    std::array<HUDLayer, HUDMinimalFeedbackSpec::processingDotCount> dots_;
};

}  // namespace murmo
