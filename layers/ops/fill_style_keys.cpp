#include "layers/ops/fill_style_keys.h"

#include <cmath>

#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/bgpics/gradient_options.h"

namespace {

constexpr uint32_t kExtras = CX_FORM_SHADOW | CX_FORM_EDGE;

}  // namespace

extern "C" void WriteFillStyleKeys(lua_State *L, const cxLayerShapeContent *c) {
    const cxDrawStyle &s = c->style;
    SetTableNumber(L, "formstyle", int32_t(s.formStyle & ~kExtras));
    SetTableNumber(L, "fillstyle", s.fillStyle);
    // The gradient as the gradient commands write it, then its angle as it
    // is kept (it may have a fraction).
    cxGradient g = c->gradient;
    g.style = uint32_t(s.gradient.type);
    g.startColour = s.gradient.startColor;
    g.endColour = s.gradient.endColor;
    if (!c->gradientTable) g.stopCount = 0;
    WriteGradientOptions(L, "gradient", &g);
    SetTableDouble(L, "gradientangle", s.gradient.angle);
    SetTableObjectID(L, "texturebrush", s.textureBrush);
    SetTableNumber(L, "texturex", s.textureX);
    SetTableNumber(L, "texturey", s.textureY);
}

extern "C" int ReadFillStyleKeys(lua_State *L, int table, int *shadow, int *edge, cxLayerShapeContent *c, int *found,
                                 int *changed) {
    cxDrawStyle &s = c->style;
    int any = 0, v = 0;
    if (GetTableInt(L, table, "formstyle", &v, &any)) {
        const uint32_t bits = uint32_t(v);
        if (bits & CX_FORM_NORMAL) {
            s.formStyle = CX_FORM_NORMAL;
        } else {
            if (bits & CX_FORM_SHADOW) *shadow = 1, *changed = 1;
            if (bits & CX_FORM_EDGE) *edge = 1, *changed = 1;
            if (const uint32_t rest = bits & ~kExtras) s.formStyle = (s.formStyle & ~CX_FORM_NORMAL) | rest;
        }
    }
    if (GetTableInt(L, table, "formstyleclear", &v, &any)) {
        const uint32_t bits = uint32_t(v);
        // A shadow or an edge drawn into the shape itself goes too.
        if (bits & CX_FORM_SHADOW) *shadow = 0, *changed = 1;
        if (bits & CX_FORM_EDGE) *edge = 0, *changed = 1;
        s.formStyle &= ~(bits & ~CX_FORM_NORMAL);
        if (!(s.formStyle & ~kExtras)) s.formStyle |= CX_FORM_NORMAL;
    }
    if (GetTableInt(L, table, "fillstyle", &v, &any)) {
        if (v < CX_FILLNONE || v > CX_FILLTEXTURE) return ERR_WRONGUSAGE;
        s.fillStyle = v;
    }
    if (GetTableInt(L, table, "gradientstyle", &v, &any)) {
        if (v < CX_GRADIENT_LINEAR || v > CX_GRADIENT_CONICAL) return ERR_WRONGUSAGE;
        s.gradient.type = v;
    }
    double angle = 0;
    if (GetTableDouble(L, table, "gradientangle", &angle, &any)) {
        if (!std::isfinite(angle)) return ERR_WRONGUSAGE;
        s.gradient.angle = angle;
    }
    // A new start or end colour makes the two colours the gradient again
    // (the colours it has already leave the stops as they are).
    uint32_t colour = 0;
    if (GetTableBool(L, table, "gradientstartcolor", &colour, &any) && (colour & 0xFFFFFFu) != s.gradient.startColor) {
        s.gradient.startColor = colour & 0xFFFFFFu;
        c->gradientTable = 0;
    }
    if (GetTableBool(L, table, "gradientendcolor", &colour, &any) && (colour & 0xFFFFFFu) != s.gradient.endColor) {
        s.gradient.endColor = colour & 0xFFFFFFu;
        c->gradientTable = 0;
    }
    if (s.fillStyle == CX_FILLGRADIENT) {
        // The reader needs the style to know which keys apply.
        c->gradient.style = uint32_t(s.gradient.type);
        int stops = 0;
        for (const char *key : {"gradientcenterx", "gradientcentery", "gradientbalance", "gradientborder",
                                "gradientcolors"}) {
            lua_pushstring(L, key);
            lua_gettable(L, table);
            if (!lua_isnil(L, -1)) any = 1;
            lua_settop(L, -2);
        }
        if (int err = ReadGradientTable(L, table, &c->gradient, "gradientcenterx", "gradientcentery",
                                        "gradientbalance", "gradientborder", "gradientcolors", &stops))
            return err;
        if (stops) c->gradientTable = 1;
    }
    cxObjectID id{};
    if (GetTableObjectID(L, table, "texturebrush", &id, &any)) s.textureBrush = id;
    GetTableInt(L, table, "texturex", &s.textureX, &any);
    GetTableInt(L, table, "texturey", &s.textureY, &any);
    if (any) *found = 1;
    return 0;
}
