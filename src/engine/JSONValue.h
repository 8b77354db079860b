#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/Error.h"
#include "runtime/JsonRead.h"

namespace murmo {

// A free-form JSON value from the engine (event data, agent answers) whose
// shape the application does not fix. Decoded only; never sent back.
class JSONValue {
public:
    using Object = std::map<std::string, JSONValue, std::less<>>;
    using Array = std::vector<JSONValue>;
    // Every JSON number is a 64-bit float, integral or not.
    using Storage = std::variant<std::nullptr_t, std::string, double, bool, Object, Array>;

    // Nesting deeper than this is refused rather than risking the stack on a
    // hostile or broken reply. Text parsed by json::parse never nests deeper;
    // the check guards values built any other way.
    static constexpr std::size_t kMaximumDepth = json::kMaximumNesting;

    JSONValue() : storage_(nullptr) {}
    explicit JSONValue(Storage storage) : storage_(std::move(storage)) {}

    static Result<JSONValue> fromJSON(const json::Json& value);
    // A JSON object of text keys to values: the engine's free-form replies.
    static Result<Object> objectFromJSON(const json::Json& value);
    static Result<Object> decodeObject(std::string_view text);

    // The case and its payload, for callers that look inside arrays.
    const Storage& storage() const { return storage_; }

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(storage_); }
    // Each gives the payload when the value is of that case, else nothing.
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    std::optional<double> number() const;
    std::optional<bool> boolean() const;
    const Object* object() const { return std::get_if<Object>(&storage_); }

private:
    // Fills `target` in place (no variant temporaries are moved around).
    static std::optional<Error> decodeInto(const json::Json& value, JSONValue& target, std::size_t depth);

    Storage storage_;
};

// Lookups in a free-form object. A value of another JSON kind than asked for
// counts as absent, as it does everywhere the engine's values are read.
const JSONValue* member(const JSONValue::Object& object, std::string_view key);
const std::string* stringMember(const JSONValue::Object& object, std::string_view key);
std::optional<std::string> optionalStringMember(const JSONValue::Object& object, std::string_view key);
const JSONValue::Object* objectMember(const JSONValue::Object& object, std::string_view key);

}  // namespace murmo
