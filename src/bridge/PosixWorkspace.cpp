#include "bridge/PosixWorkspace.h"

#include <filesystem>
#include <system_error>

namespace murmo::bridge {

bool PosixWorkspace::fileExists(const std::string& path) const {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool PosixWorkspace::open(const std::string&) { return false; }

}  // namespace murmo::bridge
