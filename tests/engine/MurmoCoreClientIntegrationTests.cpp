#include "engine/MurmoCoreClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "engine/BeastCoreTransport.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr std::string_view kToken = "integration-token";

class MurmoCoreClientIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.start());
        client = MurmoCoreClient::create(engine.baseURL(), std::string(kToken), {loop, transport, logs});
        client->onConnectionChange = [this](bool connected) { changes.push_back(connected); };
        client->onEvent = [this](const CoreEvent& event) { events.push_back(event); };
    }

    bool pumpUntil(const std::function<bool()>& predicate, Duration timeout = 10s) {
        return loop.pumpUntil(predicate, timeout);
    }

    void connectAndWaitUntilReady() {
        client->connect();
        ASSERT_TRUE(pumpUntil([&] { return client->eventSocket().isReady(); }));
    }

    ManualLoop loop;
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    std::shared_ptr<BeastCoreTransport> transport = std::make_shared<BeastCoreTransport>(logs);
    std::shared_ptr<MurmoCoreClient> client;
    std::vector<bool> changes;
    std::vector<CoreEvent> events;
};

TEST_F(MurmoCoreClientIntegrationTest, EveryRequestCarriesTheTokenAndEveryDefaultReplyDecodes) {
    int pending = 0;
    std::vector<std::string> problems;
    auto expectSuccess = [&](std::string what) {
        ++pending;
        return [&, what](const auto& result) {
            --pending;
            if (!result) problems.push_back(what + ": " + result.error().message);
        };
    };
    std::optional<DictationCommandResponse> created;
    client->createDictation("op-1", MonotonicTime(42ns), "com.example.app", "Example", "native_raw", 48000,
                            [&, check = expectSuccess("create")](Result<DictationCommandResponse> reply) {
                                if (reply) created = *reply;
                                check(reply);
                            });
    client->createAgentOperation("op-2", MonotonicTime(42ns), std::nullopt, std::nullopt, expectSuccess("agent"));
    client->createPendingAgentOperation("op-3", MonotonicTime(42ns), std::nullopt, std::nullopt, std::nullopt,
                                        std::nullopt, expectSuccess("pending agent"));
    client->resolveAgentOperationMode("op-3", "answer", expectSuccess("resolve"));
    client->releaseDictation("op-1", MonotonicTime(43ns), expectSuccess("release"));
    client->releaseAgentOperation("op-2", MonotonicTime(43ns), expectSuccess("release agent"));
    client->fetchAgentOperation("op-2", expectSuccess("fetch agent"));
    client->cancelAgentOperation("op-2", expectSuccess("cancel agent"));
    client->confirmAgentOperation("op-2", "confirm-token", expectSuccess("confirm"));
    client->cancelDictation("op-1", expectSuccess("cancel"));
    std::optional<ShortcutSettingsResponse> settings;
    client->fetchShortcutSettings([&, check = expectSuccess("settings")](Result<ShortcutSettingsResponse> reply) {
        if (reply) settings = *reply;
        check(reply);
    });
    client->completeShortcutCapture("cap", ShortcutSpecPayload(ShortcutChoice::function()), expectSuccess("capture"));
    client->cancelShortcutCapture("cap", "timeout", expectSuccess("cancel capture"));
    client->reportDeliveryResult("op-1", DeliveryResultPayload{"t", "inserted", "accessibility", "ok", true, 5});
    client->reportAudioRoute(NativeAudioRoute{true, true});
    client->pauseRuntime();
    client->resumeRuntime();
    const std::size_t total = 17;
    ASSERT_TRUE(pumpUntil([&] { return pending == 0 && engine.requests().size() == total; }))
        << pending << " pending, " << engine.requests().size() << " received";
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->phase, "recording");
    EXPECT_EQ(created->operationID, "op-1");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->hotkeyEnabled, true);
    ASSERT_TRUE(settings->nativeShortcut);
    EXPECT_EQ(settings->nativeShortcut->decodedShortcut(), ShortcutChoice::function());

    connectAndWaitUntilReady();
    const auto requests = engine.requests();
    ASSERT_EQ(requests.size(), total + 1);
    std::set<std::string> methods;
    for (const auto& request : requests) {
        methods.insert(request.method);
        EXPECT_TRUE(request.authorized) << request.method << " " << request.target;
        EXPECT_EQ(request.header("X-Murmo-Desktop-Token"), kToken) << request.method << " " << request.target;
        if (request.path != StandInEngine::kEventsPath) {
            EXPECT_EQ(request.header("Content-Type"), "application/json") << request.method << " " << request.target;
        }
    }
    EXPECT_EQ(methods, (std::set<std::string>{"GET", "POST", "DELETE"}));
    EXPECT_EQ(requests.back().path, "/ws/events");
}

TEST_F(MurmoCoreClientIntegrationTest, RepliesAreClassifiedOverTheRealTransport) {
    engine.setReply("GET", "/api/v1/agent/operations/missing", StandInReply{404, "Not Found", "text/plain"});
    engine.setReply("GET", "/api/v1/agent/operations/empty-error", StandInReply{500, ""});
    engine.setReply("GET", "/api/settings", StandInReply{204, ""});
    engine.setReply("GET", "/api/v1/agent/operations/gone", StandInReply::closingWithoutReply());
    std::vector<Result<JSONValue::Object>> objects;
    for (const char* id : {"missing", "empty-error", "gone"}) {
        client->fetchAgentOperation(id, [&](Result<JSONValue::Object> reply) { objects.push_back(std::move(reply)); });
    }
    std::optional<Result<ShortcutSettingsResponse>> settings;
    client->fetchShortcutSettings([&](Result<ShortcutSettingsResponse> reply) { settings = std::move(reply); });
    ASSERT_TRUE(pumpUntil([&] { return objects.size() == 3 && settings; }));
    // Replies arrive in the order the engine answers, not the order asked.
    auto errorFor = [&](long code) -> std::optional<Error> {
        for (const auto& reply : objects) {
            if (!reply && reply.error().code == code) return reply.error();
        }
        return std::nullopt;
    };
    EXPECT_EQ(errorFor(404), Error("MurmoCore", 404, "Not Found"));
    EXPECT_EQ(errorFor(500), Error("MurmoCore", 500, ""));
    EXPECT_EQ(errorFor(static_cast<long>(CoreTransportErrorCode::networkConnectionLost)),
              coreTransportError(CoreTransportErrorCode::networkConnectionLost));
    ASSERT_FALSE(*settings) << "a 204 hands over a zero-length body, which does not decode";
    EXPECT_EQ(settings->error().domain, json::kErrorDomain);
}

TEST_F(MurmoCoreClientIntegrationTest, AnIdleEngineTimesOutAsATransportError) {
    engine.setReply("GET", "/api/settings", StandInReply::hanging());
    std::optional<Result<CoreHTTPResponse>> reply;
    CoreHTTPRequest request;
    request.url = URL::parseServer(engine.baseURL())->appending(URLPath::literal("api/settings"));
    request.method = "GET";
    request.headers.emplace_back("X-Murmo-Desktop-Token", std::string(kToken));
    request.idleTimeout = 200ms;
    std::mutex mutex;
    transport->sendHTTP(request, [&](Result<CoreHTTPResponse> result) {
        std::lock_guard lock(mutex);
        reply = std::move(result);
    });
    ASSERT_TRUE(pumpUntil([&] {
        std::lock_guard lock(mutex);
        return reply.has_value();
    }));
    std::lock_guard lock(mutex);
    ASSERT_FALSE(*reply);
    EXPECT_EQ(reply->error(), coreTransportError(CoreTransportErrorCode::timedOut));
}

TEST_F(MurmoCoreClientIntegrationTest, TheHandshakeTimeoutDoesNotLimitAnOpenSocket) {
    CoreWebSocketRequest request;
    request.url = *URL::parseServer("ws://127.0.0.1:" + std::to_string(engine.port()) + "/ws/events");
    request.headers.emplace_back("X-Murmo-Desktop-Token", std::string(kToken));
    request.handshakeTimeout = 200ms;
    auto socket = transport->openWebSocket(request);
    std::mutex mutex;
    std::vector<std::string> received;
    std::function<void(Result<CoreSocketMessage>)> onMessage = [&](Result<CoreSocketMessage> message) {
        std::lock_guard lock(mutex);
        received.push_back(message ? std::string(message->view()) : "error " + message.error().message);
    };
    socket->receive(onMessage);
    auto count = [&] {
        std::lock_guard lock(mutex);
        return received.size();
    };
    ASSERT_TRUE(pumpUntil([&] { return count() == 1; }));
    EXPECT_FALSE(pumpUntil([&] { return count() > 1; }, 600ms)) << "idle well past the handshake time-out";
    socket->receive(onMessage);
    engine.pushEvent("status");
    ASSERT_TRUE(pumpUntil([&] { return count() == 2; }));
    std::lock_guard lock(mutex);
    EXPECT_NE(received[1].find("\"status\""), std::string::npos) << received[1];
    socket->close(1001);
}

// How long the waits take is measured in bench/CoreCancelTimingBench; here
// only that both ends of the wait work over the real transport.
TEST_F(MurmoCoreClientIntegrationTest, SynchronousCancelReturnsOnTheReplyOrAtItsTimeout) {
    engine.setReply("POST", "/api/v1/dictations/never/cancel", StandInReply::hanging());
    engine.setReply("POST", "/api/v1/dictations/slow/cancel", StandInReply{200, "{}"}.after(50ms));

    client->cancelDictationSynchronously("never", 50ms);
    client->cancelDictationSynchronously("slow", 1h);  // would hang the test if the reply did not end the wait
    EXPECT_EQ(engine.requestCount("/api/v1/dictations/never/cancel"), 1u);
    EXPECT_EQ(engine.requestCount("/api/v1/dictations/slow/cancel"), 1u);
}

TEST_F(MurmoCoreClientIntegrationTest, AudioFramesArriveInOrderWithTheEndLast) {
    connectAndWaitUntilReady();
    client->beginNativeAudio("op-audio", 48000);
    for (std::uint8_t i = 0; i < 10; ++i) client->sendNativeAudio(std::vector<std::uint8_t>(1920, i));
    std::optional<Status> ended;
    client->endNativeAudio("op-audio", false, [&](Status status) { ended = status; });
    ASSERT_TRUE(pumpUntil([&] { return ended.has_value(); }));
    EXPECT_TRUE(*ended) << ended->error().message;

    const auto frames = engine.socketFrames();
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_TRUE(frames.front().text);
    EXPECT_EQ(nlohmann::json::parse(frames.front().bytes),
              (nlohmann::json{{"type", "native_audio_begin"}, {"operation_id", "op-audio"}, {"sample_rate", 48000}}));
    for (std::uint8_t i = 0; i < 10; ++i) {
        const auto& frame = frames[1 + i];
        EXPECT_FALSE(frame.text);
        EXPECT_EQ(frame.bytes, std::string(1920, static_cast<char>(i))) << "frame " << int(i);
    }
    EXPECT_EQ(nlohmann::json::parse(frames.back().bytes),
              (nlohmann::json{{"type", "native_audio_end"}, {"operation_id", "op-audio"}}));
    EXPECT_FALSE(client->audioStream().hasOpenSession());
    EXPECT_EQ(client->sendQueue().queuedAudioBytes(), 0);
}

TEST_F(MurmoCoreClientIntegrationTest, HeldAcknowledgementsKeepTheEndWaitingUntilReleased) {
    engine.setAcknowledgements(StandInAcknowledgements::hold);
    connectAndWaitUntilReady();
    client->beginNativeAudio("op", 16000);
    std::optional<Status> ended;
    client->endNativeAudio("op", false, [&](Status status) { ended = status; });
    ASSERT_TRUE(pumpUntil([&] { return engine.socketFrameCount() == 2; }));
    EXPECT_FALSE(pumpUntil([&] { return ended.has_value(); }, 300ms));
    engine.releaseHeldAcknowledgements();
    ASSERT_TRUE(pumpUntil([&] { return ended.has_value(); }));
    EXPECT_TRUE(*ended);
}

TEST_F(MurmoCoreClientIntegrationTest, EventsArriveInSequenceAndTheSocketReconnectsHalfASecondAfterADrop) {
    connectAndWaitUntilReady();
    engine.pushEvent("final_text", R"({"text":"hello"})", "reliable", "op-1");
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events[0].type, "runtime_status");
    EXPECT_EQ(events[1].type, "final_text");
    EXPECT_EQ(events[1].sequence, 2);
    EXPECT_EQ(events[1].operationID, "op-1");
    EXPECT_EQ(*events[1].data.at("text").string(), "hello");

    const auto dropped = std::chrono::steady_clock::now();
    engine.dropSockets();
    ASSERT_TRUE(pumpUntil([&] { return changes.size() == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return engine.acceptedSocketCount() == 2; }));
    const auto reconnected = std::chrono::steady_clock::now() - dropped;
    EXPECT_GE(reconnected, 500ms);
    EXPECT_LT(reconnected, 3s);
    ASSERT_TRUE(pumpUntil([&] { return changes.size() == 3; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(events.back().sequence, 1) << "a new socket counts from the start again";
}

// An event of exactly `size` bytes whose data holds one padding text.
std::string paddedEvent(std::int64_t sequence, std::size_t size) {
    const auto head =
        fmt::format(R"({{"protocol_version":1,"sequence":{},"type":"big","qos":"reliable","data":{{"pad":")", sequence);
    const std::string tail = R"("}})";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

std::string nested(std::string_view before, std::size_t depth, std::string_view after) {
    return std::string(before) + std::string(depth, '[') + std::string(depth, ']') + std::string(after);
}

TEST_F(MurmoCoreClientIntegrationTest, DeeplyNestedEngineJSONIsRefusedOnEveryWirePath) {
    connectAndWaitUntilReady();
    engine.pushText(
        nested(R"({"protocol_version":1,"sequence":50,"type":"deep","qos":"reliable","data":{"a":)", 100'000, "}}"));
    engine.pushEvent("after");
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1].type, "after") << "the deep event was dropped and the socket went on";
    EXPECT_EQ(changes, (std::vector<bool>{true}));

    engine.setReply("POST", "/api/v1/dictations/op/release",
                    StandInReply{200, nested(R"({"agent_answer":{"a":)", 100'000, "}}")});
    engine.setReply(
        "GET", "/api/settings",
        StandInReply{200, nested(R"({"native_shortcut":{"kind":"fn","display":"","modifiers":)", 100'000, "}}")});
    std::vector<Error> errors;
    const auto record = [&](auto reply) {
        ASSERT_FALSE(reply);
        errors.push_back(reply.error());
    };
    client->releaseDictation("op", MonotonicTime(1ns), record);
    client->fetchShortcutSettings(record);
    ASSERT_TRUE(pumpUntil([&] { return errors.size() == 2; }));
    for (const auto& error : errors) EXPECT_EQ(error.code, static_cast<long>(json::JsonErrorCode::tooDeep));
}

TEST_F(MurmoCoreClientIntegrationTest, AnOversizedReplyFailsItsRequestWithItsSizeLogged) {
    const auto padded = [](std::size_t size) {
        const std::string frame = R"({"audio_device_name":""})";
        return std::string(R"({"audio_device_name":")") + std::string(size - frame.size(), 'x') + "\"}";
    };
    engine.setReply("GET", "/api/settings", StandInReply{200, padded(kMaximumEngineMessageBytes)});
    std::optional<Result<ShortcutSettingsResponse>> atTheBound;
    client->fetchShortcutSettings([&](auto reply) { atTheBound = std::move(reply); });
    ASSERT_TRUE(pumpUntil([&] { return atTheBound.has_value(); }));
    ASSERT_TRUE(*atTheBound) << atTheBound->error().message;
    EXPECT_EQ((*atTheBound)->audioDeviceName->size(), kMaximumEngineMessageBytes - 24);

    engine.setReply("GET", "/api/settings", StandInReply{200, padded(kMaximumEngineMessageBytes + 1)});
    std::optional<Result<ShortcutSettingsResponse>> overTheBound;
    client->fetchShortcutSettings([&](auto reply) { overTheBound = std::move(reply); });
    ASSERT_TRUE(pumpUntil([&] { return overTheBound.has_value(); }));
    ASSERT_FALSE(*overTheBound);
    EXPECT_EQ(overTheBound->error(), coreTransportError(CoreTransportErrorCode::messageTooLarge));
    EXPECT_TRUE(logs->contains(fmt::format("Engine reply refused size={} limit={}", kMaximumEngineMessageBytes + 1,
                                           kMaximumEngineMessageBytes)));
}

TEST_F(MurmoCoreClientIntegrationTest, AnOversizedEventFailsTheSocketWithItsSizeLogged) {
    connectAndWaitUntilReady();
    engine.pushText(paddedEvent(50, kMaximumEngineMessageBytes));
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1].type, "big") << "the bound itself passes";

    engine.pushText(paddedEvent(51, 16'000'000));
    ASSERT_TRUE(pumpUntil([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(events.size(), 2u) << "never decoded";
    EXPECT_TRUE(logs->contains(
        fmt::format("Engine socket message refused size=16000000 limit={}", kMaximumEngineMessageBytes)));
    ASSERT_TRUE(pumpUntil([&] { return client->eventSocket().isReady(); })) << "the socket reconnects";
}

TEST_F(MurmoCoreClientIntegrationTest, ARefusedUpgradeKeepsRetryingUntilTheEngineAccepts) {
    engine.setRefusesSockets(true);
    client->connect();
    ASSERT_TRUE(pumpUntil([&] { return engine.requestCount("/ws/events") >= 3; }));
    EXPECT_EQ(engine.acceptedSocketCount(), 0u);
    EXPECT_FALSE(changes.empty());
    EXPECT_TRUE(std::ranges::none_of(changes, [](bool connected) { return connected; }));
    engine.setRefusesSockets(false);
    ASSERT_TRUE(pumpUntil([&] { return client->eventSocket().isReady(); }));
    client->disconnect();
    EXPECT_EQ(changes.back(), false);
    ASSERT_TRUE(pumpUntil([&] { return engine.openSocketCount() == 0; }));
}

}  // namespace
}  // namespace murmo
