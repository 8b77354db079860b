// murmo-hud-gallery --out DIR [--scale N]: writes a PNG of every HUD mode and
// variant, film strips of its animations and a captioned contact sheet, and
// prints each file it wrote.

#include <charconv>
#include <cstdio>
#include <string_view>

#include "HUDGallery.h"

int main(int argc, char** argv) {
    std::filesystem::path folder;
    int scale = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--out" && i + 1 < argc) {
            folder = argv[++i];
        } else if (argument == "--scale" && i + 1 < argc) {
            const std::string_view text = argv[++i];
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
            if (error != std::errc() || end != text.data() + text.size() || scale < 1 || scale > 4) {
                std::fprintf(stderr, "murmo-hud-gallery: --scale takes 1 to 4\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: murmo-hud-gallery --out DIR [--scale N]\n");
            return 2;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: murmo-hud-gallery --out DIR [--scale N]\n");
        return 2;
    }
    auto written = murmo::writeHUDGallery(folder, scale);
    if (!written) {
        std::fprintf(stderr, "murmo-hud-gallery: %s\n", written.error().message.c_str());
        return 1;
    }
    for (const auto& entry : *written) std::printf("%s.png\n", (folder / entry.name).c_str());
    return 0;
}
