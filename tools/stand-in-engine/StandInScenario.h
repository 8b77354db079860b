#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StandInEngine.h"
#include "runtime/Clock.h"
#include "runtime/Error.h"

namespace murmo {

// How the murmo-stand-in-engine program misbehaves for the supervisor's
// tests. Read from a JSON file named by "--scenario" before "serve", or by
// the variable "MURMO_STAND_IN_SCENARIO" (the supervisor launches the program
// with a fixed command line, so tests reach it through the environment).
//
// {
//   "record_path": "/tmp/run/record.json",   argv, cwd, environment, pid, group
//   "ready_after_ms": 300,                   health says not ready until then
//   "health": {"status": 200, "body": "{}"}, replaces the health reply
//   "exit": {"code": 3, "after_ms": 100, "after_ready": true},
//   "ignore_sigterm": true,
//   "group_child": true,                     a child in the engine's group
//   "escaped_child": true,                   a child in a group of its own
//   "child_lifetime_ms": 30000,              children end by themselves then
//   "output": {"when": "start" | "exit", "stdout": ["line"], "stderr": [],
//              "stdout_tail": "last line without newline", "stderr_tail": ""}
// }
struct StandInScenario {
    struct Exit {
        int code = 0;
        Duration after{};
        // Counts from the first ready health reply instead of from start.
        bool afterReady = false;
    };

    enum class OutputTime { start, exit };

    struct Output {
        OutputTime when = OutputTime::start;
        std::vector<std::string> stdoutLines;
        std::vector<std::string> stderrLines;
        std::string stdoutTail;
        std::string stderrTail;
    };

    static constexpr std::string_view kScenarioVariable = "MURMO_STAND_IN_SCENARIO";

    std::optional<std::filesystem::path> recordPath;
    Duration readyAfter{};
    std::optional<StandInReply> health;
    std::optional<Exit> exit;
    bool ignoreSigterm = false;
    bool groupChild = false;
    bool escapedChild = false;
    Duration childLifetime = std::chrono::seconds(30);
    Output output;

    static Result<StandInScenario> parse(std::string_view text);
    static Result<StandInScenario> load(const std::filesystem::path& path);
};

}  // namespace murmo
