#include "platform/linux/FileSystemBundle.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/Unicode.h"

namespace murmo {

namespace fs = std::filesystem;

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

// libplist hands out strings it allocated with malloc.
std::string takeString(char* text) {
    std::string result = text ? text : "";
    std::free(text);
    return result;
}

std::optional<nlohmann::json> toJSON(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            char* text = nullptr;
            plist_get_string_val(node, &text);
            // Text that is not UTF-8 counts as no string: a reader that
            // passed it on would make every JSON it lands in unwritable.
            auto string = takeString(text);
            if (!unicode::isValidUTF8(string)) return std::nullopt;
            return nlohmann::json(std::move(string));
        }
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return nlohmann::json(value != 0);
        }
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return nlohmann::json(value);
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            if (!std::isfinite(value)) return std::nullopt;  // JSON has no such number
            return nlohmann::json(value);
        }
        case PLIST_ARRAY: {
            auto array = nlohmann::json::array();
            for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) {
                if (auto item = toJSON(plist_array_get_item(node, i))) array.push_back(std::move(*item));
            }
            return array;
        }
        case PLIST_DICT: {
            auto object = nlohmann::json::object();
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, &key, &value);
                if (!key) break;
                auto name = takeString(key);
                if (!unicode::isValidUTF8(name)) continue;
                if (auto converted = value ? toJSON(value) : std::nullopt) object[name] = std::move(*converted);
            }
            std::free(iterator);
            return object;
        }
        default:
            // Dates, data and keyed archives have no use among our keys.
            return std::nullopt;
    }
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream input(path, std::ios::binary);
    if (!input) return std::nullopt;
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

}  // namespace

std::optional<nlohmann::json> infoDictionaryFromPropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    PlistPointer owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
    return toJSON(root);
}

FileSystemBundle::FileSystemBundle(fs::path bundleURL, bool isMain)
    : bundleURL_(std::move(bundleURL)), isMain_(isMain) {
    if (auto bytes = readFile(bundleURL_ / "Contents/Info.plist")) info_ = infoDictionaryFromPropertyList(*bytes);
}

fs::path FileSystemBundle::bundleURLForExecutable(const fs::path& executable) {
    const auto folder = executable.parent_path();
    if (folder.filename() == "MacOS" && folder.parent_path().filename() == "Contents") {
        return folder.parent_path().parent_path();
    }
    return folder;
}

std::shared_ptr<FileSystemBundle> FileSystemBundle::mainBundle() {
    std::error_code error;
    auto executable = fs::read_symlink("/proc/self/exe", error);
    if (error) executable = fs::current_path(error) / "murmo";
    return std::make_shared<FileSystemBundle>(bundleURLForExecutable(executable), true);
}

std::optional<fs::path> FileSystemBundle::executableURL() const {
    if (!info_) return std::nullopt;
    auto name = info_->find("CFBundleExecutable");
    if (name == info_->end() || !name->is_string()) return std::nullopt;
    return bundleURL_ / "Contents/MacOS" / name->get<std::string>();
}

std::optional<fs::path> FileSystemBundle::resourceURL() const {
    auto resources = bundleURL_ / "Contents/Resources";
    std::error_code error;
    if (!fs::is_directory(resources, error)) return std::nullopt;
    return resources;
}

std::optional<std::string> FileSystemBundle::bundleIdentifier() const {
    if (!info_) return std::nullopt;
    auto identifier = info_->find("CFBundleIdentifier");
    if (identifier == info_->end() || !identifier->is_string()) return std::nullopt;
    return identifier->get<std::string>();
}

std::optional<fs::path> FileSystemBundle::urlForResource(std::string_view name, std::string_view extension,
                                                         std::string_view subdirectory) const {
    auto resources = resourceURL();
    if (!resources) return std::nullopt;
    auto folder = subdirectory.empty() ? *resources : *resources / subdirectory;
    auto file = folder / (std::string(name) + (extension.empty() ? "" : "." + std::string(extension)));
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return std::nullopt;
    return file;
}

}  // namespace murmo
