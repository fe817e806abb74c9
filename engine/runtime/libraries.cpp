// The script libraries in their fixed order, and the runtime's constants.
#include "engine/runtime/libraries.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "engine/vm/lauxlib.h"

namespace {

struct Slot {
    const char *name;
    cxLibraryOpen open;
};

// The order of opening. The engine's own four libraries come first; the
// shell installs the open functions of the others.
Slot g_order[CX_LIBRARY_COUNT] = {
    {"string", OpenStringLibrary},
    {"math", OpenMathLibrary},
    {"system", OpenSystemLibrary},
    {"memblock", OpenMemBlockLibrary},
    {"graphics", nullptr},
    {"draw", nullptr},
    {"vectorgraphics", nullptr},
    {"display", nullptr},
    {"event", nullptr},
    {"brush", nullptr},
    {"bgpic", nullptr},
    {"sprite", nullptr},
    {"moveobject", nullptr},
    {"text", nullptr},
    {"layers", nullptr},
    {"transitionfx", nullptr},
    {"sound", nullptr},
    {"anim", nullptr},
    {"video", nullptr},
    {"dos", nullptr},
    {"network", nullptr},
    {"serial", nullptr},
    {"icon", nullptr},
    {"arexx", nullptr},
};

void RegisterRuntimeConstants(lua_State *L) {
    unsigned count = 0;
    const cxErrorConstant *errors = GetErrorConstants(&count);
    std::vector<luaL_Const> rows;
    rows.reserve(count + 8);
    for (unsigned i = 0; i < count; i++) rows.push_back({errors[i].name, nullptr, static_cast<double>(errors[i].value)});
    rows.push_back({"ERR_NONE", nullptr, 0});
    rows.push_back({"ENCODING_ISO8859_1", nullptr, ENCODING_ISO8859_1});
    rows.push_back({"ENCODING_RAW", nullptr, ENCODING_RAW});
    rows.push_back({"ENCODING_UTF8", nullptr, ENCODING_UTF8});
    rows.push_back({"ENCODING_AMIGA", nullptr, ENCODING_AMIGA});
    rows.push_back({nullptr, nullptr, 0});
    luaL_openconstants(L, rows.data(), 0);
}

} // namespace

extern "C" const char *GetScriptLibraryName(int position) {
    if (position < 0 || position >= CX_LIBRARY_COUNT) return nullptr;
    return g_order[position].name;
}

extern "C" int SetScriptLibraryOpener(const char *name, cxLibraryOpen open) {
    if (!name) return ERR_WRONGUSAGE;
    for (Slot &s : g_order) {
        if (strcmp(s.name, name) == 0) {
            s.open = open;
            return 0;
        }
    }
    return ERR_WRONGUSAGE;
}

extern "C" int OpenScriptLibraries(lua_State *L) {
    RegisterRuntimeConstants(L);
    for (const Slot &s : g_order) {
        if (!s.open) continue;
        int err = s.open(L);
        if (err) return err;
    }
    return 0;
}
