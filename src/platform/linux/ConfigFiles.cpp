#include "platform/linux/ConfigFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/AtomicFileWrite.h"

namespace murmo::config_files {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kErrorDomain = "MurmoConfigFiles";

Error systemError(std::string_view what, const fs::path& path, int error) {
    return Error(std::string(kErrorDomain), error,
                 std::string(what) + " " + path.string() + ": " + std::strerror(error), std::string(what));
}

}  // namespace

fs::path configHome(const EnvironmentMap& environment) {
    if (auto xdg = lookup(environment, "XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute()) return *xdg;
    return fs::path(lookup(environment, "HOME").value_or("")) / ".config";
}

Status makePrivateFolders(const fs::path& folder) {
    if (folder.empty()) return {};
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return {};
        return std::unexpected(systemError("create folder", folder, ENOTDIR));
    }
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        if (auto parent = makePrivateFolders(folder.parent_path()); !parent) return parent;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::unexpected(systemError("create folder", folder, errno));
    }
    return {};
}

Status replaceFileAtomically(const fs::path& path, std::string_view bytes) {
    return writeFileAtomically(path, bytes, NewFileMode::ownerOnly);
}

Result<fs::path> moveAside(const fs::path& path, std::string_view suffix) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        auto target = path;
        target += std::string(suffix) + (attempt == 1 ? "" : "-" + std::to_string(attempt));
        // A hard link never replaces what is there: the name is taken first,
        // the old one dropped after.
        if (::link(path.c_str(), target.c_str()) == 0) {
            if (::unlink(path.c_str()) != 0) return std::unexpected(systemError("unlink", path, errno));
            return target;
        }
        if (errno != EEXIST) return std::unexpected(systemError("move aside", path, errno));
    }
    return std::unexpected(systemError("move aside", path, EEXIST));
}

}  // namespace murmo::config_files
