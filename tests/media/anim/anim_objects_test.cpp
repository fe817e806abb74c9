// Anim objects through their commands: loading anims and stills (cut into
// frames), disk anims, the option conflicts, copies, scaling, frame edits,
// single frames to and from brushes, freeing and locking, deferred bitmaps.
#include <gtest/gtest.h>

#include "graphics/geometry/geometry.h"
#include "images/brushes/brush.h"
#include "media/anim/anim_internal.h"
#include "tests/media/anim/anim_test_support.h"

namespace {

using cxtest::CellColour;

class AnimObjects : public cxtest::AnimTest {};

TEST_F(AnimObjects, StillImagesCutRowByRow) {
    const std::string png = GridPng("grid.png", 4, 3, 32);  // 128 x 96
    ASSERT_EQ(Load(1, png, [&] {
                  Field("width", 32), Field("height", 32), Field("frames", 10), Field("fpr", 4);
              }),
              0);
    cxAnim *a = Get(1);
    ASSERT_EQ(a->frames, 10);
    EXPECT_EQ(a->width, 32);
    EXPECT_FALSE(a->diskBased);
    // Rows of 4, 4 and 2 frames.
    for (int f = 0; f < 10; ++f) EXPECT_EQ(FramePixel(a, f, 16, 16), CellColour(f)) << f;
    EXPECT_EQ(GetAnimFrameDelay(a, 3), 0);

    // The cut does not fit: x moves the rows past the width; negative and
    // huge coordinates; sizes that make no grid.
    struct Case {
        int32_t x, y, w, h, frames, fpr;
        int err;
    } cases[] = {{1, 0, 32, 32, 10, 4, ERR_BRUSHSIZE},          {0, 1, 32, 32, 10, 4, ERR_BRUSHSIZE},
                 {-1, 0, 32, 32, 1, 1, ERR_NEGCOORDS},          {0, 0, 32, 32, 13, 4, ERR_BRUSHSIZE},
                 {INT32_MAX, 0, 32, 32, 4, 4, ERR_BRUSHSIZE},   {0, 0, 65536, 32, 1, 65536, ERR_BRUSHSIZE},
                 {0, 0, 32, 32, 0, 4, ERR_WRONGUSAGE},  {0, 0, 32, 32, -3, 4, ERR_WRONGUSAGE},
                 {0, 0, 32, 96, 4, 0, 0}};
    for (const Case &c : cases) {
        const int err = Load(2, png, [&] {
            Field("x", c.x), Field("y", c.y), Field("width", c.w), Field("height", c.h), Field("frames", c.frames);
            Field("fpr", c.fpr);
        });
        EXPECT_EQ(err, c.err) << c.x << " " << c.frames;
    }
    // fpr 0 takes "frames": one row of 4 wide frames of one column each.
    EXPECT_EQ(Get(2)->frames, 4);

    // Without a size the still is one frame.
    ASSERT_EQ(Load(3, png), 0);
    EXPECT_EQ(Get(3)->frames, 1);
    EXPECT_EQ(Get(3)->width, 128);
}

TEST_F(AnimObjects, GifAnimsWithDelaysAndRecognition) {
    const std::string gif = Gif("a.gif", 8, 6, {100, 200, 300});
    const std::string still = Gif("s.gif", 8, 6, {0});
    ASSERT_EQ(Load(1, gif), 0);
    cxAnim *a = Get(1);
    ASSERT_EQ(a->frames, 3);
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(FramePixel(a, f, 3, 3), CellColour(f));
        EXPECT_EQ(GetAnimFrameDelay(a, f), 100 * (f + 1));
    }
    // A GIF of one picture is no anim to IsAnim, yet loads as one.
    auto isAnim = [&](const std::string &file, const char *loader = nullptr) {
        EXPECT_EQ(Call("IsAnim", [&] {
                      lua_pushstring(L, file.c_str());
                      if (loader) {
                          lua_newtable(L);
                          lua_pushstring(L, "loader");
                          lua_pushstring(L, loader);
                          lua_settable(L, -3);
                      }
                  }),
                  0);
        return int(Num(1));
    };
    EXPECT_EQ(isAnim(gif), 1);
    EXPECT_EQ(isAnim(still), 0);
    EXPECT_EQ(isAnim(dir.Path("missing.gif")), 0);
    EXPECT_EQ(isAnim(GridPng("p.png", 1, 1, 4)), 0);
    // A loader list without "inbuilt" leaves no reader for a plain GIF.
    EXPECT_EQ(isAnim(gif, "native"), 0);
    EXPECT_EQ(Load(4, gif, [&] {
                  lua_pushstring(L, "loader"), lua_pushstring(L, "native"), lua_settable(L, -3);
              }),
              ERR_OPENANIM2);
    ASSERT_EQ(Load(2, still), 0);
    EXPECT_EQ(Get(2)->frames, 1);
    // "skiploopframes" concerns IFF ANIMs only.
    ASSERT_EQ(Load(3, gif, [&] { Field("skiploopframes", 1); }), 0);
    EXPECT_EQ(Get(3)->frames, 3);
    // No file, and a file that is neither anim nor picture.
    EXPECT_EQ(Load(5, dir.Path("missing.gif")), ERR_READFILE);
    cxtest::WriteText(dir.Path("junk.bin"), "not a picture at all");
    EXPECT_EQ(Load(5, dir.Path("junk.bin")), ERR_OPENANIM2);
    EXPECT_EQ(Detail(), dir.Path("junk.bin"));
}

// IFF ANIMs through the dispatch: recognised, their delays in ticks, and
// the two loop frames at their end dropped on request.
TEST_F(AnimObjects, IffAnimsAndTheirLoopFrames) {
    const std::string anim = IffAnim("a.anim", 4);
    ASSERT_EQ(Load(1, anim), 0);
    cxAnim *a = Get(1);
    ASSERT_EQ(a->frames, 5);
    EXPECT_EQ(GetAnimFrameDelay(a, 1), 100);
    EXPECT_EQ(FramePixel(a, 0, 0, 0), 0u);
    EXPECT_EQ(FramePixel(a, 1, 0, 0), 0xFFFFFFu);
    ASSERT_EQ(Load(2, anim, [&] { Field("skiploopframes", 1); }), 0);
    EXPECT_EQ(Get(2)->frames, 3);
    EXPECT_EQ(Load(3, IffAnim("b.anim", 1), [&] { Field("skiploopframes", 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("IsAnim", [&] { lua_pushstring(L, anim.c_str()); }), 0);
    EXPECT_EQ(Num(1), 1);
    // A deinterlaced open of a file that is not interlaced reads the same.
    ASSERT_EQ(Load(4, anim, [&] { Field("deinterlace", 1); }), 0);
    EXPECT_EQ(FramePixel(Get(4), 2, 0, 0), 0xFFFFFFu);
    // Cut short: the first picture is all there is to read.
    cxtest::Bytes b = cxtest::ReadBytes(anim);
    b.resize(60);
    cxtest::WriteBytes(dir.Path("cut.anim"), b);
    EXPECT_EQ(Load(5, dir.Path("cut.anim")), ERR_OPENANIM2);
}

TEST_F(AnimObjects, OptionConflicts) {
    const std::string gif = Gif("a.gif", 8, 6, {100, 100}, true);
    struct Case {
        const char *what;
        std::function<void()> fill;
        int err;
    } cases[] = {
        {"loadalpha + loadtransparency", [&] { Field("loadalpha", 1), Field("loadtransparency", 1); }, ERR_WRONGUSAGE},
        {"loadalpha + transparency", [&] { Field("loadalpha", 1), Field("transparency", 0xFF0000); }, ERR_MASKNALPHA},
        {"loadtransparency + transparency", [&] { Field("loadtransparency", 1), Field("transparency", 1); },
         ERR_WRONGUSAGE},
        {"frames + fromdisk", [&] { Field("frames", 2), Field("fromdisk", 1); }, ERR_WRONGUSAGE},
        {"loadalpha on a GIF", [&] { Field("loadalpha", 1); }, ERR_NOALPHA},
    };
    for (const Case &c : cases) EXPECT_EQ(Load(1, gif, c.fill), c.err) << c.what;
    EXPECT_EQ(CountAnims(), 0);
    // The file's transparent pen: an alpha channel clear where it is.
    ASSERT_EQ(Load(1, gif, [&] { Field("loadtransparency", 1); }), 0);
    cxAnim *a = Get(1);
    ASSERT_NE(a->alphas[0], nullptr);
    cxOsBitmapLock l;
    LockBitmap(a->alphas[0], 0, &l);
    EXPECT_EQ(l.pixels[0], 0);
    EXPECT_EQ(l.pixels[1], 255);
    UnlockBitmap(&l);
    // A GIF without a transparent pen cannot give one.
    EXPECT_EQ(Load(2, Gif("b.gif", 8, 6, {100, 100}), [&] { Field("loadtransparency", 1); }), ERR_NOTRANSPARENCY);
    // A transparent colour makes masks.
    ASSERT_EQ(Load(3, gif, [&] { Field("transparency", 0xFF00FF); }), 0);
    EXPECT_NE(Get(3)->masks[1], nullptr);
}

TEST_F(AnimObjects, DiskAnimsDecodeOnDemand) {
    const std::string avi = Avi("a.avi", 16, 12, 5);
    ASSERT_EQ(Load(1, avi, [&] { Field("fromdisk", 1); }), 0);
    cxAnim *a = Get(1);
    EXPECT_TRUE(a->diskBased);
    EXPECT_EQ(a->bitmaps, nullptr);
    EXPECT_EQ(a->frames, 5);
    for (int f : {4, 0, 2}) EXPECT_TRUE(Near(FramePixel(a, f, 8, 6), CellColour(f), 8)) << f;
    EXPECT_EQ(GetAnimFrameDelay(a, 1), 0);  // AVI frames carry no delay
    // Scaling changes the shown size; frames come at it.
    ASSERT_EQ(Cmd("ScaleAnim", {1, 32, 24}), 0);
    EXPECT_EQ(a->width, 32);
    EXPECT_EQ(a->frameWidth, 16);
    cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
    ASSERT_EQ(GetAnimFrameBitmaps(a, 3, 0, 0, &b, &m, &al), 0);
    EXPECT_EQ(b->width, 32);
    FreeBitmap(b);
    // A copy reads the file through a reader of its own.
    ASSERT_EQ(Cmd("CopyAnim", {1, 2}), 0);
    cxAnim *c = Get(2);
    EXPECT_TRUE(c->diskBased);
    EXPECT_NE(c->reader, a->reader);
    EXPECT_TRUE(Near(FramePixel(c, 2, 3, 3), CellColour(2), 8));
    // Frame edits need frames in memory.
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, 2}), ERR_ANIMDISK);
    // A brush of a frame.
    ASSERT_EQ(Cmd("GetAnimFrame", {5, 4, 1}), 0);
    cxBrush *br = nullptr;
    ASSERT_EQ(FindBrush(L, {5, nullptr}, &br, 0), 0);
    EXPECT_EQ(br->width, 32);
    EXPECT_TRUE(Near(PixelOf(br->bitmap, 10, 10), CellColour(3), 8));
}

TEST_F(AnimObjects, CreateCopyScaleAndFree) {
    const std::string png = GridPng("grid.png", 3, 1, 10);
    ASSERT_EQ(Call("LoadBrush", [&] {
                  lua_pushnumber(L, 7);
                  lua_pushstring(L, png.c_str());
              }),
              0);
    ASSERT_EQ(Cmd("CreateAnim", {1, 7, 10, 10, 3, 3}), 0);
    cxAnim *a = Get(1);
    ASSERT_EQ(a->frames, 3);
    EXPECT_EQ(FramePixel(a, 2, 5, 5), CellColour(2));
    EXPECT_EQ(Cmd("CreateAnim", {2, 7, 10, 10, 3, 3, 1}), ERR_BRUSHSIZE);
    EXPECT_EQ(Cmd("CreateAnim", {2, 99, 10, 10, 3, 3}), ERR_FINDBRUSH);
    EXPECT_EQ(Cmd("CreateAnim", {2, 7, 10, 10, 3, 3, 0, 0, 0}), ERR_TOOMANYARGS);

    // Copies: automatic and numbered; onto itself is refused.
    ASSERT_EQ(Call("CopyAnim", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnil(L);
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    cxAnim *copy = nullptr;
    ASSERT_EQ(FindAnim(L, {0, lua_touserdata(L, 1)}, &copy, 0), 0);
    EXPECT_EQ(FramePixel(copy, 1, 1, 1), CellColour(1));
    EXPECT_NE(copy->bitmaps[1], a->bitmaps[1]);
    EXPECT_EQ(Cmd("CopyAnim", {1, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("CopyAnim", {9, 2}), ERR_FINDANIM);

    // Scale: sizes, a percentage, keeping the proportions.
    ASSERT_EQ(Cmd("ScaleAnim", {1, 20, 5}), 0);
    EXPECT_EQ(a->width, 20);
    EXPECT_EQ(a->bitmaps[0]->width, 20);
    EXPECT_EQ(FramePixel(a, 2, 15, 3), CellColour(2));
    ASSERT_EQ(Call("ScaleAnim", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "50%");
                  lua_pushnumber(L, CX_KEEPASPRAT);
              }),
              0);
    EXPECT_EQ(a->width, 10);
    EXPECT_EQ(a->height, 3);
    EXPECT_EQ(Cmd("ScaleAnim", {1, 0, 5}), ERR_BADDIMENSIONS);

    // Freeing: missing numbers and pointers, locks.
    ASSERT_EQ(Cmd("FreeAnim", {1}), 0);
    EXPECT_EQ(Cmd("FreeAnim", {1}), ERR_FINDANIM);
    EXPECT_EQ(GetErrorNumber(), 1);
    EXPECT_EQ(Call("FreeAnim", [&] { lua_pushlightuserdata(L, &copy); }), ERR_FINDARRAY);
    copy->lockCount = 1;
    EXPECT_EQ(Call("FreeAnim", [&] { lua_pushlightuserdata(L, copy); }), ERR_LOCKEDOBJ);
    EXPECT_EQ(Call("ScaleAnim", [&] {
                  lua_pushlightuserdata(L, copy);
                  lua_pushnumber(L, 5);
                  lua_pushnumber(L, 5);
              }),
              ERR_LOCKEDOBJ);
    copy->lockCount = 0;
    // A numbered load replaces the anim of that number.
    ASSERT_EQ(Load(3, png), 0);
    ASSERT_EQ(Load(3, png), 0);
    EXPECT_EQ(CountAnims(), 2);
}

TEST_F(AnimObjects, FrameEditsAndDelays) {
    const std::string gif = Gif("a.gif", 6, 4, {50, 60, 70, 80});
    ASSERT_EQ(Load(1, gif), 0);
    cxAnim *a = Get(1);
    // Two blank frames before frame 2.
    ASSERT_EQ(Cmd("ModifyAnimFrames", {1, 2, 2}), 0);
    ASSERT_EQ(a->frames, 6);
    EXPECT_EQ(FramePixel(a, 0, 0, 0), CellColour(0));
    EXPECT_EQ(FramePixel(a, 1, 0, 0), 0u);
    EXPECT_EQ(FramePixel(a, 2, 0, 0), 0u);
    EXPECT_EQ(FramePixel(a, 3, 0, 0), CellColour(1));
    EXPECT_EQ(GetAnimFrameDelay(a, 1), 0);
    EXPECT_EQ(GetAnimFrameDelay(a, 3), 60);
    // Appended, then removed from the end and from a position.
    ASSERT_EQ(Cmd("ModifyAnimFrames", {1, 1}), 0);
    EXPECT_EQ(a->frames, 7);
    ASSERT_EQ(Cmd("ModifyAnimFrames", {1, -1}), 0);
    ASSERT_EQ(Cmd("ModifyAnimFrames", {1, -2, 2}), 0);
    ASSERT_EQ(a->frames, 4);
    for (int f = 0; f < 4; ++f) EXPECT_EQ(FramePixel(a, f, 1, 1), CellColour(f)) << f;
    // Removing every frame, past the end, or at a negative position fails.
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, -4}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, -2, 4}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, 1, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ModifyAnimFrames", {1, 0}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("ModifyAnimFrames", {1, -3}), 0);
    EXPECT_EQ(a->frames, 1);

    // Delays: stored, checked.
    ASSERT_EQ(Cmd("SetAnimFrameDelay", {1, 1, 250}), 0);
    EXPECT_EQ(GetAnimFrameDelay(a, 0), 250);
    EXPECT_EQ(Cmd("SetAnimFrameDelay", {1, 1, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SetAnimFrameDelay", {1, 2, 10}), ERR_ANIMFRAME);
    EXPECT_EQ(Cmd("GetAnimFrame", {2, 0, 1}), ERR_ANIMFRAME);
}

TEST_F(AnimObjects, LoadAnimFrameIntoBrushes) {
    const std::string gif = Gif("a.gif", 6, 4, {50, 60, 70});
    auto loadFrame = [&](double id, double frame) {
        return Call("LoadAnimFrame", [&] {
            lua_pushnumber(L, id);
            lua_pushnumber(L, frame);
            lua_pushstring(L, gif.c_str());
        });
    };
    ASSERT_EQ(loadFrame(1, -1), 0);
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(PixelOf(b->bitmap, 2, 2), CellColour(2));
    ASSERT_EQ(loadFrame(1, 2), 0);
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    EXPECT_EQ(PixelOf(b->bitmap, 2, 2), CellColour(1));
    EXPECT_EQ(loadFrame(2, 4), ERR_ANIMFRAME);
    EXPECT_EQ(loadFrame(2, 0), ERR_ANIMFRAME);
    EXPECT_EQ(CountBrushes(), 1);
}

// Anims loaded before any display exists keep their frames' pixels and get
// bitmaps once one does.
TEST_F(AnimObjects, DeferredBitmapsAreRealised) {
    const std::string gif = Gif("a.gif", 6, 4, {50, 60});
    SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END);
    ASSERT_EQ(Load(1, gif), 0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END);
    cxAnim *a = Get(1);
    ASSERT_NE(a->raw, nullptr);
    EXPECT_EQ(a->bitmaps[0], nullptr);
    EXPECT_NE(a->reader, nullptr);
    ASSERT_EQ(RealizePendingAnims(L), 0);
    EXPECT_EQ(a->raw, nullptr);
    EXPECT_EQ(a->reader, nullptr);
    ASSERT_NE(a->bitmaps[1], nullptr);
    EXPECT_EQ(PixelOf(a->bitmaps[1], 1, 1), CellColour(1));
    EXPECT_EQ(GetAnimFrameDelay(a, 1), 60);
}

TEST_F(AnimObjects, ArgumentCounts) {
    struct Case {
        const char *name;
        int min, max;
    } cases[] = {{"PlayAnim", 1, 5},      {"FreeAnim", 1, 1},         {"ScaleAnim", 3, 4},
                 {"PlayAnimDisk", 1, 7},  {"LoadAnimFrame", 3, 4},    {"LoadAnim", 2, 3},
                 {"IsAnim", 1, 2},        {"CreateAnim", 6, 8},       {"CopyAnim", 2, 2},
                 {"GetAnimFrame", 3, 3},  {"DisplayAnimFrame", 4, 5}, {"ModifyAnimFrames", 2, 3},
                 {"SelectAnim", 2, 4},    {"SaveAnim", 2, 4},         {"BeginAnimStream", 4, 6},
                 {"WriteAnimFrame", 2, 3}, {"FinishAnimStream", 1, 1}, {"SetAnimFrameDelay", 3, 3}};
    for (const Case &c : cases) {
        EXPECT_EQ(Call(c.name, [&] {
                      for (int i = 0; i < c.min - 1; ++i) lua_pushnumber(L, 1);
                  }),
                  ERR_MISSINGPARAMTR)
            << c.name;
        EXPECT_EQ(Call(c.name, [&] {
                      for (int i = 0; i < c.max + 1; ++i) lua_pushnumber(L, 1);
                  }),
                  ERR_TOOMANYARGS)
            << c.name;
    }
}

}  // namespace
