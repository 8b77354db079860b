// The assistant over the real road: its own shortcut, the question the
// engine heard, the answer checked and shown (or spoken), looked up when the
// release brought none, confirmed or declined from the panel; and the
// dictation shortcut routed to the assistant when the focus takes no text.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "DictationScenario.h"
#include "services/NativeStringCatalog.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;
using Json = nlohmann::json;

constexpr std::string_view kAgentStart = "POST /api/v1/agent/operations";
constexpr std::string_view kPendingStart = "POST /api/v1/agent/pending-operations";
constexpr std::string_view kAgentRelease = "POST /api/v1/agent/operations/*/release";
constexpr std::string_view kLookup = "GET /api/v1/agent/operations/*";
constexpr std::string_view kDelete = "DELETE /api/v1/agent/operations/*";
constexpr std::string_view kConfirm = "POST /api/v1/agent/operations/*/confirm";
constexpr std::string_view kResolve = "POST /api/v1/agent/operations/*/resolve-mode";
constexpr std::string_view kAgentReleasePath = "/api/v1/agent/operations/*/release";
constexpr std::string_view kResolvePath = "/api/v1/agent/operations/*/resolve-mode";

const ShortcutChoice kAgentShortcut = ShortcutChoice::chord(49, ShortcutModifiers::option);
const std::string kQuestion = "Should I send the draft to Ada?";

// The assistant on, with its own shortcut, answering in `responseMode`.
Json agentSettings(std::string_view responseMode = "text") {
    return Json{{"agent_mode_enabled", true},
                {"agent_activation_policy", "dedicated"},
                {"agent_native_shortcut", shortcutJSON(kAgentShortcut)},
                {"agent_response_mode", responseMode}};
}

// An answer object as the engine writes it.
Json answer(std::string_view text) { return Json{{"schema_version", 1}, {"answer", text}}; }

Json answerToConfirm(std::string_view text, std::string_view token, std::string_view label) {
    auto object = answer(text);
    object["requires_confirmation"] = true;
    object["confirmation_token"] = token;
    object["confirmation_label"] = label;
    return object;
}

Json releaseReply(const std::string& operation, std::optional<Json> agentAnswer = std::nullopt) {
    Json reply{{"phase", "processing"}, {"operation_id", operation}};
    if (agentAnswer) reply["agent_answer"] = *agentAnswer;
    return reply;
}

NativeLocalizedStrings english() { return NativeLocalizedStrings(NativeAppLanguage::english, {}); }

// The user holds the assistant's shortcut, the engine hears `question`, and
// the user lets go; the operation, once its release went out.
std::string askAndRelease(DictationWorld& world, const std::string& question = kQuestion) {
    const auto starts = world.engineRequests(kAgentStart).size();
    const auto releases = world.engineRequests(kAgentRelease).size();
    const auto audio = world.audioFrames().size();
    EXPECT_EQ(world.pressShortcut(kAgentShortcut), KeyTapVerdict::swallow);
    EXPECT_TRUE(world.waitForRequest(kAgentStart, starts + 1)) << "no assistant start";
    EXPECT_TRUE(world.waitForAudioFrames(audio + 3)) << "no audio";
    const auto operation = world.operationID().value_or("");
    // Before the audio end's acknowledgement on the same socket, so the
    // question is known before the release goes out.
    pushOperationEvent(world, "dictation.raw_final", {{"text", question}}, operation);
    world.releaseShortcut(kAgentShortcut);
    EXPECT_TRUE(world.waitForRequest(kAgentRelease, releases + 1)) << "no assistant release";
    return operation;
}

// Answers the lookups of an operation with `replies` in turn (the last one
// again once they run out).
void scriptLookups(DictationWorld& world, std::vector<Json> replies) {
    auto next = std::make_shared<std::atomic<std::size_t>>(0);
    world.engine.setHandler("GET", "/api/v1/agent/operations/*",
                            [replies = std::move(replies), next](const StandInRequest&) {
                                const auto index = std::min(next->fetch_add(1), replies.size() - 1);
                                return jsonReply(replies[index]);
                            });
}

// Proves the next lookup goes out exactly `delay` after the previous step's
// reply was read: not a millisecond early.
void expectLookupAfter(DictationWorld& world, Duration delay) {
    const auto before = sent(world, kLookup);
    ASSERT_TRUE(world.jump(delay - 1ms));
    EXPECT_EQ(sent(world, kLookup), before) << "the lookup came early";
    ASSERT_TRUE(world.jump(1ms));
    EXPECT_EQ(sent(world, kLookup), before + 1) << "the lookup did not come";
}

const HUDContentHost& panel(const DictationWorld& world) { return world.composition.hud->state().content; }

std::size_t deliveriesLogged(const DictationWorld& world) { return logLinesWith(world, "Agent answer delivered"); }

// What the HUD read out, in order ("announce <text>" entries).
std::vector<std::string> announcements(const DictationWorld& world) {
    std::vector<std::string> said;
    for (const auto& entry : world.hudLog()) {
        if (entry.event.starts_with("announce ")) said.push_back(entry.event.substr(9));
    }
    return said;
}

// A world whose engine has the assistant on, started.
class AgentWorld {
public:
    explicit AgentWorld(std::string_view responseMode = "text") {
        scriptSettings(world, agentSettings(responseMode));
        started = world.start();
        EXPECT_EQ(world.coordinator->activeAgentShortcut(), kAgentShortcut);
    }
    DictationWorld world;
    bool started = false;
};

TEST(AgentAnswerTest, AReleaseWithoutAnAnswerIsLookedUpAfterAQuarterThenFourAndSixTenthsOfASecond) {
    const std::string text = "Ada gets the draft. Send it now?";
    const struct {
        const char* what;
        Json lastReply;
        // The panel's text and whether it asks to confirm; nullopt: the
        // operation stays open for the watchdog.
        std::optional<std::string> shown;
        bool asksToConfirm;
    } rows[] = {
        {"an answer that needs confirmation",
         Json{{"state", "waiting_user"}, {"answer", answerToConfirm(text, "tok-ada-1", "Send email to Ada")}}, text,
         true},
        // Its reason, "agent_empty_output", reads as an unusable output.
        {"finished without an answer", Json{{"state", "succeeded"}}, english().agentOutputInvalid(), false},
        {"still running", Json{{"state", "running"}}, std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        AgentWorld agent;
        auto& world = agent.world;
        ASSERT_TRUE(agent.started);
        world.engine.setReply("POST", std::string(kAgentReleasePath), StandInReply::held());
        scriptLookups(world, {Json{{"state", "running"}}, Json{{"state", "running"}}, row.lastReply});
        const auto operation = askAndRelease(world);
        // Parked until now, so the first lookup's clock starts exactly here.
        ASSERT_TRUE(answerHeld(world, kAgentReleasePath, jsonReply(releaseReply(operation))));

        expectLookupAfter(world, 250ms);
        expectLookupAfter(world, 400ms);
        expectLookupAfter(world, 600ms);
        for (const auto& lookup : world.engineRequests(kLookup)) {
            EXPECT_EQ(lookup.path, "/api/v1/agent/operations/" + operation);
        }
        ASSERT_TRUE(world.jump(1s));
        EXPECT_EQ(sent(world, kLookup), 3u) << "three lookups at most";

        if (!row.shown) {
            // Silent: no failure and no cue; the watchdog ends it later.
            EXPECT_FALSE(world.coordinator->isIdle());
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
            EXPECT_EQ(hudShows(world), HUDMode::Kind::agentProcessing);
            EXPECT_EQ(sent(world, kDelete), 0u);
            ASSERT_TRUE(world.jump(65s));
            ASSERT_TRUE(world.waitForRequest(kDelete));
            ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
            ASSERT_TRUE(world.jump(1s));
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
            EXPECT_EQ(panel(world).agentAnswerScroll.text, english().agentCouldNotComplete());
            world.expectInvariants(text, ClipboardExpectation::restored, {.agentDeletedAfterAnsweredRelease = true});
            continue;
        }
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        EXPECT_EQ(hudShows(world), HUDMode::Kind::agentAnswer);
        EXPECT_EQ(panel(world).agentAnswerScroll.text, *row.shown);
        EXPECT_EQ(!panel(world).agentConfirmButton.hidden, row.asksToConfirm);
        EXPECT_EQ(!panel(world).agentCancelButton.hidden, row.asksToConfirm);
        if (row.asksToConfirm) {
            EXPECT_EQ(panel(world).agentConfirmationLabel.text, "Send email to Ada");
            EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
        } else {
            EXPECT_EQ(cuesPlayed(world, kSuccessCue), 0u);
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
        }
        EXPECT_EQ(sent(world, kDelete), 0u) << "the engine ended the operation; nothing to cancel";
        world.expectInvariants(text);
    }
}

TEST(AgentAnswerTest, ConfirmSendsTheTokenAndShowsTheFollowUpWithoutASecondDelivery) {
    AgentWorld agent;
    auto& world = agent.world;
    ASSERT_TRUE(agent.started);
    const std::string followUp = "Sent the draft to Ada.";
    world.engine.setHandler("POST", std::string(kAgentReleasePath), [](const StandInRequest& request) {
        const auto operation = bodyOf(request).value("operation_id", "");
        return jsonReply(releaseReply(operation, answerToConfirm("Send the draft to Ada?", "tok-42", "Send email")));
    });
    world.engine.setReply("POST", "/api/v1/agent/operations/*/confirm",
                          jsonReply(Json{{"state", "succeeded"}, {"answer", answer(followUp)}}));
    const auto operation = askAndRelease(world);
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));
    ASSERT_EQ(panel(world).agentAnswerScroll.text, "Send the draft to Ada?");
    ASSERT_EQ(cuesPlayed(world, kSuccessCue), 1u);

    world.composition.hud->confirmAgentAnswer();
    const auto confirm = world.waitForRequest(kConfirm);
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->path, "/api/v1/agent/operations/" + operation + "/confirm");
    EXPECT_EQ(bodyOf(*confirm).value("token", ""), "tok-42");
    ASSERT_TRUE(world.pumpUntil([&] { return panel(world).agentAnswerScroll.text == followUp; }));
    EXPECT_EQ(hudShows(world), HUDMode::Kind::agentAnswer);
    EXPECT_TRUE(panel(world).agentConfirmButton.hidden) << "the follow-up asks nothing more";

    ASSERT_TRUE(world.jump(1s));
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u) << "the operation was delivered once";
    EXPECT_EQ(deliveriesLogged(world), 1u);
    EXPECT_EQ(sent(world, kConfirm), 1u);
    EXPECT_EQ(sent(world, kDelete), 0u);
    world.expectInvariants(followUp);
}

TEST(AgentAnswerTest, ANewPressHidesTheAnswerAndDeclinesTheActionOfTheAnswersOwnOperation) {
    AgentWorld agent;
    auto& world = agent.world;
    ASSERT_TRUE(agent.started);
    world.engine.setHandler("POST", std::string(kAgentReleasePath), [](const StandInRequest& request) {
        const auto operation = bodyOf(request).value("operation_id", "");
        return jsonReply(releaseReply(operation, answerToConfirm("Delete the old drafts?", "tok-7", "Delete")));
    });
    const auto answered = askAndRelease(world);
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));
    ASSERT_EQ(hudShows(world), HUDMode::Kind::agentAnswer);

    EXPECT_EQ(world.pressShortcut(kAgentShortcut), KeyTapVerdict::swallow);
    const auto declined = world.waitForRequest(kDelete);
    ASSERT_TRUE(declined);
    EXPECT_EQ(declined->path, "/api/v1/agent/operations/" + answered);
    ASSERT_TRUE(world.waitForRequest(kAgentStart, 2));
    const auto next = world.operationID().value_or("");
    EXPECT_NE(next, answered);
    EXPECT_EQ(hudShows(world), HUDMode::Kind::agentListening) << "the panel gave way to the new question";

    ASSERT_TRUE(world.waitForAudioFrames(world.audioFrames().size() + 2));
    world.releaseShortcut(kAgentShortcut);
    ASSERT_TRUE(world.waitForRequest(kAgentRelease, 2));
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));
    EXPECT_EQ(sent(world, kDelete), 1u) << "the new operation was answered, not cancelled";
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 2u);
    world.expectInvariants("Delete the old drafts?", ClipboardExpectation::restored,
                           {.agentDeletedAfterAnsweredRelease = true});
}

TEST(AgentAnswerTest, AVoiceAnswerIsSpokenWithTheUsersVoiceAndRateAndTheHUDReturnsToIdle) {
    const std::string text = "It is sunny in Izmir today.";
    const struct {
        const char* what;
        const char* voicePreference;
        const char* expectedVoice;
    } rows[] = {
        {"the chosen voice", "local.voice.ava", "local.voice.ava"},
        {"the system's voice for the answer's language", "system", "local.voice.deniz"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        world.desktop.speechSynthesizer().setVoices(
            {SimVoice{"local.voice.ava", "en_US"}, SimVoice{"local.voice.deniz", "tr"}});
        auto settings = agentSettings("voice");
        settings["agent_tts_voice"] = row.voicePreference;
        settings["agent_tts_rate"] = 0.4;
        scriptSettings(world, settings);
        ASSERT_TRUE(world.start());
        world.engine.setHandler("POST", std::string(kAgentReleasePath), [text](const StandInRequest& request) {
            auto spoken = answer(text);
            spoken["language"] = "tr";
            return jsonReply(releaseReply(bodyOf(request).value("operation_id", ""), spoken));
        });
        askAndRelease(world);
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        ASSERT_TRUE(world.jump(1s));

        const auto& synthesizer = world.desktop.speechSynthesizer();
        ASSERT_EQ(synthesizer.spoken().size(), 1u);
        const auto& utterance = synthesizer.spoken().front();
        EXPECT_EQ(utterance.text, text);
        EXPECT_EQ(utterance.voiceIdentifier, row.expectedVoice);
        EXPECT_FLOAT_EQ(utterance.rate, 0.4f);
        if (std::string_view(row.voicePreference) == "system") {
            EXPECT_EQ(synthesizer.languageLookups().front(), "tr") << "the answer's language picks the voice";
        }
        EXPECT_EQ(hudShows(world), std::nullopt) << "nothing to read: the HUD rests";
        EXPECT_TRUE(panel(world).agentAnswerScroll.text.empty());
        EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
        world.expectInvariants(text);
    }
}

TEST(AgentAnswerTest, AnAnswerThatEchoesTheQuestionFailsAndIsNeverShown) {
    AgentWorld agent;
    auto& world = agent.world;
    ASSERT_TRUE(agent.started);
    // The same words, cased and spaced otherwise.
    const std::string echo = "should i send the   draft to ada?";
    world.engine.setHandler("POST", std::string(kAgentReleasePath), [echo](const StandInRequest& request) {
        return jsonReply(releaseReply(bodyOf(request).value("operation_id", ""), answer(echo)));
    });
    askAndRelease(world, kQuestion);
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));

    EXPECT_EQ(logLinesWith(world, "Agent answer rejected reason=agent_question_echo"), 1u);
    EXPECT_EQ(hudShows(world), HUDMode::Kind::agentAnswer);
    EXPECT_EQ(panel(world).agentAnswerScroll.text, english().agentOutputInvalid());
    for (const auto& said : announcements(world)) EXPECT_EQ(said.find(echo), std::string::npos) << said;
    EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 0u);
    EXPECT_TRUE(world.desktop.speechSynthesizer().spoken().empty());
    EXPECT_EQ(sent(world, kDelete), 0u);
    world.expectInvariants(echo);
}

TEST(AgentAnswerTest, TheFirstLookupIsScheduledOnceWhenTheReleaseReplyAndTheIdleStateBothAskForIt) {
    AgentWorld agent;
    auto& world = agent.world;
    ASSERT_TRUE(agent.started);
    const std::string text = "Ada is free at three.";
    world.engine.setReply("POST", std::string(kAgentReleasePath), StandInReply::held());
    scriptLookups(world, {Json{{"state", "succeeded"}, {"answer", answer(text)}}});
    const auto operation = askAndRelease(world);
    ASSERT_TRUE(answerHeld(world, kAgentReleasePath, jsonReply(releaseReply(operation))));
    ASSERT_TRUE(world.jump(100ms));

    // The engine reports the operation idle without an answer, 0.1 s later.
    const auto armed = logLinesWith(world, "Processing watchdog armed");
    pushOperationEvent(world, "dictation.state_changed", {{"phase", "idle"}}, operation);
    ASSERT_TRUE(world.waitStill([&] { return logLinesWith(world, "Processing watchdog armed") > armed; }));

    // Still 0.25 s after the release reply, not after the idle state.
    expectLookupAfter(world, 150ms);
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));
    EXPECT_EQ(sent(world, kLookup), 1u);
    EXPECT_EQ(panel(world).agentAnswerScroll.text, text);
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
    world.expectInvariants(text);
}

// The dictation shortcut under the "no_editable" policy: where the focus
// takes no text, the user is asking the assistant.
class NoEditableWorld {
public:
    NoEditableWorld() {
        scriptSettings(world, Json{{"agent_mode_enabled", true}, {"agent_activation_policy", "no_editable"}});
        started = world.start();
    }
    void focusButton() {
        const auto window = *world.desktop.element(world.editorField()).parent;
        world.desktop.setFocusedElement(DictationWorld::kEditorPID,
                                        world.desktop.addElement(window, SimElementSetup{.role = "AXButton"}));
    }
    DictationWorld world;
    bool started = false;
};

TEST(AgentRoutingTest, AFocusThatTakesNoTextSendsTheDictationShortcutToTheAssistantAtOnce) {
    NoEditableWorld routing;
    auto& world = routing.world;
    ASSERT_TRUE(routing.started);
    const std::string text = "It is half past four.";
    world.engine.setHandler("POST", std::string(kAgentReleasePath), [text](const StandInRequest& request) {
        return jsonReply(releaseReply(bodyOf(request).value("operation_id", ""), answer(text)));
    });
    routing.focusButton();
    EXPECT_EQ(world.pressShortcut(), KeyTapVerdict::swallow);
    ASSERT_TRUE(world.waitForRequest(kAgentStart));
    EXPECT_FALSE(bodyOf(world.engineRequests(kAgentStart).front()).contains("target_app_id"));
    ASSERT_TRUE(world.waitForAudioFrames(3));
    world.releaseShortcut();
    ASSERT_TRUE(world.waitForRequest(kAgentRelease));
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));

    EXPECT_EQ(sent(world, kStart), 0u) << "no dictation";
    EXPECT_EQ(sent(world, kPendingStart), 0u) << "nothing left undecided";
    EXPECT_EQ(sent(world, kRelease), 0u);
    EXPECT_EQ(panel(world).agentAnswerScroll.text, text);
    EXPECT_EQ(world.fieldText(), "Notes: ");
    world.expectInvariants(text);
}

TEST(AgentRoutingTest, AnUndecidedPressIsResolvedToTheAssistantAndItsReleaseWaitsForTheResolution) {
    NoEditableWorld routing;
    auto& world = routing.world;
    ASSERT_TRUE(routing.started);
    const std::string text = "Your next meeting is at five.";
    world.engine.setReply("POST", std::string(kResolvePath), StandInReply::held());
    world.engine.setHandler("POST", std::string(kAgentReleasePath), [text](const StandInRequest& request) {
        return jsonReply(releaseReply(bodyOf(request).value("operation_id", ""), answer(text)));
    });
    // No focused element yet: the press cannot tell a field from none.
    world.desktop.setFocusedElement(DictationWorld::kEditorPID, std::nullopt);
    world.pressShortcut();
    routing.focusButton();
    const auto start = world.waitForRequest(kPendingStart);
    ASSERT_TRUE(start);
    const auto operation = bodyOf(*start).value("operation_id", "");
    const auto resolve = world.waitForRequest(kResolve);
    ASSERT_TRUE(resolve);
    EXPECT_EQ(resolve->path, "/api/v1/agent/operations/" + operation + "/resolve-mode");
    EXPECT_EQ(bodyOf(*resolve).value("mode", ""), "agent");
    ASSERT_TRUE(world.waitForAudioFrames(3));

    world.releaseShortcut();
    ASSERT_TRUE(world.waitForControlFrame("native_audio_end", operation));
    ASSERT_TRUE(world.settle(1));
    EXPECT_EQ(sent(world, kAgentRelease), 0u) << "the release waits for the resolution";
    ASSERT_TRUE(answerHeld(world, kResolvePath, jsonReply(Json{{"phase", "recording"}, {"operation_id", operation}})));
    ASSERT_TRUE(world.waitForRequest(kAgentRelease));
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    ASSERT_TRUE(world.jump(1s));

    EXPECT_EQ(sent(world, kStart), 0u);
    EXPECT_EQ(sent(world, kRelease), 0u);
    EXPECT_EQ(panel(world).agentAnswerScroll.text, text);
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
    world.expectInvariants(text);
}

}  // namespace
}  // namespace murmo::testing
