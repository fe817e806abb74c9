// BGPics shown on displays with a window on the test's X server: the
// window follows the picture's size, scaled displays keep theirs, and what
// the window shows is what the script reads back.
#include "display/double_buffer.h"
#include "display/draw/draw_library.h"
#include "errors/error_codes.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "tests/display/displays/display_fixture.h"

namespace {

class BGPicWindow : public cxtest::DisplayTest {
  protected:
    void SetUp() override {
        SetScriptLibraryOpener("brush", OpenBrushLibrary);
        SetScriptLibraryOpener("bgpic", OpenBGPicLibrary);
        SetScriptLibraryOpener("draw", OpenDrawLibrary);
        DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
        InstallOutputRedirection();
    }
    void TearDown() override {
        RemoveOutputRedirection();
        DisplayTest::TearDown();
        FreeAllBrushes(L);
        FreeAllBGPics(L);
        SetScriptLibraryOpener("brush", nullptr);
        SetScriptLibraryOpener("bgpic", nullptr);
        SetScriptLibraryOpener("draw", nullptr);
    }
    cxDisplay *OpenNew(int id, const std::vector<cxtest::Field> &fields) {
        if (Create(id, fields) != 0) return nullptr;
        if (Cmd("OpenDisplay", {double(id)}) != 0) return nullptr;
        return Display(id);
    }
    static void WindowSize(cxDisplay *d, int *w, int *h) {
        cxOsWindow *win = OsGetDisplayWindow(&d->os);
        XWindowAttributes attrs{};
        XSync(win->dpy, False);
        XGetWindowAttributes(win->dpy, win->window, &attrs);
        *w = attrs.width;
        *h = attrs.height;
    }
    double ReadPixel(int x, int y) {
        if (Cmd("ReadPixel", {double(x), double(y)}) != 0) return -1;
        return lua_tonumber(L, -1);
    }
};

TEST_F(BGPicWindow, TheWindowTakesTheSizeOfANewPicture) {
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 80.0}, {"x", 0.0}, {"y", 0.0}});
    ASSERT_NE(d, nullptr);
    struct Step {
        int id, w, h;
        uint32_t colour;
    };
    // Larger, smaller, then back to a picture of the display's first size.
    for (const Step &s : {Step{2, 160, 120, 0xFF0000}, Step{3, 50, 40, 0x00FF00}, Step{4, 100, 80, 0x0000FF}}) {
        SCOPED_TRACE(s.id);
        ASSERT_EQ(Cmd("CreateBGPic", {double(s.id), double(s.w), double(s.h), double(s.colour)}), 0);
        ASSERT_EQ(Cmd("DisplayBGPic", {double(s.id)}), 0);
        int w = 0, h = 0;
        WindowSize(d, &w, &h);
        EXPECT_EQ(w, s.w);
        EXPECT_EQ(h, s.h);
        EXPECT_EQ(d->os.width, s.w);
        EXPECT_EQ(d->os.height, s.h);
        EXPECT_EQ(WindowPixel(d, s.w - 1, s.h - 1), s.colour);
        EXPECT_EQ(ReadPixel(s.w - 1, s.h - 1), double(s.colour));
        EXPECT_EQ(Cmd("ReadPixel", {double(s.w), 0}), ERR_COORDSRANGE);
    }
}

TEST_F(BGPicWindow, AScaledDisplayKeepsItsWindowAndScalesTheNewPicture) {
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 80.0}, {"x", 0.0}, {"y", 0.0}, {"scalemode", 1.0},
                               {"scalewidth", 200.0}, {"scaleheight", 160.0}});
    ASSERT_NE(d, nullptr);
    int w = 0, h = 0;
    WindowSize(d, &w, &h);
    ASSERT_EQ(w, 200);
    for (int size : {400, 50}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(Cmd("CreateBGPic", {double(size), double(size), double(size) * 0.8, 0xFFFF00}), 0);
        ASSERT_EQ(Cmd("DisplayBGPic", {double(size)}), 0);
        WindowSize(d, &w, &h);
        EXPECT_EQ(w, 200);
        EXPECT_EQ(h, 160);
        EXPECT_EQ(d->os.width, size);
        EXPECT_EQ(d->pictureWidth, size);
        EXPECT_EQ(WindowPixel(d, 199, 159), 0xFFFF00u);
        EXPECT_EQ(WindowPixel(d, 0, 0), 0xFFFF00u);
        EXPECT_EQ(ReadPixel(size - 1, int(size * 0.8) - 1), double(0xFFFF00));
    }
}

// A new BGPic ends double buffering: the window shows the new picture,
// not the black back buffer, and nothing is left for EndDoubleBuffer.
TEST_F(BGPicWindow, ANewPictureEndsDoubleBuffering) {
    cxDisplay *d = OpenNew(1, {{"width", 100.0}, {"height", 80.0}, {"x", 0.0}, {"y", 0.0}, {"fillstyle", 1.0},
                               {"color", double(0x0000FF)}});
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    for (int size : {100, 120}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(Cmd("BeginDoubleBuffer", {}), 0);
        ASSERT_EQ(Cmd("CreateBGPic", {double(size), double(size), 80, 0x00FF00}), 0);
        ASSERT_EQ(Cmd("DisplayBGPic", {double(size)}), 0);
        EXPECT_EQ(d->doubleBuffer1, 0u);
        EXPECT_EQ(WindowPixel(d, 10, 10), 0x00FF00u);
        EXPECT_EQ(WindowPixel(d, size - 1, 79), 0x00FF00u);
        EXPECT_EQ(Cmd("EndDoubleBuffer", {}), ERR_NODOUBLEBUFFER);
        EXPECT_EQ(WindowPixel(d, 10, 10), 0x00FF00u);
        // Drawing goes to the display again, at once.
        ASSERT_EQ(Cmd("Box", {0, 0, 4, 4, 0xFF0000}), 0);
        EXPECT_EQ(WindowPixel(d, 1, 1), 0xFF0000u);
        ASSERT_EQ(Cmd("CreateBGPic", {9, 100, 80, 0x0000FF}), 0);
        ASSERT_EQ(Cmd("DisplayBGPic", {9}), 0);
    }
}

}  // namespace
