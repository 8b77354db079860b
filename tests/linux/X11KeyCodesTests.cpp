#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "input/Shortcut.h"
#include "platform/linux/X11KeyCodes.h"

namespace murmo {
namespace {

// The keycodes the X server gives each key position, read from the XKB data
// the server itself loads (<AC01> = 38;), so the table is checked against
// the keyboard description rather than against its own arithmetic.
std::map<std::string, unsigned> xkbKeycodes() {
    std::ifstream file("/usr/share/X11/xkb/keycodes/evdev");
    std::map<std::string, unsigned> codes;
    const std::regex line(R"(^\s*<([A-Z0-9]+)>\s*=\s*([0-9]+)\s*;)");
    for (std::string text; std::getline(file, text);) {
        if (std::smatch match; std::regex_search(text, match, line)) codes[match[1]] = std::stoul(match[2]);
    }
    return codes;
}

struct Expected {
    // The model's name of the key where it has one (keyName), else a label.
    std::string name;
    std::uint16_t virtualKeyCode;
    std::string xkbName;
    bool modifier = false;
    std::uint64_t flag = 0;
};

namespace f = key_event_flags;

const std::vector<Expected> kExpected{
    {"A", 0, "AC01"},
    {"S", 1, "AC02"},
    {"D", 2, "AC03"},
    {"F", 3, "AC04"},
    {"H", 4, "AC06"},
    {"G", 5, "AC05"},
    {"Z", 6, "AB01"},
    {"X", 7, "AB02"},
    {"C", 8, "AB03"},
    {"V", 9, "AB04"},
    {"B", 11, "AB05"},
    {"Q", 12, "AD01"},
    {"W", 13, "AD02"},
    {"E", 14, "AD03"},
    {"R", 15, "AD04"},
    {"Y", 16, "AD06"},
    {"T", 17, "AD05"},
    {"1", 18, "AE01"},
    {"2", 19, "AE02"},
    {"3", 20, "AE03"},
    {"4", 21, "AE04"},
    {"6", 22, "AE06"},
    {"5", 23, "AE05"},
    {"=", 24, "AE12"},
    {"9", 25, "AE09"},
    {"7", 26, "AE07"},
    {"-", 27, "AE11"},
    {"8", 28, "AE08"},
    {"0", 29, "AE10"},
    {"]", 30, "AD12"},
    {"O", 31, "AD09"},
    {"U", 32, "AD07"},
    {"[", 33, "AD11"},
    {"I", 34, "AD08"},
    {"P", 35, "AD10"},
    {"Return", 36, "RTRN"},
    {"L", 37, "AC09"},
    {"J", 38, "AC07"},
    {"'", 39, "AC11"},
    {"K", 40, "AC08"},
    {";", 41, "AC10"},
    {"\\", 42, "BKSL"},
    {",", 43, "AB08"},
    {"/", 44, "AB10"},
    {"N", 45, "AB06"},
    {"M", 46, "AB07"},
    {".", 47, "AB09"},
    {"Tab", 48, "TAB"},
    {"Space", 49, "SPCE"},
    {"`", 50, "TLDE"},
    {"Delete", 51, "BKSP"},
    {"Escape", 53, "ESC"},
    {"F1", 122, "FK01"},
    {"F2", 120, "FK02"},
    {"F3", 99, "FK03"},
    {"F4", 118, "FK04"},
    {"F5", 96, "FK05"},
    {"F6", 97, "FK06"},
    {"F7", 98, "FK07"},
    {"F8", 100, "FK08"},
    {"F9", 101, "FK09"},
    {"F10", 109, "FK10"},
    {"F11", 103, "FK11"},
    {"F12", 111, "FK12"},
    {"F13", 105, "FK13"},
    {"F14", 107, "FK14"},
    {"F15", 113, "FK15"},
    {"F16", 106, "FK16"},
    {"F17", 64, "FK17"},
    {"F18", 79, "FK18"},
    {"F19", 80, "FK19"},
    {"F20", 90, "FK20"},
    {"Left", 123, "LEFT"},
    {"Right", 124, "RGHT"},
    {"Down", 125, "DOWN"},
    {"Up", 126, "UP"},
    {"right Command", 54, "RWIN", true, f::command},
    {"Command", 55, "LWIN", true, f::command},
    {"Shift", 56, "LFSH", true, f::shift},
    {"Caps Lock", 57, "CAPS", true, 0},
    {"Option", 58, "LALT", true, f::alternate},
    {"Control", 59, "LCTL", true, f::control},
    {"right Shift", 60, "RTSH", true, f::shift},
    {"right Option", 61, "RALT", true, f::alternate},
    {"right Control", 62, "RCTL", true, f::control},
    {"Fn/Globe (Menu)", 63, "COMP", true, f::secondaryFn},
};

TEST(X11KeyCodes, EveryKeyTranslatesByPositionBothWays) {
    const auto xkb = xkbKeycodes();
    ASSERT_FALSE(xkb.empty()) << "the XKB keycode data is missing";
    for (const auto& expected : kExpected) {
        const auto& name = expected.name;
        ASSERT_TRUE(xkb.contains(expected.xkbName)) << name;
        const unsigned xKeyCode = xkb.at(expected.xkbName);
        // The model's own key names agree with the position.
        if (expected.virtualKeyCode <= 51) {
            EXPECT_EQ(keyName(expected.virtualKeyCode), name);
        }
        EXPECT_EQ(isModifierKeyCode(expected.virtualKeyCode), expected.modifier) << name;

        EXPECT_EQ(X11KeyCodes::virtualKeyCode(xKeyCode), expected.virtualKeyCode) << name;
        EXPECT_EQ(X11KeyCodes::xKeyCode(expected.virtualKeyCode), xKeyCode) << name;
        const auto* key = X11KeyCodes::byXKeyCode(xKeyCode);
        ASSERT_NE(key, nullptr) << name;
        EXPECT_EQ(key->modifier, expected.modifier) << name;
        EXPECT_EQ(key->flag, expected.flag) << name;
    }
    EXPECT_EQ(X11KeyCodes::kMenuXKeyCode, xkb.at("COMP"));
    // Nothing in the table beyond these, and no key or code twice.
    EXPECT_EQ(X11KeyCodes::keys().size(), kExpected.size());
    std::set<unsigned> xKeyCodes;
    std::set<std::uint16_t> virtualKeyCodes;
    for (const auto& key : X11KeyCodes::keys()) {
        EXPECT_TRUE(xKeyCodes.insert(key.xKeyCode).second) << unsigned(key.xKeyCode);
        EXPECT_TRUE(virtualKeyCodes.insert(key.virtualKeyCode).second) << key.virtualKeyCode;
    }
}

TEST(X11KeyCodes, KeysOutsideTheTableGetCodesNoShortcutCanHold) {
    const auto xkb = xkbKeycodes();
    for (const char* name : {"HOME", "KP1", "LSGT", "INS"}) {
        ASSERT_TRUE(xkb.contains(name)) << name;
        const unsigned xKeyCode = xkb.at(name);
        EXPECT_EQ(X11KeyCodes::byXKeyCode(xKeyCode), nullptr) << name;
        const auto code = X11KeyCodes::virtualKeyCode(xKeyCode);
        EXPECT_GE(code, kChordKeyCodeLimit) << name;
        EXPECT_EQ(X11KeyCodes::xKeyCode(code), xKeyCode) << name;
    }
    // Nor does a code beyond the table name an X key.
    EXPECT_EQ(X11KeyCodes::xKeyCode(10), std::nullopt);
    EXPECT_EQ(X11KeyCodes::xKeyCode(-1), std::nullopt);
    EXPECT_EQ(X11KeyCodes::xKeyCode(0x10000), std::nullopt);
}

}  // namespace
}  // namespace murmo
