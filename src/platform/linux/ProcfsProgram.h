#pragma once

// What /proc tells of the program a process runs: its command name and its
// executable. Only a live process that runs a program counts: a kernel
// thread and a zombie (whose command line is empty) are none.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace murmo {

struct ProcfsProgram {
    // /proc/PID/comm: the executable's name cut to 15 bytes.
    std::string commandName;
    // /proc/PID/exe; absent when the process is another user's.
    std::optional<std::filesystem::path> executable{};

    // Absent when `pid` is no live process running a program.
    static std::optional<ProcfsProgram> read(std::int32_t pid, const std::filesystem::path& procRoot = "/proc");
};

}  // namespace murmo
