#include "platform/linux/ConfigFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace murmo::config_files {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kErrorDomain = "MurmoConfigFiles";

Error systemError(std::string_view what, const fs::path& path, int error) {
    return Error(std::string(kErrorDomain), error,
                 std::string(what) + " " + path.string() + ": " + std::strerror(error), std::string(what));
}

// Closes on every path out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (a late write error
    // shows up here).
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

Status syncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() || ::fsync(fd.get()) != 0) return std::unexpected(systemError("sync", folder, errno));
    return {};
}

}  // namespace

fs::path configHome(const EnvironmentMap& environment) {
    if (auto xdg = lookup(environment, "XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute()) return *xdg;
    return fs::path(lookup(environment, "HOME").value_or("")) / ".config";
}

ReadResult readRegularFile(const fs::path& path, std::size_t maximumBytes) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT) return {ReadOutcome::absent, {}, 0};
        return {ReadOutcome::unreadable, {}, errno};
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return {ReadOutcome::unreadable, {}, errno};
    if (!S_ISREG(status.st_mode)) return {ReadOutcome::unreadable, {}, S_ISDIR(status.st_mode) ? EISDIR : EINVAL};
    std::string bytes;
    char buffer[16 * 1024];
    while (true) {
        const auto count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return {ReadOutcome::unreadable, {}, errno};
        }
        if (count == 0) break;
        if (bytes.size() + static_cast<std::size_t>(count) > maximumBytes) return {ReadOutcome::unreadable, {}, EFBIG};
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return {ReadOutcome::read, std::move(bytes), 0};
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
    const auto folder = path.parent_path();
    auto temporary = path;
    temporary += ".tmp-XXXXXX";
    std::string name = temporary.string();
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) return std::unexpected(systemError("create", name, errno));
    const auto discard = [&name](const char* what, int error) {
        ::unlink(name.c_str());
        return std::unexpected(systemError(what, name, error));
    };
    if (::fchmod(fd.get(), 0600) != 0) return discard("chmod", errno);
    if (!writeAll(fd.get(), bytes)) return discard("write", errno);
    if (::fsync(fd.get()) != 0) return discard("sync", errno);
    if (!fd.close()) return discard("close", errno);
    if (::rename(name.c_str(), path.c_str()) != 0) return discard("rename", errno);
    return syncFolder(folder);
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
