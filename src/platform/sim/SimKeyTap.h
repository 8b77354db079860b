#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/KeyTap.h"

namespace murmo {

// The simulated event-tap facility. Tests send key events and disabled notices
// through the live taps as the system would, answer the permission checks,
// make tap creation fail, stall a tap thread's start, and read every verdict.
//
// A tap served by a thread of its own handles events on that thread: send()
// queues the event and waits for the verdict. A tap served by the main loop
// handles them inside send() when it is called on the main thread.
class SimKeyTap final : public KeyTap {
public:
    // What one tap's callback was given, and what it answered.
    struct Delivery {
        std::uint64_t tapID = 0;
        KeyTapEvent event;
        KeyTapVerdict verdict = KeyTapVerdict::pass;
    };

    // How long send() waits for a thread-served tap before the event passes
    // anyway, as the system lets events through a tap too slow to answer.
    static constexpr Duration kDeliveryTimeout = std::chrono::seconds(5);

    SimKeyTap();
    ~SimKeyTap() override;

    bool listenEventAccessGranted() const override;
    bool accessibilityTrusted() const override;
    std::shared_ptr<KeyEventTap> createTap(KeyTapCallback callback) override;
    bool requestListenEventAccess() override;

    // Whether the user grants listen-event access when asked (by default
    // the request changes nothing), and how often it was asked for.
    void setGrantsListenAccessOnRequest(bool grants);
    int listenAccessRequestCount() const;

    void setListenEventAccess(bool granted);
    void setAccessibilityTrusted(bool trusted);
    // While set, createTap() returns null.
    void setCreationFails(bool fails);
    // While set, a tap's setSwallowCandidates() is refused, as when another
    // application holds the keys.
    void setSwallowClaimsRefused(bool refused);
    // While held, a thread that attaches to serve a tap waits inside
    // attachToCurrentThread(): a tap thread that never confirms its start.
    void holdThreadAttachments();
    void releaseThreadAttachments();

    // One key event from the user: offered to the enabled, served taps, newest
    // first, until one swallows it. The result is what the frontmost
    // application would see: the event, or nothing.
    KeyTapVerdict send(const KeyTapEvent& event);
    // The system switches every enabled tap off and sends each a notice.
    void disableTaps(KeyTapEventType reason = KeyTapEventType::tapDisabledByTimeout);

    std::size_t createdTapCount() const;
    // Created and not yet invalidated.
    std::size_t liveTapCount() const;
    std::size_t enabledTapCount() const;
    // Taps that a thread is attached to now.
    std::size_t threadServedTapCount() const;
    // Waits (real time) until no tap is live; false on time-out.
    bool waitUntilNoLiveTaps(Duration timeout) const;
    // Every event a callback was given, in order, with its verdict.
    std::vector<Delivery> deliveries() const;
    // What a tap claims now: nothing before its first accepted claim, after a
    // refused one and once it is invalidated.
    std::optional<KeyTapSwallowCandidates> swallowCandidates(std::uint64_t tapID) const;

    static KeyTapEvent keyDown(std::int64_t keyCode, std::uint64_t flags = 0, bool isRepeat = false);
    static KeyTapEvent keyUp(std::int64_t keyCode, std::uint64_t flags = 0);
    static KeyTapEvent flagsChanged(std::int64_t keyCode, std::uint64_t flags);

    struct State;
    class Tap;

private:
    std::shared_ptr<State> state_;
};

}  // namespace murmo
