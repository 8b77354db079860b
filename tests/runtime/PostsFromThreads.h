#pragma once

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace murmo::testing {

inline constexpr int kPosterThreads = 4;
inline constexpr int kPostsPerThread = 500;

// Each poster's values must arrive in the order it posted them.
inline void expectPerThreadFifo(const std::vector<std::pair<int, int>>& received) {
    std::vector<int> next(kPosterThreads, 0);
    for (auto [thread, value] : received) {
        ASSERT_EQ(value, next[static_cast<std::size_t>(thread)]) << "thread " << thread;
        ++next[static_cast<std::size_t>(thread)];
    }
    for (int count : next) EXPECT_EQ(count, kPostsPerThread);
}

// Starts threads that post numbered callbacks, each recording (thread, value)
// on the loop's thread.
template <class Loop>
std::vector<std::thread> startPosters(Loop& loop, std::vector<std::pair<int, int>>& received) {
    std::vector<std::thread> posters;
    for (int t = 0; t < kPosterThreads; ++t) {
        posters.emplace_back([&loop, &received, t] {
            for (int i = 0; i < kPostsPerThread; ++i) {
                loop.post([&loop, &received, t, i] {
                    EXPECT_TRUE(loop.isCurrentThread());
                    received.emplace_back(t, i);
                });
            }
        });
    }
    return posters;
}

}  // namespace murmo::testing
