#include "runtime/RegularFileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "runtime/FileDescriptor.h"

namespace murmo {

RegularFileRead readRegularFile(const std::filesystem::path& path, std::size_t maximumBytes) {
    using Outcome = RegularFileRead::Outcome;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return {errno == ENOENT ? Outcome::absent : Outcome::unreadable, {}, errno};
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return {Outcome::unreadable, {}, errno};
    if (!S_ISREG(status.st_mode)) return {Outcome::unreadable, {}, S_ISDIR(status.st_mode) ? EISDIR : EINVAL};

    std::string bytes;
    std::array<char, 64 * 1024> buffer{};
    while (bytes.size() <= maximumBytes) {
        const auto wanted = std::min(buffer.size(), maximumBytes + 1 - bytes.size());
        const auto count = ::read(fd.get(), buffer.data(), wanted);
        if (count < 0) {
            if (errno == EINTR) continue;
            return {Outcome::unreadable, {}, errno};
        }
        if (count == 0) return {Outcome::read, std::move(bytes), 0};
        bytes.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return {Outcome::tooLarge, {}, EFBIG};
}

}  // namespace murmo
