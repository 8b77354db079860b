#pragma once

// How one of our windows looks: the appearance it is told to take and the
// colours it paints. Shared by the services that choose them and the window
// port that shows them.

#include <cstdint>

namespace murmo {

// What a window is told to look like: nothing (follow the system), light or
// dark.
enum class WindowAppearance { followSystem, aqua, darkAqua };

// sRGB components from 0 to 1.
struct RGBAColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr RGBAColor fromBytes(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return RGBAColor{red / 255.0, green / 255.0, blue / 255.0, 1.0};
    }
    bool operator==(const RGBAColor&) const = default;
};

}  // namespace murmo
