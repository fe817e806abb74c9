#include "graphics/bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"

namespace {

struct FormatScope {
    uint32_t saved = OsGetPixelFormat();
    explicit FormatScope(uint32_t f) { OsSetPixelFormat(f); }
    ~FormatScope() { OsSetPixelFormat(saved); }
};

TEST(Bitmap, ColourBitmapsPadRowsToFourPixels) {
    for (uint32_t f : {4u, 8u, 10u}) {
        FormatScope scope(f);
        cxBitmap *b = AllocBitmap(5, 3, CX_ALLOC_CLEAR, 0);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->kind, uint32_t(CX_BITMAP_COLOUR));
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_WIDTH), 5u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_HEIGHT), 3u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_ROWLENGTH), 8u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_FORMAT), f);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_FLAGS), 1u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_FOREIGN), 0u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_NEEDSLOCK), 0u);
        EXPECT_EQ(QueryBitmapAttribute(b, CX_BMATTR_STORE), reinterpret_cast<uintptr_t>(GetBitmapStore(b)));

        cxOsBitmapLock l;
        ASSERT_NE(LockBitmap(b, CX_LOCK_SOURCE, &l), 0);
        EXPECT_NE(l.locked, 0u);
        EXPECT_EQ(l.pixelFormat, f);
        EXPECT_EQ(l.bytesPerPixel, GetBytesPerPixel(f));
        EXPECT_EQ(l.rowLength, 8u);
        EXPECT_EQ(l.width, 5);
        EXPECT_EQ(l.height, 3);
        EXPECT_EQ(l.plainMemory, 1u);
        // The whole padded buffer is writable (ASan watches this).
        std::memset(l.pixels, 0x5A, size_t(l.rowLength) * l.bytesPerPixel * l.height);
        UnlockBitmap(&l);
        EXPECT_EQ(l.locked, 0u);
        FreeBitmap(b);
    }
    EXPECT_EQ(AllocBitmap(0, 3, 0, 0), nullptr);
    EXPECT_EQ(AllocBitmap(3, -1, 0, 0), nullptr);
    EXPECT_EQ(AllocBitmap(0x7FFFFFFF, 0x7FFFFFFF, 0, 0), nullptr);
}

TEST(Bitmap, AlphaAndMaskRowPadding) {
    struct Case {
        int width;
        uint32_t alphaRow, maskRow;
    };
    for (const Case &c : {Case{5, 8, 2}, Case{16, 16, 2}, Case{17, 20, 4}, Case{1, 4, 2}, Case{33, 36, 6}}) {
        cxBitmap *a = AllocAlphaChannel(c.width, 2, 1, nullptr, 0);
        cxBitmap *m = AllocMask(nullptr, c.width, 2, 1, nullptr, 0);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_BYTESPERROW), c.alphaRow) << c.width;
        EXPECT_EQ(QueryBitmapAttribute(m, CX_BMATTR_MASK_BYTESPERROW), c.maskRow) << c.width;
        EXPECT_EQ(QueryBitmapAttribute(a, CX_BMATTR_MASK_BYTESPERROW), 0u); // wrong kind
        const uint8_t *ap = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS));
        ASSERT_NE(ap, nullptr);
        for (uint32_t i = 0; i < c.alphaRow * 2; ++i) ASSERT_EQ(ap[i], 0); // cleared, padding included
        EXPECT_NE(QueryBitmapAttribute(m, CX_BMATTR_MASK_PIXELS), 0u);
        FreeAlphaChannel(a);
        FreeMask(m);
    }
    // A mask made for a colour bitmap covers the bitmap's padded rows.
    FormatScope scope(10);
    cxBitmap *colour = AllocBitmap(5, 2, 0, 0);
    cxBitmap *m = AllocMask(colour, 5, 2, 1, nullptr, 0);
    EXPECT_EQ(QueryBitmapAttribute(m, CX_BMATTR_MASK_BYTESPERROW), 2u);
    EXPECT_EQ(QueryBitmapAttribute(m, CX_BMATTR_ROWLENGTH), 16u);
    FreeMask(m);
    FreeBitmap(colour);
}

TEST(Bitmap, WrappedRowsAreNeverFreed) {
    std::vector<uint8_t> rows(64, 7);
    cxBitmap *a = AllocAlphaChannel(10, 4, 0, rows.data(), 16);
    cxBitmap *m = AllocMask(nullptr, 10, 4, 0, rows.data(), 2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS), reinterpret_cast<uintptr_t>(rows.data()));
    EXPECT_EQ(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_BYTESPERROW), 16u);
    FreeAlphaChannel(a); // freeing the caller's vector would be caught by ASan
    FreeMask(m);
    EXPECT_EQ(rows[0], 7);
    // Rows shorter than the width are refused.
    EXPECT_EQ(AllocAlphaChannel(10, 4, 0, rows.data(), 8), nullptr);
    EXPECT_EQ(AllocMask(nullptr, 17, 4, 0, rows.data(), 2), nullptr);
}

TEST(Bitmap, LockRecordsOfHandlesAndBareStores) {
    cxBitmap *a = AllocAlphaChannel(5, 3, 1, nullptr, 0);
    cxBitmap *m = AllocMask(nullptr, 17, 3, 1, nullptr, 0);
    cxOsBitmapLock l;
    ASSERT_NE(LockBitmap(GetBitmapStore(a), CX_LOCK_STORE, &l), 0);
    EXPECT_EQ(l.pixelFormat, uint32_t(CX_PIXFMT_ALPHA));
    EXPECT_EQ(l.bytesPerPixel, 1u);
    EXPECT_EQ(l.rowLength, 8u);
    EXPECT_EQ(l.width, 5);
    EXPECT_EQ(l.height, 3);
    EXPECT_EQ(l.plainMemory, 1u);
    UnlockBitmap(&l);
    // Through the handle the same record, every field set.
    std::memset(&l, 0xEE, sizeof l);
    ASSERT_NE(LockBitmap(a, 0, &l), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(l.pixels), QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS));
    EXPECT_EQ(l.rowLength, 8u);
    EXPECT_EQ(l.pixelFormat, uint32_t(CX_PIXFMT_ALPHA));
    EXPECT_EQ(l.width, 5);
    UnlockBitmap(&l);
    ASSERT_NE(LockBitmap(m, 0, &l), 0);
    EXPECT_EQ(l.pixelFormat, uint32_t(CX_PIXFMT_MASK));
    EXPECT_EQ(l.rowLength, 4u);
    UnlockBitmap(&l);

    // A colour bitmap one or two pixels wide is still a colour bitmap when
    // locked through its bare store.
    FormatScope scope(10);
    for (int w : {1, 2}) {
        cxBitmap *b = AllocBitmap(w, 2, 0, 0);
        ASSERT_NE(LockBitmap(GetBitmapStore(b), CX_LOCK_STORE, &l), 0);
        EXPECT_EQ(l.pixelFormat, 10u);
        EXPECT_EQ(l.width, w);
        UnlockBitmap(&l);
        FreeBitmap(b);
    }

    // Failed locks leave locked at 0, and unlocking them does nothing.
    EXPECT_EQ(LockBitmap(nullptr, 0, &l), 0);
    EXPECT_EQ(l.locked, 0u);
    UnlockBitmap(&l);
    cxBitmap bogus{7, GetBitmapStore(a), 1, 1, 0, 0};
    EXPECT_EQ(LockBitmap(&bogus, 0, &l), 0);
    cxBitmap emptyColour{CX_BITMAP_COLOUR, nullptr, 1, 1, 0, 0};
    EXPECT_EQ(LockBitmap(&emptyColour, 0, &l), 0);
    cxBitmap video{CX_BITMAP_COLOUR, GetBitmapStore(a), 1, 1, 1, 0};
    EXPECT_EQ(LockBitmap(&video, 0, &l), 0);
    EXPECT_EQ(QueryBitmapAttribute(&video, CX_BMATTR_NEEDSLOCK), 1u);
    FreeAlphaChannel(a);
    FreeMask(m);
}

TEST(Bitmap, NullHandleAttributesAreZero) {
    for (uint32_t attr : {0u, 1u, 2u, 3u, 4u, 13u, 14u, 18u, 19u, 20u, 21u, 22u, 99u})
        EXPECT_EQ(QueryBitmapAttribute(nullptr, attr), 0u) << attr;
    EXPECT_EQ(GetBitmapStore(nullptr), nullptr);
    FreeBitmap(nullptr);
    FreeMask(nullptr);
    FreeAlphaChannel(nullptr);
}

TEST(Bitmap, CopiesOfAlphaChannels) {
    std::vector<uint8_t> rows(10 * 3);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i);
    cxBitmap *wrapped = AllocAlphaChannel(10, 3, 0, rows.data(), 10); // rows of 10, copies get 12
    cxBitmap *copy = CopyAlphaChannel(wrapped, 10, 3);
    ASSERT_NE(copy, nullptr);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(copy, CX_BMATTR_ALPHA_PIXELS));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(p[y * 12 + x], rows[size_t(y) * 10 + x]);
    EXPECT_EQ(CopyAlphaChannel(wrapped, 11, 3), nullptr);
    EXPECT_EQ(CopyAlphaChannel(nullptr, 1, 1), nullptr);
    FreeAlphaChannel(copy);
    FreeAlphaChannel(wrapped);

    const uint32_t argb[6] = {0x10FFFFFF, 0x20000000, 0xDEADBEEF, 0x30000000, 0x40000000, 0xDEADBEEF};
    cxBitmap *a = AlphaChannelFromARGB(argb, 2, 2, 3);
    ASSERT_NE(a, nullptr);
    p = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS));
    EXPECT_EQ(p[0], 0x10);
    EXPECT_EQ(p[1], 0x20);
    EXPECT_EQ(p[4], 0x30);
    EXPECT_EQ(p[5], 0x40);
    FreeAlphaChannel(a);
    EXPECT_EQ(AlphaChannelFromARGB(argb, 4, 1, 3), nullptr);
}

TEST(Bitmap, HandlesFeedTheCheckedDrivers) {
    FormatScope scope(4);
    cxBitmap *src = AllocBitmap(6, 4, CX_ALLOC_CLEAR, 0), *dst = AllocBitmap(6, 4, CX_ALLOC_CLEAR, 0);
    cxOsBitmapLock s, d;
    ASSERT_TRUE(LockBitmap(src, CX_LOCK_SOURCE, &s) && LockBitmap(dst, 0, &d));
    ASSERT_EQ(FillRectSoft(&s, 0, 0, 6, 4, 0xFF0000, 255), 0);
    ASSERT_EQ(BltBitmapSoft(&s, 1, 1, &d, 0, 0, 5, 3), 0);
    EXPECT_EQ(LoadPixelValue(d.pixels, 4), 0xF800u);
    EXPECT_EQ(LoadPixelValue(d.pixels + 2 * 5, 4), 0u); // column 5 untouched
    UnlockBitmap(&s);
    UnlockBitmap(&d);
    FreeBitmap(src);
    FreeBitmap(dst);
}

} // namespace
