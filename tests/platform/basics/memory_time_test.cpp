#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "platform/os_memory.h"
#include "platform/os_time.h"

// Under AddressSanitizer an impossible request must come back as null, as
// it does from the C library, instead of aborting the test.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

TEST(OsAllocMem, ZeroSizeGivesNullAndClearZeroes) {
    EXPECT_EQ(OsAllocMem(0, 0), nullptr);
    EXPECT_EQ(OsAllocMem(0, 1), nullptr);
    auto *p = static_cast<unsigned char *>(OsAllocMem(4096, 1));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0);
    free(p);
}

TEST(OsAllocMem, HugeRequestGivesNull) {
    // Nearly the whole address space: more than any process gets, on 32 as
    // on 64 bits (half of a 32-bit one may well be free).
    EXPECT_EQ(OsAllocMem(SIZE_MAX - 16, 0), nullptr);
    EXPECT_EQ(OsAllocMem(SIZE_MAX - 4096, 1), nullptr);
}

TEST(OsTime, Arithmetic) {
    struct Case {
        cxOsTimeVal a, b, sum, diff;
        int cmp;
    } cases[] = {
        {{5, 200}, {3, 100}, {8, 300}, {2, 100}, 1},
        {{5, 100}, {3, 999999}, {9, 99}, {1, 101}, 1},
        {{3, 5}, {3, 5}, {6, 10}, {0, 0}, 0},
        {{3, 5}, {3, 6}, {6, 11}, {0, 0}, -1},  // a negative difference clamps to zero
        {{1, 999999}, {0, 1}, {2, 0}, {1, 999998}, 1},
    };
    for (const auto &c : cases) {
        cxOsTimeVal s = c.a, d = c.a;
        OsAddTime(&s, &c.b);
        OsSubTime(&d, &c.b);
        EXPECT_EQ(s.seconds, c.sum.seconds);
        EXPECT_EQ(s.microseconds, c.sum.microseconds);
        EXPECT_EQ(d.seconds, c.diff.seconds);
        EXPECT_EQ(d.microseconds, c.diff.microseconds);
        EXPECT_EQ(OsCmpTime(&c.a, &c.b), c.cmp);
        EXPECT_EQ(OsCmpTime(&c.b, &c.a), -c.cmp);
    }
    cxOsTimeVal t{60, 1999};
    EXPECT_EQ(OsTimeToMs(&t), 60001u);
}

TEST(OsTime, ClocksAdvanceAndDelaySleeps) {
    cxOsTimeVal m0, m1, w;
    OsGetMonotonicTime(&m0);
    OsGetSysTime(&w);
    EXPECT_GT(w.seconds, 1600000000u);
    EXPECT_LT(w.microseconds, 1000000u);
    EXPECT_NEAR(OsGetTimeSeconds(), double(w.seconds), 5.0);
    OsDelayMs(20);
    OsGetMonotonicTime(&m1);
    OsSubTime(&m1, &m0);
    EXPECT_GE(OsTimeToMs(&m1), 19u);
}
