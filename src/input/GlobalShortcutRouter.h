#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "input/EventTapLifecycleReducer.h"
#include "input/FunctionKeyOwnershipReducer.h"
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
// happen on the main thread; dropping the router stops it.
class GlobalShortcutRouter : public std::enable_shared_from_this<GlobalShortcutRouter> {
    struct Passkey {};

public:
    // Called on the router thread, never under the router's lock, in the order
    // the actions arose, with the monotonic time (uptime in nanoseconds) read
    // as the event was handled.
    using ActionCallback =
        std::function<void(ShortcutPurpose purpose, ShortcutAction action, std::uint64_t uptimeNanoseconds)>;
    using StartResult = std::expected<void, ShortcutMonitorError>;

    // The longest start() blocks the main thread for the thread to confirm.
    static constexpr Duration kStartTimeout = std::chrono::seconds(1);
    // One pass of the router thread: it rechecks its generation this often.
    static constexpr Duration kPassTimeout = std::chrono::milliseconds(100);

    // `clock` must outlive the router.
    static std::shared_ptr<GlobalShortcutRouter> create(std::shared_ptr<KeyTap> keyTap, const Clock& clock,
                                                        ShortcutChoice dictation,
                                                        std::optional<ShortcutChoice> agent = std::nullopt);

    GlobalShortcutRouter(Passkey, std::shared_ptr<KeyTap> keyTap, const Clock& clock, ShortcutChoice dictation,
                         std::optional<ShortcutChoice> agent);
    GlobalShortcutRouter(const GlobalShortcutRouter&) = delete;
    GlobalShortcutRouter& operator=(const GlobalShortcutRouter&) = delete;
    ~GlobalShortcutRouter();

    // Set by the owner before start(); read on the router thread.
    ActionCallback onAction;

    // Starts the tap and its thread, blocking at most kStartTimeout. Does
    // nothing while a tap exists.
    StartResult start();
    // Stops the tap and retires its thread; reports nothing, even for a held
    // shortcut. Safe at any time and more than once.
    void stop();

    const std::map<ShortcutPurpose, ShortcutChoice>& shortcuts() const { return shortcuts_; }

    // The tap's callback, on the router thread.
    bool consume(const KeyTapEvent& event);
    void handleTapDisabled();

private:
    struct StartSignal;
    using Actions = std::vector<std::pair<ShortcutPurpose, ShortcutAction>>;

    static void runThread(std::weak_ptr<GlobalShortcutRouter> weakRouter, std::shared_ptr<StartSignal> signal,
                          std::shared_ptr<KeyEventTap> tap, EventTapGeneration generation);
    // Router thread, after it serves the tap: true when its start still counts.
    bool confirmThreadServing(EventTapGeneration generation, KeyEventTap& tap);
    bool isActiveGeneration(EventTapGeneration generation) const;

    void stopTap(bool waitForThread);
    void resetTransientStateLocked();
    void report(const Actions& actions) const;

    const std::shared_ptr<KeyTap> keyTap_;
    const Clock& clock_;
    const std::map<ShortcutPurpose, ShortcutChoice> shortcuts_;
    const bool hasFunctionShortcut_;

    mutable std::mutex mutex_;
    std::map<ShortcutPurpose, ShortcutReducer> reducers_;
    // Purposes whose chord key-down was swallowed, so its key-up is too.
    std::set<ShortcutPurpose> suppressedChordKeyDown_;
    FunctionKeyOwnershipReducer functionOwnership_;
    std::shared_ptr<KeyEventTap> tap_;
    // The router thread serves the tap.
    bool threadServing_ = false;
    EventTapLifecycleReducer lifecycle_;

    // Main thread only (or the destroying thread).
    std::thread thread_;
};

}  // namespace murmo
