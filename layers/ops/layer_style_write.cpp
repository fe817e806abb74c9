// GetLayerStyle's table: what a layer is, where, how it is turned and how
// it looks, in keys that SetLayerStyle takes back unchanged.
#include <cmath>

#include "engine/runtime/runtime.h"
#include "graphics/vector/vector_engine.h"
#include "layers/core/filters.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_list.h"
#include "layers/ops/fill_style_keys.h"
#include "layers/ops/layer_style.h"
#include "layers/ops/layer_style_keys.h"
#include "text/library/text_objects.h"

namespace {

void SetBool(lua_State *L, const char *key, bool v) { SetTableNumber(L, key, v ? 1 : 0); }

void WriteNumbers(lua_State *L, const char *key, const double *v, int count, int first) {
    lua_pushstring(L, key);
    lua_newtable(L);
    for (int i = 0; i < count; ++i) {
        lua_pushnumber(L, v[i]);
        lua_rawseti(L, -2, first + i);
    }
    lua_settable(L, -3);
}

void WriteText(lua_State *L, const cxLayerTextContent *t) {
    const cxTextRecord *r = t->record;
    SetTableUnsigned(L, "color", r->style.colour);
    SetTableNumber(L, "fontstyle", int32_t(r->style.flags));
    SetTableNumber(L, "align", r->align);
    SetTableNumber(L, "leftmargin", r->leftMargin);
    SetTableNumber(L, "rightmargin", r->rightMargin);
    SetTableNumber(L, "fontsize", r->style.font ? r->style.font->size : 0);
    SetTableNumber(L, "encoding", r->encoding);
    SetTableString(L, "text", r->text ? r->text : "");
    SetTableString(L, "font", r->style.font ? r->style.font->name : "");
}

// Shape keys in the layer's own coordinates: a line's ends where they lie
// on the picture, other shapes by their sizes.
void WriteShape(lua_State *L, const cxLayer *l, const cxLayerShapeContent *c) {
    const cxShape &s = c->shape;
    SetTableUnsigned(L, "color", c->colour);
    WriteFillStyleKeys(L, c);
    switch (l->type) {
    case CX_LAYER_BOX:
        SetTableDouble(L, "sizex", s.width);
        SetTableDouble(L, "sizey", s.height);
        SetTableNumber(L, "cornera", s.corners[0]);
        SetTableNumber(L, "cornerb", s.corners[1]);
        SetTableNumber(L, "cornerc", s.corners[2]);
        SetTableNumber(L, "cornerd", s.corners[3]);
        break;
    case CX_LAYER_CIRCLE: SetTableDouble(L, "radius", s.width); break;
    case CX_LAYER_ELLIPSE:
        SetTableDouble(L, "radiusa", s.width);
        SetTableDouble(L, "radiusb", s.height);
        break;
    case CX_LAYER_ARC:
        SetTableDouble(L, "radiusa", s.width);
        SetTableDouble(L, "radiusb", s.height);
        SetTableDouble(L, "startangle", s.startAngle);
        SetTableDouble(L, "endangle", s.endAngle);
        SetTableNumber(L, "clockwise", s.clockwise);
        break;
    case CX_LAYER_LINE:
        SetTableDouble(L, "x1", l->base->x + s.x);
        SetTableDouble(L, "y1", l->base->y + s.y);
        SetTableDouble(L, "x2", l->base->x + s.x2);
        SetTableDouble(L, "y2", l->base->y + s.y2);
        SetTableNumber(L, "thickness", s.thickness);
        break;
    case CX_LAYER_POLYGON:
        SetTableNumber(L, "numvertices", s.pointCount);
        WriteNumbers(L, "vertices", c->points, c->points ? 2 * s.pointCount : 0, 0);
        break;
    default: break;
    }
}

void WritePath(lua_State *L, const cxLayer *l, const cxLayerPathContent *p) {
    const cxPathStyle &s = p->render.style;
    SetTableObjectID(L, "id", l->source);
    SetTableUnsigned(L, "color", p->render.colour);
    SetTableNumber(L, "linejoin", int32_t(s.lineJoin));
    SetTableNumber(L, "linecap", int32_t(s.lineCap));
    SetTableNumber(L, "fillrule", int32_t(s.fillRule));
    SetTableDouble(L, "dashoffset", s.dashOffset);
    SetTableDouble(L, "miterlimit", s.miterLimit);
    const cxPlugin *e = p->render.engine;
    SetTableString(L, "vectorengine", !e || IsInbuiltVectorEngine(e) ? "default" : e->moduleName ? e->moduleName : "");
    WriteNumbers(L, "dashes", s.dashes, s.dashes ? int(s.dashCount) : 0, 0);
}

void WriteFilters(lua_State *L, const cxLayer *l) {
    lua_pushstring(L, "filters");
    lua_newtable(L);
    int n = 0;
    for (int slot = 0; slot < CX_FILTER_SLOTS; ++slot) {
        const cxFilter &f = l->filters[slot];
        if (!f.active) continue;
        lua_newtable(L);
        SetTableString(L, "name", GetFilterName(slot));
        SetTableNumber(L, "priority", int32_t(f.priority));
        double args[5];
        WriteNumbers(L, "args", args, GetFilterArgs(&f, slot, args), 1);
        lua_rawseti(L, -2, ++n);
    }
    lua_settable(L, -3);
}

}  // namespace

extern "C" void PushLayerStyle(lua_State *L, cxLayer *l) {
    lua_newtable(L);
    const cxLayerState *base = l->base;
    switch (l->type) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART:
    case CX_LAYER_BGPICPART:
    case CX_LAYER_VIDEO:
        SetTableObjectID(L, "id", l->source);
        SetTableNumber(L, "partx", l->type == CX_LAYER_BRUSH ? 0 : base->partX);
        SetTableNumber(L, "party", l->type == CX_LAYER_BRUSH ? 0 : base->partY);
        SetTableNumber(L, "partwidth", base->srcWidth);
        SetTableNumber(L, "partheight", base->srcHeight);
        break;
    case CX_LAYER_ANIM:
        SetTableNumber(L, "frame", base->partX + 1);
        SetTableObjectID(L, "id", l->source);
        break;
    case CX_LAYER_TEXTOBJECT: SetTableObjectID(L, "id", l->source); break;
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT:
        if (l->content) WriteText(L, static_cast<const cxLayerTextContent *>(l->content));
        break;
    case CX_LAYER_VECTORPATH:
        if (l->content) WritePath(L, l, static_cast<const cxLayerPathContent *>(l->content));
        break;
    default:
        if (IsShapeLayerType(l->type) && l->content)
            WriteShape(L, l, static_cast<const cxLayerShapeContent *>(l->content));
        break;
    }

    const cxTransformOptions &t = l->transform.options;
    double sx = 0, sy = 0;
    GetEffectiveScale(l, &sx, &sy);
    SetTableNumber(L, "type", l->type);
    SetTableNumber(L, "x", base->x);
    SetTableNumber(L, "y", base->y);
    SetTableNumber(L, "width", t.width ? t.width : int32_t(std::trunc(base->srcWidth * std::fabs(sx))));
    SetTableNumber(L, "height", t.height ? t.height : int32_t(std::trunc(base->srcHeight * std::fabs(sy))));
    SetTableDouble(L, "rotate", t.rotate);
    SetTableDouble(L, "scalex", sx);
    SetTableDouble(L, "scaley", sy);
    SetTableDouble(L, "anchorx", l->anchorX);
    SetTableDouble(L, "anchory", l->anchorY);
    SetBool(L, "smoothscale", t.smoothScale);
    WriteNumbers(L, "transform", t.matrix, 4, 0);
    SetTableNumber(L, "transparency", l->transparency);
    const cxFilter &tint = l->filters[CX_FILTER_TINT];
    SetTableNumber(L, "tint", tint.active ? tint.ints[1] : 0);
    SetTableUnsigned(L, "tintcolor", uint32_t(tint.ints[0]));
    SetBool(L, "hidden", l->hidden);
    const cxClipRegion *clip = base->clip;
    if (clip && !clip->privateCopy) SetTableObjectID(L, "clipregion", GetObjectID(&clip->header));
    else SetTableNumber(L, "clipregion", -1);
    SetBool(L, "shadow", l->shadow.on);
    if (l->shadow.on) {
        SetTableUnsigned(L, "shadowcolor", l->shadow.colour);
        SetTableNumber(L, "shadowdir", int32_t(l->shadow.direction));
        SetTableNumber(L, "shadowsize", l->shadow.size);
        SetTableDouble(L, "shadowradius", l->shadow.radius);
        SetTableDouble(L, "shadowsigma", l->shadow.sigma);
    }
    SetBool(L, "border", l->border.on);
    SetTableUnsigned(L, "bordercolor", l->border.colour);
    SetTableNumber(L, "bordersize", l->border.size);
    SetTableNumber(L, "outlinethickness", l->border.size);
    SetTableUnsigned(L, "edgecolor", l->border.colour);
    SetTableNumber(L, "edgesize", l->border.size);
    WriteFilters(L, l);
    SetTableString(L, "group", l->group);
    SetTableString(L, "name", l->name ? l->name : "");
    SetTableNumber(L, "z", GetLayerListPos(l));
}
