// Output redirection on the real X11 back-end: drawing goes into a
// selected brush (or its mask) and shows only when the brush is displayed;
// a selection parks double buffering and EndSelect brings it back; the
// refusals of the selection commands.
#include <vector>

#include "display/double_buffer.h"
#include "display/draw/draw_library.h"
#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "images/core/display_core.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "tests/display/displays/display_fixture.h"

namespace {

class OutputX11 : public cxtest::DisplayTest {
protected:
    cxDisplay *d = nullptr;
    void SetUp() override {
        DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
        InstallOutputRedirection();
        ASSERT_EQ(Create(1, {{"width", 160.0}, {"height", 120.0}, {"x", 0.0}, {"y", 0.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        d = Display(1);
        ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
        cxBitmap *bm = AllocBitmap(40, 30, CX_ALLOC_CLEAR, 0);
        cxObjectID id{1, nullptr};
        ASSERT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, 40, 30, 40, 0, nullptr, bm, -1, nullptr, nullptr, nullptr,
                                 nullptr),
                  0);
    }
    void TearDown() override {
        RemoveOutputRedirection();
        FreeAllBrushes(L);
        FreeDrawLibraryBuffers(L);
        DisplayTest::TearDown();
    }
    cxBrush *Brush() {
        cxBrush *b = nullptr;
        FindBrush(L, {1, nullptr}, &b, CX_FIND_HARDWARE);
        return b;
    }
    static uint32_t At(const cxBitmap *b, int x, int y) {
        uint32_t v = 0xDEADBEEF;
        ReadBitmapPixel(b, x, y, &v);
        return v;
    }
    bool TrueColour() { return OsGetDisplayWindow(&d->os)->visual->red_mask == 0xFF0000; }
};

TEST_F(OutputX11, DrawingIntoASelectedBrushShowsWhenTheBrushIsDisplayed) {
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    EXPECT_EQ(d->targetKind, 3u);
    ASSERT_EQ(Cmd("Box", {5, 5, 10, 10, 0xFF0000}), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    EXPECT_EQ(d->targetKind, 21u);
    EXPECT_EQ(At(Brush()->bitmap, 6, 6), 0xFF0000u);
    EXPECT_EQ(At(Brush()->bitmap, 20, 20), 0u);
    if (!TrueColour()) GTEST_SKIP() << "not a 24-bit screen";
    EXPECT_EQ(WindowPixel(d, 56, 46), 0u);  // drawing into the brush left the window alone
    ASSERT_EQ(DisplayBrushByID(L, {1, nullptr}, 50, 40, 0), 0);
    EXPECT_EQ(WindowPixel(d, 56, 46), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 51, 41), 0u);
}

TEST_F(OutputX11, TheFirstDrawingIntoAMaskMakesIt) {
    cxBrush *b = Brush();
    b->alpha = AllocAlphaChannel(40, 30, 1, nullptr, 0);
    ASSERT_EQ(Cmd("SelectMask", {1}), 0);
    EXPECT_EQ(b->mask, nullptr);  // nothing before the first drawing
    ASSERT_EQ(Cmd("SetMaskMode", {1}), 0);  // #MASKINVISIBLE
    ASSERT_EQ(Cmd("Box", {0, 0, 20, 30, 0xFFFFFF}), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    ASSERT_EQ(Cmd("SetMaskMode", {0}), 0);
    ASSERT_NE(b->mask, nullptr);
    EXPECT_EQ(b->alpha, nullptr);  // one kind of transparency
    EXPECT_EQ(At(b->mask, 5, 5), 0u);
    EXPECT_EQ(At(b->mask, 30, 5), 1u);
    EXPECT_EQ(At(b->bitmap, 5, 5), 0u);  // the colour stayed
    if (!TrueColour()) GTEST_SKIP() << "not a 24-bit screen";
    ASSERT_EQ(Cmd("Box", {0, 0, 160, 120, 0x00FF00}), 0);
    ASSERT_EQ(DisplayBrushByID(L, {1, nullptr}, 10, 10, 0), 0);
    EXPECT_EQ(WindowPixel(d, 15, 15), 0x00FF00u);  // invisible: the background shows
    EXPECT_EQ(WindowPixel(d, 45, 15), 0u);
}

TEST_F(OutputX11, ABrushDisplayedIntoASelectedMaskWritesItsShape) {
    // Brush 2: 4 x 4, visible only in its left half.
    cxBitmap *bm = AllocBitmap(4, 4, CX_ALLOC_CLEAR, 0);
    cxBitmap *mask = AllocMask(bm, 4, 4, 1, nullptr, 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 2; x++) WriteBitmapPixel(mask, x, y, 1);
    cxObjectID id{2, nullptr};
    ASSERT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, 4, 4, 4, 0, nullptr, bm, CX_TRANSPARENT_BY_MASK, mask, nullptr,
                             nullptr, nullptr),
              0);
    cxBrush *b = Brush();
    b->mask = AllocMask(b->bitmap, 40, 30, 1, nullptr, 0);  // all invisible
    ASSERT_EQ(Cmd("SelectMask", {1}), 0);
    ASSERT_EQ(DisplayBrushByID(L, {2, nullptr}, 10, 10, 0), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    EXPECT_EQ(At(b->mask, 10, 10), 1u);
    EXPECT_EQ(At(b->mask, 11, 13), 1u);
    EXPECT_EQ(At(b->mask, 12, 10), 0u);  // the brush's invisible half
    EXPECT_EQ(At(b->mask, 9, 10), 0u);
}

TEST_F(OutputX11, ASelectionParksDoubleBufferingAndEndSelectBringsItBack) {
    ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
    EXPECT_EQ(Cmd("EndSelect", {}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    EXPECT_EQ(Cmd("Flip", {}), ERR_NODOUBLEBUFFER);  // parked
    ASSERT_EQ(Cmd("Box", {0, 0, 4, 4, 0x0000FF}), 0);
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    EXPECT_EQ(d->targetKind, 3u);
    EXPECT_EQ(At(Brush()->bitmap, 1, 1), 0x0000FFu);
    cxBitmap *back = GetDoubleBufferBitmap(d);
    ASSERT_NE(back, nullptr);
    // Drawing goes to the back buffer again, and reaches the window on Flip.
    ASSERT_EQ(DisplayBrushByID(L, {1, nullptr}, 60, 60, 0), 0);
    EXPECT_EQ(At(back, 61, 61), 0x0000FFu);
    if (!TrueColour()) GTEST_SKIP() << "not a 24-bit screen";
    EXPECT_NE(WindowPixel(d, 61, 61), 0x0000FFu);
    ASSERT_EQ(Cmd("Flip", {}), 0);
    EXPECT_EQ(WindowPixel(d, 61, 61), 0x0000FFu);
    // EndDoubleBuffer with a selection on ends the selection first.
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    ASSERT_EQ(Cmd("EndDoubleBuffer", {}), 0);
    EXPECT_EQ(d->targetKind, 21u);
    EXPECT_EQ(d->doubleBuffer1, 0u);
}

TEST_F(OutputX11, SavedRenderTargetDrawsOnTheDisplayForAMoment) {
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    cxSavedRenderTarget saved;
    SaveRenderTarget(d, &saved);
    ASSERT_EQ(Cmd("Box", {0, 0, 4, 4, 0xFF00FF}), 0);  // onto the display's picture
    RestoreRenderTarget(d, &saved);
    ASSERT_EQ(Cmd("Box", {0, 0, 4, 4, 0x00FF00}), 0);  // into the brush again
    ASSERT_EQ(Cmd("EndSelect", {}), 0);
    EXPECT_EQ(At(d->picture, 1, 1), 0xFF00FFu);
    EXPECT_EQ(At(Brush()->bitmap, 1, 1), 0x00FF00u);
}

TEST_F(OutputX11, SelectionRefusalsAndEnds) {
    EXPECT_EQ(Cmd("EndSelect", {}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SelectBrush", {7}), ERR_FINDBRUSH);
    EXPECT_EQ(Cmd("SelectMask", {1, 4}), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Cmd("SelectAlphaChannel", {1, 5}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SelectBGPic", {1, 2}), ERR_FINDBGPIC);
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    EXPECT_EQ(Cmd("SelectBrush", {1}), 0);  // the same again: nothing happens
    EXPECT_EQ(FreeBrushByID(L, {1, nullptr}, 1), ERR_MODIFYABR);
    EXPECT_EQ(Cmd("BeginDoubleBuffer", {}), ERR_SELECTBRUSH);
    // A failed selection leaves the previous one ended.
    EXPECT_EQ(Cmd("SelectBrush", {7}), ERR_FINDBRUSH);
    EXPECT_EQ(d->targetKind, 21u);
    // Displaying the selected brush ends the selection, then draws it.
    ASSERT_EQ(Cmd("SelectBrush", {1}), 0);
    ASSERT_EQ(DisplayBrushByID(L, {1, nullptr}, 0, 0, 0), 0);
    EXPECT_EQ(d->targetKind, 21u);
}

}  // namespace
