#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace murmo {

// The kernel's record of one process: its parent and when it started. The
// start time tells a process from a later one that reuses its identifier.
struct ProcessRecord {
    std::int32_t parentPID = 0;
    std::uint64_t startSeconds = 0;
    std::uint64_t startMicroseconds = 0;

    bool operator==(const ProcessRecord&) const = default;
};

// Process information that needs no messaging. Main thread only.
class ProcessInfo {
public:
    virtual ~ProcessInfo() = default;

    // Absent when the process does not exist or the record cannot be read
    // completely (a partial read is never returned).
    virtual std::optional<ProcessRecord> processRecord(std::int32_t pid) = 0;

    // The path standardized ("." and ".." removed, no trailing separator) and
    // with every symbolic link resolved, so that two names of one folder
    // compare equal. Parts that do not exist are kept as given.
    virtual std::filesystem::path canonicalPath(const std::filesystem::path& path) = 0;
};

}  // namespace murmo
