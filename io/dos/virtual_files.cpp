// Virtual files: windows of other files, and script strings opened as
// files (":::chunkS" names backed by the records kept here).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/lib/memblock/memblock.h"
#include "io/dos/dos_internal.h"
#include "streams/chunk_names.h"

namespace cxdos {

namespace {

constexpr uint32_t kEmptyReserve = 65536;

struct VirtualString {
    VirtualString *next;
    uint32_t ownsCopy;
    int stringRef;  // the script string kept alive, or -1
    int selfRef;    // the reference in the file's name
    cxVirtualBlock block;
    char *display;  // stored inline behind the record
};

VirtualString *g_strings = nullptr;
uint32_t g_lastSerial = 0;

VirtualString *FindByReference(int reference) {
    for (VirtualString *v = g_strings; v; v = v->next) {
        if (v->selfRef == reference) return v;
    }
    return nullptr;
}

cxVirtualBlock *ResolveBlock(int reference) {
    VirtualString *v = FindByReference(reference);
    return v ? &v->block : nullptr;
}

void Unlink(VirtualString *v) {
    for (VirtualString **p = &g_strings; *p; p = &(*p)->next) {
        if (*p == v) {
            *p = v->next;
            return;
        }
    }
}

void FreeRecord(lua_State *L, VirtualString *v) {
    Unlink(v);
    if (v->ownsCopy) free(v->block.data);
    if (v->stringRef >= 0) luaL_unref(L, LUA_REGISTRYINDEX, v->stringRef);
    luaL_unref(L, LUA_REGISTRYINDEX, v->selfRef);
    free(v);
}

}  // namespace

void InstallVirtualFileResolver() {
    SetVirtualBlockResolver(ResolveBlock);
    SetMemBlockVirtualResolver(ResolveBlock);
}

void FreeAllVirtualStringFiles(lua_State *L) {
    while (g_strings) FreeRecord(L, g_strings);
}

int DefineVirtualFile(lua_State *L) {
    CheckArgCount(L, 4, 4, 0, 0);
    const char *source = GetFileNameArg(L, 1, 0, nullptr);
    const double offsetArg = luaL_checknumber(L, 2);
    const double lengthArg = luaL_checknumber(L, 3);
    const char *name = luaL_checkstring(L, 4);
    if (!*source || std::isnan(offsetArg) || std::isnan(lengthArg) || offsetArg < 0 || lengthArg < 1 ||
        offsetArg > 4294967295.0 || lengthArg > 4294967295.0 || strchr(name, '?'))
        return ERR_WRONGUSAGE;
    uint64_t offset = static_cast<uint64_t>(offsetArg);
    const auto length = static_cast<uint32_t>(lengthArg);
    const char *file = source;
    auto outer = std::make_unique<cxChunkName>();
    if (IsChunkName(source)) {
        // A window inside a window: it must stay inside the outer one.
        if (!ParseChunkName(source, outer.get()) || outer->memory) return ERR_WRONGUSAGE;
        if (offset + length > outer->length) return ERR_WRONGUSAGE;
        offset += outer->offset;
        file = outer->source;
    } else if (strncmp(source, ":::", 3) == 0) {
        return ERR_WRONGUSAGE;
    }
    char out[CX_STREAM_NAME_MAX + 1];
    if (!MakeChunkName(name, out, sizeof out, static_cast<int64_t>(offset), length, 0, file)) return ERR_MEM;
    lua_pushstring(L, out);
    return 1;
}

int DefineVirtualFileFromString(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    size_t n = 0;
    const char *data = luaL_checklstring(L, 1, &n);
    const char *name = luaL_checkstring(L, 2);
    const int copy = OptInt(L, 3, 0);
    if (!*name || strchr(name, '?')) return ERR_WRONGUSAGE;
    if (n > UINT32_MAX) return ERR_MEM;
    const size_t nameLen = strlen(name);
    auto *v = static_cast<VirtualString *>(calloc(1, sizeof(VirtualString) + nameLen + 1));
    if (!v) return ERR_MEM;
    v->display = reinterpret_cast<char *>(v + 1);
    memcpy(v->display, name, nameLen + 1);
    v->stringRef = -1;
    if (copy) {
        const size_t cap = n ? n : kEmptyReserve;
        v->block.data = static_cast<unsigned char *>(malloc(cap));
        if (!v->block.data) {
            free(v);
            return ERR_MEM;
        }
        if (n) memcpy(v->block.data, data, n);
        v->ownsCopy = 1;
        v->block.owned = 1;
        v->block.capacity = static_cast<uint32_t>(cap);
    } else {
        // The script's own bytes: readable, never written (script strings
        // are shared and must not change).
        v->block.data = reinterpret_cast<unsigned char *>(const_cast<char *>(data));
        v->block.capacity = 0;
        lua_pushvalue(L, 1);
        v->stringRef = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    v->block.length = static_cast<uint32_t>(n);
    v->block.serial = ++g_lastSerial;
    lua_pushlightuserdata(L, v);
    v->selfRef = luaL_ref(L, LUA_REGISTRYINDEX);
    char out[CX_STREAM_NAME_MAX + 1];
    if (!MakeChunkName(name, out, sizeof out, -1, 0, v->selfRef, "unused")) {
        if (v->ownsCopy) free(v->block.data);
        if (v->stringRef >= 0) luaL_unref(L, LUA_REGISTRYINDEX, v->stringRef);
        luaL_unref(L, LUA_REGISTRYINDEX, v->selfRef);
        free(v);
        return ERR_MEM;
    }
    v->next = nullptr;
    VirtualString **tail = &g_strings;
    while (*tail) tail = &(*tail)->next;
    *tail = v;
    lua_pushstring(L, out);
    return 1;
}

int UndefineVirtualStringFile(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    auto parts = std::make_unique<cxChunkName>();
    if (!ParseChunkName(name, parts.get()) || !parts->memory) return ERR_WRONGUSAGE;
    VirtualString *v = FindByReference(parts->reference);
    if (!v) return ERR_WRONGUSAGE;
    // A file or memory block still open on it would be left without bytes.
    if (v->block.users > 0) return ERR_WRONGUSAGE;
    FreeRecord(L, v);
    return 0;
}

}  // namespace cxdos

extern "C" int IsVirtualStringFile(const void *record) {
    for (const cxdos::VirtualString *v = cxdos::g_strings; v; v = v->next) {
        if (v == record) return 1;
    }
    return 0;
}
