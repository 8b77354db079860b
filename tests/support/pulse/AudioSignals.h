#pragma once

// Signals for the audio tests: a tone to feed, and what to measure in what
// came back (level, the strength and phase of one frequency).

#include <cstdint>
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
