/* An image saver with two formats and a sample saver with one. */
#include "include/calyxtone/cxplugin.h"

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)a;
    (void)path;
    p->capabilities = CX_CAP_IMAGESAVER | CX_CAP_SAMPLESAVER;
    p->version = 1;
    p->moduleName = "savetest";
    return 1;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}

CX_PLUGIN_EXPORT void RegisterImageSaver(int index, cxSaverFormat *format) {
    static const char *const names[] = {"Foo", "Bar"};
    format->format = 100 + index;
    format->name = names[index & 1];
    format->flags = index == 0 ? CX_IMAGESAVER_MORE | 2u : 2u;
}

CX_PLUGIN_EXPORT int SaveImage(int format, const uint32_t *argb, int width, int height, const char *file,
                               const cxTagItem *tags) {
    (void)format;
    (void)argb;
    (void)width;
    (void)height;
    (void)file;
    (void)tags;
    return 0;
}

CX_PLUGIN_EXPORT void RegisterSampleSaver(int index, cxSaverFormat *format) {
    (void)index;
    format->format = 7;
    format->name = "Raw";
    format->flags = 0;
}

CX_PLUGIN_EXPORT int SaveSample(const char *file, struct cxSampleRequest *request, const cxTagItem *tags) {
    (void)file;
    (void)request;
    (void)tags;
    return 0;
}
