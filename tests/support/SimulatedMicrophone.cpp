#include "SimulatedMicrophone.h"

#include <cmath>
#include <numbers>

namespace murmo::testing {

SimulatedMicrophone::SimulatedMicrophone(MainLoop& loop, SimAudioEngineFactory& engines)
    : engines_(engines), ticks_(loop.every(kBufferInterval, [this] { tick(); })) {}

float SimulatedMicrophone::tone(std::uint64_t sample, double sampleRate) {
    constexpr double kFrequency = 440;
    constexpr double kAmplitude = 0.25;
    const double phase = std::fmod(static_cast<double>(sample) * kFrequency / sampleRate, 1.0);
    return static_cast<float>(kAmplitude * std::sin(2 * std::numbers::pi * phase));
}

void SimulatedMicrophone::tick() {
    if (!delivering_) return;
    for (const auto& engine : engines_.engines()) {
        const auto frames = engine->tapBufferSize();
        const auto format = engine->tapFormat();
        if (!engine->isRunning() || !frames || !format || format->channelCount == 0) continue;
        if (engine->deliver(nextBuffer(*frames, format->channelCount, format->sampleRate))) ++buffersDelivered_;
    }
}

std::vector<std::vector<float>> SimulatedMicrophone::nextBuffer(std::uint32_t frames, std::uint32_t channels,
                                                                double sampleRate) {
    std::vector<float> samples(frames);
    for (auto& sample : samples) sample = tone(nextSample_++, sampleRate);
    return std::vector<std::vector<float>>(channels, samples);
}

}  // namespace murmo::testing
