#include "services/ApplicationUpdateState.h"

#include <array>
#include <cmath>
#include <limits>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

using State = ApplicationUpdateState;
using Stage = State::Stage;
using Problem = State::Problem;
using Reason = State::NoUpdateReason;

constexpr std::array kStageNames{"idle",  "checking",   "available",   "downloading", "preparing", "downloaded",
                                 "ready", "installing", "relaunching", "cancelled",   "failed",    "no_update"};
constexpr std::array kProblemNames{"network",      "configuration", "download",        "verification",
                                   "installation", "unknown",       "move_application"};
constexpr std::array kReasonNames{"latest",         "newer",          "unknown",
                                  "system_too_old", "system_too_new", "unsupported_hardware"};

template <class Enum, std::size_t Count>
std::optional<Enum> fromName(const std::array<const char*, Count>& names, std::string_view text) {
    for (std::size_t i = 0; i < Count; ++i) {
        if (text == names[i]) return static_cast<Enum>(i);
    }
    return std::nullopt;
}

bool isOneOf(Stage stage, std::initializer_list<Stage> stages) {
    for (auto candidate : stages) {
        if (stage == candidate) return true;
    }
    return false;
}

bool isDisplaySymbol(char32_t c) {
    return c == U'.' || c == U'-' || c == U'_' || c == U'+' || c == U' ' || c == U'(' || c == U')';
}

// The framework's codes.
constexpr long kNoUpdateFound = 1001;
constexpr long kInstallationCanceled = 4007;
constexpr long kInstallationWriteNoPermission = 4008;
constexpr long kURLCancelled = -999;

}  // namespace

std::string_view rawValue(Stage stage) { return kStageNames[static_cast<std::size_t>(stage)]; }
std::string_view rawValue(Problem problem) { return kProblemNames[static_cast<std::size_t>(problem)]; }
std::string_view rawValue(Reason reason) { return kReasonNames[static_cast<std::size_t>(reason)]; }
std::optional<Stage> updateStageFromRawValue(std::string_view text) { return fromName<Stage>(kStageNames, text); }
std::optional<Problem> updateProblemFromRawValue(std::string_view text) {
    return fromName<Problem>(kProblemNames, text);
}
std::optional<Reason> noUpdateReasonFromRawValue(std::string_view text) { return fromName<Reason>(kReasonNames, text); }

std::string State::newEventID(IdGenerator& ids) {
    std::string id;
    for (const char c : ids.uuid()) {
        if (c != '-') id += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    }
    return id;
}

State State::initial(IdGenerator& ids) {
    State state;
    state.eventID = newEventID(ids);
    return state;
}

std::optional<std::string> State::displayVersion(std::string_view candidate) {
    if (candidate.empty() || candidate.size() > 64) return std::nullopt;
    const auto scalars = unicode::codePoints(candidate);
    if (!scalars) return std::nullopt;
    for (const char32_t c : *scalars) {
        if (!unicode::isLetter(c) && !unicode::isMark(c) && !unicode::isDecimalDigit(c) && !isDisplaySymbol(c)) {
            return std::nullopt;
        }
    }
    return std::string(candidate);
}

void State::transition(Stage target, const std::optional<AppcastItem>& item, IdGenerator& ids) {
    const bool startsCycle =
        target == Stage::checking ||
        (target == Stage::available && isOneOf(stage, {Stage::idle, Stage::cancelled, Stage::failed, Stage::noUpdate}));
    if (startsCycle) eventID = newEventID(ids);
    if (item) {
        version = item->displayVersionString ? displayVersion(*item->displayVersionString) : std::nullopt;
        build = item->versionString ? displayVersion(*item->versionString) : std::nullopt;
    }
    if (isOneOf(target, {Stage::idle, Stage::checking, Stage::noUpdate, Stage::cancelled})) {
        version.reset();
        build.reset();
    }
    if (target == Stage::downloading || target != stage) {
        receivedBytes = 0;
        expectedBytes.reset();
    }
    stage = target;
    problem.reset();
    noUpdateReason.reset();
    installOnQuit = false;
}

void State::finish(const std::optional<UpdaterError>& error, IdGenerator& ids) {
    if (error) return fail(*error, ids);
    if (isOneOf(stage, {Stage::checking, Stage::downloading, Stage::preparing})) {
        transition(Stage::idle, std::nullopt, ids);
    }
}

void State::fail(const UpdaterError& error, IdGenerator& ids) {
    if (error.domain == kUpdaterErrorDomain && error.code == kNoUpdateFound) {
        transition(Stage::noUpdate, std::nullopt, ids);
        noUpdateReason = noUpdateReasonOf(error.noUpdateFoundReason);
    } else if (error.domain == kUpdaterErrorDomain && error.code == kInstallationCanceled) {
        transition(Stage::cancelled, std::nullopt, ids);
    } else if (error.domain == kUpdaterErrorDomain && error.code == kInstallationWriteNoPermission) {
        transition(Stage::downloaded, std::nullopt, ids);
    } else if (error.domain == kURLErrorDomain && error.code == kURLCancelled) {
        transition(Stage::cancelled, std::nullopt, ids);
    } else {
        transition(Stage::failed, std::nullopt, ids);
        problem = classify(error);
    }
}

State::NoUpdateReason State::noUpdateReasonOf(const nlohmann::json& value) {
    // A number's integer value (a fraction truncated, as the framework reads
    // it), range-checked before any conversion; a bool is no number.
    std::optional<std::int64_t> number;
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() <= 5) number = static_cast<std::int64_t>(value.get<std::uint64_t>());
    } else if (value.is_number_integer()) {
        number = value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double real = value.get<double>();
        if (std::isfinite(real) && std::fabs(real) < 1e18) number = static_cast<std::int64_t>(real);
    }
    switch (number.value_or(0)) {
        case 1: return Reason::latest;
        case 2: return Reason::newer;
        case 3: return Reason::systemTooOld;
        case 4: return Reason::systemTooNew;
        case 5: return Reason::unsupportedHardware;
        default: return Reason::unknown;
    }
}

State::Problem State::classify(const UpdaterError& error) {
    if (error.domain == kURLErrorDomain) return Problem::network;
    if (error.domain != kUpdaterErrorDomain) return Problem::unknown;
    const long code = error.code;
    if (code >= 1 && code <= 7) return Problem::configuration;
    if (code == 1002 || code == 2001) return Problem::network;
    if (code == 1003 || code == 1005) return Problem::moveApplication;
    if (code >= 2000 && code <= 2999) return Problem::download;
    if (code >= 3000 && code <= 3999) return Problem::verification;
    if (code >= 4000 && code <= 4999) return Problem::installation;
    return Problem::unknown;
}

void State::expectBytes(std::uint64_t length) {
    if (stage != Stage::downloading) return;
    if (length >= 1 && length <= kMaximumByteCount) {
        expectedBytes = length;
    } else {
        expectedBytes.reset();
    }
}

void State::receiveBytes(std::uint64_t length) {
    if (stage != Stage::downloading) return;
    // Both are at most 2^53 - 1 here, far from overflowing 64 bits, but the
    // check stays for lengths near the top of the range.
    if (length > std::numeric_limits<std::uint64_t>::max() - receivedBytes ||
        receivedBytes + length > kMaximumByteCount) {
        expectedBytes.reset();
        receivedBytes = kMaximumByteCount;
        return;
    }
    receivedBytes += length;
}

json::Json State::payload() const {
    const auto orNull = [](const auto& value) { return value ? json::Json(*value) : json::Json(); };
    json::Json progress;
    if (stage == Stage::downloading && expectedBytes && *expectedBytes >= receivedBytes) {
        progress = static_cast<double>(receivedBytes) / static_cast<double>(*expectedBytes);
    }
    return json::Json{
        {"contract_version", 1},
        {"stage", rawValue(stage)},
        {"target_version", orNull(version)},
        {"target_build", orNull(build)},
        {"problem", problem ? json::Json(rawValue(*problem)) : json::Json()},
        {"no_update_reason", noUpdateReason ? json::Json(rawValue(*noUpdateReason)) : json::Json()},
        {"install_on_quit", installOnQuit},
        {"download_progress", progress},
    };
}

json::Json State::cardPayload(bool available) const {
    return json::Json{{"contract_version", 1},
                      {"availability", available ? "available" : "unavailable"},
                      {"event_id", eventID},
                      {"lifecycle", payload()}};
}

}  // namespace murmo
