#pragma once

// The coordinator composed on the simulated desktop with the engine on a
// FakeCoreTransport, connected and with its settings applied, in front of an
// editor whose text field has the focus. Tests hold the shortcut through the
// simulated key tap and answer every engine request by hand, in virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "coordinator/DesktopCoordinator.h"
#include "platform/KeyTap.h"
#include "runtime/JsonRead.h"
#include "runtime/ManualLoop.h"
#include "support/CoordinatorWorld.h"

namespace murmo::testing {

using namespace std::chrono_literals;

inline constexpr std::int32_t kEditorPID = 4242;
inline constexpr std::int32_t kOtherPID = 5151;

class DictationOperationTest : public ::testing::Test {
protected:
    struct Editor {
        SimElementID window = 0;
        SimElementID field = 0;
    };

    void SetUp() override {
        world.options().audioRecoveryQueue = recovery;
        world.transport->setSocketsCompleteSendsAtOnce(true);
        addBuiltInAudio();
        editor = launchEditor(kEditorPID, "local.test.notes", "Notes");
        world.desktop.userCopies(userClipboard());
        coordinator = world.makeCoordinator(CoordinatorWorld::attachingConfiguration());
        coordinator->start();
        loop.runUntilIdle();
        deliverEvent(R"({"protocol_version":1,"sequence":1,"type":"runtime_status","qos":"reliable","data":{}})");
        ASSERT_TRUE(coordinator->connected());
        if (!appliesSettings()) return;
        answerAll("GET /api/settings", 200, settingsBody());
        ASSERT_TRUE(coordinator->audioSettingsReady());
    }

    // Whether SetUp answers the engine's settings.
    virtual bool appliesSettings() const { return true; }

    void TearDown() override {
        coordinator->shutdown({});
        loop.runUntilIdle();
    }

    // The engine's settings; `extra` members are added ("a":1,...).
    static std::string settingsBody(std::string_view extra = {}) {
        std::string body = R"({"native_shortcut":{"kind":"fn","modifiers":[],"display":"Fn/Globe"})";
        if (!extra.empty()) body += "," + std::string(extra);
        return body + "}";
    }

    void addBuiltInAudio() {
        auto& devices = world.desktop.audioDevices();
        devices.addDevice({SimAudioDevices::kBuiltInMicrophone, "Built-in Microphone", 1, AudioTransportType::builtIn});
        devices.addDevice({SimAudioDevices::kBuiltInSpeakers, "Built-in Speakers", 0, AudioTransportType::builtIn});
        devices.setDefaultDevice(DefaultAudioDevice::input, SimAudioDevices::kBuiltInMicrophone);
        devices.setDefaultDevice(DefaultAudioDevice::output, SimAudioDevices::kBuiltInSpeakers);
    }

    static std::vector<PasteboardItem> userClipboard() {
        return {PasteboardItem{.representations = {{std::string(kPasteboardPlainTextType), pasteboardBytes("numbers")},
                                                   {"public.png", {0x89, 0x50, 0x4E, 0x47, 0x00, 0xFF}}}}};
    }

    // A frontmost application whose window and text field have the focus.
    Editor launchEditor(std::int32_t pid, std::string bundleIdentifier, std::string name) {
        Editor launched;
        world.desktop.launch(SimProcessSetup{
            .pid = pid,
            .parentPID = 1,
            .startSeconds = 1'700'000'000,
            .startMicroseconds = 250'000,
            .application = SimApplicationInfo{.bundleIdentifier = std::move(bundleIdentifier),
                                              .localizedName = std::move(name),
                                              .bundleURL = std::filesystem::path("/Applications/Editor.app")}});
        launched.window = world.desktop.addWindow(pid, static_cast<std::uint32_t>(pid));
        launched.field = world.desktop.addElement(launched.window, SimElementSetup{.role = "AXTextField",
                                                                                   .value = "",
                                                                                   .selectedRange = AXTextRange{0, 0},
                                                                                   .valueSettable = true,
                                                                                   .selectedTextSettable = true});
        world.desktop.setFocusedWindow(pid, launched.window);
        world.desktop.setFocusedElement(pid, launched.field);
        world.desktop.setFrontmost(pid);
        return launched;
    }

    std::string fieldText() { return world.desktop.element(editor.field).value.value_or(""); }

    // The user's hands on the Fn key.
    void press() {
        world.desktop.keyTap().send(SimKeyTap::flagsChanged(kFunctionKeyCode, key_event_flags::secondaryFn));
        loop.runUntilIdle();
    }
    void release() {
        world.desktop.keyTap().send(SimKeyTap::flagsChanged(kFunctionKeyCode, 0));
        loop.runUntilIdle();
    }

    // One 40 ms buffer of quiet audio from the microphone.
    void speak() {
        auto engine = world.desktop.audioEngines().latest();
        ASSERT_NE(engine, nullptr);
        engine->deliver({std::vector<float>(1920, 0.01f)});
        loop.runUntilIdle();
    }

    // "METHOD /path" of every request made, from `from` on.
    std::vector<std::string> requests(std::size_t from = 0) const {
        std::vector<std::string> lines;
        const auto& all = world.transport->requests();
        for (auto i = from; i < all.size(); ++i) lines.push_back(all[i].method + " " + all[i].url.target());
        return lines;
    }
    std::size_t count(const std::string& line) const {
        const auto all = requests();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
    }
    std::optional<std::size_t> pendingIndex(const std::string& line) const {
        for (std::size_t i = 0; i < world.transport->pendingRequests(); ++i) {
            const auto& request = world.transport->pendingRequest(i);
            if (request.method + " " + request.url.target() == line) return i;
        }
        return std::nullopt;
    }
    bool isPending(const std::string& line) const { return pendingIndex(line).has_value(); }
    // Answers the oldest waiting request `line`.
    void answer(const std::string& line, Result<CoreHTTPResponse> reply) {
        const auto index = pendingIndex(line);
        ASSERT_TRUE(index) << "no waiting " << line;
        world.transport->answerPending(*index, std::move(reply));
        loop.runUntilIdle();
    }
    void answer(const std::string& line, int status, std::string body = "{}") {
        answer(line, CoreHTTPResponse{status, std::move(body)});
    }
    void answerAll(const std::string& line, int status, const std::string& body) {
        while (isPending(line)) answer(line, status, body);
    }
    // Answers the requests that come with every operation but are not under
    // test: route reports, settings polls, delivery reports.
    void answerBackground() {
        answerAll("POST /api/v1/audio/route", 200, "{}");
        answerAll("GET /api/settings", 200, settingsBody());
    }

    // The operation the latest start request named.
    std::string operationID() const {
        const auto& all = world.transport->requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->method == "POST" &&
                (it->url.target() == "/api/v1/dictations" || it->url.target() == "/api/v1/agent/operations" ||
                 it->url.target() == "/api/v1/agent/pending-operations")) {
                auto body = json::parse(it->body.value_or("{}"));
                return body ? body->value("operation_id", "") : "";
            }
        }
        return {};
    }
    std::string dictationPath(std::string_view action) const {
        return "POST /api/v1/dictations/" + operationID() + "/" + std::string(action);
    }
    std::string release_() const { return dictationPath("release"); }
    std::string cancel_() const { return dictationPath("cancel"); }

    void acceptStart(std::string phase = "recording") {
        answer("POST /api/v1/dictations", 200,
               R"({"phase":")" + phase + R"(","operation_id":")" + operationID() + R"("})");
    }

    // Text frames the client sent on the event socket of `type`.
    std::vector<json::Json> controlFrames(std::string_view type) const {
        std::vector<json::Json> frames;
        for (const auto& text : world.transport->lastSocket()->sentTexts()) {
            auto frame = json::parse(text);
            if (frame && frame->is_object() && frame->value("type", "") == type) frames.push_back(*frame);
        }
        return frames;
    }
    // Audio goes out paced at its own speed: the frames queued behind it
    // (the end of the stream, say) leave once its time has passed.
    void drainAudio() { loop.advance(100ms); }
    void acknowledgeAudioEnd() {
        drainAudio();
        deliverEvent(R"({"type":"native_audio_end_ack","operation_id":")" + operationID() + R"("})");
    }

    void deliverEvent(const std::string& text) {
        world.transport->lastSocket()->deliverText(text);
        loop.runUntilIdle();
    }
    // An engine event for the current operation.
    void pushEvent(std::string_view type, std::string data = "{}", std::optional<std::string> operation = {}) {
        deliverEvent(R"({"protocol_version":1,"sequence":)" + std::to_string(++sequence) + R"(,"type":")" +
                     std::string(type) + R"(","qos":"reliable","data":)" + data + R"(,"operation_id":")" +
                     operation.value_or(operationID()) + R"("})");
    }

    // A held and released dictation whose audio end was acknowledged: the
    // release request is waiting.
    void dictateAndRelease() {
        press();
        acceptStart();
        speak();
        release();
        acknowledgeAudioEnd();
    }

    // As dictateAndRelease(), but the field has lost the focus just before
    // the release and the editor's tree is slow to show the next one.
    void dictateAndReleaseWithoutFocusedField() {
        press();
        acceptStart();
        speak();
        world.desktop.setFocusedElement(kEditorPID, std::nullopt);
        release();
        acknowledgeAudioEnd();
    }

    std::size_t errorCues() { return world.errorCuesPlayed(); }
    std::size_t cuesPlayed(std::string_view name) {
        const auto calls = world.desktop.cuePlayers().calls();
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [name](const SimCuePlayerCall& c) {
            return c.action == SimCuePlayerCall::Action::play && c.file.find(name) != std::string::npos;
        }));
    }
    std::optional<HUDMode::Kind> hudKind() const {
        const auto mode = world.hud->currentMode();
        return mode ? std::optional(mode->kind()) : std::nullopt;
    }
    bool logged(std::string_view text) const { return world.log->contains(text); }

    ManualLoop loop;
    std::shared_ptr<ManualLoop> recovery = std::make_shared<ManualLoop>();
    CoordinatorWorld world{loop};
    Editor editor;
    std::shared_ptr<DesktopCoordinator> coordinator;
    int sequence = 1;
};

}  // namespace murmo::testing
