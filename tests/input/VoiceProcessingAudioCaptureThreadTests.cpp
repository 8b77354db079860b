#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "input/VoiceProcessingAudioCapture.h"
#include "platform/sim/SimAudioDevices.h"
#include "platform/sim/SimAudioEngine.h"
#include "platform/sim/SimMicrophonePermission.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

// A latch the test opens once.
class Latch {
public:
    void open() {
        {
            std::lock_guard guard(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock guard(mutex_);
        changed_.wait(guard, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

struct ThreadedCapture {
    ManualLoop main;
    std::shared_ptr<SimAudioEngineFactory> engines = std::make_shared<SimAudioEngineFactory>();
    std::shared_ptr<SimAudioDevices> devices = SimAudioDevices::builtInOnly();
    // The production recovery queue: a thread of its own.
    std::shared_ptr<VoiceProcessingAudioCapture> capture = VoiceProcessingAudioCapture::create(
        {engines, devices, std::make_shared<SimMicrophonePermission>(), main, nullptr, nullptr});
};

TEST(VoiceProcessingAudioCaptureThreadTest, StopWaitsForAChunkCallbackBlockedInsideTheGate) {
    ThreadedCapture world;
    Latch entered;
    Latch release;
    std::atomic<bool> callbackReturned{false};
    std::atomic<int> calls{0};
    ASSERT_TRUE(world.capture->prepare(NativeAudioCaptureMode::raw, std::nullopt));
    ASSERT_TRUE(world.capture->start(
        [&](AudioChunk) {
            calls++;
            entered.open();
            release.wait();
            callbackReturned = true;
        },
        nullptr));
    auto engine = world.engines->latest();

    std::thread audio([&] { engine->deliver({std::vector<float>(1920, 0.2f)}); });
    entered.wait();

    std::atomic<bool> stopReturned{false};
    bool callbackReturnedBeforeStop = false;
    std::thread stopper([&] {
        world.capture->stop();
        callbackReturnedBeforeStop = callbackReturned.load();
        stopReturned = true;
    });
    // Let stop reach the gate: the engine is stopped first, then stop waits.
    while (engine->stopCount() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(stopReturned.load());

    release.open();
    stopper.join();
    audio.join();
    EXPECT_TRUE(callbackReturnedBeforeStop);

    // A late buffer after stop returned finds the gate closed.
    std::thread late([&] { engine->deliver({std::vector<float>(1920, 0.2f)}); });
    late.join();
    EXPECT_EQ(calls.load(), 1);
}

TEST(VoiceProcessingAudioCaptureThreadTest, NoCallbackOfARunStartsAfterItsStopReturned) {
    ThreadedCapture world;
    ASSERT_TRUE(world.capture->prepare(NativeAudioCaptureMode::raw, std::nullopt));
    std::atomic<bool> audioRunning{true};
    std::atomic<int> stoppedRun{-1};
    std::atomic<int> violations{0};
    std::atomic<int> delivered{0};

    std::thread audio([&] {
        const std::vector<std::vector<float>> stereo = {std::vector<float>(64, 0.5f), std::vector<float>(64, -0.5f)};
        while (audioRunning) {
            for (const auto& engine : world.engines->engines()) engine->deliver(stereo);
        }
    });
    for (int run = 0; run < 200; ++run) {
        ASSERT_TRUE(world.capture->start(
            [&, run](AudioChunk chunk) {
                if (stoppedRun.load() >= run) violations++;
                if (chunk.size() == 64 * sizeof(float)) delivered++;
            },
            nullptr));
        // Stop only once this run's chunks flow, so stop races a delivery.
        const int before = delivered.load();
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (delivered.load() == before && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        world.capture->stop();
        stoppedRun = run;
    }
    audioRunning = false;
    audio.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_GE(delivered.load(), 200);
}

TEST(VoiceProcessingAudioCaptureThreadTest, DroppedInsideItsOwnChunkCallbackTheRecoveryQueueTearsTheEngineDown) {
    for (int round = 0; round < 20; ++round) {
        ThreadedCapture world;
        ASSERT_TRUE(world.capture->prepare(NativeAudioCaptureMode::raw, std::nullopt));
        auto engine = world.engines->latest();
        // The owner's only reference moves into the callback, which lets go of
        // it on the audio thread; the recovery queue is the capture's own.
        auto owner = std::make_shared<std::shared_ptr<VoiceProcessingAudioCapture>>(std::move(world.capture));
        ASSERT_TRUE((*owner)->start([owner](AudioChunk) { auto dropped = std::move(*owner); }, nullptr));

        std::thread audio([&] {
            engine->deliver({std::vector<float>(1920, 0.1f)});
            // A late buffer finds no tap, or a tap whose capture is gone.
            engine->deliver({std::vector<float>(1920, 0.1f)});
        });
        audio.join();
        EXPECT_EQ(*owner, nullptr);

        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while ((engine->hasTap() || engine->resetCount() == 0) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(engine->callsFromTapBlock(), std::vector<std::string>{});
        EXPECT_EQ(engine->stopCount(), 1);
        EXPECT_EQ(engine->resetCount(), 1);
        EXPECT_FALSE(engine->hasTap());
        EXPECT_EQ(engine->configurationObserverCount(), 0u);
    }
}

TEST(VoiceProcessingAudioCaptureThreadTest, ConfigurationChangeFromAnotherThreadReportsOneFailureOnTheMainLoop) {
    ThreadedCapture world;
    std::vector<std::string> failures;
    ASSERT_TRUE(world.capture->prepare(NativeAudioCaptureMode::raw, std::nullopt));
    ASSERT_TRUE(world.capture->start(
        [](AudioChunk) {},
        [&](const VoiceProcessingAudioCaptureError& error) { failures.emplace_back(error.code()); }));
    auto engine = world.engines->latest();
    std::atomic<bool> audioRunning{true};
    std::thread audio([&] {
        while (audioRunning) engine->deliver({std::vector<float>(64, 0.1f)});
    });
    std::thread notifier([&] {
        engine->postConfigurationChange();
        engine->postConfigurationChange();
    });
    notifier.join();
    EXPECT_TRUE(world.main.pumpUntil([&] { return !failures.empty(); }, 10s));
    audioRunning = false;
    audio.join();
    world.main.pumpUntil([] { return false; }, 50ms);
    EXPECT_EQ(failures, std::vector<std::string>{"audio_route_changed"});
    EXPECT_EQ(world.capture->preparedSampleRate(), std::nullopt);
}

}  // namespace
}  // namespace murmo
