#include "graphics/vector/vector_engine.h"

#include <strings.h>

#include <cstring>

#include "engine/plugins/plugin_registry.h"
#include "graphics/vector/ft_engine.h"

namespace {

cxPlugin MakeInbuilt() {
    cxPlugin p{};
    p.capabilities = CX_CAP_VECTORGRAPHICS;
    p.name = "inbuilt";
    p.moduleName = "inbuilt";
    p.callingConvention = CX_CALLCONV_NATIVE;
    p.tag = CX_PLUGIN_RECORD_TAG;
    p.vectorFlags = CX_VECTOR_SECONDOFFSET;
    p.GetPathExtents = FtGetPathExtents;
    p.DrawPath = FtDrawPath;
    p.TranslatePath = FtTranslatePath;
    p.GetCurrentPoint = FtGetCurrentPoint;
    p.CreateVectorFont = FtCreateVectorFont;
    p.FreeVectorFont = FtFreeVectorFont;
    p.OpenFont = FtOpenFont;
    p.CloseFont = FtCloseFont;
    return p;
}

cxPlugin g_inbuilt = MakeInbuilt();
cxPlugin *g_current = &g_inbuilt;
cxVectorPluginFinder g_finder = nullptr;

const double kIdentity[4] = {1, 0, 0, 1};

const cxPlugin *Engine(const cxPlugin *e) { return e ? e : &g_inbuilt; }

} // namespace

extern "C" cxPlugin *GetInbuiltVectorEngine(void) { return &g_inbuilt; }
extern "C" int IsInbuiltVectorEngine(const cxPlugin *engine) { return engine == &g_inbuilt ? 1 : 0; }
extern "C" cxPlugin *GetCurrentVectorEngine(void) { return g_current; }
extern "C" void SetCurrentVectorEngine(cxPlugin *engine) { g_current = engine ? engine : &g_inbuilt; }
extern "C" void SetVectorPluginFinder(cxVectorPluginFinder finder) { g_finder = finder; }

extern "C" cxPlugin *FindVectorEngine(const char *name) {
    if (!name) return nullptr;
    if (strcasecmp(name, "default") == 0) return &g_inbuilt;
    char file[256];
    const size_t n = strlen(name);
    const bool hasExt = n >= 4 && strcasecmp(name + n - 4, ".cxp") == 0;
    // The name and the extension must fit the buffer whole: a cut name
    // could match another plug-in.
    if (n + (hasExt ? 0 : 4) >= sizeof file) return nullptr;
    memcpy(file, name, n + 1);
    if (!hasExt) memcpy(file + n, ".cxp", 5);
    cxPlugin *p = g_finder ? g_finder(file) : nullptr;
    return p && (p->capabilities & CX_CAP_VECTORGRAPHICS) ? p : nullptr;
}

extern "C" void GetPathExtentsOf(const cxPlugin *engine, const void *items, const cxPathStyle *style, int fill,
                                 int32_t lineWidth, const double *matrix, double *x1, double *y1, double *x2,
                                 double *y2, double dx, double dy) {
    engine = Engine(engine);
    cxVectorParams params;
    MakeVectorParams(style, engine, &params);
    cxVectorExtentsRequest r{};
    r.items = items;
    r.params = &params;
    r.fill = fill ? 1 : 0;
    r.lineWidth = lineWidth;
    r.dx = dx;
    r.dy = dy;
    r.x1 = *x1;
    r.y1 = *y1;
    r.x2 = *x2;
    r.y2 = *y2;
    r.matrix = matrix ? matrix : kIdentity;
    CallPluginEntry(engine, engine->GetPathExtents, &r);
    *x1 = r.x1;
    *y1 = r.y1;
    *x2 = r.x2;
    *y2 = r.y2;
}

extern "C" int DrawPathWithEngine(const cxPlugin *engine, const void *items, const cxPathStyle *style, int fill,
                                  int32_t lineWidth, const double *matrix, uint8_t *pixels, int32_t bytesPerRow,
                                  int32_t width, int32_t height, double dx, double dy, double ox, double oy) {
    engine = Engine(engine);
    cxVectorParams params;
    MakeVectorParams(style, engine, &params);
    cxVectorDrawRequest r{};
    r.items = items;
    r.params = &params;
    r.fill = fill ? 1 : 0;
    r.lineWidth = lineWidth;
    r.pixels = pixels;
    r.bytesPerRow = bytesPerRow;
    r.width = width;
    r.height = height;
    if (engine->vectorFlags & CX_VECTOR_SECONDOFFSET) {
        r.ox = dx;
        r.oy = dy;
    } else {
        r.dx = dx;
        r.dy = dy;
        r.ox = ox;
        r.oy = oy;
    }
    r.matrix = matrix ? matrix : kIdentity;
    return CallPluginEntry(engine, engine->DrawPath, &r);
}

extern "C" void GetPathCurrentPoint(const cxPlugin *engine, const void *items, const cxPathStyle *style, double *x,
                                    double *y) {
    engine = Engine(engine);
    cxVectorParams params;
    MakeVectorParams(style, engine, &params);
    CallPluginEntry(engine, engine->GetCurrentPoint, items, &params, x, y);
}

extern "C" void TranslatePathItems(const cxPlugin *engine, void *items, double dx, double dy) {
    engine = Engine(engine);
    cxVectorTranslateRequest r{};
    r.items = items;
    r.dx = dx;
    r.dy = dy;
    CallPluginEntry(engine, engine->TranslatePath, &r);
}
