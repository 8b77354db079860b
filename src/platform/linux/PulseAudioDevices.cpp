#include "platform/linux/PulseAudioDevices.h"

#include <algorithm>

namespace murmo {

namespace {

std::optional<std::string> property(const pa_proplist* properties, const char* key) {
    const char* value = properties ? pa_proplist_gets(properties, key) : nullptr;
    if (!value) return std::nullopt;
    return std::string(value);
}

PulseAudioDeviceInfo deviceInfo(std::uint32_t index, const char* name, const char* description,
                                const pa_proplist* properties, bool isMonitor) {
    return PulseAudioDeviceInfo{index,
                                name ? name : "",
                                description ? description : "",
                                isMonitor,
                                property(properties, PA_PROP_DEVICE_FORM_FACTOR),
                                property(properties, PA_PROP_DEVICE_BUS)};
}

}  // namespace

PulseAudioDevices::PulseAudioDevices(std::shared_ptr<PulseAudioContext> context) : context_(std::move(context)) {}

Result<std::shared_ptr<PulseAudioDevices>> PulseAudioDevices::create(std::shared_ptr<PulseAudioContext> context,
                                                                     Duration timeout) {
    if (!context)
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioConnectFailed, "no sound server connection");
    std::shared_ptr<PulseAudioDevices> devices(new PulseAudioDevices(std::move(context)));
    // Listening before reading, so nothing that changes during the read is missed.
    auto* self = devices.get();
    devices->events_ = devices->context_->observeEvents(
        static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK |
                                            PA_SUBSCRIPTION_MASK_SERVER),
        [self](auto facility, auto type, std::uint32_t index) { self->onServerEvent(facility, type, index); });
    devices->loss_ = devices->context_->observeConnectionLoss([self] {
        std::lock_guard guard(self->mutex_);
        self->snapshot_.markDisconnected();
    });
    if (auto read = devices->readEverything(timeout); !read) return fail(read.error());
    return devices;
}

PulseAudioDevices::~PulseAudioDevices() {
    // No event starts a read after this, and no read in flight calls back.
    events_.reset();
    loss_.reset();
    PulseAudioContext::Lock lock(*context_);
    for (auto& operation : pending_) pa_operation_cancel(operation.get());
    pending_.clear();
}

Status PulseAudioDevices::readEverything(Duration timeout) {
    PulseAudioContext::Lock lock(*context_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto remaining = [&] {
        return std::max(Duration::zero(), Duration(deadline - std::chrono::steady_clock::now()));
    };
    if (auto read =
            context_->run(lock, "reading the sound server's sources", remaining(),
                          [this](pa_context* c) { return pa_context_get_source_info_list(c, onSourceInfo, this); });
        !read) {
        return read;
    }
    if (auto read = context_->run(lock, "reading the sound server's sinks", remaining(),
                                  [this](pa_context* c) { return pa_context_get_sink_info_list(c, onSinkInfo, this); });
        !read) {
        return read;
    }
    return context_->run(lock, "reading the sound server's defaults", remaining(),
                         [this](pa_context* c) { return pa_context_get_server_info(c, onServerInfo, this); });
}

void PulseAudioDevices::onServerEvent(pa_subscription_event_type_t facility, pa_subscription_event_type_t type,
                                      std::uint32_t index) {
    pa_context* context = context_->context();
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        keep(pa_context_get_server_info(context, onServerInfo, this));
        return;
    }
    const auto kind =
        facility == PA_SUBSCRIPTION_EVENT_SOURCE ? PulseAudioDeviceKind::source : PulseAudioDeviceKind::sink;
    if (type == PA_SUBSCRIPTION_EVENT_REMOVE) {
        std::lock_guard guard(mutex_);
        snapshot_.remove(kind, index);
        return;
    }
    keep(kind == PulseAudioDeviceKind::source ? pa_context_get_source_info_by_index(context, index, onSourceInfo, this)
                                              : pa_context_get_sink_info_by_index(context, index, onSinkInfo, this));
}

void PulseAudioDevices::keep(pa_operation* operation) {
    std::erase_if(pending_, [](const PulseOperationHandle& kept) {
        return pa_operation_get_state(kept.get()) != PA_OPERATION_RUNNING;
    });
    if (operation) pending_.emplace_back(operation);
}

void PulseAudioDevices::store(PulseAudioDeviceKind kind, const PulseAudioDeviceInfo& info) {
    std::lock_guard guard(mutex_);
    snapshot_.update(kind, info);
}

void PulseAudioDevices::storeDefaults(const pa_server_info& info) {
    std::lock_guard guard(mutex_);
    snapshot_.setDefaults(info.default_source_name ? info.default_source_name : "",
                          info.default_sink_name ? info.default_sink_name : "");
}

void PulseAudioDevices::onSourceInfo(pa_context*, const pa_source_info* info, int last, void* self) {
    // `last` below 0: the source went before its description was read; its
    // removal event says so.
    if (last != 0 || !info) return;
    static_cast<PulseAudioDevices*>(self)->store(PulseAudioDeviceKind::source,
                                                 deviceInfo(info->index, info->name, info->description, info->proplist,
                                                            info->monitor_of_sink != PA_INVALID_INDEX));
}

void PulseAudioDevices::onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* self) {
    if (last != 0 || !info) return;
    static_cast<PulseAudioDevices*>(self)->store(
        PulseAudioDeviceKind::sink, deviceInfo(info->index, info->name, info->description, info->proplist, false));
}

void PulseAudioDevices::onServerInfo(pa_context*, const pa_server_info* info, void* self) {
    if (info) static_cast<PulseAudioDevices*>(self)->storeDefaults(*info);
}

std::optional<std::vector<AudioDeviceID>> PulseAudioDevices::deviceIDs() const {
    std::lock_guard guard(mutex_);
    return snapshot_.deviceIDs();
}

std::optional<bool> PulseAudioDevices::isAlive(AudioDeviceID device) const {
    std::lock_guard guard(mutex_);
    return snapshot_.isAlive(device);
}

std::optional<std::size_t> PulseAudioDevices::inputStreamCount(AudioDeviceID device) const {
    std::lock_guard guard(mutex_);
    return snapshot_.inputStreamCount(device);
}

std::optional<std::string> PulseAudioDevices::name(AudioDeviceID device) const {
    std::lock_guard guard(mutex_);
    return snapshot_.name(device);
}

std::optional<AudioTransportType> PulseAudioDevices::transportType(AudioDeviceID device) const {
    std::lock_guard guard(mutex_);
    return snapshot_.transportType(device);
}

std::optional<AudioDeviceID> PulseAudioDevices::defaultDevice(DefaultAudioDevice which) const {
    std::lock_guard guard(mutex_);
    return snapshot_.defaultDevice(which);
}

}  // namespace murmo
