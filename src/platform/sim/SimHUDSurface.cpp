#include "platform/sim/SimHUDSurface.h"

#include <fmt/format.h>

#include <algorithm>

namespace murmo {

namespace {

double mix(double from, double to, double progress) { return from + (to - from) * progress; }

HUDRect mix(const HUDRect& from, const HUDRect& to, double progress) {
    return {mix(from.x, to.x, progress), mix(from.y, to.y, progress), mix(from.width, to.width, progress),
            mix(from.height, to.height, progress)};
}

std::string describe(const HUDRect& r) { return fmt::format("{} {} {} {}", r.x, r.y, r.width, r.height); }

double overlap(const HUDRect& a, const HUDRect& b) {
    const double width = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const double height = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

}  // namespace

std::optional<HUDScreen> SimHUDSurface::mainScreen() {
    const auto& model = hud();
    if (!model.mainScreen || *model.mainScreen >= model.screens.size()) return std::nullopt;
    return model.screens[*model.mainScreen];
}

ObserverHandle SimHUDSurface::observeScreenChanges(std::function<void()> changed) {
    return screenObservers_.add(std::move(changed));
}

HUDRect SimHUDSurface::panelFrame() {
    const auto& panel = hud().panel;
    if (!panel.frameAnimation) return panel.frame;
    const auto& track = *panel.frameAnimation;
    return mix(track.from, panel.frame, track.progress(desktop_.now()));
}

double SimHUDSurface::panelAlpha() {
    const auto& panel = hud().panel;
    if (!panel.alphaAnimation) return panel.alpha;
    const auto& track = *panel.alphaAnimation;
    return mix(track.from, panel.alpha, track.progress(desktop_.now()));
}

void SimHUDSurface::setPanelFrame(const HUDRect& frame) {
    auto& panel = hud().panel;
    panel.frame = frame;
    panel.frameAnimation.reset();
    log("frame " + describe(frame));
    updateHover();
}

void SimHUDSurface::setPanelAlpha(double alpha) {
    auto& panel = hud().panel;
    panel.alpha = alpha;
    panel.alphaAnimation.reset();
    log(fmt::format("alpha {}", alpha));
}

void SimHUDSurface::animatePanel(const HUDPanelAnimation& animation, std::function<void()> completion) {
    const auto now = desktop_.now();
    const auto duration = std::max(animation.duration, Duration::zero());
    std::string event = "animate";
    if (animation.frame) {
        const auto from = panelFrame();
        hud().panel.frame = *animation.frame;
        hud().panel.frameAnimation = SimHUDTrack<HUDRect>{from, now, duration, animation.curve};
        event += " frame " + describe(*animation.frame);
    }
    if (animation.alpha) {
        const auto from = panelAlpha();
        hud().panel.alpha = *animation.alpha;
        hud().panel.alphaAnimation = SimHUDTrack<double>{from, now, duration, animation.curve};
        event += fmt::format(" alpha {}", *animation.alpha);
    }
    log(event + fmt::format(" {}s", std::chrono::duration<double>(duration).count()));
    desktop_.later(duration, [this, completion = std::move(completion)] {
        updateHover();
        if (completion) completion();
    });
}

void SimHUDSurface::orderFront() {
    hud().panel.visible = true;
    log("front");
    updateHover();
}

void SimHUDSurface::orderOut() {
    hud().panel.visible = false;
    log("out");
    updateHover();
}

std::optional<HUDScreen> SimHUDSurface::panelScreen() {
    const auto frame = panelFrame();
    std::optional<HUDScreen> best;
    double bestOverlap = 0;
    for (const auto& screen : hud().screens) {
        if (const double area = overlap(frame, screen.frame); area > bestOverlap) {
            bestOverlap = area;
            best = screen;
        }
    }
    return best;
}

void SimHUDSurface::setClickThrough(bool clickThrough) {
    if (hud().panel.clickThrough == clickThrough) return;
    hud().panel.clickThrough = clickThrough;
    log(clickThrough ? "click-through on" : "click-through off");
}

void SimHUDSurface::setPanelAppearance(HUDPanelAppearance appearance) {
    const bool wasDark = isEffectiveAppearanceDark();
    hud().panel.appearance = appearance;
    constexpr const char* names[] = {"system", "light", "dark"};
    log(std::string("appearance ") + names[static_cast<int>(appearance)]);
    appearanceMayHaveChanged(wasDark);
}

bool SimHUDSurface::isEffectiveAppearanceDark() {
    switch (hud().panel.appearance) {
        case HUDPanelAppearance::light: return false;
        case HUDPanelAppearance::dark: return true;
        case HUDPanelAppearance::system: break;
    }
    return hud().systemDark;
}

ObserverHandle SimHUDSurface::observeEffectiveAppearance(std::function<void()> changed) {
    return appearanceObservers_.add(std::move(changed));
}

ObserverHandle SimHUDSurface::monitorMouseDowns(std::function<void(const HUDMouseDown&)> pressed) {
    if (!canMonitorMouseDowns()) return {};
    return mouseMonitors_.add(std::move(pressed));
}

void SimHUDSurface::announce(const std::string& text, int priority) {
    if (!canAnnounce()) return;
    log(fmt::format("announce {} ({})", text, priority));
}

ObserverHandle SimHUDSurface::observeDisplayOptions(std::function<void()> changed) {
    return displayOptionObservers_.add(std::move(changed));
}

HUDDisplayList SimHUDSurface::sceneAt(MonotonicTime now) const { return scene_ ? scene_(now) : HUDDisplayList{}; }

void SimHUDSurface::deliverMouseDown(const HUDMouseDown& press) {
    mouseMonitors_.notify(press);
    const auto& panel = hud().panel;
    const auto frame = panelFrame();
    if (panel.visible && !panel.clickThrough && contains(frame, press.location) && input_.clicked) {
        input_.clicked(HUDPoint{press.location.x - frame.x, press.location.y - frame.y});
    }
}

void SimHUDSurface::deliverScroll(double deltaY) {
    const auto& panel = hud().panel;
    if (panel.visible && !panel.clickThrough && contains(panelFrame(), hud().pointer) && input_.scrolled) {
        input_.scrolled(deltaY);
    }
}

void SimHUDSurface::appearanceMayHaveChanged(bool wasDark) {
    if (isEffectiveAppearanceDark() != wasDark) appearanceObservers_.notify();
}

void SimHUDSurface::updateHover() {
    auto& panel = hud().panel;
    const bool inside = panel.visible && contains(panelFrame(), hud().pointer);
    if (inside == panel.hovered) return;
    panel.hovered = inside;
    desktop_.later(Duration::zero(), [this, inside] {
        if (input_.hoverChanged) input_.hoverChanged(inside);
    });
}

void SimHUDSurface::log(std::string event) { hud().log.push_back({desktop_.now(), std::move(event)}); }

bool SimHUDSurface::contains(const HUDRect& frame, HUDPoint point) const {
    return point.x >= frame.x && point.x < frame.x + frame.width && point.y >= frame.y &&
           point.y < frame.y + frame.height;
}

}  // namespace murmo
