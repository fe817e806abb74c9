#include "text/library/text_library.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "text/fonts/font_catalogue.h"
#include "text/library/font_cache.h"
#include "text/library/font_commands.h"
#include "text/library/line_input.h"
#include "text/library/print_commands.h"
#include "text/library/render_text.h"
#include "text/library/text_objects.h"
#include "text/library/text_options.h"
#include "text/library/text_state.h"

namespace {

// "wordwraptable" entries, kept from first use to the clean-up.
std::vector<int32_t> g_wrapTable;
constexpr int32_t kWrapTableSize = 32768;

int Encoding(lua_State *L, int index) {
    return lua_isnoneornil(L, index) ? GetTextState()->textEncoding : luaL_checkint(L, index);
}

// TextOut(x, y, text[, options]) or TextOut(x, y, text[, align[, wordwrap]])
int CmdTextOut(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxTextDrawOptions opts;
    InitTextDrawOptions(&opts);
    const bool table = lua_gettop(L) == 4 && lua_istable(L, 4);
    if (table) {
        if (int err = ReadTextDisplayOptions(L, 4, &opts)) return err;
    }
    cxTextState *s = GetTextState();
    cxTextRecord rec{};
    rec.style = s->style;
    rec.align = CX_ALIGN_LEFT;
    rec.encoding = s->textEncoding;
    int wrap = 0;
    if (table) {
        int colour = 0, found = 0;
        GetTableInt(L, 4, "align", &rec.align, nullptr);
        GetTableInt(L, 4, "wordwrap", &wrap, nullptr);
        GetTableInt(L, 4, "encoding", &rec.encoding, nullptr);
        GetTableInt(L, 4, "color", &colour, &found);
        if (found) rec.style.colour = uint32_t(colour);
        lua_pushstring(L, "wordwraptable");
        lua_gettable(L, 4);
        if (lua_istable(L, -1)) {
            const int t = lua_gettop(L);
            try {
                if (g_wrapTable.empty()) g_wrapTable.resize(kWrapTableSize);
            } catch (...) {
                return ERR_MEM;
            }
            int32_t n = 0;
            for (;; ++n) {
                lua_rawgeti(L, t, n);
                if (lua_isnil(L, -1)) {
                    lua_pop(L, 1);
                    break;
                }
                if (n + 1 >= kWrapTableSize - 1) return ERR_INTERNAL; // 32,767 entries or more
                g_wrapTable[size_t(n)] = int32_t(luaL_checkfieldnumber(L, -1, "wordwraptable"));
                lua_pop(L, 1);
            }
            rec.lineBreaks = g_wrapTable.data();
            rec.lineBreakCount = n;
        }
        lua_pop(L, 1);
    } else {
        if (!lua_isnoneornil(L, 4)) rec.align = luaL_checkint(L, 4);
        if (!lua_isnoneornil(L, 5)) wrap = luaL_checkint(L, 5);
    }
    if (wrap < 0 || rec.encoding < 0 || rec.encoding > 1) return ERR_WRONGUSAGE;
    rec.rightMargin = wrap;
    if (int err = GetCoordinateArg(L, 1, &rec.x)) return err;
    if (int err = GetCoordinateArg(L, 2, &rec.y)) return err;
    size_t n = 0;
    const char *text = luaL_checklstring(L, 3, &n);
    if (strlen(text) != n) return ERR_WRONGUSAGE;
    rec.text = const_cast<char *>(text);
    return RenderText(L, &rec, CX_RENDER_DRAW, 0, &opts, 0, nullptr);
}

int MeasureArg(lua_State *L, cxTextRunExtent *e, bool *empty) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n = 0;
    const char *text = luaL_checklstring(L, 1, &n);
    const int encoding = Encoding(L, 2);
    if (encoding < 0 || encoding > 1) return ERR_WRONGUSAGE;
    *e = cxTextRunExtent{};
    *empty = n == 0;
    if (!n) return 0;
    // Measured as TextOut would draw it: invalid UTF-8 is refused alike.
    if (encoding == 1 && !ValidateUtf8(text, n, nullptr)) return ERR_INVALIDUTF8;
    cxTextStyle style = GetTextState()->style;
    style.font = GetCurrentFont();
    return MeasureTextRun(text, n, encoding, e, &style);
}

// TextExtent(text[, encoding]) -> {minx, maxx, miny, maxy, width, height}
int CmdTextExtent(lua_State *L) {
    cxTextRunExtent e;
    bool empty;
    if (int err = MeasureArg(L, &e, &empty)) return err;
    lua_newtable(L);
    SetTableNumber(L, "minx", empty ? 0 : e.font.minX + e.left);
    SetTableNumber(L, "maxx", empty ? 0 : e.font.maxX + e.right);
    SetTableNumber(L, "miny", empty ? 0 : e.font.minY + e.top);
    SetTableNumber(L, "maxy", empty ? 0 : e.font.maxY + e.bottom);
    SetTableNumber(L, "width", empty ? 0 : e.font.advance);
    SetTableNumber(L, "height", empty ? 0 : e.font.height);
    return 1;
}

int CmdTextWidth(lua_State *L) {
    cxTextRunExtent e;
    bool empty;
    if (int err = MeasureArg(L, &e, &empty)) return err;
    lua_pushnumber(L, empty ? 0 : e.font.advance);
    return 1;
}

int CmdTextHeight(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    lua_pushnumber(L, GetCurrentFont() ? GetCurrentFont()->height : 0);
    return 1;
}

// SetDefaultEncoding(text[, string])
int CmdSetDefaultEncoding(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const int text = luaL_checkint(L, 1);
    const int str = lua_isnoneornil(L, 2) ? -1 : luaL_checkint(L, 2);
    if (text < 0 || text > 1) return ERR_WRONGUSAGE;
    GetTextState()->textEncoding = text;
    if (str == -1) return 0;
    if (str < 0 || str > 1) return ERR_WRONGUSAGE;
    GetTextState()->stringEncoding = str;
    SetStringDefaultEncoding(str);
    return 0;
}

int CmdGetDefaultEncoding(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetTextState()->textEncoding);
    lua_pushnumber(L, GetTextState()->stringEncoding);
    return 2;
}

const luaL_reg kCommands[] = {
    {"SetFont", CmdSetFont},
    {"SetFontColor", CmdSetFontColor},
    {"TextHeight", CmdTextHeight},
    {"TextWidth", CmdTextWidth},
    {"ResetTabs", CmdResetTabs},
    {"AddTab", CmdAddTab},
    {"Locate", CmdLocate},
    {"SetMargins", CmdSetMargins},
    {"SetFontStyle", CmdSetFontStyle},
    {"Print", CmdPrint},
    {"NPrint", CmdNPrint},
    {"TextOut", CmdTextOut},
    {"CreateTextObject", CmdCreateTextObject},
    {"DisplayTextObject", CmdDisplayTextObject},
    {"FreeTextObject", CmdFreeTextObject},
    {"InKeyStr", CmdInKeyStr},
    {"TextExtent", CmdTextExtent},
    {"ScaleTextObject", CmdScaleTextObject},
    {"CopyTextObject", CmdCopyTextObject},
    {"RotateTextObject", CmdRotateTextObject},
    {"OpenFont", CmdOpenFont},
    {"CloseFont", CmdCloseFont},
    {"UseFont", CmdUseFont},
    {"GetAvailableFonts", CmdGetAvailableFonts},
    {"FreeGlyphCache", CmdFreeGlyphCache},
    {"SetDefaultEncoding", CmdSetDefaultEncoding},
    {"AddFontPath", CmdAddFontPath},
    {"GetKerningPair", CmdGetKerningPair},
    {"GetDefaultEncoding", CmdGetDefaultEncoding},
    {"GetFontColor", CmdGetFontColor},
    {"GetFontStyle", CmdGetFontStyle},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"NORMAL", nullptr, CX_TEXT_NORMAL},
    {"BOLD", nullptr, CX_TEXT_BOLD},
    {"ITALIC", nullptr, CX_TEXT_ITALIC},
    {"UNDERLINED", nullptr, CX_TEXT_UNDERLINED},
    {"ANTIALIAS", nullptr, CX_TEXT_ANTIALIAS},
    {"SHADOW", nullptr, CX_TEXT_SHADOW},
    {"EDGE", nullptr, CX_TEXT_EDGE},
    {"SHDWNORTH", nullptr, 0},
    {"SHDWNORTHEAST", nullptr, 1},
    {"SHDWEAST", nullptr, 2},
    {"SHDWSOUTHEAST", nullptr, 3},
    {"SHDWSOUTH", nullptr, 4},
    {"SHDWSOUTHWEST", nullptr, 5},
    {"SHDWWEST", nullptr, 6},
    {"SHDWNORTHWEST", nullptr, 7},
    {"JUSTIFIED", nullptr, CX_ALIGN_JUSTIFIED},
    {"BITMAP_DEFAULT", ":::default_bitmap", 0},
    {"TRUETYPE_DEFAULT", ":::default_truetype", 0},
    {"SANS", ":::default_sans", 0},
    {"SERIF", ":::default_serif", 0},
    {"MONOSPACE", ":::default_mono", 0},
    {"FONTWEIGHT_THIN", nullptr, 0},
    {"FONTWEIGHT_EXTRALIGHT", nullptr, 40},
    {"FONTWEIGHT_ULTRALIGHT", nullptr, 40},
    {"FONTWEIGHT_LIGHT", nullptr, 50},
    {"FONTWEIGHT_BOOK", nullptr, 75},
    {"FONTWEIGHT_NORMAL", nullptr, 80},
    {"FONTWEIGHT_REGULAR", nullptr, 80},
    {"FONTWEIGHT_MEDIUM", nullptr, 100},
    {"FONTWEIGHT_SEMIBOLD", nullptr, 180},
    {"FONTWEIGHT_DEMIBOLD", nullptr, 180},
    {"FONTWEIGHT_BOLD", nullptr, 200},
    {"FONTWEIGHT_EXTRABOLD", nullptr, 205},
    {"FONTWEIGHT_ULTRABOLD", nullptr, 205},
    {"FONTWEIGHT_HEAVY", nullptr, 210},
    {"FONTWEIGHT_BLACK", nullptr, 210},
    {"FONTWEIGHT_EXTRABLACK", nullptr, 215},
    {"FONTWEIGHT_ULTRABLACK", nullptr, 215},
    {"FONTSLANT_ROMAN", nullptr, 0},
    {"FONTSLANT_ITALIC", nullptr, 100},
    {"FONTSLANT_OBLIQUE", nullptr, 110},
    {"ALL", nullptr, 0},
    {"ALPHANUMERICAL", nullptr, 1},
    {"ALPHABETICAL", nullptr, 2},
    {"NUMERICAL", nullptr, 3},
    {"HEXNUMERICAL", nullptr, 4},
    {"FONTENGINE_NATIVE", nullptr, CX_FONTENGINE_NATIVE},
    {"FONTENGINE_INBUILT", nullptr, CX_FONTENGINE_INBUILT},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" int InitTextLibrary(void) {
    cxOsFont *topaz = nullptr;
    if (int err = StartFontEngines(&topaz)) return err;
    cxTextState *s = GetTextState();
    s->style.font = topaz;
    s->textEncoding = s->stringEncoding = GetUtf8Mode() ? 1 : 0;
    // Until a script sets one, the string commands follow the mode.
    SetStringDefaultEncoding(-1);
    return 0;
}

extern "C" int OpenTextLibrary(lua_State *L) {
    ResetTextStyle();
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "text")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(GetTextObjectList());
    RegisterObjectList(GetFontObjectList());
    InstallTextObjectHooks();
    return InitTextLibrary();
}

extern "C" int FreeTextLibrary(lua_State *L) {
    FreeAllTextObjects(L);
    FreeFontCache(L);
    ClearFontPaths();
    std::vector<int32_t>().swap(g_wrapTable);
    cxTextState *s = GetTextState();
    s->style.font = nullptr;
    SetStringDefaultEncoding(-1);
    StopFontEngines();
    return 0;
}
