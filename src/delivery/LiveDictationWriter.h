#pragma once

// Types a live dictation into the field that had the focus when it started,
// piece by piece as the transcript grows, and stops for good the moment
// anything suggests the target is no longer the same field in the same
// state: the user clicks or types, the focus or the field's text moves,
// secure input comes on, or a write cannot be confirmed. It never deletes or
// rewrites what it wrote; a revision of written text stops it.
//
// Two backends, chosen once at capture:
// - accessibility: the text is inserted by setting the element's selected
//   text, and every insertion is read back and confirmed;
// - keyboard: the text is typed as synthetic Unicode key events carrying the
//   synthetic-event marker; nothing is read back, and the target is known by
//   its application and front window.
// One writer per operation. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/FocusTargetSnapshot.h"
#include "platform/Accessibility.h"
#include "platform/EventPoster.h"
#include "platform/InputActivity.h"
#include "platform/UserInputWatch.h"
#include "platform/Workspace.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/StderrLogSink.h"

namespace murmo {

struct LiveDictationWriterPorts {
    MainLoop& loop;
    Accessibility& accessibility;
    Workspace& workspace;
    InputActivity& inputActivity;
    EventPoster& eventPoster;
    UserInputWatch& userInputWatch;
    std::shared_ptr<LogSink> logSink = StderrLogSink::shared();
};

class LiveDictationWriter : public std::enable_shared_from_this<LiveDictationWriter> {
public:
    // Typed text goes out in chunks of at most this many UTF-16 units.
    static constexpr std::size_t kUnicodeChunkLength = 20;

    // A writer for the current focus, or null when there is nothing this
    // process may safely write into, or when the platform gives no watch on
    // the user's input (without one a click into another field of the same
    // window would go unnoticed).
    static std::shared_ptr<LiveDictationWriter> capture(const LiveDictationWriterPorts& ports);
    ~LiveDictationWriter();
    LiveDictationWriter(const LiveDictationWriter&) = delete;
    LiveDictationWriter& operator=(const LiveDictationWriter&) = delete;

    // Writes what is new in the growing transcript `text`. True while the
    // writer is active and the target holds everything up to `text`; false
    // once it is paused, by this call or before.
    bool append(std::string_view text);
    // Ends the focus and input watches.
    void stop();

    bool touched() const { return touched_; }
    bool paused() const { return paused_; }
    // Accessibility backend (as opposed to keyboard).
    bool hasElement() const { return element_.has_value(); }

    // Splits text into chunks of at most kUnicodeChunkLength UTF-16 units,
    // never splitting a surrogate pair.
    static std::vector<std::u16string> unicodeChunks(std::u16string_view text);

private:
    LiveDictationWriter(const LiveDictationWriterPorts& ports, std::optional<AXElement> element, std::int32_t pid,
                        std::string value, AXTextRange selection, std::optional<std::uint32_t> windowID,
                        FocusInputEpoch inputEpoch);

    static std::shared_ptr<LiveDictationWriter> captureAX(const LiveDictationWriterPorts& ports,
                                                          const AXElement& element, std::int32_t hostPID);
    static std::optional<std::uint32_t> frontWindow(Workspace& workspace, std::int32_t pid);
    // The writer, watching; null when the platform gives no input watch.
    static std::shared_ptr<LiveDictationWriter> watching(std::shared_ptr<LiveDictationWriter> writer);
    // Starts the watches; needs the writer in its shared_ptr. False when
    // the platform gives no input watch.
    bool startWatching();
    bool matches();
    void pause(std::string_view reason);
    bool appendAX(std::string_view text, std::string_view delta);
    bool postUnicode(std::string_view delta);
    std::optional<AXElement> systemFocusedElement();

    LiveDictationWriterPorts ports_;
    std::optional<AXElement> element_;
    std::int32_t pid_ = 0;
    std::optional<std::uint32_t> windowID_;
    // The user's input counters at capture. Any click or key press since
    // then means the target may have moved, even before the input watch's
    // report has reached the writer.
    FocusInputEpoch inputEpoch_;
    Logger log_;
    std::string expectedValue_;
    AXTextRange expectedSelection_{};
    std::string committed_;
    bool touched_ = false;
    bool paused_ = false;
    Timer timer_;
    std::unique_ptr<UserInputMonitor> monitor_;
};

}  // namespace murmo
