#include "platform/sim/RecordingLogSink.h"
#include "runtime/Logger.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

TEST(LoggerTest, PrivateValuesNeverReachTheSinkInClear) {
    auto sink = std::make_shared<RecordingLogSink>();
    Logger logger("delivery", sink);
    logger.info("Delivered operation={} app={} text={} chars={}", logHashed("op-123"), logPrivate("Mail"),
                logPrivate("dear diary"), logPublic(10));

    auto records = sink->records();
    ASSERT_EQ(records.size(), 1u);
    const auto& record = records[0];
    EXPECT_EQ(record.subsystem, "local.murmo.dev");
    EXPECT_EQ(record.category, "delivery");
    EXPECT_EQ(record.level, LogLevel::info);
    EXPECT_EQ(record.message.find("op-123"), std::string::npos);
    EXPECT_EQ(record.message.find("Mail"), std::string::npos);
    EXPECT_EQ(record.message.find("dear diary"), std::string::npos);
    EXPECT_NE(record.message.find("app=<private>"), std::string::npos);
    EXPECT_NE(record.message.find("chars=10"), std::string::npos);
}

TEST(LoggerTest, HashedValuesAreShortStableAndDistinct) {
    auto sink = std::make_shared<RecordingLogSink>();
    Logger logger("focus", sink);
    logger.info("{}", logHashed("operation-a"));
    logger.info("{}", logHashed("operation-a"));
    logger.info("{}", logHashed("operation-b"));
    auto records = sink->records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].message, records[1].message);
    EXPECT_NE(records[0].message, records[2].message);
    EXPECT_LT(records[0].message.size(), 32u);
}

// Counts how often it is rendered, to show what a disabled level costs.
struct CountedValue {
    int* renders;
};

}  // namespace
}  // namespace murmo

template <>
struct fmt::formatter<murmo::CountedValue> : fmt::formatter<int> {
    auto format(const murmo::CountedValue& value, fmt::format_context& context) const {
        return fmt::formatter<int>::format(++*value.renders, context);
    }
};

namespace murmo {
namespace {

TEST(LoggerTest, LinesBelowTheSinkLevelAreNeitherFormattedNorHashed) {
    auto sink = std::make_shared<RecordingLogSink>(LogLevel::notice);
    Logger logger("delivery", sink);
    int renders = 0;
    logger.debug("a={}", logPublic(CountedValue{&renders}));
    logger.info("a={} b={}", logHashed(CountedValue{&renders}), logPublic(CountedValue{&renders}));
    EXPECT_EQ(renders, 0);
    EXPECT_TRUE(sink->records().empty());

    logger.notice("a={} b={}", logPrivate(CountedValue{&renders}), logPublic(CountedValue{&renders}));
    EXPECT_EQ(renders, 1) << "a private value is never rendered, even when the line is written";
    EXPECT_EQ(sink->records().at(0).message, "a=<private> b=1");
}

TEST(LoggerTest, FormatsRenderEveryValueInOrderAndKeepTheRestOfTheText) {
    auto sink = std::make_shared<RecordingLogSink>();
    Logger("x", sink).error("a={} b={} end {{literal}}", logPublic(1), logPublic(std::string("two")));
    EXPECT_EQ(sink->records().at(0).message, "a=1 b=two end {literal}");
}

}  // namespace
}  // namespace murmo
