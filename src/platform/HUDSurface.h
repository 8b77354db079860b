#pragma once

// The HUD's one panel and what the HUD needs of the desktop around it: the
// screens, the pointer, mouse presses anywhere, announcements for screen
// readers and the display options.
//
// The panel is borderless and clear, casts no shadow, never activates the
// application, floats above normal and full-screen windows and shows on
// every workspace. Coordinates are global points, y up, from the bottom left
// of the first screen; a backend flips them where its window system counts
// downwards.
//
// Main thread only. Every callback runs on the main loop, never inside the
// call that caused it unless said so.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/HUDDisplayList.h"
#include "platform/HUDTimingCurve.h"
#include "runtime/Clock.h"
#include "runtime/ObserverHandle.h"

namespace murmo {

struct HUDPoint {
    double x = 0;
    double y = 0;
    bool operator==(const HUDPoint&) const = default;
};

struct HUDScreen {
    HUDRect frame;
    // The frame less the menu bar, panels and docks.
    HUDRect visibleFrame;
    bool operator==(const HUDScreen&) const = default;
};

// The panel's own appearance: the system's, or forced light or dark.
enum class HUDPanelAppearance { system, light, dark };

struct HUDDisplayOptions {
    bool reduceMotion = false;
    bool increaseContrast = false;
    bool reduceTransparency = false;
    bool operator==(const HUDDisplayOptions&) const = default;
};

enum class HUDMouseButton { left, right, other };

// A mouse button going down, in this application or another.
struct HUDMouseDown {
    HUDMouseButton button = HUDMouseButton::left;
    // The pointer at the press.
    HUDPoint location;
};

// An animation of the panel's frame, alpha or both, from what is presented
// when it starts.
struct HUDPanelAnimation {
    std::optional<HUDRect> frame;
    std::optional<double> alpha;
    Duration duration{0};
    HUDTimingCurve curve = HUDTimingCurve::linear();
};

// What the user does on the panel itself, while it takes mouse events.
struct HUDPanelInput {
    // The pointer entered (true) or left the panel, also because the panel
    // appeared, moved or went away under a resting pointer.
    std::function<void(bool inside)> hoverChanged;
    // A click at a point of the panel's content (points from its bottom left).
    std::function<void(HUDPoint contentPoint)> clicked;
    // A scroll over the panel: positive moves the content up (reveals more
    // of what lies below).
    std::function<void(double deltaY)> scrolled;
};

class HUDSurface {
public:
    virtual ~HUDSurface() = default;

    // ---- Screens and the pointer ----------------------------------------------
    // In the system's order; empty when no screen is attached.
    virtual std::vector<HUDScreen> screens() = 0;
    // The screen with the keyboard focus; absent without screens.
    virtual std::optional<HUDScreen> mainScreen() = 0;
    virtual ObserverHandle observeScreenChanges(std::function<void()> changed) = 0;
    virtual HUDPoint pointerLocation() = 0;

    // ---- The panel ----------------------------------------------------------------
    // The frame and alpha presented now, mid-animation included.
    virtual HUDRect panelFrame() = 0;
    virtual double panelAlpha() = 0;
    // Set at once; they end a running animation of the same property.
    virtual void setPanelFrame(const HUDRect& frame) = 0;
    virtual void setPanelAlpha(double alpha) = 0;
    // Starts from the presented values. `completion` runs once on the main
    // loop when the animation's time is up, also when a later animation or a
    // set replaced it.
    virtual void animatePanel(const HUDPanelAnimation& animation, std::function<void()> completion) = 0;
    // Shows the panel without activating the application.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isPanelVisible() = 0;
    // The screen holding most of the panel; absent when it is hidden or off
    // every screen.
    virtual std::optional<HUDScreen> panelScreen() = 0;
    // While on, mouse events pass through the panel to what lies below.
    virtual void setClickThrough(bool clickThrough) = 0;
    virtual void setPanelAppearance(HUDPanelAppearance appearance) = 0;
    virtual bool isEffectiveAppearanceDark() = 0;
    virtual ObserverHandle observeEffectiveAppearance(std::function<void()> changed) = 0;
    virtual void setPanelInput(HUDPanelInput input) = 0;

    // ---- Drawing --------------------------------------------------------------------
    // What the panel shows at a moment. The surface calls it for every frame
    // it draws, while the panel is visible and after setNeedsDisplay().
    virtual void setScene(std::function<HUDDisplayList(MonotonicTime)> scene) = 0;
    virtual void setNeedsDisplay() = 0;

    // ---- Mouse presses anywhere -----------------------------------------------------
    virtual bool canMonitorMouseDowns() = 0;
    // Every left, right or other button press, in this application or any
    // other, until the handle is dropped; no call starts after that. An empty
    // handle when the platform cannot watch presses.
    virtual ObserverHandle monitorMouseDowns(std::function<void(const HUDMouseDown&)> pressed) = 0;

    // ---- Accessibility ------------------------------------------------------------
    virtual bool canAnnounce() = 0;
    // Asks screen readers to speak `text`; 50 is a medium priority.
    virtual void announce(const std::string& text, int priority) = 0;
    virtual HUDDisplayOptions displayOptions() = 0;
    virtual ObserverHandle observeDisplayOptions(std::function<void()> changed) = 0;
};

}  // namespace murmo
