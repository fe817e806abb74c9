// The virtual machine's core through its C interface: strings, tables,
// references, metatables, the collector, calls and errors.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "engine/vm/vm_internal.h"

namespace {

struct VM : ::testing::Test {
    lua_State *L = lua_open();
    ~VM() override { lua_close(L); }
    // Runs f protected with the given arguments already pushed.
    int pcallC(lua_CFunction f, int nargs = 0, int nres = 0) {
        lua_pushcfunction(L, f);
        lua_insert(L, -(nargs + 1));
        return lua_pcall(L, nargs, nres, 0);
    }
};

TEST_F(VM, EqualTextsAreOneInternedString) {
    std::string a = "hello world";
    lua_pushstring(L, a.c_str());
    lua_pushlstring(L, "hello worldXX", 11);
    EXPECT_EQ(tsvalue(L->top - 1), tsvalue(L->top - 2));
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_pushlstring(L, "a\0b", 3);
    EXPECT_EQ(lua_strlen(L, -1), 3u);
    lua_pushlstring(L, "a\0c", 3);
    EXPECT_NE(tsvalue(L->top - 1), tsvalue(L->top - 2));
}

// Texts hashed a word at a time: one differing byte anywhere (before, in and
// after the last whole word, in a sampled long text) gives another string,
// and an equal copy finds the one already interned.
TEST_F(VM, TextsDifferingInOneByteAreDistinctAtEveryLength) {
    for (size_t len : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 255u, 256u, 257u, 1000u, 5000u}) {
        std::string base(len, 'a');
        for (size_t i = 0; i < len; i++) base[i] = static_cast<char>('a' + i % 23);
        TString *orig = luaS_newlstr(L, base.data(), len);
        EXPECT_EQ(luaS_newlstr(L, std::string(base).data(), len), orig) << len;
        for (size_t at : {size_t(0), len / 2, len - 1}) {
            std::string other = base;
            other[at] = '#';
            TString *t = luaS_newlstr(L, other.data(), len);
            EXPECT_NE(t, orig) << len << " at " << at;
            EXPECT_EQ(std::string(t->str(), t->len), other);
            EXPECT_EQ(luaS_newlstr(L, other.data(), len), t);
        }
    }
}

// Short-lived strings made by the hundred thousand are collected, and the
// strings that stay reachable stay interned through every cycle.
TEST_F(VM, ShortLivedStringsAreCollectedAndKeptOnesStay) {
    lua_pushstring(L, "kept line");
    TString *keptString = tsvalue(L->top - 1);
    char line[64];
    for (int i = 0; i < 200000; i++) {
        int n = snprintf(line, sizeof line, "line %d of a file read one line at a time", i);
        lua_pushlstring(L, line, static_cast<size_t>(n));
        lua_pop(L, 1);
        luaC_checkGC(L);
    }
    luaC_collectgarbage(L);
    EXPECT_LT(G(L)->strt.nuse, 20000u);
    EXPECT_EQ(luaS_newlstr(L, "kept line", 9), keptString);
    lua_pop(L, 1);
}

// A string built in place is the same interned string as one pushed from a
// copy, whatever its buffer's size was; an unpushed one is simply freed.
TEST_F(VM, StringBuffersBecomeInternedStrings) {
    lua_pushstring(L, "built here");
    char *b = lua_newstringbuffer(L, 4);
    ASSERT_NE(b, nullptr);
    memcpy(b, "buil", 4);
    b = lua_resizestringbuffer(L, b, 64);
    ASSERT_NE(b, nullptr);
    memcpy(b + 4, "t here and more", 15);
    lua_pushstringbuffer(L, b, 10);  // an equal string exists: that one
    EXPECT_EQ(tsvalue(L->top - 1), tsvalue(L->top - 2));
    char *fresh = lua_newstringbuffer(L, 3);
    memcpy(fresh, "n\0w", 3);
    lua_pushstringbuffer(L, fresh, 3);
    EXPECT_EQ(lua_strlen(L, -1), 3u);
    lua_pushlstring(L, "n\0w", 3);
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    lua_freestringbuffer(L, lua_newstringbuffer(L, 100));
    lua_settop(L, 0);
    lua_setgcthreshold(L, 0);  // both collected without a fault
}

TEST_F(VM, TablesTakeIntegerStringAndFloatKeys) {
    lua_newtable(L);
    for (int i = 1; i <= 100; i++) {
        lua_pushnumber(L, i * 10);
        lua_rawseti(L, 1, i);
    }
    lua_pushstring(L, "name");
    lua_pushstring(L, "value");
    lua_settable(L, 1);
    lua_pushnumber(L, 2.5);
    lua_pushnumber(L, 25);
    lua_settable(L, 1);
    lua_pushnumber(L, -3);
    lua_pushnumber(L, 33);
    lua_settable(L, 1);
    lua_pushboolean(L, 1);
    lua_pushnumber(L, 7);
    lua_rawset(L, 1);
    lua_rawgeti(L, 1, 57);
    EXPECT_EQ(lua_tonumber(L, -1), 570);
    lua_pushstring(L, "name");
    lua_gettable(L, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "value");
    lua_pushnumber(L, 2.5);
    lua_gettable(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 25);
    lua_pushnumber(L, -3.0);
    lua_rawget(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 33);
    lua_pushboolean(L, 1);
    lua_rawget(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 7);
    lua_pushnumber(L, 2.25);
    lua_rawget(L, 1);
    EXPECT_TRUE(lua_isnil(L, -1));
}

TEST_F(VM, NaNAndNilKeysRaiseTableIndex) {
    auto nanKey = [](lua_State *S) -> int {
        lua_newtable(S);
        lua_pushnumber(S, std::nan(""));
        lua_pushnumber(S, 1);
        lua_settable(S, -3);
        return 0;
    };
    EXPECT_EQ(pcallC(nanKey), ERR_TABLEINDEX);
    auto nilKey = [](lua_State *S) -> int {
        lua_newtable(S);
        lua_pushnil(S);
        lua_pushnumber(S, 1);
        lua_rawset(S, -3);
        return 0;
    };
    EXPECT_EQ(pcallC(nilKey), ERR_TABLEINDEX);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(VM, NextVisitsEveryKeyOnceAndRejectsUnknownKeys) {
    lua_newtable(L);
    std::set<std::string> expected;
    for (int i = 1; i <= 300; i++) {
        lua_pushnumber(L, i);
        lua_rawseti(L, 1, i);
        expected.insert("n" + std::to_string(i));
    }
    for (int i = 0; i < 300; i++) {
        std::string k = "key" + std::to_string(i);
        lua_pushstring(L, k.c_str());
        lua_pushnumber(L, i);
        lua_rawset(L, 1);
        expected.insert("s" + k);
    }
    // holes left by removed keys are skipped
    lua_pushstring(L, "key7");
    lua_pushnil(L);
    lua_rawset(L, 1);
    expected.erase("skey7");
    std::multiset<std::string> seen;
    lua_pushnil(L);
    while (lua_next(L, 1)) {
        if (lua_type(L, -2) == LUA_TNUMBER)
            seen.insert("n" + std::to_string(static_cast<int>(lua_tonumber(L, -2))));
        else
            seen.insert(std::string("s") + lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    EXPECT_EQ(seen.size(), expected.size());
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), expected);
    auto badNext = [](lua_State *S) -> int {
        lua_newtable(S);
        lua_pushstring(S, "absent");
        lua_next(S, 1);
        return 0;
    };
    EXPECT_EQ(pcallC(badNext), ERR_INVNEXTKEY);
}

TEST_F(VM, RegistryReferences) {
    lua_pushnil(L);
    EXPECT_EQ(luaL_ref(L, LUA_REGISTRYINDEX), LUA_REFNIL);
    lua_pushstring(L, "one");
    int r1 = luaL_ref(L, LUA_REGISTRYINDEX);
    lua_pushstring(L, "two");
    int r2 = luaL_ref(L, LUA_REGISTRYINDEX);
    EXPECT_GT(r1, 0);
    EXPECT_NE(r1, r2);
    lua_rawgeti(L, LUA_REGISTRYINDEX, r2);
    EXPECT_STREQ(lua_tostring(L, -1), "two");
    lua_pop(L, 1);
    luaL_unref(L, LUA_REGISTRYINDEX, r1);
    lua_pushstring(L, "three");
    int r3 = luaL_ref(L, LUA_REGISTRYINDEX);
    EXPECT_EQ(r3, r1); // a released slot is reused
    lua_rawgeti(L, LUA_REGISTRYINDEX, r3);
    EXPECT_STREQ(lua_tostring(L, -1), "three");
    EXPECT_EQ(lua_gettop(L), 1);
}

TEST_F(VM, UserdataMetatablesAndCheckUdata) {
    EXPECT_EQ(luaL_newmetatable(L, "Thing"), 1);
    EXPECT_EQ(luaL_newmetatable(L, "Thing"), 0);
    lua_settop(L, 0);
    int *p = static_cast<int *>(lua_newuserdata(L, sizeof(int)));
    *p = 42;
    luaL_getmetatable(L, "Thing");
    lua_setmetatable(L, -2);
    auto check = [](lua_State *S) -> int {
        int *q = static_cast<int *>(luaL_checkudata(S, 1, "Thing"));
        lua_pushnumber(S, *q);
        return 1;
    };
    lua_pushvalue(L, 1);
    ASSERT_EQ(pcallC(check, 1, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 42);
    lua_pop(L, 1);
    lua_newuserdata(L, 4); // no metatable
    SetErrorNumber(0);
    EXPECT_EQ(pcallC(check, 1, 1), ERR_UDEXPECTED);
    EXPECT_EQ(GetErrorNumber(), 1);
}

TEST_F(VM, ArgumentReadersRaiseTheirCodesWithTheArgumentIndex) {
    struct Case {
        lua_CFunction f;
        int code;
    } cases[] = {
        {[](lua_State *S) { luaL_checknumber(S, 2); return 0; }, ERR_NUMEXPECTED},
        {[](lua_State *S) { luaL_checklstring(S, 2, nullptr); return 0; }, ERR_STREXPECTED},
        {[](lua_State *S) { luaL_checktable(S, 2); return 0; }, ERR_TABEXPECTED},
        {[](lua_State *S) { luaL_checkfunction(S, 2); return 0; }, ERR_FUNCEXPECTED},
        {[](lua_State *S) { luaL_optnumber(S, 2, 1); return 0; }, ERR_NUMEXPECTED},
    };
    for (const Case &c : cases) {
        lua_pushnumber(L, 1);
        lua_pushboolean(L, 1);
        SetErrorNumber(0);
        EXPECT_EQ(pcallC(c.f, 2), c.code);
        EXPECT_EQ(GetErrorNumber(), 2);
        EXPECT_EQ(lua_gettop(L), 0);
    }
    auto ints = [](lua_State *S) -> int {
        int a = luaL_checkint(S, 1);
        int b = luaL_optint(S, 2, 77);
        double c = luaL_optnumber(S, 3, 1.5);
        lua_pushnumber(S, a);
        lua_pushnumber(S, b);
        lua_pushnumber(S, c);
        return 3;
    };
    lua_pushnumber(L, 4294967295.0);
    ASSERT_EQ(pcallC(ints, 1, 3), 0);
    EXPECT_EQ(static_cast<unsigned>(static_cast<int>(lua_tonumber(L, 1))), 0xFFFFFFFFu);
    EXPECT_EQ(lua_tonumber(L, 2), 77);
    EXPECT_EQ(lua_tonumber(L, 3), 1.5);
    lua_settop(L, 0);
    auto field = [](lua_State *S) -> int {
        lua_pushstring(S, "abc");
        luaL_checkfieldint(S, -1, "width");
        return 0;
    };
    EXPECT_EQ(pcallC(field), ERR_NUMTABLEARG);
    EXPECT_STREQ(GetErrorDetail(), "width");
    EXPECT_EQ(luaL_numbertoint(-7.9), -7);
    EXPECT_EQ(luaL_numbertoint(std::nan("")), 0);
    EXPECT_EQ(luaL_numbertoint(-1e20), INT32_MIN);
}

TEST_F(VM, CheckStackStopsAt2048Slots) {
    EXPECT_EQ(lua_checkstack(L, 100), 1);
    EXPECT_EQ(lua_checkstack(L, 2048), 1);
    EXPECT_EQ(lua_checkstack(L, 2049), 0);
    lua_settop(L, 2000);
    EXPECT_EQ(lua_checkstack(L, 48), 1);
    EXPECT_EQ(lua_checkstack(L, 49), 0);
}

TEST_F(VM, CollectionFreesUnreachableTables) {
    lua_setgcthreshold(L, 0);
    int base = lua_getgccount(L);
    for (int i = 0; i < 2000; i++) {
        lua_newtable(L);
        for (int j = 1; j <= 16; j++) {
            lua_pushnumber(L, j);
            lua_rawseti(L, -2, j);
        }
        lua_pushnumber(L, i + 1);
        lua_insert(L, -2);
        lua_rawset(L, LUA_GLOBALSINDEX);
    }
    int grown = lua_getgccount(L);
    EXPECT_GT(grown, base + 200);
    // drop them all from the globals
    for (int i = 0; i < 2000; i++) {
        lua_pushnumber(L, i + 1);
        lua_pushnil(L);
        lua_rawset(L, LUA_GLOBALSINDEX);
    }
    lua_setgcthreshold(L, 0);
    EXPECT_LT(lua_getgccount(L), base + 100);
    EXPECT_GE(lua_getgcthreshold(L), lua_getgccount(L));
}

int g_finalised;

TEST_F(VM, UserdataFinaliserRunsExactlyOnce) {
    g_finalised = 0;
    luaL_newmetatable(L, "Fin");
    lua_pushstring(L, "__gc");
    lua_pushcfunction(L, [](lua_State *) -> int {
        g_finalised++;
        return 0;
    });
    lua_rawset(L, -3);
    lua_pop(L, 1);
    lua_newuserdata(L, 16);
    luaL_getmetatable(L, "Fin");
    lua_setmetatable(L, -2);
    lua_setgcthreshold(L, 0);
    EXPECT_EQ(g_finalised, 0); // still on the stack
    lua_pop(L, 1);
    lua_setgcthreshold(L, 0);
    EXPECT_EQ(g_finalised, 1);
    lua_setgcthreshold(L, 0);
    lua_setgcthreshold(L, 0);
    EXPECT_EQ(g_finalised, 1);
    // one still alive at close is finalised by lua_close, once
    lua_newuserdata(L, 16);
    luaL_getmetatable(L, "Fin");
    lua_setmetatable(L, -2);
    lua_close(L);
    L = nullptr;
    EXPECT_EQ(g_finalised, 2);
}

TEST_F(VM, WeakKeyedTableLosesCollectedKeys) {
    lua_newtable(L); // 1: weak table
    lua_newtable(L); // 2: its metatable
    lua_pushstring(L, "__mode");
    lua_pushstring(L, "k");
    lua_rawset(L, 2);
    lua_setmetatable(L, 1);
    lua_newtable(L); // 2: a key kept alive
    lua_pushvalue(L, 2);
    lua_pushnumber(L, 1);
    lua_rawset(L, 1);
    lua_newtable(L); // 3: a key that will die
    lua_pushnumber(L, 2);
    lua_rawset(L, 1);
    lua_pushstring(L, "strings stay");
    lua_pushnumber(L, 3);
    lua_rawset(L, 1);
    lua_setgcthreshold(L, 0);
    int n = 0;
    lua_pushnil(L);
    while (lua_next(L, 1)) {
        n++;
        lua_pop(L, 1);
    }
    EXPECT_EQ(n, 2);
    lua_pushvalue(L, 2);
    lua_rawget(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(VM, CommandErrorCodeThroughPcallCutsTheStackBack) {
    lua_pushnumber(L, 1);
    lua_pushnumber(L, 2);
    int code = pcallC([](lua_State *S) -> int {
        lua_pushstring(S, "junk");
        return ERR_WRONGUSAGE;
    }, 1, 3);
    EXPECT_EQ(code, ERR_WRONGUSAGE);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_tonumber(L, 1), 1);
}

TEST_F(VM, ResultsOutsideTheConventionAreErrors) {
    EXPECT_EQ(pcallC([](lua_State *) -> int { return -7; }), ERR_INTERNAL1);
    EXPECT_STREQ(GetErrorDetail(), "-7");
    EXPECT_EQ(pcallC([](lua_State *) -> int { return 3; }), ERR_INTERNAL1); // claims unpushed results
    EXPECT_EQ(pcallC([](lua_State *S) -> int { luaG_runerror(S, 0); }), ERR_INTERNAL1);
    EXPECT_EQ(pcallC([](lua_State *S) -> int {
        lua_pushnumber(S, 5);
        return 1;
    }, 0, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 5);
}

TEST_F(VM, CaptureFlagHandsTheCodeBack) {
    // the capturing call form as the interpreter makes it
    auto failing = [](lua_State *S) -> int {
        lua_pushnumber(S, 9);
        return ERR_WRONGUSAGE;
    };
    auto raising = [](lua_State *S) -> int {
        luaL_checknumber(S, 1);
        return 0;
    };
    auto fine = [](lua_State *S) -> int {
        lua_pushnumber(S, 11);
        return 1;
    };
    struct Case {
        lua_CFunction f;
        double code;
    } cases[] = {{failing, ERR_WRONGUSAGE}, {raising, ERR_NUMEXPECTED}, {fine, 0}};
    for (const Case &c : cases) {
        lua_settop(L, 0);
        lua_pushcfunction(L, c.f);
        int status = -5;
        L->nprotected++;
        EXPECT_EQ(luaD_precall(L, L->top - 1, 2, 1, &status), 0);
        L->nprotected--;
        EXPECT_EQ(status, 0);
        ASSERT_EQ(lua_gettop(L), 2);
        EXPECT_EQ(lua_tonumber(L, 1), c.code);
        if (c.code == 0) EXPECT_EQ(lua_tonumber(L, 2), 11);
        else EXPECT_TRUE(lua_isnil(L, 2));
    }
}

TEST_F(VM, UnboundedRecursionThroughCallRaisesStackOverflow) {
    lua_CFunction rec = [](lua_State *S) -> int {
        lua_pushvalue(S, lua_upvalueindex(1));
        lua_pushvalue(S, lua_upvalueindex(1));
        lua_call(S, 1, 0);
        return 0;
    };
    // a closure that calls itself through its upvalue
    lua_pushnil(L);
    lua_pushcclosure(L, rec, 1);
    lua_pushvalue(L, -1);
    lua_setupvalue(L, -2, 1);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), ERR_STACK);
    EXPECT_EQ(lua_gettop(L), 0);
    // the state is usable afterwards
    EXPECT_EQ(pcallC([](lua_State *) -> int { return 0; }), 0);
}

TEST_F(VM, OpenLibRegistersLowerCasedNamesAndConstants) {
    static const luaL_reg cmds[] = {{"DisplayBrush", [](lua_State *S) -> int {
                                         lua_pushnumber(S, 3);
                                         return 1;
                                     }},
                                    {nullptr, nullptr}};
    luaL_openlib(L, nullptr, cmds, 0);
    lua_pushstring(L, "displaybrush");
    lua_gettable(L, LUA_GLOBALSINDEX);
    ASSERT_TRUE(lua_iscfunction(L, -1));
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    static const luaL_Const cst[] = {{"ERR_MEM", nullptr, 1000}, {"My_Name", "text", 0}, {nullptr, nullptr, 0}};
    luaL_openconstants(L, cst, 0);
    lua_pushstring(L, "constants");
    lua_rawget(L, LUA_REGISTRYINDEX);
    lua_pushstring(L, "err_mem");
    lua_rawget(L, -2);
    EXPECT_EQ(lua_tonumber(L, -1), 1000);
    lua_pushstring(L, "my_name");
    lua_rawget(L, -3);
    EXPECT_STREQ(lua_tostring(L, -1), "text");
    EXPECT_EQ(luaL_getlabel(L, "Start"), -1);
    luaL_setlabel(L, "START", 12);
    EXPECT_EQ(luaL_getlabel(L, "start"), 12);
    static const char *const list[] = {"a", "bb", nullptr};
    EXPECT_EQ(luaL_findstring("bb", list), 1);
    EXPECT_EQ(luaL_findstring("c", list), -1);
}

TEST_F(VM, ErrorPositionNamesTheCommand) {
    static const luaL_reg cmds[] = {{"LoadBrush", [](lua_State *S) -> int {
                                         luaL_checknumber(S, 1);
                                         return 0;
                                     }},
                                    {nullptr, nullptr}};
    luaL_openlib(L, nullptr, cmds, 0);
    lua_pushstring(L, "loadbrush");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), ERR_NUMEXPECTED);
    EXPECT_EQ(GetErrorPosition()->line, -1);
    EXPECT_STREQ(GetErrorPosition()->command, "LoadBrush");
}

TEST_F(VM, BuffersJoinLongTexts) {
    auto f = [](lua_State *S) -> int {
        luaL_Buffer b;
        luaL_buffinit(S, &b);
        for (int i = 0; i < 5000; i++) luaL_addstring(&b, "abc");
        lua_pushstring(S, "XYZ");
        luaL_addvalue(&b);
        luaL_putchar(&b, '!');
        luaL_pushresult(&b);
        return 1;
    };
    ASSERT_EQ(pcallC(f, 0, 1), 0);
    std::string s(lua_tostring(L, -1), lua_strlen(L, -1));
    EXPECT_EQ(s.size(), 15004u);
    EXPECT_EQ(s.substr(s.size() - 4), "XYZ!");
}

// Numbers become text as "%.14g" writes them, whichever way the formatter
// takes: integers, short decimals, or the C library.
TEST(NumberText, MatchesPercent14g) {
    std::vector<double> values = {0.5, -0.5, 1.5, 0.25, 0.1, 0.2, 0.1 + 0.2, 1.0 / 3, 2.0 / 3, 1e-4, 1.5e-4,
                                  9.99999999999999e-5, 0.00012345678901234, 123456.789, -123456.789,
                                  1e13 - 0.5, 1e13 + 0.5, 99999999999999.5, 99999999999999.0, 1e14, 1e15 + 0.5,
                                  12345678901.125, 0.1234567890123456, 4503599627370495.5, 1e22, 1e300, 5e-324,
                                  DBL_MAX, -DBL_MAX, 0.0, -0.0, 1e-5, 3.14159265358979, 2.5e-4, 0.3, 1e12 + 0.1};
    values.push_back(INFINITY);
    values.push_back(-INFINITY);
    values.push_back(NAN);
    for (int i = -2000; i <= 2000; i++) {
        values.push_back(i + 0.5);
        values.push_back(i / 4.0);
        values.push_back(i / 100.0);
        values.push_back(i / 1000.0);
        values.push_back(i * 1.1);
    }
    std::mt19937_64 rng(27);
    for (int i = 0; i < 100000; i++) {
        uint64_t bits = rng();
        double d;
        memcpy(&d, &bits, sizeof d);
        values.push_back(d);
        values.push_back(std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80)));
        values.push_back(static_cast<double>(rng() % 100000000) / std::pow(10.0, static_cast<int>(rng() % 12)));
    }
    for (double v : values) {
        char want[64], got[48];
        snprintf(want, sizeof want, "%.14g", v);
        size_t len = luaO_num2str(v, got);
        ASSERT_STREQ(got, want) << "bits of the number: " << std::hexfloat << v;
        ASSERT_EQ(len, strlen(want));
    }
}

TEST(CommandLibraries, KeepTheirOrder) {
    static const luaL_reg a[] = {{"One", nullptr}, {nullptr, nullptr}};
    static const luaL_reg b[] = {{"Two", nullptr}, {nullptr, nullptr}};
    ASSERT_EQ(AddCommandLibrary(a, "first"), 0);
    ASSERT_EQ(AddCommandLibrary(b, "second"), 0);
    const cxCommandLibrary *l = GetCommandLibraries();
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->name, "first");
    ASSERT_NE(l->next, nullptr);
    EXPECT_STREQ(l->next->name, "second");
    EXPECT_EQ(l->next->commands, b);
    FreeCommandLibraries();
    EXPECT_EQ(GetCommandLibraries(), nullptr);
}

} // namespace
