#pragma once

// The user defaults as one JSON object in $XDG_CONFIG_HOME/murmo/defaults.json,
// read once at construction and rewritten atomically on every change.
//
// What the user chose is never lost: a file that does not parse is moved
// aside (never over an earlier one) before the store starts empty; a file
// that exists but cannot be read is never moved or replaced (the values of
// this run then stay in memory); a failed write keeps the old file and the
// value for this run, and the next good write stores everything; a value JSON
// cannot hold (text that is not UTF-8) is refused, so it can never make every
// later write fail. Main thread only.

#include <filesystem>
#include <map>
#include <string>

#include "platform/DefaultsStore.h"
#include "runtime/Environment.h"
#include "runtime/Logger.h"

namespace murmo {

class JsonFileDefaultsStore final : public DefaultsStore {
public:
    static constexpr std::size_t kMaximumFileBytes = 4 * 1024 * 1024;

    JsonFileDefaultsStore(const EnvironmentMap& environment, Logger log);

    std::optional<nlohmann::json> value(std::string_view key) const override;
    void set(std::string_view key, nlohmann::json value) override;
    void remove(std::string_view key) override;

    const std::filesystem::path& path() const { return path_; }

private:
    void load();
    void save();

    std::filesystem::path path_;
    Logger log_;
    nlohmann::json values_ = nlohmann::json::object();
    // The file exists but could not be read: it must not be replaced.
    bool fileUntouchable_ = false;
};

}  // namespace murmo
