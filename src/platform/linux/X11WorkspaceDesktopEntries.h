#pragma once

// The installed applications' desktop entries, through GIO (its desktop-file
// folders: $XDG_DATA_HOME and $XDG_DATA_DIRS, as GIO read them when first
// asked). An application's identifier is its desktop id without ".desktop"
// ("org.example.Editor" for org.example.Editor.desktop), the name
// desktop entries give applications. Main thread only.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/EwmhWindowProperties.h"

namespace murmo {

struct DesktopEntry {
    // The desktop id without ".desktop".
    std::string identifier;
    std::string name;
    std::filesystem::path file;
    // Icon=: an icon name for the icon theme, or an absolute file path.
    std::optional<std::string> icon{};

    bool operator==(const DesktopEntry&) const = default;
};

// What a running program shows of itself, to find its entry by.
struct ProgramTraits {
    std::optional<X11WindowClass> windowClass{};
    // /proc/PID/exe, when readable.
    std::optional<std::filesystem::path> executable{};
    // /proc/PID/comm: the executable's name cut to 15 bytes.
    std::string commandName;
};

class X11WorkspaceDesktopEntries {
public:
    // With or without ".desktop"; absent for anything but an installed
    // entry's id (a path is none).
    std::optional<DesktopEntry> forIdentifier(std::string_view identifier) const;
    // A desktop entry file read where it is, installed or not.
    std::optional<DesktopEntry> forFile(const std::filesystem::path& file) const;
    // The installed entry that best names the program, in this order:
    // StartupWMClass equal to the window's class or instance name; a
    // desktop id (or its last dotted part) equal to one of them; the entry's
    // Exec program being the process's executable, or having its command
    // name. Names compare without case. Absent when none matches.
    std::optional<DesktopEntry> forProgram(const ProgramTraits& program) const;
};

}  // namespace murmo
