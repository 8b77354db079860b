// CPU time per second of microphone capture on the PulseAudio engine, with
// voice processing off and on, beside `parec` recording the same microphone
// in the same run; prints how the engine's cost compares with parec's. The
// echo canceller runs inside the sound server, so the server's CPU time per
// second is reported too (it includes what parec costs the server).
//
// Runs only in the tests' desktop session, never on the user's own sound
// server (voice processing loads modules there):
//   tests/support/desktop-session.sh build/dev/bench/bench_PulseAudioCaptureBench
// Each iteration is one second of capture; the time reported is CPU time.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/PulseAudioEngine.h"
#include "support/RatioReporter.h"

extern char** environ;

namespace {

using namespace murmo;
using namespace std::chrono_literals;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// utime + stime of another process, in seconds; absent once it is gone.
std::optional<double> otherProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    std::vector<std::string> values;
    while (fields >> field) values.push_back(field);
    if (values.size() < 13) return std::nullopt;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(values[11]) + std::stod(values[12])) / ticks;
}

// parec recording the microphone to /dev/null while it lives.
class Parec {
public:
    Parec() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> arguments{"parec", "-d", "microphone", "--format=float32le", "--rate=48000",
                                           "--channels=1", "--latency-msec=40"};
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "parec", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Parec() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

std::optional<pid_t> soundServerPid() {
    const char* pid = std::getenv("MURMO_TEST_PULSE_PID");
    if (!pid || !*pid) return std::nullopt;
    return static_cast<pid_t>(std::atol(pid));
}

void captureCpu(benchmark::State& state, bool voiceProcessing) {
    if (!std::getenv("PULSE_SERVER") || !soundServerPid()) {
        state.SkipWithError("run inside tests/support/desktop-session.sh (its private sound server)");
        return;
    }
    auto context = PulseAudioContext::connect("murmo-bench", 5s);
    if (!context) {
        state.SkipWithError(context.error().message.c_str());
        return;
    }
    auto target = std::make_shared<PulseAudioPlaybackTarget>();
    PulseAudioEngine engine(*context, target, {});
    if (auto enabled = engine.setVoiceProcessingEnabled(voiceProcessing); !enabled) {
        state.SkipWithError(enabled.error().message.c_str());
        return;
    }
    const auto format = engine.inputFormat();
    std::atomic<std::uint64_t> frames{0};
    std::vector<float> copy;
    // As the capture does: copy the buffer out.
    engine.installTap(static_cast<std::uint32_t>(format.sampleRate * 0.04), format, [&](const AudioPCMBuffer& buffer) {
        copy.assign(buffer.floatChannelData[0], buffer.floatChannelData[0] + buffer.frameLength);
        frames += buffer.frameLength;
    });
    Parec parec;
    if (auto started = engine.start(); !started || parec.pid() <= 0) {
        state.SkipWithError("capture or parec did not start");
        return;
    }
    // A null sink's first audio can take 2 s; measure only once it flows.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (frames.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(500ms);
    double parecCpu = 0;
    double serverCpu = 0;
    frames = 0;
    for (auto _ : state) {
        const double ownBefore = processCpuSeconds();
        const auto parecBefore = otherProcessCpuSeconds(parec.pid());
        const auto serverBefore = otherProcessCpuSeconds(*soundServerPid());
        std::this_thread::sleep_for(1s);
        const auto parecAfter = otherProcessCpuSeconds(parec.pid());
        const auto serverAfter = otherProcessCpuSeconds(*soundServerPid());
        state.SetIterationTime(processCpuSeconds() - ownBefore);
        if (parecBefore && parecAfter) parecCpu += *parecAfter - *parecBefore;
        if (serverBefore && serverAfter) serverCpu += *serverAfter - *serverBefore;
    }
    engine.stop();
    engine.removeTap();
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["parec_cpu_ms_per_s"] = parecCpu * 1000 / iterations;
    state.counters["server_cpu_ms_per_s"] = serverCpu * 1000 / iterations;
    state.counters["frames_per_s"] = static_cast<double>(frames.load()) / iterations;
}

void BM_CaptureCpuRaw(benchmark::State& state) { captureCpu(state, false); }
BENCHMARK(BM_CaptureCpuRaw)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_CaptureCpuVoiceProcessed(benchmark::State& state) { captureCpu(state, true); }
BENCHMARK(BM_CaptureCpuVoiceProcessed)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Parec's CPU per second, as the baseline of the ratio (read from the raw run's counter).
std::map<std::string, double> parecMsPerSecond;

class CounterKeeper : public murmo::bench::RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        RatioReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const auto found = run.counters.find("parec_cpu_ms_per_s");
            if (found != run.counters.end()) parecMsPerSecond[run.run_name.function_name] = found->second;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CounterKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* name : {"BM_CaptureCpuRaw", "BM_CaptureCpuVoiceProcessed"}) {
        const auto own = reporter.time(name);
        const auto parec = parecMsPerSecond.find(name);
        if (!own || parec == parecMsPerSecond.end() || parec->second <= 0) continue;
        std::printf("%s: engine %.2f ms CPU per second of capture, parec %.2f ms: %.2fx parec\n", name, *own,
                    parec->second, *own / parec->second);
    }
    benchmark::Shutdown();
    return 0;
}
