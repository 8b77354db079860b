#pragma once

// What the dictation scenarios share: the engine's request lines, the user's
// hold-speak-release, and readers of what the engine was told.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <string_view>

#include "input/ShortcutSpecPayload.h"
#include "platform/EventPoster.h"
#include "platform/KeyTap.h"
#include "stand-in-engine/StandInRoutes.h"
#include "support/DictationWorld.h"
#include "support/RequestPattern.h"

namespace murmo::testing::scenario {

inline constexpr std::string_view kStart = "POST /api/v1/dictations";
inline constexpr std::string_view kRelease = "POST /api/v1/dictations/*/release";
inline constexpr std::string_view kCancel = "POST /api/v1/dictations/*/cancel";
inline constexpr std::string_view kReport = "POST /api/v1/dictations/*/delivery-result";
inline constexpr std::string_view kRuntimePause = "POST /api/v1/runtime/pause";
// The paths, for holding and releasing replies on the stand-in.
inline constexpr std::string_view kReleasePath = "/api/v1/dictations/*/release";
inline constexpr std::string_view kCancelPath = "/api/v1/dictations/*/cancel";

inline constexpr std::string_view kStartCue = "dictation-start";
inline constexpr std::string_view kSuccessCue = "dictation-success";
inline constexpr std::string_view kErrorCue = "dictation-error";

// How many requests matching `pattern` the client has sent so far (answered
// or not); unlike the engine's record, this counts at the instant of sending.
inline std::size_t sent(const DictationWorld& world, std::string_view pattern) {
    const RequestPattern wanted(pattern);
    const auto exchanges = world.exchanges();
    return static_cast<std::size_t>(std::ranges::count_if(
        exchanges, [&](const auto& e) { return wanted.matches(e.method, pathOfTarget(e.target)); }));
}

inline std::size_t cuesPlayed(const DictationWorld& world, std::string_view cue) {
    const auto played = world.cuesPlayed();
    return static_cast<std::size_t>(
        std::ranges::count_if(played, [&](const std::string& file) { return file.find(cue) != std::string::npos; }));
}

// The user holds the shortcut until the engine has the start request and
// `frames` more audio frames; the operation started.
inline std::string pressAndSpeak(DictationWorld& world, std::size_t frames = 3) {
    const auto starts = world.operationIDs().size();
    const auto audio = world.audioFrames().size();
    world.pressShortcut();
    EXPECT_TRUE(world.waitForRequest(kStart, starts + 1)) << "no start request";
    EXPECT_TRUE(world.waitForAudioFrames(audio + frames)) << "no audio";
    return world.operationID().value_or("");
}

// Pumps until a request matching `path` is parked on the stand-in.
inline bool waitForHeld(DictationWorld& world, std::string_view path) {
    const RequestPattern wanted(path);
    return world.pumpUntil([&] {
        const auto held = world.engine.heldRequests();
        return std::ranges::any_of(held, [&](const StandInRequest& request) { return wanted.matches(request); });
    });
}

// Waits until a request matching `path` is parked on the stand-in, then
// answers it with `reply`.
inline bool answerHeld(DictationWorld& world, std::string_view path, StandInReply reply) {
    return waitForHeld(world, path) && world.engine.releaseHeldReply(path, std::move(reply));
}

// The body of the delivery report for `operationID` as the engine received
// it; an empty object when none arrived.
inline nlohmann::json deliveryReport(const DictationWorld& world, const std::string& operationID) {
    const RequestPattern report("POST /api/v1/dictations/" + operationID + "/delivery-result");
    const auto reports = matching(world.engineRequests(), report);
    if (reports.empty()) return nlohmann::json::object();
    auto body = nlohmann::json::parse(reports.back().body, nullptr, false);
    return body.is_object() ? body : nlohmann::json::object();
}

// Pumps until the report for `operationID` arrived; its body.
inline nlohmann::json waitForReport(DictationWorld& world, const std::string& operationID) {
    EXPECT_TRUE(world.waitForRequest("POST /api/v1/dictations/" + operationID + "/delivery-result"))
        << "no delivery report";
    return deliveryReport(world, operationID);
}

// How many delivery reports for `operationID` the client has sent.
inline std::size_t reportsSent(const DictationWorld& world, const std::string& operationID) {
    return sent(world, "POST /api/v1/dictations/" + operationID + "/delivery-result");
}

// Whether the application pasted with a marked Command-V into `pid`.
inline bool commandVPostedTo(const DictationWorld& world, std::int32_t pid) {
    return std::ranges::any_of(world.desktop.postedEvents(), [&](const SimPostedEvent& posted) {
        return posted.event.keyDown && posted.event.virtualKey == virtual_key::v &&
               posted.event.flags == key_event_flags::command && posted.frontmostPID == pid;
    });
}

// What the HUD was last told to show over its resting state (the panel may
// still be animating towards it); nullopt when it rests.
inline std::optional<HUDMode::Kind> hudShows(const DictationWorld& world) {
    const auto& transient = world.composition.hud->policy().transientMode;
    return transient ? std::optional(transient->kind()) : std::nullopt;
}

// How many log lines contain `text`.
inline std::size_t logLinesWith(const DictationWorld& world, std::string_view text) {
    const auto lines = world.logLines();
    return static_cast<std::size_t>(std::ranges::count_if(
        lines, [&](const LogRecord& line) { return line.message.find(text) != std::string::npos; }));
}

// An engine event of the operation, stamped with the engine's clock (the
// loop's, which both sides share here).
inline void pushOperationEvent(DictationWorld& world, std::string type, const nlohmann::json& data,
                               const std::string& operationID) {
    world.engine.pushEvent(StandInEvent{.type = std::move(type),
                                        .dataJSON = data.dump(),
                                        .operationID = operationID,
                                        .monotonicNanoseconds = toUptimeNanoseconds(world.loop.now())});
}

inline StandInReply status(unsigned code) { return StandInReply{code, R"({"detail":"scripted"})"}; }

inline StandInReply jsonReply(const nlohmann::json& body) { return StandInReply{200, body.dump()}; }

// A request's body as JSON; an empty object when it is none.
inline nlohmann::json bodyOf(const StandInRequest& request) {
    auto body = nlohmann::json::parse(request.body, nullptr, false);
    return body.is_object() ? body : nlohmann::json::object();
}

// A shortcut as the engine writes it in its settings and capture events.
inline nlohmann::json shortcutJSON(const ShortcutChoice& shortcut) {
    return nlohmann::json::parse(ShortcutSpecPayload(shortcut).encoded().value_or("{}"));
}

// Pushes an engine event and pumps until the application has handled it
// (its socket's sequence has passed it).
inline bool pushAndHandle(DictationWorld& world, StandInEvent event) {
    const auto before = world.client().eventSocket().lastEventSequence();
    world.engine.pushEvent(std::move(event));
    return world.pumpUntil([&] { return world.client().eventSocket().lastEventSequence() > before; });
}

// The stand-in's own settings with `changes` merged in.
inline StandInReply settingsReply(const nlohmann::json& changes) {
    auto settings = nlohmann::json::parse(standInDefaultSettings());
    settings.update(changes);
    return StandInReply{200, settings.dump()};
}

// From now on every settings request is answered with settingsReply(changes).
inline void scriptSettings(DictationWorld& world, const nlohmann::json& changes) {
    world.engine.setReply("GET", "/api/settings", settingsReply(changes));
}

// Whether any simulated audio engine runs, that is the microphone is open.
inline bool microphoneRunning(const DictationWorld& world) {
    const auto engines = world.desktop.audioEngines().engines();
    return std::ranges::any_of(engines, [](const auto& engine) { return engine->isRunning(); });
}

// Pumps until every request parked on `path` so far is answered with
// `reply`; false when none was parked.
inline bool answerAllHeld(DictationWorld& world, std::string_view path, const StandInReply& reply) {
    if (!answerHeld(world, path, reply)) return false;
    while (world.engine.releaseHeldReply(path, reply)) {
    }
    return true;
}

}  // namespace murmo::testing::scenario
