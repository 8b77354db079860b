#include "services/InstalledReleaseIdentity.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

using nlohmann::json;

json validInfo() {
    return json{{"CFBundleShortVersionString", "1.2.3"},
                {"CFBundleVersion", "45"},
                {"CFBundleIdentifier", "local.murmo.app"},
                {"DorvexBuildProfile", "customer"}};
}

TEST(InstalledReleaseIdentityTest, EachValueMustMatchItsRuleWhole) {
    const struct {
        const char* key;
        json value;
        bool accepted;
    } rows[] = {
        {"CFBundleShortVersionString", "1.0", true},
        {"CFBundleShortVersionString", "1.2.3.4", true},
        {"CFBundleShortVersionString", "2.10.3-beta.1", true},
        {"CFBundleShortVersionString", "1", false},
        {"CFBundleShortVersionString", "1.2.3.4.5", false},
        {"CFBundleShortVersionString", "v1.2", false},
        {"CFBundleShortVersionString", "1.2.3\n", false},                       // "$" would match before the line break
        {"CFBundleShortVersionString", "1.2.3-" + std::string(26, 'a'), true},  // 32 bytes
        {"CFBundleShortVersionString", "1.2.3-" + std::string(27, 'a'), false},  // 33 bytes
        {"CFBundleShortVersionString", 1.2, false},
        {"CFBundleVersion", "1", true},
        {"CFBundleVersion", "123456789", true},
        {"CFBundleVersion", "0", false},
        {"CFBundleVersion", "012", false},
        {"CFBundleVersion", "1234567890", false},
        {"CFBundleVersion", 45, false},
        {"CFBundleIdentifier", "local", false},
        {"CFBundleIdentifier", "local-murmo", true},
        {"CFBundleIdentifier", "a." + std::string(127, 'b'), false},  // 129 bytes
        {"CFBundleIdentifier", "local.murmo\n", false},
        {"DorvexBuildProfile", "Customer", false},
        {"DorvexBuildProfile", "development", true},
    };
    for (const auto& row : rows) {
        auto info = validInfo();
        info[row.key] = row.value;
        EXPECT_EQ(InstalledReleaseIdentity::make(info, std::nullopt).has_value(), row.accepted)
            << row.key << " " << row.value.dump();
    }
    auto missing = validInfo();
    missing.erase("DorvexBuildProfile");
    EXPECT_FALSE(InstalledReleaseIdentity::make(missing, std::nullopt));
}

TEST(InstalledReleaseIdentityTest, ThePayloadCarriesTheBuildAsAnIntegerAndTheNotesDigest) {
    const auto identity = InstalledReleaseIdentity::make(validInfo(), std::string("abc"));
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->payload(),
              (json{{"schema", 1},
                    {"bundle_id", "local.murmo.app"},
                    {"profile", "customer"},
                    {"version", "1.2.3"},
                    {"build", 45},
                    {"notes_sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}}));
    const std::string atTheBound(InstalledReleaseIdentity::kMaximumNotesBytes, 'n');
    EXPECT_TRUE(InstalledReleaseIdentity::make(validInfo(), atTheBound)->payload()["notes_sha256"].is_string());
    for (const auto& notes :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>(atTheBound + "n")}) {
        EXPECT_TRUE(InstalledReleaseIdentity::make(validInfo(), notes)->payload()["notes_sha256"].is_null());
    }
}

}  // namespace
}  // namespace murmo
