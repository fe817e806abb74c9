// Table reads and writes and string interning through the C interface.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/vm/lua.h"

namespace {

void BM_TableSetGetInt(benchmark::State &state) {
    lua_State *L = lua_open();
    lua_newtable(L);
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 1; i <= n; i++) {
            lua_pushnumber(L, i);
            lua_rawseti(L, 1, i);
        }
        double s = 0;
        for (int i = 1; i <= n; i++) {
            lua_rawgeti(L, 1, i);
            s += lua_tonumber(L, -1);
            lua_settop(L, 1);
        }
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * n * 2);
    lua_close(L);
}
BENCHMARK(BM_TableSetGetInt)->Arg(1000)->Arg(100000);

void BM_TableSetGetString(benchmark::State &state) {
    lua_State *L = lua_open();
    lua_newtable(L);
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> keys;
    for (int i = 0; i < n; i++) keys.push_back("key" + std::to_string(i));
    for (const auto &k : keys) { // keep the key strings alive and interned
        lua_pushstring(L, k.c_str());
        lua_pushboolean(L, 1);
        lua_rawset(L, LUA_REGISTRYINDEX);
    }
    for (auto _ : state) {
        for (int i = 0; i < n; i++) {
            lua_pushstring(L, keys[static_cast<size_t>(i)].c_str());
            lua_pushnumber(L, i);
            lua_rawset(L, 1);
        }
        double s = 0;
        for (int i = 0; i < n; i++) {
            lua_pushstring(L, keys[static_cast<size_t>(i)].c_str());
            lua_rawget(L, 1);
            s += lua_tonumber(L, -1);
            lua_settop(L, 1);
        }
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * n * 2);
    lua_close(L);
}
BENCHMARK(BM_TableSetGetString)->Arg(1000)->Arg(100000);

// Pushing texts that are already interned: a lookup each.
void BM_InternExisting(benchmark::State &state) {
    lua_State *L = lua_open();
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; i++) texts.push_back("interned text number " + std::to_string(i));
    lua_newtable(L);
    for (const auto &t : texts) {
        lua_pushstring(L, t.c_str());
        lua_rawseti(L, 1, static_cast<int>(&t - texts.data()) + 1);
    }
    for (auto _ : state) {
        for (const auto &t : texts) {
            lua_pushlstring(L, t.data(), t.size());
            lua_settop(L, 1);
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    lua_close(L);
}
BENCHMARK(BM_InternExisting);

// New texts every time: creation, and the collector freeing them.
void BM_InternNew(benchmark::State &state) {
    lua_State *L = lua_open();
    char buf[64];
    long n = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; i++) {
            int len = snprintf(buf, sizeof buf, "fresh text %ld", n++);
            lua_pushlstring(L, buf, static_cast<size_t>(len));
            lua_settop(L, 0);
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    lua_close(L);
}
BENCHMARK(BM_InternNew);

} // namespace

BENCHMARK_MAIN();
