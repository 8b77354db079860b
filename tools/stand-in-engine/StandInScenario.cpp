#include "StandInScenario.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "runtime/JsonRead.h"

namespace murmo {

namespace {

using json::Json;

constexpr std::string_view kErrorDomain = "MurmoStandInScenario";

Error scenarioError(std::string message) { return Error(std::string(kErrorDomain), 1, std::move(message)); }

Status readMilliseconds(const Json& object, std::string_view key, Duration& into) {
    constexpr auto kLongest = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::hours(24));
    auto value = json::optionalIntegerInRange(object, key, 0, kLongest.count());
    if (!value) return fail(value.error());
    if (*value) into = std::chrono::milliseconds(**value);
    return {};
}

Status readBool(const Json& object, std::string_view key, bool& into) {
    auto value = json::optionalBool(object, key);
    if (!value) return fail(value.error());
    if (*value) into = **value;
    return {};
}

Status readString(const Json& object, std::string_view key, std::string& into) {
    auto value = json::optionalString(object, key);
    if (!value) return fail(value.error());
    if (*value) into = std::move(**value);
    return {};
}

Status readLines(const Json& object, std::string_view key, std::vector<std::string>& into) {
    auto value = json::optionalArray(object, key);
    if (!value) return fail(value.error());
    if (!*value) return {};
    for (const auto& element : **value) {
        if (!element.is_string()) return fail(scenarioError("\"" + std::string(key) + "\" must hold strings"));
        into.push_back(element.get<std::string>());
    }
    return {};
}

Status readHealth(const Json& root, StandInScenario& scenario) {
    auto health = json::optionalObject(root, "health");
    if (!health) return fail(health.error());
    if (!*health) return {};
    StandInReply reply;
    auto status = json::optionalIntegerInRange(**health, "status", 100, 599);
    if (!status) return fail(status.error());
    if (*status) reply.status = static_cast<unsigned>(**status);
    if (auto body = readString(**health, "body", reply.body); !body) return body;
    scenario.health = std::move(reply);
    return {};
}

Status readExit(const Json& root, StandInScenario& scenario) {
    auto exit = json::optionalObject(root, "exit");
    if (!exit) return fail(exit.error());
    if (!*exit) return {};
    StandInScenario::Exit result;
    auto code = json::optionalIntegerInRange(**exit, "code", 0, 255);
    if (!code) return fail(code.error());
    if (*code) result.code = static_cast<int>(**code);
    if (auto after = readMilliseconds(**exit, "after_ms", result.after); !after) return after;
    if (auto afterReady = readBool(**exit, "after_ready", result.afterReady); !afterReady) return afterReady;
    scenario.exit = result;
    return {};
}

Status readOutput(const Json& root, StandInScenario& scenario) {
    auto output = json::optionalObject(root, "output");
    if (!output) return fail(output.error());
    if (!*output) return {};
    auto& into = scenario.output;
    std::string when = "start";
    if (auto read = readString(**output, "when", when); !read) return read;
    if (when == "exit") {
        into.when = StandInScenario::OutputTime::exit;
    } else if (when != "start") {
        return fail(scenarioError("\"when\" must be \"start\" or \"exit\""));
    }
    for (auto status :
         {readLines(**output, "stdout", into.stdoutLines), readLines(**output, "stderr", into.stderrLines),
          readString(**output, "stdout_tail", into.stdoutTail), readString(**output, "stderr_tail", into.stderrTail)}) {
        if (!status) return status;
    }
    return {};
}

}  // namespace

Result<StandInScenario> StandInScenario::parse(std::string_view text) {
    auto root = json::parseObject(text);
    if (!root) return fail(root.error());
    StandInScenario scenario;
    std::string recordPath;
    for (auto status :
         {readString(*root, "record_path", recordPath), readMilliseconds(*root, "ready_after_ms", scenario.readyAfter),
          readBool(*root, "ignore_sigterm", scenario.ignoreSigterm),
          readBool(*root, "group_child", scenario.groupChild), readBool(*root, "escaped_child", scenario.escapedChild),
          readMilliseconds(*root, "child_lifetime_ms", scenario.childLifetime), readHealth(*root, scenario),
          readExit(*root, scenario), readOutput(*root, scenario)}) {
        if (!status) return fail(status.error());
    }
    if (!recordPath.empty()) scenario.recordPath = recordPath;
    return scenario;
}

Result<StandInScenario> StandInScenario::load(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail(scenarioError("cannot read the scenario file " + path.string()));
    std::ostringstream text;
    text << file.rdbuf();
    return parse(text.str());
}

}  // namespace murmo
