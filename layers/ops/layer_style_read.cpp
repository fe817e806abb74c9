// Reading a style table into a working copy: every key is read and
// checked before the layer changes, in the order type, content, transform,
// anchor, position, look, visibility, shadow and border, clip region and
// place in the list.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "graphics/geometry/geometry.h"
#include "graphics/vector/path.h"
#include "graphics/vector/vector_engine.h"
#include "images/bgpics/bgpic.h"
#include "images/brushes/brush.h"
#include "images/core/display_options.h"
#include "layers/core/clip_regions.h"
#include "layers/core/filters.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_states.h"
#include "layers/ops/fill_style_keys.h"
#include "layers/ops/layer_frames.h"
#include "layers/ops/layer_style_keys.h"
#include "text/library/font_cache.h"
#include "text/library/text_objects.h"
#include "text/library/text_state.h"

namespace {

bool Present(lua_State *L, int table, const char *key) {
    lua_pushstring(L, key);
    lua_gettable(L, table);
    const bool present = !lua_isnil(L, -1);
    lua_settop(L, -2);
    return present;
}

// A coordinate or size key: saturated to 32 bits; NaN and the infinities
// are refused.
int ReadCoord(lua_State *L, int table, const char *key, int64_t *out, bool *found) {
    double v = 0;
    if (!GetTableDouble(L, table, key, &v, nullptr)) return 0;
    if (!std::isfinite(v)) return ERR_WRONGUSAGE;
    const double t = std::trunc(v);
    *out = t >= 2147483647.0 ? INT32_MAX : t <= -2147483648.0 ? INT32_MIN : int64_t(t);
    if (found) *found = true;
    return 0;
}

int ReadCoord32(lua_State *L, int table, const char *key, int32_t *out, bool *found) {
    int64_t v = 0;
    bool f = false;
    if (int err = ReadCoord(L, table, key, &v, &f)) return err;
    if (f) *out = int32_t(v), *found = true;
    return 0;
}

// A finite number key.
int ReadFinite(lua_State *L, int table, const char *key, double *out, bool *found) {
    double v = 0;
    if (!GetTableDouble(L, table, key, &v, nullptr)) return 0;
    if (!std::isfinite(v)) return ERR_WRONGUSAGE;
    *out = v;
    if (found) *found = true;
    return 0;
}

// A table of numbers from index 0 up to the first nil.
int ReadNumberList(lua_State *L, int table, const char *key, std::vector<double> *out, bool *found) {
    lua_pushstring(L, key);
    lua_gettable(L, table);
    const int list = lua_gettop(L);
    if (lua_isnil(L, list)) {
        lua_settop(L, list - 1);
        return 0;
    }
    if (!lua_istable(L, list)) {
        lua_settop(L, list - 1);
        SetErrorDetail(key);
        return ERR_TABEXPECTED2;
    }
    out->clear();
    for (int i = 0;; ++i) {
        lua_rawgeti(L, list, i);
        if (lua_isnil(L, -1)) break;
        if (lua_type(L, -1) != LUA_TNUMBER || !std::isfinite(lua_tonumber(L, -1))) {
            lua_settop(L, list - 1);
            SetErrorDetail(key);
            return ERR_NUMTABLEARG;
        }
        try {
            out->push_back(lua_tonumber(L, -1));
        } catch (...) {
            lua_settop(L, list - 1);
            return ERR_MEM;
        }
        lua_settop(L, list);
    }
    lua_settop(L, list - 1);
    *found = true;
    return 0;
}

bool IsLayerType(int32_t t) {
    switch (t) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_ANIM:
    case CX_LAYER_NOOBJECT:
    case CX_LAYER_TEXTOBJECT:
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT:
    case CX_LAYER_BRUSHPART:
    case CX_LAYER_BGPICPART:
    case CX_LAYER_VECTORPATH:
    case CX_LAYER_VIDEO: return true;
    default: return IsShapeLayerType(t) != 0;
    }
}

// The keys a shape needs when a layer of another kind becomes one.
bool HasShapeKeys(lua_State *L, int table, int32_t type) {
    auto all = [&](std::initializer_list<const char *> keys) {
        for (const char *k : keys)
            if (!Present(L, table, k)) return false;
        return true;
    };
    switch (type) {
    case CX_LAYER_BOX: return all({"sizex", "sizey"});
    case CX_LAYER_CIRCLE: return all({"radius"});
    case CX_LAYER_ELLIPSE: return all({"radiusa", "radiusb"});
    case CX_LAYER_ARC: return all({"radiusa", "radiusb", "startangle", "endangle"});
    case CX_LAYER_LINE: return all({"x1", "y1", "x2", "y2"});
    case CX_LAYER_POLYGON: return all({"vertices"});
    default: return false;
    }
}

// A fresh content record for a layer that changes its kind.
int NewContentFor(lua_State *L, cxStyleEdit *e, int32_t type) {
    if (IsShapeLayerType(type)) {
        cxShape shape{};
        shape.kind = uint32_t(type);
        cxDrawStyle style = *GetDrawStyle();
        void *c = NewShapeContent(&shape, &style, 0xFFFFFF, 0, 0);
        if (!c) return ERR_MEM;
        e->SetContent(c);
        return 0;
    }
    if (type == CX_LAYER_TEXTOUT || type == CX_LAYER_PRINT) {
        // TextOut and Print layers turn into each other keeping their text.
        if (e->content && (e->type == CX_LAYER_TEXTOUT || e->type == CX_LAYER_PRINT)) {
            auto *c = static_cast<cxLayerTextContent *>(e->OwnContent());
            if (!c) return ERR_MEM;
            c->mode = type == CX_LAYER_PRINT ? CX_RENDER_PRINT : CX_RENDER_DRAW;
            return 0;
        }
        cxTextRecord rec{};
        rec.style = *GetTextStyle();
        if (!rec.style.font) rec.style.font = GetCurrentFont();
        rec.text = const_cast<char *>("");
        rec.align = CX_ALIGN_LEFT;
        rec.encoding = GetTextState()->textEncoding;
        void *c = NewTextContent(&rec, nullptr, type == CX_LAYER_PRINT ? CX_RENDER_PRINT : CX_RENDER_DRAW, 0, 0);
        if (!c) return ERR_MEM;
        e->SetContent(c);
        return 0;
    }
    (void)L;
    e->SetContent(nullptr);
    return 0;
}

// "type": a change of kind, with the keys the new kind cannot do without.
int ReadType(lua_State *L, int table, cxStyleEdit *e) {
    int type = 0;
    if (!GetTableInt(L, table, "type", &type, nullptr) || type == e->type) return 0;
    // Video layers come only from videos.
    if (!IsLayerType(type) || type == CX_LAYER_VIDEO) return ERR_WRONGUSAGE;
    switch (type) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART:
    case CX_LAYER_BGPICPART:
    case CX_LAYER_ANIM:
    case CX_LAYER_TEXTOBJECT:
    case CX_LAYER_VECTORPATH:
        if (!Present(L, table, "id")) return ERR_MISSINGPARAMTR;
        break;
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT:
        if (e->type != CX_LAYER_TEXTOUT && e->type != CX_LAYER_PRINT && !Present(L, table, "text"))
            return ERR_MISSINGPARAMTR;
        break;
    default:
        if (IsShapeLayerType(type) && !HasShapeKeys(L, table, type)) return ERR_MISSINGPARAMTR;
        break;
    }
    if (int err = NewContentFor(L, e, type)) return err;
    e->type = type;
    e->source = cxObjectID{};
    e->partX = e->partY = 0;
    return 0;
}

// The part keys of brush, BGPic part and video layers.
int ReadPart(lua_State *L, int table, cxStyleEdit *e, int32_t width, int32_t height, bool *found) {
    int32_t px = e->partX, py = e->partY, pw = e->srcWidth, ph = e->srcHeight;
    bool any = false;
    if (int err = ReadCoord32(L, table, "partx", &px, &any)) return err;
    if (int err = ReadCoord32(L, table, "party", &py, &any)) return err;
    if (int err = ReadCoord32(L, table, "partwidth", &pw, &any)) return err;
    if (int err = ReadCoord32(L, table, "partheight", &ph, &any)) return err;
    if (!any) return 0;
    if (pw < 1 || ph < 1) return ERR_BADDIMENSIONS;
    if (px < 0 || py < 0 || px >= width || py >= height) return ERR_WRONGUSAGE;
    e->partX = px, e->partY = py;
    e->srcWidth = std::min(pw, width - px), e->srcHeight = std::min(ph, height - py);
    *found = true;
    return 0;
}

int ReadBrushContent(lua_State *L, int table, cxStyleEdit *e) {
    cxObjectID id = e->source;
    cxBrush *b = nullptr;
    if (GetTableObjectID(L, table, "id", &id, nullptr)) {
        if (int err = FindBrush(L, id, &b, CX_FIND_HARDWARE)) return err;
        if (id.number != e->source.number || id.pointer != e->source.pointer) {
            e->source = id;
            e->partX = e->partY = 0;
            e->srcWidth = b->width, e->srcHeight = b->height;
        }
    } else if (int err = FindBrush(L, id, &b, CX_FIND_HARDWARE | CX_FIND_PENDING)) {
        return err;
    }
    bool part = false;
    if (int err = ReadPart(L, table, e, b->width, b->height, &part)) return err;
    // A rectangle of a brush is a brush part (the whole brush stays one).
    const bool whole = !e->partX && !e->partY && e->srcWidth == b->width && e->srcHeight == b->height;
    if (part && !whole && e->type == CX_LAYER_BRUSH) e->type = CX_LAYER_BRUSHPART;
    if (e->type == CX_LAYER_BRUSH) e->srcWidth = b->width, e->srcHeight = b->height;
    return 0;
}

int ReadBGPicPartContent(lua_State *L, int table, cxStyleEdit *e) {
    cxObjectID id = e->source;
    const bool newId = GetTableObjectID(L, table, "id", &id, nullptr) &&
                       (id.number != e->source.number || id.pointer != e->source.pointer);
    cxBGPic *b = nullptr;
    if (!newId && !Present(L, table, "partx") && !Present(L, table, "party") && !Present(L, table, "partwidth") &&
        !Present(L, table, "partheight"))
        return 0;
    if (int err = FindBGPic(L, id, &b, 0)) return err;
    if (newId) {
        e->source = id;
        e->partX = e->partY = 0;
        e->srcWidth = b->currentWidth, e->srcHeight = b->currentHeight;
    }
    bool part = false;
    if (int err = ReadPart(L, table, e, b->currentWidth, b->currentHeight, &part)) return err;
    e->srcWidth = std::min(e->srcWidth, b->currentWidth - e->partX);
    e->srcHeight = std::min(e->srcHeight, b->currentHeight - e->partY);
    if (e->srcWidth < 1 || e->srcHeight < 1 || !b->current.bitmap) return ERR_WRONGUSAGE;
    cxLayerImageContent *c = nullptr;
    if (int err = CopyImageContent(b->current.bitmap, b->current.mask, b->current.alpha, e->partX, e->partY,
                                   e->srcWidth, e->srcHeight, &c))
        return err;
    e->SetContent(c);
    return 0;
}

int ReadAnimContent(lua_State *L, int table, cxStyleEdit *e) {
    cxObjectID id = e->source;
    const bool newId = GetTableObjectID(L, table, "id", &id, nullptr) &&
                       (id.number != e->source.number || id.pointer != e->source.pointer);
    int frame = 0;
    const bool hasFrame = GetTableInt(L, table, "frame", &frame, nullptr) != 0;
    if (!newId && !hasFrame) return 0;
    int32_t frames = 0;
    if (int err = MakeAnimFrameContent(L, id, 0, nullptr, nullptr, nullptr, &frames)) return err;
    int32_t index = newId ? 0 : e->partX;
    if (hasFrame) {
        if (frame == -1 && frames > 0) index = frames - 1;
        else if (frame >= 1 && frame <= frames) index = frame - 1;
        else return ERR_ANIMFRAME;
    }
    if (!newId && index == e->partX) return 0;
    cxLayerImageContent *c = nullptr;
    int32_t w = 0, h = 0;
    if (int err = MakeAnimFrameContent(L, id, index, &c, &w, &h, nullptr)) return err;
    e->SetContent(c);
    e->source = id;
    e->partX = index;
    e->srcWidth = w, e->srcHeight = h;
    return 0;
}

int ReadTextObjectContent(lua_State *L, int table, cxStyleEdit *e) {
    cxObjectID id = e->source;
    if (!GetTableObjectID(L, table, "id", &id, nullptr)) return 0;
    if (id.number == e->source.number && id.pointer == e->source.pointer && e->content) return 0;
    cxTextObject *t = nullptr;
    if (int err = FindTextObject(L, id, &t, 0)) return err;
    if (!t->bitmap) return ERR_BITMAP;
    cxLayerImageContent *c = nullptr;
    if (int err = CopyImageContent(t->bitmap, t->mask, t->alpha, 0, 0, t->width, t->height, &c)) return err;
    e->SetContent(c);
    e->source = id;
    e->srcWidth = t->width, e->srcHeight = t->height;
    return 0;
}

int ReadTextContent(lua_State *L, int table, cxStyleEdit *e) {
    static const char *const kKeys[] = {"color",      "fontstyle", "fontstyleclear", "encoding", "align",
                                        "leftmargin", "rightmargin", "cursorx",      "cursory",  "tabs",
                                        "fontsize",   "font",        "fontengine",   "fontcache", "text"};
    bool any = false;
    for (const char *k : kKeys) any = any || Present(L, table, k);
    if (!any) return 0;
    auto *c = static_cast<cxLayerTextContent *>(e->OwnContent());
    if (!c) return ERR_MEM;
    cxTextRecord &r = *c->record;
    cxTextRecord before = r;
    uint32_t colour = 0;
    if (GetTableBool(L, table, "color", &colour, nullptr)) r.style.colour = colour;
    int v = 0;
    if (GetTableInt(L, table, "fontstyle", &v, nullptr)) {
        const uint32_t bits = uint32_t(v) & 127u;
        r.style.flags = (bits & CX_TEXT_NORMAL) ? CX_TEXT_NORMAL : bits ? ((r.style.flags & ~CX_TEXT_NORMAL) | bits) : r.style.flags;
    }
    if (GetTableInt(L, table, "fontstyleclear", &v, nullptr)) {
        r.style.flags &= ~(uint32_t(v) & ~CX_TEXT_NORMAL);
        if (!r.style.flags) r.style.flags = CX_TEXT_NORMAL;
    }
    if (GetTableInt(L, table, "encoding", &v, nullptr)) {
        if (v != 0 && v != 1) return ERR_WRONGUSAGE;
        r.encoding = v;
    }
    if (GetTableInt(L, table, "align", &v, nullptr)) {
        if (v != CX_ALIGN_LEFT && v != CX_ALIGN_CENTER && v != CX_ALIGN_RIGHT && v != CX_ALIGN_JUSTIFIED)
            return ERR_WRONGUSAGE;
        r.align = v;
    }
    bool f = false;
    if (int err = ReadCoord32(L, table, "leftmargin", &r.leftMargin, &f)) return err;
    if (int err = ReadCoord32(L, table, "rightmargin", &r.rightMargin, &f)) return err;
    if (int err = ReadCoord32(L, table, "cursorx", &r.cursorX, &f)) return err;
    if (int err = ReadCoord32(L, table, "cursory", &r.cursorY, &f)) return err;
    std::vector<double> tabs;
    bool hasTabs = false;
    if (int err = ReadNumberList(L, table, "tabs", &tabs, &hasTabs)) return err;
    if (hasTabs) {
        if (tabs.size() > CX_TEXT_TAB_STOPS) return ERR_INTERNAL;
        r.tabCount = int32_t(tabs.size());
        for (size_t i = 0; i < tabs.size(); ++i)
            r.tabStops[i] = int32_t(std::clamp(std::trunc(tabs[i]), -2147483648.0, 2147483647.0));
    }
    // A font by name and size, through the font cache; the layer's own
    // font when the name and size are its.
    const bool hasFont = Present(L, table, "font"), hasSize = Present(L, table, "fontsize"),
               hasEngine = Present(L, table, "fontengine"), hasCache = Present(L, table, "fontcache");
    if (hasFont || hasSize || hasEngine || hasCache) {
        cxOsFont *current = r.style.font ? r.style.font : GetCurrentFont();
        char name[1024];
        snprintf(name, sizeof name, "%s", current ? current->name : "topaz");
        GetTableString(L, table, "font", name, sizeof name, nullptr);
        int size = current ? current->size : 8, engine = 0, cache = 1;
        GetTableInt(L, table, "fontsize", &size, nullptr);
        GetTableInt(L, table, "fontengine", &engine, nullptr);
        GetTableInt(L, table, "fontcache", &cache, nullptr);
        const bool same = current && !hasEngine && !hasCache && size == current->size &&
                          StrCompareNoCase(name, current->name) == 0;
        if (!same) {
            if (size < 1) return ERR_WRONGUSAGE;
            cxOsFont *font = nullptr;
            if (int err = OpenFontCached(name, size, uint32_t(engine), uint32_t(cache), current ? current->usePoints : 0,
                                         0, &font))
                return err;
            r.style.font = font;
        }
    }
    size_t length = 0;
    const char *text = nullptr;
    lua_pushstring(L, "text");
    lua_gettable(L, table);
    if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) {
        text = lua_tostring(L, -1);
        length = lua_strlen(L, -1);
    } else if (!lua_isnil(L, -1)) {
        lua_settop(L, -2);
        SetErrorDetail("text");
        return ERR_STRTABLEARG;
    }
    if (text) {
        // Text with a zero byte inside would end early: refused.
        if (strlen(text) != length) {
            lua_settop(L, -2);
            return ERR_WRONGUSAGE;
        }
        char *copy = strdup(text);
        lua_settop(L, -2);
        if (!copy) return ERR_MEM;
        free(r.text);
        r.text = copy;
    } else {
        lua_settop(L, -2);
    }
    // What the layout kept of the old text no longer fits.
    const bool relayout = r.text != before.text || r.style.font != before.style.font || r.align != before.align ||
                          r.leftMargin != before.leftMargin || r.rightMargin != before.rightMargin || hasTabs ||
                          r.encoding != before.encoding || r.style.flags != before.style.flags;
    if (relayout) {
        free(r.lineBreaks);
        free(r.tabChoices);
        r.lineBreaks = r.tabChoices = nullptr;
        r.lineBreakCount = r.tabChoiceCount = 0;
    }
    return 0;
}

int ReadShapeContent(lua_State *L, int table, cxStyleEdit *e) {
    static const char *const kKeys[] = {"color", "sizex", "sizey", "roundlevel", "cornera", "cornerb", "cornerc",
                                        "cornerd", "radius", "radiusa", "radiusb", "x1", "y1", "x2", "y2",
                                        "thickness", "vertices", "numvertices", "startangle", "endangle", "clockwise",
                                        "formstyle", "formstyleclear", "fillstyle", "gradientstyle", "gradientangle",
                                        "gradientstartcolor", "gradientendcolor", "gradientcenterx",
                                        "gradientcentery", "gradientbalance", "gradientborder", "gradientcolors",
                                        "texturebrush", "texturex", "texturey"};
    bool any = false;
    for (const char *k : kKeys) any = any || Present(L, table, k);
    if (!any) return 0;
    const bool fresh = e->type != e->layer->type;
    auto *c = static_cast<cxLayerShapeContent *>(e->OwnContent());
    if (!c) return ERR_MEM;
    cxShape &s = c->shape;
    uint32_t colour = 0;
    if (GetTableBool(L, table, "color", &colour, nullptr)) c->colour = colour;
    int shadow = e->shadow.on ? 1 : 0, edge = e->border.on ? 1 : 0, found = 0, changed = 0;
    if (int err = ReadFillStyleKeys(L, table, &shadow, &edge, c, &found, &changed)) return err;
    if (changed) {
        // SHADOW and EDGE are the layer's shadow and border; clearing them
        // also clears what was drawn into the shape itself.
        if (shadow && !e->shadow.on) {
            if (!(e->shadow.radius >= 1) || !(e->shadow.sigma > 0)) DefaultLayerShadow(&e->shadow);
            e->shadow.on = 1;
        }
        if (!shadow) e->shadow.on = 0;
        if (edge && !e->border.on) {
            if (e->border.size < 1) DefaultLayerBorder(&e->border);
            e->border.on = 1;
        }
        if (!edge) e->border.on = 0;
    }
    const double kMax = CX_SHAPE_MAXCOORD;
    auto size = [&](const char *key, double *out) -> int {
        double v = 0;
        bool f = false;
        if (int err = ReadFinite(L, table, key, &v, &f)) return err;
        if (!f) return 0;
        if (v < 0 || v > kMax) return ERR_WRONGUSAGE;
        *out = v;
        return 0;
    };
    auto coord = [&](const char *key, double *out, double origin) -> int {
        double v = 0;
        bool f = false;
        if (int err = ReadFinite(L, table, key, &v, &f)) return err;
        if (!f) return 0;
        if (std::fabs(v) > kMax) return ERR_WRONGUSAGE;
        *out = v - origin;
        return 0;
    };
    int32_t corner = 0;
    bool f = false;
    switch (e->type) {
    case CX_LAYER_BOX: {
        if (int err = size("sizex", &s.width)) return err;
        if (int err = size("sizey", &s.height)) return err;
        if (int err = ReadCoord32(L, table, "roundlevel", &corner, &f)) return err;
        if (f) {
            if (corner < 0) return ERR_WRONGUSAGE;
            for (int32_t &k : s.corners) k = corner;
        }
        const char *keys[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
        for (int i = 0; i < 4; ++i) {
            f = false;
            if (int err = ReadCoord32(L, table, keys[i], &s.corners[i], &f)) return err;
            if (s.corners[i] < 0) return ERR_WRONGUSAGE;
        }
        break;
    }
    case CX_LAYER_CIRCLE:
        if (int err = size("radius", &s.width)) return err;
        s.height = s.width;
        break;
    case CX_LAYER_ELLIPSE:
    case CX_LAYER_ARC: {
        if (int err = size("radiusa", &s.width)) return err;
        if (int err = size("radiusb", &s.height)) return err;
        if (e->type == CX_LAYER_ARC) {
            if (int err = ReadFinite(L, table, "startangle", &s.startAngle, &f)) return err;
            if (int err = ReadFinite(L, table, "endangle", &s.endAngle, &f)) return err;
            int cw = 0;
            if (GetTableInt(L, table, "clockwise", &cw, nullptr)) s.clockwise = cw ? 1 : 0;
        }
        break;
    }
    case CX_LAYER_LINE: {
        // The ends as they lie on the picture; kept relative to the layer.
        const double ox = e->layer->base->x, oy = e->layer->base->y;
        if (int err = coord("x1", &s.x, ox)) return err;
        if (int err = coord("y1", &s.y, oy)) return err;
        if (int err = coord("x2", &s.x2, ox)) return err;
        if (int err = coord("y2", &s.y2, oy)) return err;
        int32_t thickness = s.thickness;
        if (int err = ReadCoord32(L, table, "thickness", &thickness, &f)) return err;
        if (thickness < 0) return ERR_WRONGUSAGE;
        s.thickness = thickness;
        break;
    }
    case CX_LAYER_POLYGON: {
        std::vector<double> v;
        bool has = false;
        if (int err = ReadNumberList(L, table, "vertices", &v, &has)) return err;
        int count = 0;
        const bool hasCount = GetTableInt(L, table, "numvertices", &count, nullptr) != 0;
        if (!has && !hasCount) break;
        if (!has) {
            v.assign(c->points, c->points + 2 * size_t(std::max(s.pointCount, 0)));
        }
        if (!hasCount) count = int(v.size() / 2);
        if (count < 2 || count > CX_SHAPE_MAXPOINTS || size_t(count) * 2 > v.size()) return ERR_WRONGUSAGE;
        for (size_t i = 0; i < size_t(count) * 2; ++i)
            if (std::fabs(v[i]) > kMax) return ERR_WRONGUSAGE;
        auto *points = static_cast<double *>(malloc(sizeof(double) * 2 * size_t(count)));
        if (!points) return ERR_MEM;
        memcpy(points, v.data(), sizeof(double) * 2 * size_t(count));
        free(c->points);
        c->points = points;
        s.points = points;
        s.pointCount = count;
        break;
    }
    default: break;
    }
    if (fresh) {
        // A shape made from a layer of another kind has the top-left of
        // its box at the layer's position.
        if (e->type == CX_LAYER_CIRCLE || e->type == CX_LAYER_ELLIPSE || e->type == CX_LAYER_ARC)
            s.x = s.width, s.y = s.height;
    }
    return 0;
}

int ReadPathContent(lua_State *L, int table, cxStyleEdit *e) {
    static const char *const kKeys[] = {"id",         "color",      "linejoin",     "linecap", "fillrule",
                                        "dashoffset", "miterlimit", "vectorengine", "dashes"};
    bool any = false;
    for (const char *k : kKeys) any = any || Present(L, table, k);
    if (!any) return 0;
    cxObjectID id{};
    cxPath *path = nullptr;
    // The path the layer was drawn from is not looked up again: it may be
    // gone, the layer keeps its own copy.
    const bool hasId = GetTableObjectID(L, table, "id", &id, nullptr) != 0 &&
                       (id.number != e->source.number || id.pointer != e->source.pointer || !e->content);
    if (hasId)
        if (int err = FindPath(id, &path)) return err;
    char engineName[256] = "";
    cxPlugin *engine = nullptr;
    if (GetTableString(L, table, "vectorengine", engineName, sizeof engineName, nullptr)) {
        engine = FindVectorEngine(engineName);
        if (!engine) {
            SetErrorDetail(engineName);
            return ERR_FINDPLUGIN;
        }
    }
    std::vector<double> dashes;
    bool hasDashes = false;
    if (int err = ReadNumberList(L, table, "dashes", &dashes, &hasDashes)) return err;
    for (double d : dashes)
        if (d < 0) return ERR_WRONGUSAGE;

    if (!e->content) {
        // A layer that becomes a path takes the current vector style.
        cxPathRender r{};
        r.style = *GetVectorStyle();
        r.style.drawStyle = *GetDrawStyle();
        r.colour = 0xFFFFFF;
        r.engine = GetCurrentVectorEngine();
        cxLayerPathContent *c = NewPathContent(&r);
        if (!c) return ERR_MEM;
        e->SetContent(c);
    }
    auto *c = static_cast<cxLayerPathContent *>(e->OwnContent());
    if (!c) return ERR_MEM;
    cxPathRender &r = c->render;
    if (path) {
        const uint32_t bytes = path->items ? uint32_t(PathUsedBytes(path) + 4) : 0;
        uint8_t *items = bytes ? static_cast<uint8_t *>(malloc(bytes)) : nullptr;
        if (bytes && !items) return ERR_MEM;
        if (items) memcpy(items, path->items, bytes);
        free(const_cast<uint8_t *>(r.items));
        r.items = items;
        r.capacity = bytes;
        e->source = id;
    }
    uint32_t colour = 0;
    if (GetTableBool(L, table, "color", &colour, nullptr)) r.colour = colour;
    int v = 0;
    if (GetTableInt(L, table, "linejoin", &v, nullptr)) r.style.lineJoin = uint32_t(v);
    if (GetTableInt(L, table, "linecap", &v, nullptr)) r.style.lineCap = uint32_t(v);
    if (GetTableInt(L, table, "fillrule", &v, nullptr)) r.style.fillRule = uint32_t(v);
    bool f = false;
    if (int err = ReadFinite(L, table, "dashoffset", &r.style.dashOffset, &f)) return err;
    double limit = r.style.miterLimit;
    if (int err = ReadFinite(L, table, "miterlimit", &limit, &f)) return err;
    if (limit < 0) return ERR_WRONGUSAGE;
    r.style.miterLimit = limit;
    if (engine) r.engine = IsInbuiltVectorEngine(engine) ? nullptr : engine;
    if (hasDashes && SetVectorDashes(&r.style, r.style.dashOffset, dashes.data(), uint32_t(dashes.size())))
        return ERR_MEM;
    return 0;
}

int ReadContent(lua_State *L, int table, cxStyleEdit *e) {
    switch (e->type) {
    case CX_LAYER_BRUSH:
    case CX_LAYER_BRUSHPART: return ReadBrushContent(L, table, e);
    case CX_LAYER_BGPICPART: return ReadBGPicPartContent(L, table, e);
    case CX_LAYER_ANIM: return ReadAnimContent(L, table, e);
    case CX_LAYER_TEXTOBJECT: return ReadTextObjectContent(L, table, e);
    case CX_LAYER_TEXTOUT:
    case CX_LAYER_PRINT: return ReadTextContent(L, table, e);
    case CX_LAYER_VECTORPATH: return ReadPathContent(L, table, e);
    default: return IsShapeLayerType(e->type) ? ReadShapeContent(L, table, e) : 0;
    }
}

// Scales, sizes, rotation and an explicit matrix. A "transform" equal to
// the layer's matrix changes nothing (GetLayerStyle reports it beside the
// scales); another one replaces scales and rotation.
int ReadTransform(lua_State *L, int table, cxStyleEdit *e) {
    cxTransformOptions &t = e->transform.options;
    double m[4];
    int found = 0;
    if (GetTableNumbers(L, table, "transform", m, &found)) {
        for (double v : m)
            if (!std::isfinite(v)) return ERR_WRONGUSAGE;
        if (m[0] == 0 || m[3] == 0) return ERR_WRONGUSAGE;
        if (memcmp(m, t.matrix, sizeof m) == 0) return 0;
        memcpy(t.transform, m, sizeof m);
        memcpy(t.matrix, m, sizeof m);
        t.hasTransform = 1;
        t.scaleX = t.scaleY = 1;
        t.rotate = 0;
        t.width = t.height = 0;
        return 0;
    }
    bool any = false, scaled = false;
    double v = 0;
    for (int axis = 0; axis < 2; ++axis) {
        bool f = false;
        if (int err = ReadFinite(L, table, axis ? "scaley" : "scalex", &v, &f)) return err;
        if (!f) continue;
        if (v == 0) return ERR_BADDIMENSIONS;
        (axis ? t.scaleY : t.scaleX) = v;
        (axis ? t.height : t.width) = 0;
        scaled = any = true;
    }
    if (!scaled) {
        for (int axis = 0; axis < 2; ++axis) {
            const char *key = axis ? "height" : "width";
            int isPercent = 0;
            if (!GetTableNumberOrPercent(L, table, key, 0, 1, &v, &isPercent, nullptr)) continue;
            if (!std::isfinite(v)) return ERR_WRONGUSAGE;
            if (isPercent) {
                if (v == 0) return ERR_BADDIMENSIONS;
                (axis ? t.scaleY : t.scaleX) = v;
                (axis ? t.height : t.width) = 0;
            } else {
                const double n = std::trunc(v);
                if (n < 1) return ERR_BADDIMENSIONS;
                const int32_t size = n >= 2147483647.0 ? INT32_MAX : int32_t(n);
                const int32_t src = axis ? e->srcHeight : e->srcWidth;
                (axis ? t.height : t.width) = size == src ? 0 : size;
                (axis ? t.scaleY : t.scaleX) = 1;
            }
            any = true;
        }
    }
    bool f = false;
    if (int err = ReadFinite(L, table, "rotate", &v, &f)) return err;
    if (f) {
        t.rotate = std::fmod(v, 360.0);
        any = true;
    }
    if (any) {
        t.hasTransform = 0;
        BuildTransformMatrix(&e->transform, e->srcWidth, e->srcHeight);
        for (double k : t.matrix)
            if (!std::isfinite(k)) return ERR_WRONGUSAGE;
    }
    return 0;
}

int ReadLevelKey(lua_State *L, int table, const char *key, int32_t *out, bool *found) {
    double v = 0;
    if (!GetTableNumberOrPercent(L, table, key, 255, 0, &v, nullptr, nullptr)) return 0;
    if (std::isnan(v)) return ERR_WRONGUSAGE;
    *out = v <= 0 ? 0 : v >= 255 ? 255 : int32_t(v);
    *found = true;
    return 0;
}

}  // namespace

void DefaultLayerShadow(cxShadowOptions *s) {
    *s = cxShadowOptions{s->on, 0x80000000u, 4, 3, 5.0, 5.0 / 3.0};
}

void DefaultLayerBorder(cxBorderOptions *b) { *b = cxBorderOptions{b->on, 0, 2}; }

cxStyleEdit::cxStyleEdit(cxLayer *l) : layer(l) {
    type = l->type;
    source = l->source;
    content = l->content;
    partX = l->base->partX, partY = l->base->partY;
    srcWidth = l->base->srcWidth, srcHeight = l->base->srcHeight;
    transform = l->transform;
    anchorX = l->anchorX, anchorY = l->anchorY;
    transparency = l->transparency;
    hidden = l->hidden;
    shadow = l->shadow;
    border = l->border;
    memcpy(filters, l->filters, sizeof filters);
    clipOption = l->clipOption;
}

cxStyleEdit::~cxStyleEdit() {
    if (ownsContent) FreeLayerOwnContent(type, content);
    if (clip) ReleaseClipRegion(clip);
}

void *cxStyleEdit::OwnContent() {
    if (ownsContent) return content;
    if (!content) return nullptr;
    void *copy = CopyLayerOwnContent(type, content);
    if (!copy) return nullptr;
    content = copy;
    ownsContent = true;
    return copy;
}

void cxStyleEdit::SetContent(void *c) {
    if (ownsContent) FreeLayerOwnContent(type, content);
    content = c;
    ownsContent = c != nullptr;
}

int ReadStyleEdit(lua_State *L, int table, cxStyleEdit *e) {
    if (table < 0) table = lua_gettop(L) + table + 1;
    const cxLayer *l = e->layer;
    if (int err = ReadType(L, table, e)) return err;
    if (int err = ReadContent(L, table, e)) return err;
    if (int err = ReadTransform(L, table, e)) return err;
    int n = 0;
    if (GetTableInt(L, table, "smoothscale", &n, nullptr)) e->transform.options.smoothScale = n ? 1 : 0;

    for (int axis = 0; axis < 2; ++axis) {
        double a = 0;
        bool f = false;
        if (int err = ReadFinite(L, table, axis ? "anchory" : "anchorx", &a, &f)) return err;
        if (!f) continue;
        if (a < 0 || a > 1) return ERR_WRONGUSAGE;
        (axis ? e->anchorY : e->anchorX) = a;
        (axis ? e->transform.options.anchorY : e->transform.options.anchorX) = a;
    }

    bool f = false;
    if (int err = ReadCoord(L, table, "translatex", &e->translateX, &f)) return err;
    if (int err = ReadCoord(L, table, "translatey", &e->translateY, &f)) return err;
    if (int err = ReadCoord(L, table, "x", &e->x, &e->hasX)) return err;
    if (int err = ReadCoord(L, table, "y", &e->y, &e->hasY)) return err;

    bool level = false;
    if (int err = ReadLevelKey(L, table, "transparency", &e->transparency, &level)) return err;
    int clear = 0;
    if (GetTableTruth(L, table, "clearfilters", &clear, nullptr) && clear)
        for (cxFilter &slot : e->filters) slot = cxFilter{};
    int hasFilters = 0, err = 0;
    ParseFilterTable(L, table, e->filters, &hasFilters, &err);
    if (err) return err;
    cxFilter &tint = e->filters[CX_FILTER_TINT];
    bool tinted = false;
    int32_t tintLevel = tint.active ? tint.ints[1] : 0;
    if (int e2 = ReadLevelKey(L, table, "tint", &tintLevel, &tinted)) return e2;
    uint32_t tintColour = uint32_t(tint.ints[0]);
    const bool coloured = GetTableBool(L, table, "tintcolor", &tintColour, nullptr) != 0;
    if (tinted || coloured) {
        if (!tint.active && !tint.ints[0] && !tint.ints[1]) SetFilterDefaults(&tint, CX_FILTER_TINT);
        if (coloured) tint.ints[0] = int32_t(tintColour & 0xFFFFFFu);
        if (tinted) {
            tint.ints[1] = tintLevel;
            tint.active = tintLevel > 0 ? 1 : 0;
        }
    }

    uint32_t hidden = 0;
    if (GetTableBool(L, table, "hidden", &hidden, nullptr)) e->hidden = hidden ? 1 : 0;
    if (int e2 = ReadShadowOptions(L, table, &e->shadow)) return e2;
    if (e->shadow.on && !(e->shadow.radius <= 1e6)) return ERR_WRONGUSAGE;
    if (int e2 = ReadBorderOptions(L, table, IsTextLayerType(e->type) || IsShapeLayerType(e->type), &e->border))
        return e2;

    lua_pushstring(L, "clipregion");
    lua_gettable(L, table);
    const int clipType = lua_type(L, -1);
    const bool clearClip = clipType == LUA_TNUMBER && lua_tonumber(L, -1) == -1;
    lua_settop(L, -2);
    if (clearClip) {
        e->clipSet = true;
    } else {
        cxObjectID id{};
        if (GetTableObjectID(L, table, "clipregion", &id, nullptr)) {
            const cxClipRegion *current = l->base->clip;
            const bool same = current && !current->privateCopy && id.number == current->header.idNumber &&
                              id.pointer == current->header.idPointer;
            if (!same) {
                cxClipRegion *r = nullptr;
                if (int e2 = FindClipRegion(id, &r, 0)) return e2;
                e->clip = UseClipRegion(r);
                if (!e->clip) return ERR_MEM;
                e->clipSet = true;
            }
        }
    }
    uint32_t noClip = 0;
    if (GetTableBool(L, table, "nocliptransform", &noClip, nullptr)) e->clipOption = noClip ? 1 : 0;

    int z = 0;
    if (GetTableLayerPos(L, table, "z", &z, nullptr)) {
        if (z < 0) return ERR_WRONGUSAGE;
        e->hasZ = true;
        e->z = z;
    }
    return 0;
}

void GetEffectiveScale(const cxLayer *l, double *sx, double *sy) {
    const cxTransformOptions &t = l->transform.options;
    const int32_t w = l->base->srcWidth, h = l->base->srcHeight;
    *sx = t.width && w ? double(t.width) / w : t.scaleX;
    *sy = t.height && h ? double(t.height) / h : t.scaleY;
}
