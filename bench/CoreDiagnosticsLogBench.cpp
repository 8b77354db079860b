// Cost of filing the engine's output through the privacy filter, against
// copying the same bytes to a file unfiltered. Prints filtered/plain time.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/CoreProcessPrivacyLog.h"
#include "support/RatioReporter.h"

namespace {

namespace fs = std::filesystem;
using murmo::CoreProcessLogStream;
using murmo::CoreProcessPrivacyLog;

constexpr std::size_t kOutputBytes = 4 * 1024 * 1024;
constexpr std::size_t kPipeReadBytes = 64 * 1024;

// What the engine writes in metadata mode: mostly JSON diagnostics with
// free-text fields the filter must drop, some nested detail, and the odd
// plain line (server access lines, warnings, a traceback).
std::string engineOutput() {
    const std::vector<std::string> stages{"capture", "transcribe", "cleanup", "deliver"};
    std::string text;
    for (unsigned i = 0; text.size() < kOutputBytes; ++i) {
        const auto operation = fmt::format("6f1c2a4e-3b5d-4c7e-9a8b-{:012x}", i / 8);
        switch (i % 10) {
            case 0:
                text += fmt::format(
                    R"({{"timestamp":"2026-05-01T09:30:{:02}Z","level":"info","event":"dictation.final","operation_id":"{}",)"
                    R"("text":"please send the quarterly numbers to the team before friday","word_count":{},"duration_ms":{}.5,)"
                    R"("model":"local-small.v3","provider":"local","success":true}})",
                    i % 60, operation, 9 + i % 7, 120 + i % 300);
                break;
            case 1:
                text += fmt::format(R"(INFO:     127.0.0.1:{} - "POST /api/v1/dictations HTTP/1.1" 200 OK)", 40000 + i % 20000);
                break;
            case 2:
                text += fmt::format(
                    R"({{"event":"llm.request","operation_id":"{}","provider":"on-device","prompt_tokens":{},)"
                    R"("completion_tokens":{},"total_tokens":{},"latency_ms":{},"finish_reason":"stop",)"
                    R"("detail":{{"prompt":"Rewrite the following text","options":{{"temperature":0.2}}}}}})",
                    operation, 200 + i % 50, 40 + i % 30, 240 + i % 80, 300 + i % 900);
                break;
            case 3:
                text += "WARNING: audio chunk arrived late; buffering 40 ms before resuming the stream";
                break;
            case 4:
                text += fmt::format(
                    R"({{"type":"settings.poll","status":"ok","status_code":200,"route":"api/settings","retry":0,)"
                    R"("configured":1,"input_language":"en-US","reason_code":"user said \"hi there\""}})");
                break;
            default:
                text += fmt::format(
                    R"({{"event":"dictation.stage","stage":"{}","operation_id":"{}","audio_duration_ms":{},)"
                    R"("byte_count":{},"confidence":0.{},"validated":true,"shortcut_purpose":"dictation"}})",
                    stages[i % stages.size()], operation, 1000 + i % 5000, 64000 + i % 1000, 80 + i % 19);
                break;
        }
        text += '\n';
    }
    return text;
}

const std::string& output() {
    static const std::string text = engineOutput();
    return text;
}

fs::path scratchDirectory() {
    static const fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "murmo-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return path;
}

void BM_PrivacyLogFilter(benchmark::State& state) {
    const auto& text = output();
    auto created = CoreProcessPrivacyLog::create(scratchDirectory() / "Logs");
    if (!created) {
        state.SkipWithError(created.error().message.c_str());
        return;
    }
    auto log = *created;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < text.size(); offset += kPipeReadBytes) {
            log->consume(std::string_view(text).substr(offset, kPipeReadBytes), CoreProcessLogStream::stdoutStream);
        }
    }
    log->finish();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PrivacyLogFilter)->Unit(benchmark::kMillisecond);

void BM_PlainCopy(benchmark::State& state) {
    const auto& text = output();
    const auto path = scratchDirectory() / "plain-copy.log";
    for (auto _ : state) {
        // Truncated each round so the file stays as large as one filtered run's.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (std::size_t offset = 0; offset < text.size(); offset += kPipeReadBytes) {
            const auto length = std::min(kPipeReadBytes, text.size() - offset);
            if (::write(fd, text.data() + offset, length) < 0) state.SkipWithError("write failed");
        }
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_PrivacyLogFilter", "BM_PlainCopy")) {
            std::printf("filtered / plain copy time: %.1fx on %zu bytes of engine output\n", *ratio, output().size());
        }
        std::error_code ignored;
        fs::remove_all(scratchDirectory(), ignored);
    });
}
