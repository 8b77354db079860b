#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/Bundle.h"

namespace murmo {

// A bundle held in memory: its folder, Info dictionary and resources are what
// the test sets. The identifier and executable come from the Info dictionary
// as a real bundle's do.
class SimBundle final : public Bundle {
public:
    explicit SimBundle(std::filesystem::path url = "/Applications/Murmo.app",
                       std::optional<nlohmann::json> info = std::nullopt)
        : url_(std::move(url)), info_(std::move(info)) {}

    std::filesystem::path bundleURL() const override { return url_; }
    std::optional<std::filesystem::path> executableURL() const override;
    std::optional<std::filesystem::path> resourceURL() const override { return url_ / "Contents/Resources"; }
    std::optional<std::string> bundleIdentifier() const override;
    std::optional<nlohmann::json> infoDictionary() const override { return info_; }
    std::optional<std::filesystem::path> urlForResource(std::string_view name, std::string_view extension,
                                                        std::string_view subdirectory = {}) const override;
    bool isMainBundle() const override { return true; }

    void setInfoDictionary(std::optional<nlohmann::json> info) { info_ = std::move(info); }
    // `name.extension` (in `subdirectory`) resolves to `file`.
    void addResource(std::string name, std::filesystem::path file, std::string subdirectory = {});

private:
    std::optional<std::string> infoString(const char* key) const;

    std::filesystem::path url_;
    std::optional<nlohmann::json> info_;
    std::map<std::string, std::filesystem::path, std::less<>> resources_;
};

}  // namespace murmo
