#include "shell/menus/StatusMenu.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "MenuOutline.h"

namespace murmo {
namespace {

using testing::outline;
using testing::stringsIn;

const CoordinatorMenuStatus kConnected{.connected = true, .paused = false, .shortcutDescription = {}};

const PermissionSnapshot kAllGranted{.microphone = MicrophoneAuthorizationStatus::authorized,
                                     .accessibility = true,
                                     .inputMonitoring = true,
                                     .eventPosting = true};

NativeLaunchAtLoginState loginState(NativeLaunchAtLoginStatus status) {
    return NativeLaunchAtLoginState{
        .value = status == NativeLaunchAtLoginStatus::enabled || status == NativeLaunchAtLoginStatus::requiresApproval,
        .status = status};
}

StatusMenu refreshedMenu(NativeAppLanguage language, const CoordinatorMenuStatus& coordinator = kConnected,
                         const PermissionSnapshot& permissions = kAllGranted,
                         NativeLaunchAtLoginStatus login = NativeLaunchAtLoginStatus::disabled) {
    StatusMenu menu;
    menu.refreshLocalizedChrome(stringsIn(language));
    menu.refresh(coordinator, permissions, loginState(login), stringsIn(language));
    return menu;
}

const MenuItem& itemWith(const Menu& menu, MenuAction action) {
    for (const auto& item : menu.items) {
        if (item.action == action) return item;
    }
    throw std::logic_error("no such item");
}

TEST(StatusMenuTest, ItemsInOrderWithSeparatorsActionsAndKeyEquivalents) {
    struct Row {
        std::optional<MenuAction> action;
        bool separator;
        std::string keyEquivalent;
        MenuModifierMask mask;
        bool enabled;
    };
    using M = MenuModifierMask;
    const std::vector<Row> expected = {
        {std::nullopt, false, "", M::none, false},  // connection and permissions
        {MenuAction::openDashboard, false, "", M::none, true},
        {std::nullopt, true, "", M::none, true},
        {MenuAction::togglePause, false, "", M::none, true},
        {MenuAction::openSettings, false, ",", M::command, true},
        {MenuAction::toggleLaunchAtLogin, false, "", M::none, true},
        {std::nullopt, true, "", M::none, true},
        {MenuAction::requestMic, false, "", M::none, true},
        {MenuAction::requestAccessibility, false, "", M::none, true},
        {MenuAction::requestInput, false, "", M::none, true},
        {std::nullopt, true, "", M::none, true},
        {std::nullopt, false, "", M::none, false},  // shortcut
        {MenuAction::quit, false, "q", M::command, true},
    };
    for (const auto& menu : {StatusMenu().menu(), refreshedMenu(NativeAppLanguage::english).menu()}) {
        EXPECT_FALSE(menu.autoenablesItems) << "only the shell enables and disables the status menu's items";
        EXPECT_EQ(menu.delegate, MenuTarget::applicationDelegate);
        ASSERT_EQ(menu.items.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& item = menu.items[i];
            EXPECT_EQ(item.action, expected[i].action);
            EXPECT_EQ(item.isSeparator, expected[i].separator);
            EXPECT_EQ(item.keyEquivalent, expected[i].keyEquivalent);
            EXPECT_EQ(item.modifierMask, expected[i].mask);
            EXPECT_EQ(item.enabled, expected[i].enabled);
            EXPECT_EQ(item.target, item.action ? MenuTarget::applicationDelegate : MenuTarget::firstResponder);
        }
    }
}

TEST(StatusMenuTest, EveryTitleInEnglishAndTurkish) {
    const CoordinatorMenuStatus status{.connected = true, .paused = false, .shortcutDescription = "Fn/Globe (hold)"};
    EXPECT_EQ(
        outline(refreshedMenu(NativeAppLanguage::english, status).menu()),
        (std::vector<std::string>{
            "Core connected  •  Mic ✓  Accessibility ✓  Keys ✓", "Open Dorvex", "---", "Pause Dictation", "Settings…",
            "Launch at Login", "---", "Check Microphone Permission", "Check Accessibility Permission",
            "Check Input Monitoring Permission", "---", "Shortcut: Fn/Globe (hold)", "Quit Dorvex Completely"}));
    const CoordinatorMenuStatus turkishStatus{
        .connected = true, .paused = false, .shortcutDescription = "Fn/Globe (basılı tut)"};
    EXPECT_EQ(
        outline(refreshedMenu(NativeAppLanguage::turkish, turkishStatus).menu()),
        (std::vector<std::string>{"Çekirdek bağlı  •  Mikrofon ✓  Erişilebilirlik ✓  Tuşlar ✓", "Dorvex’yi Aç", "---",
                                  "Dikteyi Duraklat", "Ayarlar…", "Girişte Başlat", "---", "Mikrofon İznini Kontrol Et",
                                  "Erişilebilirlik İznini Kontrol Et", "Klavye İzleme İznini Kontrol Et", "---",
                                  "Kısayol: Fn/Globe (basılı tut)", "Dorvex’den Tamamen Çık"}));
}

TEST(StatusMenuTest, StateLineJoinsConnectionAndPermissionsWithABullet) {
    struct Case {
        bool connected;
        PermissionSnapshot permissions;
        NativeAppLanguage language;
        std::string line;
    };
    const Case cases[] = {
        {true, kAllGranted, NativeAppLanguage::english, "Core connected  •  Mic ✓  Accessibility ✓  Keys ✓"},
        {false, kAllGranted, NativeAppLanguage::english, "Core offline  •  Mic ✓  Accessibility ✓  Keys ✓"},
        {false, PermissionSnapshot{}, NativeAppLanguage::english, "Core offline  •  Mic !  Accessibility !  Keys !"},
        {true,
         PermissionSnapshot{.microphone = MicrophoneAuthorizationStatus::denied,
                            .accessibility = true,
                            .inputMonitoring = false,
                            .eventPosting = false},
         NativeAppLanguage::english, "Core connected  •  Mic !  Accessibility ✓  Keys !"},
        {false, kAllGranted, NativeAppLanguage::turkish,
         "Çekirdek çevrimdışı  •  Mikrofon ✓  Erişilebilirlik ✓  Tuşlar ✓"},
        {true, kAllGranted, NativeAppLanguage::german, "Core connected  •  Mic ✓  Accessibility ✓  Keys ✓"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const CoordinatorMenuStatus status{.connected = c.connected, .paused = false, .shortcutDescription = {}};
        const auto menu = refreshedMenu(c.language, status, c.permissions).menu();
        EXPECT_EQ(menu.items.front().title, c.line);
        EXPECT_FALSE(menu.items.front().enabled);
    }
}

TEST(StatusMenuTest, PauseTitleAndDimmedIconFollowThePausedFlag) {
    struct Case {
        bool paused;
        NativeAppLanguage language;
        std::string title;
    };
    const Case cases[] = {
        {false, NativeAppLanguage::english, "Pause Dictation"},
        {true, NativeAppLanguage::english, "Resume Dictation"},
        {false, NativeAppLanguage::turkish, "Dikteyi Duraklat"},
        {true, NativeAppLanguage::turkish, "Dikteyi Sürdür"},
    };
    StatusMenu menu;
    EXPECT_FALSE(menu.iconAppearsDisabled());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const CoordinatorMenuStatus status{.connected = true, .paused = c.paused, .shortcutDescription = {}};
        // One menu through every case: each refresh sets both ways.
        menu.refresh(status, kAllGranted, loginState(NativeLaunchAtLoginStatus::enabled), stringsIn(c.language));
        EXPECT_EQ(itemWith(menu.menu(), MenuAction::togglePause).title, c.title);
        EXPECT_EQ(menu.iconAppearsDisabled(), c.paused);
    }
}

TEST(StatusMenuTest, LaunchAtLoginItemFollowsTheSystemStatus) {
    struct Case {
        NativeLaunchAtLoginStatus status;
        NativeAppLanguage language;
        MenuItemState state;
        std::string title;
        bool enabled;
    };
    using S = NativeLaunchAtLoginStatus;
    const Case cases[] = {
        {S::enabled, NativeAppLanguage::english, MenuItemState::on, "Launch at Login", true},
        {S::disabled, NativeAppLanguage::english, MenuItemState::off, "Launch at Login", true},
        {S::requiresApproval, NativeAppLanguage::english, MenuItemState::mixed, "Launch at Login · Awaiting approval",
         true},
        {S::unavailable, NativeAppLanguage::english, MenuItemState::off, "Launch at Login · Unavailable", false},
        {S::requiresApproval, NativeAppLanguage::turkish, MenuItemState::mixed, "Girişte Başlat · Onay bekliyor", true},
        {S::unavailable, NativeAppLanguage::turkish, MenuItemState::off, "Girişte Başlat · Kullanılamıyor", false},
        // Available again after being unavailable: enabled once more.
        {S::enabled, NativeAppLanguage::english, MenuItemState::on, "Launch at Login", true},
    };
    StatusMenu menu;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        menu.refresh(kConnected, kAllGranted, loginState(c.status), stringsIn(c.language));
        const auto shown = menu.menu();
        const auto& item = itemWith(shown, MenuAction::toggleLaunchAtLogin);
        EXPECT_EQ(item.state, c.state);
        EXPECT_EQ(item.title, c.title);
        EXPECT_EQ(item.enabled, c.enabled);
    }
}

TEST(StatusMenuTest, ShortcutLineCarriesTheCoordinatorsDescription) {
    struct Case {
        std::string description;
        NativeAppLanguage language;
        std::string line;
    };
    const Case cases[] = {
        {"Fn/Globe (hold)", NativeAppLanguage::english, "Shortcut: Fn/Globe (hold)"},
        {"Control+Option+keyCode 49 (hold) · disabled", NativeAppLanguage::english,
         "Shortcut: Control+Option+keyCode 49 (hold) · disabled"},
        {"Fn/Globe (basılı tut) · devre dışı", NativeAppLanguage::turkish,
         "Kısayol: Fn/Globe (basılı tut) · devre dışı"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const CoordinatorMenuStatus status{.connected = true, .paused = false, .shortcutDescription = c.description};
        const auto menu = refreshedMenu(c.language, status).menu();
        const auto& shortcut = menu.items[menu.items.size() - 2];
        EXPECT_EQ(shortcut.title, c.line);
        EXPECT_FALSE(shortcut.enabled);
    }
}

}  // namespace
}  // namespace murmo
