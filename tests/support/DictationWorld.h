#pragma once

// The end-to-end world: the application's dictation road built from its real
// pieces on one simulated desktop, against the in-process stand-in engine.
// tests/e2e scenarios and bench/ programs make one per case.
//
// Real pieces: the coordinator from the program's own composition
// (composeDesktopCoordinator, through CoordinatorWorld) attaching to the
// stand-in at its address with its desktop token; the engine client over a
// BeastCoreTransport (loopback HTTP and the event WebSocket), wrapped only to
// record what went out and how it ended; the shortcut router on its own
// thread over SimKeyTap; VoiceProcessingAudioCapture on the simulated audio
// engine; the focus injector, clipboard paster and live writer the
// composition makes.
//
// The desktop: an editor (kEditorPID) in front, its window and text field
// focused, the field holding options.fieldText with the caret at its end; the
// user's clipboard (several items and types, binary data among them, put
// there as a user's copy); our own process (kOwnPID) running in the
// background. One RecordingLogSink serves every logger.
//
// Time: `loop` is the application's only clock.
// - Waiting on the engine pumps (pumpUntil and every waitFor...): virtual
//   time follows real time, so the 40 ms audio, the socket's pacing and its
//   0.5 s reconnect run as they would. Each wait gives up after
//   options.waitLimit of real time and says so (false or nullopt); none hangs.
// - What the application times itself (the terminal retries, the 1.5 s
//   cancel series, the 1.2 s clipboard settle, the watchdogs) is jumped with
//   jump(d). A test first waits for what the step makes the engine receive;
//   jump then settles the world at the current instant: it runs what is
//   ready and waits, in real time with virtual time standing still, until no
//   request is unanswered, no socket write is unfinished and the engine has
//   read every frame the client wrote. Only then does the clock move by d. If
//   the world does not settle within options.waitLimit, jump fails the test
//   and leaves the clock alone. A request the test scripted never to be
//   answered is allowed for by `unansweredRequests`. What the application
//   sends during the jump is answered after it, in real time.
//
// Audio: SimulatedMicrophone hands each running simulated engine one 40 ms
// buffer (a 440 Hz tone) every 40 ms of the loop's time, on the main thread,
// for as long as the capture keeps an engine running: at the real pace while
// pumping, in a burst during a jump. The capture's recovery queue (its 500 ms
// watchdog, configuration changes) is the main loop too, so the watchdog
// reads the same clock as the audio it watches and never sees a jump as
// silence. The simulated engine runs its tap on the delivering thread, so the
// chunk callback runs on the main thread here, not on an audio thread.
//
// Keyboard: pressShortcut/releaseShortcut send the shortcut in force (Fn by
// default, or the chord the engine's settings name) through SimKeyTap, which
// waits for the router thread's verdict; the router's action is then on the
// main loop, and the helpers run the loop once so it reaches the coordinator.
//
// The engine: `engine` is the StandInEngine, scripted directly or, for a
// dictation's transcript, through `transcripts` (StandInTranscriptScript),
// which answers "/api/v1/dictations/*/release" (and the start path only when
// it is given a start reply). With options.engineProgram the engine is the
// stand-in program instead, launched by the coordinator as a real child, for
// what only a supervised engine does (exiting under the application, being
// stopped at quit).
//
// Teardown: teardown() (also run by the destructor) shuts the coordinator
// down, which disconnects the client (a socket left open is a failure, and is
// closed there and then; a scenario that let the coordinator go has its
// client disconnected here), waits until no key tap is live and the stand-in
// sees no socket open, then stops the stand-in. The client's transport stays,
// idle, so what it recorded can still be read; it goes with the world.
//
// Main thread only, except where a member says otherwise.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CoordinatorWorld.h"
#include "DictationInvariants.h"
#include "RecordingCoreTransport.h"
#include "SimulatedMicrophone.h"
#include "StandInTranscriptScript.h"
#include "TemporaryDirectory.h"
#include "coordinator/DesktopCoordinator.h"
#include "input/Shortcut.h"
#include "input/hud/HUDMode.h"
#include "platform/KeyTap.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"

namespace murmo::testing {

// What the user had copied: three items, one with three representations
// (one of them binary with a zero byte), one file reference, one image.
std::vector<PasteboardItem> sampleDictationClipboard();

struct DictationWorldOptions {
    // The focused field's text before anything is dictated; caret at its end.
    std::string fieldText = "Notes: ";
    std::vector<PasteboardItem> userClipboard = sampleDictationClipboard();
    // The microphone's input format (mono float, non-interleaved).
    double sampleRate = 16'000;
    std::uint32_t channelCount = 1;
    // How many requests and frames the stand-in keeps for reading back.
    std::size_t engineRecordCapacity = 4096;
    // The longest real time any one wait, settle or teardown step takes.
    Duration waitLimit = std::chrono::seconds(10);
    // When set, the engine is this program (murmo-stand-in-engine), which the
    // coordinator launches, supervises and stops as a real child, instead of
    // the in-process stand-in: `engine` then stays stopped and records
    // nothing, so only the client's side (exchanges, log, desktop) is seen,
    // and settling cannot wait for the engine to read the frames written.
    std::optional<std::filesystem::path> engineProgram{};
    // That program's scenario (a StandInScenario JSON object).
    std::string engineScenario = "{}";
};

class DictationWorld {
public:
    static constexpr std::int32_t kOwnPID = 500;
    static constexpr std::int32_t kEditorPID = 4242;
    static constexpr std::string_view kEditorBundleIdentifier = "local.test.editor";

    // Builds the world and starts the stand-in; the coordinator is made but
    // not started. A stand-in that cannot listen fails the test.
    explicit DictationWorld(DictationWorldOptions options = {});
    ~DictationWorld();
    DictationWorld(const DictationWorld&) = delete;
    DictationWorld& operator=(const DictationWorld&) = delete;

    // Starts the coordinator and pumps until it is connected and the
    // engine's audio settings have been applied. False, with a test failure,
    // when that does not happen within the wait limit.
    [[nodiscard]] bool start();
    // Coordinator shutdown (with the client's disconnect), stand-in stopped.
    // True when each piece stopped: the shutdown completed and closed the
    // event socket, no tap is left live, the stand-in saw the socket close.
    // Idempotent (later calls return true).
    bool teardown();

    // The user's hands on the shortcut in force. Returns the verdict on the
    // event that makes the press (or release): swallow when the router took
    // it as the shortcut.
    KeyTapVerdict pressShortcut();
    KeyTapVerdict releaseShortcut();
    // The same for any shortcut (the assistant's, or one no longer in force).
    KeyTapVerdict pressShortcut(const ShortcutChoice& shortcut);
    KeyTapVerdict releaseShortcut(const ShortcutChoice& shortcut);

    // Pumps until `condition` holds or the wait limit passes; returns its
    // last value.
    bool pumpUntil(const std::function<bool()>& condition);
    // Runs what is ready and waits in real time with virtual time standing
    // still, until `condition` holds or the wait limit passes: for an answer
    // that must arrive before anything the application times itself moves on
    // (a focus capture's retries, say). Returns its last value.
    bool waitStill(const std::function<bool()>& condition);
    // Pumps until the engine has received `count` requests matching
    // `pattern` ("POST /api/v1/dictations/*/release", see RequestPattern);
    // returns the count-th.
    std::optional<StandInRequest> waitForRequest(std::string_view pattern, std::size_t count = 1);
    // Pumps until the engine has received `count` socket frames in all.
    bool waitForSocketFrames(std::size_t count);
    // Pumps until the engine has received `count` binary (audio) frames.
    bool waitForAudioFrames(std::size_t count);
    // Pumps until the engine has received an audio control frame of `type`
    // ("native_audio_end"), of `operationID` when given.
    bool waitForControlFrame(std::string_view type, std::optional<std::string> operationID = std::nullopt);

    // Settles the world at the current instant (see the header comment);
    // false, with a test failure naming what is still busy, when it does not
    // settle within the wait limit.
    [[nodiscard]] bool settle(std::size_t unansweredRequests = 0);
    // Settles, then moves virtual time forward by `delta`, firing every timer
    // on the way. False (clock untouched) when the world did not settle.
    [[nodiscard]] bool jump(Duration delta, std::size_t unansweredRequests = 0);

    // The operation the coordinator used, from the latest start request's
    // "operation_id" (dictation, agent or pending agent start).
    std::optional<std::string> operationID() const;
    // Every operation started, in order.
    std::vector<std::string> operationIDs() const;

    // The launched engine's pid, from the record it writes at start (only
    // with options.engineProgram).
    std::optional<pid_t> enginePID() const;

    // Readers.
    std::string fieldText() const;
    SimElementID editorField() const { return editorField_; }
    std::vector<PasteboardItem> clipboardItems() const;
    // The clipboard as the user left it before the scenario.
    const std::vector<PasteboardItem>& userClipboard() const { return options_.userClipboard; }
    // The HUD's mode (absent before it first showed one) and its idle state
    // (booting, idle, paused, offline).
    std::optional<HUDMode> hudMode() const;
    HUDIdleState hudIdleState() const;
    // What the HUD asked of its surface, in order.
    std::vector<SimHUDLogEntry> hudLog() const;
    // The cue files played, in order ("dictation-start.wav", ...).
    std::vector<std::string> cuesPlayed() const;
    std::vector<StandInRequest> engineRequests() const;
    std::vector<StandInRequest> engineRequests(std::string_view pattern) const;
    std::vector<StandInSocketFrame> socketFrames() const;
    std::vector<StandInSocketFrame> audioFrames() const;
    std::vector<AudioControlFrame> controlFrames() const;
    // Every request the client sent, with how it ended.
    std::vector<RecordingCoreTransport::Exchange> exchanges() const;
    std::vector<LogRecord> logLines() const;
    // The coordinator's engine client (made when the coordinator was).
    MurmoCoreClient& client() const { return *composition.client; }

    // What the scenario left behind, for the invariant check.
    DictationTrace trace() const;
    // Settles, then checks every invariant (DictationInvariants.h) with one
    // gtest failure per broken rule. `dictatedText` is empty when nothing was
    // dictated; `clipboard` says whether the paste went unverified and left
    // the text on the clipboard; `allowed` names the exceptions to the
    // terminal-request rule the scenario made happen.
    void expectInvariants(const std::string& dictatedText,
                          ClipboardExpectation clipboard = ClipboardExpectation::restored,
                          TerminalAllowances allowed = {});

private:
    void buildDesktop();
    // Lays out the launched engine's bundle and scenario, and points the
    // supervisor at them.
    void prepareEngineProgram();
    MurmoLaunchConfiguration launchConfiguration() const;
    // Why the world is not settled, or nullopt when it is.
    std::optional<std::string> busyness(std::size_t unansweredRequests) const;
    KeyTapVerdict sendKeys(const std::vector<KeyTapEvent>& events, std::size_t decisive);

    const DictationWorldOptions options_;

public:
    // Declared in the order they are built; torn down by teardown() and then
    // in reverse.
    ManualLoop loop;
    StandInEngine engine;
    StandInTranscriptScript transcripts{engine};
    CoordinatorWorld composition{loop};
    SimDesktop& desktop = composition.desktop;
    std::shared_ptr<RecordingLogSink> log = composition.log;
    std::shared_ptr<RecordingCoreTransport> transport;
    std::shared_ptr<DesktopCoordinator> coordinator;
    SimulatedMicrophone microphone{loop, desktop.audioEngines()};

private:
    // The launched engine's files (unused for the in-process stand-in).
    TemporaryDirectory engineTree_;
    std::uint16_t enginePort_ = 0;
    SimElementID editorField_ = 0;
    bool tornDown_ = false;
};

}  // namespace murmo::testing
