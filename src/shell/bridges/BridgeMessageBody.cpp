#include "shell/bridges/BridgeMessageBody.h"

#include <algorithm>
#include <string>

namespace murmo {

std::optional<BridgeMessageBody> BridgeMessageBody::of(const std::optional<json::Json>& body) {
    if (!body || !body->is_object()) return std::nullopt;
    return BridgeMessageBody(*body);
}

bool BridgeMessageBody::hasExactKeys(std::initializer_list<std::string_view> keys) const {
    // Same count and each expected key present: with distinct expected keys
    // that is the same set.
    if (object_->size() != keys.size()) return false;
    const bool allPresent = std::ranges::all_of(keys, [this](std::string_view key) { return has(key); });
    return allPresent && !holdsNull();
}

bool BridgeMessageBody::hasKeysAmong(std::initializer_list<std::string_view> keys) const {
    for (const auto& [key, value] : object_->items()) {
        if (std::ranges::find(keys, std::string_view(key)) == keys.end()) return false;
    }
    return !holdsNull();
}

bool BridgeMessageBody::has(std::string_view key) const { return value(key) != nullptr; }

std::optional<std::string_view> BridgeMessageBody::string(std::string_view key) const {
    const auto* found = value(key);
    if (!found || !found->is_string()) return std::nullopt;
    return std::string_view(found->get_ref<const std::string&>());
}

std::optional<bool> BridgeMessageBody::boolean(std::string_view key) const {
    const auto* found = value(key);
    if (!found || !found->is_boolean()) return std::nullopt;
    return found->get<bool>();
}

std::optional<double> BridgeMessageBody::number(std::string_view key) const {
    const auto* found = value(key);
    // nlohmann's is_number() is false for booleans.
    if (!found || !found->is_number()) return std::nullopt;
    return found->get<double>();
}

std::optional<std::span<const json::Json>> BridgeMessageBody::array(std::string_view key) const {
    const auto* found = value(key);
    if (!found || !found->is_array()) return std::nullopt;
    const auto& elements = found->get_ref<const json::Json::array_t&>();
    return std::span<const json::Json>(elements);
}

const json::Json* BridgeMessageBody::value(std::string_view key) const {
    // Looked up as a std::string, which keeps the key's length.
    const auto found = object_->find(std::string(key));
    return found == object_->end() ? nullptr : &*found;
}

bool BridgeMessageBody::holdsNull() const {
    return std::ranges::any_of(*object_, [](const json::Json& value) { return value.is_null(); });
}

}  // namespace murmo
