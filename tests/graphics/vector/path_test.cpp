// The path record: its item buffer, the item encoding and the path list.
#include <gtest/gtest.h>

#include <cstring>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/vector/path.h"
#include "graphics/vector/path_style.h"

namespace {

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }
cxPathArg S(const char *s) { return {CX_PATHARG_STRING, 0, 0, s, 0}; }
cxPathArg H(uint32_t h) { return {CX_PATHARG_HANDLE, 0, 0, nullptr, h}; }

class Paths : public ::testing::Test {
  protected:
    void TearDown() override { FreeEveryPath(nullptr); }
};

TEST_F(Paths, BufferGrowsByBlocksAndKeepsAZeroWord) {
    cxPath *p = NewPath(5, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->items, nullptr);
    const cxPathArg a[] = {I(0), D(1.5), D(2.5)};
    ASSERT_EQ(AppendPathItem(p, CX_PATH_MOVETO, 3, a), 0);
    EXPECT_EQ(p->capacity, 1024u);
    EXPECT_EQ(PathUsedBytes(p), 24u);
    EXPECT_EQ(PathWord(p->end), 0u);
    EXPECT_EQ(PathDouble(p->items + 8), 1.5);
    // Items fit while 128 bytes stay free behind the end.
    while (p->capacity - PathUsedBytes(p) >= 128) ASSERT_EQ(AppendPathItem(p, CX_PATH_LINETO, 3, a), 0);
    EXPECT_EQ(p->capacity, 1024u);
    ASSERT_EQ(AppendPathItem(p, CX_PATH_LINETO, 3, a), 0);
    EXPECT_EQ(p->capacity, 2048u);
    const uint32_t generation = p->generation;
    ClearPathItems(p);
    EXPECT_EQ(p->items, nullptr);
    EXPECT_EQ(p->capacity, 0u);
    EXPECT_NE(p->generation, generation);
}

TEST_F(Paths, TextIsPaddedWithOneToFourBytes) {
    struct {
        const char *text;
        size_t size;
    } cases[] = {{"", 16}, {"abc", 20}, {"abcd", 20}, {"abcde", 20}, {"abcdefg", 24}, {"abcdefgh", 24}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        cxPath *p = NewPath(6, 0);
        const cxPathArg a[] = {H(3), I(20), S(c.text)};
        ASSERT_EQ(AppendPathItem(p, CX_PATH_TEXT, 3, a), 0);
        EXPECT_EQ(PathUsedBytes(p), c.size);
        EXPECT_EQ(PathItemSize(p->items), c.size);
        EXPECT_EQ(PathItemSizeAt(p->items, PathUsedBytes(p), 0), c.size);
        // Cut short, the walk refuses the item instead of reading past it.
        EXPECT_EQ(PathItemSizeAt(p->items, c.size - 1, 0), 0u);
        cxObjectID id{6, nullptr};
        ASSERT_EQ(FreePathByID(nullptr, id), 0);
    }
}

TEST_F(Paths, LookupsGiveTheKindsErrors) {
    cxPath *p = NewPath(0, 1);
    cxPath *found = nullptr;
    ASSERT_EQ(FindPath(GetObjectID(&p->header), &found), 0);
    EXPECT_EQ(found, p);
    EXPECT_EQ(FindPath(cxObjectID{42, nullptr}, &found), ERR_FINDPATH);
    EXPECT_EQ(GetErrorNumber(), 42);
    int dummy;
    EXPECT_EQ(FindPath(cxObjectID{0, &dummy}, &found), ERR_FINDARRAY);
    const cxPathArg a[] = {I(0), D(1), D(1)};
    EXPECT_EQ(AddPathItem(cxObjectID{43, nullptr}, CX_PATH_LINETO, 3, a), ERR_FINDPATH);
}

TEST_F(Paths, StylesCopyTheirDashes) {
    cxPathStyle *cur = GetVectorStyle();
    const double d[] = {10, 5};
    ASSERT_EQ(SetVectorDashes(cur, 5, d, 2), 0);
    cxPathStyle *copy = CopyPathStyle(cur);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->dashes, cur->dashes);
    EXPECT_EQ(copy->dashes[1], 5);
    ResetVectorStyle();
    EXPECT_EQ(cur->dashCount, 0u);
    EXPECT_EQ(cur->miterLimit, 10);
    EXPECT_EQ(copy->dashes[0], 10);
    FreePathStyle(copy);
}

} // namespace
