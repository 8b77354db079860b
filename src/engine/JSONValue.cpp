#include "engine/JSONValue.h"

namespace murmo {

namespace {

Error tooDeep() { return json::jsonError(json::JsonErrorCode::tooDeep, "JSON nesting is too deep"); }

}  // namespace

std::optional<Error> JSONValue::decodeInto(const json::Json& value, JSONValue& target, std::size_t depth) {
    if (depth > kMaximumDepth) return tooDeep();
    // The order of the checks is the order in which a value is tried: null,
    // text, bool (a number is never read as a bool), number, object, array.
    if (value.is_null()) {
        target.storage_.emplace<std::nullptr_t>();
    } else if (value.is_string()) {
        target.storage_.emplace<std::string>(value.get_ref<const std::string&>());
    } else if (value.is_boolean()) {
        target.storage_.emplace<bool>(value.get<bool>());
    } else if (value.is_number()) {
        target.storage_.emplace<double>(value.get<double>());
    } else if (value.is_object()) {
        auto& members = target.storage_.emplace<Object>();
        for (const auto& [key, member] : value.items()) {
            if (auto error = decodeInto(member, members[key], depth + 1)) return error;
        }
    } else if (value.is_array()) {
        auto& elements = target.storage_.emplace<Array>();
        elements.resize(value.size());
        std::size_t index = 0;
        for (const auto& element : value) {
            if (auto error = decodeInto(element, elements[index++], depth + 1)) return error;
        }
    } else {
        return json::jsonError(json::JsonErrorCode::typeMismatch, "not a JSON value");
    }
    return std::nullopt;
}

Result<JSONValue> JSONValue::fromJSON(const json::Json& value) {
    Result<JSONValue> result(std::in_place);
    if (auto error = decodeInto(value, *result, 0)) return fail(*error);
    return result;
}

Result<JSONValue::Object> JSONValue::objectFromJSON(const json::Json& value) {
    if (!value.is_object()) return fail(json::jsonError(json::JsonErrorCode::notAnObject, "not a JSON object"));
    Result<Object> result(std::in_place);
    for (const auto& [key, member] : value.items()) {
        if (auto error = decodeInto(member, (*result)[key], 1)) return fail(*error);
    }
    return result;
}

Result<JSONValue::Object> JSONValue::decodeObject(std::string_view text) {
    auto parsed = json::parseObject(text);
    if (!parsed) return fail(parsed.error());
    return objectFromJSON(*parsed);
}

std::optional<double> JSONValue::number() const {
    if (const auto* value = std::get_if<double>(&storage_)) return *value;
    return std::nullopt;
}

std::optional<bool> JSONValue::boolean() const {
    if (const auto* value = std::get_if<bool>(&storage_)) return *value;
    return std::nullopt;
}

const JSONValue* member(const JSONValue::Object& object, std::string_view key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &found->second;
}

const std::string* stringMember(const JSONValue::Object& object, std::string_view key) {
    const auto* value = member(object, key);
    return value ? value->string() : nullptr;
}

std::optional<std::string> optionalStringMember(const JSONValue::Object& object, std::string_view key) {
    const auto* value = stringMember(object, key);
    return value ? std::optional(*value) : std::nullopt;
}

const JSONValue::Object* objectMember(const JSONValue::Object& object, std::string_view key) {
    const auto* value = member(object, key);
    return value ? value->object() : nullptr;
}

}  // namespace murmo
