// Saving anims: GIF through the colour quantiser, Motion JPEG AVI, and the
// formats of anim-saver plug-ins; whole anims (SaveAnim) or frame by frame
// from brushes (anim streams).
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/geometry/geometry.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/quantize/quantize.h"
#include "images/brushes/brush.h"
#include "images/core/new_id.h"
#include "images/formats/gif_codec.h"
#include "media/anim/anim_internal.h"
#include "media/anim/anim_save.h"
#include "media/avi/avi_writer.h"

namespace {

constexpr int32_t kAnimStreamKind = 52;
constexpr uint32_t kFormatGif = 0, kFormatAvi = 1;

struct cxAnimStream {
    cxObjectHeader header;  // kind 52
    int32_t width, height;
    uint32_t format;
    uint32_t palette;
    uint32_t useAlpha;
    void *writer;
    cxPlugin *plugin;
    int32_t row;
};

cxObjectList g_streams = {kAnimStreamKind, ERR_FINDANIMSTREAM, nullptr, nullptr};
cxOpenedPluginsFunc g_plugins = nullptr;

struct SaveOptions {
    int32_t dither = 0, colours = 256, transparentColour = -1, optimize = 1;
    int32_t quality = 90, fps = 25, useAlpha = 0;
    int32_t delay = 0, x = 0, y = 0;
};

void ReadSaveOptions(lua_State *L, int index, SaveOptions *o) {
    if (index <= 0 || index > lua_gettop(L) || !lua_istable(L, index)) return;
    GetTableTruth(L, index, "dither", &o->dither, nullptr);
    GetTableInt(L, index, "colors", &o->colours, nullptr);
    uint32_t colour = 0;
    if (GetTableBool(L, index, "transparency", &colour, nullptr)) o->transparentColour = int32_t(colour);
    GetTableTruth(L, index, "optimize", &o->optimize, nullptr);
    GetTableInt(L, index, "quality", &o->quality, nullptr);
    GetTableInt(L, index, "fps", &o->fps, nullptr);
    GetTableTruth(L, index, "usealpha", &o->useAlpha, nullptr);
    GetTableInt(L, index, "delay", &o->delay, nullptr);
    GetTableInt(L, index, "x", &o->x, nullptr);
    GetTableInt(L, index, "y", &o->y, nullptr);
}

// An open writer of any format.
struct Writer {
    uint32_t format = 0;
    uint32_t palette = 0;
    void *handle = nullptr;
    cxPlugin *plugin = nullptr;
    int32_t row = -1;
};

int FindAnimSaverPlugin(uint32_t format, const char *file, int32_t w, int32_t h, int32_t quality, int32_t fps,
                        int useAlpha, Writer *out) {
    for (cxPluginNode *n = g_plugins ? g_plugins() : nullptr; n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled || !(p->capabilities & CX_CAP_ANIMSAVER) || !p->animFormats) continue;
        for (int32_t i = 0; p->animFormats[i].format != 0; ++i) {
            const cxSaverFormat &row = p->animFormats[i];
            if (uint32_t(row.format) != format) continue;
            if (useAlpha && !(row.flags & 4)) return ERR_SAVERALPHA;
            const int mode = (useAlpha ? 4 : 0) + ((row.flags & 1) ? 0 : 1);
            void *handle = CallPluginEntry(p, p->BeginAnimStream, file, int(w), int(h), mode, int(quality), int(fps));
            if (!handle) return ERR_SAVEANIM;
            out->handle = handle;
            out->plugin = p;
            out->row = i;
            out->palette = (row.flags & 1) ? 0 : 1;
            return 0;
        }
    }
    return ERR_UNKNOWNANMOUT;
}

int OpenWriter(uint32_t format, const char *file, int32_t w, int32_t h, const SaveOptions &o, Writer *out) {
    *out = Writer{};
    out->format = format;
    if (format == kFormatGif) {
        out->palette = 1;
        cxGifWriter *g = nullptr;
        if (int err = CreateGIFFile(file, w, h, &g)) return err;
        out->handle = g;
        return 0;
    }
    if (format == kFormatAvi) {
        char title[1024];
        GetDisplayFilePart(file, title, sizeof title);
        cxAviWriter *a = nullptr;
        if (int err = BeginAviWriter(file, o.fps, 1, w, h, o.quality, 0, 0, title, "", &a)) return err;
        out->handle = a;
        return 0;
    }
    return FindAnimSaverPlugin(format, file, w, h, o.quality, o.fps, o.useAlpha, out);
}

// Closing finishes the file.
int CloseWriter(Writer *w) {
    if (!w->handle) return 0;
    int err = 0;
    if (w->format == kFormatGif) err = FinishGIFFile(static_cast<cxGifWriter *>(w->handle));
    else if (w->format == kFormatAvi) err = FinishAviWriter(static_cast<cxAviWriter *>(w->handle));
    else if (!CallPluginEntry(w->plugin, w->plugin->FinishAnimStream, w->handle)) err = ERR_SAVEANIM;
    w->handle = nullptr;
    return err;
}

// One frame of width x height into a writer; indices is width x height
// bytes for palette formats.
int WriteFrame(Writer *w, cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha, int32_t width, int32_t height,
               int32_t delay, const SaveOptions &o, int useAlpha, std::vector<uint8_t> &indices) {
    if (w->format == kFormatAvi)
        return WriteAviFrame(static_cast<cxAviWriter *>(w->handle), bitmap, width, height, 1);
    cxOsBitmapLock lock;
    if (!LockBitmap(bitmap, CX_LOCK_SOURCE, &lock)) {
        UnlockBitmap(&lock);
        return ERR_LOCKBMAP;
    }
    int err = 0;
    uint32_t palette[256] = {};
    int32_t colours = o.colours, transparentIndex = -1;
    std::vector<uint32_t> argb;
    if (w->palette) {
        // A further palette entry for the unchanged pixels of differential
        // GIF frames when no colour is transparent.
        const int32_t reserve = (w->format == kFormatGif && o.transparentColour == -1) ? (o.optimize ? 1 : 0) : 0;
        if (!QuantizePixels(lock.pixels, lock.pixelFormat, int32_t(lock.bytesPerPixel), width, height,
                            int32_t(lock.rowLength), indices.data(), palette, &colours, o.transparentColour, reserve,
                            o.dither, &transparentIndex))
            err = ERR_MEM;
    } else {
        try {
            argb.resize(size_t(width) * size_t(height));
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
        for (int32_t y = 0; !err && y < height; ++y)
            PixelRowToARGB(lock.pixels + size_t(y) * lock.rowLength * lock.bytesPerPixel, lock.pixelFormat,
                           argb.data() + size_t(y) * size_t(width), width);
    }
    UnlockBitmap(&lock);
    if (err) return err;
    if (w->format == kFormatGif)
        return WriteGIFFile(static_cast<cxGifWriter *>(w->handle), indices.data(), width, height, delay, palette,
                            colours, o.transparentColour == -1 ? -1 : transparentIndex, o.optimize, 1);
    // A plug-in's frame: ARGB words with the transparency in the alpha
    // bytes, or palette indices.
    cxAnimFrame f{};
    f.delay = delay;
    f.format = w->plugin->animFormats[w->row].format;
    if (w->palette) {
        f.pixels = indices.data();
        f.palette = palette;
        f.bytesPerRow = width;
        f.colours = colours;
        // The index the quantiser gave the colour: the last one after a
        // median cut, wherever the colour fell in an exact palette.
        if (o.transparentColour != -1 && transparentIndex >= 0) {
            f.transparentIndex = transparentIndex;
            f.flags |= CX_ANIMFRAME_TRANSPARENT;
        }
    } else {
        cxOsBitmapLock al{}, ml{};
        const bool a = useAlpha && alpha && LockBitmap(alpha, CX_LOCK_SOURCE, &al);
        const bool m = !a && mask && LockBitmap(mask, CX_LOCK_SOURCE, &ml);
        for (int32_t y = 0; y < height; ++y) {
            uint32_t *row = argb.data() + size_t(y) * size_t(width);
            for (int32_t x = 0; x < width; ++x) {
                uint32_t level = 255;
                if (a) level = al.pixels[size_t(y) * al.rowLength + size_t(x)];
                else if (m) level = (ml.pixels[size_t(y) * ml.rowLength + size_t(x >> 3)] & (0x80 >> (x & 7))) ? 255 : 0;
                row[x] = (row[x] & 0xFFFFFFu) | (level << 24);
            }
        }
        if (alpha) UnlockBitmap(&al);
        if (mask && !a) UnlockBitmap(&ml);
        f.pixels = argb.data();
        f.bytesPerRow = width * 4;
        f.colours = 0;
        if (useAlpha) f.flags |= CX_ANIMFRAME_ALPHA;
    }
    if (!CallPluginEntry(w->plugin, w->plugin->WriteAnimFrame, w->handle, &f,
                         static_cast<const cxSaverFormat *>(w->plugin->animFormats)))
        return ERR_SAVEANIM;
    return 0;
}

cxAnimStream *FirstStream() { return reinterpret_cast<cxAnimStream *>(g_streams.first); }

int FindStream(cxObjectID id, cxAnimStream **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_streams, id, &h)) return err;
    *out = reinterpret_cast<cxAnimStream *>(h);
    return 0;
}

int CloseStream(cxAnimStream *s) {
    RemoveObject(&g_streams, &s->header);
    Writer w;
    w.format = s->format;
    w.handle = s->writer;
    w.plugin = s->plugin;
    const int err = CloseWriter(&w);
    free(s);
    return err;
}

}  // namespace

extern "C" void SetAnimSaverPlugins(cxOpenedPluginsFunc list) { g_plugins = list; }

extern "C" cxObjectList *GetAnimStreamList(void) {
    RegisterObjectList(&g_streams);
    return &g_streams;
}

extern "C" void FreeAllAnimStreams(void) {
    while (cxAnimStream *s = FirstStream()) CloseStream(s);
}

extern "C" int CmdSaveAnim(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    const uint32_t format = lua_gettop(L) >= 3 && !lua_isnil(L, 3) ? uint32_t(luaL_checknumber(L, 3)) : 0;
    SaveOptions o;
    ReadSaveOptions(L, 4, &o);
    if (o.useAlpha && o.transparentColour != -1) return ERR_MASKNALPHA;
    if (o.colours < 2 || o.colours > 256) return ERR_WRONGUSAGE;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    Writer w;
    if (int err = OpenWriter(format, file, a->width, a->height, o, &w)) return err;
    std::vector<uint8_t> indices;
    int err = 0;
    if (w.palette) {
        try {
            indices.resize(size_t(a->width) * size_t(a->height));
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
    }
    for (int32_t i = 0; !err && i < a->frames; ++i) {
        cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
        if ((err = GetAnimFrameBitmaps(a, i, 0, 0, &b, &m, &al))) break;
        err = WriteFrame(&w, b, m, al, a->width, a->height, GetAnimFrameDelay(a, i), o, o.useAlpha, indices);
        if (a->diskBased) {
            FreeBitmap(b);
            FreeMask(m);
            FreeAlphaChannel(al);
        }
    }
    const int closeErr = CloseWriter(&w);
    return err ? err : closeErr;
}

extern "C" int CmdBeginAnimStream(lua_State *L) {
    CheckArgCount(L, 4, 6, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    const double w = luaL_checknumber(L, 3), h = luaL_checknumber(L, 4);
    const uint32_t format = lua_gettop(L) >= 5 && !lua_isnil(L, 5) ? uint32_t(luaL_checknumber(L, 5)) : 0;
    SaveOptions o;
    ReadSaveOptions(L, 6, &o);
    if (!file[0] || !(w >= 1) || !(h >= 1) || w > 65535 || h > 65535) return ERR_WRONGUSAGE;
    if (!n.automatic) {
        cxAnimStream *old = nullptr;
        if (FindStream(n.id, &old) == 0) CloseStream(old);
    }
    Writer wr;
    if (int err = OpenWriter(format, file, int32_t(w), int32_t(h), o, &wr)) return err;
    auto *s = static_cast<cxAnimStream *>(calloc(1, sizeof(cxAnimStream)));
    if (!s) {
        CloseWriter(&wr);
        return ERR_MEM;
    }
    InitObjectHeader(&s->header, kAnimStreamKind, n.automatic ? 0 : n.id.number, n.automatic);
    if (n.automatic) n.id = GetObjectID(&s->header);
    s->width = int32_t(w), s->height = int32_t(h);
    s->format = format;
    s->palette = wr.palette;
    s->useAlpha = uint32_t(o.useAlpha);
    s->writer = wr.handle;
    s->plugin = wr.plugin;
    s->row = wr.row;
    GetAnimStreamList();
    AddObject(&g_streams, &s->header);
    return NewIDResult(L, n);
}

extern "C" int CmdWriteAnimFrame(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxObjectID sid{}, bid{};
    GetObjectIDArg(&sid, L, 1);
    GetObjectIDArg(&bid, L, 2);
    SaveOptions o;
    ReadSaveOptions(L, 3, &o);
    if (o.colours < 2 || o.colours > 256) return ERR_WRONGUSAGE;
    cxAnimStream *s = nullptr;
    if (int err = FindStream(sid, &s)) return err;
    if (o.transparentColour != -1 && s->useAlpha) return ERR_MASKNALPHA;
    cxBrush *b = nullptr;
    if (int err = FindBrush(L, bid, &b, CX_FIND_NOVECTOR)) return err;
    if (!b->bitmap) return ERR_BITMAP;
    const int32_t x = ResolveSpecialX(o.x, b->width, s->width, 0), y = ResolveSpecialY(o.y, b->height, s->height, 0);
    cxBitmap *bm = b->bitmap, *mask = b->mask, *alpha = b->alpha;
    cxBitmap *own = nullptr, *ownMask = nullptr, *ownAlpha = nullptr;
    if (!(x == 0 && y == 0 && b->width == s->width && b->height == s->height)) {
        // The brush placed on a frame of the stream's size, clipped, over
        // the transparent colour (or colour 0).
        own = AllocBitmap(s->width, s->height, 0, 0);
        if (!own) return ERR_BITMAP;
        FillRect(own, 0, 0, s->width, s->height, o.transparentColour == -1 ? 0u : uint32_t(o.transparentColour));
        int err = 0;
        if (b->alpha) {
            if (!(ownAlpha = AllocAlphaChannel(s->width, s->height, 1, nullptr, 0))) err = ERR_ALLOCALPHA;
        } else if (b->mask) {
            if (!(ownMask = AllocMask(own, s->width, s->height, 1, nullptr, 0))) err = ERR_ALLOCMASK;
        }
        int32_t sx = 0, sy = 0, dx = x, dy = y, cw = b->width, ch = b->height;
        if (dx < 0) sx = -dx, cw += dx, dx = 0;
        if (dy < 0) sy = -dy, ch += dy, dy = 0;
        if (dx + cw > s->width) cw = s->width - dx;
        if (dy + ch > s->height) ch = s->height - dy;
        if (!err && cw > 0 && ch > 0) {
            if (b->alpha) {
                BltBitmap(b->bitmap, sx, sy, own, dx, dy, cw, ch);
                BltAlphaToAlphaClipped(b->alpha, sx, sy, ownAlpha, dx, dy, cw, ch, 0, 0);
            } else if (b->mask) {
                BltBitmap(b->bitmap, sx, sy, own, dx, dy, cw, ch);
                CombineMaskRect(b->mask, sx, sy, ownMask, dx, dy, cw, ch, CX_MASKVANILLACOPY);
            } else {
                BltBitmap(b->bitmap, sx, sy, own, dx, dy, cw, ch);
            }
        }
        if (err) {
            FreeBitmap(own);
            FreeMask(ownMask);
            FreeAlphaChannel(ownAlpha);
            return err;
        }
        bm = own, mask = ownMask, alpha = ownAlpha;
    }
    std::vector<uint8_t> indices;
    int err = 0;
    if (s->palette) {
        try {
            indices.resize(size_t(s->width) * size_t(s->height));
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
    }
    Writer w;
    w.format = s->format;
    w.palette = s->palette;
    w.handle = s->writer;
    w.plugin = s->plugin;
    w.row = s->row;
    if (!err) err = WriteFrame(&w, bm, mask, alpha, s->width, s->height, o.delay, o, int(s->useAlpha), indices);
    FreeBitmap(own);
    FreeMask(ownMask);
    FreeAlphaChannel(ownAlpha);
    return err;
}

extern "C" int CmdFinishAnimStream(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    cxAnimStream *s = nullptr;
    if (int err = FindStream(id, &s)) return err;
    return CloseStream(s);
}
