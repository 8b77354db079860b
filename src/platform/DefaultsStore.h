#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

namespace murmo {

// The application's user-defaults domain: values by key, each a JSON value
// (string, number, bool, array, object). Used on the main thread.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // Absent when nothing is stored under `key`.
    virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
    virtual void set(std::string_view key, nlohmann::json value) = 0;
    virtual void remove(std::string_view key) = 0;
};

}  // namespace murmo
