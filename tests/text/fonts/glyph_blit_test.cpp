#include "text/fonts/glyph_blit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Coverage blended into a 4-byte target, against the per-byte formula:
// every byte (alpha too) goes c * a + d * (256 - a) >> 8, coverage 255
// counting as 256. Runs of 0 and 255 of every length and phase sit beside
// partial coverage, in rectangles of every width up to 21, at every offset
// of a row, over a target of random bytes.
TEST(GlyphBlit, CoverageBlendsEveryByteByTheFormula) {
    std::mt19937 rng(11);
    const int32_t tw = 32, th = 6;
    for (int32_t width = 1; width <= 21; ++width)
        for (int32_t dx = 0; dx + width <= tw; dx += 3) {
            std::vector<uint8_t> cov(size_t(width) * th);
            for (auto &c : cov) {
                const uint32_t r = rng() % 8;
                c = r < 3 ? 0 : r < 6 ? 255 : uint8_t(rng());
            }
            std::vector<uint8_t> before(size_t(tw) * th * 4);
            for (auto &b : before) b = uint8_t(rng());
            std::vector<uint8_t> after = before;
            const uint32_t pixel = rng();
            cxOsBitmapLock lock{};
            lock.pixels = after.data();
            lock.width = tw;
            lock.height = th;
            lock.rowLength = tw;
            lock.bytesPerPixel = 4;
            lock.pixelFormat = 10;
            const cxGlyphBlit b{cov.data(), width, 0, 1, dx, 0, width, th - 1};
            BlitCoverageColour(&lock, &b, pixel);
            uint8_t colour[4];
            memcpy(colour, &pixel, 4);
            for (int32_t y = 0; y < th; ++y)
                for (int32_t x = 0; x < tw; ++x)
                    for (int k = 0; k < 4; ++k) {
                        const size_t at = (size_t(y) * tw + x) * 4 + k;
                        const bool inside = x >= dx && x < dx + width && y < th - 1;
                        const uint32_t c = inside ? cov[size_t(y + 1) * width + (x - dx)] : 0;
                        const uint32_t a = c + (c == 255);
                        ASSERT_EQ(after[at], uint8_t((colour[k] * a + before[at] * (256 - a)) >> 8))
                            << "width " << width << " at " << x << "," << y << " byte " << k << " coverage " << c;
                    }
        }
}

} // namespace
