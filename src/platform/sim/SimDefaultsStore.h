#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DefaultsStore.h"

namespace murmo {

// An in-memory defaults domain that remembers every change, so tests can
// tell "written with the same value" from "not written".
class SimDefaultsStore final : public DefaultsStore {
public:
    struct Change {
        std::string key;
        std::optional<nlohmann::json> value;  // absent for a removal

        bool operator==(const Change&) const = default;
    };

    std::optional<nlohmann::json> value(std::string_view key) const override;
    void set(std::string_view key, nlohmann::json value) override;
    void remove(std::string_view key) override;

    // Seeds a value without recording it as a change.
    void preset(std::string_view key, nlohmann::json value);
    const std::vector<Change>& changes() const { return changes_; }

private:
    std::map<std::string, nlohmann::json, std::less<>> values_;
    std::vector<Change> changes_;
};

}  // namespace murmo
