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

#include "engine/CoreProcessLogPolicy.h"
#include "runtime/Clock.h"
#include "runtime/Environment.h"
#include "runtime/Error.h"
#include "runtime/SystemClock.h"

namespace murmo {

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
    void writePending();
    void rotate();
    std::string_view currentTimestamp();
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
    // Records filed but not yet written; written at the end of each chunk,
    // before a rotation and once they reach kPendingWriteBytes.
    static constexpr std::size_t kPendingWriteBytes = 64 * 1024;
    std::string pending_;
    bool finished_ = false;
    std::optional<std::chrono::sys_seconds> timestampSecond_;
    std::string timestampText_;
};

}  // namespace murmo
