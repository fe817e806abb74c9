#include "text/vector/path_render.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "display/blit/safe_blt.h"
#include "display/draw/draw_output.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/blit/blit.h"
#include "graphics/geometry/geometry.h"
#include "graphics/gradient/gradient.h"
#include "graphics/vector/ft_engine.h"
#include "graphics/vector/vector_engine.h"
#include "images/core/display_options.h"
#include "images/core/render_target.h"
#include "text/vector/vector_font_cache.h"

namespace {

cxPathLayerHook g_layerHook = nullptr;

// Boxes beyond these are refused as bitmaps that cannot be made.
constexpr int32_t kMaxSide = 32767;
constexpr int64_t kMaxPixels = int64_t(1) << 28;

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

// Every Text item gets this engine's handle of its font.
int BindTextItems(const cxPathRender *r, cxPlugin *engine) {
    size_t off = 0, size;
    while ((size = PathItemSizeAt(r->items, r->capacity, off)) != 0) {
        const uint8_t *p = r->items + off;
        if (PathWord(p) == CX_PATH_TEXT) {
            cxOsFont *font = GetVectorFontOfKey(PathWord(p + 4));
            if (!font) return ERR_VFONT;
            void *handle = nullptr;
            if (int err = GetVectorFont(font, engine, &handle)) return err;
        }
        off += size;
    }
    return 0;
}

cxGradient ToGradient(const cxDrawGradient &g) {
    cxGradient grad{};
    grad.style = uint32_t(g.type);
    grad.startColour = g.startColor;
    grad.endColour = g.endColor;
    grad.angle = int32_t(std::fmod(g.angle, 360.0));
    grad.centerX = grad.centerY = 0.5;
    grad.balance = 0.5;
    return grad;
}

struct Coverage {
    Buffer pixels;
    int32_t x = 0, y = 0, width = 0, height = 0;
};

// Why the inbuilt engine built nothing, as the system's error; fallback
// when it had no reason of its own (a path with nothing to draw).
int EngineFailure(bool inbuilt, int fallback) {
    switch (inbuilt ? TakeVectorBuildFailure() : CX_VECTOR_FAILED_NOTHING) {
    case CX_VECTOR_FAILED_RANGE: return ERR_COORDSRANGE;
    case CX_VECTOR_FAILED_POINTS: return ERR_INTERNAL; // FreeType's limit on one outline
    default: return fallback;
    }
}

int Render(cxPathRender *r, int fill, int32_t lineWidth, const double *matrix, double ox, double oy, Coverage &c) {
    uint8_t *pixels = nullptr;
    const int err = RenderPathCoverage(r, fill, lineWidth, matrix, ox, oy, &pixels, &c.x, &c.y, &c.width, &c.height);
    c.pixels.reset(pixels);
    return err;
}

// Draws one coverage at (x, y) in a colour, or the drawing style's gradient.
int Deliver(lua_State *L, const cxDrawOutputHooks &hooks, const cxDrawOutput &out, const Coverage &c, int32_t x,
            int32_t y, uint32_t colour, const cxDrawGradient *gradient, const cxLayerOptions &effects) {
    if (out.kind == CX_OUTPUT_DISPLAY) {
        cxBitmap *image = AllocBitmap(c.width, c.height, 0, 0);
        if (!image) return ERR_BITMAP;
        cxBitmap *alpha = AllocAlphaChannel(c.width, c.height, 0, nullptr, 0);
        if (!alpha) {
            FreeBitmap(image);
            return ERR_ALLOCALPHA;
        }
        int err = 0;
        if (gradient) {
            const cxGradient grad = ToGradient(*gradient);
            err = DrawGradient(image, 0, 0, c.width, c.height, &grad);
        }
        if (!gradient || err) err = FillRect(image, 0, 0, c.width, c.height, colour & 0xFFFFFFu);
        uint8_t *rows = reinterpret_cast<uint8_t *>(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS));
        const size_t pitch = size_t(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_BYTESPERROW));
        if (rows)
            for (int32_t j = 0; j < c.height; ++j)
                memcpy(rows + size_t(j) * pitch, c.pixels.get() + size_t(j) * size_t(c.width), size_t(c.width));
        // Transparency and filters of the options, as a layer would show them.
        cxBitmap *mask = nullptr;
        if (!err && rows) err = ApplyLayerOptionEffects(L, &effects, c.width, c.height, image, &alpha, &mask, 1);
        if (!err && rows)
            SafeBlt(L, image, 0, 0, nullptr, x, y, c.width, c.height, c.width, c.height, out.target.width,
                    out.target.height, CX_SAFEBLT_FIRSTBACK, nullptr, alpha, nullptr);
        FreeAlphaChannel(alpha);
        FreeBitmap(image);
        return err ? err : rows ? 0 : ERR_ALLOCALPHA;
    }
    const cxDrawRect box{x, y, c.width, c.height};
    if (effects.transparency > 0) {
        // A transparent drawing: its coverage scaled down.
        const size_t n = size_t(c.width) * size_t(c.height);
        Buffer faded(static_cast<uint8_t *>(malloc(n)));
        if (!faded) return ERR_MEM;
        const uint32_t keep = uint32_t(255 - std::min(effects.transparency, 255));
        for (size_t i = 0; i < n; ++i) faded.get()[i] = uint8_t(c.pixels.get()[i] * keep / 255);
        DrawCoverage(&out.target, &box, faded.get(), colour, gradient);
    } else {
        DrawCoverage(&out.target, &box, c.pixels.get(), colour, gradient);
    }
    if (hooks.drawn) {
        const int64_t l = std::max<int64_t>(x, 0), t = std::max<int64_t>(y, 0);
        const int64_t r = std::min<int64_t>(int64_t(x) + c.width, out.target.width);
        const int64_t b = std::min<int64_t>(int64_t(y) + c.height, out.target.height);
        if (r > l && b > t) {
            const cxDrawRect changed{int32_t(l), int32_t(t), int32_t(r - l), int32_t(b - t)};
            hooks.drawn(L, &out, &changed);
        }
    }
    return 0;
}

const int kShadowDir[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};

int32_t ClampCoordinate(double v) { return int32_t(std::clamp(v, -1e9, 1e9)); }

} // namespace

extern "C" int BindPathTextItems(const cxPathRender *r, cxPlugin *engine) { return BindTextItems(r, engine); }

extern "C" int FillPathImage(const cxPathRender *r, cxBitmap *image, int32_t width, int32_t height) {
    const cxDrawStyle &ds = r->style.drawStyle;
    if (ds.fillStyle == CX_FILLGRADIENT) {
        const cxGradient grad = ToGradient(ds.gradient);
        if (DrawGradient(image, 0, 0, width, height, &grad) == 0) return 0;
    }
    return FillRect(image, 0, 0, width, height, r->colour & 0xFFFFFFu);
}

extern "C" void SetPathLayerHook(cxPathLayerHook hook) { g_layerHook = hook; }

extern "C" int RenderPathCoverage(cxPathRender *r, int fill, int32_t lineWidth, const double *matrix, double ox,
                                  double oy, uint8_t **coverage, int32_t *boxX, int32_t *boxY, int32_t *width,
                                  int32_t *height) {
    *coverage = nullptr;
    if (!r->items) return ERR_EMPTYPATH;
    const cxPlugin *engine = r->engine ? r->engine : GetInbuiltVectorEngine();
    const bool inbuilt = IsInbuiltVectorEngine(engine);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (inbuilt) TakeVectorBuildFailure();
    GetPathExtentsOf(engine, r->items, &r->style, fill, lineWidth, matrix, &x1, &y1, &x2, &y2, ox, oy);
    if (int err = EngineFailure(inbuilt, 0)) return err;
    double dx = ox, dy = oy;
    if (!inbuilt) {
        // Other engines draw at the offset they are given: the size is
        // measured again with the box's corner at the origin.
        dx = ox - x1;
        dy = oy - y1;
        const double bx = x1, by = y1;
        x1 = y1 = x2 = y2 = 0;
        GetPathExtentsOf(engine, r->items, &r->style, fill, lineWidth, matrix, &x1, &y1, &x2, &y2, dx, dy);
        x1 += bx;
        x2 += bx;
        y1 += by;
        y2 += by;
    }
    for (double v : {x1, y1, x2, y2})
        if (!std::isfinite(v) || std::fabs(v) > 1e9) return ERR_COORDSRANGE;
    const double left = std::floor(x1), top = std::floor(y1);
    const double w = std::ceil(x2) - left, h = std::ceil(y2) - top;
    if (w <= 0 || h <= 0) return ERR_EMPTYPATH;
    if (w > kMaxSide || h > kMaxSide || int64_t(w) * int64_t(h) > kMaxPixels) return ERR_BITMAP;
    uint8_t *pixels = static_cast<uint8_t *>(calloc(size_t(w) * size_t(h), 1));
    if (!pixels) return ERR_BITMAP;
    if (!DrawPathWithEngine(engine, r->items, &r->style, fill, lineWidth, matrix, pixels, int32_t(w), int32_t(w),
                            int32_t(h), dx, dy, 0, 0)) {
        free(pixels);
        return EngineFailure(inbuilt, ERR_DRAWPATH);
    }
    *coverage = pixels;
    *boxX = int32_t(left);
    *boxY = int32_t(top);
    *width = int32_t(w);
    *height = int32_t(h);
    return 0;
}

extern "C" int RenderPath(lua_State *L, cxPathRender *r, int32_t x, int32_t y, int optionsIndex) {
    if (!r->items) return ERR_EMPTYPATH;
    cxPlugin *engine = r->engine ? r->engine : GetInbuiltVectorEngine();
    if (int err = BindTextItems(r, engine)) return err;

    const cxDrawOutputHooks &hooks = *GetDrawOutputHooks();
    cxDrawOutput out{};
    if (!hooks.getOutput) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    if (int err = hooks.getOutput(L, &out)) return err;
    // A selected brush, mask or alpha channel is made ready first.
    if (out.kind == CX_OBJ_BRUSH || out.kind == CX_OBJ_MASK || out.kind == CX_OBJ_ALPHACHANNEL) {
        if (int err = PrepareDrawTarget(L)) return err;
    }
    if (out.layersOn && (out.kind == CX_OBJ_DISPLAY || out.kind == CX_OBJ_BGPIC) && g_layerHook) {
        r->x = x;
        r->y = y;
        return g_layerHook(L, r, optionsIndex);
    }

    const cxDrawStyle &ds = r->style.drawStyle;
    const bool fill = ds.fillStyle != CX_FILLNONE;
    if (ds.fillStyle == CX_FILLTEXTURE && hooks.findTexture)
        if (int err = hooks.findTexture(L, ds.textureBrush)) return err;
    const int32_t lineWidth = std::clamp(ds.lineWidth, 1, 10000);
    Coverage main;
    if (int err = Render(r, fill, lineWidth, nullptr, 0, 0, main)) return err;

    // The display options: a matrix turns the drawing about its anchor
    // point, which stays where it was.
    cxTransformOptions t;
    cxLayerOptions lo;
    if (optionsIndex) {
        if (int err = ReadDisplayOptions(L, optionsIndex, main.width, main.height, 0, 0, 0, &t, &lo, CX_DOPT_INIT))
            return err;
    } else {
        InitDisplayOptions(&t, &lo, main.width, main.height, main.width, main.height, 0, 0);
    }
    const bool turned = !(t.matrix[0] == 1 && t.matrix[1] == 0 && t.matrix[2] == 0 && t.matrix[3] == 1);
    double anchorX = 0, anchorY = 0; // the anchor point, in path coordinates
    if (turned) {
        anchorX = main.x + main.width * t.anchorX;
        anchorY = main.y + main.height * t.anchorY;
        if (int err = Render(r, fill, lineWidth, t.matrix, -anchorX, -anchorY, main)) return err;
    }

    // The drawing's place: special coordinates centre or align its box;
    // others put the path's origin there, less the anchor's share.
    const double shiftX = turned ? anchorX : -std::round(main.width * t.anchorX);
    const double shiftY = turned ? anchorY : -std::round(main.height * t.anchorY);
    const int32_t px = IsSpecialX(x) ? ResolveSpecialX(x, main.width, out.target.width, 0)
                                     : ClampCoordinate(double(x) + main.x + shiftX);
    const int32_t py = IsSpecialY(y) ? ResolveSpecialY(y, main.height, out.target.height, 0)
                                     : ClampCoordinate(double(y) + main.y + shiftY);
    r->x = px;
    r->y = py;
    r->width = main.width;
    r->height = main.height;

    // The border: the outline grown by the border size on each side.
    Coverage border;
    const int32_t borderSize = (ds.formStyle & CX_FORM_EDGE) ? std::clamp(ds.borderSize, 0, 10000) : 0;
    if (borderSize > 0) {
        const int32_t width = fill ? 2 * borderSize : lineWidth + 2 * borderSize;
        if (int err = Render(r, 0, width, turned ? t.matrix : nullptr, turned ? -anchorX : 0, turned ? -anchorY : 0,
                             border))
            return err;
    }
    const Coverage &outer = borderSize > 0 ? border : main;
    const int32_t outerX = px + (outer.x - main.x), outerY = py + (outer.y - main.y);
    if ((ds.formStyle & CX_FORM_SHADOW) && ds.shadowSize > 0) {
        const int *d = kShadowDir[std::clamp(ds.shadowDir, 0, 7)];
        const int32_t off = std::min(ds.shadowSize, 10000);
        if (int err = Deliver(L, hooks, out, outer, outerX + d[0] * off, outerY + d[1] * off, ds.shadowColor, nullptr, lo))
            return err;
    }
    if (borderSize > 0) {
        if (int err = Deliver(L, hooks, out, border, outerX, outerY, ds.borderColor, nullptr, lo)) return err;
    }
    const cxDrawGradient *gradient = fill && ds.fillStyle == CX_FILLGRADIENT ? &ds.gradient : nullptr;
    return Deliver(L, hooks, out, main, px, py, r->colour, gradient, lo);
}

extern "C" int DrawPathCommand(lua_State *L, cxObjectID id, int32_t x, int32_t y, uint32_t colour, int optionsIndex) {
    cxPath *path = nullptr;
    if (int err = FindPath(id, &path)) return err;
    cxPathRender r{};
    r.items = path->items;
    r.capacity = path->items ? uint32_t(PathUsedBytes(path) + 4) : 0;
    r.style = *GetVectorStyle();
    r.style.drawStyle = *GetDrawStyle();
    r.colour = colour;
    r.engine = GetCurrentVectorEngine();
    r.path = id;
    return RenderPath(L, &r, x, y, optionsIndex);
}

namespace {

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }

int AddShapeItems(cxPath *p, const cxShape &s) {
    switch (s.kind) {
    case CX_SHAPE_BOX: {
        // The shape's corner radii in pixels become percentages of half the
        // shorter side; corners top-left, bottom-left, bottom-right, top-right.
        const double half = std::min(std::trunc(s.width), std::trunc(s.height)) / 2;
        auto pct = [&](int32_t radius) {
            return half > 0 ? int32_t(std::clamp(std::lround(radius * 100.0 / half), 0L, 100L)) : 0;
        };
        const cxPathArg a[] = {D(s.x), D(s.y), D(s.width), D(s.height), I(pct(s.corners[0])), I(pct(s.corners[3])),
                               I(pct(s.corners[2])), I(pct(s.corners[1]))};
        return AppendPathItem(p, CX_PATH_BOX, 8, a);
    }
    case CX_SHAPE_CIRCLE:
    case CX_SHAPE_ELLIPSE: {
        const double rb = s.kind == CX_SHAPE_CIRCLE ? s.width : s.height;
        const cxPathArg a[] = {D(s.x), D(s.y), D(s.width), D(rb), D(0), D(360), I(1)};
        if (int err = AppendPathItem(p, CX_PATH_ARC, 7, a)) return err;
        return AppendPathItem(p, CX_PATH_CLOSEPATH, 0, nullptr);
    }
    case CX_SHAPE_POLYGON: {
        for (int32_t i = 0; i < s.pointCount; ++i) {
            const cxPathArg a[] = {I(0), D(s.x + s.points[2 * i]), D(s.y + s.points[2 * i + 1])};
            if (int err = AppendPathItem(p, i ? CX_PATH_LINETO : CX_PATH_MOVETO, 3, a)) return err;
        }
        return AppendPathItem(p, CX_PATH_CLOSEPATH, 0, nullptr);
    }
    case CX_SHAPE_ARC: {
        // Filled, a pie; outlined, the arc alone, as the shape draws it.
        const bool pie = GetDrawStyle()->fillStyle != CX_FILLNONE;
        if (pie) {
            const cxPathArg m[] = {I(0), D(s.x), D(s.y)};
            if (int err = AppendPathItem(p, CX_PATH_MOVETO, 3, m)) return err;
        }
        const cxPathArg a[] = {D(s.x), D(s.y), D(s.width), D(s.height), D(s.startAngle), D(s.endAngle),
                               I(s.clockwise ? 1 : 0)};
        if (int err = AppendPathItem(p, CX_PATH_ARC, 7, a)) return err;
        return pie ? AppendPathItem(p, CX_PATH_CLOSEPATH, 0, nullptr) : 0;
    }
    default: return ERR_WRONGUSAGE;
    }
}

} // namespace

extern "C" int DrawShapeAsPath(lua_State *L, const cxShape *shape, uint32_t colour) {
    cxPath *p = NewPath(0, 1);
    if (!p) return ERR_MEM;
    // The temporary path goes again however the drawing ends.
    struct Drop {
        lua_State *L;
        cxPath *p;
        ~Drop() { FreePathByID(L, GetObjectID(&p->header)); }
    } drop{L, p};
    if (int err = AddShapeItems(p, *shape)) return err;
    return DrawPathCommand(L, GetObjectID(&p->header), 0, 0, colour, 0);
}
