#pragma once

// Every HUD state as a picture: one PNG per mode and variant, film strips of
// the fade-in, the listening-to-processing morph and the dismissal, and a
// captioned contact sheet of them all.

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Error.h"

namespace murmo {

struct GalleryEntry {
    std::string name;  // the file name without ".png"
    std::string caption;
};

// Writes the pictures into `folder` at `scale` pixels per point; returns what
// it wrote, the contact sheet last.
Result<std::vector<GalleryEntry>> writeHUDGallery(const std::filesystem::path& folder, int scale);

}  // namespace murmo
