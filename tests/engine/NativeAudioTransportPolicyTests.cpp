#include "engine/NativeAudioTransportPolicy.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

using namespace NativeAudioTransportPolicy;

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
    EXPECT_DOUBLE_EQ(catchUpDelaySeconds(2'560, 16'000), 0.02);
    EXPECT_DOUBLE_EQ(catchUpDelaySeconds(7'680, 48'000), 0.02);
    EXPECT_EQ(catchUpDelaySeconds(7'680, 0), 0);
    EXPECT_EQ(catchUpDelaySeconds(0, 48'000), 0);
    EXPECT_DOUBLE_EQ(bufferedSeconds(16'000), 262.144);
    EXPECT_EQ(bufferedSeconds(0), 0);

    struct Case {
        std::int64_t queued;
        std::int64_t rate;
        double seconds;
    };
    const std::int64_t secondAt16k = 16'000 * 4;
    const Case cases[] = {
        {0, 0, 8},
        {secondAt16k * 100, 0, 8},
        {0, 16'000, 8},
        {-5, 16'000, 8},
        {secondAt16k * 6, 16'000, 8},    // 3 + 5 = 8
        {secondAt16k * 10, 16'000, 10},  // 5 + 5
        {secondAt16k * 60, 16'000, 35},
        {secondAt16k * 110, 16'000, 60},
        {secondAt16k * 500, 16'000, 60},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(endAcknowledgementTimeoutSeconds(c.queued, c.rate), c.seconds) << c.queued << " @ " << c.rate;
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
