// Hardware brushes on a display adapter that makes video bitmaps: made,
// refused where software brushes are wanted, kept in memory while their
// display re-opens and found by their bitmap.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display/display.h"
#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "tests/graphics/support/adapter_plugin.h"

namespace {

TEST(HardwareBrushes, KeptWhileTheirDisplayReopens) {
    cxtest::AdapterPlugin owner("owner");
    auto *first = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    auto *second = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    InitObjectHeader(&first->header, CX_OBJECT_DISPLAY, 1, 0);
    InitObjectHeader(&second->header, CX_OBJECT_DISPLAY, 2, 0);

    cxObjectID id{5, nullptr};
    cxBrush *b = nullptr;
    ASSERT_EQ(CreateBlankBrush(&id, 4, 2, 0x112233, CX_BLANK_HARDWARE, first, &b), 0);
    ASSERT_EQ(b->hardware, 1u);
    EXPECT_EQ(b->display, first);
    EXPECT_EQ(b->bitmap->foreign, 1u);

    cxBrush *found = nullptr;
    EXPECT_EQ(FindBrush(nullptr, id, &found, 0), ERR_HWBRUSH);
    EXPECT_EQ(FindBrush(nullptr, id, &found, CX_FIND_HARDWARE), 0);

    // The adapter glue finds the brush by its bitmap's store and back.
    cxObjectID byStore{};
    EXPECT_EQ(FindHardwareBrushBitmap(GetBitmapStore(b->bitmap), {}, &byStore, nullptr), 1);
    EXPECT_EQ(byStore.number, 5);
    void *store = nullptr;
    EXPECT_EQ(FindHardwareBrushBitmap(nullptr, id, nullptr, &store), 1);
    EXPECT_EQ(store, GetBitmapStore(b->bitmap));

    // The test adapter only logs blits: its pixels are set in its store.
    EXPECT_GE(owner.log().bltCalls, 1);
    auto *words = reinterpret_cast<uint32_t *>(static_cast<TestStore *>(b->bitmap->store)->pixels);
    for (int i = 0; i < 8; ++i) words[i] = 0xFF112233u;
    ASSERT_EQ(SaveHardwareBrushes(first), 0);
    EXPECT_EQ(b->bitmap, nullptr);
    ASSERT_NE(b->savedPixels, nullptr);
    EXPECT_EQ(b->savedPixels[7], 0xFF112233u);
    EXPECT_EQ(FindHardwareBrushBitmap(nullptr, id, nullptr, &store), 0);

    const int blits = owner.log().bltCalls;
    ASSERT_EQ(RestoreHardwareBrushes(second), 0);
    EXPECT_EQ(owner.log().bltCalls, blits + 1);  // the saved pixels went back through a blit
    ASSERT_NE(b->bitmap, nullptr);
    EXPECT_EQ(b->bitmap->foreign, 1u);
    EXPECT_EQ(b->display, second);
    EXPECT_EQ(b->displayID.number, 2);
    EXPECT_EQ(b->savedPixels, nullptr);

    FreeDisplayHardwareBrushes(nullptr, second);
    EXPECT_EQ(GetFirstBrush(), nullptr);
    free(first);
    free(second);
}

TEST(HardwareBrushes, WithoutVideoBitmapsTheyBecomeOrdinaryBrushes) {
    auto *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    cxObjectID id{6, nullptr};
    cxBrush *b = nullptr;
    ASSERT_EQ(CreateBlankBrush(&id, 2, 2, 0x445566, CX_BLANK_HARDWARE, d, &b), 0);
    EXPECT_EQ(b->hardware, 0u);  // no adapter: an ordinary bitmap
    // A brush saved under an adapter and restored without one.
    b->hardware = 1;
    b->savedPixels = static_cast<uint32_t *>(malloc(16));
    for (int i = 0; i < 4; ++i) b->savedPixels[i] = 0xFF778899u;
    FreeBitmap(b->bitmap);
    b->bitmap = nullptr;
    ASSERT_EQ(RestoreHardwareBrushes(d), 0);
    EXPECT_EQ(b->hardware, 0u);
    EXPECT_EQ(b->display, nullptr);
    EXPECT_EQ(b->bitmap->foreign, 0u);
    FreeAllBrushes(nullptr);
    free(d);
}

}  // namespace
