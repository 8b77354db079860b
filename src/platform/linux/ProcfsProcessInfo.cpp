#include "platform/linux/ProcfsProcessInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <deque>
#include <string>
#include <system_error>
#include <vector>

#include "runtime/FileDescriptor.h"

namespace murmo {

namespace {

// Field 22 of the record, counted from 1 with the pid; the first field after
// the command name is field 3.
constexpr std::size_t kFirstFieldAfterName = 3;
constexpr std::size_t kParentField = 4;
constexpr std::size_t kStartTimeField = 22;
// The kernel's own bound on links followed in one lookup.
constexpr int kMaximumLinkHops = 40;
constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;

// The whole of a small file of /proc; absent when it cannot be read. The
// kernel builds such a file in one go, so one read loop sees one version.
std::optional<std::string> readWhole(const std::filesystem::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const auto got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> splitAtSpaces(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find(' ', start);
        const auto word = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!word.empty()) words.push_back(word);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return words;
}

std::filesystem::path withoutTrailingSeparator(std::filesystem::path path) {
    if (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
    return path;
}

// `base` followed by `rest` as given, "." and ".." removed lexically.
std::filesystem::path keptAsGiven(const std::filesystem::path& base, const std::deque<std::filesystem::path>& rest) {
    auto path = base;
    for (const auto& part : rest) path /= part;
    return withoutTrailingSeparator(path.lexically_normal());
}

void prependParts(std::deque<std::filesystem::path>& pending, const std::filesystem::path& path) {
    std::vector<std::filesystem::path> parts;
    for (const auto& part : path.relative_path()) {
        if (!part.empty()) parts.push_back(part);
    }
    pending.insert(pending.begin(), parts.begin(), parts.end());
}

}  // namespace

ProcfsProcessInfo::ProcfsProcessInfo(std::filesystem::path procRoot) : procRoot_(std::move(procRoot)) {}

std::optional<ProcfsProcessInfo::StatFields> ProcfsProcessInfo::parseStat(std::string_view stat) {
    // A record read whole ends its line.
    if (stat.empty() || stat.back() != '\n') return std::nullopt;
    stat.remove_suffix(1);
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string_view::npos) return std::nullopt;
    const auto fields = splitAtSpaces(stat.substr(nameEnd + 1));
    if (fields.size() <= kStartTimeField - kFirstFieldAfterName) return std::nullopt;
    const auto parent = parseNumber<std::int32_t>(fields[kParentField - kFirstFieldAfterName]);
    const auto start = parseNumber<std::uint64_t>(fields[kStartTimeField - kFirstFieldAfterName]);
    if (!parent || !start) return std::nullopt;
    return StatFields{.parentPID = *parent, .startTicks = *start};
}

std::optional<std::uint64_t> ProcfsProcessInfo::parseBootTime(std::string_view stat) {
    constexpr std::string_view kKey = "btime ";
    std::size_t lineStart = 0;
    while (lineStart < stat.size()) {
        auto lineEnd = stat.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = stat.size();
        const auto line = stat.substr(lineStart, lineEnd - lineStart);
        if (line.starts_with(kKey)) return parseNumber<std::uint64_t>(line.substr(kKey.size()));
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ProcfsProcessInfo::bootTime() {
    if (!bootTime_) {
        if (const auto stat = readWhole(procRoot_ / "stat")) bootTime_ = parseBootTime(*stat);
    }
    return bootTime_;
}

std::optional<ProcessRecord> ProcfsProcessInfo::processRecord(std::int32_t pid) {
    if (pid <= 0) return std::nullopt;
    const auto text = readWhole(procRoot_ / std::to_string(pid) / "stat");
    if (!text) return std::nullopt;
    const auto fields = parseStat(*text);
    const auto boot = bootTime();
    const auto ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!fields || !boot || ticksPerSecond <= 0) return std::nullopt;
    const auto hertz = static_cast<std::uint64_t>(ticksPerSecond);
    return ProcessRecord{.parentPID = fields->parentPID,
                         .startSeconds = *boot + fields->startTicks / hertz,
                         .startMicroseconds = fields->startTicks % hertz * kMicrosecondsPerSecond / hertz};
}

std::filesystem::path ProcfsProcessInfo::canonicalPath(const std::filesystem::path& path) {
    if (path.empty()) return path;
    std::error_code error;
    auto absolute = path.is_absolute() ? path : std::filesystem::current_path(error) / path;
    if (error) return withoutTrailingSeparator(path.lexically_normal());

    std::deque<std::filesystem::path> pending;
    prependParts(pending, absolute);
    std::filesystem::path resolved = "/";
    int hops = 0;
    while (!pending.empty()) {
        const auto part = pending.front();
        if (part == ".") {
            pending.pop_front();
            continue;
        }
        if (part == "..") {
            pending.pop_front();
            resolved = resolved.parent_path();
            continue;
        }
        const auto candidate = resolved / part;
        struct stat status {};
        if (::lstat(candidate.c_str(), &status) != 0) return keptAsGiven(resolved, pending);
        pending.pop_front();
        if (!S_ISLNK(status.st_mode)) {
            resolved = candidate;
            continue;
        }
        const auto target = std::filesystem::read_symlink(candidate, error);
        if (error || ++hops > kMaximumLinkHops) {
            pending.push_front(part);
            return keptAsGiven(resolved, pending);
        }
        if (target.is_absolute()) resolved = "/";
        prependParts(pending, target);
    }
    return resolved;
}

}  // namespace murmo
