#include "shell/preload.h"

#include <new>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/runtime/console.h"
#include "engine/runtime/kernel.h"

namespace {

constexpr uint32_t kDisplayKind = 21;

struct PreloadKind {
    uint32_t kind;
    std::string name;
    cxPreloadFunc load;
};

std::vector<PreloadKind> &Kinds() {
    static std::vector<PreloadKind> kinds;
    return kinds;
}

const PreloadKind *FindKind(uint32_t kind) {
    for (const PreloadKind &k : Kinds())
        if (k.kind == kind) return &k;
    return nullptr;
}

// Clears the preloading tag however the loop ends.
struct PreloadingScope {
    lua_State *L;
    explicit PreloadingScope(lua_State *state) : L(state) { SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END); }
    ~PreloadingScope() { SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END); }
};

}  // namespace

extern "C" int RegisterPreloadKind(uint32_t kind, const char *commandName, cxPreloadFunc load) {
    if (kind == 0 || kind == kDisplayKind || !load || !commandName || !*commandName) return ERR_WRONGUSAGE;
    try {
        for (PreloadKind &k : Kinds()) {
            if (k.kind == kind) {
                k.name = commandName;
                k.load = load;
                return 0;
            }
        }
        Kinds().push_back({kind, commandName, load});
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return 0;
}

extern "C" void ClearPreloadKinds(void) { std::vector<PreloadKind>().swap(Kinds()); }

extern "C" const char *GetPreloadCommandName(size_t index) {
    return index < Kinds().size() ? Kinds()[index].name.c_str() : nullptr;
}

extern "C" int PreloadObjects(lua_State *L, const cxApplet *applet, const cxStartupOptions *opts) {
    if (!applet) return 0;
    PreloadingScope scope(L);
    for (const cxPreprocItem *item = applet->items; item; item = item->next) {
        if (item->type == kDisplayKind) continue;
        const PreloadKind *kind = FindKind(item->type);
        if (!kind) {
            PrintMessage("*** WARNING Object %d (\"%s\") of kind %u was not preloaded: no loader for this kind ***\n",
                         static_cast<int>(item->id), item->name ? item->name : "", item->type);
            continue;
        }
        if (int err = kind->load(L, item, applet, opts)) return err;
    }
    return 0;
}
