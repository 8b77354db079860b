#include "platform/linux/JsonFileDefaultsStore.h"

#include <cstring>

#include "platform/linux/ConfigFiles.h"
#include "runtime/JsonRead.h"
#include "runtime/RegularFileRead.h"

namespace murmo {

namespace files = config_files;

JsonFileDefaultsStore::JsonFileDefaultsStore(const EnvironmentMap& environment, Logger log)
    : path_(files::configHome(environment) / "murmo" / "defaults.json"), log_(std::move(log)) {
    load();
}

void JsonFileDefaultsStore::load() {
    auto read = readRegularFile(path_, kMaximumFileBytes);
    if (read.outcome == RegularFileRead::Outcome::absent) return;
    if (read.outcome != RegularFileRead::Outcome::read) {
        fileUntouchable_ = true;
        log_.error("Defaults file unreadable, kept as it is path={} errno={}", logPrivate(path_.string()),
                   logPublic(read.error));
        return;
    }
    auto parsed = json::parseObject(read.bytes);
    if (parsed) {
        values_ = std::move(*parsed);
        return;
    }
    auto moved = files::moveAside(path_, ".corrupt");
    if (!moved) {
        // It stays where it is, and so must every byte of it.
        fileUntouchable_ = true;
        log_.error("Defaults file unparsable and not moved detail={}", logPrivate(moved.error().message));
        return;
    }
    log_.error("Defaults file unparsable, moved aside to {} detail={}", logPrivate(moved->string()),
               logPublic(parsed.error().message));
}

std::optional<nlohmann::json> JsonFileDefaultsStore::value(std::string_view key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return *found;
}

void JsonFileDefaultsStore::set(std::string_view key, nlohmann::json value) {
    if (!json::dump(value)) {
        log_.error("Defaults value refused key={}: not storable as JSON", logPublic(key));
        return;
    }
    values_[std::string(key)] = std::move(value);
    save();
}

void JsonFileDefaultsStore::remove(std::string_view key) {
    if (values_.erase(std::string(key)) > 0) save();
}

void JsonFileDefaultsStore::save() {
    if (fileUntouchable_) return;
    // Every stored value was checked on the way in, so this dump succeeds.
    const auto text = json::dump(values_);
    if (!text) return;
    auto written = files::makePrivateFolders(path_.parent_path());
    if (written) written = files::replaceFileAtomically(path_, *text + "\n");
    if (!written) {
        log_.error("Defaults not written, kept for this run errno={} detail={}", logPublic(written.error().code),
                   logPrivate(written.error().message));
    }
}

}  // namespace murmo
