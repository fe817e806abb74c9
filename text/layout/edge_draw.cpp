#include "text/layout/edge_draw.h"

#include <algorithm>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/pixels/pixel_format.h"

cxTextCanvas::~cxTextCanvas() {
    FreeMask(glyphMask);
    FreeAlphaChannel(glyphAlpha);
    FreeBitmap(glyphColour);
}

int cxTextCanvas::Reset(int32_t w, int32_t h) {
    // Work bitmaps too small for this image are made again on first use;
    // larger ones serve as they are (glyphs are drawn clipped to each run).
    auto small = [&](const cxBitmap *b) { return b && (b->width < w || b->height < h); };
    if (small(glyphMask)) FreeMask(glyphMask), glyphMask = nullptr;
    if (small(glyphAlpha)) FreeAlphaChannel(glyphAlpha), glyphAlpha = nullptr;
    if (small(glyphColour)) FreeBitmap(glyphColour), glyphColour = nullptr;
    width = w;
    height = h;
    try {
        argb.assign(size_t(w) * size_t(h), 0);
    } catch (...) {
        return ERR_MEM;
    }
    return 0;
}

void ShadowOffset(int32_t dir, int32_t s, int32_t *dx, int32_t *dy) {
    static const int8_t kX[8] = {0, 1, 1, 1, 0, -1, -1, -1}, kY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    if (dir < 0 || dir > 7) dir = 3;
    *dx = kX[dir] * s;
    *dy = kY[dir] * s;
}

void BuildEdgeCoverage(const uint8_t *g, int32_t w, int32_t h, int32_t e, bool alphaText, std::vector<uint32_t> &sums,
                       std::vector<uint8_t> &out) {
    const int32_t ow = w + 2 * e, oh = h + 2 * e, win = 2 * e + 1;
    // Pass 1: running sums along each row over a window of win pixels.
    // The widest window sum, (2e + 1)^2 x 255, fits 32 bits for e <= 64.
    sums.assign(size_t(ow) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *src = g + size_t(y) * size_t(w);
        uint32_t *row = sums.data() + size_t(y) * size_t(ow);
        uint32_t run = 0;
        for (int32_t x = 0; x < ow; ++x) {
            if (x < w) run += src[x];
            if (x - win >= 0 && x - win < w) run -= src[x - win];
            row[x] = run;
        }
    }
    // Pass 2: the same down each column.
    out.assign(size_t(ow) * size_t(oh), 0);
    std::vector<uint32_t> column(size_t(ow), 0);
    for (int32_t y = 0; y < oh; ++y) {
        uint8_t *dst = out.data() + size_t(y) * size_t(ow);
        if (y < h) {
            const uint32_t *add = sums.data() + size_t(y) * size_t(ow);
            for (int32_t x = 0; x < ow; ++x) column[size_t(x)] += add[x];
        }
        if (y - win >= 0 && y - win < h) {
            const uint32_t *sub = sums.data() + size_t(y - win) * size_t(ow);
            for (int32_t x = 0; x < ow; ++x) column[size_t(x)] -= sub[x];
        }
        if (alphaText) {
            for (int32_t x = 0; x < ow; ++x) dst[x] = uint8_t(std::min<uint32_t>(column[size_t(x)] / uint32_t(win), 255));
        } else {
            for (int32_t x = 0; x < ow; ++x) dst[x] = column[size_t(x)] ? 255 : 0;
        }
    }
}

void CompositeCoverage(cxTextCanvas &c, const uint8_t *cov, int32_t w, int32_t h, int32_t x, int32_t y,
                       uint32_t colour, const uint32_t *colours) {
    const uint32_t opacity = 255 - (colour >> 24);
    if (!opacity) return;
    const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int32_t x1 = std::min(x + w, c.width), y1 = std::min(y + h, c.height);
    for (int32_t ty = y0; ty < y1; ++ty) {
        const uint8_t *src = cov + size_t(ty - y) * size_t(w) - x;
        const uint32_t *col = colours ? colours + size_t(ty - y) * size_t(w) - x : nullptr;
        uint32_t *dst = c.argb.data() + size_t(ty) * size_t(c.width);
        for (int32_t tx = x0; tx < x1; ++tx) {
            const uint32_t a = (src[tx] * opacity + 127) / 255;
            if (!a) continue;
            const uint32_t rgb = (col ? col[tx] : colour) & 0xFFFFFFu;
            const uint32_t d = dst[tx], da = d >> 24;
            if (a == 255 || !da) {
                dst[tx] = (a << 24) | rgb;
                continue;
            }
            // Straight-alpha "over".
            const uint32_t keep = da * (255 - a) / 255, oa = a + keep;
            uint32_t out = oa << 24;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t s = (rgb >> shift) & 0xFF, t = (d >> shift) & 0xFF;
                out |= ((s * a + t * keep) / oa) << shift;
            }
            dst[tx] = out;
        }
    }
}

namespace {

// Renders the run's glyphs into the work bitmap and takes them out as
// coverage bytes (and colours for colour fonts), clearing what it read.
int RenderGlyphs(cxTextCanvas &c, const cxTextRun &run, cxOsFont *font, int32_t x, int32_t y, int32_t gx, int32_t gw,
                 int32_t h, int32_t encoding, bool aa, bool colourFont) {
    cxBitmap **work = aa ? &c.glyphAlpha : &c.glyphMask;
    if (!*work) {
        *work = aa ? AllocAlphaChannel(c.width, c.height, 1, nullptr, 0) : AllocMask(nullptr, c.width, c.height, 1, nullptr, 0);
        if (!*work) return aa ? ERR_ALLOCALPHA : ERR_ALLOCMASK;
    }
    if (colourFont && !c.glyphColour) {
        c.glyphColour = AllocBitmap(c.width, c.height, CX_ALLOC_CLEAR, 0);
        if (!c.glyphColour) return ERR_BITMAP;
    }
    // Clipped to the image: the work bitmap may be larger than it.
    const int32_t cx0 = std::max(gx, 0), cy0 = std::max(y, 0);
    const cxClipRect clip{cx0, cy0, std::max(0, std::min(gx + gw, c.width) - cx0), std::max(0, std::min(y + h, c.height) - cy0)};
    const uint32_t style = FontEngineStyle(run.style.flags);
    int err = colourFont ? DrawFontText(font, c.glyphColour, *work, x, y, run.text, run.length, style, encoding, &clip, -1)
                         : DrawFontText(font, *work, nullptr, x, y, run.text, run.length, style, encoding, &clip, -1);
    if (err) return err;
    c.glyphs.assign(size_t(gw) * size_t(h), 0);
    if (colourFont) c.glyphColours.assign(size_t(gw) * size_t(h), 0);
    cxOsBitmapLock l{}, lc{};
    if (!LockBitmap(*work, 0, &l) || !l.pixels) {
        UnlockBitmap(&l);
        return ERR_LOCKBMAP;
    }
    if (colourFont && !LockBitmap(c.glyphColour, 0, &lc)) {
        UnlockBitmap(&lc);
        UnlockBitmap(&l);
        return ERR_LOCKBMAP;
    }
    const int32_t x0 = std::max(gx, 0), x1 = std::min(gx + gw, c.width);
    const int32_t y0 = std::max(y, 0), y1 = std::min(y + h, c.height);
    for (int32_t ty = y0; ty < y1; ++ty) {
        uint8_t *row = l.pixels + size_t(ty) * l.rowLength;
        uint8_t *out = c.glyphs.data() + size_t(ty - y) * size_t(gw) - gx;
        for (int32_t tx = x0; tx < x1; ++tx) {
            if (aa) {
                out[tx] = row[tx];
                row[tx] = 0;
            } else {
                uint8_t &byte = row[tx >> 3];
                const uint8_t bit = uint8_t(0x80u >> (tx & 7));
                if (byte & bit) {
                    out[tx] = 255;
                    byte &= uint8_t(~bit);
                }
            }
        }
        if (colourFont) {
            uint32_t *cols = c.glyphColours.data() + size_t(ty - y) * size_t(gw) - gx;
            for (int32_t tx = x0; tx < x1; ++tx)
                if (out[tx])
                    cols[tx] = PixelToColor(LoadPixelValue(lc.pixels + (size_t(ty) * lc.rowLength + size_t(tx)) * lc.bytesPerPixel,
                                                           lc.pixelFormat),
                                            lc.pixelFormat, 0);
        }
    }
    UnlockBitmap(&lc);
    UnlockBitmap(&l);
    return 0;
}

// Shifts each row of a w x h image right by shift(row) (left when
// negative), filling with zero.
template <class T, class Shift>
void ShiftRows(std::vector<T> &img, int32_t w, int32_t h, Shift shift) {
    std::vector<T> row(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        const int32_t s = shift(y);
        if (!s) continue;
        T *p = img.data() + size_t(y) * size_t(w);
        std::fill(row.begin(), row.end(), T{});
        for (int32_t x = 0; x < w; ++x) {
            const int32_t t = x + s;
            if (t >= 0 && t < w) row[size_t(t)] = p[x];
        }
        std::copy(row.begin(), row.end(), p);
    }
}

// The program's bold: the image laid over itself one pixel to the right.
template <class T>
void Embolden(std::vector<T> &img, const std::vector<uint8_t> &cov, int32_t w, int32_t h) {
    for (int32_t y = 0; y < h; ++y) {
        T *p = img.data() + size_t(y) * size_t(w);
        const uint8_t *c = cov.data() + size_t(y) * size_t(w);
        for (int32_t x = w - 1; x > 0; --x)
            if (!c[x] && c[x - 1]) p[x] = p[x - 1];
    }
}

} // namespace

int EdgeDraw(cxTextCanvas &c, const cxTextRun &run, int32_t x, int32_t y, int32_t width, int32_t encoding) {
    cxOsFont *font = run.style.font ? run.style.font : GetTopazFont();
    if (!font || !run.length) return 0;
    const uint32_t fl = run.style.flags;
    const bool aa = fl & CX_TEXT_ANTIALIAS, colourFont = font->kind == CX_FONT_COLOUR;
    const int32_t h = font->height + 1, baseline = font->baseline;
    const int32_t lead = std::min(run.extent.font.minX, 0);
    const int32_t gx = x + lead, gw = std::max(width - lead, 1);
    if (int err = RenderGlyphs(c, run, font, x, y, gx, gw, h, encoding, aa, colourFont)) return err;

    if (!aa) {
        if ((fl & CX_TEXT_BOLD) && !GetNativeFontHandle(font)) {
            if (colourFont) Embolden(c.glyphColours, c.glyphs, gw, h);
            Embolden(c.glyphs, c.glyphs, gw, h);
        }
        if ((fl & CX_TEXT_ITALIC) && !GetNativeFontHandle(font)) {
            // Rows above the baseline lean right, rows below it left.
            auto shift = [&](int32_t row) { return baseline / 2 - row / 2; };
            ShiftRows(c.glyphs, gw, h, shift);
            if (colourFont) ShiftRows(c.glyphColours, gw, h, shift);
        }
    }
    if (fl & CX_TEXT_UNDERLINED) {
        const int32_t below = font->height - baseline;
        const int32_t d = std::max(below / 3, 1);
        for (int32_t row = baseline + d; row < baseline + 2 * d && row < h; ++row) {
            if (row < 0) continue;
            uint8_t *p = c.glyphs.data() + size_t(row) * size_t(gw) - lead;
            for (int32_t i = 0; i < width && i - lead < gw; ++i) p[i] = 255;
            if (colourFont) {
                uint32_t *q = c.glyphColours.data() + size_t(row) * size_t(gw) - lead;
                for (int32_t i = 0; i < width && i - lead < gw; ++i) q[i] = run.style.colour;
            }
        }
    }

    const bool edge = fl & CX_TEXT_EDGE;
    const int32_t e = std::clamp(run.style.edgeSize, 1, CX_TEXT_MAX_EFFECT);
    if (edge) BuildEdgeCoverage(c.glyphs.data(), gw, h, e, aa, c.sums, c.edge);
    if (fl & CX_TEXT_SHADOW) {
        int32_t dx, dy;
        ShadowOffset(run.style.shadowDir, run.style.shadowSize, &dx, &dy);
        if (edge) CompositeCoverage(c, c.edge.data(), gw + 2 * e, h + 2 * e, gx + dx - e, y + dy - e, run.style.shadowColour, nullptr);
        else CompositeCoverage(c, c.glyphs.data(), gw, h, gx + dx, y + dy, run.style.shadowColour, nullptr);
    }
    if (edge) CompositeCoverage(c, c.edge.data(), gw + 2 * e, h + 2 * e, gx - e, y - e, run.style.edgeColour, nullptr);
    CompositeCoverage(c, c.glyphs.data(), gw, h, gx, y, run.style.colour, colourFont ? c.glyphColours.data() : nullptr);
    return 0;
}
