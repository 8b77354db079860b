#include "platform/linux/XdgAutostartLoginItem.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/ConfigFiles.h"
#include "runtime/RegularFileRead.h"

namespace murmo {

namespace fs = std::filesystem;
namespace files = config_files;

namespace {

constexpr std::string_view kErrorDomain = "MurmoAutostart";
constexpr const char* kGroup = "Desktop Entry";
constexpr std::size_t kMaximumEntryBytes = 64 * 1024;

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
using GString = std::unique_ptr<char, GFreeDeleter>;

// A boolean key that is present and reads as `value`.
bool hasBoolean(GKeyFile* file, const char* key, bool value) {
    GError* error = nullptr;
    const gboolean stored = g_key_file_get_boolean(file, kGroup, key, &error);
    if (error) {
        g_error_free(error);
        return false;
    }
    return static_cast<bool>(stored) == value;
}

Error autostartError(std::string message) { return Error(std::string(kErrorDomain), 1, std::move(message)); }

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(const EnvironmentMap& environment, std::shared_ptr<const Bundle> bundle)
    : autostartFolder_(files::configHome(environment) / "autostart"), bundle_(std::move(bundle)) {}

bool XdgAutostartLoginItem::isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

std::string XdgAutostartLoginItem::quotedExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    return quoted + "\"";
}

std::optional<std::string> XdgAutostartLoginItem::identifier() const {
    auto identifier = bundle_->bundleIdentifier();
    if (!identifier || !isPlainFileName(*identifier)) return std::nullopt;
    return identifier;
}

std::optional<fs::path> XdgAutostartLoginItem::entryPath() const {
    auto name = identifier();
    if (!name) return std::nullopt;
    return autostartFolder_ / (*name + ".desktop");
}

bool XdgAutostartLoginItem::isEligible() const { return identifier() && isLaunchableApplicationBundle(*bundle_); }

std::int32_t XdgAutostartLoginItem::status() const {
    const auto path = entryPath();
    if (!path) return login_item_status::notRegistered;
    const auto read = readRegularFile(*path, kMaximumEntryBytes);
    if (read.outcome == RegularFileRead::Outcome::absent) return login_item_status::notRegistered;
    if (read.outcome != RegularFileRead::Outcome::read) return kUnreadableEntry;

    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), read.bytes.data(), read.bytes.size(), G_KEY_FILE_NONE, nullptr)) {
        return kUnreadableEntry;
    }
    GString owner(g_key_file_get_string(file.get(), kGroup, std::string(kIdentifierKey).c_str(), nullptr));
    if (!owner || *identifier() != owner.get()) return login_item_status::notFound;
    const bool switchedOff =
        hasBoolean(file.get(), "Hidden", true) || hasBoolean(file.get(), "X-GNOME-Autostart-enabled", false);
    return switchedOff ? login_item_status::requiresApproval : login_item_status::enabled;
}

Status XdgAutostartLoginItem::prepare() { return files::makePrivateFolders(autostartFolder_); }

Status XdgAutostartLoginItem::registerItem() {
    const auto path = entryPath();
    const auto executable = bundle_->executableURL();
    if (!path || !executable) return std::unexpected(autostartError("This build cannot be started at login."));
    KeyFile file(g_key_file_new());
    g_key_file_set_string(file.get(), kGroup, "Type", "Application");
    g_key_file_set_string(file.get(), kGroup, "Name", "Murmo");
    g_key_file_set_string(file.get(), kGroup, "Exec", quotedExecArgument(executable->string()).c_str());
    g_key_file_set_boolean(file.get(), kGroup, "Terminal", false);
    g_key_file_set_boolean(file.get(), kGroup, "X-GNOME-Autostart-enabled", true);
    g_key_file_set_string(file.get(), kGroup, std::string(kIdentifierKey).c_str(), identifier()->c_str());
    gsize length = 0;
    GString data(g_key_file_to_data(file.get(), &length, nullptr));
    if (!data) return std::unexpected(autostartError("The login entry could not be written."));
    return files::replaceFileAtomically(*path, std::string_view(data.get(), length));
}

Status XdgAutostartLoginItem::unregisterItem() {
    const auto path = entryPath();
    if (!path) return {};
    if (::unlink(path->c_str()) != 0 && errno != ENOENT) {
        return std::unexpected(Error(std::string(kErrorDomain), errno, std::strerror(errno)));
    }
    return {};
}

}  // namespace murmo
