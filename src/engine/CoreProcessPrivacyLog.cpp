#include "engine/CoreProcessPrivacyLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace murmo {

namespace fs = std::filesystem;

namespace {

inline constexpr std::string_view kLogErrorDomain = "MurmoDiagnosticsLog";

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
    writePending();
}

void CoreProcessPrivacyLog::finish() {
    std::lock_guard guard(lock_);
    if (finished_) return;
    for (auto& [stream, buffer] : buffers_) {
        if (!buffer.empty()) appendSanitized(buffer, stream);
    }
    buffers_.clear();
    writePending();
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
    auto record = CoreProcessLogPolicy::sanitizedRecord(line, stream, currentTimestamp());
    record += '\n';
    const auto length = static_cast<std::int64_t>(record.size());

    // After a failed reopen, try the current file again before anything else:
    // rotating without a file would shift every backup out for nothing.
    if (!output_.isOpen() && !openCurrentFile()) return;
    // An empty file is never rotated: that would only push out a backup.
    if (currentBytes_ > 0 && currentBytes_ + length > maximumBytes_) {
        // What came before belongs in the file that is moved aside.
        writePending();
        rotate();
        if (!output_.isOpen()) return;
    }
    // Records are written together, one write per chunk rather than per
    // line; they count at once and writePending takes back what fails.
    pending_ += record;
    currentBytes_ += length;
    if (pending_.size() >= kPendingWriteBytes) writePending();
}

void CoreProcessPrivacyLog::writePending() {
    if (pending_.empty()) return;
    std::int64_t written = 0;
    if (output_.isOpen()) (void)writeAll(output_.descriptor(), pending_, written);
    // Count what reached the file, so a torn write still moves the rotation
    // point; records that failed outright add nothing.
    currentBytes_ -= static_cast<std::int64_t>(pending_.size()) - written;
    pending_.clear();
}

std::string_view CoreProcessPrivacyLog::currentTimestamp() {
    const auto now = options_.now();
    // Whole seconds: formatted once per second, not once per line.
    const auto second = std::chrono::floor<std::chrono::seconds>(now);
    if (second != timestampSecond_) {
        timestampSecond_ = second;
        timestampText_ = CoreProcessLogPolicy::timestamp(now);
    }
    return timestampText_;
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
