#include "platform/sim/SimProcessInfo.h"

namespace murmo {

namespace {

std::filesystem::path standardized(const std::filesystem::path& path) {
    auto normal = path.lexically_normal();
    if (normal.has_relative_path() && !normal.has_filename()) normal = normal.parent_path();
    return normal;
}

// The rest of `path` below `prefix`, when `prefix` is one of its ancestors
// (or the path itself).
std::optional<std::filesystem::path> remainderBelow(const std::filesystem::path& path,
                                                    const std::filesystem::path& prefix) {
    auto pathPart = path.begin();
    for (auto prefixPart = prefix.begin(); prefixPart != prefix.end(); ++prefixPart, ++pathPart) {
        if (pathPart == path.end() || *pathPart != *prefixPart) return std::nullopt;
    }
    std::filesystem::path rest;
    for (; pathPart != path.end(); ++pathPart) rest /= *pathPart;
    return rest;
}

}  // namespace

std::optional<ProcessRecord> SimProcessInfo::processRecord(std::int32_t pid) {
    const auto& processes = desktop_.model().processes;
    auto found = processes.find(pid);
    if (found == processes.end() || !found->second.recordReadable) return std::nullopt;
    const auto& process = found->second;
    return ProcessRecord{.parentPID = process.parentPID,
                         .startSeconds = process.startSeconds,
                         .startMicroseconds = process.startMicroseconds};
}

std::filesystem::path SimProcessInfo::canonicalPath(const std::filesystem::path& path) {
    // Bounded like the kernel's own link resolution, so a link loop ends.
    constexpr int kMaximumLinkHops = 32;
    auto current = standardized(path);
    for (int hop = 0; hop < kMaximumLinkHops; ++hop) {
        bool replaced = false;
        for (const auto& [link, target] : desktop_.model().symbolicLinks) {
            auto rest = remainderBelow(current, standardized(link));
            if (!rest) continue;
            current = standardized(rest->empty() ? target : target / *rest);
            replaced = true;
            break;
        }
        if (!replaced) break;
    }
    return current;
}

}  // namespace murmo
