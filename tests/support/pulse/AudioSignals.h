#pragma once

// Signals for the audio tests: a tone to feed, and what to measure in what
// came back (level, the strength and phase of one frequency).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace murmo::testing {

// `seconds` of a sine of `frequency` Hz and peak `amplitude`, mono.
std::vector<float> sineTone(double frequency, double amplitude, std::uint32_t sampleRate, double seconds);

// `seconds` of something a noise suppressor takes for a voice: syllables of
// 200 ms with 100 ms pauses, a 150 Hz fundamental with vibrato and its first
// harmonics, peak about `amplitude`. (A steady tone is what a suppressor
// removes as background noise.)
std::vector<float> syntheticVoice(double amplitude, std::uint32_t sampleRate, double seconds);

double rms(std::span<const float> samples);
// Sum of squares: compares the loudness of recordings of one sound with
// different lengths of silence around it.
double energy(std::span<const float> samples);

// Loudness is judged over windows of `window` samples (10 ms is usual).
// The first window from sample `from` on, in half-window steps, louder than
// `threshold` RMS; its first sample.
std::optional<std::size_t> firstLoudWindow(std::span<const float> samples, std::size_t from, double threshold,
                                           std::size_t window);
// Separate sounds: runs of windows louder than `threshold`, split by at
// least `gapWindows` quiet windows.
std::size_t soundCount(std::span<const float> samples, double threshold, std::size_t window,
                       std::size_t gapWindows = 10);

// The strength of one frequency (Goertzel): the peak amplitude of the sine of
// that frequency in the samples (a pure tone of amplitude a gives about a),
// and its phase in radians at the first sample.
struct ToneMeasurement {
    double amplitude = 0;
    double phase = 0;
};
ToneMeasurement measureTone(std::span<const float> samples, double frequency, std::uint32_t sampleRate);

// 20 log10(a / b); large when b is 0.
double decibels(double a, double b);

}  // namespace murmo::testing
