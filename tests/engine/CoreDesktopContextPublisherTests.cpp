#include "engine/CoreDesktopContextPublisher.h"

#include <gtest/gtest.h>

#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "support/FakeCoreTransport.h"

namespace murmo {
namespace {

using json::Json;

// A one-slot mailbox as the shell keeps it.
struct Mailbox {
    std::optional<std::string> event;

    CoreEventMailbox access() {
        return CoreEventMailbox{.take = [this] { return std::exchange(event, std::nullopt); },
                                .restore =
                                    [this](std::string unsent) {
                                        if (!event) event = std::move(unsent);
                                    }};
    }
};

class CoreDesktopContextPublisherTest : public ::testing::Test {
protected:
    ManualLoop loop;
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    Json facts = Json{{"availability", "unavailable"}, {"installed", nullptr}};
    Mailbox exports;
    Mailbox writingCopies;
    std::shared_ptr<CoreDesktopContextPublisher> publisher =
        CoreDesktopContextPublisher::create({.loop = loop, .transport = transport, .log = Logger("core-process", logs)},
                                            "http://127.0.0.1:8765", "secret-token",
                                            CoreLaunchProviders{.updateFacts = [this] { return facts; },
                                                                .exportEvent = exports.access(),
                                                                .writingCopyEvent = writingCopies.access()});

    Json lastBody() const { return *json::parseObject(transport->lastRequest().body.value_or("")); }

    void answer(int status) {
        transport->answer(status, "{}");
        loop.runUntilIdle();
    }
};

TEST_F(CoreDesktopContextPublisherTest, SendsTheFactsOnceAndAgainOnlyWhenTheyChangeOrAnEventWaits) {
    publisher->publish();
    ASSERT_EQ(transport->requests().size(), 1u);
    const auto& request = transport->lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url.text(), "http://127.0.0.1:8765/api/v1/desktop/context");
    EXPECT_NE(std::ranges::find(request.headers,
                                std::pair<std::string, std::string>{"X-Murmo-Desktop-Token", "secret-token"}),
              request.headers.end());
    EXPECT_EQ(lastBody(), (Json{{"update_facts", facts}, {"export_event", nullptr}, {"writing_copy_event", nullptr}}));

    publisher->publish();
    EXPECT_EQ(transport->requests().size(), 1u) << "one send in flight at a time";
    answer(200);

    publisher->publish();
    EXPECT_EQ(transport->requests().size(), 1u) << "nothing new";

    exports.event = "{\"kind\":\"export\"}";
    publisher->publish();
    ASSERT_EQ(transport->requests().size(), 2u);
    EXPECT_EQ(lastBody()["export_event"], "{\"kind\":\"export\"}");
    EXPECT_FALSE(exports.event) << "reading a mailbox empties it";
    answer(204);

    facts["availability"] = "available";
    publisher->publish();
    ASSERT_EQ(transport->requests().size(), 3u);
    EXPECT_EQ(lastBody()["update_facts"]["availability"], "available");
    EXPECT_TRUE(lastBody()["export_event"].is_null());
}

TEST_F(CoreDesktopContextPublisherTest, AFailedSendPutsItsEventsBackUnlessNewerOnesArrived) {
    exports.event = "first export";
    writingCopies.event = "first copy";
    publisher->publish();
    exports.event = "newer export";  // arrives while the first is on its way
    transport->answer(fail(coreTransportError(CoreTransportErrorCode::cannotConnectToHost)));
    loop.runUntilIdle();
    EXPECT_EQ(exports.event, "newer export");
    EXPECT_EQ(writingCopies.event, "first copy");

    publisher->publish();
    EXPECT_EQ(lastBody()["export_event"], "newer export");
    EXPECT_EQ(lastBody()["writing_copy_event"], "first copy");
    answer(500);
    EXPECT_EQ(writingCopies.event, "first copy") << "an error status is a failed send too";
    EXPECT_FALSE(publisher->isRefused());
}

TEST_F(CoreDesktopContextPublisherTest, AnEngineThatAnswers404IsNotAskedAgainAndLosesNoEvent) {
    exports.event = "export";
    publisher->publish();
    answer(404);
    EXPECT_TRUE(publisher->isRefused());
    EXPECT_EQ(exports.event, "export");
    facts["availability"] = "available";
    publisher->publish();
    EXPECT_EQ(transport->requests().size(), 1u);
}

TEST_F(CoreDesktopContextPublisherTest, AnEventInFlightWhenTheOwnerLetsGoStillReturnsOnFailure) {
    exports.event = "export";
    publisher->publish();
    publisher.reset();
    transport->answer(503, "{}");
    loop.runUntilIdle();
    EXPECT_EQ(exports.event, "export");
}

TEST(CoreDesktopContextPublisherCreateTest, ANonServerURLMakesNoPublisher) {
    ManualLoop loop;
    EXPECT_EQ(CoreDesktopContextPublisher::create(
                  {.loop = loop, .transport = std::make_shared<FakeCoreTransport>(), .log = Logger("core-process")},
                  "not a url", "token", {}),
              nullptr);
}

}  // namespace
}  // namespace murmo
