#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/Clock.h"
#include "runtime/Environment.h"
#include "runtime/Error.h"

namespace murmo {

// Which of the engine's pipes a chunk came from.
enum class CoreProcessLogStream { stdoutStream, stderrStream };

// "stdout" / "stderr".
std::string_view toString(CoreProcessLogStream stream);
std::optional<CoreProcessLogStream> coreProcessLogStreamFromString(std::string_view text);

// Limits, allow-lists and the record builder of the engine diagnostics log.
// Pure: nothing here keeps state.
namespace CoreProcessLogPolicy {

inline constexpr std::int64_t maximumFileBytes = 2'097'152;
inline constexpr std::int64_t backupCount = 3;
inline constexpr std::string_view directoryName = "Logs";
inline constexpr std::string_view fileName = "core-diagnostics.jsonl";

inline constexpr std::int64_t minimumFileBytes = 4'096;
// A stream's unfinished line is filed once it grows past this.
inline constexpr std::size_t maximumLineBytes = 65'536;
inline constexpr std::size_t maximumIdentifierBytes = 96;
inline constexpr std::string_view redactedIdentifier = "redacted_invalid_identifier";
inline constexpr std::string_view encodingFailedRecord = R"({"event":"diagnostic_encoding_failed"})";

// The log folder for a given application data folder: <data>/"Logs".
std::filesystem::path directory(const std::filesystem::path& applicationDataDirectory);

// The value itself when it is 1 to 96 bytes of [A-Za-z0-9._:-], else
// "redacted_invalid_identifier".
std::string sanitizeIdentifier(std::string_view value);

// One record (without its line feed): "timestamp", "stream" and, for a JSON
// object line, only the allow-listed keys with values of the right type plus
// "event"; any other line gives "unstructured_core_output" with the line's
// length in bytes. The line is raw bytes and need not be valid UTF-8.
std::string sanitizedRecord(std::string_view line, CoreProcessLogStream stream, std::string_view timestamp);

// "2026-05-01T09:30:00Z": UTC, whole seconds.
std::string timestamp(WallTime time);

}  // namespace CoreProcessLogPolicy

// An open file that closes itself.
class LogFileHandle {
public:
    LogFileHandle() = default;
    explicit LogFileHandle(int descriptor) : descriptor_(descriptor) {}
    LogFileHandle(LogFileHandle&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    LogFileHandle& operator=(LogFileHandle&& other) noexcept;
    LogFileHandle(const LogFileHandle&) = delete;
    LogFileHandle& operator=(const LogFileHandle&) = delete;
    ~LogFileHandle() { close(); }

    bool isOpen() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }
    void close();

private:
    int descriptor_ = -1;
};

// Creates the file with mode 0600 when missing, resets its mode to 0600 and
// opens it for appending.
Result<LogFileHandle> openLogFileForAppending(const std::filesystem::path& path);

struct CoreProcessPrivacyLogOptions {
    std::int64_t maximumBytes = CoreProcessLogPolicy::maximumFileBytes;
    std::int64_t backups = CoreProcessLogPolicy::backupCount;
    // How the current file is opened, at creation and after every rotation.
    std::function<Result<LogFileHandle>(const std::filesystem::path&)> openFile = openLogFileForAppending;
    // The time a line is filed.
    std::function<WallTime()> now = [] { return SystemClock::shared().wallTime(); };
};

// Files the engine's output as privacy-safe JSON-lines records in a rotating
// "core-diagnostics.jsonl" (folder 0700, files 0600). One log serves one
// launch of the engine; its output readers call consume() from their own
// threads and the supervisor calls finish() once the engine has exited.
class CoreProcessPrivacyLog {
public:
    // Prepares the folder and opens the current file; fails when either
    // cannot be done. maximumBytes is at least 4,096 and backups at least 1.
    static Result<std::shared_ptr<CoreProcessPrivacyLog>> create(const std::filesystem::path& directoryURL,
                                                                 CoreProcessPrivacyLogOptions options = {});

    CoreProcessPrivacyLog(const CoreProcessPrivacyLog&) = delete;
    CoreProcessPrivacyLog& operator=(const CoreProcessPrivacyLog&) = delete;

    // One chunk read from a pipe. Any thread. Ignored after finish().
    void consume(std::string_view chunk, CoreProcessLogStream stream);
    // Files unfinished lines and closes the file. Any thread; once.
    void finish();

    const std::filesystem::path& directoryURL() const { return directoryURL_; }
    const std::filesystem::path& currentURL() const { return currentURL_; }
    std::int64_t maximumBytes() const { return maximumBytes_; }
    std::int64_t backups() const { return backups_; }

private:
    CoreProcessPrivacyLog(std::filesystem::path directoryURL, CoreProcessPrivacyLogOptions options);

    Status openCurrentFile();
    void appendSanitized(std::string_view line, CoreProcessLogStream stream);
    void rotate();
    std::filesystem::path backupURL(std::int64_t number) const;

    const std::filesystem::path directoryURL_;
    const std::filesystem::path currentURL_;
    const std::int64_t maximumBytes_;
    const std::int64_t backups_;
    const CoreProcessPrivacyLogOptions options_;

    std::mutex lock_;
    LogFileHandle output_;
    std::int64_t currentBytes_ = 0;
    std::map<CoreProcessLogStream, std::string> buffers_;
    bool finished_ = false;
};

}  // namespace murmo
