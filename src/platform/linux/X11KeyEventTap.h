#pragma once

// One key tap on X11, on two connections of its own.
//
// X11 cannot withhold an event after the fact, so the tap claims beforehand
// exactly the keys its callback may swallow (setSwallowCandidates): a passive
// grab of each candidate key, in synchronous mode, so the server holds the
// keyboard until the verdict, then releases the event to the focused window
// (pass) or drops it (swallow). A whole-keyboard claim is an active grab.
//
// What the callback sees comes from XInput2 raw key events of every master
// device, on a second connection: the grabbing connection does not get raw
// events of keys delivered through its own grab. Raw events carry neither
// modifier state nor auto-repeat, so the tap keeps the held keys itself
// (flags-changed events come from presses and releases of modifier keys) and
// takes the repeats of a grabbed key from the grab.
//
// When the server goes away the tap sends its callback one disabled notice
// and serves nothing more.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/KeyTap.h"
#include "platform/linux/X11Connection.h"
#include "runtime/Wakeup.h"

namespace murmo {

class X11KeyEventTap final : public KeyEventTap, public std::enable_shared_from_this<X11KeyEventTap> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Null when the server cannot be reached or offers no XInput2 2.2.
    static std::shared_ptr<X11KeyEventTap> open(const std::string& displayName, KeyTapCallback callback);

    X11KeyEventTap(Passkey, std::unique_ptr<X11Connection> grabbing, std::unique_ptr<X11Connection> raw,
                   int inputOpcode, std::set<int> xtestDevices, KeyTapCallback callback);
    ~X11KeyEventTap() override;
    X11KeyEventTap(const X11KeyEventTap&) = delete;
    X11KeyEventTap& operator=(const X11KeyEventTap&) = delete;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    void invalidate() override;
    bool setSwallowCandidates(const KeyTapSwallowCandidates& candidates) override;

    void attachToCurrentThread() override;
    bool runOnce(Duration timeout) override;
    void detachThread() override;

    void attachToMainLoop(MainLoop& loop) override;
    void detachFromMainLoop() override;

private:
    // A key held down, as the tap last saw it.
    struct HeldKey {
        // The server time of its press (0: already down when the tap opened).
        unsigned long time = 0;
        bool synthetic = false;
        // Its press reached the callback from the grab, before its raw event.
        bool fromGrab = false;
        // The verdict on its press, for the grab that waits for it.
        std::optional<KeyTapVerdict> verdict;
    };

    // One event for the callback.
    struct Work {
        enum class Source { raw, grab, notice };
        KeyTapEvent event;
        Source source = Source::raw;
        unsigned xKeyCode = 0;
    };

    std::optional<Work> nextWorkLocked();
    std::optional<Work> rawWorkLocked();
    std::optional<Work> grabWorkLocked(bool& deferred);
    KeyTapEvent eventLocked(unsigned xKeyCode, bool press, bool synthetic, bool repeat) const;
    std::uint64_t flagsLocked() const;
    // Hands one event to the callback; false when there was none.
    bool serveOne();
    void finishLocked(const Work& work, KeyTapVerdict verdict);
    void allowLocked(KeyTapVerdict verdict);
    bool claimLocked(const KeyTapSwallowCandidates& candidates);
    void releaseClaimsLocked();
    void discardPendingLocked();
    bool brokenLocked() const;
    void waitForEvents(Duration timeout);
    void serveMainLoopPass();

    mutable std::mutex mutex_;
    const std::unique_ptr<X11Connection> grabbing_;
    const std::unique_ptr<X11Connection> raw_;
    const int inputOpcode_;
    const std::set<int> xtestDevices_;
    KeyTapCallback callback_;
    bool enabled_ = false;
    bool valid_ = true;
    bool noticeSent_ = false;
    std::map<unsigned, HeldKey> held_;
    // A grabbed press whose raw event was looked for once already.
    std::optional<std::pair<unsigned, unsigned long>> lookedForRawPress_;
    // Claims: passive grabs (keycode, modifiers) and the whole keyboard.
    std::vector<std::pair<unsigned, unsigned>> grabs_;
    bool keyboardGrabbed_ = false;

    std::optional<std::thread::id> servingThread_;
    Wakeup wakeup_;
    MainLoop* loop_ = nullptr;
    std::vector<ReadableWatch> connectionWatches_;
    std::optional<ReadableWatch> wakeupWatch_;
};

}  // namespace murmo
