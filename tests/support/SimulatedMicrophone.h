#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sim/SimAudioEngine.h"
#include "runtime/LoopHandle.h"
#include "runtime/MainLoop.h"

namespace murmo::testing {

// The microphone behind the simulated audio engines: every 40 ms of the
// loop's time, each engine that runs with a tap installed receives one buffer
// of the tap's length, made on the loop's thread (the simulated engine runs
// its tap on the thread that delivers). So audio flows exactly as long as the
// capture keeps an engine running, at the pace of the loop's clock: in real
// time while a test pumps, in bursts when it jumps.
//
// The signal is a 440 Hz tone at a quarter of full scale, continuous across
// buffers, the same in every channel; sample n of the whole run is
// tone(n, sampleRate), so a test can rebuild any frame the engine received.
class SimulatedMicrophone {
public:
    static constexpr Duration kBufferInterval = std::chrono::milliseconds(40);

    // Starts ticking at once. `engines` must outlive the microphone.
    SimulatedMicrophone(MainLoop& loop, SimAudioEngineFactory& engines);

    static float tone(std::uint64_t sample, double sampleRate);

    // A microphone that stops delivering (unplugged, or a device that
    // hangs): while off, running engines receive nothing and the tone does
    // not advance. On from the start.
    void setDelivering(bool delivering) { delivering_ = delivering; }

    // Buffers handed to engines so far.
    std::size_t buffersDelivered() const { return buffersDelivered_; }
    // Samples per channel handed out so far.
    std::uint64_t samplesDelivered() const { return nextSample_; }

private:
    void tick();
    std::vector<std::vector<float>> nextBuffer(std::uint32_t frames, std::uint32_t channels, double sampleRate);

    SimAudioEngineFactory& engines_;
    bool delivering_ = true;
    std::size_t buffersDelivered_ = 0;
    std::uint64_t nextSample_ = 0;
    Timer ticks_;
};

}  // namespace murmo::testing
