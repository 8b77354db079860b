#include "engine/CoreEventSocket.h"

#include <gtest/gtest.h>

#include "engine/MurmoCoreClient.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeCoreTransport.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

std::string eventText(std::int64_t sequence, std::string_view qos = "reliable", int version = 1,
                      std::string_view type = "status") {
    return fmt::format(R"({{"protocol_version":{},"sequence":{},"type":"{}","qos":"{}","data":{{}}}})", version,
                       sequence, type, qos);
}

// An event whose "data" holds `depth` arrays, one inside the other.
std::string eventWithNestedData(std::int64_t sequence, std::size_t depth) {
    return fmt::format(R"({{"protocol_version":1,"sequence":{},"type":"status","qos":"reliable","data":{{"a":{}{}}}}})",
                       sequence, std::string(depth, '['), std::string(depth, ']'));
}

class CoreEventSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        client = MurmoCoreClient::create("http://127.0.0.1:8765", "token-123", {loop, transport, logs});
        client->onEvent = [this](const CoreEvent& event) {
            sequences.push_back(event.sequence);
            if (onEventHook) onEventHook(event);
        };
        client->onConnectionChange = [this](bool connected) {
            changes.push_back(connected);
            if (onChangeHook) onChangeHook(connected);
        };
        client->onNativeAudioTransportFailure = [this](const std::string& operationID, const std::string& reason) {
            failures.push_back(operationID + " " + reason);
            if (onFailureHook) onFailureHook();
        };
    }

    std::shared_ptr<FakeWebSocket> socket() { return transport->lastSocket(); }
    void deliver(const std::string& text) {
        socket()->deliverText(text);
        loop.runUntilIdle();
    }
    void failSocket() {
        socket()->failReceive(coreTransportError(CoreTransportErrorCode::networkConnectionLost));
        loop.runUntilIdle();
    }

    ManualLoop loop;
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    std::shared_ptr<MurmoCoreClient> client;
    std::vector<std::int64_t> sequences;
    std::vector<bool> changes;
    std::vector<std::string> failures;
    std::function<void(const CoreEvent&)> onEventHook;
    std::function<void(bool)> onChangeHook;
    std::function<void()> onFailureHook;
};

TEST(CoreEventSocketRequest, UsesTheMatchingWebSocketScheme) {
    auto plain = CoreEventSocket::socketRequest(URL::parseServer("http://127.0.0.1:8765"), "token");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->url.text(), "ws://127.0.0.1:8765/ws/events");
    ASSERT_EQ(plain->headers.size(), 1u);
    EXPECT_EQ(plain->headers[0], (std::pair<std::string, std::string>{"X-Murmo-Desktop-Token", "token"}));
    EXPECT_EQ(plain->handshakeTimeout, std::chrono::seconds(60));

    EXPECT_EQ(CoreEventSocket::socketRequest(URL::parseServer("https://h/"), "t")->url.text(), "wss://h/ws/events");
    EXPECT_FALSE(CoreEventSocket::socketRequest(std::nullopt, "t"));
}

TEST_F(CoreEventSocketTest, OpensWithTheTokenAndBecomesReadyOnTheFirstAcceptableEvent) {
    client->connect();
    ASSERT_EQ(transport->sockets().size(), 1u);
    EXPECT_EQ(socket()->request().url.text(), "ws://127.0.0.1:8765/ws/events");
    EXPECT_EQ(socket()->request().headers.at(0).second, "token-123");
    EXPECT_TRUE(socket()->receivePending());
    EXPECT_TRUE(changes.empty()) << "the handshake alone does not make the connection ready";

    struct Step {
        std::string message;
        bool delivered;
        const char* what;
    };
    const Step steps[] = {
        {eventText(0), false, "sequence 0 is not above the initial 0"},
        {eventText(1, "reliable", 2), false, "protocol version 2"},
        {eventText(1, "Reliable"), false, "quality of service is case-sensitive"},
        {eventText(1, "lossy"), false, "unknown quality of service"},
        {"not json", false, "undecodable"},
        {R"({"type":"native_audio_end_ack","operation_id":"x","protocol_version":1,"sequence":5,"qos":"reliable","data":{}})",
         false, "an end acknowledgement never reaches the owner"},
        {eventText(1), true, "first acceptable event"},
        {eventText(1, "conflated"), false, "repeated sequence"},
        {eventText(3, "conflated"), true, "gaps are fine"},
        {eventText(2), false, "older sequence"},
    };
    for (const auto& step : steps) {
        const auto before = sequences.size();
        deliver(step.message);
        EXPECT_EQ(sequences.size() - before, step.delivered ? 1u : 0u) << step.what;
        EXPECT_TRUE(socket()->receivePending()) << "the loop goes on after: " << step.what;
    }
    socket()->deliver(CoreSocketMessage::binary([] {
        const auto text = eventText(4);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }()));
    loop.runUntilIdle();
    EXPECT_EQ(sequences, (std::vector<std::int64_t>{1, 3, 4})) << "a binary message is read like a text one";
    EXPECT_EQ(changes, (std::vector<bool>{true})) << "ready is announced once, before the first event";
    EXPECT_TRUE(client->eventSocket().isReady());
}

TEST_F(CoreEventSocketTest, DeeplyNestedEventDataIsDroppedAndTheLoopGoesOn) {
    client->connect();
    // The event's object and its "data" object hold the arrays.
    constexpr std::size_t kDeepestArrays = json::kMaximumNesting - 2;
    struct Step {
        std::size_t depth;
        bool delivered;
    };
    const Step steps[] = {{100'000, false}, {kDeepestArrays + 1, false}, {kDeepestArrays, true}};
    std::int64_t sequence = 0;
    for (const auto& step : steps) {
        const auto before = sequences.size();
        deliver(eventWithNestedData(++sequence, step.depth));
        EXPECT_EQ(sequences.size() - before, step.delivered ? 1u : 0u) << step.depth << " arrays";
        EXPECT_TRUE(socket()->receivePending()) << step.depth << " arrays";
    }
}

TEST_F(CoreEventSocketTest, ReconnectsEveryHalfSecondAndStartsSequencesAgain) {
    client->connect();
    deliver(eventText(7));
    failSocket();
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(transport->sockets()[0]->closeCode(), 1001);
    EXPECT_FALSE(client->eventSocket().hasSocket());
    loop.advance(499ms);
    EXPECT_EQ(transport->sockets().size(), 1u);
    loop.advance(1ms);
    ASSERT_EQ(transport->sockets().size(), 2u);

    failSocket();
    EXPECT_EQ(changes, (std::vector<bool>{true, false, false})) << "a socket that never became ready still reports";
    loop.advance(500ms);
    ASSERT_EQ(transport->sockets().size(), 3u);
    deliver(eventText(2));
    EXPECT_EQ(sequences, (std::vector<std::int64_t>{7, 2})) << "a new socket counts from 0 again";

    // A late failure of a replaced socket changes nothing.
    const auto replaced = socket();
    client->connect();
    const auto changesBefore = changes;
    replaced->failReceive(coreTransportError(CoreTransportErrorCode::networkConnectionLost));
    loop.advance(1s);
    EXPECT_EQ(changes, changesBefore);
    EXPECT_EQ(transport->sockets().size(), 4u);
    EXPECT_TRUE(client->eventSocket().hasSocket());
}

TEST_F(CoreEventSocketTest, DisconnectCancelsAPendingReconnectForGood) {
    client->connect();
    failSocket();
    client->disconnect();
    EXPECT_EQ(changes, (std::vector<bool>{false, false}));
    loop.advance(10s);
    EXPECT_EQ(transport->sockets().size(), 1u);

    client->connect();
    ASSERT_EQ(transport->sockets().size(), 2u);
    client->disconnect();
    EXPECT_EQ(transport->sockets()[1]->closeCode(), 1001);
    loop.advance(10s);
    EXPECT_EQ(transport->sockets().size(), 2u);
}

TEST_F(CoreEventSocketTest, AnOwnerThatReconnectsFromInsideAFailureKeepsItsNewSocket) {
    client->connect();
    onChangeHook = [this](bool connected) {
        if (!connected) client->connect();
    };
    failSocket();
    ASSERT_EQ(transport->sockets().size(), 2u);
    const auto healthy = socket();
    EXPECT_FALSE(client->eventSocket().reconnectPending()) << "no reconnect while a socket is current";
    onChangeHook = nullptr;
    loop.advance(5s);
    EXPECT_EQ(transport->sockets().size(), 2u) << "a stale reconnect must not replace the healthy socket";
    EXPECT_FALSE(healthy->closed());
    deliver(eventText(1));
    EXPECT_EQ(sequences, (std::vector<std::int64_t>{1}));
}

TEST_F(CoreEventSocketTest, AnOwnerThatDisconnectsFromInsideACallbackStopsTheLoop) {
    client->connect();
    onEventHook = [this](const CoreEvent&) { client->disconnect(); };
    deliver(eventText(1));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_FALSE(socket()->receivePending()) << "no receive on a socket that is no longer current";
    EXPECT_FALSE(client->eventSocket().hasSocket());

    // The same from inside the ready announcement: the event is not delivered.
    onEventHook = nullptr;
    client->connect();
    onChangeHook = [this](bool connected) {
        if (connected) client->disconnect();
    };
    deliver(eventText(1));
    EXPECT_EQ(sequences, (std::vector<std::int64_t>{1}));
    EXPECT_FALSE(socket()->receivePending());
}

TEST_F(CoreEventSocketTest, ReplacingTheSocketFailsAnOpenStreamButWaitingForAReconnectDoesNot) {
    client->connect();
    client->beginNativeAudio("op-1", 16000);
    client->connect();
    EXPECT_EQ(failures, (std::vector<std::string>{"op-1 native_audio_socket_replaced"}));
    EXPECT_FALSE(client->audioStream().hasOpenSession());
    EXPECT_EQ(transport->sockets()[0]->closeCode(), 1001);
    ASSERT_EQ(transport->sockets().size(), 2u);

    failures.clear();
    failSocket();  // no stream open: nothing to fail, a reconnect is due
    EXPECT_TRUE(failures.empty());
    client->beginNativeAudio("op-2", 16000);
    client->sendNativeAudio(std::vector<std::uint8_t>(64, 1));
    client->connect();  // while waiting: opens at once, the stream survives
    ASSERT_EQ(transport->sockets().size(), 3u);
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(client->audioStream().hasOpenSession());
    EXPECT_EQ(socket()->sentTexts().at(0),
              R"({"operation_id":"op-2","sample_rate":16000,"type":"native_audio_begin"})");
}

TEST_F(CoreEventSocketTest, AStreamFailedBySocketLossReportsOnceAndTheOwnerMayReconnectFromTheReport) {
    client->connect();
    client->beginNativeAudio("op-1", 16000);
    std::vector<Status> ends;
    client->endNativeAudio("op-1", false, [&](Status status) { ends.push_back(status); });
    onFailureHook = [this] { client->connect(); };
    failSocket();
    EXPECT_EQ(failures, (std::vector<std::string>{"op-1 native_audio_socket_interrupted"}));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].error().message, "native_audio_socket_interrupted");
    ASSERT_EQ(transport->sockets().size(), 2u) << "the owner's new socket";
    EXPECT_FALSE(socket()->closed()) << "the failure handling did not go on to close the owner's new socket";
    EXPECT_TRUE(changes.empty()) << "the failed socket had been replaced before the client went on";
    EXPECT_FALSE(client->eventSocket().reconnectPending());
    EXPECT_TRUE(logs->contains("WebSocket transport interrupted detail=<private>"));
}

}  // namespace
}  // namespace murmo
