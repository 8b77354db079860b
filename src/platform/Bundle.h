#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace murmo {

// An application bundle: "Murmo.app/Contents/{MacOS,Resources,Info.plist}".
// The Info dictionary is exposed as a JSON object (strings, numbers, bools,
// arrays, dictionaries), whatever the backend reads it from.
class Bundle {
public:
    virtual ~Bundle() = default;

    // The bundle folder itself (its path extension is "app" for an
    // application bundle; a development build may run from anywhere).
    virtual std::filesystem::path bundleURL() const = 0;
    virtual std::optional<std::filesystem::path> executableURL() const = 0;
    // "Contents/Resources" when the bundle has one.
    virtual std::optional<std::filesystem::path> resourceURL() const = 0;
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    // Absent when the bundle has no Info dictionary.
    virtual std::optional<nlohmann::json> infoDictionary() const = 0;
    // A resource that exists: name + "." + extension, in `subdirectory` of
    // the resource folder when one is given.
    virtual std::optional<std::filesystem::path> urlForResource(std::string_view name, std::string_view extension,
                                                                std::string_view subdirectory = {}) const = 0;
    virtual bool isMainBundle() const = 0;
};

}  // namespace murmo
