// Sprites and moves on the brush tests' display (layers off) with the
// sprite and moveobject libraries open. The layers library's repaint is
// replaced by a small one that records each rectangle: the picture, then
// the sprites over it, into the display's second picture buffer, which
// Composed() reads (what the window would show).
#pragma once

#include <vector>

#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "images/core/layer_use.h"
#include "images/moves/move_library.h"
#include "images/moves/object_move.h"
#include "images/sprites/sprite.h"
#include "images/sprites/sprite_library.h"
#include "tests/images/brushes/brush_test_display.h"

namespace cxtest {

struct RepaintBox {
    int32_t x, y, w, h;
    bool operator==(const RepaintBox &o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

class SpriteDisplayTest : public BrushDisplayTest {
  protected:
    static std::vector<RepaintBox> &Repaints() {
        static std::vector<RepaintBox> boxes;
        return boxes;
    }

    void SetUp() override {
        BrushDisplayTest::SetUp();
        ASSERT_EQ(OpenSpriteLibrary(L), 0);
        ASSERT_EQ(OpenMoveObjectLibrary(L), 0);
        cxLayerHooks hooks{};
        hooks.redrawDisplayRect = Repaint;
        SetLayerHooks(&hooks);
        Repaints().clear();
    }
    void TearDown() override {
        SetMoveObserver(nullptr, nullptr);
        FreeAllSprites(L);
        SetLayerHooks(nullptr);
        FreeBitmap(d->backBitmap[0]);
        d->backBitmap[0] = nullptr;
        BrushDisplayTest::TearDown();
    }

    static cxBitmap *Buffer(cxDisplay *d) {
        if (!d->backBitmap[0]) {
            d->backBitmap[0] = AllocBitmap(d->pictureWidth, d->pictureHeight, 0, 0);
            BltBitmap(d->picture, 0, 0, d->backBitmap[0], 0, 0, d->pictureWidth, d->pictureHeight);
        }
        return d->backBitmap[0];
    }
    static void Compose(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
        cxBitmap *c = Buffer(d);
        const int32_t l = std::max(x, 0), t = std::max(y, 0);
        const int32_t r = std::min<int64_t>(int64_t(x) + w, d->pictureWidth), b = std::min<int64_t>(int64_t(y) + h, d->pictureHeight);
        if (r <= l || b <= t) return;
        BltBitmap(d->picture, l, t, c, l, t, r - l, b - t);
        DrawSprites(L, d->bgpic, c, l, t, r - l, b - t, 0);
    }
    static void Repaint(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t w, int32_t h) {
        Repaints().push_back({x, y, w, h});
        Compose(L, d, x, y, w, h);
    }
    // What the window shows: the whole picture composed afresh.
    uint32_t Composed(int x, int y) {
        Compose(L, d, 0, 0, d->pictureWidth, d->pictureHeight);
        return PixelOf(d->backBitmap[0], x, y);
    }

    // A plain sprite of solid frames, one colour each; with a hole, each
    // frame's top-left pixel is clear in its mask.
    cxSprite *Sprite(int id, int w, int h, std::vector<uint32_t> colours, bool hole = false) {
        const int32_t n = int32_t(colours.size());
        std::vector<cxBitmap *> b(colours.size()), m(colours.size(), nullptr);
        for (int32_t i = 0; i < n; ++i) {
            b[i] = AllocBitmap(w, h, 0, 0);
            FillRect(b[i], 0, 0, w, h, colours[i]);
            if (hole) {
                m[i] = AllocMask(b[i], w, h, 1, nullptr, 0);
                FillMaskRect(m[i], 0, 0, w, h, CX_MASKVISIBLE);
                FillMaskRect(m[i], 0, 0, 1, 1, CX_MASKINVISIBLE);
            }
        }
        cxObjectID oid{id, nullptr};
        cxSprite *s = nullptr;
        EXPECT_EQ(AddSpriteRecord(&oid, n, w, h, b.data(), m.data(), nullptr, nullptr, -1, &s), 0);
        return s;
    }
    int NodeFrame(int id) {
        cxSpriteDrawNode *n = nullptr;
        return FindOnScreenSprite({id, nullptr}, &n, nullptr) == 0 ? n->frame : -1;
    }
    // The sprite IDs of the current BGPic's list, bottom first.
    std::vector<int> Order() {
        std::vector<int> ids;
        for (cxSpriteDrawNode *n = GetSpriteDrawList(d->bgpic); n; n = n->next)
            ids.push_back(n->sprite ? n->sprite->header.idNumber : -1);
        return ids;
    }
    static int CountSpriteRecords() {
        int n = 0;
        for (cxSprite *s = GetFirstSprite(); s; s = reinterpret_cast<cxSprite *>(s->header.next)) ++n;
        return n;
    }
};

}  // namespace cxtest
