#include "text/vector/vector_library.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/draw/draw_output.h"
#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "graphics/vector/ft_engine.h"
#include "graphics/vector/vector_engine.h"
#include "text/vector/path_brush.h"
#include "text/vector/path_render.h"
#include "text/vector/vector_font_cache.h"

namespace {

int32_t g_forcePathUse = 0;

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }

// A number truncated to a 32-bit integer; out-of-range values saturate
// instead of overflowing the conversion.
int32_t CheckInt(lua_State *L, int index) {
    const double v = std::trunc(luaL_checknumber(L, index));
    if (!(v == v)) return 0;
    return int32_t(std::fmax(std::fmin(v, 2147483647.0), -2147483648.0));
}

int PathArg(lua_State *L, int index, cxPath **out) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    return FindPath(id, out);
}

int AddItem(lua_State *L, uint32_t code, int count, const cxPathArg *args) {
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    return AppendPathItem(p, code, count, args);
}

// StartPath(id)
int StartPath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxOptionalNumber n;
    GetOptionalNumberArg(&n, L, 1);
    if (!n.wasNil) FreePathByID(L, cxObjectID{n.value, nullptr});
    cxPath *p = NewPath(n.value, n.wasNil ? 1 : 0);
    if (!p) return ERR_MEM;
    p->style = SnapshotVectorStyle();
    if (!p->style) {
        FreePathByID(L, GetObjectID(&p->header));
        return ERR_MEM;
    }
    return n.wasNil ? PushObjectID(L, GetObjectID(&p->header)) : 0;
}

int StartSubPath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return AddItem(L, CX_PATH_NEWSUBPATH, 0, nullptr);
}

int ClosePath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    return AddItem(L, CX_PATH_CLOSEPATH, 0, nullptr);
}

int PointItem(lua_State *L, uint32_t code, int rel) {
    CheckArgCount(L, 3, 3, 0, 0);
    const cxPathArg a[] = {I(rel), D(luaL_checknumber(L, 2)), D(luaL_checknumber(L, 3))};
    return AddItem(L, code, 3, a);
}
int MoveTo(lua_State *L) { return PointItem(L, CX_PATH_MOVETO, 0); }
int RelMoveTo(lua_State *L) { return PointItem(L, CX_PATH_MOVETO, 1); }
int LineTo(lua_State *L) { return PointItem(L, CX_PATH_LINETO, 0); }
int RelLineTo(lua_State *L) { return PointItem(L, CX_PATH_LINETO, 1); }

int CurveItem(lua_State *L, int rel) {
    CheckArgCount(L, 7, 7, 0, 0);
    cxPathArg a[7] = {I(rel)};
    for (int i = 0; i < 6; ++i) a[i + 1] = D(luaL_checknumber(L, i + 2));
    return AddItem(L, CX_PATH_CURVETO, 7, a);
}
int CurveTo(lua_State *L) { return CurveItem(L, 0); }
int RelCurveTo(lua_State *L) { return CurveItem(L, 1); }

// AddArcToPath(id, xc, yc, ra, rb, start, end[, clockwise])
int AddArcToPath(lua_State *L) {
    CheckArgCount(L, 7, 8, 0, 0);
    cxPathArg a[7];
    for (int i = 0; i < 6; ++i) a[i] = D(luaL_checknumber(L, i + 2));
    a[6] = I(lua_isnoneornil(L, 8) ? 1 : CheckInt(L, 8));
    return AddItem(L, CX_PATH_ARC, 7, a);
}

int AddCircleToPath(lua_State *L) {
    CheckArgCount(L, 4, 4, 0, 0);
    const double r = luaL_checknumber(L, 4);
    const cxPathArg a[] = {D(luaL_checknumber(L, 2)), D(luaL_checknumber(L, 3)), D(r), D(r), D(0), D(360), I(1)};
    return AddItem(L, CX_PATH_ARC, 7, a);
}

int AddEllipseToPath(lua_State *L) {
    CheckArgCount(L, 5, 5, 0, 0);
    const cxPathArg a[] = {D(luaL_checknumber(L, 2)), D(luaL_checknumber(L, 3)), D(luaL_checknumber(L, 4)),
                           D(luaL_checknumber(L, 5)), D(0), D(360), I(1)};
    return AddItem(L, CX_PATH_ARC, 7, a);
}

// AddBoxToPath(id, x, y, width, height[, {roundlevel, cornera .. cornerd}])
int AddBoxToPath(lua_State *L) {
    CheckArgCount(L, 5, 6, 0, 0);
    int32_t round[4] = {0, 0, 0, 0};
    const double x = luaL_checknumber(L, 2), y = luaL_checknumber(L, 3);
    const double w = luaL_checknumber(L, 4), h = luaL_checknumber(L, 5);
    if (!lua_isnoneornil(L, 6)) {
        luaL_checktable(L, 6);
        int32_t level = 0;
        if (GetTableInt(L, 6, "roundlevel", &level, nullptr))
            for (int32_t &r : round) r = level;
        static const char *const kCorners[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
        for (int i = 0; i < 4; ++i) GetTableInt(L, 6, kCorners[i], &round[i], nullptr);
        for (int32_t &r : round) r = r < 0 ? 0 : r > 100 ? 100 : r;
    }
    const cxPathArg a[] = {D(x), D(y), D(w), D(h), I(round[0]), I(round[1]), I(round[2]), I(round[3])};
    return AddItem(L, CX_PATH_BOX, 8, a);
}

// AddTextToPath(id, text[, {encoding}])
int AddTextToPath(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    const char *text = luaL_checkstring(L, 2);
    int encoding = GetUtf8Mode() ? 1 : 0;
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableInt(L, 3, "encoding", &encoding, nullptr);
    }
    if (encoding != 0 && encoding != 1) return ERR_WRONGUSAGE;
    int32_t size = 0;
    cxOsFont *font = GetVectorTextFont(L, &size);
    if (!font || font->kind != CX_FONT_TRUETYPE) return ERR_VFONTTYPE;
    uint32_t key = 0;
    if (int err = GetVectorFontKey(font, &key)) return err;
    void *handle = nullptr;
    if (int err = GetVectorFont(font, GetCurrentVectorEngine(), &handle)) return err;
    char *converted = nullptr;
    if (encoding == 0) {
        converted = Latin1ToUtf8Alloc(text);
        if (!converted) return ERR_MEM;
    }
    const cxPathArg a[] = {{CX_PATHARG_HANDLE, 0, 0, nullptr, key}, I(size),
                           {CX_PATHARG_STRING, 0, 0, converted ? converted : text, 0}};
    const int err = AppendPathItem(p, CX_PATH_TEXT, 3, a);
    free(converted);
    return err;
}

// The state of a PathItems iteration: the path by ID and the buffer it
// walks by generation, never by address, so that a path changed, cleared
// or freed under the loop ends it instead of being read after the fact.
struct ItemCursor {
    int32_t number;
    void *pointer;
    uint32_t generation;
    uint32_t offset;
    uint32_t done;
};

void SetNum(lua_State *L, const char *key, double v) { SetTableDouble(L, key, v); }

int NextItem(lua_State *L) {
    ItemCursor *c = static_cast<ItemCursor *>(lua_touserdata(L, lua_upvalueindex(1)));
    lua_settop(L, 0);
    if (!c || c->done) return 0;
    cxObjectHeader *h = LookupObject(GetPathList(), cxObjectID{c->number, c->pointer});
    cxPath *p = reinterpret_cast<cxPath *>(h);
    const size_t size = p && p->generation == c->generation ? PathItemSizeAt(p->items, PathUsedBytes(p), c->offset) : 0;
    if (!size) {
        c->done = 1;
        return 0;
    }
    const uint8_t *q = p->items + c->offset;
    c->offset += uint32_t(size);
    const uint32_t code = PathWord(q);
    lua_newtable(L);
    static const char *const kNames[] = {"", "MoveTo", "LineTo", "CurveTo", "", "NewSubPath", "ClosePath",
                                         "Arc", "Box", "Text"};
    SetTableString(L, "type", kNames[code]);
    switch (code) {
    case CX_PATH_MOVETO:
    case CX_PATH_LINETO:
        SetNum(L, "rel", PathWord(q + 4));
        SetNum(L, "x", PathDouble(q + 8));
        SetNum(L, "y", PathDouble(q + 16));
        break;
    case CX_PATH_CURVETO: {
        SetNum(L, "rel", PathWord(q + 4));
        static const char *const kKeys[6] = {"x1", "y1", "x2", "y2", "x3", "y3"};
        for (int i = 0; i < 6; ++i) SetNum(L, kKeys[i], PathDouble(q + 8 + 8 * i));
        break;
    }
    case CX_PATH_ARC: {
        static const char *const kKeys[6] = {"xc", "yc", "ra", "rb", "start", "end"};
        for (int i = 0; i < 6; ++i) SetNum(L, kKeys[i], PathDouble(q + 4 + 8 * i));
        SetNum(L, "clockwise", int32_t(PathWord(q + 52)));
        break;
    }
    case CX_PATH_BOX: {
        static const char *const kKeys[4] = {"x", "y", "width", "height"};
        for (int i = 0; i < 4; ++i) SetNum(L, kKeys[i], PathDouble(q + 4 + 8 * i));
        lua_pushstring(L, "round");
        lua_newtable(L);
        for (int i = 0; i < 4; ++i) {
            lua_pushnumber(L, i);
            lua_pushnumber(L, int32_t(PathWord(q + 36 + 4 * i)));
            lua_settable(L, -3);
        }
        lua_settable(L, -3);
        break;
    }
    case CX_PATH_TEXT:
        SetNum(L, "size", int32_t(PathWord(q + 8)));
        SetTableString(L, "text", reinterpret_cast<const char *>(q + 12));
        break;
    default: break;
    }
    return 1;
}

int PathItems(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    ItemCursor *c = static_cast<ItemCursor *>(lua_newuserdata(L, sizeof(ItemCursor)));
    const cxObjectID id = GetObjectID(&p->header);
    *c = ItemCursor{id.number, id.pointer, p->generation, 0, p->items ? 0u : 1u};
    lua_pushcclosure(L, NextItem, 1);
    return 1;
}

// AppendPath(destination, source)
int AppendPath(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxPath *dst = nullptr, *src = nullptr;
    if (int err = PathArg(L, 1, &dst)) return err;
    if (int err = PathArg(L, 2, &src)) return err;
    if (dst == src) return ERR_WRONGUSAGE;
    if (!src->items || !PathUsedBytes(src)) return 0;
    return AppendPathBytes(dst, src->items, PathUsedBytes(src));
}

// CopyPath(source, destination)
int CopyPath(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxPath *src = nullptr;
    if (int err = PathArg(L, 1, &src)) return err;
    cxOptionalNumber n;
    GetOptionalNumberArg(&n, L, 2);
    if (!n.wasNil) {
        if (!src->header.idPointer && n.value == src->header.idNumber) return ERR_WRONGUSAGE;
        FreePathByID(L, cxObjectID{n.value, nullptr});
    }
    uint8_t *items = nullptr;
    if (src->items) {
        items = static_cast<uint8_t *>(malloc(src->capacity));
        if (!items) return ERR_MEM;
        memcpy(items, src->items, PathUsedBytes(src) + 4);
    }
    cxPathStyle *style = nullptr;
    if (src->style && !(style = CopyPathStyle(src->style))) {
        free(items);
        return ERR_MEM;
    }
    cxPath *p = NewPath(n.value, n.wasNil ? 1 : 0);
    if (!p) {
        free(items);
        FreePathStyle(style);
        return ERR_MEM;
    }
    if (items) {
        p->items = items;
        p->capacity = src->capacity;
        p->end = items + PathUsedBytes(src);
    }
    p->style = style;
    return n.wasNil ? PushObjectID(L, GetObjectID(&p->header)) : 0;
}

int ClearPath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    ClearPathItems(p);
    return 0;
}

int FreePath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreePathByID(L, id);
}

int IsPathEmpty(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    lua_pushnumber(L, p->items ? 0 : 1);
    return 1;
}

int TranslatePath(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    const double dx = luaL_checknumber(L, 2), dy = luaL_checknumber(L, 3);
    // A move by a number that is not one would leave no point in place.
    if (!std::isfinite(dx) || !std::isfinite(dy)) return ERR_COORDSRANGE;
    if ((dx == 0 && dy == 0) || !p->items) return 0;
    TranslatePathItems(GetCurrentVectorEngine(), p->items, dx, dy);
    return 0;
}

int NormalizePath(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    if (!p->items) return 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cxPlugin *engine = GetCurrentVectorEngine();
    GetPathExtentsOf(engine, p->items, GetVectorStyle(), 1, 1, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    if (x1 != 0 || y1 != 0) TranslatePathItems(engine, p->items, -x1, -y1);
    return 0;
}

int GetPathExtents(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (p->items) {
        const cxDrawStyle &ds = *GetDrawStyle();
        GetPathExtentsOf(GetCurrentVectorEngine(), p->items, GetVectorStyle(), ds.fillStyle != CX_FILLNONE,
                         ds.lineWidth, nullptr, &x1, &y1, &x2, &y2, 0, 0);
    }
    lua_pushnumber(L, x1);
    lua_pushnumber(L, y1);
    lua_pushnumber(L, x2);
    lua_pushnumber(L, y2);
    return 4;
}

int GetCurrentPoint(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxPath *p = nullptr;
    if (int err = PathArg(L, 1, &p)) return err;
    double x = 0, y = 0;
    if (p->items) GetPathCurrentPoint(GetCurrentVectorEngine(), p->items, GetVectorStyle(), &x, &y);
    lua_pushnumber(L, x);
    lua_pushnumber(L, y);
    return 2;
}

// DrawPath(id, x, y[, colour[, options]])
int DrawPath(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    const int32_t x = CheckInt(L, 2), y = CheckInt(L, 3);
    const uint32_t colour = lua_isnoneornil(L, 4) ? 0 : uint32_t(CheckInt(L, 4));
    int options = 0;
    if (!lua_isnoneornil(L, 5)) {
        luaL_checktable(L, 5);
        options = 5;
    }
    return DrawPathCommand(L, id, x, y, colour, options);
}

// PathToBrush(path, brush)
int PathToBrush(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxObjectID path;
    GetObjectIDArg(&path, L, 1);
    const cxObjectID requested = ReadNewObjectID(L, 2);
    cxObjectID brush = requested;
    if (int err = PathToBrushCommand(L, path, &brush)) return err;
    return requested.pointer ? PushObjectID(L, brush) : 0;
}

int SetLineJoin(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    GetVectorStyle()->lineJoin = uint32_t(CheckInt(L, 1));
    return 0;
}
int SetLineCap(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    GetVectorStyle()->lineCap = uint32_t(CheckInt(L, 1));
    return 0;
}
int SetFillRule(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    GetVectorStyle()->fillRule = uint32_t(CheckInt(L, 1));
    return 0;
}
int SetMiterLimit(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double limit = luaL_checknumber(L, 1);
    GetVectorStyle()->miterLimit = limit;
    lua_pushnumber(L, limit);
    return 1;
}
int GetLineJoin(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetVectorStyle()->lineJoin);
    return 1;
}
int GetLineCap(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetVectorStyle()->lineCap);
    return 1;
}
int GetFillRule(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetVectorStyle()->fillRule);
    return 1;
}
int GetMiterLimit(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    lua_pushnumber(L, GetVectorStyle()->miterLimit);
    return 1;
}

// SetDash(offset, d1, d2, ...): a negative first length switches dashing off.
int SetDash(lua_State *L) {
    CheckArgCount(L, 2, 0, 0, 0);
    cxPathStyle *s = GetVectorStyle();
    FreeDashArray(s);
    const double offset = luaL_checknumber(L, 1);
    const int count = lua_gettop(L) - 1;
    if (luaL_checknumber(L, 2) < 0) return 0;
    // Read whole before anything is kept: a bad argument raises an error.
    std::vector<double> lengths(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) lengths[size_t(i)] = luaL_checknumber(L, i + 2);
    return SetVectorDashes(s, offset, lengths.data(), uint32_t(count));
}

int GetDash(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const cxPathStyle *s = GetVectorStyle();
    if (!s->dashCount) {
        lua_pushnumber(L, -1);
        return 1;
    }
    lua_pushnumber(L, s->dashOffset);
    lua_newtable(L);
    for (uint32_t i = 0; i < s->dashCount; ++i) {
        lua_pushnumber(L, i);
        lua_pushnumber(L, s->dashes[i]);
        lua_settable(L, -3);
    }
    return 2;
}

int ForcePathUse(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    g_forcePathUse = CheckInt(L, 1);
    SetShapePathHook(g_forcePathUse ? DrawShapeAsPath : nullptr);
    return 0;
}

int SetVectorEngine(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    cxPlugin *engine = FindVectorEngine(name);
    SetCurrentVectorEngine(engine);
    if (!engine) {
        SetErrorDetail(name);
        return ERR_FINDPLUGIN;
    }
    return 0;
}

const luaL_reg kCommands[] = {
    {"AddArcToPath", AddArcToPath},
    {"AddBoxToPath", AddBoxToPath},
    {"AddCircleToPath", AddCircleToPath},
    {"AddEllipseToPath", AddEllipseToPath},
    {"AddTextToPath", AddTextToPath},
    {"AppendPath", AppendPath},
    {"ClearPath", ClearPath},
    {"ClosePath", ClosePath},
    {"CopyPath", CopyPath},
    {"CurveTo", CurveTo},
    {"DrawPath", DrawPath},
    {"ForcePathUse", ForcePathUse},
    {"FreePath", FreePath},
    {"GetCurrentPoint", GetCurrentPoint},
    {"GetDash", GetDash},
    {"GetFillRule", GetFillRule},
    {"GetLineCap", GetLineCap},
    {"GetLineJoin", GetLineJoin},
    {"GetMiterLimit", GetMiterLimit},
    {"GetPathExtents", GetPathExtents},
    {"IsPathEmpty", IsPathEmpty},
    {"LineTo", LineTo},
    {"MoveTo", MoveTo},
    {"NormalizePath", NormalizePath},
    {"PathItems", PathItems},
    {"PathToBrush", PathToBrush},
    {"RelCurveTo", RelCurveTo},
    {"RelLineTo", RelLineTo},
    {"RelMoveTo", RelMoveTo},
    {"SetDash", SetDash},
    {"SetFillRule", SetFillRule},
    {"SetLineCap", SetLineCap},
    {"SetLineJoin", SetLineJoin},
    {"SetMiterLimit", SetMiterLimit},
    {"SetVectorEngine", SetVectorEngine},
    {"StartPath", StartPath},
    {"StartSubPath", StartSubPath},
    {"TranslatePath", TranslatePath},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"JOINMITER", nullptr, CX_JOIN_MITER},
    {"JOINROUND", nullptr, CX_JOIN_ROUND},
    {"JOINBEVEL", nullptr, CX_JOIN_BEVEL},
    {"CAPBUTT", nullptr, CX_CAP_BUTT},
    {"CAPROUND", nullptr, CX_CAP_ROUND},
    {"CAPSQUARE", nullptr, CX_CAP_SQUARE},
    {"FILLRULEWINDING", nullptr, CX_FILLRULE_WINDING},
    {"FILLRULEEVENODD", nullptr, CX_FILLRULE_EVENODD},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" int OpenVectorGraphicsLibrary(lua_State *L) {
    ResetVectorStyle();
    SetCurrentVectorEngine(nullptr);
    g_forcePathUse = 0;
    SetShapePathHook(nullptr);
    InstallVectorFontResolver();
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "vectorgraphics")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(GetPathList());
    return 0;
}

extern "C" void FreeAllPaths(lua_State *L) {
    FreeEveryPath(L);
    ResetVectorStyle();
    FreeVectorFontCache();
    g_forcePathUse = 0;
    SetShapePathHook(nullptr);
    SetCurrentVectorEngine(nullptr);
    StopVectorFreeType();
}
