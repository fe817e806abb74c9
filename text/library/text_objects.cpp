#include "text/library/text_objects.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/geometry_drivers.h"
#include "graphics/geometry/geometry.h"
#include "images/core/text_use.h"
#include "text/library/text_options.h"
#include "text/library/text_state.h"

namespace {

cxObjectList g_objects = {CX_OBJ_TEXTOBJECT, ERR_FINDTEXTOBJECT, nullptr, nullptr};

void FreeImage(cxTextObject *t) {
    FreeBitmap(t->bitmap);
    FreeMask(t->mask);
    FreeAlphaChannel(t->alpha);
    t->bitmap = t->mask = t->alpha = nullptr;
}

void Destroy(lua_State *L, cxTextObject *t) {
    FreeImage(t);
    FreeTextRecord(t->text);
    FreeObjectDataList(L, t->header.data);
    free(t);
}

int32_t *CopyTable(const int32_t *src, int32_t count, bool *failed) {
    if (!src) return nullptr;
    auto *t = static_cast<int32_t *>(malloc(sizeof(int32_t) * size_t(count > 0 ? count : 1)));
    if (!t) {
        *failed = true;
        return nullptr;
    }
    if (count > 0) memcpy(t, src, sizeof(int32_t) * size_t(count));
    return t;
}

void Identity(double m[4]) { m[0] = 1, m[1] = 0, m[2] = 0, m[3] = 1; }

// Renders the object's record again through its matrix; the old image
// stays on error.
int Rerender(lua_State *L, cxTextObject *t) {
    const double sx = t->scaledWidth > 0 && t->baseWidth > 0 ? double(t->scaledWidth) / t->baseWidth : 1.0;
    const double sy = t->scaledHeight > 0 && t->baseHeight > 0 ? double(t->scaledHeight) / t->baseHeight : 1.0;
    MakeTextMatrix(sx, sy, t->angle, t->matrix);
    if (t->angle == 0 && sx == 1 && sy == 1) Identity(t->matrix);
    cxTextDrawOptions o;
    InitTextDrawOptions(&o);
    memcpy(o.matrix, t->matrix, sizeof o.matrix);
    cxTextImage img{};
    if (int err = RenderText(L, t->text, CX_RENDER_OBJECT, 0, &o, CX_RENDER_KEEPTABLES | CX_RENDER_NOLAYER, &img))
        return err;
    FreeImage(t);
    t->bitmap = img.bitmap;
    t->mask = img.mask;
    t->alpha = img.alpha;
    t->width = img.width;
    t->height = img.height;
    const bool turned = std::fmod(t->angle, 360.0) != 0;
    t->offsetX = turned ? 0 : img.offsetX;
    t->offsetY = turned ? 0 : img.offsetY;
    return 0;
}

// A new angle and scaled size, rendered; on failure the object keeps the
// ones it had (its image was not touched).
int Retransform(lua_State *L, cxTextObject *t, double angle, int32_t scaledWidth, int32_t scaledHeight) {
    const double oldAngle = t->angle;
    const int32_t oldWidth = t->scaledWidth, oldHeight = t->scaledHeight;
    double oldMatrix[4];
    memcpy(oldMatrix, t->matrix, sizeof oldMatrix);
    t->angle = angle;
    t->scaledWidth = scaledWidth;
    t->scaledHeight = scaledHeight;
    const int err = Rerender(L, t);
    if (err) {
        t->angle = oldAngle;
        t->scaledWidth = oldWidth;
        t->scaledHeight = oldHeight;
        memcpy(t->matrix, oldMatrix, sizeof oldMatrix);
    }
    return err;
}

int32_t ToInt32(double v) { return v >= -2147483648.0 && v <= 2147483647.0 ? int32_t(v) : 0; }

} // namespace

extern "C" cxObjectList *GetTextObjectList(void) { return &g_objects; }

extern "C" cxTextRecord *CopyTextRecord(const cxTextRecord *rec) {
    auto *c = static_cast<cxTextRecord *>(calloc(1, sizeof(cxTextRecord)));
    if (!c) return nullptr;
    *c = *rec;
    c->text = strdup(rec->text ? rec->text : "");
    bool failed = !c->text;
    c->lineBreaks = CopyTable(rec->lineBreaks, rec->lineBreakCount, &failed);
    c->tabChoices = CopyTable(rec->tabChoices, rec->tabChoiceCount, &failed);
    if (failed) {
        FreeTextRecord(c);
        return nullptr;
    }
    return c;
}

extern "C" void FreeTextRecord(cxTextRecord *rec) {
    if (!rec) return;
    free(rec->text);
    free(rec->lineBreaks);
    free(rec->tabChoices);
    free(rec);
}

extern "C" int FindTextObject(lua_State *, cxObjectID id, cxTextObject **out, uint32_t flags) {
    for (cxObjectHeader *h = g_objects.first; h; h = h->next) {
        auto *t = reinterpret_cast<cxTextObject *>(h);
        if (!ObjectHasID(h, id) || (t->layerCopy && !(flags & CX_FINDTEXT_LAYERCOPIES))) continue;
        if ((flags & CX_FINDTEXT_MODIFY) && t->lock) return ERR_LOCKEDOBJ;
        *out = t;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDTEXTOBJECT;
}

extern "C" int FreeTextObjectByID(lua_State *L, cxObjectID id, int reportMissing) {
    cxTextObject *t = nullptr;
    int err = FindTextObject(L, id, &t, CX_FINDTEXT_MODIFY);
    if (err == ERR_LOCKEDOBJ || (err && reportMissing)) return err;
    if (err) return 0;
    RemoveObject(&g_objects, &t->header);
    Destroy(L, t);
    return 0;
}

extern "C" void FreeAllTextObjects(lua_State *L) {
    while (g_objects.first) {
        auto *t = reinterpret_cast<cxTextObject *>(g_objects.first);
        RemoveObject(&g_objects, &t->header);
        Destroy(L, t);
    }
}

// CreateTextObject(id, text[, options]) or (id, text[, align[, wordwrap[, encoding]]])
extern "C" int CmdCreateTextObject(lua_State *L) {
    CheckArgCount(L, 2, 5, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    size_t n = 0;
    const char *text = luaL_checklstring(L, 2, &n);
    cxTextState *s = GetTextState();
    cxTextRecord rec{};
    rec.style = s->style;
    rec.style.font = GetCurrentFont();
    rec.text = const_cast<char *>(text);
    rec.align = CX_ALIGN_LEFT;
    rec.encoding = s->textEncoding;
    int wrap = 0;
    if (lua_istable(L, 3)) {
        int colour = 0, found = 0;
        GetTableInt(L, 3, "align", &rec.align, nullptr);
        GetTableInt(L, 3, "wordwrap", &wrap, nullptr);
        GetTableInt(L, 3, "encoding", &rec.encoding, nullptr);
        GetTableInt(L, 3, "color", &colour, &found);
        if (found) rec.style.colour = uint32_t(colour);
    } else {
        if (!lua_isnoneornil(L, 3)) rec.align = luaL_checkint(L, 3);
        if (!lua_isnoneornil(L, 4)) wrap = luaL_checkint(L, 4);
        if (!lua_isnoneornil(L, 5)) rec.encoding = luaL_checkint(L, 5);
    }
    if (rec.encoding < 0 || rec.encoding > 1 || wrap < 0 || strlen(text) != n) return ERR_WRONGUSAGE;
    rec.rightMargin = wrap;
    if (!id.wasNil) {
        if (int err = FreeTextObjectByID(L, cxObjectID{id.value, nullptr}, 0)) return err;
    }
    cxTextImage img{};
    if (int err = RenderText(L, &rec, CX_RENDER_OBJECT, 0, nullptr, 0, &img)) return err;
    auto *t = static_cast<cxTextObject *>(calloc(1, sizeof(cxTextObject)));
    cxTextRecord *copy = t ? CopyTextRecord(&rec) : nullptr;
    if (!copy) {
        free(t);
        FreeTextImage(&img);
        return ERR_MEM;
    }
    InitObjectHeader(&t->header, CX_OBJ_TEXTOBJECT, id.value, id.wasNil);
    t->bitmap = img.bitmap;
    t->mask = img.mask;
    t->alpha = img.alpha;
    t->width = t->baseWidth = img.width;
    t->height = t->baseHeight = img.height;
    t->offsetX = img.offsetX;
    t->offsetY = img.offsetY;
    t->text = copy;
    Identity(t->matrix);
    AddObject(&g_objects, &t->header);
    if (id.wasNil) return PushObjectID(L, GetObjectID(&t->header));
    return 0;
}

extern "C" int DrawTextObject(lua_State *L, int32_t x, int32_t y, cxObjectID id, const cxTextDrawOptions *opts,
                              uint32_t) {
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, 0)) return err;
    cxDrawOutput out{};
    const cxDrawOutputHooks *h = GetDrawOutputHooks();
    if (!h->getOutput) return ERR_FINDDISPLAY;
    if (int err = h->getOutput(L, &out)) return err;
    const double ax = opts ? opts->anchorX : 0, ay = opts ? opts->anchorY : 0;
    if (out.layersOn && GetTextLayerHooks()->addTextObjectLayer) {
        // The layer keeps the object's image; special positions are the
        // same as when the image is blitted.
        int32_t lx = IsSpecialX(x) ? ResolveSpecialX(x, t->width, out.target.width, ax) : x + t->offsetX;
        int32_t ly = IsSpecialY(y) ? ResolveSpecialY(y, t->height, out.target.height, ay) : y + t->offsetY;
        lx -= int32_t(ax * t->width);
        ly -= int32_t(ay * t->height);
        return GetTextLayerHooks()->addTextObjectLayer(L, id, lx, ly, opts);
    }
    int32_t ix = IsSpecialX(x) ? ResolveSpecialX(x, t->width, out.target.width, ax) : x + t->offsetX;
    int32_t iy = IsSpecialY(y) ? ResolveSpecialY(y, t->height, out.target.height, ay) : y + t->offsetY;
    ix -= int32_t(ax * t->width);
    iy -= int32_t(ay * t->height);
    cxTextImage img{t->bitmap, t->mask, t->alpha, t->width, t->height, 0, 0};
    return BlitTextImage(L, &img, ix, iy, opts);
}

// DisplayTextObject(id, x, y[, options])
extern "C" int CmdDisplayTextObject(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    const int32_t x = luaL_checkint(L, 2), y = luaL_checkint(L, 3);
    cxTextDrawOptions o;
    InitTextDrawOptions(&o);
    if (lua_istable(L, 4)) {
        if (int err = ReadTextDisplayOptions(L, 4, &o)) return err;
    }
    return DrawTextObject(L, x, y, id, &o, 0);
}

extern "C" int CmdFreeTextObject(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreeTextObjectByID(L, id, 1);
}

// CopyTextObject(source, destination or Nil)
extern "C" int CmdCopyTextObject(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID src;
    GetObjectIDArg(&src, L, 1);
    cxTextObject *s = nullptr;
    if (int err = FindTextObject(L, src, &s, 0)) return err;
    cxOptionalNumber dst;
    GetOptionalNumberArg(&dst, L, 2);
    if (!dst.wasNil && !src.pointer && dst.value == src.number) return ERR_WRONGUSAGE;
    if (!dst.wasNil) {
        if (int err = FreeTextObjectByID(L, cxObjectID{dst.value, nullptr}, 0)) return err;
    }
    auto *t = static_cast<cxTextObject *>(calloc(1, sizeof(cxTextObject)));
    if (!t) return ERR_MEM;
    InitObjectHeader(&t->header, CX_OBJ_TEXTOBJECT, dst.value, dst.wasNil);
    t->text = CopyTextRecord(s->text);
    t->bitmap = AllocBitmap(s->width, s->height, 0, 0);
    bool ok = t->text && t->bitmap && BltBitmap(s->bitmap, 0, 0, t->bitmap, 0, 0, s->width, s->height) == 0;
    if (ok && s->mask) {
        t->mask = AllocMask(t->bitmap, s->width, s->height, 1, nullptr, 0);
        ok = t->mask != nullptr;
        if (ok) CombineMaskRect(s->mask, 0, 0, t->mask, 0, 0, s->width, s->height, 2);
    }
    if (ok && s->alpha) {
        t->alpha = CopyAlphaChannel(s->alpha, s->width, s->height);
        ok = t->alpha != nullptr;
    }
    if (ok && s->header.data) ok = CopyObjectDataList(L, s->header.data, &t->header.data) == 0;
    if (!ok) {
        Destroy(L, t);
        return ERR_MEM;
    }
    t->width = s->width;
    t->height = s->height;
    // A copy is a new object at its present size: scaling and turning
    // start from it.
    t->baseWidth = s->width;
    t->baseHeight = s->height;
    t->offsetX = s->offsetX;
    t->offsetY = s->offsetY;
    t->angle = 0;
    Identity(t->matrix);
    // The copy's record draws what the copy shows: the source's transform
    // is baked in, so it starts without one.
    AddObject(&g_objects, &t->header);
    if (dst.wasNil) return PushObjectID(L, GetObjectID(&t->header));
    return 0;
}

// RotateTextObject(id, angle)
extern "C" int CmdRotateTextObject(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    const double angle = luaL_checknumber(L, 2);
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, CX_FINDTEXT_MODIFY)) return err;
    if (!std::isfinite(angle)) return ERR_WRONGUSAGE;
    return Retransform(L, t, std::fmod(angle, 360.0), t->scaledWidth, t->scaledHeight);
}

// ScaleTextObject(id, width, height): sizes relative to the size at creation.
extern "C" int CmdScaleTextObject(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, CX_FINDTEXT_MODIFY)) return err;
    int32_t w = ToInt32(GetNumberOrPercentArg(L, 2, t->baseWidth, 1, nullptr));
    int32_t h = ToInt32(GetNumberOrPercentArg(L, 3, t->baseHeight, 1, nullptr));
    if (int err = ApplyKeepAspectRatio(t->baseWidth, t->baseHeight, &w, &h)) return err;
    if (w > 16384 || h > 16384) return ERR_WRONGUSAGE;
    return Retransform(L, t, t->angle, w, h);
}

namespace {

// Text objects for the move engine below.
int FindForMoves(lua_State *L, cxObjectID id, void **record, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha,
                 int32_t *width, int32_t *height) {
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, 0)) return err;
    if (!t->bitmap) return ERR_BITMAP;
    *record = t;
    *bitmap = t->bitmap, *mask = t->mask, *alpha = t->alpha;
    *width = t->width, *height = t->height;
    return 0;
}

void LockForMoves(void *record, int delta) {
    // (At exit the object may have gone first.)
    cxObjectHeader *h = g_objects.first;
    while (h && h != record) h = h->next;
    if (!h) return;
    auto *t = static_cast<cxTextObject *>(record);
    if (delta > 0) t->lock++;
    else if (t->lock > 0) t->lock--;
}

}  // namespace

extern "C" void InstallTextObjectHooks(void) {
    const cxTextObjectHooks hooks{FindForMoves, LockForMoves};
    SetTextObjectHooks(&hooks);
}
