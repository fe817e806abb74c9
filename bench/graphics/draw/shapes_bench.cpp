// Anti-aliased filled circles and polygons 100-400 pixels across, in shapes
// per second, beside cairo filling the same shapes into an image surface of
// the same size in the same run. Both draw an opaque colour over format 10
// (cairo: ARGB32) pixels; the shapes step across a 1024x1024 picture.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/draw/shape_raster.h"

namespace {

constexpr int kSide = 1024;

// A star of 12 vertices, size px across.
std::vector<double> Star(int size) {
    std::vector<double> p;
    for (int i = 0; i < 12; ++i) {
        const double a = i * M_PI / 6, r = (i % 2 ? 0.25 : 0.5) * size;
        p.push_back(r * std::cos(a));
        p.push_back(r * std::sin(a));
    }
    return p;
}

struct Picture {
    cxBitmap *bitmap = AllocBitmap(kSide, kSide, CX_ALLOC_CLEAR, 0);
    cxDrawTarget target{bitmap, nullptr, nullptr, kSide, kSide, 255, 0};
    ~Picture() { FreeBitmap(bitmap); }
};

double Position(int i, int size) { return size / 2 + (i * 37) % (kSide - size); }

void Rate(benchmark::State &st) {
    st.counters["shapes/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

void BM_Circle(benchmark::State &st) {
    const int size = int(st.range(0));
    Picture pic;
    cxDrawStyle style = *GetDrawStyle();
    style.fillStyle = CX_FILLCOLOR;
    style.formStyle = CX_FORM_ANTIALIAS;
    cxShape s{};
    s.kind = CX_SHAPE_CIRCLE;
    s.width = size / 2.0;
    int i = 0;
    for (auto _ : st) {
        s.x = Position(i, size);
        s.y = Position(i * 7, size);
        RenderShape(&pic.target, &s, &style, 0x3366CCu + uint32_t(i++), nullptr);
    }
    Rate(st);
}

void BM_Polygon(benchmark::State &st) {
    const int size = int(st.range(0));
    Picture pic;
    cxDrawStyle style = *GetDrawStyle();
    style.fillStyle = CX_FILLCOLOR;
    style.formStyle = CX_FORM_ANTIALIAS;
    const std::vector<double> star = Star(size);
    cxShape s{};
    s.kind = CX_SHAPE_POLYGON;
    s.points = star.data();
    s.pointCount = int32_t(star.size() / 2);
    int i = 0;
    for (auto _ : st) {
        s.x = Position(i, size);
        s.y = Position(i * 7, size);
        RenderShape(&pic.target, &s, &style, 0x3366CCu + uint32_t(i++), nullptr);
    }
    Rate(st);
}

struct Cairo {
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSide, kSide);
    cairo_t *cr = cairo_create(surface);
    ~Cairo() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};

void BM_CircleCairo(benchmark::State &st) {
    const int size = int(st.range(0));
    Cairo c;
    int i = 0;
    for (auto _ : st) {
        cairo_set_source_rgb(c.cr, 0.2, 0.4, 0.8 + (i % 8) / 100.0);
        cairo_new_path(c.cr);
        cairo_arc(c.cr, Position(i, size), Position(i * 7, size), size / 2.0, 0, 2 * M_PI);
        cairo_fill(c.cr);
        ++i;
    }
    cairo_surface_flush(c.surface);
    Rate(st);
}

void BM_PolygonCairo(benchmark::State &st) {
    const int size = int(st.range(0));
    Cairo c;
    const std::vector<double> star = Star(size);
    int i = 0;
    for (auto _ : st) {
        const double x = Position(i, size), y = Position(i * 7, size);
        cairo_set_source_rgb(c.cr, 0.2, 0.4, 0.8 + (i % 8) / 100.0);
        cairo_new_path(c.cr);
        cairo_move_to(c.cr, x + star[0], y + star[1]);
        for (size_t k = 2; k < star.size(); k += 2) cairo_line_to(c.cr, x + star[k], y + star[k + 1]);
        cairo_close_path(c.cr);
        cairo_fill(c.cr);
        ++i;
    }
    cairo_surface_flush(c.surface);
    Rate(st);
}

BENCHMARK(BM_Circle)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_CircleCairo)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_Polygon)->Arg(100)->Arg(200)->Arg(400);
BENCHMARK(BM_PolygonCairo)->Arg(100)->Arg(200)->Arg(400);

} // namespace

BENCHMARK_MAIN();
