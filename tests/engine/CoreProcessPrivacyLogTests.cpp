#include "engine/CoreProcessPrivacyLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::TemporaryDirectory;
using Stream = CoreProcessLogStream;

constexpr std::string_view kTimestamp = "2026-05-01T09:30:00Z";

WallTime fixedTime() {
    using namespace std::chrono;
    return sys_days{year{2026} / 5 / 1} + hours{9} + minutes{30} + milliseconds{750};
}

json record(std::string_view line, Stream stream = Stream::stdoutStream) {
    return json::parse(CoreProcessLogPolicy::sanitizedRecord(line, stream, kTimestamp));
}

json withEnvelope(json kept, std::string_view stream = "stdout") {
    kept["timestamp"] = kTimestamp;
    kept["stream"] = stream;
    return kept;
}

TEST(CoreProcessLogPolicyTest, KeepsRedactsAndDrops) {
    const std::string longest(96, 'a');
    struct Case {
        std::string line;
        json expected;
    };
    const std::vector<Case> cases{
        {R"({"event":"dictation.final","operation_id":"3f2a-9C_1:x","text":"dear diary","transcript":"x"})",
         {{"event", "dictation.final"}, {"operation_id", "3f2a-9C_1:x"}}},
        {R"({"type":"user said hi"})",
         {{"event", "redacted_invalid_identifier"}, {"type", "redacted_invalid_identifier"}}},
        {R"({"event":"e","type":"t"})", {{"event", "e"}, {"type", "t"}}},
        {R"({"status_code":"200"})", {{"event", "core_diagnostic"}}},
        {R"({"success":1,"configured":0,"validated":true,"retryable":2})",
         {{"event", "core_diagnostic"}, {"success", true}, {"configured", false}, {"validated", true}}},
        {R"({"event":"x","duration_ms":12.5,"total_tokens":12345678901234,"retry":true,"latency_ms":"5"})",
         {{"event", "x"}, {"duration_ms", 12.5}, {"total_tokens", 12345678901234}, {"retry", true}}},
        {R"({"event":"","model":")" + longest + R"(","model_id":")" + longest +
             R"(b","route":"a/b",)"
             R"("language":"tr-çe","stage":"a\u0020b"})",
         {{"event", "redacted_invalid_identifier"},
          {"model", longest},
          {"model_id", "redacted_invalid_identifier"},
          {"route", "redacted_invalid_identifier"},
          {"language", "redacted_invalid_identifier"},
          {"stage", "redacted_invalid_identifier"}}},
        {R"({"event":"x","provider":{"name":"secret"},"stage":["a"],"phase":null,"success":"true"})", {{"event", "x"}}},
        {R"({"timestamp":"forged","stream":"stderr","event":"x"})", {{"event", "x"}}},
        {"plain text!", {{"event", "unstructured_core_output"}, {"byte_count", 11}}},
        {"", {{"event", "unstructured_core_output"}, {"byte_count", 0}}},
        {R"(["event","x"])", {{"event", "unstructured_core_output"}, {"byte_count", 13}}},
        {R"({"event":"x")", {{"event", "unstructured_core_output"}, {"byte_count", 12}}},
        {"\xff\xfe abc", {{"event", "unstructured_core_output"}, {"byte_count", 6}}},
    };
    for (const auto& c : cases) EXPECT_EQ(record(c.line), withEnvelope(c.expected)) << c.line;

    EXPECT_EQ(record(R"({"event":"x"})", Stream::stderrStream), withEnvelope({{"event", "x"}}, "stderr"));
}

TEST(CoreProcessLogPolicyTest, RecordsAreCompactWithSortedKeys) {
    EXPECT_EQ(CoreProcessLogPolicy::sanitizedRecord(R"({"type":"t", "success": 1, "event" : "e"})",
                                                    Stream::stdoutStream, kTimestamp),
              R"({"event":"e","stream":"stdout","success":true,"timestamp":"2026-05-01T09:30:00Z","type":"t"})");
    EXPECT_EQ(CoreProcessLogPolicy::timestamp(fixedTime()), kTimestamp);
}

TEST(CoreProcessLogPolicyTest, DeeplyNestedValuesAreNeitherKeptNorBuilt) {
    const std::string deep = R"({"event":"x","detail":)" + std::string(30'000, '[') + std::string(30'000, ']') + "}";
    EXPECT_EQ(record(deep), withEnvelope({{"event", "x"}}));
}

// Engine output is hostile input: nesting of any depth is only counted.
TEST(CoreProcessLogPolicyTest, HostileNestingNeverRecursesOrBuilds) {
    constexpr std::size_t kDepth = 100'000;
    std::string objects;
    for (std::size_t i = 0; i < kDepth; ++i) objects += R"({"a":)";
    objects += "1" + std::string(kDepth, '}');
    const std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
    struct Case {
        std::string line;
        json expected;
    };
    const std::vector<Case> cases{
        {R"({"event":"x","status":)" + arrays + R"(,"success":true})", {{"event", "x"}, {"success", true}}},
        {R"({"type":"t","stage":)" + objects + "}", {{"event", "t"}, {"type", "t"}}},
        // Unclosed, or a nested array at the top: not a JSON object line.
        {R"({"event":"x","detail":)" + std::string(kDepth, '['),
         {{"event", "unstructured_core_output"}, {"byte_count", 22 + kDepth}}},
        {arrays, {{"event", "unstructured_core_output"}, {"byte_count", 2 * kDepth}}},
    };
    for (const auto& c : cases) EXPECT_EQ(record(c.line), withEnvelope(c.expected)) << c.line.substr(0, 40);
}

TEST(CoreProcessLogPolicyTest, AKeyGivenTwiceKeepsItsLastValueOnlyWhenThatHasTheRightKind) {
    struct Case {
        std::string line;
        json expected;
    };
    const std::vector<Case> cases{
        {R"({"event":"a","event":"b"})", {{"event", "b"}}},
        {R"({"event":"a","type":"t","event":["b"]})", {{"event", "t"}, {"type", "t"}}},
        {R"({"event":"a","event":5})", {{"event", "core_diagnostic"}}},
        {R"({"duration_ms":1,"duration_ms":null})", {{"event", "core_diagnostic"}}},
        {R"({"success":true,"success":{"x":1},"retry":-0,"confidence":1e3,"word_count":18446744073709551615})",
         {{"event", "core_diagnostic"}, {"retry", 0}, {"confidence", 1000.0}, {"word_count", 18446744073709551615u}}},
        {R"({"event":"x","latency_ms":1e999})", {{"event", "unstructured_core_output"}, {"byte_count", 32}}},
    };
    for (const auto& c : cases) EXPECT_EQ(record(c.line), withEnvelope(c.expected)) << c.line;
    EXPECT_EQ(CoreProcessLogPolicy::sanitizedRecord(R"({"confidence":1e3,"retry":-0.0,"success":1.0})",
                                                    Stream::stdoutStream, kTimestamp),
              R"({"confidence":1000.0,"event":"core_diagnostic","retry":-0.0,"stream":"stdout","success":true,)"
              R"("timestamp":"2026-05-01T09:30:00Z"})");
}

TEST(CoreProcessLogPolicyTest, ATimestampThatCannotBeEncodedGivesTheEncodingFailedRecord) {
    EXPECT_EQ(CoreProcessLogPolicy::sanitizedRecord("{}", Stream::stdoutStream, "\xff"),
              CoreProcessLogPolicy::encodingFailedRecord);
    EXPECT_EQ(CoreProcessLogPolicy::sanitizedRecord("x", Stream::stdoutStream, "\xff"),
              CoreProcessLogPolicy::encodingFailedRecord);
    EXPECT_EQ(json::parse(CoreProcessLogPolicy::sanitizedRecord("{}", Stream::stdoutStream, "a\"b"))["timestamp"],
              "a\"b");
}

// --- The log on disk --------------------------------------------------------

std::vector<json> readRecords(const fs::path& file) {
    std::ifstream stream(file);
    std::vector<json> records;
    for (std::string line; std::getline(stream, line);) records.push_back(json::parse(line));
    return records;
}

std::vector<std::int64_t> byteCounts(const fs::path& file) {
    std::vector<std::int64_t> counts;
    for (const auto& r : readRecords(file)) counts.push_back(r.at("byte_count").get<std::int64_t>());
    return counts;
}

fs::perms modeOf(const fs::path& path) { return fs::status(path).permissions() & fs::perms::all; }

class CoreProcessPrivacyLogTest : public ::testing::Test {
protected:
    std::shared_ptr<CoreProcessPrivacyLog> makeLog(std::int64_t maximumBytes = CoreProcessLogPolicy::maximumFileBytes,
                                                   std::int64_t backups = CoreProcessLogPolicy::backupCount) {
        CoreProcessPrivacyLogOptions options;
        options.maximumBytes = maximumBytes;
        options.backups = backups;
        options.now = fixedTime;
        options.openFile = [this](const fs::path& path) -> Result<LogFileHandle> {
            ++openAttempts;
            if (failOpening) return fail("MurmoDiagnosticsLog", 28, "No space left on device");
            return openLogFileForAppending(path);
        };
        auto log = CoreProcessPrivacyLog::create(logDirectory, std::move(options));
        EXPECT_TRUE(log) << (log ? "" : log.error().message);
        return log ? *log : nullptr;
    }
    fs::path file(std::string_view suffix = {}) const {
        return logDirectory / (std::string(CoreProcessLogPolicy::fileName) + std::string(suffix));
    }

    TemporaryDirectory tree;
    fs::path logDirectory = CoreProcessLogPolicy::directory(tree.path() / "data" / "Dorvex Local");
    bool failOpening = false;
    int openAttempts = 0;
};

TEST_F(CoreProcessPrivacyLogTest, SplitsEachStreamIntoLines) {
    auto log = makeLog();
    log->consume("ab\nc", Stream::stdoutStream);
    EXPECT_EQ(byteCounts(file()), (std::vector<std::int64_t>{2}));

    log->consume("wxyz\r\n", Stream::stderrStream);  // the carriage return stays part of the line
    log->consume("de\n\nf", Stream::stdoutStream);
    auto records = readRecords(file());
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1], withEnvelope({{"event", "unstructured_core_output"}, {"byte_count", 5}}, "stderr"));
    EXPECT_EQ(records[2]["byte_count"], 3);
    EXPECT_EQ(records[3]["byte_count"], 0);

    log->finish();
    EXPECT_EQ(byteCounts(file()), (std::vector<std::int64_t>{2, 5, 3, 0, 1}));
    // A late chunk after the engine's exit must not reopen the file.
    log->consume("late\n", Stream::stdoutStream);
    EXPECT_EQ(readRecords(file()).size(), 5u);
}

TEST_F(CoreProcessPrivacyLogTest, AHostileLineArrivingWholeInOneChunkIsFiledLikeAnyOther) {
    auto log = makeLog();
    constexpr std::size_t kDepth = 100'000;
    log->consume(R"({"event":"deep","detail":)" + std::string(kDepth, '[') + std::string(kDepth, ']') + "}\n",
                 Stream::stderrStream);
    log->finish();
    const auto records = readRecords(file());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], withEnvelope({{"event", "deep"}}, "stderr"));
}

TEST_F(CoreProcessPrivacyLogTest, CutsOverlongLinesByRawBytes) {
    auto log = makeLog();
    log->consume(std::string(70'000, 'a'), Stream::stdoutStream);
    EXPECT_EQ(byteCounts(file()), (std::vector<std::int64_t>{70'000}));

    // The cut falls inside "é": the first part is not valid UTF-8 but still
    // reports its real length, and the rest starts the next line.
    log->consume(std::string(65'536, 'b') + "\xC3", Stream::stdoutStream);
    log->consume("\xA9 ok\n", Stream::stdoutStream);
    EXPECT_EQ(byteCounts(file()), (std::vector<std::int64_t>{70'000, 65'537, 4}));

    // Exactly the limit stays buffered.
    log->consume(std::string(65'536, 'c'), Stream::stderrStream);
    EXPECT_EQ(readRecords(file()).size(), 3u);
}

TEST_F(CoreProcessPrivacyLogTest, FolderAndFilesArePrivateEvenWhenTheyExisted) {
    fs::create_directories(logDirectory);
    fs::permissions(logDirectory, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    tree.writeFile(file().lexically_relative(tree.path()), "{\"old\":1}\n",
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);

    auto log = makeLog();
    EXPECT_EQ(modeOf(logDirectory), fs::perms::owner_all);
    EXPECT_EQ(modeOf(file()), fs::perms::owner_read | fs::perms::owner_write);
    log->consume("x\n", Stream::stdoutStream);
    log->finish();
    std::ifstream stream(file());
    std::stringstream contents;
    contents << stream.rdbuf();
    EXPECT_TRUE(contents.str().starts_with("{\"old\":1}\n{\"byte_count\":1,"));
}

TEST_F(CoreProcessPrivacyLogTest, CreationFailsWhenTheFolderOrFileCannotBeMade) {
    tree.writeFile("blocker", "a file where the folder should be");
    auto blocked = CoreProcessPrivacyLog::create(tree.path() / "blocker" / "Logs");
    ASSERT_FALSE(blocked);
    EXPECT_NE(blocked.error().message.find("Not a directory"), std::string::npos) << blocked.error().message;

    CoreProcessPrivacyLogOptions options;
    options.openFile = [](const fs::path&) -> Result<LogFileHandle> {
        return fail("MurmoDiagnosticsLog", 13, "denied");
    };
    EXPECT_FALSE(CoreProcessPrivacyLog::create(logDirectory, options));
}

TEST_F(CoreProcessPrivacyLogTest, CreatesPrivateParentFoldersAndFloorsItsLimits) {
    auto log = makeLog(100, 0);
    EXPECT_EQ(modeOf(tree.path() / "data"), fs::perms::owner_all);
    EXPECT_EQ(modeOf(tree.path() / "data" / "Dorvex Local"), fs::perms::owner_all);
    EXPECT_EQ(log->maximumBytes(), 4'096);
    EXPECT_EQ(log->backups(), 1);
}

// Every record of generation n is {"event":"genN",...}, all of one length.
class RotationTest : public CoreProcessPrivacyLogTest {
protected:
    static std::string line(int generation) { return R"({"event":"gen)" + std::to_string(generation) + "\"}\n"; }
    static std::int64_t recordsPerFile() {
        const auto length =
            CoreProcessLogPolicy::sanitizedRecord(R"({"event":"gen1"})", Stream::stdoutStream, kTimestamp).size() + 1;
        return 4'096 / static_cast<std::int64_t>(length);
    }
    void fillGeneration(CoreProcessPrivacyLog& log, int generation) {
        for (std::int64_t i = 0; i < recordsPerFile(); ++i) log.consume(line(generation), Stream::stdoutStream);
    }
    // The generation a file holds, or "" when it is missing, empty or mixed.
    std::string generationIn(const fs::path& path) {
        if (!fs::exists(path)) return "missing";
        std::set<std::string> events;
        for (const auto& r : readRecords(path)) events.insert(r.at("event").get<std::string>());
        if (events.size() != 1) return "mixed:" + std::to_string(events.size());
        return *events.begin();
    }
};

TEST_F(RotationTest, KeepsThreeBackupsNewestFirst) {
    auto log = makeLog(4'096, 3);
    for (int generation = 1; generation <= 5; ++generation) fillGeneration(*log, generation);
    EXPECT_EQ(generationIn(file()), "gen5");
    EXPECT_EQ(generationIn(file(".1")), "gen4");
    EXPECT_EQ(generationIn(file(".2")), "gen3");
    EXPECT_EQ(generationIn(file(".3")), "gen2");
    EXPECT_FALSE(fs::exists(file(".4")));
    EXPECT_EQ(readRecords(file()).size(), static_cast<std::size_t>(recordsPerFile()));
    EXPECT_LE(fs::file_size(file()), 4'096u);
    EXPECT_EQ(modeOf(file()), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RotationTest, OneBackupOnlyRenamesTheCurrentFile) {
    auto log = makeLog(4'096, 0);
    for (int generation = 1; generation <= 3; ++generation) fillGeneration(*log, generation);
    EXPECT_EQ(generationIn(file()), "gen3");
    EXPECT_EQ(generationIn(file(".1")), "gen2");
    EXPECT_FALSE(fs::exists(file(".2")));
}

TEST_F(RotationTest, RecordsThatFailToBeWrittenAreNotCounted) {
    CoreProcessPrivacyLogOptions options;
    options.maximumBytes = 4'096;
    // A descriptor every write to fails on.
    options.openFile = [](const fs::path& path) -> Result<LogFileHandle> {
        auto created = openLogFileForAppending(path);
        if (!created) return fail(created.error());
        return LogFileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    };
    auto log = CoreProcessPrivacyLog::create(logDirectory, std::move(options));
    ASSERT_TRUE(log);
    for (int generation = 1; generation <= 3; ++generation) fillGeneration(**log, generation);
    (*log)->finish();
    EXPECT_EQ(fs::file_size(file()), 0u);
    EXPECT_FALSE(fs::exists(file(".1"))) << "dropped records must not move the rotation point";
}

TEST_F(RotationTest, AFailedReopenDestroysNoBackup) {
    auto log = makeLog(4'096, 3);
    for (int generation = 1; generation <= 4; ++generation) fillGeneration(*log, generation);

    // The rotation for gen5 moves gen4 aside, then cannot open a new file.
    failOpening = true;
    for (int i = 0; i < 5; ++i) log->consume(line(5), Stream::stdoutStream);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(generationIn(file(".1")), "gen4");
    EXPECT_EQ(generationIn(file(".2")), "gen3");
    EXPECT_EQ(generationIn(file(".3")), "gen2");

    failOpening = false;
    log->consume(line(6), Stream::stdoutStream);
    EXPECT_EQ(generationIn(file()), "gen6");
    EXPECT_EQ(readRecords(file()).size(), 1u);
    EXPECT_EQ(generationIn(file(".1")), "gen4");
    EXPECT_EQ(generationIn(file(".2")), "gen3");
    EXPECT_EQ(generationIn(file(".3")), "gen2");
}

}  // namespace
}  // namespace murmo
