#pragma once

// One connection to the sound server, shared by everything that talks to it
// (the audio engine, devices, cues, speech), on a threaded main loop of its
// own. libpulse runs every callback on that loop's thread with the loop
// locked; any other thread touches the context or its streams only while it
// holds the loop's lock (PulseAudioContext::Lock).
//
// Waiting is always bounded and never happens on the loop thread: run()
// starts an operation, waits for its completion callback at most a time-out
// and cancels it when the time passes or the connection fails; waitUntil()
// does the same for any condition a callback signals. The loop thread itself
// must never wait (it is the one that would wake it).
//
// Device ids shared by the backends: a source with index i is the device
// 2i+1, a sink with index i the device 2i+2; 0 is no device.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pulse/pulseaudio.h>

#include "platform/AudioDevices.h"
#include "platform/linux/PulseAudioHandles.h"
#include "runtime/Clock.h"
#include "runtime/Error.h"

namespace murmo {

inline constexpr std::string_view kPulseAudioErrorDomain = "MurmoPulseAudio";

// Codes of errors in kPulseAudioErrorDomain.
enum PulseAudioErrorCode : long {
    kPulseAudioConnectFailed = 1,
    kPulseAudioTimedOut = 2,
    kPulseAudioConnectionLost = 3,
    kPulseAudioOperationFailed = 4,
    kPulseAudioNoSuchDevice = 5,
};

inline constexpr AudioDeviceID pulseSourceDeviceID(std::uint32_t sourceIndex) { return 2 * sourceIndex + 1; }
inline constexpr AudioDeviceID pulseSinkDeviceID(std::uint32_t sinkIndex) { return 2 * sinkIndex + 2; }
// The source a device id names; absent for a sink's id and for 0.
inline constexpr std::optional<std::uint32_t> pulseSourceIndex(AudioDeviceID device) {
    if (device % 2 == 0) return std::nullopt;
    return (device - 1) / 2;
}
// The sink a device id names; absent for a source's id and for 0.
inline constexpr std::optional<std::uint32_t> pulseSinkIndex(AudioDeviceID device) {
    if (device == 0 || device % 2 != 0) return std::nullopt;
    return (device - 2) / 2;
}

class PulseAudioContext : public std::enable_shared_from_this<PulseAudioContext> {
public:
    // Connects to $PULSE_SERVER or the default server, never starting one
    // (PA_CONTEXT_NOAUTOSPAWN), and waits at most `timeout` for the
    // connection to be ready. The connection subscribes to every server
    // event; observeEvents() hands them out.
    static Result<std::shared_ptr<PulseAudioContext>> connect(std::string_view applicationName, Duration timeout);
    // Disconnects and stops the loop. When the last owner lets go on the loop
    // thread (inside a callback), a short-lived thread of its own does this
    // once the callback has returned.
    ~PulseAudioContext();
    PulseAudioContext(const PulseAudioContext&) = delete;
    PulseAudioContext& operator=(const PulseAudioContext&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_.get(); }
    // Use only with the loop locked or on the loop thread.
    pa_context* context() const { return context_.get(); }
    bool isLoopThread() const;
    // With the loop locked or on the loop thread: the connection is ready.
    bool isConnected() const;

    // Holds the loop's lock while it lives. Never on the loop thread.
    class Lock {
    public:
        explicit Lock(const PulseAudioContext& context);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        const PulseAudioContext& context_;
    };

    // Wakes every waitUntil() and run() in progress so they check their
    // condition again. For callbacks on the loop thread.
    void signal() const;

    // With `lock` held, off the loop thread: waits until `done()` holds (true),
    // or the connection fails or `timeout` passes (false). `done` is checked
    // with the lock held, after every signal().
    bool waitUntil(Lock& lock, const std::function<bool()>& done, Duration timeout) const;

    // Starts an operation and waits for its end. `start` gets the context with
    // the loop locked and returns the operation it started (or null when
    // libpulse refused it); its completion callback records the result where
    // the caller reads it after run() returns. Fails when the operation could
    // not start, was cancelled, did not end within `timeout` (it is then
    // cancelled and its callback never runs) or the connection failed. Off the
    // loop thread only; the first form takes the lock itself.
    using OperationStart = std::function<pa_operation*(pa_context*)>;
    Status run(std::string_view what, Duration timeout, const OperationStart& start) const;
    Status run(Lock& lock, std::string_view what, Duration timeout, const OperationStart& start) const;

    // Keeps a handler registered while it lives; destroying it (on any
    // thread, inside a handler too) guarantees the handler is not called
    // afterwards.
    class Observation {
    public:
        virtual ~Observation() = default;
    };
    // Called on the loop thread for every server event whose facility is in
    // `mask`: `facility` and `type` are the event's parts
    // (PA_SUBSCRIPTION_EVENT_FACILITY_MASK / _TYPE_MASK), `index` the object's.
    // A handler may start operations but never wait for one.
    using EventHandler = std::function<void(pa_subscription_event_type_t facility, pa_subscription_event_type_t type,
                                            std::uint32_t index)>;
    std::unique_ptr<Observation> observeEvents(pa_subscription_mask_t mask, EventHandler handler);
    // Called once on the loop thread when a ready connection fails (the
    // server went away or dropped us).
    std::unique_ptr<Observation> observeConnectionLoss(std::function<void()> handler);

private:
    class Registration;
    struct EventObserver {
        pa_subscription_mask_t mask;
        EventHandler handler;
    };

    PulseAudioContext(PulseThreadedMainloopHandle mainloop, PulseContextHandle context);
    Status waitForConnection(Duration timeout);
    static void onStateChange(pa_context* context, void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t event, std::uint32_t index, void* self);
    void dispatchEvent(pa_subscription_event_type_t event, std::uint32_t index);
    void dispatchConnectionLoss();
    void forget(std::uint64_t observerID);
    Error connectionError(std::string_view what) const;

    PulseThreadedMainloopHandle mainloop_;
    PulseContextHandle context_;
    // Guarded by the loop's lock.
    bool wasReady_ = false;
    std::uint64_t nextObserverID_ = 1;
    std::map<std::uint64_t, EventObserver> eventObservers_;
    std::map<std::uint64_t, std::function<void()>> lossObservers_;
};

}  // namespace murmo
