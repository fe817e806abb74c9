// A virtual machine with the dos library open and a fresh folder per test.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "io/dos/dos.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace cxtest {

class DosTest : public VmTest {
protected:
    std::string dir;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenDosLibrary(L), 0);
        char tmpl[] = "/tmp/cxdos.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        FreeDosObjects(L);
        VmTest::TearDown();
        std::string cmd = "rm -rf '" + dir + "'";
        (void)!system(cmd.c_str());
    }
    std::string Path(const std::string &name) const { return dir + "/" + name; }
    void Put(const std::string &name, const std::string &bytes) {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Get(const std::string &name) {
        std::ifstream in(Path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Output of a shell command, without the last line end.
    static std::string Shell(const std::string &cmd) {
        std::string out;
        FILE *p = popen(cmd.c_str(), "r");
        if (!p) return out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }
    // Commands with string and number arguments.
    struct Arg {
        enum { Num, Str, Nil } kind;
        double n;
        std::string s;
        Arg(double v) : kind(Num), n(v) {}
        Arg(int v) : kind(Num), n(v) {}
        Arg(const char *v) : kind(Str), n(0), s(v) {}
        Arg(const std::string &v) : kind(Str), n(0), s(v) {}
        Arg(std::nullptr_t) : kind(Nil), n(0) {}
    };
    int Do(const char *name, std::initializer_list<Arg> args) {
        return Call(name, [&] {
            for (const Arg &a : args) {
                if (a.kind == Arg::Num) lua_pushnumber(L, a.n);
                else if (a.kind == Arg::Str) lua_pushlstring(L, a.s.data(), a.s.size());
                else lua_pushnil(L);
            }
        });
    }
    int Open(int id, const std::string &name, int mode) { return Do("OpenFile", {id, Path(name), mode}); }
    // A field of the table at index.
    std::string Field(int index, const char *key) {
        lua_pushstring(L, key);
        lua_gettable(L, index);
        std::string v = lua_isstring(L, -1) ? std::string(lua_tostring(L, -1)) : std::string("<nil>");
        lua_pop(L, 1);
        return v;
    }
    void SetGlobal(const char *name, const std::string &value) {
        lua_pushstring(L, name);
        lua_pushlstring(L, value.data(), value.size());
        lua_settable(L, LUA_GLOBALSINDEX);
    }
    void SetGlobal(const char *name, double value) {
        lua_pushstring(L, name);
        lua_pushnumber(L, value);
        lua_settable(L, LUA_GLOBALSINDEX);
    }
    void FullCollect() { lua_setgcthreshold(L, 0); }
};

constexpr int MODE_READWRITE = 1004, MODE_READ = 1005, MODE_WRITE = 1006;

}  // namespace cxtest
