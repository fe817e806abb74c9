#include "graphics/pixels/pixel_format.h"
#include "window/x11/x11_present.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "window/x11/os_display.h"
#include "window/x11/x11_overlays.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"

namespace {
int MaskShift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}
int MaskBits(unsigned long mask) {
    mask >>= MaskShift(mask);
    int b = 0;
    while (mask & 1) {
        mask >>= 1;
        ++b;
    }
    return b;
}
uint32_t Pack(uint32_t v8, unsigned long mask) {
    const int bits = MaskBits(mask);
    if (!bits) return 0;
    const uint32_t v = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
    return (v << MaskShift(mask)) & uint32_t(mask);
}
uint32_t Unpack(uint32_t pixel, unsigned long mask) {
    const int bits = MaskBits(mask);
    if (!bits) return 0;
    const uint32_t v = (pixel & uint32_t(mask)) >> MaskShift(mask);
    return bits >= 8 ? v >> (bits - 8) : v << (8 - bits);
}

uint32_t ReadPixel(const uint8_t *p, uint32_t bytes) {
    switch (bytes) {
    case 2: { uint16_t v; memcpy(&v, p, 2); return v; }
    case 3: return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    default: { uint32_t v; memcpy(&v, p, 4); return v; }
    }
}
void WritePixel(uint8_t *p, uint32_t bytes, uint32_t v) {
    switch (bytes) {
    case 2: { const uint16_t s = uint16_t(v); memcpy(p, &s, 2); break; }
    case 3: p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); break;
    default: memcpy(p, &v, 4); break;
    }
}
// The window's pixel layout for XImages of our own making.
struct VisualLayout {
    int format; // -1: no platform format matches, convert through the masks
    int depth;
    int bpp;
    unsigned long r, g, b;
};

VisualLayout LayoutOf(cxOsWindow *w) {
    VisualLayout v{};
    v.depth = w->depth;
    v.bpp = w->depth == 24 ? 32 : w->depth;
    int count = 0;
    if (XPixmapFormatValues *f = XListPixmapFormats(w->dpy, &count)) {
        for (int i = 0; i < count; ++i)
            if (f[i].depth == w->depth) v.bpp = f[i].bits_per_pixel;
        XFree(f);
    }
    v.r = w->visual->red_mask;
    v.g = w->visual->green_mask;
    v.b = w->visual->blue_mask;
    v.format = OsVisualPixelFormat(v.r, v.g, v.b, v.bpp);
    return v;
}

uint32_t ColourFor(cxOsWindow *w, uint32_t argb) {
    const VisualLayout v = LayoutOf(w);
    if (v.format == 10) return argb & 0xFFFFFF;
    return OsArgbToVisual(argb, v.r, v.g, v.b);
}

// Sets the presentation clip: the display's area minus the overlay items
// that cover it. Overlapping items are subtracted, so their common part is
// never painted either.
void SetClip(cxOsDisplay *d, cxOsWindow *w) {
    int width, height;
    OsGetWindowInnerSize(d, &width, &height);
    Region region = XCreateRegion();
    XRectangle all = {short(d->originX), short(d->originY), (unsigned short)width, (unsigned short)height};
    XUnionRectWithRegion(&all, region, region);
    bool cut = false;
    for (cxDisplayOverlay *o = GetDisplayOverlays(); o; o = o->next) {
        if (o->display != d || o->hidden || o->kind < 1 || o->kind > 4 || o->width <= 0 || o->height <= 0) continue;
        Region item = XCreateRegion();
        XRectangle r = {short(o->x + d->originX), short(o->y + d->originY), (unsigned short)o->width,
                        (unsigned short)o->height};
        XUnionRectWithRegion(&r, item, item);
        XSubtractRegion(region, item, region);
        XDestroyRegion(item);
        cut = true;
    }
    if (cut)
        XSetRegion(w->dpy, w->gc, region);
    else
        XSetClipMask(w->dpy, w->gc, None);
    XDestroyRegion(region);
}

cxOsWindow *PresentTarget(cxOsDisplay *d) {
    if (!d || d->outputKind != CX_OUTPUT_XWINDOW) return nullptr;
    cxOsWindow *w = OsGetDisplayWindow(d);
    if (!w || w->suppress[0] || w->suppress[1]) return nullptr;
    return w;
}

// Premultiplies the rectangle by the window's shape into the scratch bitmap
// (format 10: colours in the low three bytes, alpha in the fourth).
cxOsBitmap *ShapeRect(cxOsDisplay *d, cxOsWindow *w, const cxOsBitmap *src, int sx, int sy, int dx, int dy, int width,
                      int height) {
    int ww, wh;
    OsGetWindowInnerSize(d, &ww, &wh);
    if (!w->scratch || w->scratch->width != ww || w->scratch->height != wh) {
        OsFreeBitMap(w->scratch);
        const uint32_t saved = OsGetPixelFormat();
        OsSetPixelFormat(10);
        w->scratch = OsAllocBitMap(ww, wh, 1, 0);
        OsSetPixelFormat(saved);
        if (!w->scratch) return nullptr;
    }
    for (int y = 0; y < height; ++y) {
        const int ty = dy + y;
        if (ty < 0 || ty >= wh) continue;
        for (int x = 0; x < width; ++x) {
            const int tx = dx + x;
            if (tx < 0 || tx >= ww) continue;
            const uint8_t *sp = src->pixels + size_t(sy + y) * src->bytesPerRow + size_t(sx + x) * src->bytesPerPixel;
            const uint32_t argb = PixelToColor(ReadPixel(sp, src->bytesPerPixel), src->format, 1);
            const uint32_t a = w->shapeAlpha[size_t(ty) * w->shapeBytesPerRow + size_t(tx)];
            const uint32_t r = ((argb >> 16) & 0xFF) * a / 255, g = ((argb >> 8) & 0xFF) * a / 255,
                           b = (argb & 0xFF) * a / 255;
            WritePixel(w->scratch->pixels + size_t(ty) * w->scratch->bytesPerRow + size_t(tx) * 4, 4,
                       a << 24 | r << 16 | g << 8 | b);
        }
    }
    return w->scratch;
}
}  // namespace

extern "C" int OsVisualPixelFormat(unsigned long r, unsigned long g, unsigned long b, int bpp) {
    struct Row {
        int bpp;
        unsigned long r, g, b;
        int format;
    } static const rows[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, 10},         {32, 0xFF, 0xFF00, 0xFF0000, 13},
        {32, 0xFF000000, 0xFF0000, 0xFF00, 12},   {32, 0xFF00, 0xFF0000, 0xFF000000, 11},
        {24, 0xFF0000, 0xFF00, 0xFF, 8},          {24, 0xFF, 0xFF00, 0xFF0000, 9},
        {16, 0xF800, 0x7E0, 0x1F, 4},             {16, 0x1F, 0x7E0, 0xF800, 5},
        {16, 0x7C00, 0x3E0, 0x1F, 0},             {16, 0x1F, 0x3E0, 0x7C00, 1},
        {15, 0x7C00, 0x3E0, 0x1F, 0},             {15, 0x1F, 0x3E0, 0x7C00, 1},
    };
    for (const Row &row : rows)
        if (row.bpp == bpp && row.r == r && row.g == g && row.b == b) return row.format;
    return -1;
}


extern "C" uint32_t OsArgbToVisual(uint32_t c, unsigned long rm, unsigned long gm, unsigned long bm) {
    return Pack((c >> 16) & 0xFF, rm) | Pack((c >> 8) & 0xFF, gm) | Pack(c & 0xFF, bm);
}

extern "C" uint32_t OsVisualToArgb(uint32_t p, unsigned long rm, unsigned long gm, unsigned long bm) {
    return 0xFF000000u | Unpack(p, rm) << 16 | Unpack(p, gm) << 8 | Unpack(p, bm);
}

extern "C" cxOsBitmap *OsBltBitMap(cxOsBitmap *src, int32_t srcX, int32_t srcY, cxOsDisplay *d, int32_t dstX,
                                   int32_t dstY, int32_t width, int32_t height, uint32_t flags) {
    cxOsWindow *w = PresentTarget(d);
    if (!w || !src || !src->pixels || src->bytesPerPixel < 2 || src->format > 13) return src;
    // Clip the rectangle to the bitmap: nothing outside it is ever read.
    if (srcX < 0) { width += srcX; dstX -= srcX; srcX = 0; }
    if (srcY < 0) { height += srcY; dstY -= srcY; srcY = 0; }
    width = std::min(width, src->width - srcX);
    height = std::min(height, src->height - srcY);
    if (width <= 0 || height <= 0) return src;

    const cxOsBitmap *from = src;
    int sx = srcX, sy = srcY;
    if (w->shapeAlpha) {
        from = ShapeRect(d, w, src, srcX, srcY, dstX, dstY, width, height);
        if (!from) return src;
        // The scratch covers the window: clip the rectangle to it.
        if (dstX < 0) { width += dstX; dstX = 0; }
        if (dstY < 0) { height += dstY; dstY = 0; }
        width = std::min(width, from->width - dstX);
        height = std::min(height, from->height - dstY);
        if (width <= 0 || height <= 0) return src;
        sx = dstX;
        sy = dstY;
    }
    const VisualLayout v = LayoutOf(w);
    const uint32_t outBytes = uint32_t(v.bpp) / 8;
    std::vector<uint8_t> converted;
    char *data;
    int imageWidth, imageHeight, bytesPerLine;
    if (v.format >= 0 && uint32_t(v.format) == from->format && outBytes == from->bytesPerPixel) {
        // Same layout: the image points straight at the bitmap's pixels.
        data = reinterpret_cast<char *>(from->pixels);
        imageWidth = int(from->bytesPerRow / from->bytesPerPixel);
        imageHeight = from->height;
        bytesPerLine = int(from->bytesPerRow);
    } else {
        if (outBytes < 2 || outBytes > 4) return src;
        bytesPerLine = int((uint32_t(width) * outBytes + 3) & ~3u);
        converted.resize(size_t(bytesPerLine) * size_t(height));
        for (int y = 0; y < height; ++y) {
            const uint8_t *sp = from->pixels + size_t(sy + y) * from->bytesPerRow + size_t(sx) * from->bytesPerPixel;
            uint8_t *dp = converted.data() + size_t(y) * size_t(bytesPerLine);
            for (int x = 0; x < width; ++x, sp += from->bytesPerPixel, dp += outBytes) {
                const uint32_t argb = PixelToColor(ReadPixel(sp, from->bytesPerPixel), from->format, 1);
                WritePixel(dp, outBytes, OsArgbToVisual(argb, v.r, v.g, v.b));
            }
        }
        data = reinterpret_cast<char *>(converted.data());
        imageWidth = width;
        imageHeight = height;
        sx = sy = 0;
    }
    XImage *img = XCreateImage(w->dpy, w->visual, unsigned(v.depth), ZPixmap, 0, data, unsigned(imageWidth),
                               unsigned(imageHeight), v.bpp, bytesPerLine);
    if (!img) return src;
    img->byte_order = LSBFirst;  // our pixel values are little-endian words
    if (flags & CX_BLT_NOCLIP)
        XSetClipMask(w->dpy, w->gc, None);
    else
        SetClip(d, w);
    XPutImage(w->dpy, w->window, w->gc, img, sx, sy, dstX + d->originX, dstY + d->originY, unsigned(width),
              unsigned(height));
    XFlush(w->dpy);
    img->data = nullptr;  // the pixels are not the image's
    XDestroyImage(img);
    return src;
}

extern "C" void OsFillRect(cxOsDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t argb) {
    cxOsWindow *w = PresentTarget(d);
    if (!w || width <= 0 || height <= 0) return;
    XSetForeground(w->dpy, w->gc, ColourFor(w, argb));
    SetClip(d, w);
    XFillRectangle(w->dpy, w->window, w->gc, x + d->originX, y + d->originY, unsigned(width), unsigned(height));
    XFlush(w->dpy);
}

extern "C" void OsWritePixel(cxOsDisplay *d, int32_t x, int32_t y, uint32_t argb) {
    cxOsWindow *w = PresentTarget(d);
    if (!w) return;
    XSetForeground(w->dpy, w->gc, ColourFor(w, argb));
    SetClip(d, w);
    XDrawPoint(w->dpy, w->window, w->gc, x + d->originX, y + d->originY);
    XFlush(w->dpy);
}

extern "C" void OsDrawLine(cxOsDisplay *d, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t argb) {
    cxOsWindow *w = PresentTarget(d);
    if (!w) return;
    XSetForeground(w->dpy, w->gc, ColourFor(w, argb));
    SetClip(d, w);
    XDrawLine(w->dpy, w->window, w->gc, x1 + d->originX, y1 + d->originY, x2 + d->originX, y2 + d->originY);
    XFlush(w->dpy);
}

extern "C" cxOsBitmap *OsGrabScreenPixels(cxOsDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    cxOsWindow *w = OsGetDisplayWindow(d);
    cxOsXConnection *own = nullptr;
    Display *dpy;
    if (w) {
        dpy = w->dpy;
    } else {
        own = OsOpenXConnection(nullptr);
        if (!own) return nullptr;
        dpy = own->dpy;
    }
    const int screen = DefaultScreen(dpy);
    Visual *visual = DefaultVisual(dpy, screen);
    XImage *img = XGetImage(dpy, RootWindow(dpy, screen), x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    cxOsBitmap *bm = nullptr;
    if (img && (img->bits_per_pixel == 16 || img->bits_per_pixel == 32 || img->bits_per_pixel == 24)) {
        bm = OsAllocBitMap(width, height, 0, 0);
        if (bm) {
            const int vf = OsVisualPixelFormat(visual->red_mask, visual->green_mask, visual->blue_mask,
                                               img->bits_per_pixel);
            const uint32_t inBytes = uint32_t(img->bits_per_pixel) / 8;
            const bool native = img->byte_order == LSBFirst;
            for (int row = 0; row < height; ++row) {
                const uint8_t *sp = reinterpret_cast<const uint8_t *>(img->data) + size_t(row) * size_t(img->bytes_per_line);
                uint8_t *dp = bm->pixels + size_t(row) * bm->bytesPerRow;
                if (native && vf >= 0 && uint32_t(vf) == bm->format && inBytes == bm->bytesPerPixel) {
                    memcpy(dp, sp, size_t(width) * inBytes);
                    continue;
                }
                for (int col = 0; col < width; ++col, dp += bm->bytesPerPixel) {
                    const uint32_t p = native ? ReadPixel(sp + size_t(col) * inBytes, inBytes)
                                              : uint32_t(XGetPixel(img, col, row));
                    const uint32_t argb = OsVisualToArgb(p, visual->red_mask, visual->green_mask, visual->blue_mask);
                    WritePixel(dp, bm->bytesPerPixel, ColorToPixel(argb, bm->format, 1));
                }
            }
        }
    }
    if (img) XDestroyImage(img);
    if (own) OsReleaseXConnection(own);
    return bm;
}
