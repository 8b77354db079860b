#pragma once

// Replacing a file's contents so that anyone reading it sees either the old
// file or the whole new one: a temporary file in the same folder is written
// and synced, renamed over the target, then the folder is synced. A failure
// before the rename removes the temporary file and leaves the target as it
// was (or absent).

#include <filesystem>
#include <string_view>

#include "runtime/Error.h"

namespace murmo {

inline constexpr std::string_view kAtomicFileWriteErrorDomain = "MurmoAtomicFileWrite";

// The permissions of the file that replaces the target.
enum class NewFileMode {
    // Exactly 0600, whatever the umask: settings and other private files.
    ownerOnly,
    // What any new file gets: 0666 less the process's umask. The kernel
    // applies the umask when it creates the file; it is never read or set
    // here, since it belongs to the whole process.
    ordinary,
};

// Writes `bytes` to `path` atomically. The path is taken with its length: one
// holding U+0000, which no file name can hold, is refused before anything is
// created, never cut short. On failure the error's message says in plain
// words which file could not be saved and why (it is fit to show the user);
// its code is the errno and its reason names the step ("name", "create",
// "write", "sync", "close", "rename", "sync folder"). A folder that cannot be
// synced is reported although the new contents are already in place.
Status writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, NewFileMode mode);

}  // namespace murmo
