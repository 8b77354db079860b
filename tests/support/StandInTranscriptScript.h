#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "stand-in-engine/StandInEngine.h"

namespace murmo::testing {

// How the scripted transcript reaches the application.
enum class TranscriptDelivery {
    // In the release reply, as "final_text".
    releaseReply,
    // As a "dictation.final" event of the operation ({"text": ...}) pushed on
    // the event socket when the release arrives; the release gets the
    // stand-in's default reply. The event and the reply travel separately, so
    // either may arrive first.
    finalEvent,
};

// What the stand-in engine answers to a dictation's release, and to its start
// when a scenario says so. The stand-in recognises nothing and its default
// release reply has no text; a scenario says here what the user "said".
//
// One handler on "/api/v1/dictations/*/release" answers every operation's
// release, the operation read from the path; it reads the script when the
// release arrives, so the transcript may be set at any time before. The start
// path is the script's only while a start reply is scripted: otherwise a test
// may answer starts itself (setHandler/setReply on the engine), and an exact
// release path set on the engine still wins over the script's pattern.
//
// Thread-safe: handlers run on the stand-in's I/O thread.
class StandInTranscriptScript {
public:
    static constexpr std::string_view kStartPath = "/api/v1/dictations";

    static constexpr std::string_view kReleasePattern = "/api/v1/dictations/*/release";

    // Takes over the release paths of `engine`, which must outlive the
    // script's use (the handlers live in the engine).
    explicit StandInTranscriptScript(StandInEngine& engine);
    StandInTranscriptScript(const StandInTranscriptScript&) = delete;
    StandInTranscriptScript& operator=(const StandInTranscriptScript&) = delete;

    // Every release from now on answers with `text`, as `delivery` says.
    void setTranscript(std::string text, TranscriptDelivery delivery = TranscriptDelivery::releaseReply);
    // Releases answer with the stand-in's default reply (no text).
    void clearTranscript();
    // The next releases, one each, get these replies before any transcript
    // (a failure to retry after, say).
    void queueReleaseReply(StandInReply reply);
    // The start's reply, set as the engine's reply on the start path;
    // nullopt gives the path back (whatever handler it had is removed).
    void setStartReply(std::optional<StandInReply> reply);

    // Operations started so far (those of the starts the engine still keeps),
    // in arrival order, as the start bodies named them.
    std::vector<std::string> startedOperations() const;

    // The release path of an operation, as the client sends it.
    static std::string releasePath(const std::string& operationID);
    // The stand-in's release reply for `operationID` carrying `text`, for a
    // test that answers a held release itself.
    static StandInReply releaseReply(const std::string& operationID, const std::string& text);

private:
    struct State {
        mutable std::mutex mutex;
        std::optional<std::string> transcript;
        TranscriptDelivery delivery = TranscriptDelivery::releaseReply;
        std::deque<StandInReply> releaseReplies;
    };

    static StandInReply answerRelease(StandInEngine& engine, const std::shared_ptr<State>& state,
                                      const StandInRequest& request);

    StandInEngine& engine_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace murmo::testing
