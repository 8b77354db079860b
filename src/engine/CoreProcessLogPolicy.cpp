#include "engine/CoreProcessLogPolicy.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ctime>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <utility>

namespace murmo {

namespace fs = std::filesystem;

namespace {

inline constexpr std::string_view kIdentifierCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._:-";

// How a field of a record is filled. The allow-listed kinds come from the
// line; the record's own "stream" and "timestamp" never do.
enum class FieldKind { string, number, boolean, stream, timestamp };

struct RecordField {
    std::string_view name;
    FieldKind kind;
};

constexpr std::array kRecordFields{
    RecordField{"event", FieldKind::string},
    RecordField{"type", FieldKind::string},
    RecordField{"stage", FieldKind::string},
    RecordField{"phase", FieldKind::string},
    RecordField{"status", FieldKind::string},
    RecordField{"reason_code", FieldKind::string},
    RecordField{"message_key", FieldKind::string},
    RecordField{"route", FieldKind::string},
    RecordField{"provider", FieldKind::string},
    RecordField{"model", FieldKind::string},
    RecordField{"model_id", FieldKind::string},
    RecordField{"finish_reason", FieldKind::string},
    RecordField{"operation_id", FieldKind::string},
    RecordField{"input_language", FieldKind::string},
    RecordField{"language", FieldKind::string},
    RecordField{"error_category", FieldKind::string},
    RecordField{"output_validation", FieldKind::string},
    RecordField{"shortcut_purpose", FieldKind::string},
    RecordField{"duration_ms", FieldKind::number},
    RecordField{"latency_ms", FieldKind::number},
    RecordField{"status_code", FieldKind::number},
    RecordField{"result_count", FieldKind::number},
    RecordField{"confidence", FieldKind::number},
    RecordField{"word_count", FieldKind::number},
    RecordField{"prompt_tokens", FieldKind::number},
    RecordField{"completion_tokens", FieldKind::number},
    RecordField{"total_tokens", FieldKind::number},
    RecordField{"retry", FieldKind::number},
    RecordField{"audio_duration_ms", FieldKind::number},
    RecordField{"byte_count", FieldKind::number},
    RecordField{"success", FieldKind::boolean},
    RecordField{"configured", FieldKind::boolean},
    RecordField{"validated", FieldKind::boolean},
    RecordField{"retryable", FieldKind::boolean},
    RecordField{"stream", FieldKind::stream},
    RecordField{"timestamp", FieldKind::timestamp},
};
using FieldIndex = std::uint8_t;
constexpr FieldIndex kEventField = 0;
constexpr FieldIndex kTypeField = 1;

// The fields in the order a record writes them: ascending by name. Built
// once, on first use; function-local statics are thread-safe.
const std::array<FieldIndex, kRecordFields.size()>& fieldsInRecordOrder() {
    static const auto order = [] {
        std::array<FieldIndex, kRecordFields.size()> indexes{};
        for (std::size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<FieldIndex>(i);
        std::ranges::sort(indexes, {}, [](FieldIndex i) { return kRecordFields[i].name; });
        return indexes;
    }();
    return order;
}

// The allow-listed field a key of the line names, if any.
std::optional<FieldIndex> allowedField(std::string_view key) {
    static const auto byName = [] {
        std::unordered_map<std::string_view, FieldIndex> names;
        for (std::size_t i = 0; i < kRecordFields.size(); ++i) {
            const auto kind = kRecordFields[i].kind;
            if (kind != FieldKind::stream && kind != FieldKind::timestamp) {
                names.emplace(kRecordFields[i].name, static_cast<FieldIndex>(i));
            }
        }
        return names;
    }();
    const auto found = byName.find(key);
    if (found == byName.end()) return std::nullopt;
    return found->second;
}

// Whether text can go between quotes as it is: printable ASCII without a
// quote or backslash.
bool needsNoEscaping(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
}

// Appends text as a JSON string; false when it is not valid UTF-8.
bool appendJSONString(std::string& out, std::string_view text) {
    if (needsNoEscaping(text)) {
        out += '"';
        out += text;
        out += '"';
        return true;
    }
    try {
        out += nlohmann::json(std::string(text)).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), end);
}

// Reads one line as a JSON object in a single pass, keeping only the values
// of allow-listed top-level keys, already written as JSON. Nested objects and
// arrays are never looked into: only their depth is counted, so no input,
// however deeply nested, builds anything or recurses (the parser keeps one bit
// per level).
class AllowListedFields final : public nlohmann::json_sax<nlohmann::json> {
public:
    // Parses `line`; false when it is not one JSON object.
    bool read(std::string_view line) {
        const auto first = line.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos || line[first] != '{') return false;
        return nlohmann::json::sax_parse(line.data(), line.data() + line.size(), this);
    }

    // The kept value of a field as JSON text; empty when none was kept.
    std::string_view value(FieldIndex field) const {
        const auto [offset, length] = spans_[field];
        return std::string_view(values_).substr(offset, length);
    }

    bool null() override {
        return scalar([](std::string&) { return false; });
    }
    bool boolean(bool flag) override {
        return scalar([&](std::string& out) {
            if (kind() == FieldKind::string) return false;
            out += flag ? "true" : "false";
            return true;
        });
    }
    bool number_integer(number_integer_t number) override { return integer(number); }
    bool number_unsigned(number_unsigned_t number) override { return integer(number); }
    bool number_float(number_float_t number, const string_t&) override {
        return scalar([&](std::string& out) {
            switch (kind()) {
                case FieldKind::number: out += nlohmann::json(number).dump(); return true;
                case FieldKind::boolean: return appendFlag(out, number);
                default: return false;
            }
        });
    }
    bool string(string_t& text) override {
        return scalar([&](std::string& out) {
            if (kind() != FieldKind::string) return false;
            // The identifier check leaves only characters that need no
            // escaping.
            out += '"';
            out += CoreProcessLogPolicy::sanitizeIdentifier(text);
            out += '"';
            return true;
        });
    }
    bool binary(binary_t&) override {
        return scalar([](std::string&) { return false; });
    }
    bool start_object(std::size_t) override { return open(); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        if (depth_ == 1) current_ = allowedField(name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) override { return false; }

private:
    static constexpr std::size_t kTopLevel = 1;

    FieldKind kind() const { return kRecordFields[*current_].kind; }

    // A value of the current top-level key replaces any earlier one of the
    // same key; a value of the wrong kind drops it.
    template <class Write>
    bool scalar(Write write) {
        if (depth_ != kTopLevel || !current_) return true;
        const auto offset = values_.size();
        const bool kept = write(values_);
        spans_[*current_] = kept ? std::pair(offset, values_.size() - offset) : std::pair<std::size_t, std::size_t>{};
        return true;
    }

    template <class Integer>
    bool integer(Integer number) {
        return scalar([&](std::string& out) {
            switch (kind()) {
                case FieldKind::number: appendInteger(out, number); return true;
                case FieldKind::boolean: return appendFlag(out, static_cast<double>(number));
                default: return false;
            }
        });
    }

    // Engine booleans sometimes arrive as 0/1.
    static bool appendFlag(std::string& out, double number) {
        if (number != 0 && number != 1) return false;
        out += number == 1 ? "true" : "false";
        return true;
    }

    bool open() {
        // An object or array under a top-level key is never kept.
        if (depth_ == kTopLevel && current_) spans_[*current_] = {};
        ++depth_;
        return true;
    }

    bool close() {
        --depth_;
        return true;
    }

    std::size_t depth_ = 0;
    std::optional<FieldIndex> current_;
    std::string values_;
    std::array<std::pair<std::size_t, std::size_t>, kRecordFields.size()> spans_{};
};

std::string unstructuredRecord(std::string_view line, std::string_view stream, std::string_view timestamp) {
    std::string record = R"({"byte_count":)";
    appendInteger(record, line.size());
    record += R"(,"event":"unstructured_core_output","stream":")";
    record += stream;
    record += R"(","timestamp":)";
    if (!appendJSONString(record, timestamp)) return std::string(CoreProcessLogPolicy::encodingFailedRecord);
    record += '}';
    return record;
}

std::string structuredRecord(const AllowListedFields& fields, std::string_view stream, std::string_view timestamp) {
    std::string record = "{";
    auto appendName = [&](std::string_view name) {
        if (record.size() > 1) record += ',';
        record += '"';
        record += name;
        record += "\":";
    };
    for (const auto field : fieldsInRecordOrder()) {
        const auto& [name, kind] = kRecordFields[field];
        if (kind == FieldKind::stream) {
            appendName(name);
            record += '"';
            record += stream;
            record += '"';
        } else if (kind == FieldKind::timestamp) {
            appendName(name);
            if (!appendJSONString(record, timestamp)) return std::string(CoreProcessLogPolicy::encodingFailedRecord);
        } else if (field == kEventField) {
            // Always present: the kept "event", else the kept "type".
            appendName(name);
            auto event = fields.value(kEventField);
            if (event.empty()) event = fields.value(kTypeField);
            record += event.empty() ? std::string_view(R"("core_diagnostic")") : event;
        } else if (const auto value = fields.value(field); !value.empty()) {
            appendName(name);
            record += value;
        }
    }
    record += '}';
    return record;
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
    AllowListedFields fields;
    if (!fields.read(line)) {
        // Raw bytes, so a line that is not valid UTF-8 (a cut through a
        // character) still reports its real length.
        return unstructuredRecord(line, toString(stream), timestamp);
    }
    return structuredRecord(fields, toString(stream), timestamp);
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

}  // namespace murmo
