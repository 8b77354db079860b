#include "platform/linux/ProcfsProgram.h"

#include <fstream>
#include <system_error>

namespace murmo {

std::optional<ProcfsProgram> ProcfsProgram::read(std::int32_t pid, const std::filesystem::path& procRoot) {
    if (pid <= 0) return std::nullopt;
    const auto folder = procRoot / std::to_string(pid);
    std::ifstream commandLine(folder / "cmdline", std::ios::binary);
    if (!commandLine || commandLine.peek() == std::ifstream::traits_type::eof()) return std::nullopt;
    std::ifstream comm(folder / "comm");
    ProcfsProgram program;
    if (!comm || !std::getline(comm, program.commandName)) return std::nullopt;
    std::error_code error;
    auto executable = std::filesystem::read_symlink(folder / "exe", error);
    if (!error) program.executable = std::move(executable);
    return program;
}

}  // namespace murmo
