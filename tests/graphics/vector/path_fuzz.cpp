// Random path items through the inbuilt engine with every stroke style:
// caps, joins, miter limits, dash patterns and offsets, fill rules, line
// widths, anti-alias on and off. Each path is measured, drawn into its box
// (when the box is of a size to allocate), asked for its current point and
// moved. Coordinates come mostly from a small grid, so that repeated
// points and segments of no length are frequent, and sometimes from a list
// of hostile numbers.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "graphics/vector/path.h"
#include "graphics/vector/path_style.h"
#include "graphics/vector/vector_engine.h"

namespace {

struct Input {
    const uint8_t *p;
    size_t n;
    size_t at = 0;
    uint8_t Byte() { return at < n ? p[at++] : 0; }
    bool Done() const { return at >= n; }
    double Value() {
        const uint8_t b = Byte();
        if (b < 200) return (b % 50) * 2.5; // a grid of 50 places
        if (b < 240) return (b - 220) * 0.01 + Byte();
        static const double hostile[] = {0,
                                         -0.0,
                                         1e-300,
                                         -1e9,
                                         1e300,
                                         4194303.99,
                                         4194305,
                                         std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         1e6,
                                         -17.75,
                                         0.015625,
                                         359.999,
                                         720,
                                         -1e-9};
        return hostile[b % 16];
    }
};

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    cxPathStyle s{};
    s.lineCap = in.Byte() % 4;
    s.lineJoin = in.Byte() % 4;
    s.fillRule = in.Byte() % 3;
    s.miterLimit = in.Value();
    s.drawStyle.formStyle = (in.Byte() & 1) ? CX_FORM_ANTIALIAS : 0;
    double dashes[4];
    s.dashCount = in.Byte() % 5;
    for (uint32_t i = 0; i < s.dashCount; ++i) dashes[i] = in.Value() / 4;
    s.dashes = s.dashCount ? dashes : nullptr;
    s.dashOffset = in.Value();
    const int fill = in.Byte() & 1;
    const int32_t width = int32_t(in.Byte()) - 8;

    cxPath *path = NewPath(1, 0);
    if (!path) return 0;
    for (int items = 0; items < 400 && !in.Done(); ++items) {
        switch (in.Byte() % 8) {
        case 0:
        case 1: {
            const cxPathArg a[] = {I(in.Byte() & 1), D(in.Value()), D(in.Value())};
            AppendPathItem(path, CX_PATH_MOVETO, 3, a);
            break;
        }
        case 2:
        case 3: {
            const cxPathArg a[] = {I(in.Byte() & 1), D(in.Value()), D(in.Value())};
            AppendPathItem(path, CX_PATH_LINETO, 3, a);
            break;
        }
        case 4: {
            const cxPathArg a[] = {I(in.Byte() & 1), D(in.Value()), D(in.Value()), D(in.Value()),
                                   D(in.Value()), D(in.Value()), D(in.Value())};
            AppendPathItem(path, CX_PATH_CURVETO, 7, a);
            break;
        }
        case 5: AppendPathItem(path, (in.Byte() & 1) ? CX_PATH_CLOSEPATH : CX_PATH_NEWSUBPATH, 0, nullptr); break;
        case 6: {
            const cxPathArg a[] = {D(in.Value()), D(in.Value()), D(in.Value() / 8), D(in.Value() / 8),
                                   D(in.Value() * 3), D(in.Value() * 3), I(int32_t(in.Byte() % 3) - 1)};
            AppendPathItem(path, CX_PATH_ARC, 7, a);
            break;
        }
        default: {
            const cxPathArg a[] = {D(in.Value()), D(in.Value()), D(in.Value() / 4), D(in.Value() / 4),
                                   I(int32_t(in.Byte()) - 20), I(in.Byte()), I(in.Byte() % 101), I(100)};
            AppendPathItem(path, CX_PATH_BOX, 8, a);
            break;
        }
        }
    }
    if (path->items) {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        GetPathExtentsOf(nullptr, path->items, &s, fill, width, nullptr, &x1, &y1, &x2, &y2, 0, 0);
        const double w = std::ceil(x2) - std::floor(x1), h = std::ceil(y2) - std::floor(y1);
        // Within the renderer's own limits (no side above 32767 pixels):
        // FreeType's rasteriser walks every edge once per band of rows, so
        // the cost of a taller box grows with the square of its height.
        if (w > 0 && h > 0 && w <= 32767 && h <= 32767 && w * h <= 1 << 20) {
            std::vector<uint8_t> buf(size_t(w) * size_t(h));
            DrawPathWithEngine(nullptr, path->items, &s, fill, width, nullptr, buf.data(), int32_t(w), int32_t(w),
                               int32_t(h), 0, 0, 0, 0);
        }
        // Turned, the same outline takes another way through the builder.
        const double turn[4] = {0.6, 0.8, -0.8, 0.6};
        GetPathExtentsOf(nullptr, path->items, &s, fill, width, turn, &x1, &y1, &x2, &y2, 0, 0);
        double cx = 0, cy = 0;
        GetPathCurrentPoint(nullptr, path->items, &s, &cx, &cy);
        TranslatePathItems(nullptr, path->items, 3.5, -2);
    }
    FreePathByID(nullptr, cxObjectID{1, nullptr});
    return 0;
}
