// DrawPath onto an open display under the X server: drawn through SafeBlt
// into the display's picture and read back from the window.
#include "display/draw/draw_library.h"
#include "tests/display/displays/display_fixture.h"
#include "text/vector/vector_library.h"

namespace {

class VectorDisplay : public cxtest::DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
    }
    void TearDown() override {
        FreeAllPaths(L);
        FreeDrawLibraryBuffers(L);
        DisplayTest::TearDown();
    }
};

TEST_F(VectorDisplay, PathsReachTheWindow) {
    if (!HaveX()) GTEST_SKIP() << "no X server";
    ASSERT_EQ(Create(1, {{"width", 64.0}, {"height", 48.0}, {"fillstyle", 1.0}, {"color", 0.0}}), 0);
    ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
    cxDisplay *d = Display(1);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);

    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 10, 8}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 4, 6, 0xFF0000}), 0);
    EXPECT_EQ(WindowPixel(d, 4, 6), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 13, 13), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 14, 13), 0u);
    EXPECT_EQ(WindowPixel(d, 4, 14), 0u);

    // Partly outside the display: the part inside is drawn.
    ASSERT_EQ(Cmd("DrawPath", {1, 58, 44, 0x00FF00}), 0);
    EXPECT_EQ(WindowPixel(d, 63, 47), 0x00FF00u);

    // The draw library's circle as a path.
    ASSERT_EQ(Cmd("ForcePathUse", {1}), 0);
    ASSERT_EQ(Cmd("Circle", {40, 20, 6, 0x0000FF}), 0);
    EXPECT_EQ(WindowPixel(d, 40, 20), 0x0000FFu);
    EXPECT_EQ(WindowPixel(d, 40, 12), 0u);
}

} // namespace
