#include "platform/linux/PulseAudioEngine.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

#include "platform/linux/PulseStreamLifetime.h"

namespace murmo {

namespace {

constexpr pa_usec_t kFragmentUsec = 40'000;

struct ServerDefaults {
    std::string sourceName;
    std::string sinkName;
};

struct SourceDescription {
    std::string name;
    std::uint32_t index = PA_INVALID_INDEX;
    pa_sample_spec sampleFormat{};
    pa_channel_map channelMap{};
};

Error noSuchDevice(std::string message) {
    return Error(std::string(kPulseAudioErrorDomain), kPulseAudioNoSuchDevice, std::move(message));
}

Result<ServerDefaults> readServerDefaults(const PulseAudioContext& context, PulseAudioContext::Lock& lock,
                                          Duration timeout) {
    std::optional<ServerDefaults> defaults;
    auto done = context.run(lock, "reading the server's defaults", timeout, [&](pa_context* c) {
        return pa_context_get_server_info(
            c,
            [](pa_context*, const pa_server_info* info, void* out) {
                if (!info) return;
                *static_cast<std::optional<ServerDefaults>*>(out) =
                    ServerDefaults{info->default_source_name ? info->default_source_name : "",
                                   info->default_sink_name ? info->default_sink_name : ""};
            },
            &defaults);
    });
    if (!done) return fail(done.error());
    if (!defaults) return fail(noSuchDevice("the sound server did not describe itself"));
    return *defaults;
}

void keepSourceDescription(pa_context*, const pa_source_info* info, int, void* out) {
    if (!info) return;
    *static_cast<std::optional<SourceDescription>*>(out) =
        SourceDescription{info->name ? info->name : "", info->index, info->sample_spec, info->channel_map};
}

Result<SourceDescription> readSourceByName(const PulseAudioContext& context, PulseAudioContext::Lock& lock,
                                           const std::string& name, Duration timeout) {
    std::optional<SourceDescription> source;
    auto done = context.run(lock, "reading a source", timeout, [&](pa_context* c) {
        return pa_context_get_source_info_by_name(c, name.c_str(), keepSourceDescription, &source);
    });
    if (!done) return fail(done.error());
    if (!source) return fail(noSuchDevice("no source named " + name));
    return *source;
}

Result<SourceDescription> readSourceByIndex(const PulseAudioContext& context, PulseAudioContext::Lock& lock,
                                            std::uint32_t index, Duration timeout) {
    std::optional<SourceDescription> source;
    auto done = context.run(lock, "reading a source", timeout, [&](pa_context* c) {
        return pa_context_get_source_info_by_index(c, index, keepSourceDescription, &source);
    });
    if (!done) return fail(done.error());
    if (!source) return fail(noSuchDevice("no source with index " + std::to_string(index)));
    return *source;
}

Error notConnected() { return Error(std::string(kPulseAudioErrorDomain), kPulseAudioConnectFailed, "no sound server"); }

}  // namespace

// The source the stream records from, as resolved before it starts.
struct PulseAudioEngine::CaptureSource {
    // Empty: the server's default source, followed by the stream.
    std::string recordFrom;
    SourceDescription description;
    ServerDefaults defaultsAtResolution;
};

// Configuration-change handlers: shared with the observations, which may
// outlive the engine.
class PulseAudioEngine::HandlerRegistry {
public:
    std::uint64_t add(ConfigurationChangeHandler handler) {
        std::lock_guard lock(mutex_);
        const auto id = nextID_++;
        handlers_.emplace(id, std::make_shared<ConfigurationChangeHandler>(std::move(handler)));
        return id;
    }
    void remove(std::uint64_t id) {
        std::lock_guard lock(mutex_);
        handlers_.erase(id);
    }
    void post() {
        std::vector<std::shared_ptr<ConfigurationChangeHandler>> current;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [id, handler] : handlers_) current.push_back(handler);
        }
        for (const auto& handler : current) (*handler)();
    }

private:
    std::mutex mutex_;
    std::uint64_t nextID_ = 1;
    std::map<std::uint64_t, std::shared_ptr<ConfigurationChangeHandler>> handlers_;
};

// Removing a handler takes the loop's lock (off the loop thread), so once the
// observation is gone no posting of the loop thread still runs it.
class PulseAudioEngine::HandlerObservation : public AudioEngine::Observation {
public:
    HandlerObservation(std::shared_ptr<PulseAudioContext> context, std::shared_ptr<HandlerRegistry> registry,
                       std::uint64_t id)
        : context_(std::move(context)), registry_(std::move(registry)), id_(id) {}
    ~HandlerObservation() override {
        if (context_ && !context_->isLoopThread()) {
            PulseAudioContext::Lock lock(*context_);
            registry_->remove(id_);
        } else {
            registry_->remove(id_);
        }
    }

private:
    std::shared_ptr<PulseAudioContext> context_;
    std::shared_ptr<HandlerRegistry> registry_;
    std::uint64_t id_;
};

// The loop's lock, taken to end the delivery: the loop thread hands buffers
// to the tap with the lock held and takes it back at once after each
// callback, so a tap slower than real time would keep a waiter out forever.
// While any hold waits, arriving audio is dropped without calling the tap.
class PulseAudioEngine::TapHold {
public:
    explicit TapHold(const PulseAudioEngine& engine) : engine_(engine) {
        engine_.tapHolds_.fetch_add(1);
        lock_.emplace(*engine_.context_);
    }
    ~TapHold() {
        lock_.reset();
        engine_.tapHolds_.fetch_sub(1);
    }
    TapHold(const TapHold&) = delete;
    TapHold& operator=(const TapHold&) = delete;

private:
    const PulseAudioEngine& engine_;
    std::optional<PulseAudioContext::Lock> lock_;
};

PulseAudioEngine::PulseAudioEngine(std::shared_ptr<PulseAudioContext> context,
                                   std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget, Options options)
    : context_(std::move(context)),
      playbackTarget_(std::move(playbackTarget)),
      options_(std::move(options)),
      handlers_(std::make_shared<HandlerRegistry>()) {
    if (!context_) return;
    eventObservation_ = context_->observeEvents(
        static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
        [this](auto facility, auto type, std::uint32_t index) { onServerEvent(facility, type, index); });
    lossObservation_ = context_->observeConnectionLoss([this] { halt(); });
}

PulseAudioEngine::~PulseAudioEngine() {
    if (!context_) return;
    // Observations first: no handler of ours runs once they are gone.
    eventObservation_.reset();
    lossObservation_.reset();
    std::unique_ptr<PulseEchoCanceller> retired;
    {
        std::optional<TapHold> hold;
        if (!context_->isLoopThread()) hold.emplace(*this);
        disconnectStream();
        retired = retireCanceller();
    }
    // Unloads the canceller once the lock is free.
}

Status PulseAudioEngine::setVoiceProcessingEnabled(bool enabled) {
    if (!context_) return fail(notConnected());
    std::unique_ptr<PulseEchoCanceller> retired;
    PulseAudioContext::Lock lock(*context_);
    voiceProcessing_ = enabled;
    source_.reset();
    if (!enabled) {
        retired = retireCanceller();
        return {};
    }
    if (canceller_) return {};
    return loadCanceller(lock);
}

bool PulseAudioEngine::hasInputAudioUnit() const {
    if (!context_) return false;
    PulseAudioContext::Lock lock(*context_);
    return context_->isConnected();
}

Status PulseAudioEngine::setCurrentInputDevice(AudioDeviceID device) {
    if (!context_) return fail(notConnected());
    const auto index = pulseSourceIndex(device);
    if (!index) return fail(noSuchDevice("device " + std::to_string(device) + " is not a source"));
    std::unique_ptr<PulseEchoCanceller> retired;
    PulseAudioContext::Lock lock(*context_);
    auto source = readSourceByIndex(*context_, lock, *index, options_.operationTimeout);
    if (!source) return fail(source.error());
    boundSourceName_ = source->name;
    source_.reset();
    if (canceller_ && canceller_->masterSourceName() != source->name) {
        retired = retireCanceller();
        return loadCanceller(lock);
    }
    return {};
}

AudioInputFormat PulseAudioEngine::inputFormat() const {
    if (!context_) return {};
    PulseAudioContext::Lock lock(*context_);
    if (!ensureSource(lock)) return {};
    const auto& sampleFormat = source_->description.sampleFormat;
    return AudioInputFormat{static_cast<double>(sampleFormat.rate), sampleFormat.channels, AudioCommonFormat::float32,
                            false};
}

void PulseAudioEngine::installTap(std::uint32_t bufferSize, const AudioInputFormat& format, TapBlock tap) {
    if (!context_) return;
    PulseAudioContext::Lock lock(*context_);
    tap_ = std::make_shared<TapBlock>(std::move(tap));
    tapFormat_ = format;
    chunker_.emplace(format.channelCount, bufferSize);
}

void PulseAudioEngine::removeTap() {
    if (!context_) return;
    // With the lock ours, no tap call is running.
    TapHold hold(*this);
    tap_.reset();
    tapFormat_.reset();
    chunker_.reset();
}

void PulseAudioEngine::prepare() {
    if (!context_) return;
    PulseAudioContext::Lock lock(*context_);
    (void)ensureSource(lock);
}

Status PulseAudioEngine::start() {
    if (!context_) return fail(notConnected());
    PulseAudioContext::Lock lock(*context_);
    if (running_ && !halted_) return {};
    disconnectStream();
    if (auto resolved = ensureSource(lock); !resolved) return resolved;
    if (auto connected = connectStream(lock); !connected) {
        disconnectStream();
        return connected;
    }
    running_ = true;
    halted_ = false;
    return {};
}

void PulseAudioEngine::stop() {
    if (!context_) return;
    TapHold hold(*this);
    disconnectStream();
}

void PulseAudioEngine::reset() {
    if (!context_) return;
    TapHold hold(*this);
    disconnectStream();
    source_.reset();
}

bool PulseAudioEngine::isRunning() const {
    if (!context_) return false;
    PulseAudioContext::Lock lock(*context_);
    return running_ && !halted_;
}

std::unique_ptr<AudioEngine::Observation> PulseAudioEngine::observeConfigurationChanges(
    ConfigurationChangeHandler handler) {
    const auto id = handlers_->add(std::move(handler));
    return std::make_unique<HandlerObservation>(context_, handlers_, id);
}

std::optional<std::string> PulseAudioEngine::voiceProcessingSourceName() const {
    if (!context_) return std::nullopt;
    PulseAudioContext::Lock lock(*context_);
    if (!canceller_) return std::nullopt;
    return canceller_->sourceName();
}

Result<PulseAudioEngine::CaptureSource> PulseAudioEngine::resolveSource(PulseAudioContext::Lock& lock) const {
    auto defaults = readServerDefaults(*context_, lock, options_.operationTimeout);
    if (!defaults) return fail(defaults.error());
    std::string recordFrom;
    if (canceller_) {
        recordFrom = canceller_->sourceName();
    } else if (boundSourceName_) {
        recordFrom = *boundSourceName_;
    }
    const std::string& described = recordFrom.empty() ? defaults->sourceName : recordFrom;
    if (described.empty()) return fail(noSuchDevice("the sound server has no default source"));
    auto description = readSourceByName(*context_, lock, described, options_.operationTimeout);
    if (!description) return fail(description.error());
    return CaptureSource{std::move(recordFrom), std::move(*description), std::move(*defaults)};
}

Status PulseAudioEngine::ensureSource(PulseAudioContext::Lock& lock) const {
    if (source_) return {};
    auto resolved = resolveSource(lock);
    if (!resolved) return fail(resolved.error());
    source_ = std::make_unique<CaptureSource>(std::move(*resolved));
    return {};
}

Status PulseAudioEngine::loadCanceller(PulseAudioContext::Lock& lock) {
    auto defaults = readServerDefaults(*context_, lock, options_.operationTimeout);
    if (!defaults) return fail(defaults.error());
    const std::string microphone = boundSourceName_.value_or(defaults->sourceName);
    if (microphone.empty()) return fail(noSuchDevice("the sound server has no default source"));
    auto canceller =
        PulseEchoCanceller::load(context_, lock, microphone, defaults->sinkName, options_.operationTimeout);
    if (!canceller) return fail(canceller.error());
    canceller_ = std::move(*canceller);
    if (playbackTarget_) playbackTarget_->set(canceller_->sinkName());
    return {};
}

std::unique_ptr<PulseEchoCanceller> PulseAudioEngine::retireCanceller() {
    if (canceller_ && playbackTarget_) playbackTarget_->set(std::nullopt);
    source_.reset();
    return std::move(canceller_);
}

Status PulseAudioEngine::connectStream(PulseAudioContext::Lock& lock) {
    const auto& description = source_->description;
    pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, description.sampleFormat.rate, description.sampleFormat.channels};
    if (tapFormat_ && tapFormat_->sampleRate > 0 && tapFormat_->channelCount > 0) {
        sampleFormat.rate = static_cast<std::uint32_t>(std::lround(tapFormat_->sampleRate));
        sampleFormat.channels = static_cast<std::uint8_t>(tapFormat_->channelCount);
    }
    pa_channel_map map = description.channelMap;
    if (map.channels != sampleFormat.channels)
        pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    if (!pa_sample_spec_valid(&sampleFormat)) {
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioOperationFailed, "no valid capture format");
    }
    stream_.reset(pa_stream_new(context_->context(), options_.streamName.c_str(), &sampleFormat, &map));
    if (!stream_) return fail(std::string(kPulseAudioErrorDomain), kPulseAudioOperationFailed, "no record stream");
    pa_stream_set_state_callback(stream_.get(), &PulseAudioEngine::onStreamState, this);
    pa_stream_set_read_callback(stream_.get(), &PulseAudioEngine::onStreamRead, this);
    pa_stream_set_moved_callback(stream_.get(), &PulseAudioEngine::onStreamMoved, this);

    // fragsize bounds the latency from above; the server still hands out
    // smaller pieces, which the chunker joins.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUsec, &sampleFormat));
    const char* device = source_->recordFrom.empty() ? nullptr : source_->recordFrom.c_str();
    if (pa_stream_connect_record(stream_.get(), device, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        return fail(std::string(kPulseAudioErrorDomain), kPulseAudioOperationFailed,
                    std::string("recording did not start: ") + pa_strerror(pa_context_errno(context_->context())));
    }
    if (auto ready = waitForStreamReady(*context_, lock, stream_.get(), options_.operationTimeout); !ready) {
        return ready;
    }
    streamSourceIndex_ = pa_stream_get_device_index(stream_.get());
    if (chunker_) chunker_->clear();
    return {};
}

void PulseAudioEngine::disconnectStream() {
    if (defaultsQuery_) {
        pa_operation_cancel(defaultsQuery_.get());
        defaultsQuery_.reset();
    }
    closeStream(stream_);
    if (chunker_) chunker_->clear();
    streamSourceIndex_ = PA_INVALID_INDEX;
    running_ = false;
    halted_ = false;
}

void PulseAudioEngine::onStreamState(pa_stream* stream, void* opaque) {
    auto* self = static_cast<PulseAudioEngine*>(opaque);
    self->context_->signal();
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) self->halt();
}

void PulseAudioEngine::onStreamRead(pa_stream* stream, std::size_t readable, void* opaque) {
    auto* self = static_cast<PulseAudioEngine*>(opaque);
    // Only what was there when the callback came: a tap slower than real time
    // must not keep the loop (and its lock, which stop() waits for) forever.
    while (readable > 0) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
        readable -= std::min(readable, length);
        // No data with a length is a hole in the stream: it is dropped.
        if (data && self->running_ && !self->halted_ && self->chunker_ && self->tap_ && self->tapHolds_.load() == 0) {
            const auto& tap = *self->tap_;
            self->chunker_->append(std::span(static_cast<const std::byte*>(data), length),
                                   [&](const AudioPCMBuffer& buffer) { tap(buffer); });
        }
        pa_stream_drop(stream);
    }
}

void PulseAudioEngine::onStreamMoved(pa_stream*, void* opaque) { static_cast<PulseAudioEngine*>(opaque)->halt(); }

void PulseAudioEngine::onServerEvent(pa_subscription_event_type_t facility, pa_subscription_event_type_t type,
                                     std::uint32_t index) {
    if (!running_ || halted_) return;
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && type == PA_SUBSCRIPTION_EVENT_REMOVE &&
        index == streamSourceIndex_) {
        halt();
    } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER && type == PA_SUBSCRIPTION_EVENT_CHANGE) {
        checkServerDefaults();
    }
}

void PulseAudioEngine::checkServerDefaults() {
    // Only the newest query counts; an older one is cancelled.
    if (defaultsQuery_) pa_operation_cancel(defaultsQuery_.get());
    defaultsQuery_.reset(pa_context_get_server_info(
        context_->context(),
        [](pa_context*, const pa_server_info* info, void* opaque) {
            auto* self = static_cast<PulseAudioEngine*>(opaque);
            if (!info || !self->source_) return;
            const auto& before = self->source_->defaultsAtResolution;
            const bool followsDefaultSource = !self->boundSourceName_;
            const bool sourceChanged =
                followsDefaultSource && (!info->default_source_name || before.sourceName != info->default_source_name);
            const bool sinkChanged =
                self->canceller_ && (!info->default_sink_name || before.sinkName != info->default_sink_name);
            if (sourceChanged || sinkChanged) self->halt();
        },
        this));
}

void PulseAudioEngine::halt() {
    if (!running_ || halted_) return;
    halted_ = true;
    if (chunker_) chunker_->clear();
    handlers_->post();
}

}  // namespace murmo
