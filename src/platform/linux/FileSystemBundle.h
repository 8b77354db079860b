#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/Bundle.h"

namespace murmo {

// An application bundle laid out on disk ("Murmo.app/Contents/..."), its Info
// dictionary read from "Contents/Info.plist". A program that runs from outside
// a bundle (a development build) is a bundle whose folder is the program's
// own, with no Info dictionary and no resources.
class FileSystemBundle final : public Bundle {
public:
    FileSystemBundle(std::filesystem::path bundleURL, bool isMain);

    // The bundle of the running program, found from /proc/self/exe: the folder
    // three levels up when the program lies in "Contents/MacOS".
    static std::shared_ptr<FileSystemBundle> mainBundle();
    static std::filesystem::path bundleURLForExecutable(const std::filesystem::path& executable);

    std::filesystem::path bundleURL() const override { return bundleURL_; }
    std::optional<std::filesystem::path> executableURL() const override;
    std::optional<std::filesystem::path> resourceURL() const override;
    std::optional<std::string> bundleIdentifier() const override;
    std::optional<nlohmann::json> infoDictionary() const override { return info_; }
    std::optional<std::filesystem::path> urlForResource(std::string_view name, std::string_view extension,
                                                        std::string_view subdirectory = {}) const override;
    bool isMainBundle() const override { return isMain_; }

private:
    std::filesystem::path bundleURL_;
    bool isMain_;
    std::optional<nlohmann::json> info_;
};

// The Info dictionary of an XML or binary property list, as JSON; nothing when
// the text is not a property list holding a dictionary.
std::optional<nlohmann::json> infoDictionaryFromPropertyList(std::string_view bytes);

}  // namespace murmo
