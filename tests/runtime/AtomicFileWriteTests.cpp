#include "runtime/AtomicFileWrite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using testing::fileContents;
using testing::fileNamesIn;

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

// Sets the process's umask for one write and puts the old one back; the
// write itself never touches it.
Status writeUnderUmask(mode_t mask, const fs::path& path, std::string_view bytes, NewFileMode mode) {
    const auto previous = ::umask(mask);
    auto written = writeFileAtomically(path, bytes, mode);
    ::umask(previous);
    return written;
}

TEST(AtomicFileWriteTest, TheNewFileHoldsTheBytesWithTheModeAskedFor) {
    testing::TemporaryDirectory folder;
    const struct {
        mode_t umask;
        NewFileMode mode;
        mode_t expected;
    } rows[] = {
        {022, NewFileMode::ordinary, 0644}, {027, NewFileMode::ordinary, 0640},   {0, NewFileMode::ordinary, 0666},
        {0, NewFileMode::ownerOnly, 0600},  {0277, NewFileMode::ownerOnly, 0600}, {022, NewFileMode::ownerOnly, 0600},
    };
    const std::string bytes("with\0nul\n", 9);
    int row = 0;
    for (const auto& [mask, mode, expected] : rows) {
        SCOPED_TRACE(row);
        const auto path = folder.path() / ("file-" + std::to_string(row++));
        if (row % 2 == 0) folder.writeFile(path.filename(), "an older, longer file", fs::perms::owner_all);
        ASSERT_TRUE(writeUnderUmask(mask, path, bytes, mode));
        EXPECT_EQ(fileContents(path), bytes);
        EXPECT_EQ(modeOf(path), expected);
    }
    EXPECT_EQ(fileNamesIn(folder.path()).size(), std::size(rows)) << "no temporary file is left";
}

TEST(AtomicFileWriteTest, AFailedWriteRemovesItsTemporaryAndLeavesTheTarget) {
    testing::TemporaryDirectory folder;
    folder.writeFile("in the way/kept", "kept");
    const struct {
        fs::path path;
        const char* step;
        int error;
    } rows[] = {
        {folder.path() / "missing" / "notes.txt", "create", ENOENT},
        {folder.path() / "in the way", "rename", EISDIR},
        {folder.path() / "in the way" / "kept" / "below.txt", "create", ENOTDIR},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const auto written = writeFileAtomically(row.path, "new", NewFileMode::ordinary);
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error().domain, kAtomicFileWriteErrorDomain);
        EXPECT_EQ(written.error().reason, row.step);
        EXPECT_EQ(written.error().code, row.error);
        EXPECT_NE(written.error().message.find(row.path.string()), std::string::npos) << written.error().message;
    }
    EXPECT_EQ(fileNamesIn(folder.path()), (std::vector<std::string>{"in the way"}));
    EXPECT_EQ(fileNamesIn(folder.path() / "in the way"), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(fileContents(folder.path() / "in the way" / "kept"), "kept");
}

TEST(AtomicFileWriteTest, APathHoldingNulIsRefusedNotCutShort) {
    testing::TemporaryDirectory folder;
    const fs::path rows[] = {folder.path() / std::string("notes.sh\0.txt", 13),
                             fs::path(folder.path().string() + std::string("\0/notes.txt", 11)), folder.path() / ""};
    for (const auto& path : rows) {
        const auto written = writeFileAtomically(path, "#!/bin/sh\n", NewFileMode::ordinary);
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error().reason, "name");
        EXPECT_EQ(written.error().code, EINVAL);
    }
    EXPECT_TRUE(fileNamesIn(folder.path()).empty());
}

TEST(AtomicFileWriteTest, ANameAsLongAsTheFolderAllowsStillGetsATemporary) {
    testing::TemporaryDirectory folder;
    const auto path = folder.path() / (std::string(250, 'n') + ".json");
    ASSERT_TRUE(writeFileAtomically(path, "{}", NewFileMode::ordinary));
    EXPECT_EQ(fileContents(path), "{}");
}

}  // namespace
}  // namespace murmo
