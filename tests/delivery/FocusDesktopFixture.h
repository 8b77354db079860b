#pragma once

// A simulated desktop with one text editor in front, the focus text injector
// on it, and helpers to run capture tasks in virtual time.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coordinator/DeliveryComposition.h"
#include "delivery/ClipboardPaster.h"
#include "delivery/FocusCapture.h"
#include "delivery/FocusTextInjector.h"
#include "platform/sim/RecordingLogSink.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"
#include "runtime/ManualLoop.h"
#include "runtime/Task.h"

namespace murmo::testing {

using namespace std::chrono_literals;

inline constexpr std::int32_t kHostPID = 4242;

struct SimHost {
    std::int32_t pid = 0;
    SimElementID application = 0;
    SimElementID window = 0;
    SimElementID field = 0;
};

// What the user had copied: two items, one of them with three
// representations, one of which is not text at all.
inline std::vector<PasteboardItem> sampleUserClipboard() {
    auto bytes = [](std::string_view text) { return pasteboardBytes(text); };
    return {
        PasteboardItem{.representations = {{std::string(kPasteboardPlainTextType), bytes("quarterly numbers")},
                                           {"public.rtf", bytes("{\\rtf1 quarterly}")},
                                           {"public.png", {0x89, 0x50, 0x4E, 0x47, 0x00, 0xFF, 0x0A}}}},
        PasteboardItem{.representations = {{"public.file-url", bytes("file:///tmp/q.pdf")}}},
    };
}

// Runs a capture task and keeps its result and the virtual time it arrived.
struct CaptureRun {
    std::optional<CaptureResult> result;
    MonotonicTime finishedAt{};
};

inline Task<void> awaitCapture(ManualLoop& loop, Task<CaptureResult> task, std::shared_ptr<CaptureRun> run) {
    auto result = co_await std::move(task);
    run->finishedAt = loop.now();
    run->result = std::move(result);
}

class FocusDesktopTest : public ::testing::Test {
protected:
    ManualLoop loop;
    SimDesktop desktop{loop};
    DesktopPorts ports = desktop.ports();
    SequentialIdGenerator ids;
    std::shared_ptr<RecordingLogSink> logs = std::make_shared<RecordingLogSink>();
    std::shared_ptr<ClipboardPaster> paster = ClipboardPaster::create(clipboardPasterPorts(ports, loop, ids));
    std::shared_ptr<FocusTextInjector> injector = FocusTextInjector::create(injectorPorts(), paster);

    FocusTextInjectorPorts injectorPorts() { return focusTextInjectorPorts(ports, loop, ids, logs); }

    // A frontmost editor whose window and text field ("hello", caret at the
    // end) have the focus.
    SimHost launchEditor(std::int32_t pid = kHostPID, std::string bundleURL = "/Applications/Notes.app") {
        SimHost host;
        host.pid = pid;
        host.application = desktop.launch(
            SimProcessSetup{.pid = pid,
                            .parentPID = 1,
                            .startSeconds = 1'700'000'000,
                            .startMicroseconds = 250'000,
                            .application = SimApplicationInfo{.bundleIdentifier = "local.test.notes",
                                                              .localizedName = "Notes",
                                                              .bundleURL = std::filesystem::path(bundleURL)}});
        host.window = desktop.addWindow(pid, 7);
        host.field = desktop.addElement(host.window, SimElementSetup{.role = "AXTextField",
                                                                     .value = "hello",
                                                                     .selectedRange = AXTextRange{5, 0},
                                                                     .valueSettable = true,
                                                                     .selectedTextSettable = true});
        desktop.setFocusedWindow(pid, host.window);
        desktop.setFocusedElement(pid, host.field);
        desktop.setFrontmost(pid);
        return host;
    }

    // The pin a reservation would make for the host now.
    FocusHostPin pinHost(const SimHost& host, bool manualRequested = false, AXError manualError = axerror::failure) {
        return FocusHostPin{
            .targetID = "target-1",
            .pid = host.pid,
            .bundleIdentifier = "local.test.notes",
            .applicationName = "Notes",
            .pinnedAt = loop.now(),
            .focusedWindow = desktop.axElement(host.window),
            .manualAccessibilityRequested = manualRequested,
            .manualAccessibilityError = manualError,
            .inputEpoch = FocusInputEpoch::read(ports.inputActivity),
            .processBirth = FocusProcessBirthIdentity::read(ports.processInfo, host.pid),
        };
    }

    std::shared_ptr<CaptureRun> startCapture(Task<CaptureResult> task) {
        auto run = std::make_shared<CaptureRun>();
        spawn(awaitCapture(loop, std::move(task), run));
        return run;
    }

    CaptureResult runCapture(Task<CaptureResult> task, Duration budget = 2s) {
        auto run = startCapture(std::move(task));
        loop.advance(budget);
        EXPECT_TRUE(run->result.has_value()) << "capture did not finish in time";
        return run->result.value_or(std::unexpected(CaptureFailure::permission));
    }

    std::vector<SimAXCall> callsTo(std::string_view attribute, SimAXOperation operation) const {
        std::vector<SimAXCall> found;
        for (const auto& call : desktop.axCalls()) {
            if (call.attribute == attribute && call.operation == operation) found.push_back(call);
        }
        return found;
    }
};

}  // namespace murmo::testing
