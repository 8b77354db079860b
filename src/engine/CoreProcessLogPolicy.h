#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Clock.h"

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
// length in bytes. The line is raw bytes and need not be valid UTF-8. It is
// read in one pass that never looks into nested values, so nesting of any
// depth costs no tree and no recursion.
std::string sanitizedRecord(std::string_view line, CoreProcessLogStream stream, std::string_view timestamp);

// "2026-05-01T09:30:00Z": UTC, whole seconds.
std::string timestamp(WallTime time);

}  // namespace CoreProcessLogPolicy

}  // namespace murmo
