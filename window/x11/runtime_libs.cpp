#include "window/x11/runtime_libs.h"

#include <cstdio>
#include <dlfcn.h>

cxXfixesApi g_cxXfixes = {};

extern "C" void *OsLoadLibraryFunctions(const char *const *fileNames, const cxLibFunction *functions, int count) {
    void *handle = nullptr;
    const char *loaded = nullptr;
    for (const char *const *n = fileNames; *n && !handle; ++n) {
        handle = dlopen(*n, RTLD_NOW | RTLD_LOCAL);
        loaded = *n;
    }
    for (int i = 0; i < count; ++i) *functions[i].slot = nullptr;
    if (!handle) return nullptr;
    for (int i = 0; i < count; ++i) {
        *functions[i].slot = dlsym(handle, functions[i].name);
        if (!*functions[i].slot) printf("WARNING: Library function %s not found in %s!\n", functions[i].name, loaded);
    }
    return handle;
}

extern "C" void OsLoadRuntimeLibraries(void) {
    if (g_cxXfixes.handle) return;
    static const char *const names[] = {"libXfixes.so.3", "libXfixes.so", nullptr};
    const cxLibFunction fns[] = {
        {"XFixesQueryExtension", reinterpret_cast<void **>(&g_cxXfixes.QueryExtension)},
        {"XFixesQueryVersion", reinterpret_cast<void **>(&g_cxXfixes.QueryVersion)},
        {"XFixesSelectSelectionInput", reinterpret_cast<void **>(&g_cxXfixes.SelectSelectionInput)},
        {"XFixesCreateRegion", reinterpret_cast<void **>(&g_cxXfixes.CreateRegion)},
        {"XFixesDestroyRegion", reinterpret_cast<void **>(&g_cxXfixes.DestroyRegion)},
        {"XFixesSetWindowShapeRegion", reinterpret_cast<void **>(&g_cxXfixes.SetWindowShapeRegion)},
    };
    g_cxXfixes.handle = OsLoadLibraryFunctions(names, fns, int(sizeof fns / sizeof fns[0]));
}

extern "C" void OsFreeRuntimeLibraries(void) {
    if (g_cxXfixes.handle) dlclose(g_cxXfixes.handle);
    g_cxXfixes = cxXfixesApi{};
}
