#include "engine/NativeAudioTransportPolicy.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

using namespace NativeAudioTransportPolicy;
using namespace std::chrono_literals;

TEST(NativeAudioTransportPolicyTest, QueueCapIsInclusive) {
    EXPECT_TRUE(acceptsAudio(0, 16'777'216));
    EXPECT_FALSE(acceptsAudio(0, 16'777'217));
    EXPECT_TRUE(acceptsAudio(16'777'215, 1));
    EXPECT_FALSE(acceptsAudio(16'777'216, 1));
    EXPECT_FALSE(acceptsAudio(0, 0));
    EXPECT_FALSE(acceptsAudio(-1, 10));
    EXPECT_FALSE(acceptsAudio(0, INT64_MAX)) << "no overflow on huge chunks";
}

TEST(NativeAudioTransportPolicyTest, PacingAndAcknowledgementTimeouts) {
    EXPECT_EQ(catchUpDelay(2'560, 16'000), 20ms);
    EXPECT_EQ(catchUpDelay(7'680, 48'000), 20ms);
    EXPECT_EQ(catchUpDelay(7'680, 0), 0ms);
    EXPECT_EQ(catchUpDelay(0, 48'000), 0ms);
    EXPECT_EQ(bufferedAudio(16'000), 262'144ms);
    EXPECT_EQ(bufferedAudio(0), 0ms);

    struct Case {
        std::int64_t queued;
        std::int64_t rate;
        Duration timeout;
    };
    const std::int64_t secondAt16k = 16'000 * 4;
    const Case cases[] = {
        {0, 0, 8s},
        {secondAt16k * 100, 0, 8s},
        {0, 16'000, 8s},
        {-5, 16'000, 8s},
        {secondAt16k * 6, 16'000, 8s},    // 3 + 5 = 8
        {secondAt16k * 10, 16'000, 10s},  // 5 + 5
        {secondAt16k * 60, 16'000, 35s},
        {secondAt16k * 110, 16'000, 60s},
        {secondAt16k * 500, 16'000, 60s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(endAcknowledgementTimeout(c.queued, c.rate), c.timeout) << c.queued << " @ " << c.rate;
    }
}

TEST(NativeAudioTransportPolicyTest, ErrorsCarryTheReason) {
    const auto error = nativeAudioTransportError(NativeAudioTransportReason::endAckTimeout);
    EXPECT_EQ(error.domain, "MurmoNativeAudioTransport");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.message, "native_audio_end_ack_timeout");
    EXPECT_EQ(error.reason, "native_audio_end_ack_timeout");
    EXPECT_EQ(socketFailureDisposition(true), SocketFailureDisposition::failClosedNativeSession);
    EXPECT_EQ(socketFailureDisposition(false), SocketFailureDisposition::reconnectIdle);
}

}  // namespace
}  // namespace murmo
