// SPDX-License-Identifier: MIT
#include "threads.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace trackfold;

TEST(HelperThreads, RunTheWorkOnEachThreadAndAreJoinedWhenDone)
{
    std::atomic<int> runs { 0 };
    {
        HelperThreads helpers;
        EXPECT_EQ(helpers.start(3, [&runs] { ++runs; }), 3u);
        EXPECT_EQ(helpers.start(0, [&runs] { ++runs; }), 0u);
        helpers.join();
        EXPECT_EQ(runs, 3);
        EXPECT_EQ(helpers.start(2, [&runs] { ++runs; }), 2u);
    }
    EXPECT_EQ(runs, 5);
}
