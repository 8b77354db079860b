#pragma once

// An application icon named by a desktop entry, found the way icon themes fall
// back when none is chosen: the "hicolor" theme's fixed-size
// "apps" folders (NxN) under $XDG_DATA_HOME/icons and each of
// $XDG_DATA_DIRS' icons, then the pixmaps folders. The user's chosen theme
// is not consulted (that needs the toolkit's settings), and only PNG files
// are read: a scalable (SVG) icon alone reads as none. Main thread only.

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/PixelImage.h"

namespace murmo {

class X11WorkspaceIconTheme {
public:
    // `icon`: a name ("org.example.Editor") or an absolute PNG path. Of the
    // sizes found, the one closest to `preferredPixelSize` (the larger of
    // two equally close). Absent when none is found or decodes.
    std::optional<PixelImage> load(std::string_view icon, int preferredPixelSize) const;

    // A PNG file as straight RGBA; absent when it cannot be read.
    static std::optional<PixelImage> decodePNG(const std::filesystem::path& file);
};

}  // namespace murmo
