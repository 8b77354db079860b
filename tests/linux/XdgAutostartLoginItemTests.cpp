#include "platform/linux/XdgAutostartLoginItem.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/linux/FileSystemBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
namespace status = login_item_status;
using testing::TemporaryDirectory;

std::string infoPlist(std::string_view identifier) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>)" +
           std::string(identifier) + R"(</string>
<key>CFBundleExecutable</key><string>murmo</string>
</dict></plist>
)";
}

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    TemporaryDirectory home;
    fs::path config = home.path() / "config";

    // An application bundle laid out under `folder`, its executable executable.
    std::shared_ptr<FileSystemBundle> bundleAt(const fs::path& folder, std::string_view identifier = "local.murmo.dev",
                                               bool executable = true) {
        home.writeFile(folder / "Contents/Info.plist", infoPlist(identifier));
        if (executable) {
            home.writeExecutable(folder / "Contents/MacOS/murmo");
        } else {
            home.writeFile(folder / "Contents/MacOS/murmo", "#!/bin/sh\n");
        }
        return std::make_shared<FileSystemBundle>(home.path() / folder, true);
    }
    XdgAutostartLoginItem itemFor(std::shared_ptr<const Bundle> bundle) {
        return XdgAutostartLoginItem({{"XDG_CONFIG_HOME", config.string()}, {"HOME", home.path().string()}},
                                     std::move(bundle));
    }
    fs::path entry() const { return config / "autostart/local.murmo.dev.desktop"; }
    void writeEntry(std::string_view text) { home.writeFile("config/autostart/local.murmo.dev.desktop", text); }
};

TEST_F(XdgAutostartLoginItemTest, RegisteringWritesOurEntryAndEveryStatusReadsBack) {
    auto item = itemFor(bundleAt("prefix/lib/murmo/Murmo.app"));
    ASSERT_TRUE(item.isEligible());
    EXPECT_EQ(item.status(), status::notRegistered);
    ASSERT_TRUE(item.prepare());
    EXPECT_EQ(fs::status(config / "autostart").permissions(), fs::perms::owner_all);
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), status::enabled);

    const struct {
        const char* entry;
        std::int32_t status;
    } rows[] = {
        {"[Desktop Entry]\nType=Application\nExec=murmo\nX-Murmo-Bundle-Identifier=local.murmo.dev\nHidden=true\n",
         status::requiresApproval},
        {"[Desktop Entry]\nExec=murmo\nX-Murmo-Bundle-Identifier=local.murmo.dev\nX-GNOME-Autostart-enabled=false\n",
         status::requiresApproval},
        {"[Desktop Entry]\nExec=murmo\nX-Murmo-Bundle-Identifier=local.murmo.dev\nHidden=false\n", status::enabled},
        {"[Desktop Entry]\nExec=other-program\n", status::notFound},
        {"[Desktop Entry]\nX-Murmo-Bundle-Identifier=local.other\n", status::notFound},
        {"this is no key file\n", XdgAutostartLoginItem::kUnreadableEntry},
    };
    for (const auto& row : rows) {
        writeEntry(row.entry);
        EXPECT_EQ(item.status(), row.status) << row.entry;
    }

    ASSERT_TRUE(item.registerItem());
    ASSERT_TRUE(item.unregisterItem());
    EXPECT_EQ(item.status(), status::notRegistered);
    EXPECT_TRUE(item.unregisterItem()) << "nothing to remove is no failure";
    EXPECT_FALSE(item.openSettings());
}

TEST_F(XdgAutostartLoginItemTest, AnUnreadableEntryIsOutsideTheKnownSet) {
    auto item = itemFor(bundleAt("Murmo.app"));
    fs::create_directories(entry());
    EXPECT_EQ(item.status(), XdgAutostartLoginItem::kUnreadableEntry);
}

TEST_F(XdgAutostartLoginItemTest, ExecCarriesAnyPathExactly) {
    const fs::path folder = "odd place/$HOME \"quoted\" 100% `tick` back\\slash/Murmo.app";
    auto bundle = bundleAt(folder);
    auto item = itemFor(bundle);
    ASSERT_TRUE(item.prepare());
    ASSERT_TRUE(item.registerItem());

    GKeyFile* file = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_file(file, entry().c_str(), G_KEY_FILE_NONE, nullptr));
    char* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
    ASSERT_NE(exec, nullptr);
    // The desktop's own reading: "%%" is a literal "%", then the quoting.
    std::string text(exec);
    for (auto at = text.find("%%"); at != std::string::npos; at = text.find("%%", at + 1)) text.erase(at, 1);
    int argc = 0;
    char** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(text.c_str(), &argc, &argv, nullptr)) << exec;
    ASSERT_EQ(argc, 1);
    EXPECT_EQ(std::string(argv[0]), (home.path() / folder / "Contents/MacOS/murmo").string());
    g_strfreev(argv);
    g_free(exec);
    g_key_file_free(file);
}

TEST_F(XdgAutostartLoginItemTest, EligibilityNeedsALaunchableBundleWithAPlainIdentifier) {
    EXPECT_TRUE(itemFor(std::make_shared<FileSystemBundle>(MURMO_BUNDLE_DIR, true)).isEligible())
        << "the bundle the build lays out";
    EXPECT_FALSE(itemFor(bundleAt("Lost.app", "local.murmo.dev", false)).isEligible()) << "not executable";
    EXPECT_FALSE(itemFor(bundleAt("Slash.app", "local/murmo")).isEligible());
    EXPECT_FALSE(itemFor(bundleAt("Space.app", "local murmo")).isEligible());
    EXPECT_FALSE(itemFor(bundleAt("Dots.app", "..")).isEligible());
    EXPECT_FALSE(itemFor(bundleAt("NotABundle", "local.murmo.dev")).isEligible()) << "no .app folder";
    const auto bare = home.writeExecutable("bin/murmo");
    EXPECT_FALSE(itemFor(std::make_shared<FileSystemBundle>(bare.parent_path(), true)).isEligible())
        << "a bare program";
    EXPECT_FALSE(itemFor(bundleAt("Slash.app", "local/murmo")).registerItem());
}

}  // namespace
}  // namespace murmo
