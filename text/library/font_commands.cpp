// The font commands: SetFont, OpenFont, UseFont, CloseFont, FreeGlyphCache,
// GetKerningPair, AddFontPath and GetAvailableFonts.
#include "text/library/font_commands.h"

#include <cstring>
#include <strings.h>

#include "engine/runtime/runtime.h"
#include "streams/path_lock.h"
#include "text/fonts/font_catalogue.h"
#include "text/library/font_cache.h"
#include "text/library/text_state.h"

namespace {

void UseFontFor(cxOsFont *font) {
    cxTextStyle *s = GetTextStyle();
    s->font = font;
    s->flags = CX_TEXT_NORMAL;
}

} // namespace

// SetFont(name, size[, options])
extern "C" int CmdSetFont(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxOsFont *font = nullptr;
    if (int err = ReadFontArgs(L, 1, &font)) return err;
    PrintDoneMessage();
    UseFontFor(font);
    return 0;
}

// OpenFont(id, name, size[, options])
extern "C" int CmdOpenFont(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    cxOsFont *font = nullptr;
    if (int err = ReadFontArgs(L, 2, &font)) return err;
    if (!id.wasNil) {
        cxObjectID old{id.value, nullptr};
        if (LookupObject(GetFontObjectList(), old)) FreeFontObject(L, old);
    }
    cxFontObject *f = nullptr;
    if (int err = AddFontObject(cxObjectID{id.value, nullptr}, id.wasNil, font, &f)) return err;
    PrintDoneMessage();
    if (id.wasNil) return PushObjectID(L, GetObjectID(&f->header));
    return 0;
}

extern "C" int CmdUseFont(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxFontObject *f = nullptr;
    if (int err = FindFontObject(id, &f)) return err;
    UseFontFor(f->font);
    return 0;
}

extern "C" int CmdCloseFont(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreeFontObject(L, id);
}

// FreeGlyphCache(selector[, id]): 0 flushes every font, else the font of
// the object named by id.
extern "C" int CmdFreeGlyphCache(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (luaL_checkint(L, 1) == 0) {
        FlushCachedGlyphs(nullptr);
        return 0;
    }
    cxObjectID id;
    GetObjectIDArg(&id, L, 2);
    cxFontObject *f = nullptr;
    if (int err = FindFontObject(id, &f)) return err;
    FlushCachedGlyphs(f->font);
    return 0;
}

// GetKerningPair(first, second[, encoding])
extern "C" int CmdGetKerningPair(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    size_t n1 = 0, n2 = 0;
    const char *a = luaL_checklstring(L, 1, &n1);
    const char *b = luaL_checklstring(L, 2, &n2);
    const int encoding = lua_isnoneornil(L, 3) ? GetTextState()->textEncoding : luaL_checkint(L, 3);
    if (encoding < 0 || encoding > 1) return ERR_WRONGUSAGE;
    if (!n1 || !n2) {
        lua_pushnumber(L, 0);
        return 1;
    }
    char pair[256];
    const size_t first = n1 < 255 ? n1 : 255;
    const size_t second = n2 < 255 - first ? n2 : 255 - first;
    memcpy(pair, a, first);
    memcpy(pair + first, b, second);
    lua_pushnumber(L, GetFontKerning(GetCurrentFont(), pair, first + second, encoding));
    return 1;
}

// AddFontPath(folder)
extern "C" int CmdAddFontPath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *folder = luaL_checkstring(L, 1);
    cxLock *lock = LockPath(folder, CX_LOCK_SHARED, nullptr);
    if (!lock) {
        SetErrorDetail(folder);
        return ERR_LOCK2;
    }
    char full[1025];
    GetLockPath(lock, full, sizeof full);
    UnlockPath(lock);
    for (size_t i = 0; i < GetFontPathCount(); ++i)
        if (strcasecmp(GetFontPath(i), full) == 0 || strcasecmp(GetFontPath(i), folder) == 0) return 0;
    if (int err = AddFontPath(full)) return err;
    FreeAvailableFontList();
    return 0;
}

// GetAvailableFonts() -> a table from 0 of {name, family, bitmap, weight,
// slant, sizes}.
extern "C" int CmdGetAvailableFonts(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    FreeAvailableFontList();
    BuildAvailableFontList(0);
    lua_newtable(L);
    int index = 0;
    for (const cxAvailableFont *f = GetAvailableFontList(); f; f = f->next) {
        lua_pushnumber(L, index++);
        lua_newtable(L);
        SetTableString(L, "name", f->fullName);
        SetTableString(L, "family", f->family);
        SetTableNumber(L, "bitmap", f->bitmap ? 1 : 0);
        SetTableNumber(L, "weight", f->weight);
        SetTableNumber(L, "slant", f->slant);
        lua_pushstring(L, "sizes");
        lua_newtable(L);
        for (uint32_t i = 0; i < f->sizeCount; ++i) {
            lua_pushnumber(L, i);
            lua_pushnumber(L, f->sizes[i]);
            lua_settable(L, -3);
        }
        lua_settable(L, -3);
        lua_settable(L, -3);
    }
    FreeAvailableFontList();
    return 1;
}
