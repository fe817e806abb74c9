// Lazy creation of the collation tables when several threads compare at
// once (plug-ins may): each table is built once and every thread sees it
// whole.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/charset/collate.h"

namespace {

TEST(CollationThreads, ConcurrentFirstUseBuildsConsistentTables) {
    for (int round = 0; round < 3; ++round) {
        FreeCollationTables();
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&wrong, t] {
                for (int i = 0; i < 200; ++i) {
                    if (CollateStrings("a", "A", (t + i) & 1) != ((t + i) & 1 ? -1 : 0)) ++wrong;
                    if (CollateStrings("\xC3\xA9t\xC3\xA9", "ete", (t + i) & 1) != 1) ++wrong;
                }
            });
        for (std::thread &th : threads) th.join();
        EXPECT_EQ(wrong.load(), 0);
    }
    FreeCollationTables();
}

}  // namespace
