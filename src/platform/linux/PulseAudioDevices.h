#pragma once

// The audio devices of the sound server: its sources as input devices (not
// the monitors of its sinks), its sinks as output devices, its default source
// and sink as the defaults. Ids follow PulseAudioContext.h and, like the
// server's indices, are never reused while the server runs.
//
// Queries read a snapshot under a mutex and never wait on the sound server,
// so they are safe from any thread, the connection's loop thread included
// (an audio callback). The snapshot is read whole at creation and kept
// current on the loop thread from the server's events; a device the server
// removed fails every query, and once the connection is lost every query
// fails.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/AudioDevices.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioDevicesSnapshot.h"
#include "runtime/Clock.h"
#include "runtime/Error.h"

namespace murmo {

class PulseAudioDevices final : public AudioDevices {
public:
    // Reads the server's devices and defaults, each read waited for at most
    // `timeout`. Fails without a connection or when a read fails. Never on
    // the loop thread.
    static Result<std::shared_ptr<PulseAudioDevices>> create(std::shared_ptr<PulseAudioContext> context,
                                                             Duration timeout);
    // Never on the loop thread.
    ~PulseAudioDevices() override;
    PulseAudioDevices(const PulseAudioDevices&) = delete;
    PulseAudioDevices& operator=(const PulseAudioDevices&) = delete;

    std::optional<std::vector<AudioDeviceID>> deviceIDs() const override;
    std::optional<bool> isAlive(AudioDeviceID device) const override;
    std::optional<std::size_t> inputStreamCount(AudioDeviceID device) const override;
    std::optional<std::string> name(AudioDeviceID device) const override;
    std::optional<AudioTransportType> transportType(AudioDeviceID device) const override;
    std::optional<AudioDeviceID> defaultDevice(DefaultAudioDevice which) const override;

private:
    explicit PulseAudioDevices(std::shared_ptr<PulseAudioContext> context);

    Status readEverything(Duration timeout);
    // Loop thread (or with the loop locked):
    void onServerEvent(pa_subscription_event_type_t facility, pa_subscription_event_type_t type, std::uint32_t index);
    void keep(pa_operation* operation);
    void store(PulseAudioDeviceKind kind, const PulseAudioDeviceInfo& info);
    void storeDefaults(const pa_server_info& info);

    static void onSourceInfo(pa_context*, const pa_source_info* info, int last, void* self);
    static void onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* self);
    static void onServerInfo(pa_context*, const pa_server_info* info, void* self);

    std::shared_ptr<PulseAudioContext> context_;
    mutable std::mutex mutex_;
    PulseAudioDevicesSnapshot snapshot_;  // guarded by mutex_
    // Reads started from events, cancelled when this goes; guarded by the loop lock.
    std::vector<PulseOperationHandle> pending_;
    std::unique_ptr<PulseAudioContext::Observation> events_;
    std::unique_ptr<PulseAudioContext::Observation> loss_;
};

}  // namespace murmo
