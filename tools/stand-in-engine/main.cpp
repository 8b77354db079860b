// murmo-stand-in-engine: a local stand-in for the engine program. It serves
// the engine's loopback API so tests, benchmarks and local runs have a real
// peer; it recognises no speech.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "StandInEngine.h"
#include "StandInScenario.h"
#include "runtime/Environment.h"

namespace {

using namespace murmo;
using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kUsage =
    "Usage: murmo-stand-in-engine [--scenario FILE] serve --host 127.0.0.1 --port PORT\n"
    "       murmo-stand-in-engine --help\n"
    "\n"
    "A local stand-in for the engine program: it serves the engine's HTTP API and its\n"
    "event WebSocket (/ws/events) on the loopback interface for tests, benchmarks and\n"
    "local runs. It recognises no speech and produces no real transcripts: every\n"
    "endpoint gives a well-formed default reply, and the end of a native audio stream\n"
    "is acknowledged.\n"
    "\n"
    "Every request must carry the header \"X-Murmo-Desktop-Token\" with the value of the\n"
    "environment variable MURMO_DESKTOP_TOKEN; other requests are refused with 401.\n"
    "\n"
    "--scenario FILE   test behaviour (late readiness, exits, ignored SIGTERM, child\n"
    "                  processes, output lines); MURMO_STAND_IN_SCENARIO names the file\n"
    "                  when the option is not given.\n";

constexpr int kUsageError = 2;
constexpr auto kPollSlice = std::chrono::milliseconds(10);
// Nobody reads the program's records back, and it may run for hours with
// audio streaming in: keep only a few, for a debugger.
constexpr std::size_t kProgramRecordCapacity = 32;
constexpr std::string_view kTokenVariable = "MURMO_DESKTOP_TOKEN";

struct CommandLine {
    std::optional<std::string> scenarioPath;
    std::string host;
    std::uint16_t port = 0;
};

int usageError(std::string_view message) {
    std::fprintf(stderr, "murmo-stand-in-engine: %.*s\n\n%.*s", static_cast<int>(message.size()), message.data(),
                 static_cast<int>(kUsage.size()), kUsage.data());
    return kUsageError;
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Options for the stand-in itself come before "serve"; after it, exactly the
// serve arguments the application passes to a real engine.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string_view>& args, std::string& problem) {
    CommandLine line;
    std::size_t i = 1;
    for (; i < args.size() && args[i] != "serve"; ++i) {
        if (args[i] == "--scenario" && i + 1 < args.size()) {
            line.scenarioPath = std::string(args[++i]);
        } else {
            problem = "unknown option " + std::string(args[i]);
            return std::nullopt;
        }
    }
    if (i == args.size()) {
        problem = "missing command \"serve\"";
        return std::nullopt;
    }
    bool havePort = false;
    for (++i; i < args.size(); ++i) {
        if (args[i] == "--host" && i + 1 < args.size()) {
            line.host = std::string(args[++i]);
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            auto port = parsePort(args[++i]);
            if (!port) {
                problem = "invalid port";
                return std::nullopt;
            }
            line.port = *port;
            havePort = true;
        } else {
            problem = "unknown serve argument " + std::string(args[i]);
            return std::nullopt;
        }
    }
    if (line.host.empty() || !havePort) {
        problem = "serve needs --host and --port";
        return std::nullopt;
    }
    return line;
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        auto written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Only the owner may read it: the record tells the engine's environment.
bool writePrivateFile(const std::filesystem::path& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // A file left by an earlier run may be wider.
    bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text);
    written = ::close(fd) == 0 && written;
    return written;
}

void writeOutput(const StandInScenario::Output& output) {
    for (const auto& line : output.stdoutLines) (void)writeAll(STDOUT_FILENO, line + "\n");
    for (const auto& line : output.stderrLines) (void)writeAll(STDERR_FILENO, line + "\n");
    (void)writeAll(STDOUT_FILENO, output.stdoutTail);
    (void)writeAll(STDERR_FILENO, output.stderrTail);
}

// Forked before any thread exists. The child only sleeps, keeping the pipes
// it inherited open, and ends by itself after `lifetime`.
pid_t startChild(bool ownGroup, Duration lifetime) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (ownGroup) ::setpgid(0, 0);
    auto remaining = lifetime;
    while (remaining > Duration::zero()) {
        auto step = std::min<Duration>(remaining, std::chrono::milliseconds(100));
        struct timespec pause {
            0, static_cast<long>(step.count())
        };
        ::nanosleep(&pause, nullptr);
        remaining -= step;
    }
    ::_exit(0);
}

bool writeRecord(const std::filesystem::path& path, const std::vector<std::string_view>& args,
                 std::optional<pid_t> groupChild, std::optional<pid_t> escapedChild) {
    nlohmann::json record;
    record["argv"] = nlohmann::json::array();
    for (auto arg : args) record["argv"].push_back(std::string(arg));
    std::error_code error;
    record["cwd"] = std::filesystem::current_path(error).string();
    // The desktop token stays out: it is a credential, and a stand-in that
    // answers health requests has shown it got the token.
    record["environment"] = nlohmann::json::object();
    for (const auto& [name, value] : currentEnvironment()) {
        if (name != kTokenVariable) record["environment"][name] = value;
    }
    record["pid"] = ::getpid();
    record["process_group"] = ::getpgid(0);
    record["group_child_pid"] = groupChild ? nlohmann::json(*groupChild) : nlohmann::json();
    record["escaped_child_pid"] = escapedChild ? nlohmann::json(*escapedChild) : nlohmann::json();
    // Written whole under another name first, so a reader never sees half.
    auto temporary = path;
    temporary += ".tmp";
    if (!writePrivateFile(temporary, record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))) {
        return false;
    }
    std::filesystem::rename(temporary, path, error);
    return !error;
}

int serve(const std::vector<std::string_view>& args, const CommandLine& line, const StandInScenario& scenario) {
    const auto environment = currentEnvironment();
    auto token = lookup(environment, kTokenVariable).value_or("");
    if (token.empty()) {
        std::fputs("murmo-stand-in-engine: MURMO_DESKTOP_TOKEN is not set\n", stderr);
        return kUsageError;
    }

    if (scenario.ignoreSigterm) ::signal(SIGTERM, SIG_IGN);
    std::optional<pid_t> groupChild;
    std::optional<pid_t> escapedChild;
    if (scenario.groupChild) groupChild = startChild(false, scenario.childLifetime);
    if (scenario.escapedChild) escapedChild = startChild(true, scenario.childLifetime);
    if (scenario.recordPath && !writeRecord(*scenario.recordPath, args, groupChild, escapedChild)) {
        std::fputs("murmo-stand-in-engine: cannot write the record file\n", stderr);
        return kUsageError;
    }

    // The signals we stop on are taken synchronously below; blocking them
    // before the I/O thread starts keeps them away from that thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    if (!scenario.ignoreSigterm) sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto started = SteadyClock::now();
    std::atomic<std::int64_t> firstReadyAt{-1};
    StandInEngine engine(StandInEngineOptions{line.host, line.port, token, kProgramRecordCapacity});
    engine.setReady(scenario.readyAfter <= Duration::zero());
    engine.onFirstReadyReply([&] { firstReadyAt = (SteadyClock::now() - started).count(); });
    if (scenario.health) engine.setReply("GET", std::string(StandInEngine::kHealthPath), *scenario.health);
    if (auto status = engine.start(); !status) {
        std::fprintf(stderr, "murmo-stand-in-engine: %s\n", status.error().message.c_str());
        return 1;
    }
    if (scenario.output.when == StandInScenario::OutputTime::start) writeOutput(scenario.output);

    for (;;) {
        const auto elapsed = SteadyClock::now() - started;
        if (!engine.isReady() && elapsed >= scenario.readyAfter) engine.setReady(true);
        if (scenario.exit) {
            std::optional<SteadyClock::duration> base = SteadyClock::duration::zero();
            if (scenario.exit->afterReady) {
                auto at = firstReadyAt.load();
                base = at < 0 ? std::nullopt : std::optional(SteadyClock::duration(at));
            }
            if (base && elapsed >= *base + scenario.exit->after) {
                if (scenario.output.when == StandInScenario::OutputTime::exit) writeOutput(scenario.output);
                engine.stop();
                return scenario.exit->code;
            }
        }
        struct timespec slice {
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(kPollSlice).count()
        };
        if (::sigtimedwait(&stopSignals, nullptr, &slice) > 0) {
            engine.stop();
            return 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv, argv + argc);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
        if (args[i] == "serve") break;
    }
    std::string problem;
    auto line = parseCommandLine(args, problem);
    if (!line) return usageError(problem);

    auto scenarioPath = line->scenarioPath;
    if (!scenarioPath) scenarioPath = lookup(currentEnvironment(), StandInScenario::kScenarioVariable);
    StandInScenario scenario;
    if (scenarioPath && !scenarioPath->empty()) {
        auto loaded = StandInScenario::load(*scenarioPath);
        if (!loaded) return usageError("scenario: " + loaded.error().message);
        scenario = std::move(*loaded);
    }
    return serve(args, *line, scenario);
}
