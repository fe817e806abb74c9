// The edge of styled runs: the separable window sum against the plain
// (2e + 1)^2 loop it replaces, and the order shadow, edge, text.
#include <gtest/gtest.h>

#include <random>

#include "errors/error_codes.h"
#include "text/layout/edge_draw.h"

namespace {

// The straightforward edge: the glyph coverage added at every offset of
// the window, divided by 2e + 1 and clamped (alpha), or any coverage (mask).
std::vector<uint8_t> NaiveEdge(const std::vector<uint8_t> &g, int w, int h, int e, bool alpha) {
    const int ow = w + 2 * e, oh = h + 2 * e;
    std::vector<uint32_t> acc(size_t(ow * oh), 0);
    for (int j = 0; j <= 2 * e; ++j)
        for (int i = 0; i <= 2 * e; ++i)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) acc[size_t((y + j) * ow + x + i)] += g[size_t(y * w + x)];
    std::vector<uint8_t> out(acc.size());
    for (size_t k = 0; k < acc.size(); ++k)
        out[k] = alpha ? uint8_t(std::min<uint32_t>(acc[k] / uint32_t(2 * e + 1), 255)) : (acc[k] ? 255 : 0);
    return out;
}

TEST(EdgeCoverage, WindowSumsEqualThePlainLoop) {
    std::mt19937 rng(7);
    for (int e : {1, 2, 3, 5, 8}) {
        for (bool alpha : {false, true}) {
            const int w = 3 + int(rng() % 9), h = 2 + int(rng() % 7);
            std::vector<uint8_t> g(size_t(w * h));
            for (uint8_t &v : g) v = alpha ? uint8_t(rng() % 256) : (rng() % 3 == 0 ? 255 : 0);
            std::vector<uint32_t> sums;
            std::vector<uint8_t> out;
            BuildEdgeCoverage(g.data(), w, h, e, alpha, sums, out);
            EXPECT_EQ(out, NaiveEdge(g, w, h, e, alpha)) << "e=" << e << " alpha=" << alpha;
        }
    }
}

TEST(EdgeCoverage, WideEdgesDoNotOverflow) {
    // A full square of 255 under a 129-wide window: 129^2 * 255 exceeds 16 bits.
    const int w = 130, h = 130, e = 64;
    std::vector<uint8_t> g(size_t(w * h), 255), out;
    std::vector<uint32_t> sums;
    BuildEdgeCoverage(g.data(), w, h, e, true, sums, out);
    EXPECT_EQ(out[size_t((h / 2 + e) * (w + 2 * e) + w / 2 + e)], 255);
    EXPECT_EQ(out[0], 255 / 129);
}

TEST(Composite, TextLiesOverEdgeOverShadow) {
    cxTextCanvas c;
    ASSERT_EQ(c.Reset(4, 1), 0);
    const uint8_t full[4] = {255, 255, 255, 255};
    CompositeCoverage(c, full, 4, 1, 0, 0, 0x000010, nullptr);
    CompositeCoverage(c, full, 3, 1, 0, 0, 0x000020, nullptr);
    CompositeCoverage(c, full, 2, 1, 0, 0, 0x000030, nullptr);
    EXPECT_EQ(c.argb[0], 0xFF000030u);
    EXPECT_EQ(c.argb[2], 0xFF000020u);
    EXPECT_EQ(c.argb[3], 0xFF000010u);
}

TEST(Composite, TopByteIsATransparency) {
    cxTextCanvas c;
    ASSERT_EQ(c.Reset(2, 1), 0);
    const uint8_t full[2] = {255, 255};
    CompositeCoverage(c, full, 2, 1, 0, 0, 0x800000FF, nullptr);
    EXPECT_NEAR(int(c.argb[0] >> 24), 127, 1);
    CompositeCoverage(c, full, 1, 1, 1, 0, 0xFF00FF00, nullptr); // fully transparent: nothing
    EXPECT_EQ(c.argb[1], c.argb[0]);
}

TEST(Composite, ClipsAtEveryEdge) {
    cxTextCanvas c;
    ASSERT_EQ(c.Reset(3, 3), 0);
    std::vector<uint8_t> big(25, 255);
    CompositeCoverage(c, big.data(), 5, 5, -1, -1, 0x123456, nullptr);
    for (uint32_t p : c.argb) EXPECT_EQ(p, 0xFF123456u);
    CompositeCoverage(c, big.data(), 5, 5, 3, 3, 0x000001, nullptr);
    CompositeCoverage(c, big.data(), 5, 5, -5, -5, 0x000001, nullptr);
    for (uint32_t p : c.argb) EXPECT_EQ(p, 0xFF123456u);
}

TEST(Shadow, DirectionsAndTheSouthEastFallback) {
    const int expect[9][2] = {{0, -2}, {2, -2}, {2, 0}, {2, 2}, {0, 2}, {-2, 2}, {-2, 0}, {-2, -2}, {2, 2}};
    for (int d = 0; d < 9; ++d) {
        int32_t dx, dy;
        ShadowOffset(d == 8 ? 9 : d, 2, &dx, &dy);
        EXPECT_EQ(dx, expect[d][0]) << d;
        EXPECT_EQ(dy, expect[d][1]) << d;
    }
}

} // namespace

#include "text/layout/outline_image.h"

namespace {

TEST(OutlineImage, GrowsAMaskByTheEdge) {
    cxBitmap *mask = AllocMask(nullptr, 4, 3, 1, nullptr, 0);
    cxOsBitmapLock l{};
    ASSERT_TRUE(LockBitmap(mask, 0, &l));
    l.pixels[size_t(1) * l.rowLength] = 0x40; // pixel (1, 1)
    UnlockBitmap(&l);
    cxBitmap *b, *m, *a;
    int32_t w, h;
    ASSERT_EQ(BuildOutlineImage(mask, nullptr, 4, 3, 0xFF0000, 2, &b, &m, &a, &w, &h), 0);
    EXPECT_EQ(w, 4 + 5);
    EXPECT_EQ(h, 3 + 5);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(a, nullptr);
    ASSERT_TRUE(LockBitmap(m, 0, &l));
    int set = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool on = l.pixels[size_t(y) * l.rowLength + size_t(x >> 3)] & (0x80 >> (x & 7));
            set += on;
            // The source pixel sits at (1 + 2, 1 + 2): a 5 x 5 square around it.
            EXPECT_EQ(on, x >= 1 && x <= 5 && y >= 1 && y <= 5) << x << "," << y;
        }
    UnlockBitmap(&l);
    EXPECT_EQ(set, 25);
    FreeBitmap(b);
    FreeMask(m);
    FreeMask(mask);
    EXPECT_EQ(BuildOutlineImage(nullptr, nullptr, 4, 3, 0, 65, &b, &m, &a, &w, &h), ERR_WRONGUSAGE);
}

} // namespace
