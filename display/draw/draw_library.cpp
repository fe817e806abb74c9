#include "display/draw/draw_library.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/draw/display_output.h"
#include "display/draw/draw_output.h"
#include "engine/runtime/runtime.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"

namespace {

cxDrawOutputHooks g_hooks = *GetDisplayDrawOutput();
cxShapePathHook g_pathHook = nullptr;

constexpr int kKindDisplay = 21, kKindBGPic = 1, kKindBrush = 3, kKindMask = 28, kKindAlpha = 30;

uint32_t Colour(lua_State *L, int index) { return uint32_t(luaL_checkint(L, index)); }

// The option table at index, or 0 when the argument is absent or Nil.
int Options(lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) return 0;
    luaL_checktable(L, index);
    return index;
}

int Output(lua_State *L, cxDrawOutput *out) {
    *out = cxDrawOutput{};
    if (!g_hooks.getOutput) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    return g_hooks.getOutput(L, out);
}

int Draw(lua_State *L, const cxShape &shape, uint32_t colour) {
    if (shape.kind != CX_SHAPE_LINE && shape.kind != CX_SHAPE_PLOT) {
        if (int err = CheckTextureFill(L)) return err;
        if (g_pathHook) return g_pathHook(L, &shape, colour);
    }
    cxDrawOutput out;
    if (int err = Output(L, &out)) return err;
    if (out.layersOn && (out.kind == kKindDisplay || out.kind == kKindBGPic) && g_hooks.addShapeLayer)
        return g_hooks.addShapeLayer(L, &out, &shape, GetDrawStyle(), colour);
    cxDrawRect changed;
    if (int err = RenderShape(&out.target, &shape, GetDrawStyle(), colour, &changed)) return err;
    if (changed.width > 0 && g_hooks.drawn) g_hooks.drawn(L, &out, &changed);
    return 0;
}

// Box(x, y, width, height, colour[, {roundlevel, cornera .. cornerd}])
int Box(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_BOX;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    s.width = std::trunc(luaL_checknumber(L, 3));
    s.height = std::trunc(luaL_checknumber(L, 4));
    const uint32_t colour = Colour(L, 5);
    if (int t = Options(L, 6)) {
        // The corner radius, in pixels or as a percentage of half the
        // shorter side.
        double round = 0;
        const double half = std::fmin(std::fabs(s.width), std::fabs(s.height)) / 2;
        GetTableNumberOrPercent(L, t, "roundlevel", half, 0, &round, nullptr, nullptr);
        if (round < 0) return ERR_WRONGUSAGE;
        const char *keys[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
        for (int c = 0; c < 4; ++c) {
            int on = 1;
            GetTableTruth(L, t, keys[c], &on, nullptr);
            s.corners[c] = on ? int32_t(std::fmin(round, 1e6)) : 0;
        }
    }
    return Draw(L, s, colour);
}

// Circle(x, y, radius, colour[, options])
int Circle(lua_State *L) {
    CheckArgCount(L, 4, 5, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_CIRCLE;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    s.width = luaL_checknumber(L, 3);
    const uint32_t colour = Colour(L, 4);
    Options(L, 5);
    if (s.width < 0) return ERR_WRONGUSAGE;
    return Draw(L, s, colour);
}

// Ellipse(x, y, xradius, yradius, colour[, options])
int Ellipse(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_ELLIPSE;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    s.width = luaL_checknumber(L, 3);
    s.height = luaL_checknumber(L, 4);
    const uint32_t colour = Colour(L, 5);
    Options(L, 6);
    if (s.width < 0 || s.height < 0) return ERR_WRONGUSAGE;
    return Draw(L, s, colour);
}

// Arc(x, y, xradius, yradius, start, end, colour[, {clockwise}])
int Arc(lua_State *L) {
    CheckArgCount(L, 7, 8, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_ARC;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    s.width = luaL_checknumber(L, 3);
    s.height = luaL_checknumber(L, 4);
    s.startAngle = luaL_checknumber(L, 5);
    s.endAngle = luaL_checknumber(L, 6);
    const uint32_t colour = Colour(L, 7);
    s.clockwise = 1;
    if (int t = Options(L, 8)) GetTableTruth(L, t, "clockwise", &s.clockwise, nullptr);
    if (s.width < 0 || s.height < 0) return ERR_WRONGUSAGE;
    return Draw(L, s, colour);
}

// Polygon(x, y, vertices, count, colour[, options]): vertices holds x and y
// of each vertex from index 0, relative to (x, y).
int Polygon(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_POLYGON;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    luaL_checktable(L, 3);
    const double count = std::trunc(luaL_checknumber(L, 4));
    const uint32_t colour = Colour(L, 5);
    Options(L, 6);
    if (!(count >= 2 && count <= CX_SHAPE_MAXPOINTS)) return ERR_WRONGUSAGE;
    s.pointCount = int32_t(count);
    // Kept between calls: only larger polygons allocate.
    static std::vector<double> points;
    points.resize(size_t(s.pointCount) * 2);
    for (int32_t i = 0; i < s.pointCount * 2; ++i) {
        lua_rawgeti(L, 3, i);
        points[size_t(i)] = luaL_checkfieldnumber(L, -1, "polygon");
        lua_pop(L, 1);
    }
    s.points = points.data();
    return Draw(L, s, colour);
}

// Line(x1, y1, x2, y2, colour[, {thickness}])
int Line(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_LINE;
    s.x = luaL_checknumber(L, 1);
    s.y = luaL_checknumber(L, 2);
    s.x2 = luaL_checknumber(L, 3);
    s.y2 = luaL_checknumber(L, 4);
    const uint32_t colour = Colour(L, 5);
    if (int t = Options(L, 6)) {
        int thickness = 0;
        if (GetTableInt(L, t, "thickness", &thickness, nullptr) && thickness < 1) return ERR_WRONGUSAGE;
        s.thickness = thickness;
    }
    return Draw(L, s, colour);
}

// Plot(x, y, colour)
int Plot(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxShape s{};
    s.kind = CX_SHAPE_PLOT;
    s.x = std::trunc(luaL_checknumber(L, 1));
    s.y = std::trunc(luaL_checknumber(L, 2));
    return Draw(L, s, Colour(L, 3));
}

// ReadPixel(x, y): the colour there.
int ReadPixel(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const double x = std::trunc(luaL_checknumber(L, 1)), y = std::trunc(luaL_checknumber(L, 2));
    cxDrawOutput out;
    if (int err = Output(L, &out)) return err;
    if (!(x >= 0 && y >= 0 && x < out.target.width && y < out.target.height)) return ERR_COORDSRANGE;
    const int64_t c = ReadTargetPixel(&out.target, int32_t(x), int32_t(y));
    if (c < 0) return ERR_LOCKBMAP;
    lua_pushnumber(L, double(c));
    return 1;
}

// Cls([colour])
int Cls(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    uint32_t colour = lua_isnone(L, 1) ? 0 : Colour(L, 1);
    cxDrawOutput out;
    if (int err = Output(L, &out)) return err;
    if ((out.kind == kKindBrush || out.kind == kKindMask || out.kind == kKindAlpha) && !out.skipPrepare &&
        g_hooks.prepare) {
        if (int err = g_hooks.prepare(L, &out)) return err;
    }
    if ((out.kind == kKindDisplay || out.kind == kKindBGPic) && g_hooks.clearToBackground)
        return g_hooks.clearToBackground(L, &out);
    colour &= 0xFFFFFFu;
    int result = 0;
    if (g_hooks.adapterCls && g_hooks.adapterCls(L, &out, colour, &result)) return result;
    const cxDrawTarget &t = out.target;
    if (t.colour) FillRect(t.colour, 0, 0, t.width, t.height, colour);
    if (t.alpha) FillAlphaRect(t.alpha, 0, 0, t.width, t.height, uint8_t(t.colour ? 255 : std::min(t.alphaLevel, 255u)));
    if (t.mask) FillMaskRect(t.mask, 0, 0, t.width, t.height, t.colour ? CX_MASKVANILLACOPY : t.maskMode);
    const cxDrawRect all{0, 0, t.width, t.height};
    if (g_hooks.drawn && t.width > 0 && t.height > 0) g_hooks.drawn(L, &out, &all);
    return 0;
}

// SetFillStyle(FILLNONE[, {thickness}]), SetFillStyle(FILLCOLOR),
// SetFillStyle(FILLGRADIENT, type, startcolor, endcolor[, angle]),
// SetFillStyle(FILLTEXTURE, brush[, x, y])
int SetFillStyle(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    const int style = luaL_checkint(L, 1);
    cxDrawStyle &d = *GetDrawStyle();
    switch (style) {
    case CX_FILLNONE:
        if (int t = Options(L, 2)) {
            int thickness = d.lineWidth;
            if (GetTableInt(L, t, "thickness", &thickness, nullptr) && thickness < 1) return ERR_WRONGUSAGE;
            d.lineWidth = thickness;
        }
        break;
    case CX_FILLCOLOR: break;
    case CX_FILLGRADIENT: {
        const int type = luaL_checkint(L, 2);
        if (type < 2 || type > 4) return ERR_WRONGUSAGE;
        const uint32_t start = Colour(L, 3), end = Colour(L, 4);
        const double angle = luaL_optnumber(L, 5, 0);
        d.gradient = {type, start & 0xFFFFFFu, end & 0xFFFFFFu, angle, nullptr};
        break;
    }
    case CX_FILLTEXTURE: {
        cxObjectID id;
        GetObjectIDArg(&id, L, 2);
        // A brush that does not exist is refused now, not drawn as a colour.
        if (g_hooks.findTexture)
            if (int err = g_hooks.findTexture(L, id)) return err;
        d.textureBrush = id;
        d.textureX = luaL_optint(L, 3, 0);
        d.textureY = luaL_optint(L, 4, 0);
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    d.fillStyle = style;
    return 0;
}

// SetFormStyle(style[, ...]): style NORMAL, or ANTIALIAS, SHADOW and EDGE
// combined; then with SHADOW the shadow's colour, size and direction, with
// EDGE the edge's colour and size, or one table with the keys
// "shadowcolor", "shadowsize", "shadowdir", "bordercolor", "bordersize".
int SetFormStyle(lua_State *L) {
    CheckArgCount(L, 1, 6, 0, 0);
    const uint32_t style = uint32_t(luaL_checkint(L, 1));
    const uint32_t known = CX_FORM_NORMAL | CX_FORM_ANTIALIAS | CX_FORM_SHADOW | CX_FORM_EDGE;
    if (style == 0 || (style & ~known)) return ERR_WRONGUSAGE;
    cxDrawStyle d = *GetDrawStyle();
    if (lua_istable(L, 2)) {
        GetTableBool(L, 2, "shadowcolor", &d.shadowColor, nullptr);
        GetTableInt(L, 2, "shadowsize", &d.shadowSize, nullptr);
        GetTableInt(L, 2, "shadowdir", &d.shadowDir, nullptr);
        GetTableBool(L, 2, "bordercolor", &d.borderColor, nullptr);
        GetTableInt(L, 2, "bordersize", &d.borderSize, nullptr);
    } else {
        int arg = 2;
        if (style & CX_FORM_SHADOW) {
            if (!lua_isnone(L, arg)) d.shadowColor = Colour(L, arg);
            if (!lua_isnone(L, arg + 1)) d.shadowSize = luaL_checkint(L, arg + 1);
            if (!lua_isnone(L, arg + 2)) d.shadowDir = luaL_checkint(L, arg + 2);
            arg += 3;
        }
        if (style & CX_FORM_EDGE) {
            if (!lua_isnone(L, arg)) d.borderColor = Colour(L, arg);
            if (!lua_isnone(L, arg + 1)) d.borderSize = luaL_checkint(L, arg + 1);
        }
    }
    if (d.shadowSize < 0 || d.borderSize < 0 || d.shadowDir < 0 || d.shadowDir > 7) return ERR_WRONGUSAGE;
    // NORMAL alone switches the extras off.
    d.formStyle = style == CX_FORM_NORMAL ? CX_FORM_NORMAL : (style & ~CX_FORM_NORMAL);
    *GetDrawStyle() = d;
    return 0;
}

int SetLineWidth(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double w = std::trunc(luaL_checknumber(L, 1));
    if (!(w >= 1)) return ERR_WRONGUSAGE;
    GetDrawStyle()->lineWidth = int32_t(std::fmin(w, 10000));
    return 0;
}

int GetLineWidth(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetDrawStyle()->lineWidth);
    return 1;
}

int GetFormStyle(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxDrawStyle &d = *GetDrawStyle();
    lua_pushnumber(L, d.formStyle);
    if (!(d.formStyle & (CX_FORM_SHADOW | CX_FORM_EDGE))) return 1;
    lua_newtable(L);
    if (d.formStyle & CX_FORM_SHADOW) {
        SetTableUnsigned(L, "shadowcolor", d.shadowColor);
        SetTableNumber(L, "shadowsize", d.shadowSize);
        SetTableNumber(L, "shadowdir", d.shadowDir);
    }
    if (d.formStyle & CX_FORM_EDGE) {
        SetTableNumber(L, "bordersize", d.borderSize);
        SetTableUnsigned(L, "bordercolor", d.borderColor);
    }
    return 2;
}

int GetFillStyle(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxDrawStyle &d = *GetDrawStyle();
    lua_pushnumber(L, d.fillStyle);
    if (d.fillStyle == CX_FILLCOLOR) return 1;
    lua_newtable(L);
    switch (d.fillStyle) {
    case CX_FILLNONE: SetTableNumber(L, "thickness", d.lineWidth); break;
    case CX_FILLGRADIENT:
        SetTableNumber(L, "type", d.gradient.type);
        SetTableUnsigned(L, "startcolor", d.gradient.startColor);
        SetTableUnsigned(L, "endcolor", d.gradient.endColor);
        SetTableDouble(L, "angle", d.gradient.angle);
        break;
    case CX_FILLTEXTURE:
        SetTableObjectID(L, "brush", d.textureBrush);
        SetTableNumber(L, "x", d.textureX);
        SetTableNumber(L, "y", d.textureY);
        break;
    default: break;
    }
    return 2;
}

const luaL_reg kCommands[] = {
    {"Arc", Arc},
    {"Box", Box},
    {"Circle", Circle},
    {"Cls", Cls},
    {"Ellipse", Ellipse},
    {"GetFillStyle", GetFillStyle},
    {"GetFormStyle", GetFormStyle},
    {"GetLineWidth", GetLineWidth},
    {"Line", Line},
    {"Plot", Plot},
    {"Polygon", Polygon},
    {"ReadPixel", ReadPixel},
    {"SetFillStyle", SetFillStyle},
    {"SetFormStyle", SetFormStyle},
    {"SetLineWidth", SetLineWidth},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"BLACK", nullptr, 0},
    {"MAROON", nullptr, 8388608},
    {"GREEN", nullptr, 32768},
    {"OLIVE", nullptr, 8421376},
    {"NAVY", nullptr, 128},
    {"PURPLE", nullptr, 8388736},
    {"TEAL", nullptr, 32896},
    {"GRAY", nullptr, 8421504},
    {"RED", nullptr, 16711680},
    {"LIME", nullptr, 65280},
    {"YELLOW", nullptr, 16776960},
    {"BLUE", nullptr, 255},
    {"FUCHSIA", nullptr, 16711935},
    {"AQUA", nullptr, 65535},
    {"WHITE", nullptr, 16777215},
    {"SILVER", nullptr, 12632256},
    {"FILLNONE", nullptr, CX_FILLNONE},
    {"FILLCOLOR", nullptr, CX_FILLCOLOR},
    {"FILLGRADIENT", nullptr, CX_FILLGRADIENT},
    {"FILLTEXTURE", nullptr, CX_FILLTEXTURE},
    {"BOX", nullptr, CX_SHAPE_BOX},
    {"CIRCLE", nullptr, CX_SHAPE_CIRCLE},
    {"ELLIPSE", nullptr, CX_SHAPE_ELLIPSE},
    {"LINE", nullptr, CX_SHAPE_LINE},
    {"PLOT", nullptr, CX_SHAPE_PLOT},
    {"POLYGON", nullptr, CX_SHAPE_POLYGON},
    {"ARC", nullptr, CX_SHAPE_ARC},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" int CheckTextureFill(lua_State *L) {
    const cxDrawStyle &d = *GetDrawStyle();
    if (d.fillStyle != CX_FILLTEXTURE || !g_hooks.findTexture) return 0;
    return g_hooks.findTexture(L, d.textureBrush);
}

extern "C" void SetDrawOutputHooks(const cxDrawOutputHooks *hooks) { g_hooks = hooks ? *hooks : *GetDisplayDrawOutput(); }
extern "C" const cxDrawOutputHooks *GetDrawOutputHooks(void) { return &g_hooks; }
extern "C" void SetShapePathHook(cxShapePathHook hook) { g_pathHook = hook; }
extern "C" int GetCurrentDrawOutput(lua_State *L, cxDrawOutput *out) { return Output(L, out); }

extern "C" int OpenDrawLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "draw")) return err;
    luaL_openconstants(L, kConstants, 0);
    ResetDrawStyle();
    GetSineTable();
    return ReserveShapeBuffers(1001);
}

extern "C" void FreeDrawLibraryBuffers(lua_State *) {
    FreeShapeBuffers();
    ResetDrawStyle();
}
