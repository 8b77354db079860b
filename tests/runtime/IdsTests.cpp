#include "platform/sim/SequentialIdGenerator.h"
#include "runtime/Ids.h"
#include "runtime/SystemIdGenerator.h"

#include <gtest/gtest.h>

#include <set>

namespace murmo {
namespace {

TEST(IdsTest, SystemUUIDsAreLowercaseVersion4AndDistinct) {
    SystemIdGenerator ids;
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        auto uuid = ids.uuid();
        EXPECT_TRUE(isLowercaseUUID(uuid)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(ids.randomBytes(32).size(), 32u);
}

TEST(IdsTest, UUIDShapeCheck) {
    EXPECT_TRUE(isLowercaseUUID("123e4567-e89b-42d3-a456-426614174000"));
    EXPECT_FALSE(isLowercaseUUID("123E4567-E89B-42D3-A456-426614174000"));
    EXPECT_FALSE(isLowercaseUUID("123e4567-e89b-12d3-a456-426614174000")) << "version 1";
    EXPECT_FALSE(isLowercaseUUID("123e4567e89b42d3a456426614174000"));
    EXPECT_EQ(formatUUIDv4(std::vector<std::uint8_t>(16, 0xFF)), "ffffffff-ffff-4fff-bfff-ffffffffffff");
}

TEST(IdsTest, SequentialGeneratorIsRepeatable) {
    SequentialIdGenerator ids(7);
    EXPECT_EQ(ids.uuid(), "00000000-0000-4000-8000-000000000001");
    EXPECT_EQ(ids.uuid(), "00000000-0000-4000-8000-000000000002");
    EXPECT_TRUE(isLowercaseUUID(ids.uuid()));
    EXPECT_EQ(ids.randomBytes(3), (std::vector<std::uint8_t>{7, 8, 9}));
}

}  // namespace
}  // namespace murmo
