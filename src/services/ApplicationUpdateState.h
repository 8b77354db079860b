#pragma once

// Where the application's own update stands: the stage of the cycle, the
// update's versions, the download's progress, why a cycle failed or found
// nothing, and an event identifier per cycle that travels to the engine.
// A plain value; main thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Updater.h"
#include "runtime/Ids.h"
#include "runtime/JsonRead.h"

namespace murmo {

struct ApplicationUpdateState {
    enum class Stage {
        idle,
        checking,
        available,
        downloading,
        preparing,
        downloaded,
        ready,
        installing,
        relaunching,
        cancelled,
        failed,
        noUpdate,
    };
    enum class Problem { network, configuration, download, verification, installation, unknown, moveApplication };
    enum class NoUpdateReason { latest, newer, unknown, systemTooOld, systemTooNew, unsupportedHardware };

    // The largest byte count kept exactly (2^53 - 1): what a JSON number holds.
    static constexpr std::uint64_t kMaximumByteCount = 9007199254740991ULL;

    Stage stage = Stage::idle;
    std::string eventID;
    std::optional<std::string> version;
    std::optional<std::string> build;
    std::optional<Problem> problem;
    std::optional<NoUpdateReason> noUpdateReason;
    bool installOnQuit = false;
    std::uint64_t receivedBytes = 0;
    std::optional<std::uint64_t> expectedBytes;

    // The initial state with a fresh event identifier from `ids`.
    static ApplicationUpdateState initial(IdGenerator& ids);
    // 32 lower-case hexadecimal digits: a UUID without its dashes.
    static std::string newEventID(IdGenerator& ids);

    void transition(Stage target, const std::optional<AppcastItem>& item, IdGenerator& ids);
    void finish(const std::optional<UpdaterError>& error, IdGenerator& ids);
    void fail(const UpdaterError& error, IdGenerator& ids);
    // Only while downloading: the expected length (kept when 1...2^53-1) and
    // a received chunk (the sum clamped to 2^53-1, dropping the expected
    // length when it passes it or overflows).
    void expectBytes(std::uint64_t length);
    void receiveBytes(std::uint64_t length);

    // The eight-key lifecycle dictionary (JSON null where absent).
    json::Json payload() const;
    // {"contract_version", "availability", "event_id", "lifecycle"}.
    json::Json cardPayload(bool available) const;

    // The text as it is when it is fit for display: non-empty, at most 64
    // bytes, valid UTF-8, only letters, marks, digits and ".-_+ ()".
    static std::optional<std::string> displayVersion(std::string_view candidate);

    static Problem classify(const UpdaterError& error);
    static NoUpdateReason noUpdateReasonOf(const nlohmann::json& value);

    bool operator==(const ApplicationUpdateState&) const = default;
};

std::string_view rawValue(ApplicationUpdateState::Stage stage);
std::string_view rawValue(ApplicationUpdateState::Problem problem);
std::string_view rawValue(ApplicationUpdateState::NoUpdateReason reason);
std::optional<ApplicationUpdateState::Stage> updateStageFromRawValue(std::string_view text);
std::optional<ApplicationUpdateState::Problem> updateProblemFromRawValue(std::string_view text);
std::optional<ApplicationUpdateState::NoUpdateReason> noUpdateReasonFromRawValue(std::string_view text);

}  // namespace murmo
