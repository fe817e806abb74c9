// Text objects: creation, replacement, copies, rotation and scaling.
#include "text/library/text_objects.h"

#include <vector>

#include "display/blit/safe_blt.h"
#include "images/moves/move_library.h"
#include "images/moves/object_move.h"
#include "text_fixture.h"

namespace {

using texttest::TextTest;

cxTextObject *Object(int n) {
    cxTextObject *t = nullptr;
    return FindTextObject(nullptr, cxObjectID{n, nullptr}, &t, 0) == 0 ? t : nullptr;
}

int Objects() {
    int n = 0;
    for (cxObjectHeader *h = GetTextObjectList()->first; h; h = h->next) ++n;
    return n;
}

TEST_F(TextTest, CreateReplaceAndFree) {
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, "Hi");
              }),
              0);
    EXPECT_TRUE(lua_islightuserdata(L, 1));
    for (const char *text : {"one", "three"})
        ASSERT_EQ(Call("CreateTextObject", [&] {
                      lua_pushnumber(L, 1);
                      lua_pushstring(L, text);
                  }),
                  0);
    EXPECT_EQ(Objects(), 2);
    ASSERT_NE(Object(1), nullptr);
    EXPECT_EQ(Object(1)->width, 40);
    EXPECT_EQ(Object(1)->height, 9);
    EXPECT_EQ(Cmd("FreeTextObject", {5}), ERR_FINDTEXTOBJECT);
    ASSERT_EQ(Cmd("FreeTextObject", {1}), 0);
    EXPECT_EQ(Objects(), 1);
    EXPECT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, "[u");
              }),
              ERR_SQBRACKETCLOSE);
    EXPECT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, "x");
                  lua_pushnumber(L, -90000);
                  lua_pushnumber(L, -5);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(Object(2), nullptr);
}

TEST_F(TextTest, CopiesAndDisplay) {
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "[edge=$FF0000,2]Ab");
              }),
              0);
    EXPECT_EQ(Cmd("CopyTextObject", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CopyTextObject", {1, 2}), 0);
    ASSERT_NE(Object(2), nullptr);
    EXPECT_EQ(Object(2)->width, Object(1)->width);
    EXPECT_EQ(Object(2)->offsetX, -2);
    ASSERT_EQ(Cmd("DisplayTextObject", {2, 20, 20}), 0);
    EXPECT_GT(Count(0xFF0000, 18, 18, 40, 31), 0);
    EXPECT_GT(Count(0xFFFFFF, 20, 20, 36, 28), 0);
    EXPECT_EQ(Count(0xFF0000, 0, 0, 18, kH), 0);
    EXPECT_EQ(Cmd("DisplayTextObject", {9, 0, 0}), ERR_FINDTEXTOBJECT);
}

TEST_F(TextTest, RotationRendersAgainAndKeepsTheAngleModulo360) {
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "[shadow]abcd");
              }),
              0);
    const int32_t w = Object(1)->width, h = Object(1)->height, ox = Object(1)->offsetX, oy = Object(1)->offsetY;
    ASSERT_EQ(Cmd("RotateTextObject", {1, 450}), 0);
    EXPECT_EQ(Object(1)->angle, 90);
    EXPECT_NEAR(Object(1)->width, h, 1);
    EXPECT_NEAR(Object(1)->height, w, 1);
    EXPECT_EQ(Object(1)->offsetX, 0);
    ASSERT_EQ(Cmd("RotateTextObject", {1, 360}), 0);
    EXPECT_EQ(Object(1)->width, w);
    EXPECT_EQ(Object(1)->offsetX, ox);
    EXPECT_EQ(Object(1)->offsetY, oy);
}

TEST_F(TextTest, ScalingRefersToTheSizeAtCreation) {
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "abcdefgh");
              }),
              0);
    const int32_t w = Object(1)->baseWidth, h = Object(1)->baseHeight;
    ASSERT_EQ(Call("ScaleTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "200%");
                  lua_pushnumber(L, 100000);
              }),
              0);
    EXPECT_EQ(Object(1)->width, 2 * w);
    EXPECT_EQ(Object(1)->height, 2 * h);
    ASSERT_EQ(Call("ScaleTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "50%");
                  lua_pushnumber(L, 100000);
              }),
              0);
    EXPECT_EQ(Object(1)->width, w / 2);
    EXPECT_EQ(Object(1)->height, (h + 1) / 2);
    EXPECT_EQ(Cmd("ScaleTextObject", {1, 0, 10}), ERR_BADDIMENSIONS);
    EXPECT_EQ(Cmd("ScaleTextObject", {1, 100000, 100000}), ERR_WRONGUSAGE);
}

// Turned or scaled beyond any bitmap: the allocation's error, and the
// object stays as it was.
TEST_F(TextTest, TurningOrScalingBeyondAnyBitmapFailsAsTheBitmap) {
    const std::string line(5000, 'a'); // 40,000 pixels of topaz
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, line.c_str());
              }),
              0);
    const int32_t w = Object(1)->width;
    ASSERT_GT(w, 32768);
    EXPECT_EQ(Cmd("RotateTextObject", {1, 90}), ERR_BITMAP);
    EXPECT_EQ(Object(1)->width, w);
    EXPECT_EQ(Object(1)->angle, 0);
}

TEST_F(TextTest, LockedObjectsRefuseChanges) {
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "x");
              }),
              0);
    Object(1)->lock = 1;
    EXPECT_EQ(Cmd("RotateTextObject", {1, 10}), ERR_LOCKEDOBJ);
    EXPECT_EQ(Cmd("FreeTextObject", {1}), ERR_LOCKEDOBJ);
    Object(1)->lock = 0;
}

// MoveTextObject: the object is found and locked through the hooks the
// text library gives the move engine, and drawn into the display's picture.
TEST_F(TextTest, TextObjectsMoveAndAreLockedMeanwhile) {
    ASSERT_EQ(OpenMoveObjectLibrary(L), 0);
    cxSafeBltHooks blit = *GetSafeBltHooks();
    blit.refreshRegion = nullptr;  // no window
    SetSafeBltHooks(&blit);
    display->picture = AllocBitmap(kW, kH, CX_ALLOC_CLEAR, 0);
    display->targetKind = CX_OBJECT_DISPLAY;
    ASSERT_EQ(InitDisplayRecords(), 0);
    LinkDisplay(display);  // a move ends when its display goes
    ASSERT_EQ(Call("CreateTextObject", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "x");
              }),
              0);
    struct Watch {
        lua_State *L;
        std::vector<int> xs, freeing;
    } watch{L, {}, {}};
    SetMoveObserver(
        [](void *user, int32_t x, int32_t) {
            auto *w = static_cast<Watch *>(user);
            w->xs.push_back(x);
            w->freeing.push_back(FreeTextObjectByID(w->L, {1, nullptr}, 1));
        },
        &watch);
    ASSERT_EQ(Cmd("MoveTextObject", {1, 0, 0, 40, 0, 20}), 0);
    SetMoveObserver(nullptr, nullptr);
    EXPECT_EQ(watch.xs, (std::vector<int>{0, 20, 40}));
    EXPECT_EQ(watch.freeing, (std::vector<int>{ERR_LOCKEDOBJ, ERR_LOCKEDOBJ, ERR_LOCKEDOBJ}));
    EXPECT_EQ(Object(1)->lock, 0u);
    // What the picture shows is the object at the end only.
    cxTextObject *t = Object(1);
    int inked = 0, stray = 0;
    for (int y = 0; y < t->height; ++y)
        for (int x = 0; x < kW; ++x) {
            cxOsBitmapLock l;
            LockBitmap(display->picture, 0, &l);
            const bool ink = LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + size_t(x)) * l.bytesPerPixel,
                                            l.pixelFormat) != 0;
            UnlockBitmap(&l);
            if (ink && (x >= 40 && x < 40 + t->width)) ++inked;
            else if (ink) ++stray;
        }
    EXPECT_GT(inked, 0);
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(Cmd("MoveTextObject", {2, 0, 0, 40, 0}), ERR_FINDTEXTOBJECT);
    UnlinkDisplay(display);
    FreeDisplayRecords();
    FreeBitmap(display->picture);
    display->picture = nullptr;
    SetSafeBltHooks(nullptr);
}

} // namespace
