// The frame builder: frames cut from a brush or a still image, read from an
// anim file, copied from an anim, a text object or sprites, made into an
// anim, a disk anim or (through the sprite hooks) a sprite.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "images/core/argb_bitmaps.h"
#include "media/anim/anim_internal.h"
#include "text/library/text_objects.h"

namespace {

// The frames under construction; frees what it holds unless released.
struct Frames {
    std::vector<cxBitmap *> bitmaps, masks, alphas;
    std::vector<uint32_t *> raw;
    std::vector<int32_t> delays;
    cxAnimReader *reader = nullptr;  // frees raw frames it made
    int32_t width = 0, height = 0;
    int32_t transparentColour = -1;

    bool Resize(int32_t n) {
        try {
            bitmaps.assign(size_t(n), nullptr);
            masks.assign(size_t(n), nullptr);
            alphas.assign(size_t(n), nullptr);
            raw.assign(size_t(n), nullptr);
            delays.assign(size_t(n), CX_ANIM_DELAY_DEFAULT);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }
    ~Frames() {
        for (size_t i = 0; i < bitmaps.size(); ++i) {
            FreeBitmap(bitmaps[i]);
            FreeMask(masks[i]);
            FreeAlphaChannel(alphas[i]);
            if (raw[i]) {
                if (reader) FreeAnimReaderFrame(reader, raw[i]);
                else free(raw[i]);
            }
        }
    }
    // The arrays as malloc'd blocks for the record, which owns them from
    // then on; null entries when a kind is absent throughout.
    template <class T>
    static T **Take(std::vector<T *> &v, bool keep) {
        if (!keep) return nullptr;
        auto **out = static_cast<T **>(calloc(v.size() ? v.size() : 1, sizeof(T *)));
        if (out) memcpy(out, v.data(), v.size() * sizeof(T *));
        return out;
    }
};

bool Any(const std::vector<uint32_t *> &v) {
    for (auto *p : v)
        if (p) return true;
    return false;
}

// Source kind 3: a brush or a still image, whole or cut into a grid.
int FromImage(lua_State *L, cxFrameBuildRequest *r, Frames &f) {
    cxBitmap *bitmap = r->bitmap, *mask = r->mask, *alpha = r->alpha;
    int32_t sw = r->sourceWidth, sh = r->sourceHeight;
    int32_t key = r->transparentColour;
    const bool fromImage = r->image != nullptr;
    if (!fromImage && !bitmap) {
        cxBrush *b = nullptr;
        if (int err = FindBrush(L, r->source, &b, CX_FIND_NOVECTOR)) return err;
        if (!b->bitmap) {
            if (int err = RealizeBrush(b)) return err;
        }
        bitmap = b->bitmap, mask = b->mask, alpha = b->alpha;
        sw = b->width, sh = b->height;
        if (b->mask) key = b->transparentColour;
    }
    int32_t w = sw, h = sh, frames = 1, perRow = 1, x = 0, y = 0;
    if (r->cutMode >= 4) {
        perRow = r->framesPerRow < 1 ? r->frames : r->framesPerRow;
        if (r->cutMode != CX_FRAMES_CUT || r->frameWidth < 1 || r->frames <= 0 || r->frameHeight <= 0 || perRow < 1)
            return ERR_WRONGUSAGE;
        w = r->frameWidth, h = r->frameHeight, frames = r->frames, x = r->x, y = r->y;
        const int64_t rows = frames / perRow + (frames % perRow ? 1 : 0);
        if (x < 0 || y < 0) return ERR_NEGCOORDS;
        if (int64_t(x) + int64_t(perRow) * w > sw || int64_t(y) + rows * h > sh) return ERR_BRUSHSIZE;
    }
    if (!f.Resize(frames)) return ERR_MEM;
    f.width = w, f.height = h;
    f.transparentColour = fromImage && r->imageMaskFromAlpha ? CX_TRANSPARENT_BY_MASK : key;
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t fx = x + (i % perRow) * w, fy = y + (i / perRow) * h;
        if (fromImage) {
            const uint32_t *px = GetImageHandlePixels(r->image) + size_t(fy) * size_t(r->imageRowLength) + size_t(fx);
            int err = MakeBitmapFromARGB(px, r->imageMaskFromAlpha ? -1 : key, w, h, r->imageRowLength, &f.bitmaps[i],
                                         &f.masks[i]);
            if (!err && r->imageMaskFromAlpha) {
                // The file's own transparency: clear where alpha is 0.
                if (!(f.masks[i] = AllocMask(f.bitmaps[i], w, h, 0, nullptr, 0))) err = ERR_ALLOCMASK;
                cxOsBitmapLock l;
                if (!err && LockBitmap(f.masks[i], 0, &l)) {
                    for (int32_t yy = 0; yy < h; ++yy) {
                        uint8_t *row = l.pixels + size_t(yy) * l.rowLength;
                        const uint32_t *in = px + size_t(yy) * size_t(r->imageRowLength);
                        for (int32_t xx = 0; xx < w; ++xx)
                            if (in[xx] >> 24) row[xx >> 3] |= uint8_t(0x80 >> (xx & 7));
                    }
                }
                UnlockBitmap(&l);
            }
            if (!err && r->loadAlpha && r->imageHasAlpha &&
                !(f.alphas[i] = MakeAlphaFromARGB(px, w, h, r->imageRowLength)))
                err = ERR_ALLOCALPHA;
            if (err) return err;
        } else {
            if (int err = ConvertBitmapFx(bitmap, mask, alpha, fx, fy, w, h, &f.bitmaps[i], mask ? &f.masks[i] : nullptr,
                                          alpha ? &f.alphas[i] : nullptr))
                return err;
        }
    }
    return 0;
}

// Source kind 4 with a reader: every frame decoded now (or kept raw until
// a display exists).
int FromReader(cxFrameBuildRequest *r, Frames &f, int32_t frames) {
    auto *reader = static_cast<cxAnimReader *>(r->reader);
    if (!f.Resize(frames)) return ERR_MEM;
    f.reader = reader;
    f.width = r->frameWidth, f.height = r->frameHeight;
    f.transparentColour = r->transparentColour;
    for (int32_t i = 0; i < frames; ++i) {
        int transparent = 0;
        uint32_t *px = ReadAnimReaderFrame(reader, i, int(r->loadAlpha), &transparent);
        if (!px) return ERR_LOADFRAME;
        f.raw[i] = px;
        if (r->loadTransparency && !transparent) {
            SetErrorDetail(r->file);
            return ERR_NOTRANSPARENCY;
        }
        f.delays[i] = GetAnimReaderDelay(reader, i);
        if ((r->loadAlpha || transparent) && !(f.alphas[i] = MakeAlphaFromARGB(px, f.width, f.height, f.width)))
            return ERR_ALLOCALPHA;
        if (r->deferBitmaps) continue;
        if (int err = MakeBitmapFromARGB(px, r->transparentColour, f.width, f.height, f.width, &f.bitmaps[i],
                                         &f.masks[i]))
            return err;
        FreeAnimReaderFrame(reader, px);
        f.raw[i] = nullptr;
    }
    return 0;
}

// Source kind 4 without a reader: an anim object's frames, copied.
int FromAnim(lua_State *L, cxFrameBuildRequest *r, Frames &f, cxObjectData **data) {
    if (lua_gettop(L) > 3) return ERR_TOOMANYARGS;
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, r->source, &a, 0)) return err;
    if (!f.Resize(a->frames)) return ERR_MEM;
    f.width = a->width, f.height = a->height;
    f.transparentColour = a->transparentColour;
    for (int32_t i = 0; i < a->frames; ++i) {
        if (int err = GetAnimFrameBitmaps(a, i, a->diskBased ? 0 : 1, 0, &f.bitmaps[i], &f.masks[i], &f.alphas[i]))
            return err;
        f.delays[i] = GetAnimFrameDelay(a, i);
    }
    return CopyObjectDataList(L, a->header.data, data);
}

// Source kind 8: a text object's image as one frame.
int FromText(lua_State *L, cxFrameBuildRequest *r, Frames &f) {
    if (lua_gettop(L) > 3) return ERR_TOOMANYARGS;
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, r->source, &t, 0)) return err;
    if (!t->bitmap) return ERR_BITMAP;
    if (!f.Resize(1)) return ERR_MEM;
    f.width = t->width, f.height = t->height;
    return ConvertBitmapFx(t->bitmap, t->mask, t->alpha, 0, 0, t->width, t->height, &f.bitmaps[0],
                           t->mask ? &f.masks[0] : nullptr, t->alpha ? &f.alphas[0] : nullptr);
}

// Source kind 32: plain sprites of one size, given as arguments.
int FromSprites(lua_State *L, cxFrameBuildRequest *r, Frames &f) {
    const cxSpriteFrameHooks *hooks = GetSpriteFrameHooks();
    if (!hooks->getSprite) return ERR_WRONGUSAGE;
    const int first = r->firstArgument, last = lua_gettop(L);
    if (first < 1 || last < first) return ERR_MISSINGPARAMTR;
    int32_t total = 0, w = 0, h = 0;
    struct Source {
        int32_t frames;
        cxBitmap **b, **m, **a;
    };
    std::vector<Source> sources;
    for (int i = first; i <= last; ++i) {
        cxObjectID id{};
        GetObjectIDArg(&id, L, i);
        Source s{};
        int32_t sw = 0, sh = 0;
        int link = 0;
        if (int err = hooks->getSprite(L, id, &s.frames, &sw, &sh, &s.b, &s.m, &s.a, &link)) return err;
        if (link) return ERR_SPRITELINK;
        if (i == first) w = sw, h = sh;
        else if (sw != w || sh != h) return ERR_WRONGSPRITESIZE;
        if (int64_t(total) + s.frames > 1000000) return ERR_MEM;
        total += s.frames;
        sources.push_back(s);
    }
    if (!f.Resize(total)) return ERR_MEM;
    f.width = w, f.height = h;
    int32_t at = 0;
    for (const Source &s : sources)
        for (int32_t i = 0; i < s.frames; ++i, ++at)
            if (int err = ConvertBitmapFx(s.b[i], s.m ? s.m[i] : nullptr, s.a ? s.a[i] : nullptr, 0, 0, w, h,
                                          &f.bitmaps[at], (s.m && s.m[i]) ? &f.masks[at] : nullptr,
                                          (s.a && s.a[i]) ? &f.alphas[at] : nullptr))
                return err;
    return 0;
}

}  // namespace

extern "C" int BuildFrames(lua_State *L, cxFrameBuildRequest *r) {
    r->result = nullptr;
    const bool disk = r->diskBased || r->targetKind == CX_FRAMES_TO_DISKANIM;
    if (disk) {
        // Nothing is decoded: the record keeps the reader and reads frames
        // when they are shown.
        if (r->sourceKind != CX_FRAMES_FROM_ANIM || !r->reader) return ERR_WRONGUSAGE;
        char *file = strdup(r->file ? r->file : "");
        if (!file) return ERR_MEM;
        cxAnim *a = nullptr;
        if (int err = AddAnimRecord(r->newId, r->frameWidth, r->frameHeight, nullptr, nullptr, nullptr, nullptr,
                                    r->frames, r->transparentColour, r->loadAlpha, 1, r->deinterlace, &a)) {
            free(file);
            return err;
        }
        a->reader = static_cast<cxAnimReader *>(r->reader);
        a->file = file;
        a->loader = uintptr_t(r->loader);
        memcpy(a->adapters, r->adapters, sizeof a->adapters);
        a->adapters[sizeof a->adapters - 1] = 0;
        a->loadTransparency = r->loadTransparency;
        r->reader = nullptr;  // the record's now
        r->result = a;
        return 0;
    }
    Frames f;
    cxObjectData *data = nullptr;
    int err = 0;
    switch (r->sourceKind) {
    case CX_FRAMES_FROM_IMAGE: err = FromImage(L, r, f); break;
    case CX_FRAMES_FROM_ANIM:
        err = r->reader ? FromReader(r, f, r->frames) : FromAnim(L, r, f, &data);
        break;
    case CX_FRAMES_FROM_TEXT: err = FromText(L, r, f); break;
    case CX_FRAMES_FROM_SPRITES: err = FromSprites(L, r, f); break;
    default: err = ERR_WRONGUSAGE; break;
    }
    if (err) {
        FreeObjectDataList(L, data);
        return err;
    }
    const int32_t n = int32_t(f.bitmaps.size());
    if (r->targetKind == CX_FRAMES_TO_SPRITE) {
        const cxSpriteFrameHooks *hooks = GetSpriteFrameHooks();
        FreeObjectDataList(L, data);
        if (!hooks->addSprite) return ERR_WRONGUSAGE;
        // The sprite keeps raw frames as malloc'd words and the reader goes:
        // frames a plug-in decoded are copied out of its memory first.
        if (f.reader && GetAnimReaderType(f.reader) == CX_ANIMREADER_PLUGIN && Any(f.raw)) {
            const size_t bytes = size_t(f.width) * size_t(f.height) * sizeof(uint32_t);
            std::vector<uint32_t *> own(f.raw.size(), nullptr);
            for (size_t i = 0; i < f.raw.size(); ++i) {
                if (!f.raw[i]) continue;
                if (!(own[i] = static_cast<uint32_t *>(malloc(bytes ? bytes : 1)))) {
                    for (uint32_t *p : own) free(p);
                    return ERR_MEM;
                }
                memcpy(own[i], f.raw[i], bytes);
            }
            for (uint32_t *p : f.raw) FreeAnimReaderFrame(f.reader, p);
            f.raw.swap(own);
            f.reader = nullptr;
        }
        if (int e = hooks->addSprite(L, r->newId, n, f.width, f.height, f.bitmaps.data(), f.masks.data(),
                                     f.alphas.data(), f.raw.data(), f.transparentColour))
            return e;
        for (int32_t i = 0; i < n; ++i) f.bitmaps[i] = f.masks[i] = f.alphas[i] = nullptr, f.raw[i] = nullptr;
        return 0;
    }
    if (r->targetKind != CX_FRAMES_TO_ANIM) {
        FreeObjectDataList(L, data);
        return ERR_WRONGUSAGE;
    }
    const bool deferred = Any(f.raw);
    cxBitmap **bitmaps = Frames::Take(f.bitmaps, true);
    cxBitmap **masks = Frames::Take(f.masks, true);
    cxBitmap **alphas = Frames::Take(f.alphas, true);
    uint32_t **raw = Frames::Take(f.raw, deferred);
    cxAnim *a = nullptr;
    if (!bitmaps || !masks || !alphas || (deferred && !raw)) err = ERR_MEM;
    if (!err) err = AddAnimRecord(r->newId, f.width, f.height, raw, bitmaps, masks, alphas, n, f.transparentColour,
                                  r->loadAlpha, 0, r->deinterlace, &a);
    if (err) {
        free(bitmaps), free(masks), free(alphas), free(raw);
        FreeObjectDataList(L, data);
        return err;
    }
    memcpy(a->delays, f.delays.data(), size_t(n) * sizeof(int32_t));
    a->header.data = data;
    if (deferred) {
        // The reader frees the raw frames; it stays until they are gone.
        a->reader = static_cast<cxAnimReader *>(r->reader);
        r->reader = nullptr;
        a->loadTransparency = r->loadTransparency;
    }
    for (int32_t i = 0; i < n; ++i) f.bitmaps[i] = f.masks[i] = f.alphas[i] = nullptr, f.raw[i] = nullptr;
    r->result = a;
    return 0;
}
