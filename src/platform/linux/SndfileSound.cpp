#include "platform/linux/SndfileSound.h"

#include <pulse/sample.h>
#include <sndfile.h>

#include <memory>

namespace murmo {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Even a cue of a few seconds is far below this; a header claiming more is
// corrupt, and trusting it would allocate whatever it says.
constexpr sf_count_t kMostFrames = 48000 * 60;

}  // namespace

std::optional<SndfileSound> SndfileSound::decode(const std::filesystem::path& file) {
    SF_INFO info{};
    SndfileHandle handle(sf_open(file.c_str(), SFM_READ, &info));
    if (!handle) return std::nullopt;
    if (info.frames <= 0 || info.frames > kMostFrames || info.samplerate <= 0 ||
        static_cast<unsigned>(info.samplerate) > PA_RATE_MAX || info.channels <= 0 ||
        info.channels > static_cast<int>(PA_CHANNELS_MAX)) {
        return std::nullopt;
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t read = sf_readf_float(handle.get(), samples.data(), info.frames);
    if (read != info.frames) return std::nullopt;
    return SndfileSound(static_cast<std::uint32_t>(info.samplerate), static_cast<std::uint8_t>(info.channels),
                        std::move(samples));
}

}  // namespace murmo
