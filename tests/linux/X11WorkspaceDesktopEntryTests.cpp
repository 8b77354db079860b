#include "platform/linux/X11Workspace.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "X11WorkspaceTestClient.h"
#include "platform/linux/CairoIconRenderer.h"
#include "runtime/ManualLoop.h"
#include "support/TemporaryDirectory.h"
#include "support/XTestClientProcess.h"

extern char** environ;

namespace murmo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TemporaryDirectory;
using testing::XTestClientProcess;

// GIO reads the XDG folders once per process: the checks run in a fresh copy
// of this program whose environment names folders of the test's making.
constexpr const char* kRootVariable = "MURMO_WORKSPACE_ENTRY_TEST_ROOT";
constexpr const char* kIdentifier = "org.murmo.TestOpener";
constexpr const char* kWindowClass = "MurmoTestOpenerWindow";

PixelImage solid(int side, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    PixelImage image{.width = side, .height = side};
    for (int pixel = 0; pixel < side * side; ++pixel) image.rgba.insert(image.rgba.end(), {red, green, blue, 0xff});
    return image;
}

void writePNG(const fs::path& file, const PixelImage& image) {
    const auto png = CairoIconRenderer().renderPNG(image, image.width);
    ASSERT_TRUE(png);
    fs::create_directories(file.parent_path());
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(png->data(), 1, png->size(), out);
    std::fclose(out);
}

// The installed entry (with an opener script for plain text and two icon
// sizes in the hicolor theme), the default-handler choice and a note.
void prepareFolders(TemporaryDirectory& root) {
    const auto base = root.path();
    root.writeFile("opener.sh",
                   "#!/bin/sh\necho \"$1\" > '" + (base / "opened.part").string() + "' && mv '" +
                       (base / "opened.part").string() + "' '" + (base / "opened").string() + "'\n",
                   fs::perms::owner_all);
    root.writeFile(fs::path("data/applications") / (std::string(kIdentifier) + ".desktop"),
                   "[Desktop Entry]\nType=Application\nName=Murmo Test Opener\nExec=" + (base / "opener.sh").string() +
                       " %f\nMimeType=text/plain;\nIcon=" + kIdentifier + "\nStartupWMClass=" + kWindowClass + "\n");
    root.writeFile("config/mimeapps.list",
                   "[Default Applications]\ntext/plain=" + std::string(kIdentifier) + ".desktop\n");
    root.writeFile("note.txt", "some plain text\n");
    writePNG(base / "data/icons/hicolor/16x16/apps" / (std::string(kIdentifier) + ".png"), solid(16, 0xff, 0, 0));
    writePNG(base / "data/icons/hicolor/48x48/apps" / (std::string(kIdentifier) + ".png"), solid(48, 0, 0, 0xff));
}

int runSelf(const std::string& filter, const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> environment(extraEnvironment);
    const auto overridden = [&](std::string_view variable) {
        const auto name = variable.substr(0, variable.find('=') + 1);
        return std::ranges::any_of(extraEnvironment, [&](const auto& extra) { return extra.starts_with(name); });
    };
    for (char** variable = environ; *variable; ++variable) {
        if (!overridden(*variable)) environment.emplace_back(*variable);
    }
    std::vector<char*> environmentPointers;
    for (auto& entry : environment) environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    std::string program = "/proc/self/exe";
    std::string filterArgument = "--gtest_filter=" + filter;
    std::array<char*, 3> arguments{program.data(), filterArgument.data(), nullptr};
    pid_t child = -1;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments.data(), environmentPointers.data()) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void checkInstalledApplication(const fs::path& base) {
    ManualLoop loop;
    auto opened = X11Workspace::open(loop);
    ASSERT_TRUE(opened) << opened.error().message;
    auto& workspace = **opened;
    const auto entryFile = base / "data/applications" / (std::string(kIdentifier) + ".desktop");

    EXPECT_EQ(workspace.urlForApplication(kIdentifier), entryFile);
    EXPECT_EQ(workspace.urlForApplication(std::string(kIdentifier) + ".desktop"), entryFile);
    EXPECT_FALSE(workspace.urlForApplication("../applications/" + std::string(kIdentifier)));

    // The theme's size closest to the one asked for.
    EXPECT_EQ(workspace.iconForFile(entryFile, 40), solid(48, 0, 0, 0xff));
    EXPECT_EQ(workspace.iconForFile(entryFile, 20), solid(16, 0xff, 0, 0));

    // A window whose class the entry names belongs to that application.
    TemporaryDirectory scripts;
    const auto client = testing::launchTestClient(scripts, {"--wm-class=opener," + std::string(kWindowClass)});
    ASSERT_TRUE(client);
    const auto application = workspace.runningApplication(client->pid());
    ASSERT_TRUE(application);
    EXPECT_EQ(application->bundleIdentifier, kIdentifier);
    EXPECT_EQ(application->bundleURL, entryFile);
    EXPECT_EQ(application->localizedName, "Murmo Test Opener");
    // No window icon: the entry's, from the theme.
    EXPECT_EQ(workspace.runningApplicationIcon(client->pid(), 48), solid(48, 0, 0, 0xff));

    // The default handler for plain text opens the note.
    const auto note = URL::parse("file://" + (base / "note.txt").string());
    ASSERT_TRUE(note);
    ASSERT_TRUE(workspace.open(*note));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists(base / "opened") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(fs::exists(base / "opened")) << "the handler never ran";
    EXPECT_EQ(testing::fileContents(base / "opened"), (base / "note.txt").string() + "\n");
}

TEST(X11WorkspaceDesktopEntryTest, InstalledEntriesNameDrawAndOpenForApplications) {
    if (const char* root = std::getenv(kRootVariable)) {
        checkInstalledApplication(root);
        return;
    }
    TemporaryDirectory root;
    prepareFolders(root);
    ASSERT_FALSE(HasFatalFailure());
    const auto base = root.path().string();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const int status =
        runSelf(std::string(info->test_suite_name()) + "." + info->name(),
                {std::string(kRootVariable) + "=" + base, "XDG_DATA_HOME=" + base + "/data",
                 "XDG_CONFIG_HOME=" + base + "/config", "XDG_DATA_DIRS=/usr/share", "XDG_CONFIG_DIRS=/nonexistent"});
    EXPECT_EQ(status, 0) << "the checks in the child failed (see its output above)";
}

}  // namespace
}  // namespace murmo
