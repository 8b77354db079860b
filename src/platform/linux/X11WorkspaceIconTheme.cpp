#include "platform/linux/X11WorkspaceIconTheme.h"

#include <charconv>
#include <string>
#include <system_error>
#include <vector>

#include "platform/linux/CairoHandles.h"
#include "platform/linux/EwmhWindowIcon.h"

#include <glib.h>

namespace murmo {

namespace {

struct SizedFile {
    int size = 0;
    std::filesystem::path file;
};

std::vector<std::filesystem::path> dataFolders() {
    std::vector<std::filesystem::path> folders{g_get_user_data_dir()};
    for (const char* const* folder = g_get_system_data_dirs(); *folder; ++folder) folders.emplace_back(*folder);
    return folders;
}

// The N of a folder named "NxN"; absent for any other name.
std::optional<int> squareSize(const std::string& name) {
    const auto cross = name.find('x');
    if (cross == std::string::npos || name.substr(0, cross) != name.substr(cross + 1)) return std::nullopt;
    int size = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + cross, size);
    if (error != std::errc{} || end != name.data() + cross || size <= 0) return std::nullopt;
    return size;
}

// Every fixed-size "apps" PNG of `name` in the hicolor theme under `folder`.
void collectThemeFiles(const std::filesystem::path& folder, const std::string& fileName,
                       std::vector<SizedFile>& found) {
    std::error_code error;
    const auto theme = folder / "icons" / "hicolor";
    for (std::filesystem::directory_iterator entries(theme, error), end; !error && entries != end;
         entries.increment(error)) {
        const auto size = squareSize(entries->path().filename().string());
        if (!size) continue;
        const auto file = entries->path() / "apps" / fileName;
        if (std::filesystem::is_regular_file(file, error)) found.push_back(SizedFile{.size = *size, .file = file});
    }
}

std::uint8_t unpremultiplied(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * 255 + alpha / 2) / alpha);
}

}  // namespace

std::optional<PixelImage> X11WorkspaceIconTheme::decodePNG(const std::filesystem::path& file) {
    const cairo_handles::Surface surface(cairo_image_surface_create_from_png(file.c_str()));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    const auto format = cairo_image_surface_get_format(surface.get());
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return std::nullopt;
    cairo_surface_flush(surface.get());
    PixelImage image{.width = cairo_image_surface_get_width(surface.get()),
                     .height = cairo_image_surface_get_height(surface.get())};
    if (image.width <= 0 || image.height <= 0) return std::nullopt;
    const auto stride = cairo_image_surface_get_stride(surface.get());
    const auto* data = cairo_image_surface_get_data(surface.get());
    image.rgba.reserve(static_cast<std::size_t>(image.width) * image.height * PixelImage::kBytesPerPixel);
    // Cairo keeps one native-endian, premultiplied 0xAARRGGBB word a pixel.
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            const auto pixel = row[x];
            const std::uint32_t alpha = format == CAIRO_FORMAT_RGB24 ? 255 : pixel >> 24;
            const std::uint32_t red = (pixel >> 16) & 0xff;
            const std::uint32_t green = (pixel >> 8) & 0xff;
            const std::uint32_t blue = pixel & 0xff;
            image.rgba.push_back(alpha == 0 ? 0 : unpremultiplied(red, alpha));
            image.rgba.push_back(alpha == 0 ? 0 : unpremultiplied(green, alpha));
            image.rgba.push_back(alpha == 0 ? 0 : unpremultiplied(blue, alpha));
            image.rgba.push_back(static_cast<std::uint8_t>(alpha));
        }
    }
    return image;
}

std::optional<PixelImage> X11WorkspaceIconTheme::load(std::string_view icon, int preferredPixelSize) const {
    if (icon.empty()) return std::nullopt;
    const std::filesystem::path asPath(icon);
    if (asPath.is_absolute()) return decodePNG(asPath);
    if (icon.find('/') != std::string_view::npos) return std::nullopt;
    // Older entries name the file ("editor.png"); the theme looks up names.
    std::string name(icon);
    if (name.ends_with(".png")) name.resize(name.size() - 4);
    const auto fileName = name + ".png";

    std::vector<SizedFile> themed;
    const auto folders = dataFolders();
    for (const auto& folder : folders) collectThemeFiles(folder, fileName, themed);
    const SizedFile* best = nullptr;
    for (const auto& candidate : themed) {
        if (!best || isCloserIconSize(candidate.size, best->size, preferredPixelSize)) best = &candidate;
    }
    if (best) {
        if (auto image = decodePNG(best->file)) return image;
    }
    for (const auto& folder : folders) {
        if (auto image = decodePNG(folder / "pixmaps" / fileName)) return image;
    }
    return std::nullopt;
}

}  // namespace murmo
