#include "engine/MurmoLaunchConfiguration.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <set>

#include "platform/sim/RecordingLogSink.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimDefaultsStore.h"
#include "runtime/SystemIdGenerator.h"

namespace murmo {
namespace {

namespace fs = std::filesystem;
using Change = SimDefaultsStore::Change;

constexpr std::string_view kFunctionPayload = R"({"kind":"fn","modifiers":[],"display":"Fn/Globe"})";
constexpr std::string_view kChordPayload =
    R"({"kind":"chord","modifiers":["command"],"display":"⌘Space","key_code":49})";

class MurmoLaunchConfigurationTest : public ::testing::Test {
protected:
    MurmoLaunchConfigurationServices services() {
        return {ids, Logger("launch-configuration", sink), [this]() -> Result<std::uint16_t> {
                    if (reservationErrno) {
                        return fail("MurmoPortReservation", reservationErrno, "Address already in use",
                                    std::string("bind"));
                    }
                    return std::uint16_t{45678};
                }};
    }
    MurmoLaunchConfiguration parse(std::vector<std::string> options) {
        options.insert(options.begin(), "/usr/lib/murmo/murmo");
        return MurmoLaunchConfiguration::parse(options, store, services());
    }

    SequentialIdGenerator ids{0xE0};
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    SimDefaultsStore store;
    int reservationErrno = 0;
};

TEST_F(MurmoLaunchConfigurationTest, ParseTable) {
    struct Case {
        std::string name;
        std::vector<std::string> options;
        std::map<std::string, nlohmann::json> stored;
        std::string coreURL;
        bool launchCore;
        std::string shortcut;
        std::optional<fs::path> repoRoot;
        std::vector<Change> changes;
    };
    const std::string reserved = "http://127.0.0.1:45678";
    const auto fnKeys = std::vector<Change>{{"MurmoShortcut", "fn"}, {"MurmoNativeShortcut", kFunctionPayload}};
    const std::vector<Case> cases{
        {"no options: fresh port, stored URL unused, nothing written",
         {},
         {{"MurmoCoreURL", "http://127.0.0.1:9999"}},
         reserved,
         true,
         "fn",
         std::nullopt,
         {}},
        {"attach to the default engine",
         {"--no-launch-core"},
         {},
         "http://127.0.0.1:8765",
         false,
         "fn",
         std::nullopt,
         fnKeys},
        {"attach to the stored engine",
         {"--no-launch-core"},
         {{"MurmoCoreURL", "http://127.0.0.1:9999"}},
         "http://127.0.0.1:9999",
         false,
         "fn",
         std::nullopt,
         fnKeys},
        {"unusable stored URL falls back to the default",
         {"--no-launch-core"},
         {{"MurmoCoreURL", "not a url"}},
         "http://127.0.0.1:8765",
         false,
         "fn",
         std::nullopt,
         fnKeys},
        {"explicit URL is stored even when unchanged",
         {"--core-url", "http://127.0.0.1:9000"},
         {{"MurmoCoreURL", "http://127.0.0.1:9000"}},
         "http://127.0.0.1:9000",
         true,
         "fn",
         std::nullopt,
         {{"MurmoCoreURL", "http://127.0.0.1:9000"}, fnKeys[0], fnKeys[1]}},
        {"value-taking option as the last element is skipped",
         {"--core-url"},
         {{"MurmoCoreURL", "http://127.0.0.1:9000"}},
         reserved,
         true,
         "fn",
         std::nullopt,
         fnKeys},
        {"an invalid URL discards an earlier valid one",
         {"--core-url", "http://127.0.0.1:9000", "--core-url", "http://bad host"},
         {},
         reserved,
         true,
         "fn",
         std::nullopt,
         fnKeys},
        {"a port beyond 65535 is never wrapped",
         {"--no-launch-core", "--core-url", "http://127.0.0.1:74001"},
         {},
         "http://127.0.0.1:8765",
         false,
         "fn",
         std::nullopt,
         fnKeys},
        {"an option value is never read as an option",
         {"--shortcut", "--no-launch-core"},
         {},
         reserved,
         true,
         "fn",
         std::nullopt,
         fnKeys},
        {"unknown option rewrites the shortcut keys and the stored root",
         {"--verbose"},
         {{"MurmoRepoRoot", "/work/checkout"}},
         reserved,
         true,
         "fn",
         fs::path("/work/checkout"),
         {fnKeys[0], fnKeys[1], {"MurmoRepoRoot", "/work/checkout"}}},
        {"later options override earlier ones",
         {"--no-launch-core", "--launch-core", "--repo-root", "/a", "--repo-root", "/b", "--shortcut", "chord:49:cmd"},
         {},
         reserved,
         true,
         "chord:49:command",
         fs::path("/b"),
         {{"MurmoShortcut", "chord:49:command"}, {"MurmoNativeShortcut", kChordPayload}, {"MurmoRepoRoot", "/b"}}},
        {"a valid stored payload wins over the stored text",
         {},
         {{"MurmoNativeShortcut", kChordPayload}, {"MurmoShortcut", "fn"}},
         reserved,
         true,
         "chord:49:command",
         std::nullopt,
         {}},
        {"an invalid stored payload falls back to the stored text",
         {},
         {{"MurmoNativeShortcut", R"({"kind":"fn","modifiers":[],"display":"x","key_code":63})"},
          {"MurmoShortcut", "chord:49:cmd"}},
         reserved,
         true,
         "chord:49:command",
         std::nullopt,
         {}},
        {"nothing usable stored gives Fn/Globe",
         {},
         {{"MurmoNativeShortcut", 42}, {"MurmoShortcut", "chord:300:cmd"}, {"MurmoRepoRoot", 7}},
         reserved,
         true,
         "fn",
         std::nullopt,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store = SimDefaultsStore();
        for (const auto& [key, value] : c.stored) store.preset(key, value);
        const auto configuration = parse(c.options);
        EXPECT_EQ(configuration.coreURL, c.coreURL);
        EXPECT_EQ(configuration.launchCore, c.launchCore);
        EXPECT_EQ(configuration.shortcut.canonicalText(), c.shortcut);
        EXPECT_EQ(configuration.repoRoot, c.repoRoot);
        EXPECT_EQ(configuration.desktopToken.size(), kDesktopTokenLength);
        EXPECT_EQ(store.changes(), c.changes);
    }
}

TEST_F(MurmoLaunchConfigurationTest, AStoredShortcutReadsBackTheSameAndIsNotRewrittenUnchanged) {
    const auto chord = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::shift);
    for (const auto& shortcut : {ShortcutChoice::function(), chord}) {
        persistShortcut(shortcut, store);
        EXPECT_EQ(parse({}).shortcut, shortcut) << shortcut.canonicalText();
    }
    EXPECT_EQ(store.value("MurmoShortcut"), "chord:49:control,shift");
    const auto written = store.changes().size();
    persistShortcut(chord, store);
    EXPECT_EQ(store.changes().size(), written);
}

TEST_F(MurmoLaunchConfigurationTest, ParseFallsBackToTheDefaultURLAndLogsTheCauseWhenNoPortIsFree) {
    reservationErrno = EADDRINUSE;
    const auto configuration = parse({});
    EXPECT_EQ(configuration.coreURL, "http://127.0.0.1:8765");
    EXPECT_EQ(configuration.corePort(), 8765);
    EXPECT_TRUE(sink->contains("step=bind errno=98 cause=Address already in use"));
}

TEST_F(MurmoLaunchConfigurationTest, IsolatedManagedIsANormalStart) {
    auto configuration = MurmoLaunchConfiguration::isolatedManaged(services());
    ASSERT_TRUE(configuration);
    EXPECT_EQ(configuration->coreURL, "http://127.0.0.1:45678");
    EXPECT_EQ(configuration->corePort(), 45678);
    EXPECT_EQ(configuration->shortcut, ShortcutChoice::function());
    EXPECT_TRUE(configuration->launchCore);
    EXPECT_EQ(configuration->repoRoot, std::nullopt);
    // Bytes E0...FF encode to "+" and "/" in plain base64, and end in padding.
    EXPECT_EQ(configuration->desktopToken, "4OHi4-Tl5ufo6err7O3u7_Dx8vP09fb3-Pn6-_z9_v8");
    // The token never reaches a log line.
    for (const auto& record : sink->records()) EXPECT_EQ(record.message.find("4OHi4"), std::string::npos);
}

TEST_F(MurmoLaunchConfigurationTest, IsolatedManagedFailsAndLogsTheCauseWhenNoPortIsFree) {
    reservationErrno = EADDRINUSE;
    auto configuration = MurmoLaunchConfiguration::isolatedManaged(services());
    ASSERT_FALSE(configuration);
    EXPECT_EQ(configuration.error(), CoreProcessError::runtimeNotFound());
    EXPECT_TRUE(sink->contains("Loopback port reservation failed step=bind errno=98 cause=Address already in use"));
}

TEST_F(MurmoLaunchConfigurationTest, TokensHaveTheBase64URLShapeAndDiffer) {
    SystemIdGenerator systemIds;
    auto withSystemIds = services();
    MurmoLaunchConfigurationServices real{systemIds, withSystemIds.logger, withSystemIds.reservePort};
    std::set<std::string> tokens;
    for (int i = 0; i < 64; ++i) {
        auto configuration = MurmoLaunchConfiguration::isolatedManaged(real);
        ASSERT_TRUE(configuration);
        const auto& token = configuration->desktopToken;
        ASSERT_EQ(token.size(), 43u);
        EXPECT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos)
            << token;
        tokens.insert(token);
    }
    EXPECT_EQ(tokens.size(), 64u);
}

}  // namespace
}  // namespace murmo
