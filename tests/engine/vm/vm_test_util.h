// Helpers for the interpreter and chunk tests: assemble, load, run.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"
#include "tools/cxasm/asm_builder.h"
#include "tools/cxasm/asm_text.h"

namespace vmtest {

struct BytesReader {
    const std::vector<uint8_t> *bytes;
    size_t piece; // hand the input over in pieces of this size
    size_t pos = 0;
};

inline const char *readBytes(lua_State *, void *ud, size_t *size) {
    auto *r = static_cast<BytesReader *>(ud);
    size_t left = r->bytes->size() - r->pos;
    if (left == 0) {
        *size = 0;
        return nullptr;
    }
    *size = left < r->piece ? left : r->piece;
    const char *p = reinterpret_cast<const char *>(r->bytes->data() + r->pos);
    r->pos += *size;
    return p;
}

inline int load(lua_State *L, const std::vector<uint8_t> &bytes, size_t piece = 7) {
    BytesReader r{&bytes, piece};
    return lua_load(L, readBytes, &r, "=test");
}

// Assembles f, loads it and calls it with no arguments; the code of the
// load or of the call.
inline int run(lua_State *L, const cxasm::FunctionBuilder &f, int nresults = LUA_MULTRET) {
    int code = load(L, cxasm::assemble(f));
    if (code) return code;
    return lua_pcall(L, 0, nresults, 0);
}

inline int runText(lua_State *L, const std::string &src, int nresults = LUA_MULTRET) {
    int code = load(L, cxasm::assembleText(src));
    if (code) return code;
    return lua_pcall(L, 0, nresults, 0);
}

struct VMTest : ::testing::Test {
    lua_State *L = lua_open();
    ~VMTest() override { lua_close(L); }
};

} // namespace vmtest
