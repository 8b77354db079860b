#pragma once

// The data URLs of icons already rendered, by "<pixel size>:<bundle id>",
// bounded: beyond its capacity the entry used least recently goes. Nothing
// else invalidates an entry, so an application whose icon changes keeps the
// old one until it is evicted. Main thread only.

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace murmo {

class IconDataURLCache {
public:
    static constexpr std::size_t kDefaultCapacity = 256;

    explicit IconDataURLCache(std::size_t capacity = kDefaultCapacity);

    static std::string keyFor(int pixelSize, std::string_view bundleIdentifier);

    // A hit counts as a use.
    std::optional<std::string> find(const std::string& key);
    void insert(const std::string& key, std::string dataURL);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string key;
        std::string dataURL;
    };

    std::size_t capacity_;
    // Most recently used first.
    std::list<Entry> entries_;
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace murmo
