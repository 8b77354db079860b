#include "coordinator/DeliveredOperationMemory.h"

#include <gtest/gtest.h>

#include <string>

namespace murmo {
namespace {

std::string operation(int index) { return "op-" + std::to_string(index); }

void rememberRange(DeliveredOperationMemory& memory, int first, int last) {
    for (int index = first; index <= last; ++index) memory.remember(operation(index));
}

TEST(DeliveredOperationMemory, TheSixtyFifthForgetsOnlyTheOldest) {
    DeliveredOperationMemory memory;
    rememberRange(memory, 0, 63);
    for (int index = 0; index <= 63; ++index) EXPECT_TRUE(memory.contains(operation(index))) << operation(index);

    memory.remember(operation(64));
    EXPECT_FALSE(memory.contains(operation(0)));
    for (int index = 1; index <= 64; ++index) EXPECT_TRUE(memory.contains(operation(index))) << operation(index);
    EXPECT_EQ(memory.size(), 64u);
}

TEST(DeliveredOperationMemory, RememberingTwiceDoesNotPushAnotherOutEarly) {
    DeliveredOperationMemory memory;
    memory.remember(operation(0));
    memory.remember(operation(0));
    rememberRange(memory, 1, 63);
    for (int index = 0; index <= 63; ++index) EXPECT_TRUE(memory.contains(operation(index))) << operation(index);
    EXPECT_EQ(memory.size(), 64u);

    memory.remember(operation(64));
    EXPECT_FALSE(memory.contains(operation(0)));
    for (int index = 1; index <= 64; ++index) EXPECT_TRUE(memory.contains(operation(index))) << operation(index);
}

}  // namespace
}  // namespace murmo
