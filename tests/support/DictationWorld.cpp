#include "DictationWorld.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <thread>

#include "FixedBundle.h"
#include "ProcessProbes.h"
#include "RequestPattern.h"
#include "engine/BeastCoreTransport.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "input/Shortcut.h"
#include "platform/sim/SimAudioDevices.h"
#include "platform/sim/SimKeyTap.h"
#include "runtime/Unicode.h"

namespace murmo::testing {

namespace {

using namespace std::chrono_literals;

// The modifiers a chord can require, with the key that makes each and its
// event flag, in the order a hand presses them.
struct ModifierKey {
    ShortcutModifiers modifier;
    std::int64_t keyCode;
    std::uint64_t flag;
};
constexpr ModifierKey kModifierKeys[] = {
    {ShortcutModifiers::control, 59, key_event_flags::control},
    {ShortcutModifiers::option, 58, key_event_flags::alternate},
    {ShortcutModifiers::shift, 56, key_event_flags::shift},
    {ShortcutModifiers::command, 55, key_event_flags::command},
};

// The paths that start an operation; the body names it.
const std::vector<RequestPattern>& startPatterns() {
    static const std::vector<RequestPattern> patterns{
        RequestPattern("POST /api/v1/dictations"),
        RequestPattern("POST /api/v1/agent/operations"),
        RequestPattern("POST /api/v1/agent/pending-operations"),
    };
    return patterns;
}

std::optional<std::string> startedOperation(const StandInRequest& request) {
    const bool isStart = std::ranges::any_of(startPatterns(), [&](const auto& p) { return p.matches(request); });
    if (!isStart) return std::nullopt;
    auto body = nlohmann::json::parse(request.body, nullptr, false);
    if (!body.is_object()) return std::nullopt;
    auto operation = body.find("operation_id");
    if (operation == body.end() || !operation->is_string()) return std::nullopt;
    return operation->get<std::string>();
}

}  // namespace

std::vector<PasteboardItem> sampleDictationClipboard() {
    auto bytes = [](std::string_view text) { return pasteboardBytes(text); };
    return {
        PasteboardItem{.representations = {{std::string(kPasteboardPlainTextType), bytes("Q3 revenue table")},
                                           {"public.rtf", bytes("{\\rtf1\\ansi Q3 revenue table}")},
                                           {"public.html", bytes("<table><tr><td>Q3</td></tr></table>")}}},
        PasteboardItem{.representations = {{"public.file-url", bytes("file:///home/user/q3.ods")}}},
        PasteboardItem{
            .representations = {{"public.png", {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0xFF}}}},
    };
}

DictationWorld::DictationWorld(DictationWorldOptions options)
    : options_(std::move(options)),
      engine(StandInEngineOptions{.desktopToken = std::string(CoordinatorWorld::kToken),
                                  .recordCapacity = options_.engineRecordCapacity}) {
    if (options_.engineProgram) {
        prepareEngineProgram();
    } else if (auto started = engine.start(); !started) {
        ADD_FAILURE() << "the stand-in engine cannot listen: " << started.error().message;
    }
    buildDesktop();
    transport = std::make_shared<RecordingCoreTransport>(std::make_shared<BeastCoreTransport>(log));
    auto& compositionOptions = composition.options();
    compositionOptions.clientTransport = transport;
    // The capture's watchdog reads the clock of its recovery queue: on the
    // main loop it is the clock the microphone's buffers follow.
    compositionOptions.audioRecoveryQueue = std::shared_ptr<EventLoop>(std::shared_ptr<EventLoop>(), &loop);
    coordinator = composition.makeCoordinator(launchConfiguration());
}

DictationWorld::~DictationWorld() { teardown(); }

void DictationWorld::buildDesktop() {
    desktop.model().ownPID = kOwnPID;
    desktop.launch(SimProcessSetup{
        .pid = kOwnPID,
        .parentPID = 1,
        .startSeconds = 1'700'000'000,
        .application = SimApplicationInfo{
            .bundleIdentifier = "local.murmo.dev", .localizedName = "Murmo", .bundleURL = "/Applications/Murmo.app"}});

    desktop.launch(
        SimProcessSetup{.pid = kEditorPID,
                        .parentPID = 1,
                        .startSeconds = 1'700'000'100,
                        .startMicroseconds = 250'000,
                        .application = SimApplicationInfo{.bundleIdentifier = std::string(kEditorBundleIdentifier),
                                                          .localizedName = "Editor",
                                                          .bundleURL = "/Applications/Editor.app"}});
    const auto window = desktop.addWindow(kEditorPID, 7);
    const auto caret = static_cast<std::int64_t>(unicode::utf16Length(options_.fieldText).value_or(0));
    editorField_ = desktop.addElement(window, SimElementSetup{.role = "AXTextField",
                                                              .value = options_.fieldText,
                                                              .selectedRange = AXTextRange{caret, 0},
                                                              .valueSettable = true,
                                                              .selectedTextSettable = true});
    desktop.setFocusedWindow(kEditorPID, window);
    desktop.setFocusedElement(kEditorPID, editorField_);
    desktop.setFrontmost(kEditorPID);
    desktop.userCopies(options_.userClipboard);

    auto& devices = desktop.audioDevices();
    devices.addDevice({SimAudioDevices::kBuiltInMicrophone, "Built-in Microphone", 1, AudioTransportType::builtIn});
    devices.addDevice({SimAudioDevices::kBuiltInSpeakers, "Built-in Speakers", 0, AudioTransportType::builtIn});
    devices.setDefaultDevice(DefaultAudioDevice::input, SimAudioDevices::kBuiltInMicrophone);
    devices.setDefaultDevice(DefaultAudioDevice::output, SimAudioDevices::kBuiltInSpeakers);
    desktop.audioEngines().setInputFormat(
        AudioInputFormat{options_.sampleRate, options_.channelCount, AudioCommonFormat::float32, false});
}

void DictationWorld::prepareEngineProgram() {
    auto reserved = reserveLoopbackPort();
    if (!reserved) {
        ADD_FAILURE() << "no loopback port for the engine: " << reserved.error().message;
        return;
    }
    enginePort_ = *reserved;
    const auto program = engineTree_.path() / "engine/bin/murmo-stand-in-engine";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::create_symlink(*options_.engineProgram, program);
    auto scenario = nlohmann::json::parse(options_.engineScenario);
    scenario["record_path"] = (engineTree_.path() / "record.json").string();
    const auto scenarioPath = engineTree_.path() / "scenario.json";
    std::ofstream(scenarioPath) << scenario.dump();

    auto& services = composition.options().supervisor;
    services.mainBundle = std::make_shared<FixedBundle>(engineTree_.path() / "build");
    services.environment = [tree = engineTree_.path(), program, scenarioPath] {
        return EnvironmentMap{{"HOME", (tree / "home").string()},
                              {"XDG_DATA_HOME", (tree / "data").string()},
                              {"PATH", "/usr/bin:/bin"},
                              {"MURMO_EXECUTABLE", program.string()},
                              {"MURMO_STAND_IN_SCENARIO", scenarioPath.string()}};
    };
    services.searchPaths = {engineTree_.path(), {}};
    // Health checks on a real transport of the supervisor's own.
    services.transport = nullptr;
}

std::optional<pid_t> DictationWorld::enginePID() const {
    std::ifstream file(engineTree_.path() / "record.json");
    auto record = nlohmann::json::parse(file, nullptr, false);
    if (!record.is_object() || !record["pid"].is_number()) return std::nullopt;
    return record["pid"].get<pid_t>();
}

MurmoLaunchConfiguration DictationWorld::launchConfiguration() const {
    auto configuration = CoordinatorWorld::attachingConfiguration();
    if (options_.engineProgram) {
        configuration.coreURL = "http://127.0.0.1:" + std::to_string(enginePort_);
        configuration.launchCore = true;
        return configuration;
    }
    configuration.coreURL = engine.baseURL();
    configuration.launchCore = false;
    configuration.desktopToken = std::string(CoordinatorWorld::kToken);
    return configuration;
}

bool DictationWorld::start() {
    coordinator->start();
    const bool ready = pumpUntil([&] { return coordinator->connected() && coordinator->audioSettingsReady(); });
    if (!ready) {
        ADD_FAILURE() << "the coordinator did not become ready: connected=" << coordinator->connected()
                      << " audio settings=" << coordinator->audioSettingsReady();
    }
    return ready;
}

bool DictationWorld::teardown() {
    if (tornDown_) return true;
    tornDown_ = true;
    bool clean = true;
    auto unclean = [&clean](const std::string& what) {
        ADD_FAILURE() << "teardown: " << what;
        clean = false;
    };

    if (!coordinator) {
        // The scenario let the coordinator go: nobody else disconnects its
        // client.
        if (composition.client) composition.client->disconnect();
    } else if (!coordinator->isShuttingDown()) {
        auto done = std::make_shared<bool>(false);
        coordinator->shutdown([done] { *done = true; });
        if (!pumpUntil([&] { return *done; })) unclean("the coordinator's shutdown did not complete");
    }
    if (composition.client) {
        const auto& socket = composition.client->eventSocket();
        if (socket.hasSocket() || socket.shouldReconnect()) {
            unclean("the coordinator's shutdown left the event socket open");
            composition.client->disconnect();
        }
    }
    if (!desktop.keyTap().waitUntilNoLiveTaps(options_.waitLimit)) unclean("a key tap is still live");
    if (!pumpUntil([&] { return engine.openSocketCount() == 0; })) {
        unclean("the engine still has " + std::to_string(engine.openSocketCount()) + " socket(s) open");
    }
    engine.stop();
    // Completions of what the stop cut short land on the loop; run them now,
    // while everything they may touch still exists.
    loop.runUntilIdle();
    if (auto pid = enginePID(); pid && !processGone(*pid)) {
        unclean("the launched engine still runs");
        killIfRunning(*pid);
    }
    return clean;
}

KeyTapVerdict DictationWorld::sendKeys(const std::vector<KeyTapEvent>& events, std::size_t decisive) {
    KeyTapVerdict verdict = KeyTapVerdict::pass;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto answered = desktop.keyTap().send(events[i]);
        if (i == decisive) verdict = answered;
    }
    // The router reported its actions before answering; they wait on the loop.
    loop.runUntilIdle();
    return verdict;
}

KeyTapVerdict DictationWorld::pressShortcut() { return pressShortcut(coordinator->activeShortcut()); }

KeyTapVerdict DictationWorld::releaseShortcut() { return releaseShortcut(coordinator->activeShortcut()); }

KeyTapVerdict DictationWorld::pressShortcut(const ShortcutChoice& shortcut) {
    if (shortcut.isFunction()) {
        return sendKeys({SimKeyTap::flagsChanged(kFunctionKeyCode, key_event_flags::secondaryFn)}, 0);
    }
    std::vector<KeyTapEvent> events;
    std::uint64_t flags = 0;
    for (const auto& key : kModifierKeys) {
        if (!shortcut.modifiers().contains(key.modifier)) continue;
        flags |= key.flag;
        events.push_back(SimKeyTap::flagsChanged(key.keyCode, flags));
    }
    events.push_back(SimKeyTap::keyDown(shortcut.keyCode(), flags));
    return sendKeys(events, events.size() - 1);
}

KeyTapVerdict DictationWorld::releaseShortcut(const ShortcutChoice& shortcut) {
    if (shortcut.isFunction()) return sendKeys({SimKeyTap::flagsChanged(kFunctionKeyCode, 0)}, 0);
    std::uint64_t flags = 0;
    for (const auto& key : kModifierKeys) {
        if (shortcut.modifiers().contains(key.modifier)) flags |= key.flag;
    }
    std::vector<KeyTapEvent> events{SimKeyTap::keyUp(shortcut.keyCode(), flags)};
    for (auto key = std::rbegin(kModifierKeys); key != std::rend(kModifierKeys); ++key) {
        if (!shortcut.modifiers().contains(key->modifier)) continue;
        flags &= ~key->flag;
        events.push_back(SimKeyTap::flagsChanged(key->keyCode, flags));
    }
    return sendKeys(events, 0);
}

bool DictationWorld::pumpUntil(const std::function<bool()>& condition) {
    return loop.pumpUntil(condition, options_.waitLimit);
}

bool DictationWorld::waitStill(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + options_.waitLimit;
    for (;;) {
        loop.runUntilIdle();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
}

std::optional<StandInRequest> DictationWorld::waitForRequest(std::string_view pattern, std::size_t count) {
    const RequestPattern wanted(pattern);
    std::optional<StandInRequest> found;
    pumpUntil([&] {
        auto matches = matching(engine.requests(), wanted);
        if (count == 0 || matches.size() < count) return false;
        found = std::move(matches[count - 1]);
        return true;
    });
    return found;
}

bool DictationWorld::waitForSocketFrames(std::size_t count) {
    return pumpUntil([&] { return engine.socketFrameCount() >= count; });
}

bool DictationWorld::waitForAudioFrames(std::size_t count) {
    // Frames are copied only when new ones have arrived.
    std::size_t seen = 0;
    bool enough = false;
    pumpUntil([&] {
        const auto total = engine.socketFrameCount();
        if (total == seen) return enough;
        seen = total;
        const auto frames = engine.socketFrames();
        enough =
            static_cast<std::size_t>(std::ranges::count_if(frames, [](const auto& f) { return !f.text; })) >= count;
        return enough;
    });
    return enough;
}

bool DictationWorld::waitForControlFrame(std::string_view type, std::optional<std::string> operationID) {
    std::size_t seen = 0;
    bool found = false;
    pumpUntil([&] {
        const auto total = engine.socketFrameCount();
        if (total == seen) return found;
        seen = total;
        for (const auto& frame : engine.socketFrames()) {
            auto control = audioControlFrame(frame);
            if (control && control->type == type && (!operationID || control->operationID == *operationID)) {
                found = true;
            }
        }
        return found;
    });
    return found;
}

std::optional<std::string> DictationWorld::busyness(std::size_t unansweredRequests) const {
    const auto unanswered = transport->unansweredRequests();
    if (unanswered.size() > unansweredRequests) {
        std::string list;
        for (const auto& request : unanswered) list += " \"" + request + "\"";
        return std::to_string(unanswered.size()) + " request(s) unanswered:" + list;
    }
    if (auto writes = transport->socketWritesInFlight(); writes > 0) {
        return std::to_string(writes) + " socket write(s) unfinished";
    }
    // A launched engine's reading cannot be seen from here.
    if (options_.engineProgram) return std::nullopt;
    const auto written = transport->socketMessagesWritten();
    if (const auto read = engine.socketFrameCount(); read < written) {
        return "the engine has read " + std::to_string(read) + " of the " + std::to_string(written) +
               " frames the client wrote";
    }
    return std::nullopt;
}

bool DictationWorld::settle(std::size_t unansweredRequests) {
    const auto deadline = std::chrono::steady_clock::now() + options_.waitLimit;
    for (;;) {
        loop.runUntilIdle();
        auto busy = busyness(unansweredRequests);
        if (!busy) {
            // What finished after that run has posted its completion by now.
            loop.runUntilIdle();
            if (!busyness(unansweredRequests)) return true;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "the world did not settle: " << *busy;
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
}

bool DictationWorld::jump(Duration delta, std::size_t unansweredRequests) {
    if (!settle(unansweredRequests)) return false;
    loop.advance(delta);
    return true;
}

std::vector<std::string> DictationWorld::operationIDs() const {
    std::vector<std::string> operations;
    for (const auto& request : engine.requests()) {
        if (auto operation = startedOperation(request)) operations.push_back(std::move(*operation));
    }
    return operations;
}

std::optional<std::string> DictationWorld::operationID() const {
    auto operations = operationIDs();
    if (operations.empty()) return std::nullopt;
    return std::move(operations.back());
}

std::string DictationWorld::fieldText() const { return desktop.model().elements.at(editorField_).value.value_or(""); }

std::vector<PasteboardItem> DictationWorld::clipboardItems() const { return desktop.pasteboardItems(); }

std::optional<HUDMode> DictationWorld::hudMode() const {
    return composition.hud ? composition.hud->currentMode() : std::nullopt;
}

HUDIdleState DictationWorld::hudIdleState() const { return composition.hud->policy().idleState; }

std::vector<SimHUDLogEntry> DictationWorld::hudLog() const { return desktop.model().hud.log; }

std::vector<std::string> DictationWorld::cuesPlayed() const {
    std::vector<std::string> played;
    for (const auto& call : desktop.cuePlayers().calls()) {
        if (call.action == SimCuePlayerCall::Action::play) played.push_back(call.file);
    }
    return played;
}

std::vector<StandInRequest> DictationWorld::engineRequests() const { return engine.requests(); }

std::vector<StandInRequest> DictationWorld::engineRequests(std::string_view pattern) const {
    return matching(engine.requests(), RequestPattern(pattern));
}

std::vector<StandInSocketFrame> DictationWorld::socketFrames() const { return engine.socketFrames(); }

std::vector<StandInSocketFrame> DictationWorld::audioFrames() const {
    auto frames = engine.socketFrames();
    std::erase_if(frames, [](const StandInSocketFrame& frame) { return frame.text; });
    return frames;
}

std::vector<AudioControlFrame> DictationWorld::controlFrames() const {
    std::vector<AudioControlFrame> controls;
    for (const auto& frame : engine.socketFrames()) {
        if (auto control = audioControlFrame(frame)) controls.push_back(std::move(*control));
    }
    return controls;
}

std::vector<RecordingCoreTransport::Exchange> DictationWorld::exchanges() const { return transport->exchanges(); }

std::vector<LogRecord> DictationWorld::logLines() const { return log->records(); }

DictationTrace DictationWorld::trace() const {
    DictationTrace trace;
    trace.engineRequests = engine.requests();
    trace.socketFrames = engine.socketFrames();
    trace.allSocketFramesKept = engine.socketFrameCount() == trace.socketFrames.size();
    trace.exchanges = transport->exchanges();
    trace.logLines = log->records();
    trace.clipboardBefore = options_.userClipboard;
    trace.clipboardAfter = desktop.pasteboardItems();
    trace.fieldTextBefore = options_.fieldText;
    trace.fieldTextAfter = fieldText();
    trace.coordinatorIdle = !coordinator || coordinator->isIdle();
    return trace;
}

void DictationWorld::expectInvariants(const std::string& dictatedText, ClipboardExpectation clipboard,
                                      TerminalAllowances allowed) {
    EXPECT_TRUE(tornDown_ || settle()) << "the invariants are checked on a world that has not settled";
    for (const auto& violation : dictationInvariantViolations(trace(), {dictatedText, clipboard, allowed})) {
        ADD_FAILURE() << violation;
    }
}

}  // namespace murmo::testing
