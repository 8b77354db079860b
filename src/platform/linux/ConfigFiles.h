#pragma once

// File work shared by the backends that keep the user's settings under
// $XDG_CONFIG_HOME: where that is, bounded reads that never block, and
// atomic replacement.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/Environment.h"
#include "runtime/Error.h"

namespace murmo::config_files {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::filesystem::path configHome(const EnvironmentMap& environment);

enum class ReadOutcome {
    read,
    // Nothing at the path.
    absent,
    // Something is there that must not be touched: a folder, a FIFO, a file
    // larger than the bound, or an I/O error.
    unreadable,
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::absent;
    std::string bytes;
    // The errno (or EFBIG for a file over the bound) when unreadable.
    int error = 0;
};

// Reads a regular file of at most `maximumBytes`, never blocking on a FIFO
// or a device and never reading past the bound.
ReadResult readRegularFile(const std::filesystem::path& path, std::size_t maximumBytes);

// Creates `folder` and its missing parents, each new one with mode 0700.
Status makePrivateFolders(const std::filesystem::path& folder);

// Replaces `path` with `bytes` (mode 0600): a temporary file in the same
// folder, written and synced, renamed over the old one, then the folder
// synced. On failure the old file is left as it was.
Status replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Renames `path` to "<path><suffix>", "<path><suffix>-2", ... without ever
// replacing an existing file; returns the name it now has.
Result<std::filesystem::path> moveAside(const std::filesystem::path& path, std::string_view suffix);

}  // namespace murmo::config_files
