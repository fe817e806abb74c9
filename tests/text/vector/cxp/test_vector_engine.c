/* A vector engine plug-in for the tests: it measures every path as the box
   (0, 0)-(10, 8) at the request's offset, draws that box as full coverage
   and counts its calls, which the tests read through
   TestVectorEngineCalls. */
#include <string.h>

#include "include/calyxtone/cxvector.h"

static int g_calls[8];

CX_PLUGIN_EXPORT const int *TestVectorEngineCalls(void) { return g_calls; }

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *api, const char *path) {
    (void)api;
    (void)path;
    p->capabilities = CX_CAP_VECTORGRAPHICS;
    p->version = 1;
    p->name = "Test vector engine";
    p->moduleName = "testvector";
    p->callingConvention = ENGINE_CALLCONV;
    p->tag = CX_PLUGIN_RECORD_TAG;
    return 1;
}
CX_PLUGIN_EXPORT void ClosePlugin(void) {}

CX_PLUGIN_EXPORT void GetPathExtents(cxVectorExtentsRequest *r) {
    g_calls[0]++;
    r->x1 = r->dx;
    r->y1 = r->dy;
    r->x2 = r->dx + 10;
    r->y2 = r->dy + 8;
}
CX_PLUGIN_EXPORT int DrawPath(cxVectorDrawRequest *r) {
    g_calls[1]++;
    for (int y = 0; y < r->height && y < 8; ++y) memset(r->pixels + y * r->bytesPerRow, 255, r->width < 10 ? r->width : 10);
    return 1;
}
CX_PLUGIN_EXPORT void TranslatePath(cxVectorTranslateRequest *r) {
    (void)r;
    g_calls[2]++;
}
CX_PLUGIN_EXPORT void GetCurrentPoint(const void *items, const cxVectorParams *params, double *x, double *y) {
    (void)items;
    (void)params;
    g_calls[3]++;
    *x = 77;
    *y = 88;
}
CX_PLUGIN_EXPORT void *CreateVectorFont(struct FT_FaceRec_ *face) {
    g_calls[4]++;
    return face;
}
CX_PLUGIN_EXPORT void FreeVectorFont(void *font) {
    (void)font;
    g_calls[5]++;
}
CX_PLUGIN_EXPORT struct FT_FaceRec_ *OpenFont(const void *data, size_t size) {
    (void)data;
    (void)size;
    g_calls[6]++;
    return 0;
}
CX_PLUGIN_EXPORT void CloseFont(struct FT_FaceRec_ *face) {
    (void)face;
    g_calls[7]++;
}
