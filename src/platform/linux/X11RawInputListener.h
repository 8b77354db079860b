#pragma once

// Key presses and mouse-button presses of the whole session, as XInput2 raw
// events on the master devices, heard on a connection and a thread of their
// own. Raw events reach this client whatever window has the focus and
// whatever client grabs the keyboard.
//
// X11 events carry no user-data field, so the application's own keys cannot
// be marked the way the core expects. Every event whose source device is an
// XTest device is taken for the application's own (synthetic) and carries
// kSyntheticEventUserDataMarker; any other client posting with XTest is
// counted as synthetic too. Every other source is the user's.
//
// The counters count the user's presses only, from the moment the listener
// opens, wrapping at 2^32. A broken connection (the server went away) ends
// the thread; the counters then stand still.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/UserInputWatch.h"
#include "platform/linux/X11Connection.h"
#include "runtime/Error.h"
#include "runtime/Wakeup.h"

namespace murmo {

class X11RawInputListener {
public:
    using Observer = std::function<void(const UserInputEvent&)>;

    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached
    // or offers no XInput 2.1 (raw events on the root window). Listening when
    // it returns.
    static Result<std::shared_ptr<X11RawInputListener>> open(const std::string& displayName = {});
    ~X11RawInputListener();
    X11RawInputListener(const X11RawInputListener&) = delete;
    X11RawInputListener& operator=(const X11RawInputListener&) = delete;

    // Any thread.
    std::uint32_t userEventCount(InputEventType type) const;
    // Whether the connection still serves events.
    bool isListening() const { return listening_.load(); }

    // Any thread. The observer is called on the listener's thread for every
    // press, the user's and the synthetic ones.
    std::uint64_t addObserver(Observer observer);
    // Any thread, an observer's own call included. No call of the observer
    // starts after this returns, and one in progress on another thread has
    // ended.
    void removeObserver(std::uint64_t id);

private:
    X11RawInputListener(std::unique_ptr<X11Connection> connection, int opcode);

    void run();
    void handle(void* cookie);
    void findXTestDevices();
    void dispatch(const UserInputEvent& event);

    // The listener's thread only, after construction; the thread closes it
    // as it ends, on the thread that may have found it broken.
    std::unique_ptr<X11Connection> connection_;
    int opcode_;
    std::set<int> xtestDevices_;
    std::atomic<bool> listening_{true};

    std::array<std::atomic<std::uint32_t>, 4> counts_{};
    // Held while an observer runs, so removal waits for it; recursive so an
    // observer may remove itself.
    mutable std::recursive_mutex observersMutex_;
    std::map<std::uint64_t, Observer> observers_;
    std::uint64_t nextObserverID_ = 1;

    Wakeup stop_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace murmo
