#include "runtime/AtomicFileWrite.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "runtime/FileDescriptor.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace fs = std::filesystem;

namespace {

constexpr int kTemporaryNameAttempts = 100;

std::string describe(int error) { return std::generic_category().message(error); }

Error writeError(std::string_view step, const fs::path& target, int error) {
    // The message may be shown to the user, so it names the file only when
    // its path reads as text (a Linux file name may be any bytes).
    const auto& name = target.native();
    const auto file = unicode::isValidUTF8(name) ? "The file \"" + name + "\"" : std::string("The file");
    return Error(std::string(kAtomicFileWriteErrorDomain), error,
                 file + " could not be saved: " + describe(error) + ".", std::string(step));
}

// A short hidden name in the target's folder, whatever the target's length,
// so the temporary never exceeds the folder's name limit where the target
// does not. Uniqueness comes from O_EXCL; the letters only make a clash rare.
std::string temporaryName() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t bits = counter.fetch_add(1) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) == sizeof random) bits ^= random;
    constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = ".murmo-";
    for (int index = 0; index < 10; ++index) {
        name += alphabet[bits % alphabet.size()];
        bits /= alphabet.size();
    }
    return name + ".tmp";
}

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

// Opens a new temporary file beside the target; `created` receives its path.
Result<FileDescriptor> createTemporary(const fs::path& folder, const fs::path& target, NewFileMode mode,
                                       fs::path& created) {
    // The kernel takes the umask off 0666; ownerOnly is set exactly after.
    const mode_t requested = mode == NewFileMode::ownerOnly ? 0600 : 0666;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        created = folder / temporaryName();
        FileDescriptor fd(::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, requested));
        if (fd.valid()) return fd;
        if (errno != EEXIST) return fail(writeError("create", target, errno));
    }
    return fail(writeError("create", target, EEXIST));
}

Status syncFolder(const fs::path& folder, const fs::path& target) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() || ::fsync(fd.get()) != 0) return fail(writeError("sync folder", target, errno));
    return {};
}

}  // namespace

Status writeFileAtomically(const fs::path& path, std::string_view bytes, NewFileMode mode) {
    // Every system call below reads the path up to its first U+0000; one that
    // holds such a byte would name another file.
    if (path.native().find('\0') != std::string::npos || !path.has_filename()) {
        return fail(Error(std::string(kAtomicFileWriteErrorDomain), EINVAL,
                          "The file could not be saved: its name is not a valid file name.", "name"));
    }
    const auto folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    fs::path temporary;
    auto fd = createTemporary(folder, path, mode, temporary);
    if (!fd) return fail(fd.error());
    const auto discard = [&](std::string_view step, int error) {
        ::unlink(temporary.c_str());
        return fail(writeError(step, path, error));
    };
    if (mode == NewFileMode::ownerOnly && ::fchmod(fd->get(), 0600) != 0) return discard("create", errno);
    if (!writeAll(fd->get(), bytes)) return discard("write", errno);
    if (::fsync(fd->get()) != 0) return discard("sync", errno);
    if (!fd->close()) return discard("close", errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return discard("rename", errno);
    return syncFolder(folder, path);
}

}  // namespace murmo
