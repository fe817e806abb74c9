/* A plug-in whose description comes from the build: it exercises the
   loader's checks. Compile-time settings:
   PROBE_MODULE (module name), PROBE_CAPS, PROBE_API_VERSION,
   PROBE_API_REVISION, PROBE_CALLCONV, PROBE_INIT_RESULT, PROBE_VERSION,
   PROBE_REVISION, PROBE_EXTENSIONS (GetExtensions' answer), PROBE_NO_CLOSE,
   PROBE_NO_TRANSFORM. */
#include <string.h>

#include "include/calyxtone/cxplugin.h"
#include "tests/shell/plugins/cxp/probe_log.h"

#ifndef PROBE_CAPS
#define PROBE_CAPS CX_CAP_IMAGELOADER
#endif
#ifndef PROBE_API_VERSION
#define PROBE_API_VERSION 8
#endif
#ifndef PROBE_API_REVISION
#define PROBE_API_REVISION 0
#endif
#ifndef PROBE_CALLCONV
#define PROBE_CALLCONV 0
#endif
#ifndef PROBE_INIT_RESULT
#define PROBE_INIT_RESULT 1
#endif
#ifndef PROBE_VERSION
#define PROBE_VERSION 1
#endif
#ifndef PROBE_REVISION
#define PROBE_REVISION 0
#endif
#ifndef PROBE_EXTENSIONS
#define PROBE_EXTENSIONS 0
#endif

static const cxPluginApi *api;

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    ProbeLog("init", PROBE_MODULE);
    /* The loader offers 8.0 before the call. */
    if (p->apiVersion != 8 || p->apiRevision != 0 || a->version != 8) return 0;
    p->capabilities = PROBE_CAPS;
    p->version = PROBE_VERSION;
    p->revision = PROBE_REVISION;
    p->apiVersion = PROBE_API_VERSION;
    p->apiRevision = PROBE_API_REVISION;
    p->name = "Probe " PROBE_MODULE;
    p->moduleName = PROBE_MODULE;
    p->author = "Test";
    p->description = "Exercises the loader";
    p->copyright = "none";
    p->url = "";
    p->date = "2024-01-01";
    p->callingConvention = PROBE_CALLCONV;
    p->tag = CX_PLUGIN_RECORD_TAG;
    return PROBE_INIT_RESULT;
}

#ifndef PROBE_NO_CLOSE
CX_PLUGIN_EXPORT void ClosePlugin(void) { ProbeLog("close", PROBE_MODULE); }
#endif

CX_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, uint32_t reserved) {
    (void)capability;
    (void)reserved;
    return PROBE_EXTENSIONS;
}

/* Image loader: IsImage answers 1, so a 0 shows the uncallable stub. */
CX_PLUGIN_EXPORT int IsImage(const char *file, cxImageInfo *info, const cxTagItem *tags) {
    (void)file;
    (void)tags;
    if (info) info->width = 7;
    return 1;
}
CX_PLUGIN_EXPORT void *LoadImage(const char *file, cxImageInfo *info, const cxTagItem *tags) {
    (void)file;
    (void)info;
    (void)tags;
    return 0;
}
CX_PLUGIN_EXPORT uint32_t *GetImage(void *image, cxImageInfo *info) {
    (void)image;
    (void)info;
    return 0;
}
CX_PLUGIN_EXPORT void FreeImage(void *image) { (void)image; }
#ifndef PROBE_NO_TRANSFORM
CX_PLUGIN_EXPORT int TransformImage(void *image, int width, int height, const double *matrix) {
    (void)image;
    (void)width;
    (void)height;
    (void)matrix;
    return 0;
}
#endif

/* Library: one global command. */
static int ProbeHello(lua_State *L) {
    api->vm->lua_pushstring(L, "hello from " PROBE_MODULE);
    return 1;
}
static const cxPluginCommand commands[] = {{"ProbeHello", ProbeHello}, {0, 0}};
CX_PLUGIN_EXPORT const char *GetBaseTable(void) { return 0; }
CX_PLUGIN_EXPORT const cxPluginCommand *GetCommands(void) { return commands; }
CX_PLUGIN_EXPORT const cxPluginConstant *GetConstants(void) { return 0; }
CX_PLUGIN_EXPORT int InitLibrary(lua_State *L) {
    (void)L;
    ProbeLog("initlibrary", PROBE_MODULE);
    return 0;
}
CX_PLUGIN_EXPORT void FreeLibrary(lua_State *L) {
    (void)L;
    ProbeLog("freelibrary", PROBE_MODULE);
}

/* Timer adapter. */
CX_PLUGIN_EXPORT void *RegisterTimer(lua_State *L, int milliseconds, int oneShot) {
    (void)L;
    (void)milliseconds;
    (void)oneShot;
    return 0;
}
CX_PLUGIN_EXPORT void FreeTimer(void *timer) { (void)timer; }

/* File adapter: serves nothing. */
CX_PLUGIN_EXPORT void *FOpen(const char *name, int mode, const cxTagItem *tags) {
    (void)name;
    (void)mode;
    (void)tags;
    return 0;
}
CX_PLUGIN_EXPORT int FClose(void *f) {
    (void)f;
    return 0;
}
CX_PLUGIN_EXPORT int64_t FRead(void *f, void *b, int64_t n) {
    (void)f;
    (void)b;
    (void)n;
    return -1;
}
CX_PLUGIN_EXPORT int FGetC(void *f) {
    (void)f;
    return -1;
}
CX_PLUGIN_EXPORT int64_t FWrite(void *f, const void *b, int64_t n) {
    (void)f;
    (void)b;
    (void)n;
    return -1;
}
CX_PLUGIN_EXPORT int FPutC(void *f, int c) {
    (void)f;
    (void)c;
    return -1;
}
CX_PLUGIN_EXPORT int64_t FSeek(void *f, int64_t p, int m) {
    (void)f;
    (void)p;
    (void)m;
    return -1;
}
CX_PLUGIN_EXPORT int FFlush(void *f) {
    (void)f;
    return 0;
}
CX_PLUGIN_EXPORT int FEof(void *f) {
    (void)f;
    return 1;
}
CX_PLUGIN_EXPORT int FStat(void *f, cxPluginStat *s, const cxTagItem *t) {
    (void)f;
    (void)s;
    (void)t;
    return 0;
}
CX_PLUGIN_EXPORT int Stat(const char *n, cxPluginStat *s, const cxTagItem *t) {
    (void)n;
    (void)s;
    (void)t;
    return 0;
}
