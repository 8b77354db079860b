#pragma once

#include <filesystem>

namespace murmo {

// A regular file (after following links) that this process may execute.
// Directories never count, although they carry the execute bit.
bool isExecutableFile(const std::filesystem::path& path);

}  // namespace murmo
