/* Version 1.9 with a require hook and a library deferred until the plug-in
   is required. The hook records what it was given. */
#include <stdio.h>

#include "include/calyxtone/cxplugin.h"
#include "tests/shell/plugins/cxp/probe_log.h"

static const cxPluginApi *api;

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *a, const char *path) {
    (void)path;
    api = a;
    p->capabilities = CX_CAP_LIBRARY | CX_CAP_REQUIREHOOK | CX_CAP_EXTENSIONS;
    p->version = 1;
    p->revision = 9;
    p->name = "Require test";
    p->moduleName = "reqtest";
    return 1;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}

CX_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, uint32_t reserved) {
    (void)reserved;
    return capability == CX_CAP_LIBRARY ? CX_EXT_LIBRARY_DEFER : 0;
}

CX_PLUGIN_EXPORT int RequirePlugin(lua_State *L, int version, int revision, uint32_t flags, const cxTagItem *tags) {
    (void)L;
    char line[256];
    int n = snprintf(line, sizeof line, "%d.%d flags %u", version, revision, (unsigned)flags);
    for (const cxTagItem *t = tags; t && t->tag; t++) {
        if (t->tag == 1) *(int *)t->data = 77;
        if (t->tag == 2) n += snprintf(line + n, sizeof line - (size_t)n, " extra %s", (const char *)t->data);
    }
    ProbeLog("require", line);
    return 0;
}

static int Hello(lua_State *L) {
    api->vm->lua_pushstring(L, "required hello");
    return 1;
}
static const cxPluginCommand commands[] = {{"Hello", Hello}, {0, 0}};
CX_PLUGIN_EXPORT const char *GetBaseTable(void) { return "reqtest"; }
CX_PLUGIN_EXPORT const cxPluginCommand *GetCommands(void) { return commands; }
CX_PLUGIN_EXPORT const cxPluginConstant *GetConstants(void) { return 0; }
CX_PLUGIN_EXPORT int InitLibrary(lua_State *L) {
    (void)L;
    return 0;
}
CX_PLUGIN_EXPORT void FreeLibrary(lua_State *L) { (void)L; }
