// The vector library finds plug-in engines by file name among the opened
// plug-ins, which only the plug-in manager knows.
#include "shell/vector_engines.h"

#include <strings.h>

#include "graphics/vector/vector_engine.h"
#include "shell/plugins/plugin_manager.h"

namespace {

cxPlugin *FindOpenedVectorPlugin(const char *fileName) {
    for (cxPluginEntry *e = GetPluginList(); e; e = e->next) {
        const cxPluginHandle *h = e->handle;
        if (!h || h->closed || !h->plugin || !(h->capabilities & CX_CAP_VECTORGRAPHICS)) continue;
        if (strcasecmp(e->name, fileName) == 0) return h->plugin;
    }
    return nullptr;
}

} // namespace

extern "C" void InstallVectorPluginFinder(void) { SetVectorPluginFinder(FindOpenedVectorPlugin); }
