#include "platform/sim/SimDefaultsStore.h"

namespace murmo {

std::optional<nlohmann::json> SimDefaultsStore::value(std::string_view key) const {
    auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

void SimDefaultsStore::set(std::string_view key, nlohmann::json value) {
    changes_.push_back({std::string(key), value});
    values_.insert_or_assign(std::string(key), std::move(value));
}

void SimDefaultsStore::remove(std::string_view key) {
    changes_.push_back({std::string(key), std::nullopt});
    if (auto found = values_.find(key); found != values_.end()) values_.erase(found);
}

void SimDefaultsStore::preset(std::string_view key, nlohmann::json value) {
    values_.insert_or_assign(std::string(key), std::move(value));
}

}  // namespace murmo
