#include "engine/CoreProcessPrivacyLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

using Stream = CoreProcessLogStream;

// Both pipes are read on their own threads; every line must come out as one
// whole record of its own stream, whatever the chunking, and rotation must
// keep up under contention.
TEST(CoreProcessPrivacyLogThreadTest, ConcurrentStreamsNeverTearOrMixLines) {
    testing::TemporaryDirectory tree;
    CoreProcessPrivacyLogOptions options;
    options.maximumBytes = 256 * 1024;
    options.backups = 3;
    auto created = CoreProcessPrivacyLog::create(tree.path() / "Logs", options);
    ASSERT_TRUE(created);
    auto log = *created;

    constexpr int kLines = 3000;
    auto feed = [&log](Stream stream, std::size_t lineLength, std::size_t chunkSize) {
        std::string text;
        for (int i = 0; i < kLines; ++i) text += std::string(lineLength, 'x') + "\n";
        for (std::size_t offset = 0; offset < text.size(); offset += chunkSize) {
            log->consume(std::string_view(text).substr(offset, chunkSize), stream);
        }
    };
    std::thread out(feed, Stream::stdoutStream, 7, 13);
    std::thread err(feed, Stream::stderrStream, 11, 5);
    out.join();
    err.join();
    log->finish();

    std::map<std::string, int> perStream;
    for (const auto* name : {"core-diagnostics.jsonl", "core-diagnostics.jsonl.1", "core-diagnostics.jsonl.2",
                             "core-diagnostics.jsonl.3"}) {
        std::ifstream file(tree.path() / "Logs" / name);
        for (std::string line; std::getline(file, line);) {
            const auto record = nlohmann::json::parse(line);
            const auto stream = record.at("stream").get<std::string>();
            EXPECT_EQ(record.at("byte_count"), stream == "stdout" ? 7 : 11) << line;
            ++perStream[stream];
        }
    }
    // About 640 KB of records: several rotations, all within the kept files.
    EXPECT_TRUE(std::filesystem::exists(tree.path() / "Logs" / "core-diagnostics.jsonl.2"));
    EXPECT_EQ(perStream["stdout"], kLines);
    EXPECT_EQ(perStream["stderr"], kLines);
}

}  // namespace
}  // namespace murmo
