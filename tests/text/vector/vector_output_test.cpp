// DrawPath while drawing is redirected to a brush or its mask: the path
// lands in the selected brush, not on the display.
#include "display/display_record.h"
#include "display/draw/draw_library.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "text/vector/vector_library.h"

namespace {

uint32_t Px(const cxBitmap *bitmap, int32_t x, int32_t y) {
    uint32_t v = 0xDEADBEEF;
    ReadBitmapPixel(bitmap, x, y, &v);
    return v;
}

class VectorOutput : public cxtest::VmTest {
  protected:
    cxDisplay *display = nullptr;

    void SetUp() override {
        VmTest::SetUp();
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
        ASSERT_EQ(InitDisplayRecords(), 0);
        display = NewDisplayRecord();
        SetCurrentDisplayRecord(display);
        InstallOutputRedirection();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
    }
    void TearDown() override {
        FreeAllPaths(L);
        FreeDrawLibraryBuffers(L);
        RemoveOutputRedirection();
        FreeAllBrushes(L);
        SetCurrentDisplayRecord(nullptr);
        free(display);
        FreeDisplayRecords();
        VmTest::TearDown();
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
};

TEST_F(VectorOutput, PathsDrawIntoTheSelectedBrushAndMask) {
    cxBitmap *bm = AllocBitmap(32, 24, CX_ALLOC_CLEAR, 0);
    cxBitmap *mask = AllocMask(bm, 32, 24, 1, nullptr, 0);
    cxObjectID id{1, nullptr};
    cxBrush *b = nullptr;
    ASSERT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, 32, 24, 32, 0, nullptr, bm, CX_TRANSPARENT_BY_MASK, mask, nullptr,
                             nullptr, &b),
              0);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 6, 4}), 0);

    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 3, 5, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    EXPECT_EQ(Px(b->bitmap, 3, 5), 0x00FF00u);
    EXPECT_EQ(Px(b->bitmap, 8, 8), 0x00FF00u);
    EXPECT_EQ(Px(b->bitmap, 9, 8), 0u);
    EXPECT_EQ(Px(b->bitmap, 2, 5), 0u);

    // Into the mask: the path's pixels become visible there.
    ASSERT_EQ(Cmd("SelectMask", {1}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 20, 10, 1}), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    ASSERT_NE(b->mask, nullptr);
    EXPECT_EQ(Px(b->mask, 20, 10), 1u);
    EXPECT_EQ(Px(b->mask, 25, 13), 1u);
}

} // namespace
