#include "platform/sim/SimBundle.h"

namespace murmo {

std::optional<std::string> SimBundle::infoString(const char* key) const {
    if (!info_ || !info_->is_object()) return std::nullopt;
    const auto found = info_->find(key);
    if (found == info_->end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<std::filesystem::path> SimBundle::executableURL() const {
    auto name = infoString("CFBundleExecutable");
    if (!name) return std::nullopt;
    return url_ / "Contents/MacOS" / *name;
}

std::optional<std::string> SimBundle::bundleIdentifier() const { return infoString("CFBundleIdentifier"); }

void SimBundle::addResource(std::string name, std::filesystem::path file, std::string subdirectory) {
    resources_[subdirectory + "/" + name] = std::move(file);
}

std::optional<std::filesystem::path> SimBundle::urlForResource(std::string_view name, std::string_view extension,
                                                               std::string_view subdirectory) const {
    const auto found =
        resources_.find(std::string(subdirectory) + "/" + std::string(name) + "." + std::string(extension));
    if (found == resources_.end()) return std::nullopt;
    return found->second;
}

}  // namespace murmo
