// Table and function files read as files: the input, held in memory, is
// opened through the dos library and read with ReadTable until a read
// fails, then again from the start with ReadFunction; both forms of each
// (binary, and Base64 text with its length), several items in a row. A
// table that reads writes again, in both forms, and reads back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/runtime/kernel.h"
#include "io/dos/dos.h"
#include "streams/memory_name.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

lua_State *Setup() {
    static lua_State *L = [] {
        lua_State *s = cxfuzz::State();
        if (OpenDosLibrary(s) != 0) abort();
        SetKernelTags(s, CX_KTAG_QUIET, 1, CX_KTAG_END);  // no "Opening file" lines
        return s;
    }();
    return L;
}

// Command with a number and, optionally, a value on the stack below it.
int Run(lua_State *L, const char *name, std::initializer_list<double> numbers, int valueIndex = 0) {
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    int n = 0;
    for (double v : numbers) {
        lua_pushnumber(L, v);
        n++;
        if (n == 1 && valueIndex) {
            lua_pushvalue(L, valueIndex);
            n++;
        }
    }
    return lua_pcall(L, n, 1, 0);
}

int Open(lua_State *L, int id, const std::string &name, int mode) {
    lua_pushstring(L, "openfile");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, id);
    lua_pushstring(L, name.c_str());
    lua_pushnumber(L, mode);
    return lua_pcall(L, 3, 0, 0);
}

constexpr int kModeRead = 1005, kModeWrite = 1006;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    lua_State *L = Setup();
    lua_settop(L, 0);
    char name[CX_MEMORY_NAME_MAX];
    std::vector<uint8_t> copy(data, data + size);
    if (!MakeMemoryName(name, sizeof name, copy.data(), copy.size())) abort();
    const std::string scratch = cxfuzz::ScratchPath("table");
    for (const char *reader : {"readtable", "readfunction"}) {
        if (Open(L, 1, name, kModeRead) != 0) break;
        for (int items = 0; items < 16; items++) {
            lua_settop(L, 0);
            if (Run(L, reader, {1}) != 0) break;
            if (reader[4] != 't' || !lua_istable(L, 1)) continue;
            // What was read writes again in both forms and reads back.
            for (int text : {0, 1}) {
                if (Open(L, 2, scratch, kModeWrite) != 0) abort();
                if (Run(L, "writetable", {2, static_cast<double>(text)}, 1) != 0) break;
                Run(L, "closefile", {2});
                if (Open(L, 2, scratch, kModeRead) != 0 || Run(L, "readtable", {2}) != 0) abort();
                lua_pop(L, 1);
                Run(L, "closefile", {2});
            }
        }
        lua_settop(L, 0);
        Run(L, "closefile", {1});
    }
    FreeDosObjects(L);
    ReleaseMemoryName(copy.data(), copy.size());
    remove(scratch.c_str());
    lua_settop(L, 0);
    return 0;
}
