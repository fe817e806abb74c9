#include "text/library/print_commands.h"

#include <cstring>
#include <string>

#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "engine/runtime/runtime.h"
#include "text/library/render_text.h"
#include "text/library/text_state.h"

namespace {

int CurrentDisplay(cxDisplay **out) {
    *out = GetCurrentDisplay();
    if (!*out) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    return 0;
}

// Print and NPrint: every argument through the script's "tostring",
// joined by single blanks.
int PrintArgs(lua_State *L, bool newline) {
    const int n = lua_gettop(L);
    std::string text;
    try {
        size_t estimate = 2;
        for (int i = 1; i <= n; ++i)
            estimate += (lua_isnil(L, i) ? 3 : lua_type(L, i) == LUA_TSTRING ? lua_strlen(L, i) : 32) + 1;
        text.reserve(estimate);
        for (int i = 1; i <= n; ++i) {
            lua_pushstring(L, "tostring");
            lua_gettable(L, LUA_GLOBALSINDEX);
            lua_pushvalue(L, i);
            lua_call(L, 1, 1);
            const char *s = lua_tostring(L, -1);
            if (s) text.append(s, lua_strlen(L, -1));
            lua_pop(L, 1);
            if (i < n) text.push_back(' ');
        }
        if (newline) text.push_back('\n');
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return PrintText(L, text.c_str(), 0, 0);
}

int ToInt(lua_State *L, int index) { return luaL_checkint(L, index); }

} // namespace

extern "C" int PrintText(lua_State *L, const char *text, int tagsOff, int) {
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    cxTextState *s = GetTextState();
    cxTextRecord rec{};
    rec.style = s->style;
    rec.text = const_cast<char *>(text);
    rec.align = CX_ALIGN_LEFT;
    rec.x = CX_ALIGN_CENTER; // the cursor is used
    const cxTextCursor &c = d->textCursor;
    rec.cursorX = c.cursorX;
    rec.cursorY = c.cursorY;
    rec.leftMargin = c.leftMargin;
    rec.rightMargin = c.rightMargin;
    memcpy(rec.tabStops, c.tabStops, sizeof rec.tabStops);
    rec.tabCount = c.tabCount;
    rec.encoding = s->textEncoding;
    if (int err = RenderText(L, &rec, CX_RENDER_PRINT, tagsOff, nullptr, 0, nullptr)) return err;
    d->textCursor.cursorX = rec.cursorX;
    d->textCursor.cursorY = rec.cursorY;
    return 0;
}

extern "C" int CmdPrint(lua_State *L) {
    CheckArgCount(L, 1, 0, 0, 0);
    return PrintArgs(L, false);
}

extern "C" int CmdNPrint(lua_State *L) {
    CheckArgCount(L, 1, 0, 0, 0);
    return PrintArgs(L, true);
}

// Locate(x, y)
extern "C" int CmdLocate(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const int32_t x = ToInt(L, 1), y = ToInt(L, 2);
    if (x == CX_POS_LEFT || x == CX_POS_RIGHT || x == CX_POS_CENTER || y == CX_POS_TOP || y == CX_POS_BOTTOM ||
        y == CX_POS_CENTER)
        return ERR_NOCOORDCST;
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    cxTextCursor &c = d->textCursor;
    c.cursorY = y;
    c.cursorX = x >= c.leftMargin && x <= c.rightMargin ? x : c.leftMargin;
    return 0;
}

// SetMargins(left, right)
extern "C" int CmdSetMargins(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int32_t left = ToInt(L, 1), right = ToInt(L, 2);
    if (left >= right) return ERR_WRONGUSAGE;
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    cxDrawOutput out{};
    const cxDrawOutputHooks *h = GetDrawOutputHooks();
    int32_t width = d->pictureWidth;
    if (h->getOutput && h->getOutput(L, &out) == 0) width = out.target.width;
    if (left < 0) left = 0;
    if (right >= width) right = width - 1;
    if (left >= right) return ERR_WRONGUSAGE; // nothing left between them
    cxTextCursor &c = d->textCursor;
    c.leftMargin = left;
    c.rightMargin = right;
    c.cursorX = left;
    c.cursorY = 0;
    return 0;
}

// AddTab(p1, ...): stops stay ascending; equal stops are kept.
extern "C" int CmdAddTab(lua_State *L) {
    CheckArgCount(L, 1, 0, 0, 0);
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    cxTextCursor &c = d->textCursor;
    for (int i = 1; i <= lua_gettop(L); ++i) {
        const int32_t p = ToInt(L, i);
        if (c.tabCount > 31) return ERR_INTERNAL;
        if (p < 0) return ERR_NEGCOORDS;
        int32_t at = 0;
        while (at < c.tabCount && c.tabStops[at] <= p) ++at;
        memmove(&c.tabStops[at + 1], &c.tabStops[at], sizeof(int32_t) * size_t(c.tabCount - at));
        c.tabStops[at] = p;
        ++c.tabCount;
    }
    return 0;
}

extern "C" int CmdResetTabs(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxDisplay *d = nullptr;
    if (int err = CurrentDisplay(&d)) return err;
    d->textCursor.tabCount = 0;
    return 0;
}

extern "C" int CmdSetFontColor(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    GetTextStyle()->colour = uint32_t(luaL_checkint(L, 1));
    return 0;
}

extern "C" int CmdGetFontColor(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetTextStyle()->colour);
    return 1;
}

// SetFontStyle(style[, colour[, size[, direction]]])
extern "C" int CmdSetFontStyle(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    const uint32_t style = uint32_t(luaL_checkint(L, 1));
    const int n = lua_gettop(L);
    cxTextStyle *s = GetTextStyle();
    if (style & CX_TEXT_NORMAL) {
        s->flags = CX_TEXT_NORMAL;
        return 0;
    }
    if (style == CX_TEXT_SHADOW) {
        if (n == 4) s->shadowDir = luaL_checkint(L, 4);
        if (n >= 3) s->shadowSize = luaL_checkint(L, 3);
        if (n >= 2) s->shadowColour = uint32_t(luaL_checkint(L, 2));
    } else if (style == CX_TEXT_EDGE) {
        // A fourth argument has no meaning for an edge: refused.
        if (n == 4) return ERR_TOOMANYARGS;
        if (n == 3) s->edgeSize = luaL_checkint(L, 3);
        if (n >= 2) s->edgeColour = uint32_t(luaL_checkint(L, 2));
    } else if (n > 1) {
        return ERR_TOOMANYARGS;
    }
    s->flags |= style | CX_TEXT_NORMAL;
    ClampTextEffects(s);
    return 0;
}

extern "C" int CmdGetFontStyle(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxTextStyle *s = GetTextStyle();
    lua_pushnumber(L, s->flags);
    if (!(s->flags & (CX_TEXT_SHADOW | CX_TEXT_EDGE))) return 1;
    lua_newtable(L);
    if (s->flags & CX_TEXT_SHADOW) {
        SetTableUnsigned(L, "shadowcolor", s->shadowColour);
        SetTableNumber(L, "shadowsize", s->shadowSize);
        SetTableNumber(L, "shadowdir", s->shadowDir);
    }
    if (s->flags & CX_TEXT_EDGE) {
        SetTableNumber(L, "bordersize", s->edgeSize);
        SetTableUnsigned(L, "bordercolor", s->edgeColour);
    }
    return 2;
}
