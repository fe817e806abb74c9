// A virtual machine for command tests: commands are registered under their
// names and called the way a script calls them, through a protected call.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "engine/lib/memblock/memblock.h"
#include "engine/runtime/runtime.h"
#include "tools/cxasm/asm_text.h"

namespace cxtest {

// A command whose body a test sets; it is registered as "Probe".
inline std::function<int(lua_State *)> &ProbeBody() {
    static std::function<int(lua_State *)> body;
    return body;
}
inline int ProbeTrampoline(lua_State *L) { return ProbeBody()(L); }

class VmTest : public ::testing::Test {
protected:
    lua_State *L = nullptr;

    void SetUp() override {
        ResetState();
        L = lua_open();
        ASSERT_NE(L, nullptr);
        static const luaL_reg probe[] = {{"Probe", ProbeTrampoline}, {nullptr, nullptr}};
        luaL_openlib(L, nullptr, probe, 0);
    }
    void TearDown() override {
        FreeMemBlocks(L);
        lua_close(L);
        ResetState();
    }
    static void ResetState() {
        FreeKernel();
        FreeCommandLibraries();
        SetErrorDetail(nullptr);
        SetErrorNumber(0);
        ResetErrorPosition();
        SetUtf8Mode(1);
        ProbeBody() = nullptr;
    }

    // Calls the global command name with the values that push() pushes;
    // returns 0 (results left on the stack) or the error code.
    int Call(const char *name, const std::function<void()> &push = [] {}, int nresults = LUA_MULTRET) {
        lua_settop(L, 0);
        std::string lower(name); // script names are stored in lower case
        for (char &c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        lua_pushstring(L, lower.c_str());
        lua_gettable(L, LUA_GLOBALSINDEX);
        push();
        return lua_pcall(L, lua_gettop(L) - 1, nresults, 0);
    }
    // Runs body as the command "Probe" with the pushed arguments.
    int Probe(const std::function<int(lua_State *)> &body, const std::function<void()> &push = [] {}) {
        ProbeBody() = body;
        return Call("Probe", push);
    }
    // Assembles and runs a chunk; 0 (its results on the stack) or the code.
    int RunAsm(const std::string &text) {
        lua_settop(L, 0);
        std::vector<uint8_t> bytes = cxasm::assembleText(text);
        struct Reader {
            const std::vector<uint8_t> *b;
            bool done;
        } r{&bytes, false};
        auto read = [](lua_State *, void *ud, size_t *size) -> const char * {
            Reader *rd = static_cast<Reader *>(ud);
            if (rd->done) {
                *size = 0;
                return nullptr;
            }
            rd->done = true;
            *size = rd->b->size();
            return reinterpret_cast<const char *>(rd->b->data());
        };
        if (int code = lua_load(L, read, &r, "=test")) return code;
        return lua_pcall(L, 0, LUA_MULTRET, 0);
    }
    std::string Str(int index) {
        size_t n = lua_strlen(L, index);
        const char *s = lua_tostring(L, index);
        return s ? std::string(s, n) : std::string("<not a string>");
    }
    double Num(int index) { return lua_tonumber(L, index); }
    std::string Detail() { return GetErrorDetail(); }
};

} // namespace cxtest
