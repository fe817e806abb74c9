// Paths per second: a 200-segment zigzag and a circle, 100-400 pixels
// across, filled and stroked (width 3, round joins) by the inbuilt vector
// engine into 8-bit coverage, beside cairo drawing the same path into an
// A8 surface of the same size in the same run. The engine's figure covers
// what DrawPath asks of it: measuring the path, then rasterising it.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <vector>

#include "graphics/vector/path.h"
#include "graphics/vector/path_style.h"
#include "graphics/vector/vector_engine.h"

namespace {

cxPathArg D(double v) { return {CX_PATHARG_DOUBLE, 0, v, nullptr, 0}; }
cxPathArg I(int32_t v) { return {CX_PATHARG_INT, v, 0, nullptr, 0}; }

// The zigzag's points: 201 points, 200 segments, across size pixels.
std::vector<double> Zigzag(int size) {
    std::vector<double> p;
    for (int i = 0; i <= 200; ++i) {
        p.push_back(4 + (size - 8) * i / 200.0);
        p.push_back(4 + (size - 8) * (0.5 + 0.45 * std::sin(i * 0.7)));
    }
    return p;
}

struct Shape {
    cxPath *path = NewPath(0, 1);
    std::vector<double> zigzag;
    int size;
    bool circle;
    Shape(int s, bool c) : size(s), circle(c) {
        if (circle) {
            const cxPathArg a[] = {D(s / 2.0), D(s / 2.0), D(s / 2.0 - 4), D(s / 2.0 - 4), D(0), D(360), I(1)};
            AppendPathItem(path, CX_PATH_ARC, 7, a);
            AppendPathItem(path, CX_PATH_CLOSEPATH, 0, nullptr);
        } else {
            zigzag = Zigzag(s);
            for (size_t i = 0; i < zigzag.size(); i += 2) {
                const cxPathArg a[] = {I(0), D(zigzag[i]), D(zigzag[i + 1])};
                AppendPathItem(path, i ? CX_PATH_LINETO : CX_PATH_MOVETO, 3, a);
            }
        }
    }
    ~Shape() { FreePathByID(nullptr, GetObjectID(&path->header)); }
    void Cairo(cairo_t *c) const {
        cairo_new_path(c);
        if (circle) {
            cairo_arc(c, size / 2.0, size / 2.0, size / 2.0 - 4, 0, 2 * M_PI);
            cairo_close_path(c);
        } else {
            cairo_move_to(c, zigzag[0], zigzag[1]);
            for (size_t i = 2; i < zigzag.size(); i += 2) cairo_line_to(c, zigzag[i], zigzag[i + 1]);
        }
    }
};

void Rate(benchmark::State &st) {
    st.counters["paths/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

void Engine(benchmark::State &st, bool circle, bool fill) {
    const int size = int(st.range(0));
    Shape shape(size, circle);
    cxPathStyle style{};
    style.lineJoin = CX_JOIN_ROUND;
    style.miterLimit = 10;
    style.drawStyle.formStyle = CX_FORM_ANTIALIAS;
    std::vector<uint8_t> buffer(size_t(size + 8) * size_t(size + 8));
    for (auto _ : st) {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        GetPathExtentsOf(nullptr, shape.path->items, &style, fill, 3, nullptr, &x1, &y1, &x2, &y2, 0, 0);
        const int w = int(std::ceil(x2) - std::floor(x1)), h = int(std::ceil(y2) - std::floor(y1));
        benchmark::DoNotOptimize(DrawPathWithEngine(nullptr, shape.path->items, &style, fill, 3, nullptr,
                                                    buffer.data(), w, w, h, 0, 0, 0, 0));
    }
    Rate(st);
}

// Measuring alone: building the outline (and stroking it), then its box.
void Measure(benchmark::State &st, bool circle, bool fill) {
    const int size = int(st.range(0));
    Shape shape(size, circle);
    cxPathStyle style{};
    style.lineJoin = CX_JOIN_ROUND;
    style.miterLimit = 10;
    style.drawStyle.formStyle = CX_FORM_ANTIALIAS;
    for (auto _ : st) {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        GetPathExtentsOf(nullptr, shape.path->items, &style, fill, 3, nullptr, &x1, &y1, &x2, &y2, 0, 0);
        benchmark::DoNotOptimize(x2);
    }
    Rate(st);
}

void Cairo(benchmark::State &st, bool circle, bool fill) {
    const int size = int(st.range(0));
    Shape shape(size, circle);
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_A8, size + 8, size + 8);
    cairo_t *c = cairo_create(surface);
    cairo_set_line_width(c, 3);
    cairo_set_line_join(c, CAIRO_LINE_JOIN_ROUND);
    for (auto _ : st) {
        shape.Cairo(c);
        if (fill) cairo_fill(c);
        else cairo_stroke(c);
    }
    cairo_surface_flush(surface);
    cairo_destroy(c);
    cairo_surface_destroy(surface);
    Rate(st);
}

void BM_Engine_FillZigzag(benchmark::State &st) { Engine(st, false, true); }
void BM_Cairo_FillZigzag(benchmark::State &st) { Cairo(st, false, true); }
void BM_Engine_StrokeZigzag(benchmark::State &st) { Engine(st, false, false); }
void BM_Cairo_StrokeZigzag(benchmark::State &st) { Cairo(st, false, false); }
void BM_Measure_StrokeZigzag(benchmark::State &st) { Measure(st, false, false); }
void BM_Engine_FillCircle(benchmark::State &st) { Engine(st, true, true); }
void BM_Cairo_FillCircle(benchmark::State &st) { Cairo(st, true, true); }
void BM_Engine_StrokeCircle(benchmark::State &st) { Engine(st, true, false); }
void BM_Cairo_StrokeCircle(benchmark::State &st) { Cairo(st, true, false); }

} // namespace

BENCHMARK(BM_Engine_FillZigzag)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Cairo_FillZigzag)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Engine_StrokeZigzag)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Cairo_StrokeZigzag)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Measure_StrokeZigzag)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Engine_FillCircle)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Cairo_FillCircle)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Engine_StrokeCircle)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Cairo_StrokeCircle)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK_MAIN();
