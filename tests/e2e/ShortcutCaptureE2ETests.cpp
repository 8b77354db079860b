// Rebinding a shortcut from the engine's settings page over the real road:
// the engine asks for a capture on its event socket, the router steps aside
// while the capture monitor takes the next keys from the key tap, the result
// goes back to the engine, and the settings reload puts it in force. Every
// end gives the router back.

#include <gtest/gtest.h>

#include "DictationScenario.h"
#include "platform/sim/SimKeyTap.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;
using Json = nlohmann::json;

constexpr std::string_view kCaptureID = "6f1c2a4e-8b3d-4c5e-9f70-1a2b3c4d5e6f";
constexpr std::string_view kAnyCaptureCancel = "POST /api/v1/shortcut-captures/*/cancel";
const ShortcutChoice kChord = ShortcutChoice::chord(49, ShortcutModifiers::control);

void requestCapture(DictationWorld& world, std::string_view captureID, std::string_view purpose = "dictation") {
    world.engine.pushEvent("shortcut.capture_requested", Json{{"capture_id", captureID}, {"purpose", purpose}}.dump());
}

std::string capturePath(std::string_view captureID, std::string_view action) {
    return "/api/v1/shortcut-captures/" + std::string(captureID) + "/" + std::string(action);
}

// Waits for the engine to be told the capture ended; the reason it was given
// ("<none>" when the body names none), or nullopt when it was not told.
std::optional<std::string> waitForCancelReason(DictationWorld& world, std::string_view captureID) {
    const auto cancel = world.waitForRequest("POST " + capturePath(captureID, "cancel"));
    if (!cancel) return std::nullopt;
    return bodyOf(*cancel).value("reason", "<none>");
}

bool capturing(const DictationWorld& world) { return hudShows(world) == HUDMode::Kind::shortcut; }

// The router listens on a tap served by its own thread; the capture monitor
// on one served by the main loop.
bool routerListens(DictationWorld& world) { return world.desktop.keyTap().threadServedTapCount() == 1; }

bool onlyTheCaptureListens(DictationWorld& world) {
    auto& tap = world.desktop.keyTap();
    return tap.threadServedTapCount() == 0 && tap.liveTapCount() == 1;
}

// A full dictation with the shortcut in force, delivered.
void dictate(DictationWorld& world, const std::string& text) {
    world.transcripts.setTranscript(text);
    const auto operation = pressAndSpeak(world);
    world.releaseShortcut();
    ASSERT_TRUE(world.waitForRequest(kRelease));
    EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
}

TEST(ShortcutCaptureE2ETest, ATypedShortcutIsSavedAndTheReloadPutsItInForceInPlaceOfTheOldOne) {
    const struct {
        const char* what;
        ShortcutChoice before;
        ShortcutChoice typed;
    } rows[] = {
        {"Fn/Globe to a chord", ShortcutChoice::function(), kChord},
        {"a chord to Fn/Globe alone", kChord, ShortcutChoice::function()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        scriptSettings(world, {{"native_shortcut", shortcutJSON(row.before)}});
        ASSERT_TRUE(world.start());
        ASSERT_EQ(world.coordinator->activeShortcut(), row.before);

        requestCapture(world, kCaptureID);
        ASSERT_TRUE(world.pumpUntil([&] { return capturing(world); }));
        EXPECT_TRUE(onlyTheCaptureListens(world)) << "the router stepped aside";
        // The engine keeps what it is sent; its next settings name it.
        scriptSettings(world, {{"native_shortcut", shortcutJSON(row.typed)}});
        world.pressShortcut(row.typed);
        world.releaseShortcut(row.typed);

        const auto complete = world.waitForRequest("POST " + capturePath(kCaptureID, "complete"));
        ASSERT_TRUE(complete);
        const auto sentShortcut = bodyOf(*complete)["shortcut"];
        EXPECT_EQ(sentShortcut, shortcutJSON(row.typed));
        if (row.typed.isFunction()) {
            EXPECT_EQ(sentShortcut.value("kind", ""), "fn");
            EXPECT_EQ(sentShortcut.value("display", ""), "Fn/Globe");
            EXPECT_FALSE(sentShortcut.contains("key_code"));
            EXPECT_EQ(sentShortcut["modifiers"], Json::array());
        }
        ASSERT_TRUE(
            world.pumpUntil([&] { return world.coordinator->activeShortcut() == row.typed && routerListens(world); }));
        EXPECT_FALSE(capturing(world));

        // The capture's 20 s time-out ended with it.
        ASSERT_TRUE(world.jump(21s));
        EXPECT_EQ(sent(world, kAnyCaptureCancel), 0u);

        EXPECT_EQ(world.pressShortcut(row.before), KeyTapVerdict::pass) << "the old shortcut is the user's again";
        world.releaseShortcut(row.before);
        ASSERT_TRUE(world.settle());
        EXPECT_EQ(sent(world, kStart), 0u);
        dictate(world, "bound anew");
        ASSERT_TRUE(world.jump(2s));
        world.expectInvariants("bound anew");
    }
}

TEST(ShortcutCaptureE2ETest, AMalformedOrRepeatedRequestIsIgnored) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    requestCapture(world, "not-a-uuid");
    requestCapture(world, kCaptureID);
    ASSERT_TRUE(world.pumpUntil([&] { return capturing(world); }));
    // Had the malformed one begun a capture, the second would be "busy".
    EXPECT_EQ(sent(world, kAnyCaptureCancel), 0u);
    EXPECT_TRUE(world.engineRequests("POST /api/v1/shortcut-captures/not-a-uuid/*").empty());

    requestCapture(world, kCaptureID);
    // The engine ends the capture from its page; the event comes after the
    // repeat on the same socket.
    world.engine.pushEvent("shortcut.capture_cancelled", Json{{"capture_id", kCaptureID}}.dump());
    ASSERT_TRUE(world.pumpUntil([&] { return !capturing(world) && routerListens(world); }));
    ASSERT_TRUE(world.settle());
    EXPECT_EQ(sent(world, kAnyCaptureCancel), 0u) << "the repeat was neither refused nor begun again";
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 1u);
    dictate(world, "still dictating");
    ASSERT_TRUE(world.jump(2s));
    world.expectInvariants("still dictating");
}

TEST(ShortcutCaptureE2ETest, ARequestDuringADictationIsAnsweredBusyAndTheDictationGoesOn) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    const std::string text = "not now, engine";
    world.transcripts.setTranscript(text);
    const auto operation = pressAndSpeak(world);
    requestCapture(world, kCaptureID);
    EXPECT_EQ(waitForCancelReason(world, kCaptureID), "busy");
    EXPECT_EQ(hudShows(world), HUDMode::Kind::listening);
    EXPECT_TRUE(routerListens(world));

    world.releaseShortcut();
    ASSERT_TRUE(world.waitForRequest(kRelease));
    EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(world.fieldText(), "Notes: " + text);
    world.expectInvariants(text);
}

TEST(ShortcutCaptureE2ETest, AMonitorThatCannotStartAsksForPermissionWithAGeneralError) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.desktop.keyTap().setCreationFails(true);
    requestCapture(world, kCaptureID);
    EXPECT_EQ(waitForCancelReason(world, kCaptureID), "permission_required");
    ASSERT_TRUE(world.pumpUntil([&] { return cuesPlayed(world, kErrorCue) == 1; }));
    EXPECT_EQ(hudShows(world), HUDMode::Kind::error);
    EXPECT_FALSE(capturing(world));
    world.expectInvariants("");
}

TEST(ShortcutCaptureE2ETest, TwentySecondsWithoutAKeyEndTheCaptureWithTheRouterBack) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    requestCapture(world, kCaptureID);
    // The time-out is armed the moment the request is handled: wait for that
    // with the clock standing still, so the jumps count from it exactly.
    ASSERT_TRUE(world.waitStill([&] { return onlyTheCaptureListens(world); }));
    ASSERT_TRUE(world.jump(20s - 1ms));
    EXPECT_EQ(sent(world, kAnyCaptureCancel), 0u) << "the capture ended early";
    ASSERT_TRUE(world.jump(1ms));
    EXPECT_EQ(sent(world, kAnyCaptureCancel), 1u) << "the capture did not end";
    EXPECT_EQ(waitForCancelReason(world, kCaptureID), "timeout");
    EXPECT_TRUE(routerListens(world));
    EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
    ASSERT_TRUE(world.jump(1s));
    EXPECT_FALSE(capturing(world));
    dictate(world, "after the wait");
    ASSERT_TRUE(world.jump(2s));
    world.expectInvariants("after the wait");
}

TEST(ShortcutCaptureE2ETest, ARefusedSaveTellsTheEngineAndTheUserAndKeepsTheOldShortcut) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.engine.setReply("POST", "/api/v1/shortcut-captures/*/complete", status(500));
    requestCapture(world, kCaptureID);
    ASSERT_TRUE(world.pumpUntil([&] { return capturing(world); }));
    world.pressShortcut(kChord);
    world.releaseShortcut(kChord);
    EXPECT_EQ(waitForCancelReason(world, kCaptureID), "native_error");
    ASSERT_TRUE(world.pumpUntil([&] { return cuesPlayed(world, kErrorCue) == 1; }));
    EXPECT_EQ(hudShows(world), HUDMode::Kind::error);
    EXPECT_TRUE(routerListens(world));
    EXPECT_EQ(world.coordinator->activeShortcut(), ShortcutChoice::function());
    world.expectInvariants("");
}

TEST(ShortcutCaptureE2ETest, ACompletionWithoutAnIdDuringAHeldDictationTakesEffectOnlyOnceItEnds) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    const std::string text = "held through the change";
    world.transcripts.setTranscript(text);
    const auto operation = pressAndSpeak(world);
    scriptSettings(world, {{"native_shortcut", shortcutJSON(kChord)}});
    world.engine.pushEvent("shortcut.capture_completed", Json{{"shortcut", shortcutJSON(kChord)}}.dump());
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->pendingShortcutSettings().has_value(); }));
    EXPECT_EQ(world.coordinator->activeShortcut(), ShortcutChoice::function()) << "not swapped under the held key";
    EXPECT_EQ(hudShows(world), HUDMode::Kind::listening);

    world.releaseShortcut(ShortcutChoice::function());
    ASSERT_TRUE(world.waitForRequest(kRelease)) << "letting go of the held key still ends the dictation";
    EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->activeShortcut() == kChord && routerListens(world); }));
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(world.pressShortcut(ShortcutChoice::function()), KeyTapVerdict::pass);
    world.releaseShortcut(ShortcutChoice::function());
    ASSERT_TRUE(world.settle());
    EXPECT_EQ(sent(world, kStart), 1u);
    dictate(world, "and the new keys");
    ASSERT_TRUE(world.jump(2s));
    EXPECT_TRUE(world.fieldText().ends_with("and the new keys")) << world.fieldText();
    world.expectInvariants(text);
}

TEST(ShortcutCaptureE2ETest, AnAssistantCaptureCompletedByAnEventWithoutPurposeKeepsTheDictationShortcut) {
    const auto agentBefore = ShortcutChoice::chord(49, ShortcutModifiers::option);
    auto settings = [](const ShortcutChoice& agentShortcut) {
        return Json{{"agent_mode_enabled", true},
                    {"agent_activation_policy", "dedicated"},
                    {"agent_native_shortcut", shortcutJSON(agentShortcut)}};
    };
    DictationWorld world;
    scriptSettings(world, settings(agentBefore));
    ASSERT_TRUE(world.start());
    ASSERT_EQ(world.coordinator->activeAgentShortcut(), agentBefore);
    world.engine.setReply("POST", "/api/v1/shortcut-captures/*/complete", StandInReply::held());

    requestCapture(world, kCaptureID, "agent");
    ASSERT_TRUE(world.pumpUntil([&] { return capturing(world); }));
    world.pressShortcut(kChord);
    world.releaseShortcut(kChord);
    ASSERT_TRUE(world.waitForRequest("POST " + capturePath(kCaptureID, "complete")));

    // The engine reports the completion before answering the save; its event
    // names the capture but not its purpose. The reload it causes is held,
    // so whatever the event alone did can be seen.
    world.engine.setReply("GET", "/api/settings", StandInReply::held());
    world.engine.pushEvent("shortcut.capture_completed",
                           Json{{"capture_id", kCaptureID}, {"shortcut", shortcutJSON(kChord)}}.dump());
    ASSERT_TRUE(world.pumpUntil([&] {
        return !capturing(world) && std::ranges::any_of(world.engine.heldRequests(), [](const StandInRequest& request) {
            return request.path == "/api/settings";
        });
    }));
    EXPECT_EQ(world.coordinator->activeShortcut(), ShortcutChoice::function())
        << "an assistant's shortcut never becomes the dictation shortcut";

    scriptSettings(world, settings(kChord));
    ASSERT_TRUE(answerAllHeld(world, "/api/settings", settingsReply(settings(kChord))));
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->activeAgentShortcut() == kChord; }));
    ASSERT_TRUE(answerHeld(world, "/api/v1/shortcut-captures/*/complete", jsonReply(Json{{"ok", true}})));
    ASSERT_TRUE(world.pumpUntil([&] { return routerListens(world); }));
    ASSERT_TRUE(world.settle());
    EXPECT_EQ(world.coordinator->activeShortcut(), ShortcutChoice::function());
    EXPECT_EQ(sent(world, kAnyCaptureCancel), 0u);
    dictate(world, "dictation keeps Fn");
    ASSERT_TRUE(world.jump(2s));
    world.expectInvariants("dictation keeps Fn");
}

}  // namespace
}  // namespace murmo::testing
