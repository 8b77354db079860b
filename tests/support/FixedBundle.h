#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Bundle.h"

namespace murmo::testing {

// A bundle that is only a folder: enough for code that looks for files under
// the bundle URL.
class FixedBundle final : public Bundle {
public:
    explicit FixedBundle(std::filesystem::path url) : url_(std::move(url)) {}
    void setBundleURL(std::filesystem::path url) { url_ = std::move(url); }

    std::filesystem::path bundleURL() const override { return url_; }
    std::optional<std::filesystem::path> executableURL() const override { return std::nullopt; }
    std::optional<std::filesystem::path> resourceURL() const override { return url_ / "Contents/Resources"; }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    std::optional<nlohmann::json> infoDictionary() const override { return std::nullopt; }
    std::optional<std::filesystem::path> urlForResource(std::string_view, std::string_view,
                                                        std::string_view) const override {
        return std::nullopt;
    }
    bool isMainBundle() const override { return true; }

private:
    std::filesystem::path url_;
};

}  // namespace murmo::testing
