#include "engine/MurmoCoreClient.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/BeastCoreTransport.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr std::string_view kToken = "thread-token";

TEST(MurmoCoreClientThreadTest, ChunksPostedFromACaptureThreadReachTheEngineInOrder) {
    ManualLoop loop;
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    ASSERT_TRUE(engine.start());
    auto client =
        MurmoCoreClient::create(engine.baseURL(), std::string(kToken),
                                {loop, std::make_shared<BeastCoreTransport>(), std::make_shared<RecordingLogSink>()});
    client->connect();
    ASSERT_TRUE(loop.pumpUntil([&] { return client->eventSocket().isReady(); }, 10s));
    client->beginNativeAudio("op", 0);  // no pacing: the frames go out back to back

    constexpr int kChunks = 100;
    std::thread capture([&] {
        for (int i = 0; i < kChunks; ++i) {
            std::vector<std::uint8_t> chunk(7680, static_cast<std::uint8_t>(i));
            loop.post([&client, chunk = std::move(chunk)]() mutable { client->sendNativeAudio(std::move(chunk)); });
        }
        loop.post([&] { client->endNativeAudio("op", false); });
    });
    ASSERT_TRUE(loop.pumpUntil([&] { return !client->audioStream().hasOpenSession(); }, 20s));
    capture.join();

    const auto frames = engine.socketFrames();
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kChunks + 2));
    for (int i = 0; i < kChunks; ++i) {
        ASSERT_EQ(static_cast<std::uint8_t>(frames[static_cast<std::size_t>(i + 1)].bytes[0]),
                  static_cast<std::uint8_t>(i));
    }

    // The main thread blocks while the transport's thread gets the answer.
    engine.setReply("POST", "/api/v1/dictations/op/cancel", StandInReply{200, "{}"}.after(20ms));
    const auto started = std::chrono::steady_clock::now();
    client->cancelDictationSynchronously("op", std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
    client->disconnect();
    client.reset();
}

}  // namespace
}  // namespace murmo
