#include "graphics/images/image_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "errors/error_codes.h"

namespace {

struct CacheScope {
    ~CacheScope() { ClearImageCache(); }
};

cxBitmap *Alpha(int w, int h, uint8_t first) {
    cxBitmap *a = AllocAlphaChannel(w, h, 1, nullptr, 0);
    reinterpret_cast<uint8_t *>(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS))[0] = first;
    return a;
}

uint8_t FirstAlpha(const cxBitmap *a) {
    return reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(a, CX_BMATTR_ALPHA_PIXELS))[0];
}

TEST(ImageCache, EntriesAreFoundByNameWithTheirReferencesAndCopies) {
    CacheScope scope;
    cxImageHandle *plain = AllocImageHandle(4, 3), *withAlpha = AllocImageHandle(2, 2);
    cxBitmap *alpha = Alpha(2, 2, 0x42);
    ASSERT_EQ(AddCachedImage("Pics/Plain.png", 4, 3, 7, plain, nullptr, 8), 0);
    ASSERT_EQ(AddCachedImage("pics/alpha.png", 2, 2, 1, withAlpha, alpha, 2), 0);
    EXPECT_EQ(plain->refCount, 2);
    FreeAlphaChannel(alpha); // the cache keeps its own copy

    int32_t w = 0, h = 0;
    uint32_t a = 0, b = 0;
    cxImageHandle *got = nullptr;
    cxBitmap *copy = nullptr;
    ASSERT_EQ(FindCachedImage("PICS/plain.PNG", 0, &w, &h, &a, &got, &copy, &b), 0);
    EXPECT_EQ(got, plain);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(plain->refCount, 3);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 8u);
    ReleaseImageHandle(got);

    // Each lookup with alpha hands out a fresh copy the caller owns.
    cxBitmap *c1 = nullptr, *c2 = nullptr;
    ASSERT_EQ(FindCachedImage("pics/ALPHA.png", 1, nullptr, nullptr, nullptr, &got, &c1, nullptr), 0);
    ASSERT_EQ(FindCachedImage("pics/alpha.png", 1, nullptr, nullptr, nullptr, nullptr, &c2, nullptr), 0);
    ASSERT_NE(c1, nullptr);
    ASSERT_NE(c2, nullptr);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(FirstAlpha(c1), 0x42);
    reinterpret_cast<uint8_t *>(QueryBitmapAttribute(c1, CX_BMATTR_ALPHA_PIXELS))[0] = 0;
    EXPECT_EQ(FirstAlpha(c2), 0x42);
    EXPECT_EQ(withAlpha->refCount, 3); // only the lookup that took the handle added a reference
    FreeAlphaChannel(c1);
    FreeAlphaChannel(c2);
    ReleaseImageHandle(got);

    // Absent names, and alpha asked of an entry without it.
    EXPECT_EQ(FindCachedImage("pics/none.png", 0, nullptr, nullptr, nullptr, &got, nullptr, nullptr), ERR_CACHEERROR);
    EXPECT_EQ(FindCachedImage("pics/plain.png", 1, nullptr, nullptr, nullptr, &got, &copy, nullptr), ERR_CACHEERROR);
    EXPECT_EQ(FindCachedImage(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), ERR_CACHEERROR);
    EXPECT_EQ(plain->refCount, 2);

    // Clearing drops the cache's references only.
    ClearImageCache();
    EXPECT_EQ(plain->refCount, 1);
    EXPECT_EQ(withAlpha->refCount, 1);
    EXPECT_EQ(FindCachedImage("pics/plain.png", 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), ERR_CACHEERROR);
    ReleaseImageHandle(plain);
    ReleaseImageHandle(withAlpha);
}

TEST(ImageCache, TheFirstOfTwoEqualNamesWinsAndLongNamesAreCut) {
    CacheScope scope;
    cxImageHandle *first = AllocImageHandle(1, 1), *second = AllocImageHandle(1, 1);
    ASSERT_EQ(AddCachedImage("same", 1, 1, 1, first, nullptr, 0), 0);
    ASSERT_EQ(AddCachedImage("SAME", 1, 1, 2, second, nullptr, 0), 0);
    uint32_t a = 0;
    ASSERT_EQ(FindCachedImage("Same", 0, nullptr, nullptr, &a, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(a, 1u);

    const std::string longName(2000, 'x');
    ASSERT_EQ(AddCachedImage(longName.c_str(), 1, 1, 3, first, nullptr, 0), 0);
    EXPECT_EQ(FindCachedImage(longName.substr(0, CX_IMAGECACHE_NAMESIZE - 1).c_str(), 0, nullptr, nullptr, &a, nullptr,
                              nullptr, nullptr),
              0);
    EXPECT_EQ(a, 3u);
    ClearImageCache();
    ReleaseImageHandle(first);
    ReleaseImageHandle(second);
}

} // namespace
