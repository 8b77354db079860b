#pragma once

// File work shared by the backends that keep the user's settings under
// $XDG_CONFIG_HOME: where that is, private folders, atomic replacement and
// moving a damaged file aside. Reads go through runtime/RegularFileRead.h.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/Environment.h"
#include "runtime/Error.h"

namespace murmo::config_files {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::filesystem::path configHome(const EnvironmentMap& environment);

// Creates `folder` and its missing parents, each new one with mode 0700.
Status makePrivateFolders(const std::filesystem::path& folder);

// Replaces `path` with `bytes` (mode 0600, whatever the umask) through
// runtime/AtomicFileWrite.h: on failure the old file is left as it was.
Status replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Renames `path` to "<path><suffix>", "<path><suffix>-2", ... without ever
// replacing an existing file; returns the name it now has.
Result<std::filesystem::path> moveAside(const std::filesystem::path& path, std::string_view suffix);

}  // namespace murmo::config_files
