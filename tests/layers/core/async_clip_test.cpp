// Async draws (stepped once per display frame, freed with their display,
// asked what they animate) and clip regions (shared, deferred, turned).
#include "display/frame_hooks.h"
#include "display/present.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/geometry/geometry.h"
#include "layers/core/async_draw.h"
#include "layers/core/clip_regions.h"
#include "tests/layers/layer_test_display.h"

namespace {

class AsyncAndClip : public cxtest::LayerDisplayTest {};

struct Counter {
    int frames = 0, finished = 0, released = 0, last = 3;
    void *animates = nullptr;
};

int Frame(lua_State *, cxAsyncDraw *a, int *done) {
    auto *c = static_cast<Counter *>(a->userData);
    *done = ++c->frames >= c->last;
    return 0;
}
void Finish(lua_State *, cxAsyncDraw *a) { static_cast<Counter *>(a->userData)->finished++; }
void Release(cxAsyncDraw *a) { static_cast<Counter *>(a->userData)->released++; }
intptr_t Control(cxAsyncDraw *a, int code, void *object) {
    auto *c = static_cast<Counter *>(a->userData);
    return code == CX_ASYNC_ANIMATES && object == c->animates ? 1 : 0;
}

TEST_F(AsyncAndClip, AsyncDrawsStepOncePerFrameAndGoWithTheirDisplay) {
    Counter c;
    cxAsyncDraw *a = nullptr;
    ASSERT_EQ(CreateAsyncDraw(0, Frame, Finish, Release, Control, &c, &a), 0);
    EXPECT_TRUE(HasAsyncDrawOnDisplay(d));
    // Layers cannot be switched while it runs.
    EXPECT_EQ(Call("DisableLayers"), ERR_LAYERSWITCH);
    d->layersOn = 0;
    EXPECT_EQ(Call("EnableLayers"), ERR_LAYERSWITCH);
    d->layersOn = 1;
    // The display's frame steps it; the last frame finishes and frees it.
    for (int i = 0; i < 5; ++i) WaitDisplayFrame(L, d, 0);
    EXPECT_EQ(c.frames, 3);
    EXPECT_EQ(c.finished, 1);
    EXPECT_EQ(c.released, 1);
    EXPECT_FALSE(HasAsyncDrawOnDisplay(d));

    // One that animates a layer is found by it, and goes when its display
    // is freed.
    Brush(1, 4, 4, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    Counter c2;
    c2.last = 100;
    c2.animates = Layer(1);
    ASSERT_EQ(CreateAsyncDraw(0, Frame, Finish, Release, Control, &c2, &a), 0);
    EXPECT_TRUE(IsAsyncDrawObject(Layer(1)));
    EXPECT_FALSE(IsAsyncDrawObject(&c2));
    GetDisplayFrameHooks()->freed(L, d);
    EXPECT_EQ(c2.released, 1);
    EXPECT_EQ(c2.finished, 0);
    EXPECT_FALSE(IsAsyncDrawObject(Layer(1)));
}

TEST_F(AsyncAndClip, ARegionFreedWhileLayersUseItWaitsForThem) {
    cxObjectID id{7, nullptr};
    cxClipRegion *r = nullptr;
    ASSERT_EQ(AddClipRegion(&id, 10, 10, 8, 8, nullptr, &r), 0);
    cxClipRegion *found = nullptr;
    ASSERT_EQ(FindClipRegion(id, &found, 0), 0);
    EXPECT_EQ(found, r);
    SetBGPicClipRegion(BGPic(), r);
    Brush(1, 30, 30, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}), 0);
    SetBGPicClipRegion(BGPic(), nullptr);
    // Drawn only inside the region.
    EXPECT_EQ(Composed(10, 10), 0xFFFFFFu);
    EXPECT_EQ(Composed(17, 17), 0xFFFFFFu);
    EXPECT_EQ(Composed(9, 10), 0x000080u);
    EXPECT_EQ(Composed(18, 10), 0x000080u);
    ASSERT_EQ(FreeClipRegionByID(L, id), 0);
    EXPECT_EQ(FindClipRegion(id, &found, 0), ERR_FINDCLIPREGION);
    EXPECT_EQ(GetErrorNumber(), 7);
    RedrawDisplayRect(L, 0, 0, 64, 48, 0);
    EXPECT_EQ(Composed(10, 10), 0xFFFFFFu);
    FreeAllLayers(L, BGPic(), 1, 1);  // the region goes with its last layer (the sanitizers watch)
    EXPECT_EQ(AddClipRegion(&id, 0, 0, 0, 5, nullptr, &r), ERR_BADDIMENSIONS);
}

TEST_F(AsyncAndClip, RegionsOutsideThePictureClipEverything) {
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxClipRegion *r = nullptr;
    ASSERT_EQ(AddClipRegion(&id, 1000, -500, 50, 50, nullptr, &r), 0);
    SetBGPicClipRegion(BGPic(), r);
    Brush(1, 64, 48, 0xFFFFFF);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("shadow", 1), Field("border", 1); }), 0);
    SetBGPicClipRegion(BGPic(), nullptr);
    for (int y = 0; y < 48; y += 7)
        for (int x = 0; x < 64; x += 7) ASSERT_EQ(Composed(x, y), 0x000080u);
}

TEST_F(AsyncAndClip, TurnedRegions) {
    cxObjectID id{0, reinterpret_cast<void *>(1)};
    cxClipRegion *r = nullptr;
    ASSERT_EQ(AddClipRegion(&id, 10, 20, 8, 4, nullptr, &r), 0);
    double m[4];
    MakeTransformMatrix(m, 0, 0, 1, 1, 1, 1, 90);
    cxClipRegion *t = TransformClipRegion(r, m, 10, 20);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->privateCopy, 1u);
    EXPECT_EQ(t->width, 4);
    EXPECT_EQ(t->height, 8);
    ASSERT_NE(t->shape, nullptr);
    uint32_t bit = 0;
    ReadBitmapPixel(t->shape, 1, 1, &bit);
    EXPECT_EQ(bit, 1u);
    ReleaseClipRegion(t);
    const double identity[4] = {1, 0, 0, 1};
    t = TransformClipRegion(r, identity, 0, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->x, 10);
    EXPECT_EQ(t->shape, nullptr);
    ReleaseClipRegion(t);
}

}  // namespace
