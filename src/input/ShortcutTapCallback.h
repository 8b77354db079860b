#pragma once

#include <memory>

#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "platform/KeyTap.h"

namespace murmo {

// The routine behind every shortcut tap (the router's and the capture's). The
// monitor is held weakly: a tap never keeps its owner alive, and once the
// monitor is gone every event passes untouched. The application's own
// synthetic events pass without reaching the monitor at all.
template <class Monitor>
KeyTapCallback makeShortcutTapCallback(std::weak_ptr<Monitor> weakMonitor) {
    return [weakMonitor = std::move(weakMonitor)](const KeyTapEvent& event) {
        auto monitor = weakMonitor.lock();
        if (!monitor) return KeyTapVerdict::pass;
        if (isTapDisabledNotice(event.type)) {
            monitor->handleTapDisabled();
            return KeyTapVerdict::pass;
        }
        if (MurmoSyntheticKeyboardEventPolicy::isMarked(event)) return KeyTapVerdict::pass;
        return monitor->consume(event) ? KeyTapVerdict::swallow : KeyTapVerdict::pass;
    };
}

}  // namespace murmo
