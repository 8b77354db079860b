#include "shell/bridges/NativeUpdateBridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimBundle.h"
#include "platform/sim/SimUpdater.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Bridge = NativeUpdateBridge;
using Command = NativeUpdateCommand;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kUnavailable(Bridge::kUnavailableText);

const WebFrameInfo kEngineFrame = frameAt("http://127.0.0.1:8765/settings/updates");

// A bundle whose update configuration is usable; without the two keys there
// is no updater at all.
json::Json infoDictionary(bool configured) {
    json::Json info = {
        {"CFBundleShortVersionString", "1.2.3"}, {"CFBundleVersion", "45"}, {"CFBundleIdentifier", "local.murmo.app"}};
    if (configured) {
        info["SUFeedURL"] = "https://updates.example.com/murmo/appcast.xml";
        info["SUPublicEDKey"] = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    }
    return info;
}

class NativeUpdateBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    NativeUpdateBridgeTest() : AnsweringBridgePage(kEngineFrame) {}

    SequentialIdGenerator ids;
    SimUpdaterFactory updaters;
    SimBundle bundle{"/Applications/Murmo.app", infoDictionary(true)};
    std::shared_ptr<UpdateCoordinator> coordinator;
    std::shared_ptr<Bridge> bridge;

    void SetUp() override { install(); }

    // A coordinator made from the bundle as it is now, behind a new bridge.
    void install() {
        view.removeScriptMessageHandler(Bridge::kHandlerName);
        coordinator =
            std::make_shared<UpdateCoordinator>(MurmoUpdateConfiguration::fromBundle(bundle), bundle, updaters, ids);
        bridge = Bridge::create(loop, *URL::parse("http://127.0.0.1:8765"), coordinator);
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
    }

    SimUpdater& updater() { return *updaters.updater; }
};

TEST(NativeUpdateCommandTest, EachActionTakesExactlyItsKeysAndATrueBoolean) {
    const struct {
        const char* body;
        std::optional<Command> command;
    } rows[] = {
        {R"({"action":"status"})", Command{Command::Action::status, std::nullopt}},
        {R"({"action":"check"})", Command{Command::Action::check, std::nullopt}},
        {R"({"action":"set_automatic_checks","enabled":false})", Command{Command::Action::setAutomaticChecks, false}},
        {R"({"action":"set_automatic_downloads","enabled":true})",
         Command{Command::Action::setAutomaticDownloads, true}},
        {R"({"action":"check","enabled":true})", std::nullopt},
        {R"({"action":"status","enabled":null})", std::nullopt},
        {R"({"action":"set_automatic_checks","enabled":"true"})", std::nullopt},
        {R"({"action":"set_automatic_checks","enabled":1})", std::nullopt},
        {R"({"action":"set_automatic_downloads","enabled":0})", std::nullopt},
        {R"({"action":"set_automatic_downloads","enabled":null})", std::nullopt},
        {R"({"action":"set_automatic_checks"})", std::nullopt},
        {R"({"action":"set_automatic_checks","enabled":true,"force":true})", std::nullopt},
        {R"({"action":"Check"})", std::nullopt},
        {R"({"action":"check "})", std::nullopt},
        {R"({"action":"install"})", std::nullopt},
        {R"({"enabled":true})", std::nullopt},
        {R"({"action":null})", std::nullopt},
        {R"(["check"])", std::nullopt},
        {R"("check")", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(Command::fromBody(*json::parse(row.body)), row.command);
    }
    EXPECT_EQ(Command::fromBody(std::nullopt), std::nullopt);
}

TEST_F(NativeUpdateBridgeTest, RefusedMessagesTouchNoUpdaterAndAreRejectedOnce) {
    const struct {
        const char* why;
        std::optional<std::string_view> body;
        WebFrameInfo frame = kEngineFrame;
    } rows[] = {
        {"subframe", R"({"action":"check"})", frameAt("http://127.0.0.1:8765/", false)},
        {"another port", R"({"action":"check"})", frameAt("http://127.0.0.1:8766/")},
        {"no body", std::nullopt},
        {"surplus key", R"({"action":"check","enabled":true})"},
        {"a string for true", R"({"action":"set_automatic_checks","enabled":"true"})"},
        {"a number for true", R"({"action":"set_automatic_downloads","enabled":1})"},
        {"a null-valued key", R"({"action":"set_automatic_checks","enabled":null})"},
        {"a null-valued surplus key", R"({"action":"status","enabled":null})"},
        {"wrong case", R"({"action":"Check"})"},
        {"missing enabled", R"({"action":"set_automatic_downloads"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    EXPECT_EQ(updater().checks, 0);
    EXPECT_TRUE(updater().automaticallyChecksForUpdates());
    EXPECT_FALSE(updater().automaticallyDownloadsUpdates());
}

TEST_F(NativeUpdateBridgeTest, EachActionAnswersTheCoordinatorsStatusAfterTheCall) {
    const auto check = send(R"({"action":"check"})");
    EXPECT_EQ(replyTo(check).answers, 0) << "the action runs on the loop, not in the callback";
    EXPECT_EQ(updater().checks, 0);
    loop.runUntilIdle();
    EXPECT_EQ(payloadOf(replyTo(check))["request_result"], "accepted");
    EXPECT_EQ(updater().checks, 1);

    updater().canCheck = false;
    EXPECT_EQ(payloadOf(post(R"({"action":"check"})"))["request_result"], "busy");
    EXPECT_EQ(updater().checks, 1);

    const auto checksOff = payloadOf(post(R"({"action":"set_automatic_checks","enabled":false})"));
    EXPECT_EQ(checksOff["request_result"], "accepted");
    EXPECT_EQ(checksOff["automatically_checks"], false);
    EXPECT_FALSE(updater().automaticallyChecksForUpdates());

    const auto downloadsOn = payloadOf(post(R"({"action":"set_automatic_downloads","enabled":true})"));
    EXPECT_EQ(downloadsOn["request_result"], "accepted");
    EXPECT_EQ(downloadsOn["automatically_downloads"], true);

    updater().allowsAutomatic = false;
    updater().setAutomaticallyDownloadsUpdates(false);
    const auto refused = payloadOf(post(R"({"action":"set_automatic_downloads","enabled":true})"));
    EXPECT_EQ(refused["request_result"], "not_allowed");
    EXPECT_EQ(refused["automatically_downloads"], false);

    EXPECT_EQ(payloadOf(post(R"({"action":"status"})")),
              coordinator->statusPayload(UpdateCoordinator::RequestResult::ready));
    EXPECT_EQ(updater().checks, 1) << "status checks nothing";
}

TEST_F(NativeUpdateBridgeTest, TheStatusReplyCarriesExactlyTheCoordinatorsKeys) {
    const auto payload = payloadOf(post(R"({"action":"status"})"));
    std::set<std::string> keys;
    for (const auto& [key, value] : payload.items()) keys.insert(key);
    const std::set<std::string> expected{"contract_version",
                                         "update_scope",
                                         "availability",
                                         "request_result",
                                         "reason_code",
                                         "can_check",
                                         "session_in_progress",
                                         "automatically_checks",
                                         "automatically_downloads",
                                         "automatic_downloads_allowed",
                                         "last_checked_at",
                                         "current_version",
                                         "current_build",
                                         "lifecycle"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(payload["request_result"], "ready");
    EXPECT_EQ(payload["availability"], "available");
}

TEST_F(NativeUpdateBridgeTest, AnUpdaterThatNeverStartedIsNoErrorButAnUnavailableStatus) {
    const struct {
        const char* why;
        bool configured;
        const char* reason;
    } rows[] = {{"not configured", false, "not_configured"}, {"start failed", true, "startup_failed"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        bundle.setInfoDictionary(infoDictionary(row.configured));
        updaters.script = [](SimUpdater& made) {
            made.startFailure = UpdaterError{"MurmoUpdater", 1, "no in-app updater", nullptr};
        };
        install();
        const auto status = payloadOf(post(R"({"action":"status"})"));
        EXPECT_EQ(status["request_result"], "ready");
        EXPECT_EQ(status["availability"], "unavailable");
        EXPECT_EQ(status["reason_code"], row.reason);
        for (const auto* body : {R"({"action":"check"})", R"({"action":"set_automatic_checks","enabled":true})",
                                 R"({"action":"set_automatic_downloads","enabled":false})"}) {
            SCOPED_TRACE(body);
            const auto answer = payloadOf(post(body));
            EXPECT_EQ(answer["request_result"], "unavailable");
            EXPECT_EQ(answer["availability"], "unavailable");
        }
    }
}

TEST_F(NativeUpdateBridgeTest, EveryMessageIsAnsweredExactlyOnceWhicheverWayItEnds) {
    const auto refused = send(R"({"action":"check","enabled":true})");
    const auto accepted = send(R"({"action":"status"})");
    EXPECT_EQ(replyTo(refused).answers, 1) << "a refusal answers at once";
    loop.advance(1s);
    EXPECT_EQ(replyTo(refused).answers, 1);
    EXPECT_EQ(payloadOf(replyTo(accepted))["request_result"], "ready");

    const auto orphaned = send(R"({"action":"check"})");
    bridge.reset();
    loop.advance(1s);
    EXPECT_EQ(replyTo(orphaned).answers, 1);
    EXPECT_EQ(replyTo(orphaned).errorMessage, kUnavailable);
    EXPECT_EQ(updater().checks, 0) << "the coordinator is not called for a gone bridge";

    const auto& late = post(R"({"action":"status"})");
    EXPECT_EQ(late.answers, 1);
    EXPECT_EQ(late.errorMessage, kUnavailable) << "the registered handler outlives its bridge";
}

}  // namespace
}  // namespace murmo
