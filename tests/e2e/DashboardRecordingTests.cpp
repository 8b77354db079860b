// The dashboard page recording through the application's microphone over the
// real road: its begin, end and cancel commands, each answered exactly once;
// the stream under the page's own id; the shortcut kept out meanwhile; and
// every way the application abandons the recording.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "DictationScenario.h"
#include "coordinator/NativeAudioCommand.h"
#include "coordinator/WebAudioReply.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;
using Json = nlohmann::json;
using Action = NativeAudioCommand::Action;

const std::string kPage = "5a7e9c1b-3d4f-4e6a-8b2c-0d1e2f3a4b5c";
const std::string kOtherPage = "0c9d8e7f-6a5b-4c3d-9e2f-1a0b9c8d7e6f";

// One command of the page and every answer it got.
class PageCommand {
public:
    PageCommand(DictationWorld& world, Action action, const std::string& operation)
        : answers_(std::make_shared<std::vector<Json>>()) {
        world.coordinator->handleWebAudio(
            NativeAudioCommand{action, operation},
            WebAudioReply([answers = answers_](json::Json reply) { answers->push_back(std::move(reply)); }));
    }
    ~PageCommand() { EXPECT_LE(answers_->size(), 1u) << "a command was answered more than once"; }
    PageCommand(const PageCommand&) = delete;
    PageCommand& operator=(const PageCommand&) = delete;

    bool answered() const { return !answers_->empty(); }
    // The one answer; null until it came.
    Json reply() const {
        EXPECT_EQ(answers_->size(), 1u) << "a command is answered exactly once";
        return answers_->empty() ? Json() : answers_->front();
    }
    std::string code() const { return reply().value("code", ""); }

private:
    std::shared_ptr<std::vector<Json>> answers_;
};

// A command whose answer the test waits for.
std::unique_ptr<PageCommand> sendAndWait(DictationWorld& world, Action action, const std::string& operation) {
    auto command = std::make_unique<PageCommand>(world, action, operation);
    EXPECT_TRUE(world.pumpUntil([&] { return command->answered(); })) << "the command was never answered";
    return command;
}

const Json kEnded{{"ended", true}};

// What the page was sent after its replies: operation, code and message.
struct PageFailure {
    std::string operation;
    std::string code;
    std::string message;
};

// Collects what the page is sent after its replies.
std::shared_ptr<std::vector<PageFailure>> watchFailures(DictationWorld& world) {
    auto failures = std::make_shared<std::vector<PageFailure>>();
    world.coordinator->onWebAudioFailure = [failures](const std::string& operation, const std::string& code,
                                                      const std::string& message) {
        failures->push_back({operation, code, message});
    };
    return failures;
}

bool controlFrameSent(const DictationWorld& world, std::string_view type, const std::string& operation) {
    return std::ranges::any_of(world.controlFrames(), [&](const AudioControlFrame& frame) {
        return frame.type == type && frame.operationID == operation;
    });
}

bool startsRefused(DictationWorld& world) {
    const auto starts = sent(world, kStart);
    world.pressShortcut();
    world.releaseShortcut();
    return world.settle() && sent(world, kStart) == starts;
}

// A recording the page began, streaming.
std::unique_ptr<PageCommand> beginRecording(DictationWorld& world, const std::string& operation = kPage) {
    auto begin = sendAndWait(world, Action::begin, operation);
    EXPECT_TRUE(begin->reply().value("enabled", false)) << begin->reply().dump();
    EXPECT_TRUE(world.waitForControlFrame("native_audio_begin", operation));
    EXPECT_TRUE(world.waitForAudioFrames(world.audioFrames().size() + 2));
    return begin;
}

TEST(DashboardRecordingTest, ARecordingStreamsUnderThePagesIdAndHoldsTheShortcutOffUntilTheEngineIsDone) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    EXPECT_EQ(sendAndWait(world, Action::end, kOtherPage)->reply(), kEnded) << "an end for a recording never begun";

    const auto settingsBefore = sent(world, "GET /api/settings");
    const auto begin = beginRecording(world);
    EXPECT_EQ(begin->reply(), (Json{{"enabled", true}, {"audio_source", "native_raw"}, {"sample_rate", 16000}}));
    EXPECT_GT(sent(world, "GET /api/settings"), settingsBefore) << "the begin reads the engine's settings";
    EXPECT_TRUE(startsRefused(world)) << "a shortcut press while the page records";

    world.engine.setAcknowledgements(StandInAcknowledgements::hold);
    PageCommand end(world, Action::end, kPage);
    ASSERT_TRUE(world.waitForControlFrame("native_audio_end", kPage));
    ASSERT_TRUE(world.settle());
    EXPECT_FALSE(end.answered()) << "the end is answered with the engine's acknowledgement";
    world.engine.releaseHeldAcknowledgements();
    ASSERT_TRUE(world.pumpUntil([&] { return end.answered(); }));
    EXPECT_EQ(end.reply(), kEnded);
    EXPECT_FALSE(microphoneRunning(world));
    world.engine.setAcknowledgements(StandInAcknowledgements::send);

    EXPECT_TRUE(startsRefused(world)) << "until the engine has finished the page's operation";
    ASSERT_TRUE(pushAndHandle(world, StandInEvent{.type = "dictation.state_changed",
                                                  .dataJSON = Json{{"phase", "idle"}}.dump(),
                                                  .operationID = kPage}));
    world.transcripts.setTranscript("my turn now");
    const auto operation = pressAndSpeak(world);
    world.releaseShortcut();
    EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(sent(world, "POST /api/v1/dictations/" + kPage + "/*"), 0u)
        << "the page's operation with the engine is the page's";
    world.expectInvariants("my turn now");
}

TEST(DashboardRecordingTest, ACancelBeforeTheSettingsArriveEndsTheBeginAsCancelledWithoutCapture) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.engine.setReply("GET", "/api/settings", StandInReply::held());
    PageCommand begin(world, Action::begin, kPage);
    ASSERT_TRUE(waitForHeld(world, "/api/settings"));

    EXPECT_EQ(PageCommand(world, Action::cancel, kPage).reply(), kEnded) << "answered at once";
    EXPECT_FALSE(begin.answered());
    world.engine.removeHandler("GET", "/api/settings");
    ASSERT_TRUE(answerAllHeld(world, "/api/settings", settingsReply(Json::object())));
    ASSERT_TRUE(world.pumpUntil([&] { return begin.answered(); }));
    EXPECT_EQ(begin.code(), "recording_cancelled");
    EXPECT_EQ(begin.reply().value("enabled", true), false);
    ASSERT_TRUE(world.settle());
    EXPECT_FALSE(controlFrameSent(world, "native_audio_begin", kPage));
    EXPECT_FALSE(microphoneRunning(world));

    beginRecording(world, kOtherPage);
    world.expectInvariants("");
}

TEST(DashboardRecordingTest, SettingsTheEngineCannotGiveFailTheBeginAndFreeTheMicrophone) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.engine.setReply("GET", "/api/settings", status(500));
    EXPECT_EQ(sendAndWait(world, Action::begin, kPage)->code(), "audio_settings_unavailable");
    EXPECT_FALSE(controlFrameSent(world, "native_audio_begin", kPage));
    world.engine.removeHandler("GET", "/api/settings");
    beginRecording(world, kOtherPage);
    world.expectInvariants("");
}

TEST(DashboardRecordingTest, ABeginWhileAnotherRecordingRunsOrEndsIsBusyAndChangesNothing) {
    // What holds the microphone, and the page's end still waiting, if any.
    struct Occupant {
        std::string operation;
        std::shared_ptr<PageCommand> pendingEnd{};
    };
    const struct {
        const char* what;
        std::function<Occupant(DictationWorld&)> occupy;
        // Ends it, once the busy begin was answered.
        std::function<void(DictationWorld&, const Occupant&)> finish;
        std::string dictated;
    } rows[] = {
        {"a shortcut dictation", [](DictationWorld& world) { return Occupant{pressAndSpeak(world)}; },
         [](DictationWorld& world, const Occupant& occupant) {
             world.releaseShortcut();
             EXPECT_EQ(waitForReport(world, occupant.operation).value("outcome", ""), "inserted");
         },
         "first come"},
        {"another page's recording",
         [](DictationWorld& world) {
             beginRecording(world, kOtherPage);
             return Occupant{kOtherPage};
         },
         [](DictationWorld& world, const Occupant& occupant) {
             EXPECT_EQ(sendAndWait(world, Action::cancel, occupant.operation)->reply(), kEnded);
         },
         ""},
        {"a recording whose end is not yet acknowledged",
         [](DictationWorld& world) {
             beginRecording(world, kOtherPage);
             world.engine.setAcknowledgements(StandInAcknowledgements::hold);
             Occupant occupant{kOtherPage, std::make_shared<PageCommand>(world, Action::end, kOtherPage)};
             EXPECT_TRUE(world.waitForControlFrame("native_audio_end", kOtherPage));
             return occupant;
         },
         [](DictationWorld& world, const Occupant& occupant) {
             world.engine.releaseHeldAcknowledgements();
             EXPECT_TRUE(world.pumpUntil([&] { return occupant.pendingEnd->answered(); }));
             EXPECT_EQ(occupant.pendingEnd->reply(), kEnded);
         },
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        world.transcripts.setTranscript("first come");
        ASSERT_TRUE(world.start());
        const auto occupant = row.occupy(world);
        ASSERT_TRUE(world.settle());
        const auto framesBefore = world.controlFrames().size();

        const auto busy = sendAndWait(world, Action::begin, kPage);
        EXPECT_EQ(busy->code(), "recording_busy");
        EXPECT_EQ(busy->reply().value("enabled", true), false);
        ASSERT_TRUE(world.settle());
        EXPECT_EQ(world.controlFrames().size(), framesBefore) << "the other stream went on untouched";

        row.finish(world, occupant);
        ASSERT_TRUE(world.jump(2s));
        EXPECT_FALSE(controlFrameSent(world, "native_audio_begin", kPage));
        world.expectInvariants(row.dictated);
    }
}

TEST(DashboardRecordingTest, EachAbandonStopsTheCaptureCancelsAtTheEngineAndTellsThePage) {
    const struct {
        const char* what;
        std::function<void(DictationWorld&)> abandon;
        const char* code;
    } rows[] = {
        {"the dashboard window closes", [](DictationWorld& world) { world.coordinator->cancelWebAudio(); },
         "recording_cancelled"},
        {"the engine's socket drops", [](DictationWorld& world) { world.engine.dropSockets(); },
         "audio_transport_interrupted"},
        {"dictation is paused", [](DictationWorld& world) { world.coordinator->pause(); }, "recording_paused"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        const auto failures = watchFailures(world);
        beginRecording(world);

        row.abandon(world);
        ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations/" + kPage + "/cancel"));
        ASSERT_TRUE(world.pumpUntil([&] { return !failures->empty() && !microphoneRunning(world); }));
        ASSERT_TRUE(world.jump(1s));
        ASSERT_EQ(failures->size(), 1u) << "the page is told once";
        EXPECT_EQ(failures->front().operation, kPage);
        EXPECT_EQ(failures->front().code, row.code);
        EXPECT_FALSE(failures->front().message.empty());
        EXPECT_EQ(sent(world, "POST /api/v1/dictations/" + kPage + "/cancel"), 1u);
        world.expectInvariants("");
    }
}

TEST(DashboardRecordingTest, APageEndOrCancelNamingADictationLeavesTheDictationWhole) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    const std::string text = "not the page's to end";
    world.transcripts.setTranscript(text);
    world.engine.setAcknowledgements(StandInAcknowledgements::hold);
    const auto operation = pressAndSpeak(world);

    EXPECT_EQ(sendAndWait(world, Action::end, operation)->reply(), kEnded);
    EXPECT_EQ(sendAndWait(world, Action::cancel, operation)->reply(), kEnded);
    ASSERT_TRUE(world.waitForAudioFrames(world.audioFrames().size() + 3)) << "the microphone still streams";
    EXPECT_FALSE(controlFrameSent(world, "native_audio_end", operation));
    EXPECT_FALSE(controlFrameSent(world, "native_audio_cancel", operation));

    world.releaseShortcut();
    ASSERT_TRUE(world.waitForControlFrame("native_audio_end", operation));
    ASSERT_TRUE(world.settle());
    EXPECT_EQ(sent(world, kRelease), 0u) << "the release still waits for its own audio end";
    world.engine.releaseHeldAcknowledgements();
    ASSERT_TRUE(world.waitForRequest(kRelease));
    EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(world.fieldText(), "Notes: " + text);
    EXPECT_EQ(sent(world, kCancel), 0u);
    world.expectInvariants(text);
}

TEST(DashboardRecordingTest, ABeginIsAnsweredEvenWhenTheCoordinatorGoesAwayWhileItWaits) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.engine.setReply("GET", "/api/settings", StandInReply::held());
    PageCommand begin(world, Action::begin, kPage);
    ASSERT_TRUE(waitForHeld(world, "/api/settings"));
    world.coordinator.reset();
    EXPECT_FALSE(begin.answered());

    world.engine.removeHandler("GET", "/api/settings");
    ASSERT_TRUE(answerAllHeld(world, "/api/settings", settingsReply(Json::object())));
    ASSERT_TRUE(world.pumpUntil([&] { return begin.answered(); }));
    EXPECT_EQ(begin.reply(), WebAudioReply::unavailable());
    EXPECT_EQ(begin.code(), "audio_service_unavailable");
    EXPECT_FALSE(microphoneRunning(world));
    EXPECT_TRUE(world.teardown());
}

}  // namespace
}  // namespace murmo::testing
