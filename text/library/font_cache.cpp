#include "text/library/font_cache.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "errors/errors.h"
#include "streams/chunk_names.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/runtime.h"
#include "text/fonts/bitmap_font.h"

namespace {

cxFontCacheEntry *g_cache = nullptr;
cxObjectList g_fonts = {CX_OBJ_FONT, ERR_FINDFONT2, nullptr, nullptr};

bool EndsWithFont(const char *name) {
    const size_t n = strlen(name);
    return n >= 5 && strcasecmp(name + n - 5, ".font") == 0;
}

// The name holds a folder part: its file part is not the whole name.
bool HasFolder(const char *name) { return strchr(name, '/') != nullptr; }

cxFontCacheEntry *Lookup(const char *name, int32_t size, uint32_t engine, uint32_t cache, uint32_t usePoints) {
    for (cxFontCacheEntry *e = g_cache; e; e = e->next)
        if (e->size == size && e->engine == engine && e->cache == cache && e->usePoints == usePoints &&
            strcasecmp(e->name, name) == 0)
            return e;
    return nullptr;
}

int OpenOnce(const char *name, int32_t size, uint32_t engine, uint32_t cache, uint32_t usePoints, int linked,
             cxOsFont **out) {
    if (cxFontCacheEntry *hit = Lookup(name, size, engine, cache, usePoints)) {
        SetFontScale(hit->font, 1.0, 1.0);
        *out = hit->font;
        return 0;
    }
    cxOsFont *font = nullptr;
    if (int err = OpenPlatformFont(name, size, int32_t(engine), int(cache), int(usePoints), linked, &font)) return err;
    auto *e = static_cast<cxFontCacheEntry *>(calloc(1, sizeof(cxFontCacheEntry)));
    if (!e) {
        OsCloseFont(font);
        return ERR_MEM;
    }
    strncpy(e->name, name, sizeof e->name - 1);
    e->size = size;
    e->engine = engine;
    e->cache = cache;
    e->usePoints = usePoints;
    e->font = font;
    cxFontCacheEntry **tail = &g_cache;
    while (*tail) tail = &(*tail)->next;
    *tail = e;
    *out = font;
    return 0;
}

} // namespace

extern "C" int OpenFontCached(const char *name, int32_t size, uint32_t engine, uint32_t cache, uint32_t usePoints,
                              int linked, cxOsFont **out) {
    char mapped[1024];
    if (strcmp(name, ":::default_bitmap") == 0) {
        if (usePoints) return ERR_WRONGUSAGE;
        strcpy(mapped, "topaz");
    } else if (strcmp(name, ":::default_truetype") == 0 || strcmp(name, ":::default_sans") == 0) {
        strcpy(mapped, "Bitstream Vera Sans");
        engine = CX_FONTENGINE_INBUILT;
    } else if (strcmp(name, ":::default_serif") == 0) {
        strcpy(mapped, "Bitstream Vera Serif");
        engine = CX_FONTENGINE_INBUILT;
    } else if (strcmp(name, ":::default_mono") == 0) {
        strcpy(mapped, "Bitstream Vera Sans Mono");
        engine = CX_FONTENGINE_INBUILT;
    } else {
        const bool chunk = strncmp(name, ":::chunk", 8) == 0;
        if (!chunk && engine != CX_FONTENGINE_INBUILT && HasFolder(name)) return ERR_FONTPATH;
        strncpy(mapped, name, sizeof mapped - 1);
        mapped[sizeof mapped - 1] = '\0';
        if (!chunk && EndsWithFont(mapped)) mapped[strlen(mapped) - 5] = '\0';
    }
    const int err = OpenOnce(mapped, size, engine, cache, usePoints, linked, out);
    if (err && engine == CX_FONTENGINE_INBUILT) return OpenOnce(mapped, size, CX_FONTENGINE_NATIVE, cache, usePoints, linked, out);
    return err;
}

extern "C" int ReadFontArgs(lua_State *L, int index, cxOsFont **out) {
    int linked = 0;
    const char *name = GetFileNameArg(L, index, 1, &linked);
    const double size = luaL_checknumber(L, index + 1);
    int engine = 0, cache = 1, usePoints = 0;
    if (!lua_isnone(L, index + 2)) {
        luaL_checktable(L, index + 2);
        GetTableInt(L, index + 2, "engine", &engine, nullptr);
        GetTableInt(L, index + 2, "cache", &cache, nullptr);
        GetTableInt(L, index + 2, "usepoints", &usePoints, nullptr);
    }
    if (!(size >= -2147483648.0 && size <= 2147483647.0)) return ERR_WRONGUSAGE;
    if (size < 1) {
        // A font of no size draws nothing: refused as a font that cannot
        // be opened at that size.
        char detail[CX_ERROR_DETAIL_MAX + 1];
        FillMessagePlaceholders(GetMessageText(CX_MSG_OPEN_FONT), name, int32_t(size), detail, sizeof detail);
        SetErrorDetail(detail);
        return ERR_OPENFONT;
    }
    if (strncmp(name, ":::", 3) == 0 && !IsChunkName(name)) {
        // A built-in face's name is no path: shown whole.
        const std::string line = std::string("Opening font ") + name;
        PrintStatusMessage(line.c_str(), nullptr, 1);
    } else {
        PrintStatusMessage("Opening font %s", name, 1);
    }
    // Before the first display exists the pixel format is not known yet:
    // colour glyphs wait as pixels until RealizeFontBitmaps.
    int preloading = 0;
    GetKernelTags(L, CX_KTAG_PRELOADING, &preloading, CX_KTAG_END);
    SetDeferFontBitmaps(preloading != 0);
    const int err =
        OpenFontCached(name, int32_t(size), uint32_t(engine), uint32_t(cache), uint32_t(usePoints), linked, out);
    SetDeferFontBitmaps(0);
    return err;
}

extern "C" cxObjectList *GetFontObjectList(void) { return &g_fonts; }

extern "C" int FindFontObject(cxObjectID id, cxFontObject **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_fonts, id, &h)) return err;
    *out = reinterpret_cast<cxFontObject *>(h);
    return 0;
}

extern "C" int FreeFontObject(lua_State *L, cxObjectID id) {
    cxFontObject *f = nullptr;
    if (int err = FindFontObject(id, &f)) return err;
    RemoveObject(&g_fonts, &f->header);
    FreeObjectDataList(L, f->header.data);
    free(f);
    return 0;
}

extern "C" int AddFontObject(cxObjectID id, int automatic, cxOsFont *font, cxFontObject **out) {
    auto *f = static_cast<cxFontObject *>(calloc(1, sizeof(cxFontObject)));
    if (!f) return ERR_MEM;
    InitObjectHeader(&f->header, CX_OBJ_FONT, id.number, automatic);
    f->font = font;
    AddObject(&g_fonts, &f->header);
    if (out) *out = f;
    return 0;
}

extern "C" void FlushCachedGlyphs(cxOsFont *font) {
    for (cxFontCacheEntry *e = g_cache; e; e = e->next)
        if (!font || e->font == font) FlushFontGlyphCache(e->font);
}

extern "C" cxOsFont *FindFontByVectorHandle(void *handle) {
    for (cxFontCacheEntry *e = g_cache; e; e = e->next)
        for (cxFontVectorHandle *v = e->font->vectorFonts; v; v = v->next)
            if (v->handle == handle) return e->font;
    return nullptr;
}

extern "C" int RealizeFontBitmaps(void) {
    // Every opened font is in the cache, also those only set with SetFont
    // and never made an object: none may keep its glyphs unbuilt.
    for (cxFontCacheEntry *e = g_cache; e; e = e->next)
        if (int err = BuildPendingFontBitmap(e->font)) return err;
    return 0;
}

extern "C" void FreeFontCache(lua_State *L) {
    while (g_fonts.first) {
        auto *f = reinterpret_cast<cxFontObject *>(g_fonts.first);
        RemoveObject(&g_fonts, &f->header);
        FreeObjectDataList(L, f->header.data);
        free(f);
    }
    while (g_cache) {
        cxFontCacheEntry *e = g_cache;
        g_cache = e->next;
        OsCloseFont(e->font);
        free(e);
    }
}
