#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace murmo::testing {

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes away.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `contents` to path()/relative, creating parent folders, and sets
    // the given permission bits.
    std::filesystem::path writeFile(const std::filesystem::path& relative, std::string_view contents = {},
                                    std::filesystem::perms permissions = std::filesystem::perms::owner_read |
                                                                         std::filesystem::perms::owner_write);
    // A file with owner read/write/execute permission.
    std::filesystem::path writeExecutable(const std::filesystem::path& relative);
    std::filesystem::path makeDirectory(const std::filesystem::path& relative);

private:
    std::filesystem::path path_;
};

// The file's bytes; empty when it cannot be read.
std::string fileContents(const std::filesystem::path& path);
// The names of the folder's entries, sorted.
std::vector<std::string> fileNamesIn(const std::filesystem::path& folder);

}  // namespace murmo::testing
