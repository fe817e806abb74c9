// Shape masks (CLOCKWIPE, SUN, STAR): the new picture shows through a mask
// that grows by a filled polygon each step; scaling (CRUSH, the flip
// coins) and PUSH: both pictures drawn scaled or moved at every step.
//
// Polygons are cut to the picture before they are filled, so that the
// scan conversion never leaves the mask. The last step of a shape effect
// copies the whole new picture: the polygons need not cover every pixel.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/effects/transition_kernels.h"
#include "graphics/scale/scaler.h"
#include "graphics/shapes/polygon_clip.h"
#include "graphics/shapes/shape_spans.h"
#include "layers/core/compositor.h"
#include "layers/transitions/effect_draw.h"
#include "layers/transitions/effect_families.h"

namespace {

using cx::fx::DoneFlag;
using cx::fx::RunFrames;

enum Shape { kClock, kSun, kStar };

struct ShapeState {
    cxBitmap *mask;            // the pixels uncovered so far
    std::vector<double> *poly; // the step's polygon and the clip scratch
    std::vector<int32_t> *points;
    std::vector<int32_t> *crossings; // the scan conversion's, one entry a point
    int32_t size0;             // SUN, STAR: the first size
    int32_t perimeter;         // CLOCKWIPE: the hand's whole way
};

ShapeState *State(cxEffectInstance *fx) { return static_cast<ShapeState *>(fx->state); }

// ---- CLOCKWIPE's hand ----

// The point at distance d along the border, clockwise from the top centre;
// *corners receives the corners between from (excluded) and d (included).
struct Border {
    int32_t w, h;
    double c[4];  // distances of the corners: top right, bottom right, bottom left, top left
    double total;
    explicit Border(int32_t W, int32_t H) : w(W), h(H) {
        c[0] = double(W - 1 - W / 2);
        c[1] = c[0] + (H - 1);
        c[2] = c[1] + (W - 1);
        c[3] = c[2] + (H - 1);
        total = c[3] + W / 2;
    }
    void At(double d, double *x, double *y) const {
        if (d <= c[0]) *x = W2() + d, *y = 0;
        else if (d <= c[1]) *x = w - 1, *y = d - c[0];
        else if (d <= c[2]) *x = (w - 1) - (d - c[1]), *y = h - 1;
        else if (d <= c[3]) *x = 0, *y = (h - 1) - (d - c[2]);
        else *x = std::min(d - c[3], double(W2())), *y = 0;
    }
    double W2() const { return double(w / 2); }
    void Corner(int i, double *x, double *y) const {
        static const int kx[4] = {1, 1, 0, 0}, ky[4] = {0, 1, 1, 0};
        *x = kx[i] ? w - 1 : 0;
        *y = ky[i] ? h - 1 : 0;
    }
};

int32_t ClockSpeed(int32_t speed) {
    switch (speed) {
    case CX_SPEED_FAST: return 15;
    case CX_SPEED_NORMAL:
    case CX_SPEED_DEFAULT: return 10;
    case CX_SPEED_SLOW: return 5;
    default: return std::clamp(speed, 1, 30);
    }
}

// ---- SUN and STAR ----

void ShapeSizes(cxEffectInstance *fx, int32_t *sp, int32_t *size0) {
    const int32_t d = std::max(fx->width, fx->height);
    int32_t s = SpeedToStep(fx->speed, d, 12, 6, 24);
    if (s > 100) {
        *sp = 100;
        *size0 = 110;
    } else {
        *sp = std::max(s, 1);
        *size0 = *sp + 10;
    }
}

int64_t SizeAt(const cxEffectInstance *fx, int32_t k) { return int64_t(State(const_cast<cxEffectInstance *>(fx))->size0) + int64_t(k) * fx->speed; }

// The sun's radii at a size (the long axis along the picture's longer side).
void SunRadii(const cxEffectInstance *fx, int64_t size, double *rx, double *ry) {
    const int32_t W = fx->width, H = fx->height;
    const double ratio = double(std::min(W, H)) / std::max(W, H);
    const double longAxis = double(size), shortAxis = std::trunc(1.0 + double(size) * ratio);
    *rx = (W >= H ? longAxis : shortAxis) / 2.0;
    *ry = (W >= H ? shortAxis : longAxis) / 2.0;
}

// The sun is done when its ellipse holds the four corners.
bool SunCovers(const cxEffectInstance *fx, int64_t size) {
    double rx, ry;
    SunRadii(fx, size, &rx, &ry);
    const double cx = (fx->width - 1) / 2.0, cy = (fx->height - 1) / 2.0;
    if (rx <= 0 || ry <= 0) return cx <= 0 && cy <= 0;
    return (cx / rx) * (cx / rx) + (cy / ry) * (cy / ry) <= 1.0;
}

// The star is done when its box is four times the picture's longer side.
bool StarCovers(const cxEffectInstance *fx, int64_t size) { return size >= 4 * int64_t(std::max(fx->width, fx->height)); }

bool IsLast(cxEffectInstance *fx, Shape shape, int32_t k) {
    switch (shape) {
    case kClock: return double(int64_t(k) + 1) * fx->speed >= State(fx)->perimeter;
    case kSun: return SunCovers(fx, SizeAt(fx, k));
    default: return StarCovers(fx, SizeAt(fx, k));
    }
}

// The polygon of step k into s->poly (pairs of doubles); its point count.
int32_t BuildPolygon(cxEffectInstance *fx, Shape shape, int32_t k) {
    ShapeState *s = State(fx);
    std::vector<double> &p = *s->poly;
    p.clear();
    const int32_t W = fx->width, H = fx->height;
    if (shape == kClock) {
        const Border b(W, H);
        const double from = double(k) * fx->speed, to = std::min(double(int64_t(k) + 1) * fx->speed, b.total);
        double x, y;
        p.push_back(double(W / 2)), p.push_back(double(H / 2));
        b.At(from, &x, &y), p.push_back(x), p.push_back(y);
        for (int i = 0; i < 4; ++i)
            if (b.c[i] > from && b.c[i] <= to) b.Corner(i, &x, &y), p.push_back(x), p.push_back(y);
        b.At(to, &x, &y), p.push_back(x), p.push_back(y);
    } else if (shape == kSun) {
        double rx, ry;
        SunRadii(fx, SizeAt(fx, k), &rx, &ry);
        p.resize(360 * 2);
        BuildArcPolygon(p.data(), 360, (W - 1) / 2.0, (H - 1) / 2.0, rx, ry, 0.0, 359.0, 360);
    } else {
        const int64_t size = SizeAt(fx, k);
        double a, bh;
        if (W >= H) a = double(size), bh = std::trunc(1.0 + double(size) * H / W);
        else bh = double(size), a = std::trunc(1.0 + double(size) * W / H);
        const double left = (W - 1) / 2.0 - a / 2.0, top = (H - 1) / 2.0 - bh / 2.0;
        // Outer points: the top, the right arm, the two feet, the left arm;
        // inner points between them.
        static const double kStar[10][2] = {{0.5, 0.0}, {0.6, 0.375}, {1.0, 0.375}, {0.7, 0.6},  {0.8, 1.0},
                                            {0.5, 0.75}, {0.2, 1.0}, {0.3, 0.6},  {0.0, 0.375}, {0.4, 0.375}};
        for (const auto &c : kStar) p.push_back(left + c[0] * a), p.push_back(top + c[1] * bh);
    }
    return int32_t(p.size() / 2);
}

// Cuts the polygon to the picture and fills it into the mask; the box of
// what was filled (width 0: nothing).
int FillStepPolygon(cxEffectInstance *fx, int32_t count, int32_t box[4]) {
    ShapeState *s = State(fx);
    const int32_t W = fx->width, H = fx->height;
    box[0] = box[1] = box[2] = box[3] = 0;
    std::vector<double> &p = *s->poly;
    const size_t room = size_t(count) * 16 * 2;
    p.resize(size_t(count) * 2 + 2 * room);
    double *a = p.data() + size_t(count) * 2, *b = a + room;
    const double *clipped = nullptr;
    const int32_t n = ClipPolygonToRect(p.data(), count, a, b, 0.0, 0.0, W - 1.0, H - 1.0, &clipped);
    if (n < 3) return 0;
    std::vector<int32_t> &pts = *s->points;
    pts.resize(size_t(n) * 2);
    s->crossings->resize(size_t(n));
    int32_t x0 = W, y0 = H, x1 = -1, y1 = -1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = int32_t(std::lrint(clipped[2 * i])), y = int32_t(std::lrint(clipped[2 * i + 1]));
        assert(x >= 0 && x < W && y >= 0 && y < H);
        pts[2 * i] = x, pts[2 * i + 1] = y;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    cxOsBitmapLock m{};
    int err = 0;
    if (LockBitmap(s->mask, 0, &m) && m.pixels)
        err = FillPolygonMaskBits(m.pixels, int32_t(m.rowLength), W, H, s->crossings->data(), pts.data(), n);
    else err = ERR_LOCKBMAP;
    UnlockBitmap(&m);
    box[0] = x0, box[1] = y0, box[2] = x1 - x0 + 1, box[3] = y1 - y0 + 1;
    return err;
}

int InitShape(cxEffectInstance *fx, Shape shape) {
    auto *s = static_cast<ShapeState *>(AllocEffectState(fx, sizeof(ShapeState)));
    if (!s) return ERR_MEM;
    try {
        s->poly = new std::vector<double>();
        s->points = new std::vector<int32_t>();
        s->crossings = new std::vector<int32_t>();
        // Room for the largest polygons (the sun's 360 points, cut four
        // times), so that no step allocates.
        s->poly->reserve(2 * 400 * 33);
        s->points->reserve(2 * 400 * 16);
        s->crossings->reserve(400 * 16);
    } catch (...) {
        return ERR_MEM;
    }
    if (fx->width < 1 || fx->height < 1) {
        fx->steps = 1;
        return 0;
    }
    if (shape == kClock) {
        fx->speed = ClockSpeed(fx->speed);
        s->perimeter = int32_t(Border(fx->width, fx->height).total);
    } else {
        int32_t sp, size0;
        ShapeSizes(fx, &sp, &size0);
        fx->speed = sp;
        s->size0 = size0;
    }
    s->mask = AllocMask(fx->newImage, fx->width, fx->height, 1, nullptr, 0);
    if (!s->mask) return ERR_ALLOCMASK;
    // The counting run: the same walk the steps take, without drawing.
    int32_t k = 0;
    while (!IsLast(fx, shape, k) && k < INT32_MAX - 1) ++k;
    fx->steps = k + 1;
    return 0;
}

int ShapeStep(cxEffectInstance *fx, int *done, Shape shape) {
    if (fx->phase == CX_FXPHASE_INIT) return InitShape(fx, shape);
    return RunFrames(fx, done, [fx, shape](int32_t k, bool incremental) -> int {
        if (fx->width < 1 || fx->height < 1) return 0;
        ShapeState *s = State(fx);
        fx->fadeLevel = k < 0 ? 0 : int32_t(int64_t(k + 1) * 255 / std::max(fx->steps, 1));
        if (fx->reverse) fx->fadeLevel = 255 - fx->fadeLevel;
        if (k >= fx->steps - 1) {
            RevealEffectRect(fx, 0, 0, fx->width, fx->height);
            return 0;
        }
        int32_t first = k;
        if (!incremental) {
            // A redraw: the mask is rebuilt from the first step on.
            FillMaskRect(s->mask, 0, 0, fx->width, fx->height, CX_MASKINVISIBLE);
            if (fx->layerMode) {
                if (fx->reverse) BltBitmap(fx->newImage, 0, 0, fx->canvas, 0, 0, fx->width, fx->height);
                SetEffectCanvasLevel(fx, fx->reverse ? 255 : 0);
            } else if (fx->oldImage) {
                DrawEffectBitmap(fx, fx->oldImage, 0, 0, 0, 0, fx->width, fx->height);
            }
            first = 0;
        }
        int32_t x0 = 0, y0 = 0, w = 0, h = 0;
        for (int32_t i = first; i <= k; ++i) {
            int32_t box[4];
            if (int err = FillStepPolygon(fx, BuildPolygon(fx, shape, i), box)) return err;
            if (box[2] > 0 && box[3] > 0) UnionRect(&x0, &y0, &w, &h, box[0], box[1], box[2], box[3]);
        }
        if (w > 0 && h > 0) RevealEffectMask(fx, s->mask, x0, y0, w, h);
        return 0;
    });
}

}  // namespace

extern "C" void CleanupShape(cxEffectInstance *fx, int) {
    ShapeState *s = State(fx);
    if (!s) return;
    FreeEffectBitmap(&s->mask);
    delete s->poly;
    delete s->points;
    delete s->crossings;
    s->poly = nullptr;
    s->points = nullptr;
    s->crossings = nullptr;
}

extern "C" int StepClockWipe(cxEffectInstance *fx, int *done) { return ShapeStep(fx, done, kClock); }
extern "C" int StepSun(cxEffectInstance *fx, int *done) { return ShapeStep(fx, done, kSun); }
extern "C" int StepStar(cxEffectInstance *fx, int *done) { return ShapeStep(fx, done, kStar); }

// ---- CRUSH, flip coins, PUSH ----

namespace {

struct ScaleState {
    cxBitmap *work;
    int32_t prev[4];  // the flip coin's rectangle of the last frame
};

ScaleState *Scaling(cxEffectInstance *fx) { return static_cast<ScaleState *>(fx->state); }

int InitScaling(cxEffectInstance *fx, int32_t extent, int32_t normal, int32_t fast, int32_t slow, int32_t distance) {
    if (!AllocEffectState(fx, sizeof(ScaleState))) return ERR_MEM;
    if (fx->width < 1 || fx->height < 1) {
        fx->steps = 1;
        return 0;
    }
    fx->speed = SpeedToStep(fx->speed, extent, normal, fast, slow);
    // Positions sp, 2 sp ... up to the distance, which is the last.
    fx->steps = EffectStepCount(distance - fx->speed, fx->speed, 0);
    // The scaler's position tables at their largest now: no step
    // allocates.
    if (EnsureScaleTables(fx->width, fx->height)) return ERR_MEM;
    return 0;
}

// Where a whole frame goes (the target itself or the work bitmap), the
// canvas of a layer made opaque.
int ScalingOut(cxEffectInstance *fx, cxBitmap **out, int32_t *ox, int32_t *oy, bool *viaWork) {
    *viaWork = false;
    if (GetWholeEffectTarget(fx, out, ox, oy)) {
        if (fx->layerMode && fx->canvasAlpha) FillAlphaRect(fx->canvasAlpha, 0, 0, fx->width, fx->height, 255);
        return 0;
    }
    ScaleState *s = Scaling(fx);
    if (!s->work && !(s->work = AllocBitmap(fx->width, fx->height, 0, 0))) return ERR_BITMAP;
    *out = s->work, *ox = *oy = 0, *viaWork = true;
    return 0;
}

void ScalingCommit(cxEffectInstance *fx, cxBitmap *out, bool viaWork) {
    if (viaWork) DrawEffectBitmap(fx, out, 0, 0, 0, 0, fx->width, fx->height);
    else MarkEffectRect(fx, 0, 0, fx->width, fx->height);
}

}  // namespace

extern "C" void CleanupScaling(cxEffectInstance *fx, int) {
    if (ScaleState *s = Scaling(fx)) FreeEffectBitmap(&s->work);
}

extern "C" int StepCrush(cxEffectInstance *fx, int *done) {
    const bool horizontal = fx->effect == 120 || fx->effect == 121;
    const int32_t E = horizontal ? fx->width : fx->height;
    if (fx->phase == CX_FXPHASE_INIT) return InitScaling(fx, E, 60, 30, 120, E);
    return RunFrames(fx, done, [fx, horizontal, E](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const int32_t p = k < 0 ? 0 : int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, E));
        cxBitmap *out;
        int32_t ox, oy;
        bool viaWork;
        if (int err = ScalingOut(fx, &out, &ox, &oy, &viaWork)) return err;
        const cxBitmap *oldPic = fx->oldImage ? fx->oldImage : fx->newImage;
        // The new picture takes p of the axis at its own edge, the old one
        // the rest; a side of 0 is not drawn.
        const bool newFirst = fx->effect == 120 || fx->effect == 122;
        const int32_t newAt = newFirst ? 0 : E - p, oldAt = newFirst ? p : 0;
        int err = 0;
        if (horizontal) {
            if (p > 0) err = ScaleBitmapInto(fx->newImage, 0, 0, W, H, out, ox + newAt, oy, p, H, 0);
            if (!err && E - p > 0) err = ScaleBitmapInto(oldPic, 0, 0, W, H, out, ox + oldAt, oy, E - p, H, 0);
        } else {
            if (p > 0) err = ScaleBitmapInto(fx->newImage, 0, 0, W, H, out, ox, oy + newAt, W, p, 0);
            if (!err && E - p > 0) err = ScaleBitmapInto(oldPic, 0, 0, W, H, out, ox, oy + oldAt, W, E - p, 0);
        }
        if (err) return err;
        ScalingCommit(fx, out, viaWork);
        return 0;
    });
}

extern "C" int StepFlipCoin(cxEffectInstance *fx, int *done) {
    const bool vertical = fx->effect == 124 || fx->effect == 125;
    const bool low = fx->effect == 125 || fx->effect == 127;
    const int32_t E = vertical ? fx->height : fx->width;
    if (fx->phase == CX_FXPHASE_INIT) {
        if (int err = InitScaling(fx, E, 60, 30, 120, int32_t(std::min<int64_t>(2 * int64_t(E), INT32_MAX))))
            return err;
        ScaleState *s = Scaling(fx);
        s->prev[0] = 0, s->prev[1] = 0, s->prev[2] = fx->width, s->prev[3] = fx->height;
        if (fx->width > 0 && fx->height > 0 && !(s->work = AllocBitmap(fx->width, fx->height, 0, 0))) return ERR_BITMAP;
        return 0;
    }
    return RunFrames(fx, done, [fx, vertical, low, E](int32_t k, bool incremental) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        ScaleState *s = Scaling(fx);
        const uint32_t colour = fx->parameter < 0 ? 0u : uint32_t(fx->parameter) & 0xFFFFFFu;
        if (k < 0) {
            s->prev[0] = 0, s->prev[1] = 0, s->prev[2] = W, s->prev[3] = H;
            if (fx->oldImage) DrawEffectBitmap(fx, fx->oldImage, 0, 0, 0, 0, W, H);
            return 0;
        }
        const int64_t p = std::min<int64_t>((int64_t(k) + 1) * fx->speed, 2 * int64_t(E));
        const int32_t e = int32_t(std::max<int64_t>(std::llabs(E - p), 1));
        const cxBitmap *pic = p <= E ? (fx->oldImage ? fx->oldImage : fx->newImage) : fx->newImage;
        const int32_t at = low ? E - e : (E - e) / 2;
        int32_t cur[4] = {0, 0, W, H};
        if (vertical) cur[1] = at, cur[3] = e;
        else cur[0] = at, cur[2] = e;
        // What the last rectangle covered and this one does not gets the
        // colour (a redraw fills everything around the rectangle).
        int32_t prev[4] = {s->prev[0], s->prev[1], s->prev[2], s->prev[3]};
        if (!incremental) prev[0] = 0, prev[1] = 0, prev[2] = W, prev[3] = H;
        if (vertical) {
            if (cur[1] > prev[1]) FillEffectRect(fx, 0, prev[1], W, cur[1] - prev[1], colour);
            const int32_t pEnd = prev[1] + prev[3], cEnd = cur[1] + cur[3];
            if (pEnd > cEnd) FillEffectRect(fx, 0, cEnd, W, pEnd - cEnd, colour);
        } else {
            if (cur[0] > prev[0]) FillEffectRect(fx, prev[0], 0, cur[0] - prev[0], H, colour);
            const int32_t pEnd = prev[0] + prev[2], cEnd = cur[0] + cur[2];
            if (pEnd > cEnd) FillEffectRect(fx, cEnd, 0, pEnd - cEnd, H, colour);
        }
        ScaleState *st = s;
        if (!st->work && !(st->work = AllocBitmap(W, H, 0, 0))) return ERR_BITMAP;
        if (int err = ScaleBitmapInto(pic, 0, 0, W, H, st->work, 0, 0, cur[2], cur[3], 0)) return err;
        DrawEffectBitmap(fx, st->work, 0, 0, cur[0], cur[1], cur[2], cur[3]);
        for (int i = 0; i < 4; ++i) s->prev[i] = cur[i];
        return 0;
    });
}

extern "C" int StepPush(cxEffectInstance *fx, int *done) {
    const bool horizontal = fx->effect == 78 || fx->effect == 79;
    const int32_t E = horizontal ? fx->width : fx->height;
    if (fx->phase == CX_FXPHASE_INIT) return InitScaling(fx, E, 40, 10, 100, E);
    return RunFrames(fx, done, [fx](int32_t k, bool) -> int {
        const int32_t W = fx->width, H = fx->height;
        if (W < 1 || H < 1) return 0;
        const bool horizontal = fx->effect == 78 || fx->effect == 79;
        const int32_t E = horizontal ? W : H;
        const int32_t p = k < 0 ? 0 : int32_t(std::min<int64_t>((int64_t(k) + 1) * fx->speed, E));
        const cxBitmap *oldPic = fx->oldImage ? fx->oldImage : fx->newImage;
        int32_t nx = 0, ny = 0, ox = 0, oy = 0;
        switch (fx->effect) {
        case 78: nx = p - W, ox = p; break;   // the new picture comes in from the left
        case 79: nx = W - p, ox = -p; break;  // from the right
        case 80: ny = p - H, oy = p; break;   // from the top
        default: ny = H - p, oy = -p; break;  // from the bottom
        }
        DrawEffectBitmap(fx, fx->newImage, 0, 0, nx, ny, W, H);
        DrawEffectBitmap(fx, oldPic, 0, 0, ox, oy, W, H);
        return 0;
    });
}
