// Bitmap handles whose stores a display adapter plug-in makes: real ".cxp"
// adapters built beside the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/graphics/support/adapter_plugin.h"

namespace {

using cxtest::AdapterPlugin;

const TestStore *Store(const cxBitmap *b) { return static_cast<const TestStore *>(b->store); }

TEST(BitmapAdapter, AnOwnerMakesLocksAndFreesEveryKind) {
    AdapterPlugin owner("owner");
    TestAdapterLog &log = owner.log();

    cxBitmap *colour = AllocBitmap(5, 3, 0, 0);
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(Store(colour)->magic, TEST_STORE_MAGIC);
    EXPECT_EQ(log.lastAllocKind, 0u);
    EXPECT_EQ(log.lastAllocClear, 0);
    EXPECT_EQ(colour->foreign, 0u); // owned, not a video bitmap
    cxBitmap *cleared = AllocBitmap(2, 2, CX_ALLOC_CLEAR, 0);
    EXPECT_EQ(log.lastAllocClear, 1);
    EXPECT_EQ(cleared->flags, 1u);
    FreeBitmap(cleared);
    // The adapter pads rows to 16 bytes: 5 pixels of 4 bytes take 32.
    EXPECT_EQ(QueryBitmapAttribute(colour, CX_BMATTR_ROWLENGTH), 8u);
    EXPECT_EQ(QueryBitmapAttribute(colour, CX_BMATTR_FORMAT), 10u);
    EXPECT_EQ(GetRawBitmapAttr(colour->store, 0), 5u);
    EXPECT_EQ(GetRawBitmapAttr(colour->store, 1), 3u);

    cxOsBitmapLock l;
    ASSERT_NE(LockBitmap(colour, CX_LOCK_SOURCE, &l), 0);
    EXPECT_EQ(log.lastLockFlags, 1);
    EXPECT_EQ(l.pixels, Store(colour)->pixels);
    EXPECT_EQ(l.pixelFormat, 10u);
    EXPECT_EQ(l.bytesPerPixel, 4u);
    EXPECT_EQ(l.rowLength, 8u);
    EXPECT_EQ(l.width, 5);
    EXPECT_EQ(l.height, 3);
    EXPECT_EQ(l.plainMemory, 0u);
    EXPECT_EQ(Store(colour)->locks, 1);
    UnlockBitmap(&l);
    EXPECT_EQ(Store(colour)->locks, 0); // the adapter got its own handle back
    EXPECT_EQ(log.unlocks, 1);
    UnlockBitmap(&l); // twice is harmless
    EXPECT_EQ(log.unlocks, 1);

    // A mask for the colour bitmap names its store; its rows follow the
    // colour bitmap's 8 pixels.
    cxBitmap *mask = AllocMask(colour, 5, 3, 1, nullptr, 0);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(log.lastAllocKind, 2u);
    EXPECT_EQ(log.lastAllocClear, 1);
    ASSERT_EQ(log.lastTagCount, 1);
    EXPECT_EQ(log.lastTags[0].tag, CX_BMTAG_FORBITMAP);
    EXPECT_EQ(log.lastTags[0].data, reinterpret_cast<intptr_t>(colour->store));
    EXPECT_EQ(QueryBitmapAttribute(mask, CX_BMATTR_MASK_BYTESPERROW), 2u);
    EXPECT_EQ(QueryBitmapAttribute(mask, CX_BMATTR_ALPHA_BYTESPERROW), 0u);
    EXPECT_EQ(QueryBitmapAttribute(mask, CX_BMATTR_MASK_PIXELS), reinterpret_cast<uintptr_t>(Store(mask)->pixels));
    ASSERT_NE(LockBitmap(mask, 0, &l), 0);
    EXPECT_EQ(l.pixelFormat, uint32_t(CX_PIXFMT_MASK));
    EXPECT_EQ(l.bytesPerPixel, 1u);
    EXPECT_EQ(l.rowLength, 2u);
    UnlockBitmap(&l);

    // Caller rows are handed over in tags 2 and 3.
    std::vector<uint8_t> rows(40, 9);
    cxBitmap *alpha = AllocAlphaChannel(7, 4, 0, rows.data(), 10);
    ASSERT_NE(alpha, nullptr);
    ASSERT_EQ(log.lastTagCount, 2);
    EXPECT_EQ(log.lastTags[0].tag, CX_BMTAG_PIXELS);
    EXPECT_EQ(log.lastTags[0].data, reinterpret_cast<intptr_t>(rows.data()));
    EXPECT_EQ(log.lastTags[1].tag, CX_BMTAG_ROWLENGTH);
    EXPECT_EQ(log.lastTags[1].data, 10);
    EXPECT_EQ(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS), reinterpret_cast<uintptr_t>(rows.data()));
    EXPECT_EQ(QueryBitmapAttribute(alpha, CX_BMATTR_FORMAT), uint32_t(CX_PIXFMT_ALPHA));
    EXPECT_EQ(Store(alpha)->locks, 0); // the pixel query's lock was undone

    // Copies go through the adapter's locks too.
    cxBitmap *copy = CopyAlphaChannel(alpha, 7, 4);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Store(copy)->pixels[Store(copy)->bytesPerRow * 3 + 6], 9);
    EXPECT_EQ(Store(alpha)->locks, 0);

    const int before = log.liveStores;
    FreeAlphaChannel(copy);
    FreeAlphaChannel(alpha);
    FreeMask(mask);
    FreeBitmap(colour);
    EXPECT_EQ(log.liveStores, before - 4);
    EXPECT_EQ(log.frees, 5);
    EXPECT_EQ(rows[0], 9); // wrapped rows stay with the caller
    EXPECT_EQ(log.lockCalls, log.unlocks);
}

TEST(BitmapAdapter, VideoBitmapsAreForeignAndFinalisedOnce) {
    AdapterPlugin owner("owner");
    TestAdapterLog &log = owner.log();
    cxBitmap *video = AllocBitmap(4, 2, CX_ALLOC_VIDEO, 0);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(log.videoAllocs, 1);
    EXPECT_EQ(log.allocs, 0);
    EXPECT_EQ(video->foreign, 1u);
    EXPECT_EQ(video->flags, 0u);
    EXPECT_EQ(QueryBitmapAttribute(video, CX_BMATTR_NEEDSLOCK), 0u);

    FinalizeVideoBitmap(video);
    FinalizeVideoBitmap(video);
    EXPECT_EQ(log.methodCalls, 1);
    EXPECT_EQ(log.lastMethod, 1u);
    EXPECT_EQ(log.lastMethodArg, 1u);
    EXPECT_EQ(video->flags, 1u);

    // Its pixels come back through ReadVideoPixels, alpha included.
    uint32_t *words = reinterpret_cast<uint32_t *>(Store(video)->pixels);
    for (int i = 0; i < 8; ++i) words[i] = 0x11000000u * uint32_t(i + 1) + 0x102030u * uint32_t(i);
    cxBitmap *colour = nullptr, *alpha = nullptr;
    ASSERT_EQ(ReadVideoBitmap(video, &colour, &alpha), 0);
    ASSERT_NE(colour, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(colour->foreign, 0u);
    cxOsBitmapLock l;
    ASSERT_NE(LockBitmap(colour, 0, &l), 0);
    EXPECT_EQ(LoadPixelValue(l.pixels + 4 * (l.rowLength + 2), 10) & 0xFFFFFFu, words[6] & 0xFFFFFFu);
    UnlockBitmap(&l);
    EXPECT_EQ(Store(alpha)->pixels[Store(alpha)->bytesPerRow + 2], 0x77);
    EXPECT_EQ(log.readPixelsCalls, 1);
    EXPECT_EQ(log.freePixelsCalls, 1);
    FreeAlphaChannel(alpha);
    FreeBitmap(colour);
    // Only video bitmaps can be read so.
    cxBitmap *plain = AllocBitmap(2, 2, 0, 0), *out = plain;
    EXPECT_EQ(ReadVideoBitmap(plain, &out, nullptr), ERR_READVIDEOPIXELS);
    EXPECT_EQ(out, nullptr);
    FreeBitmap(plain);

    FreeBitmap(video);
    EXPECT_EQ(log.videoFrees, 1);
    EXPECT_EQ(log.liveStores, 0);
}

TEST(BitmapAdapter, WithoutVideoBitmapsAVideoRequestStaysWithTheOwner) {
    AdapterPlugin rgb("rgb565");
    TestAdapterLog &log = rgb.log();
    cxBitmap *b = AllocBitmap(3, 3, CX_ALLOC_VIDEO, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(log.allocs, 1);
    EXPECT_EQ(b->foreign, 0u);
    cxOsBitmapLock l;
    ASSERT_NE(LockBitmap(b, 0, &l), 0);
    EXPECT_EQ(l.pixelFormat, 4u);
    EXPECT_EQ(l.bytesPerPixel, 2u);
    EXPECT_EQ(l.rowLength, 8u); // 3 pixels of 2 bytes padded to 16 bytes
    UnlockBitmap(&l);
    FinalizeVideoBitmap(b); // not foreign: nothing to tell
    EXPECT_EQ(b->flags, 0u);
    FreeBitmap(b);
    EXPECT_EQ(log.frees, 1);
}

TEST(BitmapAdapter, AnUncallableAdapterAnswersZeroToEverything) {
    AdapterPlugin stub("uncallable");
    TestAdapterLog &log = stub.log();
    EXPECT_EQ(AllocBitmap(4, 4, 0, 0), nullptr);
    EXPECT_EQ(AllocBitmap(4, 4, CX_ALLOC_VIDEO, 0), nullptr);
    EXPECT_EQ(AllocAlphaChannel(4, 4, 1, nullptr, 0), nullptr);
    EXPECT_EQ(AllocMask(nullptr, 4, 4, 1, nullptr, 0), nullptr);
    TestStore fake{TEST_STORE_MAGIC, 0, 4, 4, 16, nullptr, 0, 0, 0, nullptr};
    cxBitmap handle{CX_BITMAP_COLOUR, &fake, 4, 4, 0, 0};
    cxOsBitmapLock l;
    EXPECT_EQ(LockBitmap(&handle, 0, &l), 0);
    EXPECT_EQ(l.locked, 0u);
    UnlockBitmap(&l);
    EXPECT_EQ(GetRawBitmapAttr(&fake, 0), 0u);
    EXPECT_EQ(QueryBitmapAttribute(&handle, CX_BMATTR_ROWLENGTH), 0u);
    handle.foreign = 1;
    FinalizeVideoBitmap(&handle);
    EXPECT_EQ(handle.flags, 1u);
    // None of its functions ran.
    EXPECT_EQ(log.allocs + log.videoAllocs + log.lockCalls + log.attrCalls + log.methodCalls, 0);
}

} // namespace
