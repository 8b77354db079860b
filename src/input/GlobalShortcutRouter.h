#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "input/ConfirmationWait.h"
#include "input/Shortcut.h"
#include "input/ShortcutMonitorError.h"
#include "input/ShortcutReducer.h"
#include "platform/KeyTap.h"
#include "runtime/Clock.h"

namespace murmo {

// Watches the keyboard system-wide and turns key events into press, release
// and cancel actions for the dictation shortcut and, optionally, the agent
// shortcut. Its tap runs on a thread of its own; the key events that belong
// to a shortcut are swallowed so the frontmost application never sees them.
//
// Made with create() and owned by one owner. start(), stop() and destruction
// happen on the owner's thread (the main thread); dropping the router stops
// it, and once its destructor has returned no action reaches the owner. The
// tap thread shares only the router's inner state, never the router itself,
// so the owner's drop is always where the router ends.
class GlobalShortcutRouter {
    // Explicit, so `{}` from outside cannot stand in for it.
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Called on the router thread, never under the router's lock, in the order
    // the actions arose, with the monotonic time read as the event was handled.
    using ActionCallback = std::function<void(ShortcutPurpose purpose, ShortcutAction action, MonotonicTime arose)>;
    using StartResult = std::expected<void, ShortcutMonitorError>;

    // The longest start() blocks the main thread for the thread to confirm.
    static constexpr Duration kStartTimeout = std::chrono::seconds(1);
    // One pass of the router thread: it rechecks its generation this often.
    static constexpr Duration kPassTimeout = std::chrono::milliseconds(100);

    // `clock` must outlive the router. `startWait` is how start() spends its
    // time limit; null waits in real time.
    static std::unique_ptr<GlobalShortcutRouter> create(std::shared_ptr<KeyTap> keyTap, const Clock& clock,
                                                        ShortcutChoice dictation,
                                                        std::optional<ShortcutChoice> agent = std::nullopt,
                                                        std::shared_ptr<ConfirmationWait> startWait = nullptr);

    GlobalShortcutRouter(Passkey, std::shared_ptr<KeyTap> keyTap, const Clock& clock, ShortcutChoice dictation,
                         std::optional<ShortcutChoice> agent, std::shared_ptr<ConfirmationWait> startWait);
    GlobalShortcutRouter(const GlobalShortcutRouter&) = delete;
    GlobalShortcutRouter& operator=(const GlobalShortcutRouter&) = delete;
    // Stops the router. Dropped on the router thread (from inside onAction),
    // it delivers no further action of the event in hand.
    ~GlobalShortcutRouter();

    // Set by the owner before start(); start() hands it to the router thread.
    ActionCallback onAction;

    // Starts the tap and its thread, blocking at most kStartTimeout. Does
    // nothing while a tap exists.
    StartResult start();
    // Stops the tap and retires its thread; reports nothing, even for a held
    // shortcut. Safe at any time and more than once.
    void stop();

    const std::map<ShortcutPurpose, ShortcutChoice>& shortcuts() const;

private:
    class Shared;

    void stopTap(bool waitForThread);

    const std::shared_ptr<KeyTap> keyTap_;
    const std::shared_ptr<ConfirmationWait> startWait_;
    const std::shared_ptr<Shared> shared_;
    // The thread of the latest start.
    std::thread thread_;
};

}  // namespace murmo
