#include "shell/bridges/IconDataURLCache.h"

#include <utility>

namespace murmo {

IconDataURLCache::IconDataURLCache(std::size_t capacity) : capacity_(capacity) {}

std::string IconDataURLCache::keyFor(int pixelSize, std::string_view bundleIdentifier) {
    auto key = std::to_string(pixelSize);
    key += ':';
    key += bundleIdentifier;
    return key;
}

std::optional<std::string> IconDataURLCache::find(const std::string& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->dataURL;
}

void IconDataURLCache::insert(const std::string& key, std::string dataURL) {
    if (capacity_ == 0) return;
    if (const auto found = index_.find(key); found != index_.end()) {
        found->second->dataURL = std::move(dataURL);
        entries_.splice(entries_.begin(), entries_, found->second);
        return;
    }
    entries_.push_front(Entry{.key = key, .dataURL = std::move(dataURL)});
    index_.emplace(key, entries_.begin());
    if (entries_.size() > capacity_) {
        index_.erase(entries_.back().key);
        entries_.pop_back();
    }
}

}  // namespace murmo
