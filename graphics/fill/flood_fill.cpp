#include "graphics/fill/flood_fill.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/locked_bitmap.h"

namespace {

// One pixel size: Get reads a pixel for comparison, Put stores the fill.
struct Px16 {
    uint8_t *base;
    ptrdiff_t stride;
    uint32_t Get(int32_t x, int32_t y) const {
        uint16_t v;
        std::memcpy(&v, base + y * stride + ptrdiff_t(x) * 2, 2);
        return v;
    }
    void Put(int32_t x, int32_t y, uint32_t v) const {
        const uint16_t s = uint16_t(v);
        std::memcpy(base + y * stride + ptrdiff_t(x) * 2, &s, 2);
    }
};
struct Px24 {
    uint8_t *base;
    ptrdiff_t stride;
    uint32_t Get(int32_t x, int32_t y) const {
        const uint8_t *p = base + y * stride + ptrdiff_t(x) * 3;
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
    void Put(int32_t x, int32_t y, uint32_t v) const {
        uint8_t *p = base + y * stride + ptrdiff_t(x) * 3;
        p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
    }
};
struct Px32 {
    uint8_t *base;
    ptrdiff_t stride;
    uint32_t Get(int32_t x, int32_t y) const {
        uint32_t v;
        std::memcpy(&v, base + y * stride + ptrdiff_t(x) * 4, 4);
        return v;
    }
    void Put(int32_t x, int32_t y, uint32_t v) const { std::memcpy(base + y * stride + ptrdiff_t(x) * 4, &v, 4); }
};

struct Seed {
    int32_t x, y;
};

// Scan-line fill. Each popped seed fills the whole run of non-border pixels
// through it, then pushes one seed for every run of enterable pixels (neither
// border nor fill colour) directly above and below that run. A pixel turns
// fill-coloured only inside a filled run, so a seed found fill-coloured when
// it is popped belongs to a run already done. The filled set does not depend
// on the order in which seeds are taken.
template <class P>
int Fill(const cxFloodFillJob *job, const P &px, int32_t sx, int32_t sy, uint32_t mask) {
    const uint32_t border = job->border & mask, fill = job->fill & mask;
    const int32_t x0 = job->left, x1 = job->left + job->width - 1;
    const int32_t y0 = job->top, y1 = job->top + job->height - 1;
    if ((px.Get(sx, sy) & mask) == border) return 0;
    std::vector<Seed> stack;
    try {
        stack.reserve(256);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    bool first = true;
    stack.push_back({sx, sy});
    const auto scan = [&](int32_t l, int32_t r, int32_t y) -> bool {
        bool armed = true;
        for (int32_t x = l; x <= r; ++x) {
            const uint32_t v = px.Get(x, y) & mask;
            if (v == border || v == fill) {
                armed = true;
            } else if (armed) {
                armed = false;
                try {
                    stack.push_back({x, y});
                } catch (const std::bad_alloc &) {
                    return false;
                }
            }
        }
        return true;
    };
    while (!stack.empty()) {
        const Seed s = stack.back();
        stack.pop_back();
        const uint32_t here = px.Get(s.x, s.y) & mask;
        if (here == border || (!first && here == fill)) continue;
        first = false;
        int32_t l = s.x, r = s.x;
        px.Put(s.x, s.y, job->fill);
        while (l > x0 && (px.Get(l - 1, s.y) & mask) != border) px.Put(--l, s.y, job->fill);
        while (r < x1 && (px.Get(r + 1, s.y) & mask) != border) px.Put(++r, s.y, job->fill);
        if (s.y > y0 && !scan(l, r, s.y - 1)) return ERR_MEM;
        if (s.y < y1 && !scan(l, r, s.y + 1)) return ERR_MEM;
    }
    return 0;
}

uint8_t *Base(const cxFloodFillJob *job) { return static_cast<uint8_t *>(job->pixels); }

} // namespace

extern "C" int FloodFillPixels32(const cxFloodFillJob *job, int32_t x, int32_t y, uint32_t channelMask) {
    return Fill(job, Px32{Base(job), ptrdiff_t(job->rowLength) * 4}, x, y, channelMask);
}
extern "C" int FloodFillPixels16(const cxFloodFillJob *job, int32_t x, int32_t y) {
    return Fill(job, Px16{Base(job), ptrdiff_t(job->rowLength) * 2}, x, y, 0xFFFFu);
}
extern "C" int FloodFillPixels24(const cxFloodFillJob *job, int32_t x, int32_t y) {
    return Fill(job, Px24{Base(job), ptrdiff_t(job->rowLength) * 3}, x, y, 0xFFFFFFu);
}

extern "C" int FloodFillBitmap(cxBitmap *bitmap, int32_t x, int32_t y, uint32_t borderColour, uint32_t fillColour) {
    if (!bitmap) return ERR_LOCKBMAP;
    cx::gfx::LockedBitmap l;
    if (l.Colour(bitmap, bitmap->width, bitmap->height) != 0) return ERR_LOCKBMAP;
    if (x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return ERR_COORDSRANGE;
    const uint32_t f = l.Format();
    const cxFloodFillJob job{l.Pixels(), bitmap->width, bitmap->height, l.RowLength(),
                             ColorToPixel(borderColour & 0xFFFFFF, f, 0), ColorToPixel(fillColour & 0xFFFFFF, f, 0),
                             0, 0};
    switch (l.BytesPerPixel()) {
    case 2: return FloodFillPixels16(&job, x, y);
    case 3: return FloodFillPixels24(&job, x, y);
    default: return FloodFillPixels32(&job, x, y, (f == 10 || f == 13) ? 0x00FFFFFFu : 0xFFFFFF00u);
    }
}
