#include "platform/linux/ProcfsProcessInfo.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include "support/TemporaryDirectory.h"

extern char** environ;

namespace murmo {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;

// A child process that runs `program` (a path, possibly a link whose name
// becomes the command name) until the test ends.
class SleepingChild {
public:
    explicit SleepingChild(const fs::path& program) {
        std::array<char*, 3> arguments{const_cast<char*>(program.c_str()), const_cast<char*>("60"), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, arguments.data(), environ) != 0) pid_ = -1;
    }
    ~SleepingChild() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    SleepingChild(const SleepingChild&) = delete;
    SleepingChild& operator=(const SleepingChild&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The words of a text, one space between each.
std::string singleSpaced(const std::string& text) {
    std::istringstream words(text);
    std::string word;
    std::string result;
    while (words >> word) result += (result.empty() ? "" : " ") + word;
    return result;
}

struct PsRecord {
    int parentPID = -1;
    std::string start;
};

// What ps(1) reports of the process: its parent and its start, to the
// second, in local time.
std::optional<PsRecord> psRecord(pid_t pid) {
    const auto command = "ps -o ppid=,lstart= -p " + std::to_string(pid);
    std::unique_ptr<FILE, int (*)(FILE*)> output(::popen(command.c_str(), "r"), ::pclose);
    if (!output) return std::nullopt;
    std::string text;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), output.get())) text += buffer.data();
    std::istringstream fields(text);
    PsRecord record;
    if (!(fields >> record.parentPID)) return std::nullopt;
    std::getline(fields, record.start);
    record.start = singleSpaced(record.start);
    return record;
}

// The start as ps shows it: "%a %b %e %H:%M:%S %Y" in local time.
std::string asPsStart(std::uint64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&time, &local);
    std::array<char, 64> text{};
    std::strftime(text.data(), text.size(), "%a %b %e %H:%M:%S %Y", &local);
    return singleSpaced(text.data());
}

void expectMatchesPs(ProcfsProcessInfo& processes, pid_t pid) {
    SCOPED_TRACE("pid " + std::to_string(pid));
    const auto record = processes.processRecord(pid);
    const auto reported = psRecord(pid);
    ASSERT_TRUE(record);
    ASSERT_TRUE(reported) << "ps gave no record (is procps installed?)";
    EXPECT_EQ(record->parentPID, reported->parentPID);
    EXPECT_EQ(asPsStart(record->startSeconds), reported->start);
    EXPECT_LT(record->startMicroseconds, 1'000'000U);
}

TEST(ProcfsProcessInfoTest, RecordsAgreeWithPsForThisProcessAChildInitAndAnOddCommandName) {
    ProcfsProcessInfo processes;
    TemporaryDirectory folder;
    // The kernel names a process after the file it runs: this one's command
    // name holds ") " and spaces, which a parser splitting at the first ")"
    // reads its fields wrongly from.
    const auto oddName = folder.path() / "x) 1 2 (y";
    fs::create_symlink("/usr/bin/sleep", oddName);
    const SleepingChild child("/usr/bin/sleep");
    const SleepingChild oddChild(oddName);
    ASSERT_GT(child.pid(), 0);
    ASSERT_GT(oddChild.pid(), 0);

    expectMatchesPs(processes, ::getpid());
    expectMatchesPs(processes, child.pid());
    expectMatchesPs(processes, 1);
    expectMatchesPs(processes, oddChild.pid());
    EXPECT_EQ(processes.processRecord(oddChild.pid())->parentPID, ::getpid());
    // A record names one start: read again, it is the same.
    EXPECT_EQ(processes.processRecord(child.pid()), processes.processRecord(child.pid()));
}

TEST(ProcfsProcessInfoTest, NoProcessHasNoRecord) {
    ProcfsProcessInfo processes;
    // Above the largest pid_max the kernel allows (2^22).
    EXPECT_FALSE(processes.processRecord(0x7fffffff));
    EXPECT_FALSE(processes.processRecord(0));
    EXPECT_FALSE(processes.processRecord(-1));

    pid_t ended = -1;
    {
        const SleepingChild child("/usr/bin/sleep");
        ended = child.pid();
    }
    // Reaped: unless the pid was taken again meanwhile, nothing is there.
    if (const auto record = processes.processRecord(ended)) {
        EXPECT_NE(record->parentPID, ::getpid()) << "a reaped child still reads as ours";
    }
}

// A /proc of the test's own making: the conversion to epoch time is exact,
// and a record cut short is none.
TEST(ProcfsProcessInfoTest, StartTicksBecomeEpochSecondsAndMicrosecondsAndACutRecordIsNone) {
    TemporaryDirectory proc;
    proc.writeFile("stat", "cpu  1 2 3 4\nbtime 1700000000\nprocesses 5\n");
    const auto hertz = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    const std::uint64_t ticks = 123 * hertz + hertz / 4;
    const auto record = [&](std::string_view name, std::uint64_t start) {
        return "4242 (" + std::string(name) + ") S 77 4242 4242 0 -1 4194560 10 0 0 0 0 0 0 0 20 0 1 0 " +
               std::to_string(start) + " 1000 100 18446744073709551615\n";
    };
    proc.writeFile("4242/stat", record("a) b (c", ticks));
    proc.writeFile("4343/stat", record("sleep", ticks).substr(0, 60));

    ProcfsProcessInfo processes(proc.path());
    const auto read = processes.processRecord(4242);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (ProcessRecord{.parentPID = 77, .startSeconds = 1700000123, .startMicroseconds = 250000}));
    EXPECT_FALSE(processes.processRecord(4343));
}

TEST(ProcfsProcessInfoTest, StatParsingNeedsEveryFieldUpToTheStartAndTheLineEnd) {
    const std::string tail = " 1 1 0 -1 4194560 10 0 0 0 0 0 0 0 20 0 1 0 555 1000 100\n";
    struct Case {
        std::string text;
        std::optional<std::uint64_t> startTicks;
    };
    const std::array cases{
        Case{"9 (plain) S 3" + tail, 555},
        Case{"9 (with ) S 4 inside) S 3" + tail, 555},
        Case{"9 ()) S 3" + tail, 555},
        Case{"9 (plain) S 3" + tail.substr(0, tail.size() - 1), std::nullopt},  // no line end: cut short
        Case{"9 (plain) S 3 1 1 0 -1\n", std::nullopt},
        Case{"9 (plain) S x" + tail, std::nullopt},
        Case{"9 plain S 3" + tail, std::nullopt},
        Case{"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto fields = ProcfsProcessInfo::parseStat(c.text);
        ASSERT_EQ(fields.has_value(), c.startTicks.has_value());
        if (!fields) continue;
        EXPECT_EQ(fields->parentPID, 3);
        EXPECT_EQ(fields->startTicks, *c.startTicks);
    }
}

class ProcfsCanonicalPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        base = fs::canonical(folder.path());
        fs::create_directories(base / "real/sub");
        fs::create_directory_symlink("real", base / "link");
        fs::create_directory_symlink(base / "real/sub", base / "absolute-link");
        fs::create_symlink("real/gone", base / "dangling");
        fs::create_symlink("loop-b", base / "loop-a");
        fs::create_symlink("loop-a", base / "loop-b");
        fs::create_directory_symlink("../" + base.filename().string() + "/real", base / "up-and-back");
    }

    TemporaryDirectory folder;
    fs::path base;
    ProcfsProcessInfo processes;
};

TEST_F(ProcfsCanonicalPathTest, ResolvesLinksAndDotsLikeRealpathAndKeepsMissingTails) {
    struct Case {
        std::string given;
        std::string expected;
    };
    const std::array cases{
        Case{"real/sub", "real/sub"},
        Case{"link/sub", "real/sub"},
        Case{"link/sub/", "real/sub"},
        Case{"./link/./sub/.", "real/sub"},
        Case{"absolute-link", "real/sub"},
        Case{"up-and-back/sub", "real/sub"},
        // ".." leaves the folder the link led into, not the link's parent.
        Case{"absolute-link/..", "real"},
        Case{"link/sub/../../link", "real"},
        Case{"link/missing/tail/", "real/missing/tail"},
        Case{"link/missing/../other", "real/other"},
        Case{"dangling/child", "real/gone/child"},
        Case{"loop-a/child", "loop-a/child"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(processes.canonicalPath(base / c.given), base / c.expected);
    }
}

TEST_F(ProcfsCanonicalPathTest, TwoNamesOfOneFolderCompareEqualAndExistingPathsMatchRealpath) {
    EXPECT_EQ(processes.canonicalPath(base / "link/sub"), processes.canonicalPath(base / "absolute-link"));
    for (const auto* given : {"link/sub", "absolute-link/..", "up-and-back"}) {
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath((base / given).c_str(), nullptr), std::free);
        ASSERT_TRUE(resolved) << given;
        EXPECT_EQ(processes.canonicalPath(base / given), fs::path(resolved.get())) << given;
    }
    EXPECT_EQ(processes.canonicalPath("/"), fs::path("/"));
    EXPECT_EQ(processes.canonicalPath("/.."), fs::path("/"));
    EXPECT_EQ(processes.canonicalPath("."), fs::canonical(fs::current_path()));
    EXPECT_EQ(processes.canonicalPath(""), fs::path());
}

}  // namespace
}  // namespace murmo
