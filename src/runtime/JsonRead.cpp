#include "runtime/JsonRead.h"

#include <climits>
#include <cmath>

#include "runtime/Unicode.h"

namespace murmo::json {

namespace {

std::string quoted(std::string_view key) { return "\"" + std::string(key) + "\""; }

Error mismatch(std::string_view key, std::string_view expected) {
    return jsonError(JsonErrorCode::typeMismatch, "key " + quoted(key) + " is not " + std::string(expected));
}

// The value under `key`, or nullptr when absent or null.
Result<const Json*> lookup(const Json& object, std::string_view key) {
    if (!object.is_object()) return fail(jsonError(JsonErrorCode::notAnObject, "not a JSON object"));
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

template <class T, class Check, class Get>
Result<std::optional<T>> readOptional(const Json& object, std::string_view key, std::string_view expected,
                                      Check check, Get get) {
    auto value = lookup(object, key);
    if (!value) return fail(value.error());
    if (!*value) return std::optional<T>{};
    if (!check(**value)) return fail(mismatch(key, expected));
    return std::optional<T>{get(**value)};
}

template <class T>
Result<T> require(Result<std::optional<T>> value, std::string_view key) {
    if (!value) return fail(value.error());
    if (!*value) return fail(jsonError(JsonErrorCode::missingKey, "missing key " + quoted(key)));
    return std::move(**value);
}

}  // namespace

Error jsonError(JsonErrorCode code, std::string message) {
    return Error(std::string(kErrorDomain), static_cast<long>(code), std::move(message));
}

Result<Json> parse(std::string_view text) {
    auto value = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return fail(jsonError(JsonErrorCode::invalidJSON, "invalid JSON"));
    return value;
}

Result<Json> parseObject(std::string_view text) {
    auto value = parse(text);
    if (!value) return value;
    if (!value->is_object()) return fail(jsonError(JsonErrorCode::notAnObject, "not a JSON object"));
    return value;
}

namespace {

// JSON has no spelling for NaN or the infinities; the library would write
// null in their place, silently changing the value.
bool holdsNonFiniteNumber(const Json& value) {
    if (value.is_number_float()) return !std::isfinite(value.get<double>());
    if (value.is_structured()) {
        for (const auto& element : value) {
            if (holdsNonFiniteNumber(element)) return true;
        }
    }
    return false;
}

}  // namespace

Result<std::string> dump(const Json& value) {
    if (holdsNonFiniteNumber(value)) return fail(jsonError(JsonErrorCode::invalidJSON, "number is not finite"));
    try {
        return value.dump(-1, ' ', false, Json::error_handler_t::strict);
    } catch (const Json::exception& error) {
        return fail(jsonError(JsonErrorCode::invalidJSON, error.what()));
    }
}

Result<std::optional<std::string>> optionalString(const Json& object, std::string_view key) {
    return readOptional<std::string>(
        object, key, "a string", [](const Json& v) { return v.is_string(); },
        [](const Json& v) { return v.get<std::string>(); });
}

Result<std::optional<bool>> optionalBool(const Json& object, std::string_view key) {
    return readOptional<bool>(
        object, key, "a bool", [](const Json& v) { return v.is_boolean(); }, [](const Json& v) { return v.get<bool>(); });
}

Result<std::optional<double>> optionalDouble(const Json& object, std::string_view key) {
    return readOptional<double>(
        object, key, "a number", [](const Json& v) { return v.is_number(); },
        [](const Json& v) { return v.get<double>(); });
}

Result<std::optional<Json>> optionalObject(const Json& object, std::string_view key) {
    return readOptional<Json>(
        object, key, "an object", [](const Json& v) { return v.is_object(); }, [](const Json& v) { return v; });
}

Result<std::optional<Json>> optionalArray(const Json& object, std::string_view key) {
    return readOptional<Json>(
        object, key, "an array", [](const Json& v) { return v.is_array(); }, [](const Json& v) { return v; });
}

Result<std::string> requiredString(const Json& object, std::string_view key) {
    return require(optionalString(object, key), key);
}
Result<bool> requiredBool(const Json& object, std::string_view key) { return require(optionalBool(object, key), key); }
Result<double> requiredDouble(const Json& object, std::string_view key) {
    return require(optionalDouble(object, key), key);
}
Result<Json> requiredObject(const Json& object, std::string_view key) {
    return require(optionalObject(object, key), key);
}
Result<Json> requiredArray(const Json& object, std::string_view key) {
    return require(optionalArray(object, key), key);
}

Result<std::optional<long long>> optionalIntegerInRange(const Json& object, std::string_view key, long long min,
                                                        long long max) {
    auto found = lookup(object, key);
    if (!found) return fail(found.error());
    if (!*found) return std::optional<long long>{};
    const Json& value = **found;
    const auto outOfRange = [&] {
        return fail(jsonError(JsonErrorCode::outOfRange, "key " + quoted(key) + " is out of range"));
    };
    if (value.is_number_unsigned()) {
        const auto number = value.get<unsigned long long>();
        if (max < 0 || number > static_cast<unsigned long long>(max)) return outOfRange();
        return std::optional<long long>{static_cast<long long>(number)};
    }
    if (value.is_number_integer()) {
        const auto number = value.get<long long>();
        if (number < min || number > max) return outOfRange();
        return std::optional<long long>{number};
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!std::isfinite(number) || number != std::trunc(number)) return fail(mismatch(key, "an integer"));
        // Compare in double before converting: converting an out-of-range
        // double to an integer is undefined behaviour.
        if (number < static_cast<double>(min) || number >= -static_cast<double>(LLONG_MIN) ||
            static_cast<long long>(number) > max || static_cast<long long>(number) < min) {
            return outOfRange();
        }
        return std::optional<long long>{static_cast<long long>(number)};
    }
    return fail(mismatch(key, "an integer"));
}

}  // namespace murmo::json
