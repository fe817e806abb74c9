// SafeBlt on a display record of the test's own, with the libraries around
// it (window, layers, sprites) stood in for by hooks that record and paint.
#include "display/blit/safe_blt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "graphics/blit/blit.h"
#include "graphics/blit/blit_settings.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/pixels/pixel_format.h"

namespace {

struct Refresh {
    cxBitmap *src;
    int32_t sx, sy, dx, dy, w, h;
    uint32_t flag;
};

struct World {
    cxDisplay *display = nullptr;
    cxDisplay *fallback = nullptr;
    std::vector<Refresh> refreshes;
    std::vector<int> redrawParts;
    int directCalls = 0;
    // A sprite at this rectangle, painted in this colour by the layer hook.
    int32_t spriteX = -1, spriteY = 0, spriteW = 0, spriteH = 0;
} *g_world = nullptr;

cxDisplay *Current() { return g_world->display; }
cxDisplay *Fallback() { return g_world->fallback; }
int BGPicSize(cxBGPic *, int32_t *w, int32_t *h) {
    *w = 32;
    *h = 24;
    return 0;
}
int Overlaps(cxBGPic *, int32_t x, int32_t y, int32_t w, int32_t h) {
    const World &g = *g_world;
    return g.spriteX >= 0 && x < g.spriteX + g.spriteW && g.spriteX < x + w && y < g.spriteY + g.spriteH &&
           g.spriteY < y + h;
}
constexpr uint32_t kSprite = 0x00FF00, kBackground = 0x000080;
void RedrawLayers(lua_State *, cxDisplay *, cxBGPic *, cxBitmap *dst, int32_t x, int32_t y, int32_t w, int32_t h,
                  uint32_t, int part) {
    g_world->redrawParts.push_back(part);
    if (part != 2) FillRect(dst, x, y, w, h, kBackground);
    if (part != 1) FillRect(dst, g_world->spriteX, g_world->spriteY, g_world->spriteW, g_world->spriteH, kSprite);
}
void RefreshRegion(cxBitmap *src, int32_t sx, int32_t sy, cxDisplay *, int32_t dx, int32_t dy, int32_t w, int32_t h,
                   uint32_t flag) {
    g_world->refreshes.push_back({src, sx, sy, dx, dy, w, h, flag});
}
void Direct(cxBitmap *, int32_t, int32_t, cxDisplay *, int32_t, int32_t, int32_t, int32_t, uint32_t, cxBitmap *,
            cxBitmap *, cxBitmap *) {
    g_world->directCalls++;
}

uint32_t Get(const cxBitmap *b, int x, int y) {
    cxOsBitmapLock l;
    uint32_t v = 0xDEADBEEF;
    if (LockBitmap(b, 0, &l)) v = LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * 4, 10) & 0xFFFFFFu;
    UnlockBitmap(&l);
    return v;
}
uint8_t *Bytes(const cxBitmap *b) {
    return reinterpret_cast<uint8_t *>(
        QueryBitmapAttribute(b, b->kind == CX_BITMAP_ALPHA ? CX_BMATTR_ALPHA_PIXELS : CX_BMATTR_MASK_PIXELS));
}

class SafeBltTest : public ::testing::Test {
  protected:
    World world;
    cxDisplay *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    cxBitmap *src = AllocBitmap(8, 8, CX_ALLOC_CLEAR, 0);
    cxBitmap *first = AllocBitmap(32, 24, CX_ALLOC_CLEAR, 0);
    cxBitmap *second = AllocBitmap(32, 24, CX_ALLOC_CLEAR, 0);

    void SetUp() override {
        g_world = &world;
        world.display = d;
        d->targetKind = CX_OUTPUT_DISPLAY;
        d->backBitmap[0] = first;
        d->backBitmap[1] = second;
        FillRect(src, 0, 0, 8, 8, 0xFF0000);
        cxSafeBltHooks hooks{};
        hooks.currentDisplay = Current;
        hooks.fallbackDisplay = Fallback;
        hooks.bgpicSize = BGPicSize;
        hooks.spriteOverlaps = Overlaps;
        hooks.redrawLayersRect = RedrawLayers;
        hooks.refreshRegion = RefreshRegion;
        hooks.refreshDirect = Direct;
        SetSafeBltHooks(&hooks);
        ResetBlitSettings();
    }
    void TearDown() override {
        SetSafeBltHooks(nullptr);
        FreeBitmap(src);
        FreeBitmap(first);
        FreeBitmap(second);
        free(d);
        g_world = nullptr;
    }
    void Blt(int32_t dx, int32_t dy, uint32_t flags, cxBitmap *target = nullptr, cxBitmap *mask = nullptr,
             cxBitmap *alpha = nullptr, const cxClipRegion *region = nullptr, int32_t w = 8, int32_t h = 8) {
        SafeBlt(nullptr, src, 0, 0, target, dx, dy, w, h, 8, 8, 32, 24, flags, mask, alpha, region);
    }
};

TEST_F(SafeBltTest, WithoutADisplayItSaysSoAndDrawsNothing) {
    world.display = nullptr;
    testing::internal::CaptureStdout();
    Blt(0, 0, CX_SAFEBLT_FIRSTBACK);
    Blt(0, 0, CX_SAFEBLT_OWNTARGET, first); // no fallback display either
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\nERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
    EXPECT_EQ(Get(first, 0, 0), 0u);
    // A caller drawing into its own target may use the display being set up.
    world.fallback = d;
    world.spriteX = 0; // its sprites are not handled
    world.spriteW = world.spriteH = 32;
    Blt(1, 1, CX_SAFEBLT_OWNTARGET, first);
    EXPECT_EQ(Get(first, 1, 1), 0xFF0000u);
    EXPECT_TRUE(world.redrawParts.empty());
    EXPECT_TRUE(world.refreshes.empty());
}

TEST_F(SafeBltTest, ClippedAwayOrNegativeSourcesDrawAndRefreshNothing) {
    Blt(40, 0, CX_SAFEBLT_FIRSTBACK);
    Blt(0, -8, CX_SAFEBLT_FIRSTBACK);
    SafeBlt(nullptr, src, -1, 0, nullptr, 0, 0, 4, 4, 8, 8, 32, 24, CX_SAFEBLT_FIRSTBACK, nullptr, nullptr, nullptr);
    Blt(0, 0, CX_SAFEBLT_FIRSTBACK | CX_SAFEBLT_CLIPPED, nullptr, nullptr, nullptr, nullptr, 0, 8);
    EXPECT_TRUE(world.refreshes.empty());
    EXPECT_EQ(Get(first, 0, 0), 0u);
}

TEST_F(SafeBltTest, IntoTheFirstBackBitmapThenTheWindow) {
    Blt(28, 20, CX_SAFEBLT_FIRSTBACK); // clipped to 4x4 at the corner
    EXPECT_EQ(Get(first, 31, 23), 0xFF0000u);
    EXPECT_EQ(Get(first, 27, 23), 0u);
    ASSERT_EQ(world.refreshes.size(), 1u);
    const Refresh &r = world.refreshes[0];
    EXPECT_EQ(r.src, first);
    EXPECT_EQ(r.dx, 28);
    EXPECT_EQ(r.dy, 20);
    EXPECT_EQ(r.w, 4);
    EXPECT_EQ(r.h, 4);
    EXPECT_EQ(r.flag, 1u);
    Blt(0, 0, CX_SAFEBLT_FIRSTBACK | CX_SAFEBLT_NOREFRESH);
    EXPECT_EQ(world.refreshes.size(), 1u);

    // Mirrored displays draw the second back bitmap too and show it.
    d->mirror = 1;
    d->os.scaledWidth = 64;
    d->os.scaledHeight = 48;
    Blt(10, 10, CX_SAFEBLT_ALWAYSBACK);
    EXPECT_EQ(Get(second, 10, 10), 0xFF0000u);
    EXPECT_EQ(world.refreshes.back().src, second);

    // Without a back-bitmap flag the window is refreshed from the source.
    world.refreshes.clear();
    Blt(3, 4, 0);
    ASSERT_EQ(world.refreshes.size(), 1u);
    EXPECT_EQ(world.refreshes[0].src, src);
    EXPECT_EQ(world.refreshes[0].flag, 0u);
    // With layers on the rectangle is recomposited instead.
    d->layersOn = 1;
    Blt(3, 4, CX_SAFEBLT_FIRSTBACK | CX_SAFEBLT_LAYERS);
    EXPECT_EQ(world.redrawParts, std::vector<int>{0});
    EXPECT_EQ(world.refreshes.back().src, second);

    // A direct-draw display takes it straight to the window.
    d->directDraw = 1;
    Blt(0, 0, CX_SAFEBLT_DIRECT);
    EXPECT_EQ(world.directCalls, 1);
}

TEST_F(SafeBltTest, SpritesStayOnTopOnlyWhereTheyOverlap) {
    d->bgpic = reinterpret_cast<cxBGPic *>(1);
    world.spriteX = 4;
    world.spriteY = 4;
    world.spriteW = 2;
    world.spriteH = 2;
    Blt(0, 0, 0);
    EXPECT_EQ(world.redrawParts, (std::vector<int>{1, 2}));
    // The source went into the second back bitmap, the sprite over it, and
    // the window shows that.
    EXPECT_EQ(Get(second, 0, 0), 0xFF0000u);
    EXPECT_EQ(Get(second, 4, 4), kSprite);
    ASSERT_EQ(world.refreshes.size(), 1u);
    EXPECT_EQ(world.refreshes[0].src, second);
    EXPECT_EQ(world.refreshes[0].w, 8);

    // Far from the sprite the list has no effect.
    world.redrawParts.clear();
    world.refreshes.clear();
    Blt(20, 10, CX_SAFEBLT_FIRSTBACK);
    EXPECT_TRUE(world.redrawParts.empty());
    EXPECT_EQ(Get(first, 20, 10), 0xFF0000u);
    EXPECT_EQ(world.refreshes.back().src, first);

    // Into the first back bitmap with a sprite over it: the layers are put
    // together again in the second.
    Blt(2, 2, CX_SAFEBLT_FIRSTBACK);
    EXPECT_EQ(world.redrawParts, std::vector<int>{0});
    EXPECT_EQ(Get(first, 4, 4), 0xFF0000u);
    EXPECT_EQ(Get(second, 4, 4), kSprite);
}

TEST_F(SafeBltTest, TheSelectedMaskAndAlphaChannelFollow) {
    cxBitmap *out = AllocMask(nullptr, 32, 24, 1, nullptr, 0);
    d->targetKind = CX_OUTPUT_MASK;
    d->outputMask = out;
    struct Case {
        int mode;
        uint8_t before, after;
    };
    // Pixels 0-7 of row 0, a plain source.
    for (const Case &c : {Case{CX_MASKVISIBLE, 0x00, 0xFF}, Case{CX_MASKINVISIBLE, 0xFF, 0x00}, Case{CX_MASKXOR, 0x0F, 0xF0}}) {
        Bytes(out)[0] = c.before;
        GetBlitSettings()->maskMode = c.mode;
        Blt(0, 0, 0);
        EXPECT_EQ(Bytes(out)[0], c.after) << c.mode;
    }
    EXPECT_TRUE(world.refreshes.empty()); // nothing reaches the window
    EXPECT_EQ(Get(first, 0, 0), 0u);

    // A masked source combines its mask in.
    cxBitmap *mask = AllocMask(src, 8, 8, 1, nullptr, 0);
    Bytes(mask)[0] = 0xA0;
    Bytes(out)[0] = 0;
    GetBlitSettings()->maskMode = CX_MASKVISIBLE;
    Blt(0, 0, 0, nullptr, mask);
    EXPECT_EQ(Bytes(out)[0], 0xA0);

    // An alpha channel gets the intensity, or 255 after a drawn target.
    cxBitmap *alphaOut = AllocAlphaChannel(32, 24, 1, nullptr, 0);
    d->outputMask = nullptr;
    d->outputAlpha = alphaOut;
    d->targetKind = CX_OUTPUT_ALPHA;
    GetBlitSettings()->alphaIntensity = 90;
    Blt(0, 0, 0);
    EXPECT_EQ(Bytes(alphaOut)[0], 90);
    Blt(0, 0, 0, first);
    EXPECT_EQ(Bytes(alphaOut)[0], 255);
    EXPECT_EQ(Bytes(alphaOut)[8], 0);
    Blt(8, 0, 0, nullptr, mask);
    EXPECT_EQ(Bytes(alphaOut)[8], 90);
    EXPECT_EQ(Bytes(alphaOut)[9], 0);
    FreeMask(mask);
    FreeMask(out);
    FreeAlphaChannel(alphaOut);
}

TEST_F(SafeBltTest, AShapedRegionLetsOnlyItsShapeThrough) {
    cxClipRegion region{};
    region.x = 2;
    region.y = 2;
    region.width = 4;
    region.height = 4;
    region.shape = AllocMask(nullptr, 4, 4, 1, nullptr, 0);
    Bytes(region.shape)[QueryBitmapAttribute(region.shape, CX_BMATTR_MASK_BYTESPERROW) * 1] = 0x40; // (3, 3)
    Blt(0, 0, CX_SAFEBLT_FIRSTBACK, nullptr, nullptr, nullptr, &region);
    EXPECT_EQ(Get(first, 3, 3), 0xFF0000u);
    EXPECT_EQ(Get(first, 2, 2), 0u);
    EXPECT_EQ(Get(first, 4, 3), 0u);
    EXPECT_EQ(Get(first, 0, 0), 0u); // outside the region's rectangle
    ASSERT_EQ(world.refreshes.size(), 1u);
    EXPECT_EQ(world.refreshes[0].dx, 2);
    EXPECT_EQ(world.refreshes[0].w, 4);
    // Flag 1 leaves the region out.
    Blt(0, 0, CX_SAFEBLT_FIRSTBACK | CX_SAFEBLT_NOREGION, nullptr, nullptr, nullptr, &region);
    EXPECT_EQ(Get(first, 0, 0), 0xFF0000u);
    FreeMask(region.shape);
    FreeClipShapeScratch();
}

} // namespace
