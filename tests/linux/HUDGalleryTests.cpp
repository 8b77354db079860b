#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

struct PNGSize {
    int width = 0;
    int height = 0;
};

std::optional<PNGSize> decode(const std::string& path) {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
        cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return PNGSize{cairo_image_surface_get_width(image.get()), cairo_image_surface_get_height(image.get())};
}

TEST(HUDGalleryTest, TheGalleryWritesEveryPictureItListsAsAPNG) {
    testing::TemporaryDirectory folder;
    const std::string command =
        std::string(MURMO_HUD_GALLERY_PATH) + " --out '" + folder.path().string() + "/pictures' --scale 2";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> listed;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string path(line);
        if (!path.empty() && path.back() == '\n') path.pop_back();
        listed.push_back(path);
    }
    ASSERT_EQ(::pclose(pipe), 0);
    ASSERT_GT(listed.size(), 30u);
    EXPECT_TRUE(listed.back().ends_with("contact-sheet.png"));
    const auto controllerStrips = std::count_if(listed.begin(), listed.end(), [](const std::string& path) {
        return path.find("/strip-controller-") != std::string::npos;
    });
    EXPECT_GE(controllerStrips, 12) << "film strips of the real controller";
    for (const auto& path : listed) {
        const auto size = decode(path);
        ASSERT_TRUE(size) << path;
        EXPECT_GT(size->width, 0);
        EXPECT_GT(size->height, 0);
        if (path.ends_with("/listening.png")) {
            EXPECT_EQ(size->width, 164);
            EXPECT_EQ(size->height, 74);
        }
    }
    EXPECT_NE(::system((std::string(MURMO_HUD_GALLERY_PATH) + " --scale 0 --out x 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace murmo
