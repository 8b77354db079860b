#include "runtime/JsonRead.h"

#include <climits>
#include <cmath>
#include <vector>

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
Result<std::optional<T>> readOptional(const Json& object, std::string_view key, std::string_view expected, Check check,
                                      Get get) {
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

namespace {

// Builds the value from the parser's events, refusing to open a container
// beyond the bound. The parser keeps its own state on the heap, so
// neither it nor this builder recurses, whatever the input.
class BoundedDocumentBuilder final : public nlohmann::json_sax<Json> {
public:
    BoundedDocumentBuilder(Json& root, std::size_t maximumNesting) : root_(root), maximumNesting_(maximumNesting) {}

    bool tooDeep() const { return tooDeep_; }

    bool null() override { return add(nullptr); }
    bool boolean(bool value) override { return add(value); }
    bool number_integer(number_integer_t value) override { return add(value); }
    bool number_unsigned(number_unsigned_t value) override { return add(value); }
    bool number_float(number_float_t value, const string_t&) override { return add(value); }
    bool string(string_t& value) override { return add(std::move(value)); }
    bool binary(binary_t& value) override { return add(std::move(value)); }

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool key(string_t& name) override {
        member_ = &(*open_.back())[std::move(name)];
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const Json::exception&) override { return false; }

private:
    // Where the next value goes: the root, the end of the open array, or the
    // member whose key came last.
    Json* place(Json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        if (open_.back()->is_array()) {
            open_.back()->push_back(std::move(value));
            return &open_.back()->back();
        }
        *member_ = std::move(value);
        return member_;
    }

    bool add(Json value) {
        place(std::move(value));
        return true;
    }

    bool open(Json container) {
        if (open_.size() >= maximumNesting_) {
            tooDeep_ = true;
            return false;
        }
        open_.push_back(place(std::move(container)));
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    Json& root_;
    const std::size_t maximumNesting_;
    std::vector<Json*> open_;
    Json* member_ = nullptr;
    bool tooDeep_ = false;
};

// The parser takes a NUL byte for the end of the input, so "{}\0garbage"
// would read as "{}". JSON has no place for a raw NUL, so it is refused.
bool holdsNulByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

Error invalidJSON() { return jsonError(JsonErrorCode::invalidJSON, "invalid JSON"); }

}  // namespace

Result<Json> parse(std::string_view text) {
    if (holdsNulByte(text)) return fail(invalidJSON());
    auto value = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return fail(invalidJSON());
    return value;
}

Result<Json> parse(std::string_view text, std::size_t maximumNesting) {
    if (holdsNulByte(text)) return fail(invalidJSON());
    Json value;
    BoundedDocumentBuilder builder(value, maximumNesting);
    const bool parsed = Json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, /*strict=*/true);
    if (builder.tooDeep()) return fail(jsonError(JsonErrorCode::tooDeep, "JSON nesting is too deep"));
    if (!parsed) return fail(invalidJSON());
    return value;
}

Result<Json> parseObject(std::string_view text, std::size_t maximumNesting) {
    auto value = parse(text, maximumNesting);
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
        object, key, "a bool", [](const Json& v) { return v.is_boolean(); },
        [](const Json& v) { return v.get<bool>(); });
}

Result<std::optional<double>> optionalDouble(const Json& object, std::string_view key) {
    return readOptional<double>(
        object, key, "a number", [](const Json& v) { return v.is_number(); },
        [](const Json& v) { return v.get<double>(); });
}

namespace {

Result<const Json*> nested(const Json& object, std::string_view key, std::string_view expected, Json::value_t type) {
    auto value = lookup(object, key);
    if (!value) return fail(value.error());
    if (*value && (*value)->type() != type) return fail(mismatch(key, expected));
    return *value;
}

Result<const Json*> requireNested(Result<const Json*> value, std::string_view key) {
    if (value && !*value) return fail(jsonError(JsonErrorCode::missingKey, "missing key " + quoted(key)));
    return value;
}

}  // namespace

Result<const Json*> optionalObject(const Json& object, std::string_view key) {
    return nested(object, key, "an object", Json::value_t::object);
}

Result<const Json*> optionalArray(const Json& object, std::string_view key) {
    return nested(object, key, "an array", Json::value_t::array);
}

Result<std::string> requiredString(const Json& object, std::string_view key) {
    return require(optionalString(object, key), key);
}
Result<bool> requiredBool(const Json& object, std::string_view key) { return require(optionalBool(object, key), key); }
Result<double> requiredDouble(const Json& object, std::string_view key) {
    return require(optionalDouble(object, key), key);
}
Result<const Json*> requiredObject(const Json& object, std::string_view key) {
    return requireNested(optionalObject(object, key), key);
}
Result<const Json*> requiredArray(const Json& object, std::string_view key) {
    return requireNested(optionalArray(object, key), key);
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
