#include "engine/NativeAudioStream.h"

#include <gtest/gtest.h>

#include "engine/MurmoCoreClient.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeCoreTransport.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr std::int64_t kCap = NativeAudioTransportPolicy::maximumQueuedAudioBytes;

std::vector<std::uint8_t> chunk(std::size_t bytes, std::uint8_t fill = 7) {
    return std::vector<std::uint8_t>(bytes, fill);
}

std::string control(std::string_view type, std::string_view operationID) {
    return fmt::format(R"({{"operation_id":"{}","type":"{}"}})", operationID, type);
}

std::string begin(std::string_view operationID, std::int64_t rate) {
    return fmt::format(R"({{"operation_id":"{}","sample_rate":{},"type":"native_audio_begin"}})", operationID, rate);
}

std::string ack(std::string_view operationID) {
    return fmt::format(R"({{"type":"native_audio_end_ack","operation_id":"{}"}})", operationID);
}

// Counts how often each completion ran, so settling twice shows up.
struct Ends {
    std::vector<std::pair<std::string, Status>> results;
    NativeAudioStream::EndCompletion operator()(std::string name) {
        return [this, name = std::move(name)](Status status) { results.emplace_back(name, std::move(status)); };
    }
    std::vector<std::string> summary() const {
        std::vector<std::string> lines;
        for (const auto& [name, status] : results)
            lines.push_back(name + " " + (status ? "ok" : status.error().message));
        return lines;
    }
};

class NativeAudioStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        client = MurmoCoreClient::create("http://127.0.0.1:8765", "token", {loop, transport, logs});
        client->onNativeAudioTransportFailure = [this](const std::string& operationID, const std::string& reason) {
            failures.push_back(operationID + " " + reason);
        };
    }
    std::shared_ptr<FakeWebSocket> connect() {
        client->connect();
        return transport->lastSocket();
    }
    std::int64_t queued() const { return client->sendQueue().queuedAudioBytes(); }

    ManualLoop loop;
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    std::shared_ptr<MurmoCoreClient> client;
    std::vector<std::string> failures;
    Ends ends;
};

TEST_F(NativeAudioStreamTest, FramesLeaveInOrderOneAtATimeWithCatchUpPauses) {
    auto socket = connect();
    client->beginNativeAudio("op", 48000);
    for (std::uint8_t i = 1; i <= 3; ++i) client->sendNativeAudio(chunk(7680, i));
    client->endNativeAudio("op", false, ends("end"));
    EXPECT_EQ(socket->sent().size(), 1u) << "one send in flight at a time";
    EXPECT_EQ(queued(), 3 * 7680);

    socket->completeSend();  // begin: a control frame, no pause
    loop.runUntilIdle();
    ASSERT_EQ(socket->sent().size(), 2u);
    socket->completeSend();  // first audio frame: 40 ms of audio, 20 ms pause
    loop.runUntilIdle();
    EXPECT_EQ(queued(), 2 * 7680);
    EXPECT_EQ(socket->sent().size(), 2u);
    loop.advance(19ms);
    EXPECT_EQ(socket->sent().size(), 2u);
    loop.advance(1ms);
    EXPECT_EQ(socket->sent().size(), 3u);
    socket->setCompletesSendsAtOnce(true);
    loop.advance(100ms);
    EXPECT_EQ(socket->sentTexts(), (std::vector<std::string>{begin("op", 48000), "<binary 7680>", "<binary 7680>",
                                                             "<binary 7680>", control("native_audio_end", "op")}));
    for (std::uint8_t i = 1; i <= 3; ++i) EXPECT_EQ(socket->sent()[i].bytes->front(), i) << "capture order";
    EXPECT_EQ(queued(), 0);
    EXPECT_TRUE(ends.results.empty()) << "an end waits for the acknowledgement";

    socket->deliverText(ack("other"));
    loop.runUntilIdle();
    EXPECT_TRUE(ends.results.empty()) << "another operation's acknowledgement changes nothing";
    socket->deliverText(ack("op"));
    loop.runUntilIdle();
    EXPECT_EQ(ends.summary(), (std::vector<std::string>{"end ok"}));
    EXPECT_FALSE(client->audioStream().hasOpenSession());
    EXPECT_FALSE(client->audioStream().endTimerArmed());
}

TEST(NativeAudioControlTextTest, AnIdentifierThatIsNotTextIsNeverSentAltered) {
    EXPECT_EQ(NativeAudioStream::controlText("native_audio_begin", "op", 16000),
              R"({"operation_id":"op","sample_rate":16000,"type":"native_audio_begin"})");
    EXPECT_EQ(NativeAudioStream::controlText("native_audio_end", "op\xFF", std::nullopt), "{}");
}

TEST_F(NativeAudioStreamTest, QueueCapAtExactly16MiBAndOneFailureReportPerStream) {
    client->beginNativeAudio("op", 16000);  // no socket: everything stays queued
    client->sendNativeAudio(chunk(static_cast<std::size_t>(kCap)));
    EXPECT_EQ(queued(), kCap) << "the queue may reach exactly the cap";
    EXPECT_TRUE(failures.empty());
    client->sendNativeAudio(chunk(1));
    EXPECT_EQ(failures, (std::vector<std::string>{"op native_audio_send_queue_overflow"}));
    EXPECT_EQ(queued(), kCap) << "the refused chunk is dropped";
    client->sendNativeAudio(chunk(1));
    EXPECT_EQ(failures.size(), 1u) << "a stream reports at most one failure";
    EXPECT_TRUE(client->audioStream().hasOpenSession()) << "an overflow leaves the stream open";
    EXPECT_TRUE(logs->contains("Native audio transport failed operation=<mask.hash:"));
    EXPECT_TRUE(logs->contains("reason=native_audio_send_queue_overflow queued_bytes=16777216"));
    for (const auto& record : logs->records()) EXPECT_EQ(record.message.find("op "), std::string::npos);

    client->beginNativeAudio("next", 16000);  // the latch is cleared by the next begin only
    client->sendNativeAudio(chunk(1));
    EXPECT_EQ(failures.back(), "next native_audio_send_queue_overflow");

    client->endNativeAudio("next", true);
    client->endNativeAudio("op", true, ends("late cancel"));
    client->beginNativeAudio("fresh", 16000);
    client->sendNativeAudio(chunk(static_cast<std::size_t>(kCap) + 1));
    EXPECT_EQ(failures.back(), "fresh native_audio_send_queue_overflow") << "one byte over the cap on its own";
}

TEST_F(NativeAudioStreamTest, ChunksOutsideAnOpenStreamAreDroppedSilently) {
    client->sendNativeAudio(chunk(100));
    client->beginNativeAudio("op", 16000);
    client->sendNativeAudio({});
    client->endNativeAudio("op", false, ends("end"));
    client->sendNativeAudio(chunk(100));
    EXPECT_EQ(queued(), 0);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(client->sendQueue().size(), 2u);  // begin and end
}

TEST_F(NativeAudioStreamTest, EndingTwiceKeepsOneEndFrameAndSettlesBothAlike) {
    client->beginNativeAudio("op", 16000);
    client->endNativeAudio("op", false, ends("first"));
    loop.advance(5s);
    client->endNativeAudio("op", false, ends("second"));
    EXPECT_EQ(client->sendQueue().size(), 2u) << "begin and a single end";
    loop.advance(7999ms);
    EXPECT_TRUE(ends.results.empty()) << "the second end re-armed the timer";
    loop.advance(1ms);
    EXPECT_EQ(ends.summary(),
              (std::vector<std::string>{"first native_audio_end_ack_timeout", "second native_audio_end_ack_timeout"}));
    EXPECT_EQ(failures, (std::vector<std::string>{"op native_audio_end_ack_timeout"}));
    EXPECT_EQ(client->sendQueue().size(), 0u) << "the operation's frames are gone";
}

TEST_F(NativeAudioStreamTest, AcknowledgementTimeoutGrowsWithTheQueuedAudio) {
    struct Case {
        std::int64_t sampleRate;
        std::int64_t queuedBytes;
        Duration timeout;
    };
    const Case cases[] = {
        {0, 0, 8s},
        {16000, 16000 * 4, 8s},
        {16000, 16000 * 4 * 60, 35s},
        {16000, 16000 * 4 * 200, 60s},
    };
    for (const auto& c : cases) {
        Ends local;
        client->beginNativeAudio("op", c.sampleRate);
        if (c.queuedBytes > 0) client->sendNativeAudio(chunk(static_cast<std::size_t>(c.queuedBytes)));
        client->endNativeAudio("op", false, local("end"));
        loop.advance(c.timeout - 1ms);
        EXPECT_TRUE(local.results.empty()) << c.queuedBytes;
        loop.advance(1ms);
        EXPECT_EQ(local.summary(), (std::vector<std::string>{"end native_audio_end_ack_timeout"})) << c.queuedBytes;
    }
}

TEST_F(NativeAudioStreamTest, CancelBeforeTheBeginLeftPutsOnlyTheCancelOnTheWire) {
    client->beginNativeAudio("op", 16000);
    client->sendNativeAudio(chunk(640));
    client->endNativeAudio("op", false, ends("end"));
    client->endNativeAudio("op", true, ends("cancel"));
    EXPECT_EQ(ends.summary(), (std::vector<std::string>{"end native_audio_cancelled", "cancel ok"}));
    EXPECT_EQ(queued(), 0);
    EXPECT_TRUE(failures.empty()) << "a cancel is not a failure";
    auto socket = connect();
    socket->setCompletesSendsAtOnce(true);
    loop.runUntilIdle();
    EXPECT_EQ(socket->sentTexts(), (std::vector<std::string>{control("native_audio_cancel", "op")}));
    loop.advance(60s);
    EXPECT_EQ(ends.results.size(), 2u) << "the cancelled end's timer is gone";
}

TEST_F(NativeAudioStreamTest, EndForAnotherOperationFailsOnlyItsOwnCompletion) {
    client->beginNativeAudio("open", 16000);
    client->endNativeAudio("other", false, ends("other end"));
    client->endNativeAudio("other", true, ends("other cancel"));
    EXPECT_EQ(ends.summary(), (std::vector<std::string>{"other end native_audio_session_missing",
                                                        "other cancel native_audio_session_missing"}));
    ASSERT_TRUE(client->audioStream().session());
    EXPECT_EQ(client->audioStream().session()->operationID, "open");
    EXPECT_FALSE(client->audioStream().session()->closing);
    EXPECT_TRUE(failures.empty());
}

TEST_F(NativeAudioStreamTest, AFrameRemovedWhileOnTheWireIsCountedOnce) {
    auto socket = connect();
    client->beginNativeAudio("op", 16000);
    client->sendNativeAudio(chunk(2560));
    client->sendNativeAudio(chunk(2560));
    socket->completeSend();  // begin
    loop.runUntilIdle();
    ASSERT_EQ(socket->sent().size(), 2u);  // first audio frame in flight
    client->endNativeAudio("op", true);
    EXPECT_EQ(queued(), 0);
    socket->completeSend();
    loop.runUntilIdle();
    EXPECT_EQ(queued(), 0) << "nothing subtracted twice";
    EXPECT_EQ(socket->sentTexts().back(), control("native_audio_cancel", "op")) << "no pause after a removed frame";
}

TEST_F(NativeAudioStreamTest, ABeginThatReplacesAClosingStreamSettlesItsWaitingEnds) {
    auto socket = connect();
    socket->setCompletesSendsAtOnce(true);
    client->beginNativeAudio("first", 16000);
    client->endNativeAudio("first", false, ends("first end"));
    client->beginNativeAudio("second", 16000);
    EXPECT_EQ(ends.summary(), (std::vector<std::string>{"first end native_audio_cancelled"})) << "never left hanging";
    EXPECT_TRUE(failures.empty()) << "a replacement is not reported";
    loop.runUntilIdle();
    socket->deliverText(ack("first"));
    loop.advance(60s);
    EXPECT_EQ(ends.results.size(), 1u) << "settled exactly once";
    EXPECT_EQ(client->audioStream().session()->operationID, "second");
}

TEST_F(NativeAudioStreamTest, DisconnectSettlesEveryWaitingCompletionOnce) {
    auto socket = connect();
    client->beginNativeAudio("op", 16000);
    client->sendNativeAudio(chunk(640));
    client->endNativeAudio("op", false, ends("a"));
    client->endNativeAudio("op", false, ends("b"));
    std::vector<bool> changes;
    client->onConnectionChange = [&](bool connected) { changes.push_back(connected); };
    client->disconnect();
    EXPECT_EQ(ends.summary(), (std::vector<std::string>{"a native_audio_transport_disconnected",
                                                        "b native_audio_transport_disconnected"}));
    EXPECT_EQ(failures, (std::vector<std::string>{"op native_audio_transport_disconnected"}));
    EXPECT_EQ(changes, (std::vector<bool>{false}));
    EXPECT_EQ(client->sendQueue().size(), 0u);
    EXPECT_EQ(queued(), 0);
    socket->completeSend();
    loop.advance(60s);
    EXPECT_EQ(ends.results.size(), 2u);
    EXPECT_EQ(failures.size(), 1u);

    client->disconnect();
    EXPECT_EQ(failures.size(), 1u) << "nothing more to fail";
}

TEST_F(NativeAudioStreamTest, DisconnectReportsTheFailedStreamWithTheBacklogStillQueued) {
    client->beginNativeAudio("old", 16000);
    client->sendNativeAudio(chunk(640));
    client->beginNativeAudio("op", 16000);  // "old"'s audio stays queued
    client->sendNativeAudio(chunk(320));
    connect();
    client->disconnect();
    EXPECT_EQ(failures, (std::vector<std::string>{"op native_audio_transport_disconnected"}));
    EXPECT_TRUE(logs->contains("reason=native_audio_transport_disconnected queued_bytes=640"))
        << "the report comes before the queue is emptied";
    EXPECT_EQ(queued(), 0);
}

TEST_F(NativeAudioStreamTest, OtherOperationsFramesSurviveAFailureAndGoOutOnTheNextSocket) {
    client->beginNativeAudio("old", 16000);
    client->endNativeAudio("old", true);  // a cancel frame for "old" waits in the queue
    auto first = connect();
    client->beginNativeAudio("op", 16000);
    first->failReceive(coreTransportError(CoreTransportErrorCode::networkConnectionLost));
    loop.runUntilIdle();
    EXPECT_EQ(failures, (std::vector<std::string>{"op native_audio_socket_interrupted"}));
    loop.advance(500ms);
    auto second = transport->lastSocket();
    ASSERT_NE(second, first);
    second->setCompletesSendsAtOnce(true);
    loop.runUntilIdle();
    EXPECT_EQ(second->sentTexts(), (std::vector<std::string>{control("native_audio_cancel", "old")}))
        << "the failed stream's frames are gone, the other operation's cancel goes out again";
}

}  // namespace
}  // namespace murmo
