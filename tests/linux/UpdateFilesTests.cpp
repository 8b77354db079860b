#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/linux/FileSystemBundle.h"
#include "platform/linux/LinuxUpdaterFactory.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "runtime/JsonRead.h"
#include "services/InstalledReleaseIdentity.h"
#include "services/UpdateCoordinator.h"
#include "support/TemporaryDirectory.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::TemporaryDirectory;

// sha256 of 131072 bytes of "n", computed with Python's hashlib.
constexpr std::string_view kBoundNotesDigest = "5433b499f1a830b6223fd73bdaf702dd3629c6a5a3bd240771a467d0d58b0d2b";

std::string xmlInfo(std::string_view version) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>local.murmo.test</string>
<key>CFBundleExecutable</key><string>murmo</string>
<key>CFBundleShortVersionString</key><string>)" +
           std::string(version) + R"(</string>
<key>CFBundleVersion</key><string>7</string>
<key>DorvexBuildProfile</key><string>customer</string>
<key>SUFeedURL</key><string>https://updates.example.com/appcast.xml</string>
<key>SUPublicEDKey</key><string>AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=</string>
</dict></plist>
)";
}

std::string binaryInfo() {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("local.murmo.binary"));
    plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_string("3.4"));
    plist_dict_set_item(dict, "CFBundleVersion", plist_new_string("12"));
    plist_dict_set_item(dict, "DorvexBuildProfile", plist_new_string("development"));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string result(bytes, length);
    std::free(bytes);
    plist_free(dict);
    return result;
}

class UpdateFilesTest : public ::testing::Test {
protected:
    TemporaryDirectory tree;

    std::shared_ptr<FileSystemBundle> bundleWith(std::string_view info, std::optional<std::string> notes = {}) {
        tree.writeFile("Murmo.app/Contents/Info.plist", info);
        tree.makeDirectory("Murmo.app/Contents/Resources");
        if (notes) tree.writeFile("Murmo.app/Contents/Resources/ReleaseNotes.json", *notes);
        return std::make_shared<FileSystemBundle>(tree.path() / "Murmo.app", true);
    }
    fs::path notesPath() const { return tree.path() / "Murmo.app/Contents/Resources/ReleaseNotes.json"; }

    json identityOf(const Bundle& bundle) {
        auto identity = InstalledReleaseIdentity::make(bundle);
        return identity ? identity->payload() : json();
    }
};

TEST_F(UpdateFilesTest, XmlAndBinaryInfoDictionariesGiveIdentityAndConfiguration) {
    auto xml = bundleWith(xmlInfo("1.2.3"));
    EXPECT_EQ(identityOf(*xml)["bundle_id"], "local.murmo.test");
    EXPECT_EQ(identityOf(*xml)["build"], 7);
    EXPECT_TRUE(MurmoUpdateConfiguration::fromBundle(*xml).isAvailable());

    auto binary = bundleWith(binaryInfo());
    EXPECT_EQ(identityOf(*binary)["version"], "3.4");
    EXPECT_EQ(MurmoUpdateConfiguration::fromBundle(*binary).unavailabilityReason,
              MurmoUpdateUnavailabilityReason::notConfigured);
}

TEST_F(UpdateFilesTest, ReleaseNotesAreHashedUpToTheBoundAndNeverReadPastIt) {
    auto bundle = bundleWith(xmlInfo("1.2.3"), std::string(InstalledReleaseIdentity::kMaximumNotesBytes, 'n'));
    EXPECT_EQ(identityOf(*bundle)["notes_sha256"], kBoundNotesDigest);

    for (const auto& notes : {std::string(InstalledReleaseIdentity::kMaximumNotesBytes + 1, 'n'), std::string()}) {
        tree.writeFile("Murmo.app/Contents/Resources/ReleaseNotes.json", notes);
        EXPECT_TRUE(identityOf(*bundle)["notes_sha256"].is_null()) << notes.size();
    }

    // Several GiB of holes: reading them whole would take minutes and all memory.
    { std::ofstream sparse(notesPath(), std::ios::trunc); }
    ASSERT_EQ(::truncate(notesPath().c_str(), 8LL << 30), 0);
    EXPECT_TRUE(identityOf(*bundle)["notes_sha256"].is_null());
    EXPECT_EQ(identityOf(*bundle)["bundle_id"], "local.murmo.test");

    fs::remove(notesPath());
    ASSERT_EQ(::mkfifo(notesPath().c_str(), 0600), 0);
    EXPECT_TRUE(identityOf(*bundle)["notes_sha256"].is_null()) << "a FIFO is no file to wait on";
}

TEST_F(UpdateFilesTest, AVersionThatIsNotUtf8IsAbsentAndTheStatusStillSerialises) {
    auto bundle = bundleWith(xmlInfo("1.2\xFF\xFE"));
    ASSERT_TRUE(bundle->infoDictionary());
    EXPECT_FALSE(bundle->infoDictionary()->contains("CFBundleShortVersionString"));
    EXPECT_FALSE(InstalledReleaseIdentity::make(*bundle));

    SequentialIdGenerator ids;
    LinuxUpdaterFactory updaters;
    UpdateCoordinator coordinator(MurmoUpdateConfiguration::fromBundle(*bundle), *bundle, updaters, ids);
    const auto status = coordinator.statusPayload(UpdateCoordinator::RequestResult::ready);
    EXPECT_EQ(status["current_version"], "");
    EXPECT_TRUE(murmo::json::dump(status));
    EXPECT_EQ(status["reason_code"], "startup_failed") << "a configured feed, and no in-app updater here";
    EXPECT_EQ(status["lifecycle"]["stage"], "failed");
}

TEST_F(UpdateFilesTest, TheBundleTheBuildLaysOutIsUnconfiguredWithTheRepositorysIdentity) {
    FileSystemBundle bundle(MURMO_BUNDLE_DIR, true);
    EXPECT_EQ(identityOf(bundle), (json{{"schema", 1},
                                        {"bundle_id", "local.murmo.dev"},
                                        {"profile", "development"},
                                        {"version", "0.1.0"},
                                        {"build", 1},
                                        {"notes_sha256", nullptr}}));
    SequentialIdGenerator ids;
    LinuxUpdaterFactory updaters;
    UpdateCoordinator coordinator(MurmoUpdateConfiguration::fromBundle(bundle), bundle, updaters, ids);
    const auto status = coordinator.statusPayload(UpdateCoordinator::RequestResult::ready);
    EXPECT_EQ(status["availability"], "unavailable");
    EXPECT_EQ(status["reason_code"], "not_configured");
    EXPECT_EQ(coordinator.checkForUpdates()["request_result"], "unavailable");
}

}  // namespace
}  // namespace murmo
