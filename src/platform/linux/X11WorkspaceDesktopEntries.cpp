#include "platform/linux/X11WorkspaceDesktopEntries.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>
#include <vector>

namespace murmo {

namespace {

constexpr std::string_view kSuffix = ".desktop";
// What the kernel keeps of an executable's name in /proc/PID/comm.
constexpr std::size_t kCommandNameLength = 15;

struct GObjectDeleter {
    void operator()(void* object) const { g_object_unref(object); }
};
struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
struct AppInfoListDeleter {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using AppInfo = std::unique_ptr<GDesktopAppInfo, GObjectDeleter>;
using GText = std::unique_ptr<char, GFreeDeleter>;
using AppInfoList = std::unique_ptr<GList, AppInfoListDeleter>;

std::string_view withoutSuffix(std::string_view id) {
    if (id.ends_with(kSuffix)) id.remove_suffix(kSuffix.size());
    return id;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return !a.empty() && a.size() == b.size() &&
           g_ascii_strncasecmp(a.data(), b.data(), static_cast<gsize>(a.size())) == 0;
}

std::optional<DesktopEntry> entryOf(GDesktopAppInfo* info) {
    const char* file = g_desktop_app_info_get_filename(info);
    if (!file) return std::nullopt;
    const char* id = g_app_info_get_id(G_APP_INFO(info));
    const std::string fileName = std::filesystem::path(file).filename().string();
    DesktopEntry entry{.identifier = std::string(withoutSuffix(id ? id : fileName)),
                       .name = g_app_info_get_name(G_APP_INFO(info)) ? g_app_info_get_name(G_APP_INFO(info)) : "",
                       .file = file};
    const GText icon(g_desktop_app_info_get_string(info, "Icon"));
    if (icon && *icon.get()) entry.icon = icon.get();
    return entry;
}

bool namesWindowClass(std::string_view name, const std::optional<X11WindowClass>& windowClass) {
    return windowClass &&
           (equalIgnoringCase(name, windowClass->className) || equalIgnoringCase(name, windowClass->instance));
}

// The Exec program, found on PATH as the launcher would, links resolved.
std::optional<std::filesystem::path> programPath(GDesktopAppInfo* info) {
    const char* executable = g_app_info_get_executable(G_APP_INFO(info));
    if (!executable || !*executable) return std::nullopt;
    const GText found(g_find_program_in_path(executable));
    if (!found) return std::nullopt;
    std::error_code error;
    auto resolved = std::filesystem::canonical(found.get(), error);
    if (error) return std::nullopt;
    return resolved;
}

// 1 to 3 by the order forProgram documents, 0 for no match.
int matchRank(GDesktopAppInfo* info, const ProgramTraits& program) {
    if (const char* wmClass = g_desktop_app_info_get_startup_wm_class(info);
        wmClass && namesWindowClass(wmClass, program.windowClass)) {
        return 1;
    }
    const char* rawID = g_app_info_get_id(G_APP_INFO(info));
    const auto id = withoutSuffix(rawID ? rawID : "");
    const auto lastDot = id.rfind('.');
    const auto lastPart = lastDot == std::string_view::npos ? id : id.substr(lastDot + 1);
    if (namesWindowClass(id, program.windowClass) || namesWindowClass(lastPart, program.windowClass)) return 2;
    const auto path = programPath(info);
    if (path && program.executable && *path == *program.executable) return 3;
    if (path && !program.commandName.empty() &&
        path->filename().string().substr(0, kCommandNameLength) == program.commandName) {
        return 3;
    }
    return 0;
}

}  // namespace

std::optional<DesktopEntry> X11WorkspaceDesktopEntries::forIdentifier(std::string_view identifier) const {
    const auto id = withoutSuffix(identifier);
    if (id.empty() || id.find('/') != std::string_view::npos) return std::nullopt;
    const auto desktopID = std::string(id) + std::string(kSuffix);
    const AppInfo info(g_desktop_app_info_new(desktopID.c_str()));
    if (!info) return std::nullopt;
    return entryOf(info.get());
}

std::optional<DesktopEntry> X11WorkspaceDesktopEntries::forFile(const std::filesystem::path& file) const {
    const AppInfo info(g_desktop_app_info_new_from_filename(file.c_str()));
    if (!info) return std::nullopt;
    return entryOf(info.get());
}

std::optional<DesktopEntry> X11WorkspaceDesktopEntries::forProgram(const ProgramTraits& program) const {
    const AppInfoList all(g_app_info_get_all());
    GDesktopAppInfo* best = nullptr;
    int bestRank = 0;
    for (GList* item = all.get(); item; item = item->next) {
        if (!G_IS_DESKTOP_APP_INFO(item->data)) continue;
        auto* info = G_DESKTOP_APP_INFO(item->data);
        const int rank = matchRank(info, program);
        if (rank != 0 && (bestRank == 0 || rank < bestRank)) {
            best = info;
            bestRank = rank;
            if (rank == 1) break;
        }
    }
    if (!best) return std::nullopt;
    return entryOf(best);
}

}  // namespace murmo
