#include "engine/CoreProcessPrivacyLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <unordered_set>

namespace murmo {

namespace fs = std::filesystem;

namespace {

inline constexpr std::string_view kLogErrorDomain = "MurmoDiagnosticsLog";
inline constexpr std::string_view kIdentifierCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._:-";

enum class AllowedKind { string, number, boolean };

using AllowList = std::unordered_set<std::string_view>;

// Built once, on first use; function-local statics are thread-safe.
const AllowList& stringKeys() {
    static const AllowList keys{"event",          "type",          "stage",          "phase",
                                "status",         "reason_code",   "message_key",    "route",
                                "provider",       "model",         "model_id",       "finish_reason",
                                "operation_id",   "input_language", "language",      "error_category",
                                "output_validation", "shortcut_purpose"};
    return keys;
}

const AllowList& numberKeys() {
    static const AllowList keys{"duration_ms",   "latency_ms",        "status_code",  "result_count",
                                "confidence",    "word_count",        "prompt_tokens", "completion_tokens",
                                "total_tokens",  "retry",             "audio_duration_ms", "byte_count"};
    return keys;
}

const AllowList& booleanKeys() {
    static const AllowList keys{"success", "configured", "validated", "retryable"};
    return keys;
}

std::optional<AllowedKind> allowedKind(std::string_view key) {
    if (stringKeys().contains(key)) return AllowedKind::string;
    if (numberKeys().contains(key)) return AllowedKind::number;
    if (booleanKeys().contains(key)) return AllowedKind::boolean;
    return std::nullopt;
}

// Engine booleans sometimes arrive as 0/1.
std::optional<bool> readBoolean(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) {
        const double number = value.get<double>();
        if (number == 0) return false;
        if (number == 1) return true;
    }
    return std::nullopt;
}

std::optional<nlohmann::json> keptValue(AllowedKind kind, const nlohmann::json& value) {
    switch (kind) {
        case AllowedKind::string:
            if (!value.is_string()) return std::nullopt;
            return CoreProcessLogPolicy::sanitizeIdentifier(value.get_ref<const std::string&>());
        case AllowedKind::number:
            // A boolean passes too, written back as it came.
            if (!value.is_number() && !value.is_boolean()) return std::nullopt;
            return value;
        case AllowedKind::boolean:
            if (auto flag = readBoolean(value)) return *flag;
            return std::nullopt;
    }
    return std::nullopt;
}

// Parses a line that holds a JSON object. Nested objects and arrays are never
// looked into, so they are discarded while parsing instead of being built.
std::optional<nlohmann::json> parseObjectLine(std::string_view line) {
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || line[first] != '{') return std::nullopt;
    auto keepTopLevelOnly = [](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
        using Event = nlohmann::json::parse_event_t;
        if (event == Event::array_start) return false;
        if (event == Event::object_start) return depth == 0;
        return true;
    };
    auto parsed = nlohmann::json::parse(line, keepTopLevelOnly, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

std::string serialize(const nlohmann::json& record) {
    try {
        return record.dump();
    } catch (const nlohmann::json::exception&) {
        return std::string(CoreProcessLogPolicy::encodingFailedRecord);
    }
}

Error fileError(std::string_view action, const fs::path& path, int code) {
    return Error(std::string(kLogErrorDomain), code,
                 fmt::format("could not {} {}: {}", action, path.string(), std::strerror(code)));
}

// Creates the folder and any missing parents with mode 0700 (the log may
// hold operation identifiers; no other user should list or read it).
Status createPrivateDirectories(const fs::path& directory) {
    fs::path partial;
    for (const auto& component : directory) {
        partial /= component;
        if (partial == partial.root_path()) continue;
        if (::mkdir(partial.c_str(), 0700) == 0 || errno == EEXIST) continue;
        return fail(fileError("create folder", partial, errno));
    }
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) return fail(fileError("create folder", directory, errno));
    if (!S_ISDIR(status.st_mode)) return fail(fileError("create folder", directory, ENOTDIR));
    return {};
}

bool writeAll(int descriptor, std::string_view bytes, std::int64_t& written) {
    while (!bytes.empty()) {
        const auto count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += count;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

void removeIgnoringFailure(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void renameIfPresent(const fs::path& from, const fs::path& to) {
    std::error_code ignored;
    if (fs::exists(from, ignored)) fs::rename(from, to, ignored);
}

}  // namespace

std::string_view toString(CoreProcessLogStream stream) {
    return stream == CoreProcessLogStream::stdoutStream ? "stdout" : "stderr";
}

std::optional<CoreProcessLogStream> coreProcessLogStreamFromString(std::string_view text) {
    if (text == "stdout") return CoreProcessLogStream::stdoutStream;
    if (text == "stderr") return CoreProcessLogStream::stderrStream;
    return std::nullopt;
}

namespace CoreProcessLogPolicy {

fs::path directory(const fs::path& applicationDataDirectory) { return applicationDataDirectory / directoryName; }

std::string sanitizeIdentifier(std::string_view value) {
    if (value.empty() || value.size() > maximumIdentifierBytes) return std::string(redactedIdentifier);
    // The character set is ASCII, so checking bytes checks scalars: any byte
    // of a multi-byte character falls outside it.
    if (value.find_first_not_of(kIdentifierCharacters) != std::string_view::npos) {
        return std::string(redactedIdentifier);
    }
    return std::string(value);
}

std::string sanitizedRecord(std::string_view line, CoreProcessLogStream stream, std::string_view timestamp) {
    nlohmann::json record = nlohmann::json::object();
    record["timestamp"] = timestamp;
    record["stream"] = toString(stream);

    auto parsed = parseObjectLine(line);
    if (!parsed) {
        record["event"] = "unstructured_core_output";
        // Raw bytes, so a line that is not valid UTF-8 (a cut through a
        // character) still reports its real length.
        record["byte_count"] = line.size();
        return serialize(record);
    }
    for (const auto& [key, value] : parsed->items()) {
        const auto kind = allowedKind(key);
        if (!kind) continue;
        if (auto kept = keptValue(*kind, value)) record[key] = std::move(*kept);
    }
    if (!record.contains("event")) {
        record["event"] = record.contains("type") ? record["type"] : nlohmann::json("core_diagnostic");
    }
    return serialize(record);
}

std::string timestamp(WallTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) return "1970-01-01T00:00:00Z";
    std::array<char, 32> text{};
    const auto length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text.data(), length);
}

}  // namespace CoreProcessLogPolicy

LogFileHandle& LogFileHandle::operator=(LogFileHandle&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

void LogFileHandle::close() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

Result<LogFileHandle> openLogFileForAppending(const fs::path& path) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) return fail(fileError("open", path, errno));
    // The file may predate this launch with wider permissions.
    (void)::fchmod(descriptor, 0600);
    return LogFileHandle(descriptor);
}

Result<std::shared_ptr<CoreProcessPrivacyLog>> CoreProcessPrivacyLog::create(const fs::path& directoryURL,
                                                                             CoreProcessPrivacyLogOptions options) {
    if (auto created = createPrivateDirectories(directoryURL); !created) return fail(created.error());
    // The folder may have existed with wider permissions.
    (void)::chmod(directoryURL.c_str(), 0700);
    std::shared_ptr<CoreProcessPrivacyLog> log(new CoreProcessPrivacyLog(directoryURL, std::move(options)));
    if (auto opened = log->openCurrentFile(); !opened) return fail(opened.error());
    return log;
}

CoreProcessPrivacyLog::CoreProcessPrivacyLog(fs::path directoryURL, CoreProcessPrivacyLogOptions options)
    : directoryURL_(std::move(directoryURL)),
      currentURL_(directoryURL_ / CoreProcessLogPolicy::fileName),
      maximumBytes_(std::max(options.maximumBytes, CoreProcessLogPolicy::minimumFileBytes)),
      backups_(std::max<std::int64_t>(options.backups, 1)),
      options_(std::move(options)) {}

void CoreProcessPrivacyLog::consume(std::string_view chunk, CoreProcessLogStream stream) {
    std::lock_guard guard(lock_);
    if (finished_) return;
    auto& buffer = buffers_[stream];
    buffer.append(chunk);
    std::size_t start = 0;
    for (auto lineFeed = buffer.find('\n'); lineFeed != std::string::npos; lineFeed = buffer.find('\n', start)) {
        appendSanitized(std::string_view(buffer).substr(start, lineFeed - start), stream);
        start = lineFeed + 1;
    }
    buffer.erase(0, start);
    // A stream that never ends its line must not grow memory without bound.
    if (buffer.size() > CoreProcessLogPolicy::maximumLineBytes) {
        appendSanitized(buffer, stream);
        buffer.clear();
    }
}

void CoreProcessPrivacyLog::finish() {
    std::lock_guard guard(lock_);
    if (finished_) return;
    for (auto& [stream, buffer] : buffers_) {
        if (!buffer.empty()) appendSanitized(buffer, stream);
    }
    buffers_.clear();
    if (output_.isOpen()) (void)::fsync(output_.descriptor());
    output_.close();
    finished_ = true;
}

Status CoreProcessPrivacyLog::openCurrentFile() {
    auto opened = options_.openFile(currentURL_);
    if (!opened) return fail(opened.error());
    output_ = std::move(*opened);
    struct stat status {};
    currentBytes_ = ::fstat(output_.descriptor(), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : 0;
    return {};
}

void CoreProcessPrivacyLog::appendSanitized(std::string_view line, CoreProcessLogStream stream) {
    auto record = CoreProcessLogPolicy::sanitizedRecord(line, stream,
                                                        CoreProcessLogPolicy::timestamp(options_.now()));
    record += '\n';
    const auto length = static_cast<std::int64_t>(record.size());

    // After a failed reopen, try the current file again before anything else:
    // rotating without a file would shift every backup out for nothing.
    if (!output_.isOpen() && !openCurrentFile()) return;
    // An empty file is never rotated: that would only push out a backup.
    if (currentBytes_ > 0 && currentBytes_ + length > maximumBytes_) {
        rotate();
        if (!output_.isOpen()) return;
    }
    std::int64_t written = 0;
    const bool complete = writeAll(output_.descriptor(), record, written);
    // Count what reached the file, so a torn write still moves the rotation
    // point; a record that failed outright adds nothing.
    currentBytes_ += complete ? length : written;
}

fs::path CoreProcessPrivacyLog::backupURL(std::int64_t number) const {
    return directoryURL_ / fmt::format("{}.{}", CoreProcessLogPolicy::fileName, number);
}

void CoreProcessPrivacyLog::rotate() {
    output_.close();
    for (auto i = backups_ - 1; i >= 1; --i) {
        removeIgnoringFailure(backupURL(i + 1));
        renameIfPresent(backupURL(i), backupURL(i + 1));
    }
    removeIgnoringFailure(backupURL(1));
    renameIfPresent(currentURL_, backupURL(1));
    // A failure leaves the log without a file; the next record tries again.
    (void)openCurrentFile();
}

}  // namespace murmo
