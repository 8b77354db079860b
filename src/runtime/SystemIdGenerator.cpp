#include "runtime/SystemIdGenerator.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace murmo {

std::vector<std::uint8_t> SystemIdGenerator::randomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::size_t filled = 0;
    while (filled < count) {
        const auto got = getrandom(bytes.data() + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            // getrandom only fails on a kernel without it; with no source of
            // randomness there is no safe token or identifier to hand out.
            std::perror("getrandom");
            std::abort();
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::string SystemIdGenerator::uuid() { return formatUUIDv4(randomBytes(16)); }

}  // namespace murmo
