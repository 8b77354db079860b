#include "TemporaryDirectory.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace murmo::testing {

namespace fs = std::filesystem;

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "murmo-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    // Tests may leave folders without write permission behind.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored)) fs::permissions(it->path(), fs::perms::owner_all, ignored);
    }
    fs::remove_all(path_, ignored);
}

fs::path TemporaryDirectory::writeFile(const fs::path& relative, std::string_view contents, fs::perms permissions) {
    const auto target = path_ / relative;
    fs::create_directories(target.parent_path());
    {
        std::ofstream stream(target, std::ios::binary | std::ios::trunc);
        stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }
    fs::permissions(target, permissions);
    return target;
}

fs::path TemporaryDirectory::writeExecutable(const fs::path& relative) {
    return writeFile(relative, "#!/bin/sh\n", fs::perms::owner_all);
}

fs::path TemporaryDirectory::makeDirectory(const fs::path& relative) {
    const auto target = path_ / relative;
    fs::create_directories(target);
    return target;
}

std::string fileContents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::string> fileNamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

}  // namespace murmo::testing
