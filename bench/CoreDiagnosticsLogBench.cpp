// Cost of filing the engine's output through the privacy filter, against
// three baselines on the same bytes: copying them to a file unfiltered,
// splitting them into lines and writing each line, and splitting them into
// lines and parsing each as JSON (the least any filter that reads the lines
// must do). Prints the filter's time against each.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
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
                text += fmt::format(R"(INFO:     127.0.0.1:{} - "POST /api/v1/dictations HTTP/1.1" 200 OK)",
                                    40000 + i % 20000);
                break;
            case 2:
                text += fmt::format(
                    R"({{"event":"llm.request","operation_id":"{}","provider":"on-device","prompt_tokens":{},)"
                    R"("completion_tokens":{},"total_tokens":{},"latency_ms":{},"finish_reason":"stop",)"
                    R"("detail":{{"prompt":"Rewrite the following text","options":{{"temperature":0.2}}}}}})",
                    operation, 200 + i % 50, 40 + i % 30, 240 + i % 80, 300 + i % 900);
                break;
            case 3: text += "WARNING: audio chunk arrived late; buffering 40 ms before resuming the stream"; break;
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

// Calls `fileLine` with each line of the output, read in pipe-sized chunks
// as the log gets them, and `endChunk` after each chunk.
template <class FileLine, class EndChunk>
void forEachLine(const std::string& text, FileLine fileLine, EndChunk endChunk) {
    std::string pending;
    for (std::size_t offset = 0; offset < text.size(); offset += kPipeReadBytes) {
        pending.append(std::string_view(text).substr(offset, kPipeReadBytes));
        std::size_t start = 0;
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
            fileLine(std::string_view(pending).substr(start, end - start));
            start = end + 1;
        }
        pending.erase(0, start);
        endChunk();
    }
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

void BM_SplitAndWrite(benchmark::State& state) {
    const auto& text = output();
    const auto path = scratchDirectory() / "split-write.log";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        // Lines gathered and written once per chunk, as the log writes its
        // records.
        std::string lines;
        forEachLine(
            text,
            [&](std::string_view line) {
                lines += line;
                lines += '\n';
            },
            [&] {
                if (::write(fd, lines.data(), lines.size()) < 0) state.SkipWithError("write failed");
                lines.clear();
            });
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SplitAndWrite)->Unit(benchmark::kMillisecond);

void BM_SplitAndParse(benchmark::State& state) {
    const auto& text = output();
    for (auto _ : state) {
        forEachLine(
            text,
            [](std::string_view line) {
                auto parsed = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
                benchmark::DoNotOptimize(parsed);
            },
            [] {});
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SplitAndParse)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        std::printf("on %zu bytes of engine output:\n", output().size());
        for (const char* baseline : {"BM_PlainCopy", "BM_SplitAndWrite", "BM_SplitAndParse"}) {
            if (auto ratio = reporter.ratio("BM_PrivacyLogFilter", baseline)) {
                std::printf("  filtered / %s time: %.1fx\n", baseline + 3, *ratio);
            }
        }
        std::error_code ignored;
        fs::remove_all(scratchDirectory(), ignored);
    });
}
