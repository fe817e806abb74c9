// PathToBrush: a path becomes a brush of its pixel box whose alpha channel
// carries the coverage; IDs in use are replaced, Nil gives an automatic one.
#include <cstring>

#include "display/display_record.h"
#include "display/draw/draw_library.h"
#include "errors/errors.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "text/vector/vector_library.h"

namespace {

uint32_t Px(const cxBitmap *bitmap, int32_t x, int32_t y) {
    uint32_t v = 0xDEADBEEF;
    ReadBitmapPixel(bitmap, x, y, &v);
    return v;
}

uint8_t Alpha(const cxBrush *b, int32_t x, int32_t y) {
    const uint8_t *rows = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(b->alpha, CX_BMATTR_ALPHA_PIXELS));
    const size_t pitch = size_t(QueryBitmapAttribute(b->alpha, CX_BMATTR_ALPHA_BYTESPERROW));
    return rows[size_t(y) * pitch + size_t(x)];
}

int CountBrushes() {
    int n = 0;
    for (cxBrush *b = GetFirstBrush(); b; b = reinterpret_cast<cxBrush *>(b->header.next)) ++n;
    return n;
}

class PathBrush : public cxtest::VmTest {
  protected:
    cxDisplay *display = nullptr;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(InitDisplayRecords(), 0);
        display = NewDisplayRecord();
        SetCurrentDisplayRecord(display);
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
    }
    void TearDown() override {
        FreeAllPaths(L);
        FreeDrawLibraryBuffers(L);
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
    cxBrush *Brush(int32_t id) {
        cxBrush *b = nullptr;
        EXPECT_EQ(FindBrush(L, cxObjectID{id, nullptr}, &b, 0), 0);
        return b;
    }
};

TEST_F(PathBrush, FilledAndOutlinedPathsGiveTheirBoxAndCoverage) {
    // Filled: the box wherever it lies in path coordinates, fully covered.
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 30, 20, 10, 6}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {1, 5}), 0);
    cxBrush *b = Brush(5);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 10);
    EXPECT_EQ(b->height, 6);
    EXPECT_EQ(b->brushKind, uint32_t(CX_BRUSH_BITMAP));
    ASSERT_NE(b->alpha, nullptr);
    for (auto [x, y] : {std::pair{0, 0}, {9, 5}, {5, 3}}) {
        EXPECT_EQ(Alpha(b, x, y), 255) << x << "," << y;
        EXPECT_EQ(Px(b->bitmap, x, y), 0u);
    }

    // The path keeps the style it was started with: the outline stays one
    // even though the current style fills again by the time it is drawn.
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("StartPath", {2}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {2, 0, 0, 20, 12}), 0);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {2, 6}), 0);
    b = Brush(6);
    ASSERT_NE(b, nullptr);
    EXPECT_GE(b->width, 20);
    EXPECT_GE(b->height, 12);
    EXPECT_EQ(Alpha(b, b->width / 2, b->height / 2), 0);
    EXPECT_GT(Alpha(b, b->width / 2, 0) + Alpha(b, b->width / 2, 1), 0);
}

TEST_F(PathBrush, EmptyPathIsRefusedAndLeavesTheOldBrush) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 4, 4}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {1, 5}), 0);
    ASSERT_EQ(Cmd("StartPath", {2}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {2, 5}), ERR_EMPTYPATH);
    char text[128];
    EXPECT_STREQ(GetErrorText(ERR_EMPTYPATH, text, sizeof text), "Cannot draw empty path!");
    cxBrush *b = Brush(5);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 4);
    // A cleared path is empty too, and an unknown path is the path lookup's error.
    ASSERT_EQ(Cmd("ClearPath", {1}), 0);
    EXPECT_EQ(Cmd("PathToBrush", {1, 7}), ERR_EMPTYPATH);
    EXPECT_NE(Cmd("PathToBrush", {99, 7}), 0);
    EXPECT_EQ(CountBrushes(), 1);
}

TEST_F(PathBrush, ZeroLengthOutlineBecomesADotOrNothing) {
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("SetLineWidth", {8}), 0);
    ASSERT_EQ(Cmd("SetLineCap", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 50, 50}), 0);
    ASSERT_EQ(Cmd("LineTo", {1, 50, 50}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {1, 5}), 0);
    cxBrush *b = Brush(5);
    ASSERT_NE(b, nullptr);
    EXPECT_NEAR(b->width, 8, 1);
    EXPECT_NEAR(b->height, 8, 1);
    EXPECT_EQ(Alpha(b, b->width / 2, b->height / 2), 255);
    ASSERT_EQ(Cmd("SetLineCap", {0}), 0);
    ASSERT_EQ(Cmd("StartPath", {2}), 0);
    ASSERT_EQ(Cmd("MoveTo", {2, 50, 50}), 0);
    ASSERT_EQ(Cmd("LineTo", {2, 50, 50}), 0);
    EXPECT_EQ(Cmd("PathToBrush", {2, 6}), ERR_EMPTYPATH);
    EXPECT_EQ(CountBrushes(), 1);
}

TEST_F(PathBrush, IdInUseIsReplacedAndNilGivesAnAutomaticId) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 4, 3}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {1, 5}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 8, 9}), 0);
    ASSERT_EQ(Cmd("PathToBrush", {1, 5}), 0);
    EXPECT_EQ(CountBrushes(), 1);
    cxBrush *b = Brush(5);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 8);
    EXPECT_EQ(b->height, 9);

    ASSERT_EQ(Call("PathToBrush",
                   [&] {
                       lua_pushnumber(L, 1);
                       lua_pushnil(L);
                   }),
              0);
    ASSERT_EQ(lua_gettop(L), 1);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    EXPECT_NE(id.pointer, nullptr);
    cxBrush *automatic = nullptr;
    ASSERT_EQ(FindBrush(L, id, &automatic, 0), 0);
    EXPECT_EQ(automatic->width, 8);
    EXPECT_NE(automatic, b);
    EXPECT_EQ(CountBrushes(), 2);
}

} // namespace
