#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <mutex>

#include "input/ShortcutCaptureReducer.h"
#include "input/ShortcutMonitorError.h"
#include "platform/KeyTap.h"
#include "runtime/MainLoop.h"

namespace murmo {

// Records a new shortcut: while it runs it takes the keyboard for itself,
// swallowing every key press of every application, and reports exactly one
// result, the captured shortcut or a cancellation. Its tap is served by the
// main loop, so everything here happens on the main thread.
//
// Made with create() and owned by one owner, who stops it as soon as the
// result arrives; dropping it stops it too.
class ShortcutCaptureMonitor : public std::enable_shared_from_this<ShortcutCaptureMonitor> {
    // Explicit, so `{}` from outside cannot stand in for it: a monitor made
    // outside a shared_ptr could never hand its callbacks a weak reference.
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Called on the main thread, outside the monitor's lock, at most once per start.
    using ActionCallback = std::function<void(const ShortcutCaptureAction& action)>;
    using StartResult = std::expected<void, ShortcutMonitorError>;

    static std::shared_ptr<ShortcutCaptureMonitor> create(std::shared_ptr<KeyTap> keyTap, MainLoop& loop);

    ShortcutCaptureMonitor(Passkey, std::shared_ptr<KeyTap> keyTap, MainLoop& loop);
    ShortcutCaptureMonitor(const ShortcutCaptureMonitor&) = delete;
    ShortcutCaptureMonitor& operator=(const ShortcutCaptureMonitor&) = delete;
    ~ShortcutCaptureMonitor();

    ActionCallback onAction;

    // Installs the tap with a fresh capture. Does nothing while a tap exists.
    StartResult start();
    // Removes the tap; safe to repeat.
    void stop();

    // The tap's callback.
    bool consume(const KeyTapEvent& event);
    void handleTapDisabled();

private:
    void report(const std::optional<ShortcutCaptureAction>& action) const;

    const std::shared_ptr<KeyTap> keyTap_;
    MainLoop& loop_;

    std::mutex mutex_;
    ShortcutCaptureReducer reducer_;
    std::shared_ptr<KeyEventTap> tap_;
    MainLoop* runLoop_ = nullptr;
};

}  // namespace murmo
