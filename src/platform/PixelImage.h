#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace murmo {

// A bitmap as the desktop hands images out (an application's icon, a file's
// icon): rows top to bottom, four bytes per pixel in the order red, green,
// blue, alpha, with straight (not premultiplied) alpha, rows packed without
// padding. That is the layout of a GdkPixbuf with alpha and of most decoded
// image files, so a backend copies rows and converts nothing.
struct PixelImage {
    static constexpr std::size_t kBytesPerPixel = 4;

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba{};

    // At least one pixel, and exactly width x height pixels of bytes.
    bool isValid() const {
        return width > 0 && height > 0 &&
               rgba.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kBytesPerPixel;
    }

    bool operator==(const PixelImage&) const = default;
};

}  // namespace murmo
