#include "shell/menus/LaunchAtLoginFailureAlert.h"

#include <gtest/gtest.h>

#include "MenuOutline.h"

namespace murmo {
namespace {

using testing::stringsIn;

TEST(LaunchAtLoginFailureAlertTest, AWarningInTheInterfaceLanguageOnlyAfterAFailure) {
    const auto failed = std::expected<void, NativePreferencesError>(
        std::unexpected(NativePreferencesError::launchAtLoginChangeFailed("The operation couldn’t be completed.")));
    const auto succeeded = std::expected<void, NativePreferencesError>();

    EXPECT_EQ(LaunchAtLoginFailureAlert::after(failed, stringsIn(NativeAppLanguage::english)),
              (MenuAlert{.style = MenuAlert::Style::warning,
                         .messageText = "Launch at Login could not be changed",
                         .informativeText = "Check settings and try again"}));
    EXPECT_EQ(LaunchAtLoginFailureAlert::after(failed, stringsIn(NativeAppLanguage::turkish)),
              (MenuAlert{.style = MenuAlert::Style::warning,
                         .messageText = "Girişte başlatma ayarı değiştirilemedi",
                         .informativeText = "Ayarları kontrol edip tekrar deneyin"}));
    const auto unavailable = std::expected<void, NativePreferencesError>(
        std::unexpected(NativePreferencesError::launchAtLoginUnavailable()));
    EXPECT_EQ(LaunchAtLoginFailureAlert::after(unavailable, stringsIn(NativeAppLanguage::english)),
              LaunchAtLoginFailureAlert::make(stringsIn(NativeAppLanguage::english)))
        << "whatever the failure, the alert says the change failed";
    EXPECT_EQ(LaunchAtLoginFailureAlert::after(succeeded, stringsIn(NativeAppLanguage::english)), std::nullopt);
}

TEST(LaunchAtLoginFailureAlertTest, LogLineKeepsTheSystemsDetail) {
    EXPECT_EQ(LaunchAtLoginFailureAlert::logLine(NativePreferencesError::launchAtLoginChangeFailed("denied")),
              "Dorvex launch-at-login change failed: Launch at Login could not be changed: denied");
}

}  // namespace
}  // namespace murmo
