#include "support/pulse/AudioSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace murmo::testing {

std::vector<float> sineTone(double frequency, double amplitude, std::uint32_t sampleRate, double seconds) {
    const auto count = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / sampleRate));
    }
    return samples;
}

std::vector<float> syntheticVoice(double amplitude, std::uint32_t sampleRate, double seconds) {
    const auto count = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    std::vector<float> samples(count);
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double fundamental = 150 + 20 * std::sin(2 * std::numbers::pi * 5 * t);
        phase += 2 * std::numbers::pi * fundamental / sampleRate;
        const double inSyllable = std::fmod(t, 0.3);
        const double envelope = inSyllable < 0.2 ? std::pow(std::sin(std::numbers::pi * inSyllable / 0.2), 2) : 0.0;
        double harmonics = 0;
        for (int k = 1; k <= 5; ++k) harmonics += std::sin(k * phase) / k;
        samples[i] = static_cast<float>(amplitude * envelope * harmonics / 1.5);
    }
    return samples;
}

double rms(std::span<const float> samples) {
    if (samples.empty()) return 0;
    return std::sqrt(energy(samples) / samples.size());
}

double energy(std::span<const float> samples) {
    double sum = 0;
    for (float s : samples) sum += double{s} * s;
    return sum;
}

std::optional<std::size_t> firstLoudWindow(std::span<const float> samples, std::size_t from, double threshold,
                                           std::size_t window) {
    const std::size_t step = std::max<std::size_t>(window / 2, 1);
    for (std::size_t start = from; start + window <= samples.size(); start += step) {
        if (rms(samples.subspan(start, window)) > threshold) return start;
    }
    return std::nullopt;
}

std::size_t soundCount(std::span<const float> samples, double threshold, std::size_t window, std::size_t gapWindows) {
    std::size_t sounds = 0;
    std::size_t quiet = gapWindows;
    for (std::size_t start = 0; window > 0 && start + window <= samples.size(); start += window) {
        if (rms(samples.subspan(start, window)) > threshold) {
            if (quiet >= gapWindows) ++sounds;
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return sounds;
}

ToneMeasurement measureTone(std::span<const float> samples, double frequency, std::uint32_t sampleRate) {
    if (samples.empty()) return {};
    // Correlation with a cosine and a sine of the frequency.
    double c = 0;
    double s = 0;
    const double step = 2 * std::numbers::pi * frequency / sampleRate;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        c += samples[i] * std::cos(step * i);
        s += samples[i] * std::sin(step * i);
    }
    c *= 2.0 / samples.size();
    s *= 2.0 / samples.size();
    // x = A sin(wt + p) = A sin p cos wt + A cos p sin wt.
    return ToneMeasurement{std::hypot(c, s), std::atan2(c, s)};
}

double decibels(double a, double b) {
    if (b <= 0) return 1000;
    if (a <= 0) return -1000;
    return 20 * std::log10(a / b);
}

}  // namespace murmo::testing
