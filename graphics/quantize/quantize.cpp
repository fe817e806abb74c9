#include "graphics/quantize/quantize.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/effects/colour_effects.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/support/locked_bitmap.h"
#include "graphics/support/rgb_rows.h"

using namespace cx::pix;

namespace {

constexpr int kR = 32, kG = 64, kB = 32; // histogram cells per channel

inline size_t Cell(int r, int g, int b) { return (size_t(r) * kG + g) * kB + b; }

// One row of pixels as raw values (colour bits only) and 0x00RRGGBB.
void ReadRow(const cxQuantizeJob *job, int32_t y, uint32_t *raw, uint32_t *rgb) {
    WithFormat(job->pixelFormat, [&](auto f) {
        constexpr int F = decltype(f)::value;
        constexpr int B = kFormats[F].bytes;
        const uint8_t *p = static_cast<const uint8_t *>(job->pixels) + ptrdiff_t(y) * job->rowLength * B;
        for (int32_t x = 0; x < job->width; ++x) {
            const uint32_t v = Load<F>(p + ptrdiff_t(x) * B) & cx::gfx::kColourBits<F>;
            raw[x] = v;
            rgb[x] = ToARGB<F>(v, false);
        }
    });
}

uint32_t ColourBits(uint32_t format) {
    uint32_t m = 0;
    WithFormat(format, [&](auto f) { m = cx::gfx::kColourBits<decltype(f)::value>; });
    return m;
}

// Exact path: every distinct colour gets an index in order of first
// appearance. False when there are more than limit colours.
bool Exact(cxQuantizeJob *job, int32_t limit, uint32_t transparentRaw, bool hasTransparent, std::vector<uint32_t> &raw,
           std::vector<uint32_t> &rgb) {
    uint32_t keys[1024];
    int16_t slot[1024];
    std::memset(slot, -1, sizeof slot);
    uint32_t list[256];
    int32_t n = 0;
    uint32_t lastRaw = 0;
    int32_t lastIndex = -1;
    for (int32_t y = 0; y < job->height; ++y) {
        ReadRow(job, y, raw.data(), rgb.data());
        uint8_t *out = job->indices + ptrdiff_t(y) * job->width;
        for (int32_t x = 0; x < job->width; ++x) {
            const uint32_t v = raw[x];
            if (lastIndex >= 0 && v == lastRaw) {
                out[x] = uint8_t(lastIndex);
                continue;
            }
            uint32_t h = (v * 2654435761u) >> 22;
            while (slot[h] >= 0 && keys[h] != v) h = (h + 1) & 1023;
            if (slot[h] < 0) {
                if (n >= limit) return false;
                keys[h] = v;
                slot[h] = int16_t(n);
                list[n++] = v;
            }
            lastRaw = v;
            lastIndex = slot[h];
            out[x] = uint8_t(lastIndex);
        }
    }
    job->transparentIndex = -1;
    for (int32_t i = 0; i < n; ++i) {
        job->palette[i] = PixelToColor(list[i], job->pixelFormat, 0);
        if (hasTransparent && list[i] == transparentRaw && job->transparentIndex < 0) job->transparentIndex = i;
    }
    int32_t count = n;
    if (job->reserve) job->palette[count++] = 0;
    *job->colourCount = count;
    return true;
}

struct Box {
    int r0, r1, g0, g1, b0, b1;
    int64_t volume, colours;
};

// Moves each bound inwards past planes without counts, then measures.
void Shrink(const uint16_t *hist, Box &b) {
    auto emptyR = [&](int r) {
        for (int g = b.g0; g <= b.g1; ++g)
            for (int k = b.b0; k <= b.b1; ++k)
                if (hist[Cell(r, g, k)]) return false;
        return true;
    };
    auto emptyG = [&](int g) {
        for (int r = b.r0; r <= b.r1; ++r)
            for (int k = b.b0; k <= b.b1; ++k)
                if (hist[Cell(r, g, k)]) return false;
        return true;
    };
    auto emptyB = [&](int k) {
        for (int r = b.r0; r <= b.r1; ++r)
            for (int g = b.g0; g <= b.g1; ++g)
                if (hist[Cell(r, g, k)]) return false;
        return true;
    };
    while (b.r0 < b.r1 && emptyR(b.r0)) ++b.r0;
    while (b.r1 > b.r0 && emptyR(b.r1)) --b.r1;
    while (b.g0 < b.g1 && emptyG(b.g0)) ++b.g0;
    while (b.g1 > b.g0 && emptyG(b.g1)) --b.g1;
    while (b.b0 < b.b1 && emptyB(b.b0)) ++b.b0;
    while (b.b1 > b.b0 && emptyB(b.b1)) --b.b1;
    const int64_t dr = (b.r1 - b.r0) * 16, dg = (b.g1 - b.g0) * 12, db = (b.b1 - b.b0) * 8;
    b.volume = dr * dr + dg * dg + db * db;
    int64_t n = 0;
    for (int r = b.r0; r <= b.r1; ++r)
        for (int g = b.g0; g <= b.g1; ++g)
            for (int k = b.b0; k <= b.b1; ++k) n += hist[Cell(r, g, k)] != 0;
    b.colours = n;
}

int MedianCut(const uint16_t *hist, int wanted, Box *boxes) {
    Box all{0, kR - 1, 0, kG - 1, 0, kB - 1, 0, 0};
    Shrink(hist, all);
    if (all.colours == 0) return 0;
    boxes[0] = all;
    int n = 1;
    while (n < wanted) {
        Box *pick = nullptr;
        if (2 * n <= wanted) {
            for (int i = 0; i < n; ++i)
                if (boxes[i].volume > 0 && (!pick || boxes[i].colours > pick->colours)) pick = &boxes[i];
        } else {
            for (int i = 0; i < n; ++i)
                if (boxes[i].volume > 0 && (!pick || boxes[i].volume > pick->volume)) pick = &boxes[i];
        }
        if (!pick) break;
        Box &a = *pick, &b = boxes[n];
        b = a;
        const int dr = (a.r1 - a.r0) * 16, dg = (a.g1 - a.g0) * 12, db = (a.b1 - a.b0) * 8;
        if (dg >= dr && dg >= db) {
            const int mid = (a.g0 + a.g1) / 2;
            a.g1 = mid, b.g0 = mid + 1;
        } else if (dr >= db) {
            const int mid = (a.r0 + a.r1) / 2;
            a.r1 = mid, b.r0 = mid + 1;
        } else {
            const int mid = (a.b0 + a.b1) / 2;
            a.b1 = mid, b.b0 = mid + 1;
        }
        Shrink(hist, a);
        Shrink(hist, b);
        ++n;
    }
    return n;
}

uint32_t BoxColour(const uint16_t *hist, const Box &b) {
    int64_t total = 0, sr = 0, sg = 0, sb = 0;
    for (int r = b.r0; r <= b.r1; ++r)
        for (int g = b.g0; g <= b.g1; ++g)
            for (int k = b.b0; k <= b.b1; ++k) {
                const int64_t c = hist[Cell(r, g, k)];
                total += c;
                sr += c * (8 * r + 4);
                sg += c * (4 * g + 2);
                sb += c * (8 * k + 4);
            }
    if (total == 0) return 0xFFFFFF;
    const int64_t half = total / 2;
    return uint32_t(((sr + half) / total) << 16 | ((sg + half) / total) << 8 | ((sb + half) / total));
}

// Fills the cached palette index + 1 of every cell of the 4 x 8 x 4 block
// holding cell (r, g, b), from the colours that can be nearest anywhere in
// the block.
void FillBlock(uint16_t *cache, const uint32_t *palette, int n, int r, int g, int b) {
    const int r0 = r & ~3, g0 = g & ~7, b0 = b & ~3;
    const int lo[3] = {8 * r0 + 4, 4 * g0 + 2, 8 * b0 + 4};
    const int hi[3] = {8 * (r0 + 3) + 4, 4 * (g0 + 7) + 2, 8 * (b0 + 3) + 4};
    const int w[3] = {4, 9, 1}; // (2 d)^2, (3 d)^2, d^2
    int64_t minDist[256];
    int64_t bestMax = INT64_MAX;
    for (int i = 0; i < n; ++i) {
        const int c[3] = {int(palette[i] >> 16) & 0xFF, int(palette[i] >> 8) & 0xFF, int(palette[i]) & 0xFF};
        int64_t mn = 0, mx = 0;
        for (int k = 0; k < 3; ++k) {
            const int64_t dIn = c[k] < lo[k] ? lo[k] - c[k] : c[k] > hi[k] ? c[k] - hi[k] : 0;
            const int64_t dOut = std::max(std::abs(c[k] - lo[k]), std::abs(c[k] - hi[k]));
            mn += w[k] * dIn * dIn;
            mx += w[k] * dOut * dOut;
        }
        minDist[i] = mn;
        bestMax = std::min(bestMax, mx);
    }
    int cand[256], nc = 0;
    for (int i = 0; i < n; ++i)
        if (minDist[i] <= bestMax) cand[nc++] = i;
    for (int ri = r0; ri < r0 + 4; ++ri)
        for (int gi = g0; gi < g0 + 8; ++gi)
            for (int bi = b0; bi < b0 + 4; ++bi) {
                const int cr = 8 * ri + 4, cg = 4 * gi + 2, cb = 8 * bi + 4;
                int64_t best = INT64_MAX;
                int pick = 0;
                for (int k = 0; k < nc; ++k) {
                    const uint32_t p = palette[cand[k]];
                    const int64_t dr = 2 * (cr - int((p >> 16) & 0xFF)), dg = 3 * (cg - int((p >> 8) & 0xFF)),
                                  db = cb - int(p & 0xFF);
                    const int64_t d = dr * dr + dg * dg + db * db;
                    if (d < best) best = d, pick = cand[k];
                }
                cache[Cell(ri, gi, bi)] = uint16_t(pick + 1);
            }
}

// Error limit: small errors pass, middle ones are halved, large ones capped.
inline int LimitError(int e) {
    const int a = e < 0 ? -e : e;
    const int l = a < 16 ? a : a < 48 ? 16 + (a - 16) / 2 : 32;
    return e < 0 ? -l : l;
}

} // namespace

extern "C" void QuantizeImage(cxQuantizeJob *job) {
    job->success = 0;
    job->transparentIndex = -1;
    const int32_t w = job->width, h = job->height;
    const int32_t requested = std::clamp(*job->colourCount, 1, 256);
    const bool hasTransparent = job->transparentColour != -1;
    const uint32_t colourBits = ColourBits(job->pixelFormat);
    const uint32_t transparentRaw =
        hasTransparent ? ColorToPixel(uint32_t(job->transparentColour) & 0xFFFFFF, job->pixelFormat, 0) & colourBits : 0;
    std::vector<uint32_t> raw, rgb;
    try {
        raw.resize(size_t(w));
        rgb.resize(size_t(w));
    } catch (const std::bad_alloc &) {
        return;
    }
    const int32_t limit = requested - (job->reserve ? 1 : 0);
    if (limit >= 1 && Exact(job, limit, transparentRaw, hasTransparent, raw, rgb)) {
        job->success = 1;
        return;
    }

    const int wanted = std::min(requested, (hasTransparent || job->reserve) ? 255 : 256);
    std::vector<uint16_t> hist;
    std::vector<int32_t> err;
    try {
        hist.assign(size_t(kR) * kG * kB, 0);
        if (job->dither) err.assign(size_t(w + 2) * 3 * 2, 0);
    } catch (const std::bad_alloc &) {
        return;
    }
    for (int32_t y = 0; y < h; ++y) {
        ReadRow(job, y, raw.data(), rgb.data());
        for (int32_t x = 0; x < w; ++x) {
            if (hasTransparent && raw[x] == transparentRaw) continue;
            const uint32_t c = rgb[x];
            uint16_t &cell = hist[Cell(int(c >> 19) & 31, int(c >> 10) & 63, int(c >> 3) & 31)];
            if (cell < 65535) ++cell;
        }
    }
    Box boxes[256];
    const int n = MedianCut(hist.data(), wanted, boxes);
    for (int i = 0; i < n; ++i) job->palette[i] = BoxColour(hist.data(), boxes[i]);
    // The histogram becomes the cache of palette index + 1.
    std::fill(hist.begin(), hist.end(), uint16_t(0));
    int32_t count = n, tIndex = -1;
    if (hasTransparent) {
        tIndex = count;
        job->palette[count++] = uint32_t(job->transparentColour) & 0xFFFFFF;
    } else if (job->reserve) {
        job->palette[count++] = 0;
    }
    const auto lookup = [&](int r, int g, int b) -> uint8_t {
        uint16_t &c = hist[Cell(r >> 3, g >> 2, b >> 3)];
        if (!c) FillBlock(hist.data(), job->palette, n, r >> 3, g >> 2, b >> 3);
        return uint8_t(c - 1);
    };
    for (int32_t y = 0; y < h; ++y) {
        ReadRow(job, y, raw.data(), rgb.data());
        uint8_t *out = job->indices + ptrdiff_t(y) * w;
        if (n == 0) { // only transparent pixels
            std::fill(out, out + w, uint8_t(std::max(tIndex, 0)));
            continue;
        }
        if (!job->dither) {
            for (int32_t x = 0; x < w; ++x) {
                if (hasTransparent && raw[x] == transparentRaw) {
                    out[x] = uint8_t(tIndex);
                    continue;
                }
                const uint32_t c = rgb[x];
                out[x] = lookup(int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF);
            }
            continue;
        }
        // Serpentine Floyd-Steinberg; errors in 1/16 units. cur holds this
        // row's incoming errors, next the row below's, both with one spare
        // pixel on each side.
        int32_t *cur = err.data() + (y & 1) * size_t(w + 2) * 3;
        int32_t *next = err.data() + ((y + 1) & 1) * size_t(w + 2) * 3;
        std::fill(next, next + size_t(w + 2) * 3, 0);
        const bool ltr = (y & 1) == 0;
        const int dir = ltr ? 1 : -1;
        for (int32_t i = 0; i < w; ++i) {
            const int32_t x = ltr ? i : w - 1 - i;
            int32_t *e = cur + size_t(x + 1) * 3;
            if (hasTransparent && raw[x] == transparentRaw) {
                out[x] = uint8_t(tIndex);
                continue;
            }
            const uint32_t c = rgb[x];
            int v[3] = {int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF};
            for (int k = 0; k < 3; ++k) v[k] = std::clamp(v[k] + LimitError((e[k] + 8) >> 4), 0, 255);
            const uint8_t idx = lookup(v[0], v[1], v[2]);
            out[x] = idx;
            const uint32_t p = job->palette[idx];
            const int got[3] = {int(p >> 16) & 0xFF, int(p >> 8) & 0xFF, int(p) & 0xFF};
            for (int k = 0; k < 3; ++k) {
                const int d = v[k] - got[k];
                cur[size_t(x + 1 + dir) * 3 + k] += d * 7;
                next[size_t(x + 1 - dir) * 3 + k] += d * 3;
                next[size_t(x + 1) * 3 + k] += d * 5;
                next[size_t(x + 1 + dir) * 3 + k] += d;
            }
        }
    }
    *job->colourCount = count;
    job->transparentIndex = tIndex;
    job->success = 1;
}

extern "C" int QuantizePixels(const void *pixels, uint32_t pixelFormat, int32_t bytesPerPixel, int32_t width,
                              int32_t height, int32_t rowLength, uint8_t *indices, uint32_t *palette,
                              int32_t *colourCount, int32_t transparentColour, int32_t reserve, int32_t dither,
                              int32_t *transparentIndex) {
    if (transparentIndex) *transparentIndex = -1;
    if (!pixels || !indices || !palette || !colourCount) return 0;
    if (pixelFormat >= CX_PIXFMT_COUNT || uint32_t(bytesPerPixel) != GetBytesPerPixel(pixelFormat)) return 0;
    if (width < 1 || height < 1 || rowLength < width || int64_t(width) * height > (int64_t(1) << 30)) return 0;
    cxQuantizeJob job{pixels, pixelFormat, bytesPerPixel, width, height, rowLength, indices, palette,
                      colourCount, transparentColour < 0 ? -1 : int32_t(transparentColour & 0xFFFFFF),
                      reserve, dither, 0, -1};
    QuantizeImage(&job);
    if (transparentIndex) *transparentIndex = job.transparentIndex;
    return job.success;
}

namespace {

int Reduce(cxBitmap *bitmap, int32_t width, int32_t height, int32_t colours, int32_t dither, bool mono) {
    cx::gfx::LockedBitmap l;
    if (l.Colour(bitmap, width, height) != 0) return ERR_LOCKBMAP;
    std::vector<uint8_t> idx;
    try {
        idx.resize(size_t(width) * height);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    uint32_t palette[256];
    int32_t count = std::clamp(colours, 1, 256);
    if (!QuantizePixels(l.Pixels(), l.Format(), int32_t(l.BytesPerPixel()), width, height, l.RowLength(), idx.data(),
                        palette, &count, -1, 0, dither, nullptr))
        return ERR_MEM;
    if (mono) {
        if (l.BytesPerPixel() == 2) StoreMonochrome16(l.Pixels(), width, height, l.RowLength(), l.Format(), idx.data());
        else StoreMonochrome32(l.Pixels(), width, height, l.RowLength(), l.Format(), idx.data());
        return 0;
    }
    size_t i = 0;
    cx::gfx::ForEachRGB(l.Pixels(), width, height, l.RowLength(), l.Format(), [&](uint32_t &r, uint32_t &g, uint32_t &b) {
        const uint32_t c = palette[idx[i++]];
        r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    });
    return 0;
}

} // namespace

extern "C" int QuantizeBitmap(cxBitmap *bitmap, int32_t width, int32_t height, int32_t colours, int32_t dither) {
    return Reduce(bitmap, width, height, colours, dither, false);
}

extern "C" int ConvertBitmapToMonochrome(cxBitmap *bitmap, int32_t width, int32_t height, int32_t dither) {
    return Reduce(bitmap, width, height, 2, dither, true);
}
