#pragma once

// Process records and canonical paths of a Linux system, read from /proc and
// the file system.
//
// A record is the parent and the start time of /proc/PID/stat. The kernel
// counts a start in clock ticks since boot; it becomes seconds and
// microseconds since the epoch with the boot time ("btime" of /proc/stat)
// and the tick rate (sysconf(_SC_CLK_TCK), 100 on every common kernel), so a
// start is exact to one tick and the same on every read. The command name in
// the record may hold anything, ") " and spaces included: the fields are read
// after its last ')'. A record that cannot be read or parsed whole (the
// process is gone, /proc is not mounted) is absent.
//
// Paths resolve like realpath(3) up to the first part that does not exist:
// a relative path is taken from the current folder, "." goes, ".." leaves the
// folder a resolved link pointed into (not the link's own parent), every
// link is followed (40 hops at most, the kernel's own limit; a loop keeps the
// rest as given). From the first missing part on, the rest is kept as given
// with "." and ".." removed lexically. A dangling link is followed to its
// target's missing part. There is never a trailing separator.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/ProcessInfo.h"

namespace murmo {

class ProcfsProcessInfo final : public ProcessInfo {
public:
    // `procRoot` is where proc(5) is mounted.
    explicit ProcfsProcessInfo(std::filesystem::path procRoot = "/proc");

    std::optional<ProcessRecord> processRecord(std::int32_t pid) override;
    std::filesystem::path canonicalPath(const std::filesystem::path& path) override;

    // The parent and start tick of one /proc/PID/stat text; absent unless
    // every field up to the start time is there and numeric.
    struct StatFields {
        std::int32_t parentPID = 0;
        std::uint64_t startTicks = 0;
    };
    static std::optional<StatFields> parseStat(std::string_view stat);
    // "btime" of one /proc/stat text.
    static std::optional<std::uint64_t> parseBootTime(std::string_view stat);

private:
    std::optional<std::uint64_t> bootTime();

    std::filesystem::path procRoot_;
    // The boot time never changes while the system runs: read once.
    std::optional<std::uint64_t> bootTime_;
};

}  // namespace murmo
