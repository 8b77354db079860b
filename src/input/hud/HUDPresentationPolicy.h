#pragma once

#include <optional>

#include "input/hud/HUDMode.h"

namespace murmo {

// What the HUD shows when nothing else decides: a transient mode when one is
// up, else the idle capsule while it is to stay visible, else nothing. Once
// force-hidden (at shutdown) it shows nothing, for good.
struct HUDPresentationPolicy {
    bool alwaysVisible = false;
    HUDIdleState idleState = HUDIdleState::booting;
    std::optional<HUDMode> transientMode;
    bool isForceHidden = false;

    HUDPresentationPolicy() = default;
    HUDPresentationPolicy(bool alwaysVisible, HUDIdleState idleState)
        : alwaysVisible(alwaysVisible), idleState(idleState) {}

    void setAlwaysVisible(bool visible) {
        if (!isForceHidden) alwaysVisible = visible;
    }
    void setIdleState(HUDIdleState state) {
        if (!isForceHidden) idleState = state;
    }
    // An idle mode is refused: the idle capsule comes only from the two
    // settings above.
    void presentTransient(HUDMode mode) {
        if (!isForceHidden && mode.isTransient()) transientMode = mode;
    }
    void settleTransient() {
        if (!isForceHidden) transientMode.reset();
    }
    void forceHide() {
        transientMode.reset();
        isForceHidden = true;
    }

    std::optional<HUDMode> resolvedMode() const {
        if (isForceHidden) return std::nullopt;
        if (transientMode) return transientMode;
        if (alwaysVisible) return HUDMode::idle(idleState);
        return std::nullopt;
    }

    bool operator==(const HUDPresentationPolicy&) const = default;
};

}  // namespace murmo
