// Brush records: lookup by number and automatic ID, the access flags, and
// copy-on-write for brushes that layers show (the layers library is
// simulated by its hooks and the use count it keeps).
#include "images/brushes/brush.h"

#include <vector>

#include "graphics/blit/blit.h"
#include "graphics/pixels/pixel_format.h"
#include "images/core/layer_use.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

struct Redirect {
    int kind;
    cxObjectID from, to;
};
std::vector<Redirect> g_redirects;

void RecordRedirect(lua_State *, int kind, cxObjectID from, cxObjectID to) { g_redirects.push_back({kind, from, to}); }

int CountBrushes() {
    int n = 0;
    for (cxBrush *b = GetFirstBrush(); b; b = reinterpret_cast<cxBrush *>(b->header.next)) ++n;
    return n;
}

class BrushRecords : public cxtest::VmTest {
  protected:
    void SetUp() override {
        VmTest::SetUp();
        g_redirects.clear();
        cxLayerHooks hooks{};
        hooks.redirectLayers = RecordRedirect;
        SetLayerHooks(&hooks);
    }
    void TearDown() override {
        FreeAllBrushes(L);
        SetLayerHooks(nullptr);
        VmTest::TearDown();
    }
    // A solid brush of one colour under a number (or automatic with 0).
    cxBrush *Make(int32_t number, uint32_t colour, int32_t w = 4, int32_t h = 3) {
        cxBitmap *bm = AllocBitmap(w, h, 0, 0);
        FillRect(bm, 0, 0, w, h, colour);
        cxObjectID id{number, number ? nullptr : reinterpret_cast<void *>(1)};
        cxBrush *b = nullptr;
        EXPECT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, bm, -1, nullptr, nullptr, nullptr, &b), 0);
        return b;
    }
    static uint32_t Pixel(const cxBrush *b, int x, int y) {
        cxOsBitmapLock l;
        LockBitmap(b->bitmap, 0, &l);
        const uint32_t v = PixelToColor(LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel,
                                                       l.pixelFormat),
                                        l.pixelFormat, 0) & 0xFFFFFF;
        UnlockBitmap(&l);
        return v;
    }
};

TEST_F(BrushRecords, LookupByNumberAndAutomaticID) {
    cxBrush *numbered = Make(7, 0xFF0000);
    cxBrush *automatic = Make(0, 0x00FF00);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(automatic->header.idPointer, automatic);

    cxBrush *found = nullptr;
    EXPECT_EQ(FindBrush(L, {7, nullptr}, &found, 0), 0);
    EXPECT_EQ(found, numbered);
    EXPECT_EQ(FindBrush(L, {0, automatic}, &found, 0), 0);
    EXPECT_EQ(found, automatic);

    EXPECT_EQ(FindBrush(L, {8, nullptr}, &found, 0), ERR_FINDBRUSH);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(GetErrorNumber(), 8);
    int stranger = 0;
    EXPECT_EQ(FindBrush(L, {0, &stranger}, &found, 0), ERR_FINDARRAY);
}

TEST_F(BrushRecords, AccessFlagsRefuseInTheirOrder) {
    struct Case {
        const char *what;
        void (*set)(cxBrush *);
        uint32_t flags;
        int expected;
    } cases[] = {
        {"locked, read", [](cxBrush *b) { b->locked = 1; }, 0, 0},
        {"locked, write", [](cxBrush *b) { b->locked = 1; }, CX_FIND_WRITE, ERR_LOCKEDOBJ},
        {"vector refused", [](cxBrush *b) { b->brushKind = CX_BRUSH_VECTOR; }, CX_FIND_NOVECTOR, ERR_BRUSHTYPE},
        {"vector allowed", [](cxBrush *b) { b->brushKind = CX_BRUSH_VECTOR; }, 0, 0},
        {"hardware refused", [](cxBrush *b) { b->hardware = 1; }, 0, ERR_HWBRUSH},
        {"hardware allowed", [](cxBrush *b) { b->hardware = 1; }, CX_FIND_HARDWARE, 0},
        {"vector before hardware", [](cxBrush *b) { b->hardware = 1, b->brushKind = CX_BRUSH_VECTOR; },
         CX_FIND_NOVECTOR, ERR_BRUSHTYPE},
        {"pending free skipped", [](cxBrush *b) { b->pendingFree = 1; }, 0, ERR_FINDBRUSH},
        {"pending free asked for", [](cxBrush *b) { b->pendingFree = 1; }, CX_FIND_PENDING, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cxBrush *b = Make(1, 0);
        c.set(b);
        cxBrush *found = nullptr;
        EXPECT_EQ(FindBrush(L, {1, nullptr}, &found, c.flags), c.expected);
        EXPECT_EQ(found, c.expected ? nullptr : b);
        b->hardware = 0;  // the clean-up finds it whatever it is
        FreeAllBrushes(L);
    }
}

TEST_F(BrushRecords, WritingABrushThatLayersShowGivesThemACopyWithTheOldPixels) {
    cxBrush *b = Make(3, 0x112233);
    // Two layers (on two BGPics) show it.
    AddBrushLayerUse(b);
    AddBrushLayerUse(b);

    cxBrush *found = nullptr;
    ASSERT_EQ(FindBrush(L, {3, nullptr}, &found, CX_FIND_WRITE), 0);
    EXPECT_EQ(found, b);  // the script's own record, never the copy
    ASSERT_EQ(g_redirects.size(), 1u);  // one copy for both layers
    EXPECT_EQ(g_redirects[0].kind, CX_OBJ_BRUSH);
    EXPECT_EQ(g_redirects[0].from.number, 3);
    auto *copy = static_cast<cxBrush *>(g_redirects[0].to.pointer);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, b);
    EXPECT_EQ(copy->header.idPointer, copy);
    EXPECT_EQ(copy->pendingFree, 1u);
    EXPECT_EQ(copy->layerUses, 2);
    EXPECT_EQ(b->layerUses, 0);

    // The edit reaches the script's brush only.
    FillRect(b->bitmap, 0, 0, 4, 3, 0xABCDEF);
    EXPECT_EQ(Pixel(b, 1, 1), 0xABCDEFu);
    EXPECT_EQ(Pixel(copy, 1, 1), 0x112233u);

    // A second write needs no copy any more.
    ASSERT_EQ(FindBrush(L, {3, nullptr}, &found, CX_FIND_WRITE), 0);
    EXPECT_EQ(g_redirects.size(), 1u);

    // The copy goes with the last layer that shows it.
    EXPECT_EQ(CountBrushes(), 2);
    DropBrushLayerUse(L, copy);
    EXPECT_EQ(CountBrushes(), 2);
    DropBrushLayerUse(L, copy);
    EXPECT_EQ(CountBrushes(), 1);
}

TEST_F(BrushRecords, WriteWithoutCopyMakesNoCopy) {
    cxBrush *b = Make(3, 0);
    AddBrushLayerUse(b);
    cxBrush *found = nullptr;
    EXPECT_EQ(FindBrush(L, {3, nullptr}, &found, CX_FIND_WRITE | CX_FIND_NOCOPY), 0);
    EXPECT_TRUE(g_redirects.empty());
    EXPECT_EQ(b->layerUses, 1);
    EXPECT_EQ(CountBrushes(), 1);
}

TEST_F(BrushRecords, FreeingABrushThatALayerShowsHandsItToTheLayer) {
    cxBrush *b = Make(5, 0x010203);
    AddBrushLayerUse(b);
    EXPECT_EQ(FreeBrushByID(L, {5, nullptr}, 1), 0);
    ASSERT_EQ(CountBrushes(), 1);
    EXPECT_EQ(b->pendingFree, 1u);
    EXPECT_EQ(b->header.idNumber, 0);
    EXPECT_EQ(b->header.idPointer, b);
    ASSERT_EQ(g_redirects.size(), 1u);
    EXPECT_EQ(g_redirects[0].to.pointer, b);

    cxBrush *found = nullptr;
    EXPECT_EQ(FindBrush(L, {5, nullptr}, &found, 0), ERR_FINDBRUSH);
    EXPECT_EQ(GetErrorNumber(), 5);
    // The number is free at once.
    cxBrush *again = Make(5, 0xFFFFFF);
    EXPECT_EQ(FindBrush(L, {5, nullptr}, &found, 0), 0);
    EXPECT_EQ(found, again);

    DropBrushLayerUse(L, b);
    EXPECT_EQ(CountBrushes(), 1);
}

TEST_F(BrushRecords, FreeReportsUnknownBrushesOnlyWhenAsked) {
    EXPECT_EQ(FreeBrushByID(L, {9, nullptr}, 0), 0);
    EXPECT_EQ(FreeBrushByID(L, {9, nullptr}, 1), ERR_FINDBRUSH);
    cxBrush *b = Make(9, 0);
    b->locked = 1;
    EXPECT_EQ(FreeBrushByID(L, {9, nullptr}, 0), ERR_LOCKEDOBJ);
    b->locked = 0;
    EXPECT_EQ(FreeBrushByID(L, {9, nullptr}, 0), 0);
    EXPECT_EQ(CountBrushes(), 0);
}

TEST_F(BrushRecords, CopyDuplicatesBitmapsAndSharesTheImage) {
    cxBrush *b = Make(1, 0x445566, 5, 2);
    b->alpha = AllocAlphaChannel(5, 2, 1, nullptr, 0);
    b->image = AllocImageHandle(5, 2);
    b->loaderWord = 77;
    ASSERT_NE(b->image, nullptr);
    cxBrush *copy = nullptr;
    ASSERT_EQ(CopyBrushRecord(L, b, {2, nullptr}, 0, 0, nullptr, &copy), 0);
    EXPECT_NE(copy->bitmap, b->bitmap);
    EXPECT_NE(copy->alpha, nullptr);
    EXPECT_NE(copy->alpha, b->alpha);
    EXPECT_EQ(copy->mask, nullptr);
    EXPECT_EQ(copy->image, b->image);
    EXPECT_EQ(b->image->refCount, 2);
    EXPECT_EQ(copy->loaderWord, 77u);
    EXPECT_EQ(Pixel(copy, 4, 1), 0x445566u);
    EXPECT_EQ(FreeBrushByID(L, {1, nullptr}, 1), 0);
    EXPECT_EQ(copy->image->refCount, 1);
}

}  // namespace
