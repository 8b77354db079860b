#pragma once

// Strict reading of JSON objects: an absent or null key means "not given";
// a key present with the wrong type is an error; integers are range-checked,
// never wrapped; a bool is never a number.

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Error.h"

namespace murmo::json {

using Json = nlohmann::json;

inline constexpr std::string_view kErrorDomain = "MurmoJSON";

enum class JsonErrorCode : long {
    invalidJSON = 1,
    notAnObject = 2,
    missingKey = 3,
    typeMismatch = 4,
    outOfRange = 5,
    tooDeep = 6,
};

Error jsonError(JsonErrorCode code, std::string message);

// Most arrays and objects open at once in text read from another program.
// Copying, comparing and decoding a value recurse once per level, so the bound
// is checked while parsing, before any of that can run out of stack.
inline constexpr std::size_t kMaximumNesting = 512;

// Parses text; malformed JSON is an error, never an exception. Any depth is
// accepted (the parser itself never recurses), so the value may be read and
// moved but not copied, compared or decoded: use the bounded form for that.
Result<Json> parse(std::string_view text);
// As parse(), but nesting deeper than `maximumNesting` fails with tooDeep.
Result<Json> parse(std::string_view text, std::size_t maximumNesting);
// Parses text that must hold an object, nested at most `maximumNesting` deep.
Result<Json> parseObject(std::string_view text, std::size_t maximumNesting = kMaximumNesting);

// Serialises compactly; fails (never alters the value) on invalid UTF-8 in a
// string or a number that is not finite.
Result<std::string> dump(const Json& value);

Result<std::optional<std::string>> optionalString(const Json& object, std::string_view key);
Result<std::optional<bool>> optionalBool(const Json& object, std::string_view key);
Result<std::optional<double>> optionalDouble(const Json& object, std::string_view key);
// The nested value itself, never a copy: it lives as long as `object`. Null
// when the key is absent or null.
Result<const Json*> optionalObject(const Json& object, std::string_view key);
Result<const Json*> optionalArray(const Json& object, std::string_view key);

Result<std::string> requiredString(const Json& object, std::string_view key);
Result<bool> requiredBool(const Json& object, std::string_view key);
Result<double> requiredDouble(const Json& object, std::string_view key);
// Never null.
Result<const Json*> requiredObject(const Json& object, std::string_view key);
Result<const Json*> requiredArray(const Json& object, std::string_view key);

// An integer within [min, max]. Accepts an integral JSON number, and a float
// whose value is integral; rejects bools, fractions and values out of range.
Result<std::optional<long long>> optionalIntegerInRange(const Json& object, std::string_view key, long long min,
                                                        long long max);

template <std::integral I>
Result<std::optional<I>> optionalInteger(const Json& object, std::string_view key) {
    auto value = optionalIntegerInRange(
        object, key, static_cast<long long>(std::numeric_limits<I>::min()),
        static_cast<long long>(std::numeric_limits<I>::max() > std::numeric_limits<long long>::max()
                                   ? std::numeric_limits<long long>::max()
                                   : std::numeric_limits<I>::max()));
    if (!value) return fail(value.error());
    if (!*value) return std::optional<I>{};
    return std::optional<I>{static_cast<I>(**value)};
}

template <std::integral I>
Result<I> requiredInteger(const Json& object, std::string_view key) {
    auto value = optionalInteger<I>(object, key);
    if (!value) return fail(value.error());
    if (!*value) return fail(jsonError(JsonErrorCode::missingKey, "missing key \"" + std::string(key) + "\""));
    return **value;
}

}  // namespace murmo::json
