#pragma once

// The rules every dictation scenario must leave intact, checked over what the
// scenario left behind. Kept apart from the world that gathers the trace, so
// the rules can be shown to catch each fault on a trace made by hand.

#include <optional>
#include <string>
#include <vector>

#include "RecordingCoreTransport.h"
#include "platform/Pasteboard.h"
#include "runtime/Logger.h"
#include "stand-in-engine/StandInEngine.h"

namespace murmo::testing {

// A native-audio control frame the client sent: {"type": "native_audio_begin"
// | "native_audio_end" | "native_audio_cancel", "operation_id": ...}.
struct AudioControlFrame {
    std::string type{};
    std::string operationID{};
    // Which of the engine's sockets it came on.
    std::size_t socket = 0;
};

// The control frame a socket frame holds, if it is one (a text frame whose
// JSON object has a string "type").
std::optional<AudioControlFrame> audioControlFrame(const StandInSocketFrame& frame);

// What a scenario left behind.
struct DictationTrace {
    // What the engine received, in arrival order.
    std::vector<StandInRequest> engineRequests{};
    // The frames the engine received on its event sockets, in arrival order.
    std::vector<StandInSocketFrame> socketFrames{};
    // False when the engine kept only the latest frames: the first frames
    // kept may then belong to a stream whose beginning is unknown.
    bool allSocketFramesKept = true;
    // Every request the client sent, with how it ended.
    std::vector<RecordingCoreTransport::Exchange> exchanges{};
    std::vector<LogRecord> logLines{};
    std::vector<PasteboardItem> clipboardBefore{};
    std::vector<PasteboardItem> clipboardAfter{};
    std::string fieldTextBefore{};
    std::string fieldTextAfter{};
    bool coordinatorIdle = true;
};

// What became of the user's clipboard.
enum class ClipboardExpectation {
    // Given back byte for byte (or never touched).
    restored,
    // The paste went unverified: the dictated text was left alone on it.
    transcriptLeft,
};

// Exceptions to the one-terminal-request rule that a scenario grants when it
// makes them happen; none by default.
struct TerminalAllowances {
    // A cancel may go out while the operation's release is still unanswered:
    // a pause, the watchdog or quit overriding the release.
    bool cancelOvertakesRelease = false;
    // Quit may cancel an operation whose release was already answered, while
    // its text was still on its way into the field.
    bool quitCancelsAfterAnsweredRelease = false;
    // An assistant operation may be deleted after its release was answered:
    // the watchdog ending one whose answer never came, or the user declining
    // the action an answer proposed.
    bool agentDeletedAfterAnsweredRelease = false;
};

struct DictationExpectations {
    // Empty when nothing was dictated.
    std::string dictatedText{};
    ClipboardExpectation clipboard = ClipboardExpectation::restored;
    TerminalAllowances terminal{};
};

// One sentence per broken rule; empty when every rule holds:
// - an operation has one terminal request (release or cancel), more only
//   when each earlier one failed (a transport error or a status outside
//   200...299) before the next went out, or as `terminal` allows;
// - at most one delivery report per operation;
// - the dictated text is in the field at most once more than before;
// - the user's clipboard is byte-identical to what it was, or holds only the
//   dictated text when the paste went unverified;
// - no audio frame follows an end or cancel frame until the next begin;
// - no log line contains the dictated text;
// - the coordinator is idle.
std::vector<std::string> dictationInvariantViolations(const DictationTrace& trace,
                                                      const DictationExpectations& expected);

}  // namespace murmo::testing
