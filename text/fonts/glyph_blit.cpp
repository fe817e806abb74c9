// Glyph blits. The 4-byte formats, which every desktop target uses, get
// their own loops: one pass over the glyph with no per-pixel dispatch and no
// allocation, since text draws many small rectangles. Other formats go
// through the graphics core's coverage kernels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/kernels/blit_kernels.h"
#include "graphics/pixels/pixel_format.h"
#include "text/fonts/glyph_blit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Coverage blends of 4-byte pixels run byte by byte in 16-bit lanes, as the
// graphics core's blends do: c * a + d * (256 - a) stays below 65536, and
// with coverage 255 counted as 256 the two ends give the old pixel and the
// colour exactly. Each byte is a whole channel, so the loop does not care
// about the channel order; the alpha byte of a blended pixel is blended
// towards the colour's, which is 0.
#if !defined(__SSE2__)
constexpr int32_t kChunk = 64; // pixels per pass

// Blends n pixels, or whole groups of 4 pixels up to padded (a multiple of
// 4, at least n) when the row has room: the padding pixels get coverage 0
// and so keep their values exactly, and the loop runs in whole vectors.
void BlendRow4(uint8_t *__restrict d, const uint8_t *__restrict cov, const uint8_t *__restrict colour, int32_t n,
               int32_t padded) {
    alignas(16) uint16_t a4[kChunk * 4];
    for (int32_t i = 0; i < n; ++i) {
        const uint64_t a = cov[i] + (cov[i] == 255);
        const uint64_t v = a * 0x0001000100010001ull;
        memcpy(a4 + 4 * i, &v, 8);
    }
    for (int32_t i = n; i < padded; ++i) memset(a4 + 4 * i, 0, 8);
    if (padded & 3) {
        for (int32_t k = 0; k < 4 * n; ++k)
            d[k] = uint8_t((uint32_t(colour[k]) * a4[k] + uint32_t(d[k]) * (256u - a4[k])) >> 8);
        return;
    }
    for (int32_t k0 = 0; k0 < 4 * padded; k0 += 16)
        for (int32_t k = k0; k < k0 + 16; ++k)
            d[k] = uint8_t((uint32_t(colour[k]) * a4[k] + uint32_t(d[k]) * (256u - a4[k])) >> 8);
}
#endif

#if defined(__SSE2__)
// One byte-channel blend of a pixel in 32-bit arithmetic: two channels per
// half-word pair, the same sums as the 16-bit lanes.
inline uint32_t BlendPixel(uint32_t c, uint32_t d, uint32_t a) {
    const uint32_t keep = 256 - a;
    const uint32_t rb = (((c & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * keep) >> 8) & 0x00FF00FFu;
    const uint32_t ag = ((((c >> 8) & 0x00FF00FFu) * a + ((d >> 8) & 0x00FF00FFu) * keep)) & 0xFF00FF00u;
    return rb | ag;
}

// A row of n pixels, four at a time: a group with no coverage is skipped
// and a fully covered one stored, which is what the blend gives at those
// ends; the rest blends in 16-bit lanes. Glyphs are mostly such groups.
void BlendRowSse2(uint8_t *d, const uint8_t *cov, uint32_t pixel, int32_t n) {
    const __m128i colour = _mm_set1_epi32(int32_t(pixel)), zero = _mm_setzero_si128();
    const __m128i c16 = _mm_unpacklo_epi8(colour, zero), full = _mm_set1_epi16(256), top = _mm_set1_epi16(255);
    int32_t x = 0;
    for (; x + 4 <= n; x += 4) {
        uint32_t a4;
        memcpy(&a4, cov + x, 4);
        if (a4 == 0) continue;
        __m128i *out = reinterpret_cast<__m128i *>(d + 4 * x);
        if (a4 == 0xFFFFFFFFu) {
            _mm_storeu_si128(out, colour);
            continue;
        }
        __m128i a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(a4)), zero);
        a = _mm_sub_epi16(a, _mm_cmpeq_epi16(a, top)); // 255 counts as 256
        const __m128i a2 = _mm_unpacklo_epi16(a, a);   // a0 a0 a1 a1 a2 a2 a3 a3
        const __m128i aLo = _mm_unpacklo_epi32(a2, a2), aHi = _mm_unpackhi_epi32(a2, a2);
        const __m128i px = _mm_loadu_si128(out);
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c16, aLo),
                                                        _mm_mullo_epi16(_mm_unpacklo_epi8(px, zero), _mm_sub_epi16(full, aLo))),
                                          8);
        const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c16, aHi),
                                                        _mm_mullo_epi16(_mm_unpackhi_epi8(px, zero), _mm_sub_epi16(full, aHi))),
                                          8);
        _mm_storeu_si128(out, _mm_packus_epi16(lo, hi));
    }
    for (; x < n; ++x) {
        const uint32_t a = cov[x] + (cov[x] == 255);
        if (!a) continue;
        uint32_t old;
        memcpy(&old, d + 4 * x, 4);
        const uint32_t v = BlendPixel(pixel, old, a);
        memcpy(d + 4 * x, &v, 4);
    }
}
#endif

inline uint32_t Bit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }

// Glyph bits as 0/255 coverage for the kernels; kept between calls.
std::vector<uint8_t> g_scratch;

void KernelCoverage(const cxOsBitmapLock *dst, const uint8_t *cov, int32_t covX, int32_t covY, int32_t rowBytes,
                    const cxGlyphBlit *b, uint32_t pixel, int32_t mode) {
    cxAlphaChannelJob j{};
    j.covX = covX;
    j.covY = covY;
    j.dstPixels = dst->pixels;
    j.dstX = b->dstX;
    j.dstY = b->dstY;
    j.dstRowLength = int32_t(dst->rowLength);
    j.width = b->width;
    j.height = b->height;
    j.coverage = cov;
    j.coverageRowLength = rowBytes;
    j.pixelFormat = dst->pixelFormat;
    j.colour = pixel;
    j.mode = mode;
    j.level = 255;
    if (dst->bytesPerPixel == 2) BltAlphaChannelPixels16(&j);
    else BltAlphaChannelPixels32(&j);
}

} // namespace

extern "C" {

void ClipToTarget(const cxOsBitmapLock *t, const cxClipRect *clip, cxClipRect *out) {
    int64_t x0 = 0, y0 = 0, x1 = t->width, y1 = t->height;
    if (clip) {
        x0 = std::max<int64_t>(x0, clip->x);
        y0 = std::max<int64_t>(y0, clip->y);
        x1 = std::min<int64_t>(x1, int64_t(clip->x) + clip->width);
        y1 = std::min<int64_t>(y1, int64_t(clip->y) + clip->height);
    }
    out->x = int32_t(x0);
    out->y = int32_t(y0);
    out->width = int32_t(std::max<int64_t>(0, x1 - x0));
    out->height = int32_t(std::max<int64_t>(0, y1 - y0));
}

void BlitCoverageColour(const cxOsBitmapLock *dst, const cxGlyphBlit *b, uint32_t pixel) {
    if (b->width < 1 || b->height < 1) return;
    if (dst->bytesPerPixel != 4) {
        KernelCoverage(dst, b->src, b->srcX, b->srcY, b->srcRowBytes, b, pixel, 1);
        return;
    }
#if defined(__SSE2__)
    for (int32_t y = 0; y < b->height; ++y)
        BlendRowSse2(dst->pixels + (ptrdiff_t(b->dstY + y) * dst->rowLength + b->dstX) * 4,
                     b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes + b->srcX, pixel, b->width);
#else
    // The colour repeated over one pass, in memory order.
    alignas(16) uint8_t colour[kChunk * 4];
    const int32_t span = std::min(kChunk, (b->width + 3) & ~3);
    for (int32_t i = 0; i < span; ++i) memcpy(colour + 4 * i, &pixel, 4);
    const int32_t room = int32_t(dst->rowLength) - b->dstX; // pixels up to the row's end
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t *c = b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes + b->srcX;
        uint8_t *d = dst->pixels + (ptrdiff_t(b->dstY + y) * dst->rowLength + b->dstX) * 4;
        for (int32_t x = 0; x < b->width; x += kChunk) {
            const int32_t n = std::min(kChunk, b->width - x), padded = (n + 3) & ~3;
            BlendRow4(d + 4 * x, c + x, colour, n, x + padded <= room ? padded : n);
        }
    }
#endif
}

void BlitBitsColour(const cxOsBitmapLock *dst, const cxGlyphBlit *b, uint32_t pixel) {
    if (b->width < 1 || b->height < 1) return;
    if (dst->bytesPerPixel == 4) {
        for (int32_t y = 0; y < b->height; ++y) {
            const uint8_t *row = b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes;
            uint32_t *d = reinterpret_cast<uint32_t *>(dst->pixels) + ptrdiff_t(b->dstY + y) * dst->rowLength + b->dstX;
            for (int32_t x = 0; x < b->width; ++x)
                if (Bit(row, b->srcX + x)) d[x] = pixel;
        }
        return;
    }
    const size_t need = size_t(b->width) * size_t(b->height);
    if (g_scratch.size() < need) g_scratch.resize(need);
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t *row = b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes;
        uint8_t *o = g_scratch.data() + size_t(y) * size_t(b->width);
        for (int32_t x = 0; x < b->width; ++x) o[x] = uint8_t(Bit(row, b->srcX + x) * 255u);
    }
    KernelCoverage(dst, g_scratch.data(), 0, 0, b->width, b, pixel, 0);
}

void BlitBitsMask(const cxOsBitmapLock *dst, const cxGlyphBlit *b) {
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t *row = b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes;
        uint8_t *d = dst->pixels + ptrdiff_t(b->dstY + y) * dst->rowLength;
        for (int32_t x = 0; x < b->width; ++x) {
            const int32_t dx = b->dstX + x;
            d[dx >> 3] |= uint8_t(Bit(row, b->srcX + x) << (7 - (dx & 7)));
        }
    }
}

void BlitCoverageAlpha(const cxOsBitmapLock *dst, const cxGlyphBlit *b) {
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t *c = b->src + ptrdiff_t(b->srcY + y) * b->srcRowBytes + b->srcX;
        uint8_t *d = dst->pixels + ptrdiff_t(b->dstY + y) * dst->rowLength + b->dstX;
        for (int32_t x = 0; x < b->width; ++x)
            if (c[x]) d[x] = c[x];
    }
}

} // extern "C"
