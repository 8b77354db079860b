#pragma once

// Records what the test session's speakers play, through their monitor, as
// mono 48 kHz float samples, from construction on, so a test can tell whether
// a sound was heard, how loud and how many times. Header-only: the linux
// tests link the backends it records with.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

class SpeakerMonitorRecording {
public:
    static constexpr std::uint32_t kRate = 48000;
    // 10 ms: the window loudness is measured over.
    static constexpr std::size_t kWindowFrames = kRate / 100;

    explicit SpeakerMonitorRecording(std::shared_ptr<PulseAudioContext> context,
                                     const std::string& source = "speakers.monitor")
        : context_(std::move(context)) {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, kRate, 1};
        PulseAudioContext::Lock lock(*context_);
        stream_.reset(pa_stream_new(context_->context(), "test speaker monitor", &format, nullptr));
        if (!stream_) throw std::runtime_error("no record stream");
        pa_stream_set_read_callback(stream_.get(), onReadable, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(5 * PA_USEC_PER_MSEC, &format));
        if (pa_stream_connect_record(stream_.get(), source.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
            throw std::runtime_error("cannot record " + source);
        }
    }
    ~SpeakerMonitorRecording() {
        PulseAudioContext::Lock lock(*context_);
        pa_stream_set_read_callback(stream_.get(), nullptr, nullptr);
        pa_stream_disconnect(stream_.get());
        stream_.reset();
    }
    SpeakerMonitorRecording(const SpeakerMonitorRecording&) = delete;
    SpeakerMonitorRecording& operator=(const SpeakerMonitorRecording&) = delete;

    // Waits until `frames` more frames than now have arrived: an idle null
    // sink renders late at first, so tests wait for the flow before playing.
    bool waitForFrames(std::size_t frames, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const std::size_t target = samples_.size() + frames;
        return arrived_.wait_for(lock, timeout, [&] { return samples_.size() >= target; });
    }
    // Waits until a 10 ms window from `fromFrame` on is louder than
    // `threshold` RMS; its first frame.
    std::optional<std::size_t> waitForSound(std::size_t fromFrame, float threshold, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        std::optional<std::size_t> found;
        arrived_.wait_for(lock, timeout, [&] {
            found = firstLoudWindow(samples_, fromFrame, threshold);
            return found.has_value();
        });
        return found;
    }
    std::size_t frameCount() const {
        std::lock_guard lock(mutex_);
        return samples_.size();
    }
    std::vector<float> samples() const {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    // Arrival time of the frame, as the read callback saw it.
    std::chrono::steady_clock::time_point arrivalOf(std::size_t frame) const {
        std::lock_guard lock(mutex_);
        for (const auto& [end, time] : arrivals_) {
            if (frame < end) return time;
        }
        return std::chrono::steady_clock::now();
    }

    // Sum of squares: compares loudness of recordings of different lengths
    // of silence around the same sound.
    static double energy(std::span<const float> samples) {
        double sum = 0;
        for (float sample : samples) sum += static_cast<double>(sample) * sample;
        return sum;
    }
    static float rms(std::span<const float> samples) {
        if (samples.empty()) return 0;
        double sum = 0;
        for (float sample : samples) sum += static_cast<double>(sample) * sample;
        return static_cast<float>(std::sqrt(sum / static_cast<double>(samples.size())));
    }
    // Separate sounds: runs of windows louder than `threshold`, split by at
    // least `gapWindows` quiet windows.
    static std::size_t soundCount(std::span<const float> samples, float threshold, std::size_t gapWindows = 10) {
        std::size_t sounds = 0;
        std::size_t quiet = gapWindows;
        for (std::size_t start = 0; start + kWindowFrames <= samples.size(); start += kWindowFrames) {
            if (rms(samples.subspan(start, kWindowFrames)) > threshold) {
                if (quiet >= gapWindows) ++sounds;
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        return sounds;
    }

private:
    static std::optional<std::size_t> firstLoudWindow(std::span<const float> samples, std::size_t fromFrame,
                                                      float threshold) {
        for (std::size_t start = fromFrame; start + kWindowFrames <= samples.size(); start += kWindowFrames / 2) {
            if (rms(samples.subspan(start, kWindowFrames)) > threshold) return start;
        }
        return std::nullopt;
    }

    static void onReadable(pa_stream* stream, std::size_t, void* self) {
        auto& recording = *static_cast<SpeakerMonitorRecording*>(self);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const auto now = std::chrono::steady_clock::now();
            {
                std::lock_guard lock(recording.mutex_);
                const std::size_t frames = bytes / sizeof(float);
                if (data) {
                    const auto* samples = static_cast<const float*>(data);
                    recording.samples_.insert(recording.samples_.end(), samples, samples + frames);
                } else {
                    recording.samples_.insert(recording.samples_.end(), frames, 0.0f);
                }
                recording.arrivals_.emplace_back(recording.samples_.size(), now);
            }
            pa_stream_drop(stream);
        }
        recording.arrived_.notify_all();
    }

    std::shared_ptr<PulseAudioContext> context_;
    PulseStreamHandle stream_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<float> samples_;
    std::vector<std::pair<std::size_t, std::chrono::steady_clock::time_point>> arrivals_;
};

}  // namespace murmo::testing
