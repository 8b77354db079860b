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

TEST(LoggerTest, MissingValuesLeavePlaceholdersAndExtraTextIsKept) {
    auto sink = std::make_shared<RecordingLogSink>();
    Logger("x", sink).error("a={} b={} end", logPublic(1));
    EXPECT_EQ(sink->records().at(0).message, "a=1 b={} end");
}

}  // namespace
}  // namespace murmo
