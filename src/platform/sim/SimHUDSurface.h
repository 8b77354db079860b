#pragma once

#include <functional>

#include "platform/HUDSurface.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ObserverList.h"

namespace murmo {

// The HUD surface on the simulated desktop: screens, pointer and panel live
// in the model (SimDesktopModel::hud), so a click the user makes is one
// input event that the counters, the input watch, the mouse monitors and the
// panel all see. The panel's presented frame and alpha follow from its
// recorded animations at the desktop's virtual time; completions run on the
// desktop's loop when an animation's time is up.
class SimHUDSurface final : public HUDSurface {
public:
    explicit SimHUDSurface(SimDesktop& desktop) : desktop_(desktop) {}

    std::vector<HUDScreen> screens() override { return hud().screens; }
    std::optional<HUDScreen> mainScreen() override;
    ObserverHandle observeScreenChanges(std::function<void()> changed) override;
    HUDPoint pointerLocation() override { return hud().pointer; }

    HUDRect panelFrame() override;
    double panelAlpha() override;
    void setPanelFrame(const HUDRect& frame) override;
    void setPanelAlpha(double alpha) override;
    void animatePanel(const HUDPanelAnimation& animation, std::function<void()> completion) override;
    void orderFront() override;
    void orderOut() override;
    bool isPanelVisible() override { return hud().panel.visible; }
    std::optional<HUDScreen> panelScreen() override;
    void setClickThrough(bool clickThrough) override;
    void setPanelAppearance(HUDPanelAppearance appearance) override;
    bool isEffectiveAppearanceDark() override;
    ObserverHandle observeEffectiveAppearance(std::function<void()> changed) override;
    void setPanelInput(HUDPanelInput input) override { input_ = std::move(input); }

    void setScene(std::function<HUDDisplayList(MonotonicTime)> scene) override { scene_ = std::move(scene); }
    void setNeedsDisplay() override { ++displayRequests_; }

    bool canMonitorMouseDowns() override { return hud().mouseMonitorAvailable; }
    ObserverHandle monitorMouseDowns(std::function<void(const HUDMouseDown&)> pressed) override;

    bool canAnnounce() override { return hud().announcementsAvailable; }
    void announce(const std::string& text, int priority) override;
    HUDDisplayOptions displayOptions() override { return hud().displayOptions; }
    ObserverHandle observeDisplayOptions(std::function<void()> changed) override;

    // ---- What the desktop and tests do ------------------------------------------
    // What the panel shows at `now`; an empty list without a scene.
    HUDDisplayList sceneAt(MonotonicTime now) const;
    int displayRequests() const { return displayRequests_; }
    std::size_t mouseMonitorCount() const { return mouseMonitors_.size(); }
    // A mouse press at a global point: the monitors see it, then the panel
    // when it lies inside it and takes mouse events.
    void deliverMouseDown(const HUDMouseDown& press);
    // A scroll while the pointer is over the panel.
    void deliverScroll(double deltaY);
    void screensChanged() { screenObservers_.notify(); }
    void appearanceMayHaveChanged(bool wasDark);
    void displayOptionsChanged() { displayOptionObservers_.notify(); }
    // Tells the panel whether the pointer now rests on it.
    void updateHover();

private:
    SimHUDModel& hud() { return desktop_.model().hud; }
    const SimHUDModel& hud() const { return desktop_.model().hud; }
    void log(std::string event);
    bool contains(const HUDRect& frame, HUDPoint point) const;

    SimDesktop& desktop_;
    HUDPanelInput input_;
    std::function<HUDDisplayList(MonotonicTime)> scene_;
    int displayRequests_ = 0;
    ObserverList<> screenObservers_;
    ObserverList<> appearanceObservers_;
    ObserverList<> displayOptionObservers_;
    ObserverList<const HUDMouseDown&> mouseMonitors_;
};

}  // namespace murmo
