#include "engine/MurmoCoreClient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeCoreTransport.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

std::set<std::string> bodyKeys(const CoreHTTPRequest& request) {
    std::set<std::string> keys;
    if (!request.body) return keys;
    auto object = json::parseObject(*request.body);
    EXPECT_TRUE(object) << *request.body;
    if (object) {
        for (const auto& [key, value] : object->items()) keys.insert(key);
    }
    return keys;
}

std::optional<std::string> header(const CoreHTTPRequest& request, std::string_view name) {
    for (const auto& [key, value] : request.headers) {
        if (key == name) return value;
    }
    return std::nullopt;
}

// Stands in for the blocking wait: records what it is asked to wait for and
// runs what the test says arrives meanwhile.
class ScriptedReplySignal final : public ReplySignal {
public:
    void raise() override { raised = true; }
    void waitFor(Duration timeout) override {
        waitedFor = timeout;
        if (whileWaiting) whileWaiting();
    }

    std::function<void()> whileWaiting;
    std::optional<Duration> waitedFor;
    bool raised = false;
};

class MurmoCoreClientTest : public ::testing::Test {
protected:
    MurmoCoreClient& makeClient(std::string baseURL = "http://127.0.0.1:8765") {
        client = MurmoCoreClient::create(std::move(baseURL), "token-123", {loop, transport, logs, [this] {
                                                                               requestsWhenSignalMade =
                                                                                   transport->requests().size();
                                                                               return signal;
                                                                           }});
        return *client;
    }
    void SetUp() override { makeClient(); }

    ManualLoop loop;
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    std::shared_ptr<MurmoCoreClient> client;
    std::shared_ptr<ScriptedReplySignal> signal = std::make_shared<ScriptedReplySignal>();
    std::optional<std::size_t> requestsWhenSignalMade;
};

TEST(MurmoCoreClientReplyTest, ClassificationTable) {
    struct Case {
        const char* what;
        Result<CoreHTTPResponse> reply;
        std::optional<std::string> body;  // success
        std::optional<Error> error;
    };
    const auto timeout = coreTransportError(CoreTransportErrorCode::timedOut);
    const Case cases[] = {
        {"404 with a body", CoreHTTPResponse{404, "Not Found"}, std::nullopt, Error("MurmoCore", 404, "Not Found")},
        {"500 invalid UTF-8", CoreHTTPResponse{500, "\xFF\xFE"}, std::nullopt, Error("MurmoCore", 500, "HTTP 500")},
        {"500 without a body", CoreHTTPResponse{500, std::nullopt}, std::nullopt, Error("MurmoCore", 500, "HTTP 500")},
        {"500 zero-length body", CoreHTTPResponse{500, ""}, std::nullopt, Error("MurmoCore", 500, "")},
        {"422 JSON document, unparsed", CoreHTTPResponse{422, R"({"detail":"x"})"}, std::nullopt,
         Error("MurmoCore", 422, R"({"detail":"x"})")},
        {"199 is not success", CoreHTTPResponse{199, "x"}, std::nullopt, Error("MurmoCore", 199, "x")},
        {"300 is not success", CoreHTTPResponse{300, "x"}, std::nullopt, Error("MurmoCore", 300, "x")},
        {"transport error unchanged", fail(timeout), std::nullopt, timeout},
        {"2xx without a body", CoreHTTPResponse{204, std::nullopt}, std::string("{}"), std::nullopt},
        {"2xx zero-length body", CoreHTTPResponse{200, ""}, std::string(""), std::nullopt},
        {"299 with a body", CoreHTTPResponse{299, "[1]"}, std::string("[1]"), std::nullopt},
    };
    for (const auto& c : cases) {
        auto result = MurmoCoreClient::classifyReply(c.reply);
        if (c.body) {
            ASSERT_TRUE(result) << c.what;
            EXPECT_EQ(*result, *c.body) << c.what;
        } else {
            ASSERT_FALSE(result) << c.what;
            EXPECT_EQ(result.error(), *c.error) << c.what;
        }
    }
}

TEST_F(MurmoCoreClientTest, TypedRepliesAreDecodedOnTheLoopAfterTheCallReturns) {
    std::vector<Result<JSONValue::Object>> replies;
    auto record = [&](Result<JSONValue::Object> reply) { replies.push_back(std::move(reply)); };
    client->fetchAgentOperation("op", record);
    client->fetchAgentOperation("op", record);
    client->fetchAgentOperation("op", record);
    transport->answer(200, std::nullopt);
    transport->answer(200, "");
    transport->answer(200, R"({"answer":{"text":"hi"}})");
    EXPECT_TRUE(replies.empty()) << "delivered through the loop, never inside the transport's call";
    loop.runUntilIdle();
    ASSERT_EQ(replies.size(), 3u);
    ASSERT_TRUE(replies[0]) << "no body at all reads as an empty object";
    EXPECT_TRUE(replies[0]->empty());
    EXPECT_FALSE(replies[1]) << "a zero-length body is a decoding error";
    EXPECT_EQ(replies[1].error().domain, json::kErrorDomain);
    ASSERT_TRUE(replies[2]);
    EXPECT_EQ(*replies[2]->at("answer").object()->at("text").string(), "hi");

    std::optional<Result<DictationCommandResponse>> command;
    client->releaseDictation("op", MonotonicTime(1ns), [&](auto reply) { command = std::move(reply); });
    transport->answer(200, R"({"agent_answer":[1]})");
    loop.runUntilIdle();
    ASSERT_TRUE(command);
    EXPECT_FALSE(*command) << "a wrongly typed field fails the whole reply";

    std::optional<Status> cancelled;
    client->cancelAgentOperation("op", [&](Status status) { cancelled = status; });
    transport->answer(409, "busy");
    loop.runUntilIdle();
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(cancelled->error(), Error("MurmoCore", 409, "busy"));
}

TEST_F(MurmoCoreClientTest, SynchronousCancelWaitsForTheReplyAtMostItsTimeoutFromTheRequestStart) {
    // Whatever the reply, it ends the wait, from the transport's thread.
    for (auto reply : {Result<CoreHTTPResponse>(CoreHTTPResponse{500, "no"}),
                       Result<CoreHTTPResponse>(fail(coreTransportError(CoreTransportErrorCode::timedOut)))}) {
        signal = std::make_shared<ScriptedReplySignal>();
        signal->whileWaiting = [&] { transport->answer(reply); };
        client->cancelDictationSynchronously("op", 800ms);
        EXPECT_TRUE(signal->raised);
    }

    struct Case {
        Duration timeout;
        Duration expectedWait;
    };
    for (const auto& c : {Case{800ms, 800ms}, Case{Duration::zero(), Duration::zero()}, Case{-1s, Duration::zero()},
                          Case{Duration::min(), Duration::zero()}, Case{Duration::max(), std::chrono::hours(24)}}) {
        signal = std::make_shared<ScriptedReplySignal>();
        requestsWhenSignalMade.reset();
        const auto before = transport->requests().size();
        client->cancelDictationSynchronously("op", c.timeout);
        EXPECT_EQ(requestsWhenSignalMade, before) << "the time-out counts from before the request starts";
        EXPECT_EQ(signal->waitedFor, c.expectedWait) << c.timeout.count();
        ASSERT_EQ(transport->requests().size(), before + 1);
        EXPECT_EQ(transport->lastRequest().method, "POST");
        EXPECT_EQ(transport->lastRequest().url.target(), "/api/v1/dictations/op/cancel");
        EXPECT_FALSE(transport->lastRequest().body);
    }
    loop.runUntilIdle();
    EXPECT_EQ(transport->pendingRequests(), 5u) << "requests the wait gave up on are left to finish on their own";
}

TEST_F(MurmoCoreClientTest, DeeplyNestedRepliesFailToDecodeOnEveryTypedPath) {
    const auto deep = [](std::string_view before, std::string_view after) {
        constexpr std::size_t kDepth = 100'000;
        return std::string(before) + std::string(kDepth, '[') + std::string(kDepth, ']') + std::string(after);
    };
    std::vector<Error> errors;
    const auto record = [&](auto reply) {
        ASSERT_FALSE(reply);
        errors.push_back(reply.error());
    };
    client->releaseDictation("op", MonotonicTime(1ns), record);
    transport->answer(200, deep(R"({"agent_answer":{"a":)", "}}"));
    client->fetchShortcutSettings(record);
    transport->answer(200, deep(R"({"native_shortcut":{"kind":"fn","display":"","modifiers":)", "}}"));
    client->fetchAgentOperation("op", record);
    transport->answer(200, deep(R"({"answer":)", "}"));
    client->confirmAgentOperation("op", "token", record);
    transport->answer(200, deep(R"({"a":{"b":)", "}}"));
    loop.runUntilIdle();
    ASSERT_EQ(errors.size(), 4u);
    for (const auto& error : errors) {
        EXPECT_EQ(error.code, static_cast<long>(json::JsonErrorCode::tooDeep)) << error.message;
    }
}

TEST_F(MurmoCoreClientTest, EveryEndpointsMethodPathAndBody) {
    auto ignore = [](auto) {};
    client->createDictation("op-1", MonotonicTime(7ns), " com.example.app ", "App", "native_raw", 48000, ignore);
    client->createAgentOperation("op-1", MonotonicTime(7ns), "native_raw", 48000, ignore);
    client->createPendingAgentOperation("op-1", MonotonicTime(7ns), std::nullopt, "App", std::nullopt, std::nullopt,
                                        ignore);
    client->resolveAgentOperationMode("op-1", "answer", ignore);
    client->releaseDictation("op-1", MonotonicTime(7ns), ignore);
    client->releaseAgentOperation("op-1", MonotonicTime(7ns), ignore);
    client->fetchAgentOperation("op-1", ignore);
    client->cancelAgentOperation("op-1");
    client->confirmAgentOperation("op-1", "secret", ignore);
    client->cancelDictation("op-1");
    client->reportDeliveryResult("op-1", DeliveryResultPayload{"t", "inserted", "paste", "ok", true, 3});
    client->fetchShortcutSettings(ignore);
    client->reportAudioRoute(NativeAudioRoute{true, false});
    client->completeShortcutCapture("cap-1", ShortcutSpecPayload(ShortcutChoice::function()), ignore);
    client->cancelShortcutCapture("cap-1", std::nullopt);
    client->cancelShortcutCapture("cap-1", "timeout");
    client->pauseRuntime();
    client->resumeRuntime();

    using Keys = std::set<std::string>;
    const Keys recording{"source", "operation_id", "client_monotonic_ns"};
    struct Expected {
        const char* method;
        const char* target;
        std::optional<Keys> keys;  // nullopt: no body at all
    };
    const Expected expected[] = {
        {"POST", "/api/v1/dictations",
         Keys{"source", "operation_id", "client_monotonic_ns", "target_app_id", "target_app_name", "audio_source",
              "audio_sample_rate"}},
        {"POST", "/api/v1/agent/operations",
         Keys{"source", "operation_id", "client_monotonic_ns", "audio_source", "audio_sample_rate"}},
        {"POST", "/api/v1/agent/pending-operations",
         Keys{"source", "operation_id", "client_monotonic_ns", "target_app_name"}},
        {"POST", "/api/v1/agent/operations/op-1/resolve-mode", Keys{"mode"}},
        {"POST", "/api/v1/dictations/op-1/release", recording},
        {"POST", "/api/v1/agent/operations/op-1/release", recording},
        {"GET", "/api/v1/agent/operations/op-1", std::nullopt},
        {"DELETE", "/api/v1/agent/operations/op-1", std::nullopt},
        {"POST", "/api/v1/agent/operations/op-1/confirm", Keys{"token"}},
        {"POST", "/api/v1/dictations/op-1/cancel", std::nullopt},
        {"POST", "/api/v1/dictations/op-1/delivery-result",
         Keys{"target_id", "outcome", "method", "reason_code", "verified", "elapsed_ms"}},
        {"GET", "/api/settings", std::nullopt},
        {"POST", "/api/v1/audio/route", Keys{"input_is_builtin", "output_is_builtin"}},
        {"POST", "/api/v1/shortcut-captures/cap-1/complete", Keys{"shortcut"}},
        {"POST", "/api/v1/shortcut-captures/cap-1/cancel", std::nullopt},
        {"POST", "/api/v1/shortcut-captures/cap-1/cancel", Keys{"reason"}},
        {"POST", "/api/v1/runtime/pause", std::nullopt},
        {"POST", "/api/v1/runtime/resume", std::nullopt},
    };
    const auto& requests = transport->requests();
    ASSERT_EQ(requests.size(), std::size(expected));
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto& request = requests[i];
        const auto& want = expected[i];
        EXPECT_EQ(request.method, want.method) << want.target;
        EXPECT_EQ(request.url.target(), want.target);
        EXPECT_EQ(request.url.host(), "127.0.0.1");
        EXPECT_EQ(request.idleTimeout, std::chrono::seconds(60));
        EXPECT_EQ(header(request, "Content-Type"), "application/json") << want.target;
        EXPECT_EQ(header(request, "X-Murmo-Desktop-Token"), "token-123") << want.target;
        if (want.keys) {
            EXPECT_EQ(bodyKeys(request), *want.keys) << want.target;
        } else {
            EXPECT_FALSE(request.body) << want.target << ": no body at all, not an empty object";
        }
    }
    auto created = json::parseObject(*requests[0].body);
    EXPECT_EQ((*created)["source"], "native_hotkey");
    EXPECT_EQ((*created)["target_app_id"], "com.example.app");
}

TEST_F(MurmoCoreClientTest, SettingsAndShortcutCaptureBodies) {
    std::vector<Result<ShortcutSettingsResponse>> settings;
    client->fetchShortcutSettings([&](auto reply) { settings.push_back(std::move(reply)); });
    client->fetchShortcutSettings([&](auto reply) { settings.push_back(std::move(reply)); });
    transport->answer(200, std::nullopt);
    transport->answer(200, "");
    loop.runUntilIdle();
    ASSERT_EQ(settings.size(), 2u);
    ASSERT_TRUE(settings[0]) << "no body at all: every field not given";
    EXPECT_FALSE(settings[0]->hotkeyEnabled);
    EXPECT_FALSE(settings[1]) << "a zero-length body does not decode";

    client->completeShortcutCapture("cap", ShortcutSpecPayload("chord", 36, {"shift", "command"}, "x"), {});
    EXPECT_EQ(*transport->lastRequest().body,
              R"({"shortcut":{"display":"x","key_code":36,"kind":"chord","modifiers":["shift","command"]}})");

    const auto sent = transport->requests().size();
    std::optional<Status> refused;
    client->completeShortcutCapture("cap", ShortcutSpecPayload("fn", std::nullopt, {}, "bad\xFF"),
                                    [&](Status status) { refused = status; });
    ASSERT_TRUE(refused) << "an unencodable shortcut fails at once";
    EXPECT_EQ(refused->error(), Error("MurmoShortcutCapture", 2, "Shortcut payload could not be encoded."));
    EXPECT_EQ(transport->requests().size(), sent);
}

TEST_F(MurmoCoreClientTest, IdentifiersStayOneEncodedSegment) {
    client->releaseDictation("../../runtime/pause?x=1", MonotonicTime(1ns), [](auto) {});
    client->fetchAgentOperation("a b/c", [](auto) {});
    client->cancelDictation("..");
    client->cancelAgentOperation(".");
    EXPECT_EQ(transport->requests()[0].url.target(), "/api/v1/dictations/..%2F..%2Fruntime%2Fpause%3Fx%3D1/release");
    EXPECT_EQ(transport->requests()[1].url.target(), "/api/v1/agent/operations/a%20b%2Fc");
    EXPECT_EQ(transport->requests()[2].url.target(), "/api/v1/dictations/%2E%2E/cancel") << "not the parent segment";
    EXPECT_EQ(transport->requests()[3].url.target(), "/api/v1/agent/operations/%2E");
}

TEST_F(MurmoCoreClientTest, BodiesThatCannotBeWrittenAreNeverSentAltered) {
    client->reportDeliveryResult("op", DeliveryResultPayload{"t", "inserted", "paste", "ok", true, std::nan("")});
    EXPECT_TRUE(transport->requests().empty()) << "an unencodable delivery result is not sent at all";

    client->resolveAgentOperationMode("op", "bad\xFF", [](auto) {});
    ASSERT_EQ(transport->requests().size(), 1u);
    EXPECT_FALSE(transport->lastRequest().body) << "sent without a body rather than with altered text";
}

TEST_F(MurmoCoreClientTest, UnusableBaseURLFailsEveryRequestThroughTheLoop) {
    makeClient("not a url");
    std::optional<Status> result;
    client->cancelDictation("op", [&](Status status) { result = status; });
    EXPECT_FALSE(result);
    loop.runUntilIdle();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->error().domain, kCoreTransportErrorDomain);
    EXPECT_EQ(result->error().reason, "bad_url");
    EXPECT_TRUE(transport->requests().empty());
    client->connect();
    EXPECT_TRUE(transport->sockets().empty()) << "no socket without a usable URL";
    EXPECT_FALSE(client->eventSocket().reconnectPending());
}

}  // namespace
}  // namespace murmo
