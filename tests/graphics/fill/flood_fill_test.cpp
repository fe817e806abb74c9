#include "graphics/fill/flood_fill.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "platform/os_bitmap.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

using cxtest::PixelBuffer;

int Fill(PixelBuffer &b, int x, int y, uint32_t border, uint32_t fill) {
    const cxFloodFillJob job{b.bytes.data(), b.width, b.height, b.rowLength, border, fill, 0, 0};
    if (b.unit == 2) return FloodFillPixels16(&job, x, y);
    if (b.unit == 3) return FloodFillPixels24(&job, x, y);
    return FloodFillPixels32(&job, x, y, (b.format == 10 || b.format == 13) ? 0x00FFFFFF : 0xFFFFFF00);
}

// The filled set by breadth-first search: runs spread sideways over any
// pixel but the border; a step up or down enters only pixels that were
// neither border nor fill colour.
std::vector<uint8_t> Oracle(PixelBuffer &b, int sx, int sy, uint32_t border, uint32_t fill) {
    const int w = b.width, h = b.height;
    std::vector<uint8_t> in(size_t(w) * h, 0);
    if (b.Get(sx, sy) == border) return in;
    std::deque<std::pair<int, int>> q{{sx, sy}};
    in[size_t(sy) * w + sx] = 1;
    while (!q.empty()) {
        auto [x, y] = q.front();
        q.pop_front();
        const auto visit = [&](int nx, int ny, bool vertical) {
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || in[size_t(ny) * w + nx]) return;
            const uint32_t v = b.Get(nx, ny);
            if (v == border || (vertical && v == fill)) return;
            in[size_t(ny) * w + nx] = 1;
            q.push_back({nx, ny});
        };
        visit(x - 1, y, false);
        visit(x + 1, y, false);
        visit(x, y - 1, true);
        visit(x, y + 1, true);
    }
    return in;
}

TEST(FloodFill, MatchesABreadthFirstOracleOnRandomImages) {
    std::mt19937 rng(1234);
    for (uint32_t format : {4u, 9u, 10u}) {
        const uint32_t border = ColorToPixel(0x000000, format, 0), fill = ColorToPixel(0xFF0000, format, 0);
        const uint32_t other[2] = {ColorToPixel(0x00FF00, format, 0), ColorToPixel(0x0000FF, format, 0)};
        for (int round = 0; round < 200; ++round) {
            const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 30);
            PixelBuffer b(format, w, h);
            const uint32_t density = rng() % 60;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t r = rng() % 100;
                    b.Set(x, y, r < density ? border : r < density + 10 ? fill : other[r & 1]);
                }
            const int sx = int(rng() % uint32_t(w)), sy = int(rng() % uint32_t(h));
            PixelBuffer before = b;
            const auto want = Oracle(before, sx, sy, border, fill);
            ASSERT_EQ(Fill(b, sx, sy, border, fill), 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(b.Get(x, y), want[size_t(y) * w + x] ? fill : before.Get(x, y))
                        << "format " << format << " round " << round << " at " << x << "," << y;
        }
    }
}

TEST(FloodFill, InsideABorderRectangleAndOnTheBorder) {
    PixelBuffer b(10, 12, 10);
    for (int y = 2; y <= 7; ++y)
        for (int x = 3; x <= 9; ++x) b.Set(x, y, (x == 3 || x == 9 || y == 2 || y == 7) ? 0x00FFFFFF : 0x10);
    PixelBuffer orig = b;
    ASSERT_EQ(Fill(b, 3, 2, 0xFFFFFF, 0x123456), 0); // seed on the border
    EXPECT_EQ(b.bytes, orig.bytes);
    ASSERT_EQ(Fill(b, 5, 5, 0xFFFFFF, 0x123456), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x > 3 && x < 9 && y > 2 && y < 7;
            EXPECT_EQ(b.Get(x, y), inside ? 0x123456u : orig.Get(x, y)) << x << "," << y;
        }
    // Filling with the colour already there ends.
    ASSERT_EQ(Fill(b, 5, 5, 0xFFFFFF, 0x123456), 0);
    EXPECT_EQ(b.Get(5, 5), 0x123456u);
}

TEST(FloodFill, AlphaByteNeverCounts) {
    for (uint32_t format : {10u, 11u, 12u, 13u}) {
        PixelBuffer b(format, 5, 1);
        const uint32_t red = ColorToPixel(0x00FF0000, format, 1), redA = ColorToPixel(0x7FFF0000, format, 1);
        const uint32_t wall = ColorToPixel(0x00FFFFFF, format, 1), wallA = ColorToPixel(0xC0FFFFFF, format, 1);
        b.Set(0, 0, red), b.Set(1, 0, redA), b.Set(2, 0, red), b.Set(3, 0, wallA), b.Set(4, 0, red);
        const uint32_t fill = ColorToPixel(0x00000080, format, 0);
        ASSERT_EQ(Fill(b, 0, 0, wall, fill), 0);
        EXPECT_EQ(b.Get(1, 0), fill) << format;
        EXPECT_EQ(b.Get(2, 0), fill) << format;
        EXPECT_EQ(b.Get(3, 0), wallA) << format; // a border with another alpha still stops
        EXPECT_EQ(b.Get(4, 0), red) << format;
    }
}

TEST(FloodFill, OnePixelMazeOf4096SquareFills) {
    // Vertical corridors one pixel wide joined alternately at the top and
    // the bottom: millions of one-pixel runs in a single chain.
    const int n = 4096;
    PixelBuffer b(10, n, n, 0);
    auto *p = reinterpret_cast<uint32_t *>(b.bytes.data());
    for (int y = 0; y < n; ++y)
        for (int x = 1; x < n; x += 2) p[size_t(y) * n + x] = 0xFFFFFF;
    for (int x = 1; x < n; x += 2) p[size_t((x / 2) % 2 ? 0 : n - 1) * n + x] = 0; // gap at one end
    ASSERT_EQ(Fill(b, 0, 0, 0xFFFFFF, 0x00AA00), 0);
    EXPECT_EQ(p[size_t(n - 1) * n + n - 2], 0x00AA00u);
    size_t filled = 0;
    for (size_t i = 0; i < size_t(n) * n; ++i) filled += p[i] == 0x00AA00;
    EXPECT_EQ(filled, size_t(n) * n / 2 + n / 2);
}

TEST(FloodFill, DriverChecksTheSeedAndConvertsColours) {
    OsSetPixelFormat(10);
    cxBitmap *bm = AllocBitmap(8, 8, CX_ALLOC_CLEAR, 0);
    ASSERT_TRUE(bm);
    EXPECT_EQ(FloodFillBitmap(bm, 8, 0, 0xFFFFFF, 0xFF), ERR_COORDSRANGE);
    EXPECT_EQ(FloodFillBitmap(bm, -1, 0, 0xFFFFFF, 0xFF), ERR_COORDSRANGE);
    EXPECT_EQ(FloodFillBitmap(nullptr, 0, 0, 0xFFFFFF, 0xFF), ERR_LOCKBMAP);
    ASSERT_EQ(FloodFillBitmap(bm, 4, 4, 0xFFFFFF, 0xFF0000FF), 0);
    cxOsBitmapLock l{};
    ASSERT_TRUE(LockBitmap(bm, 0, &l));
    EXPECT_EQ(reinterpret_cast<uint32_t *>(l.pixels)[7 * l.rowLength + 7], 0xFFu); // alpha byte 0
    UnlockBitmap(&l);
    FreeBitmap(bm);
}

} // namespace
