#include "services/ApplicationUpdateState.h"

#include <gtest/gtest.h>

#include "platform/sim/SequentialIdGenerator.h"

namespace murmo {
namespace {

using State = ApplicationUpdateState;
using Stage = State::Stage;
using nlohmann::json;

const AppcastItem kItem{"1.4.2 (beta)", "142"};
UpdaterError sparkle(long code, json reason = nullptr) { return {"SUSparkleErrorDomain", code, "", reason}; }
UpdaterError url(long code) { return {"NSURLErrorDomain", code, "", nullptr}; }

class ApplicationUpdateStateTest : public ::testing::Test {
protected:
    SequentialIdGenerator ids;
    State state = State::initial(ids);

    void go(Stage stage, std::optional<AppcastItem> item = std::nullopt) { state.transition(stage, item, ids); }
};

TEST_F(ApplicationUpdateStateTest, EventIdentifiersBeginWithACheckOrAFreshAvailableUpdate) {
    EXPECT_EQ(state.eventID, "00000000000040008000000000000001");
    const struct {
        Stage from, to;
        bool newEvent;
    } rows[] = {
        {Stage::checking, Stage::checking, true},      {Stage::checking, Stage::available, false},
        {Stage::idle, Stage::available, true},         {Stage::failed, Stage::available, true},
        {Stage::noUpdate, Stage::available, true},     {Stage::cancelled, Stage::available, true},
        {Stage::downloading, Stage::available, false}, {Stage::ready, Stage::installing, false},
    };
    for (const auto& row : rows) {
        go(row.from);
        const auto before = state.eventID;
        go(row.to);
        EXPECT_EQ(state.eventID != before, row.newEvent) << rawValue(row.from) << " -> " << rawValue(row.to);
    }
}

TEST_F(ApplicationUpdateStateTest, VersionsComeFromTheItemWhenFitForDisplay) {
    const struct {
        std::string candidate;
        bool shown;
    } rows[] = {
        {"1.4.2 (beta)", true},
        {"2.0+build_7-rc", true},
        {std::string(32, 'a') +
             "\xD0\xB0\xD0\xB1\xD0\xB2\xD0\xB3\xD0\xB4\xD0\xB5\xD0\xB6\xD0\xB7\xD0\xB8\xD0\xB9\xD0\xBA"
             "\xD0\xBB\xD0\xBC\xD0\xBD\xD0\xBE\xD0\xBF",
         true},                // 64 bytes, two-byte letters
        {"e\xCC\x81", true},   // a combining mark
        {"\xD9\xA3.1", true},  // an Arabic-Indic digit
        {"1.4/2", false},
        {"", false},
        {std::string(65, '1'), false},
        {"1.2\xFF\xFE", false},
        {"1.2\n", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(State::displayVersion(row.candidate).has_value(), row.shown) << row.candidate;
    }
    go(Stage::available, kItem);
    EXPECT_EQ(state.version, "1.4.2 (beta)");
    EXPECT_EQ(state.build, "142");
    for (auto stage : {Stage::idle, Stage::checking, Stage::noUpdate, Stage::cancelled}) {
        go(stage, kItem);
        EXPECT_FALSE(state.version || state.build) << rawValue(stage);
    }
}

TEST_F(ApplicationUpdateStateTest, ByteCountsWhileDownloadingOnly) {
    state.expectBytes(100);
    state.receiveBytes(10);
    EXPECT_EQ(state.receivedBytes, 0u) << "not downloading";
    go(Stage::downloading);
    state.expectBytes(State::kMaximumByteCount);
    EXPECT_EQ(state.expectedBytes, State::kMaximumByteCount);
    for (std::uint64_t length : {std::uint64_t{0}, State::kMaximumByteCount + 1}) {
        state.expectBytes(length);
        EXPECT_FALSE(state.expectedBytes) << length;
    }
    state.expectBytes(100);
    state.receiveBytes(100);
    EXPECT_EQ(state.payload()["download_progress"], 1.0);
    state.receiveBytes(1);
    EXPECT_TRUE(state.payload()["download_progress"].is_null()) << "more than expected";

    go(Stage::downloading);
    EXPECT_EQ(state.receivedBytes, 0u) << "downloading again starts over";
    state.expectBytes(100);
    state.receiveBytes(State::kMaximumByteCount - 1);
    state.receiveBytes(~0ULL);  // a sum past 2^64
    EXPECT_EQ(state.receivedBytes, State::kMaximumByteCount);
    EXPECT_FALSE(state.expectedBytes);

    go(Stage::ready);
    state.installOnQuit = true;
    state.problem = State::Problem::unknown;
    go(Stage::ready);
    EXPECT_FALSE(state.installOnQuit || state.problem) << "the same stage keeps only the counts";
}

TEST_F(ApplicationUpdateStateTest, ErrorsBecomeAStageAProblemOrAReason) {
    const struct {
        UpdaterError error;
        Stage stage;
        json problem;
        json reason;
    } rows[] = {
        {sparkle(1001, 5), Stage::noUpdate, nullptr, "unsupported_hardware"},
        {sparkle(1001, 1), Stage::noUpdate, nullptr, "latest"},
        {sparkle(1001, 2.0), Stage::noUpdate, nullptr, "newer"},
        {sparkle(1001, 0), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, 6), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, -1), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, true), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, 1e300), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, json(18446744073709551615ULL)), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001, "5"), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(1001), Stage::noUpdate, nullptr, "unknown"},
        {sparkle(4007), Stage::cancelled, nullptr, nullptr},
        {sparkle(4008), Stage::downloaded, nullptr, nullptr},
        {url(-999), Stage::cancelled, nullptr, nullptr},
        {url(-1009), Stage::failed, "network", nullptr},
        {sparkle(3), Stage::failed, "configuration", nullptr},
        {sparkle(2001), Stage::failed, "network", nullptr},
        {sparkle(2002), Stage::failed, "download", nullptr},
        {sparkle(1005), Stage::failed, "move_application", nullptr},
        {sparkle(1004), Stage::failed, "unknown", nullptr},
        {sparkle(3001), Stage::failed, "verification", nullptr},
        {sparkle(4001), Stage::failed, "installation", nullptr},
        {sparkle(-5), Stage::failed, "unknown", nullptr},
        {{"MurmoUpdater", 1, "", nullptr}, Stage::failed, "unknown", nullptr},
    };
    for (const auto& row : rows) {
        state.fail(row.error, ids);
        SCOPED_TRACE(row.error.domain + " " + std::to_string(row.error.code) + " " +
                     row.error.noUpdateFoundReason.dump());
        EXPECT_EQ(state.stage, row.stage);
        EXPECT_EQ(state.payload()["problem"], row.problem);
        EXPECT_EQ(state.payload()["no_update_reason"], row.reason);
    }
}

TEST_F(ApplicationUpdateStateTest, AFinishedCycleReturnsToIdleOnlyFromItsBusyStages) {
    for (auto stage : {Stage::available, Stage::downloaded}) {
        go(stage, kItem);
        state.finish(std::nullopt, ids);
        EXPECT_EQ(state.stage, stage);
        EXPECT_EQ(state.version, "1.4.2 (beta)");
    }
    go(Stage::preparing, kItem);
    state.finish(std::nullopt, ids);
    EXPECT_EQ(state.stage, Stage::idle);
    EXPECT_FALSE(state.version);
    state.finish(url(-1), ids);
    EXPECT_EQ(state.stage, Stage::failed);
}

TEST_F(ApplicationUpdateStateTest, PayloadsHaveExactlyTheirKeysWithNulls) {
    EXPECT_EQ(state.cardPayload(false), (json{{"contract_version", 1},
                                              {"availability", "unavailable"},
                                              {"event_id", state.eventID},
                                              {"lifecycle",
                                               {{"contract_version", 1},
                                                {"stage", "idle"},
                                                {"target_version", nullptr},
                                                {"target_build", nullptr},
                                                {"problem", nullptr},
                                                {"no_update_reason", nullptr},
                                                {"install_on_quit", false},
                                                {"download_progress", nullptr}}}}));
    EXPECT_EQ(state.cardPayload(true)["availability"], "available");
    for (auto stage : {Stage::idle, Stage::noUpdate, Stage::relaunching}) {
        EXPECT_EQ(updateStageFromRawValue(rawValue(stage)), stage);
    }
    EXPECT_FALSE(updateStageFromRawValue("No_Update"));
    EXPECT_EQ(noUpdateReasonFromRawValue("system_too_new"), State::NoUpdateReason::systemTooNew);
}

}  // namespace
}  // namespace murmo
