#pragma once

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Bundle.h"
#include "platform/CuePlayer.h"
#include "runtime/Clock.h"

namespace murmo {

enum class DictationFeedbackSound { start, success, error };

// "start", "success", "error".
std::string_view rawValue(DictationFeedbackSound sound);
std::optional<DictationFeedbackSound> dictationFeedbackSound(std::string_view rawValue);

enum class DictationFeedbackTerminalOutcome { inserted, generatedWithoutInjection, error, cancelled };

// The cue an ending asks for; none for a cancellation.
std::optional<DictationFeedbackSound> terminalSound(DictationFeedbackTerminalOutcome outcome);

// Makes each operation play its start cue at most once, never after its end,
// and its end cue at most once, whatever order and however often events come.
// Remembers the most recent `capacity` operations.
class DictationFeedbackSoundGate {
public:
    struct OperationState {
        bool startPlayed = false;
        bool terminalRecorded = false;

        bool operator==(const OperationState&) const = default;
    };

    explicit DictationFeedbackSoundGate(int capacity);

    std::size_t trackedOperationCount() const { return operations_.size(); }
    int capacity() const { return capacity_; }

    void begin(const std::string& operationID);
    std::optional<DictationFeedbackSound> startAccepted(const std::string& operationID);
    std::optional<DictationFeedbackSound> finish(const std::string& operationID,
                                                 DictationFeedbackTerminalOutcome outcome);

    bool operator==(const DictationFeedbackSoundGate&) const = default;

private:
    std::unordered_map<std::string, OperationState> operations_;
    std::deque<std::string> operationOrder_;
    int capacity_;
};

struct SoundFeedbackControllerDependencies {
    // Where the cues are looked for first.
    std::shared_ptr<const Bundle> bundle;
    // Looked in as well when `bundle` is another one; may be null.
    std::shared_ptr<const Bundle> mainBundle;
    std::shared_ptr<CuePlayerFactory> players;
    const Clock& clock;
};

// Plays the dictation cues: start when the engine accepts a recording, success
// or error when an operation ends. Main thread. Missing or broken sound files
// leave their cue silent and nothing else.
class SoundFeedbackController {
public:
    static constexpr int kTrackedOperations = 64;
    static constexpr Duration kGeneralErrorInterval = std::chrono::milliseconds(800);
    // Anything shorter cannot hold even a sound file's header.
    static constexpr std::uintmax_t kMinimumSoundFileBytes = 45;

    explicit SoundFeedbackController(SoundFeedbackControllerDependencies dependencies);

    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled);

    void beginOperation(const std::string& operationID);
    void startAccepted(const std::string& operationID);
    void finish(const std::string& operationID, DictationFeedbackTerminalOutcome outcome);
    // The error cue for a failure outside any operation, at most once per 0.8 s.
    void playGeneralError();
    // Final: nothing plays afterwards.
    void shutdown();

private:
    std::unique_ptr<CuePlayer> loadPlayer(std::string_view name, float volume) const;
    void play(std::optional<DictationFeedbackSound> sound);
    void stopAndRewind(CuePlayer& player);

    SoundFeedbackControllerDependencies dependencies_;
    bool isEnabled_ = true;
    DictationFeedbackSoundGate gate_{kTrackedOperations};
    std::array<std::unique_ptr<CuePlayer>, 3> players_;
    std::optional<MonotonicTime> lastGeneralErrorAt_;
};

}  // namespace murmo
