// Sorting table ranges, also with comparators that contradict themselves.
#include <random>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

void PushNumbers(lua_State *L, std::initializer_list<double> values) {
    lua_newtable(L);
    int i = 0;
    for (double v : values) {
        lua_pushnumber(L, v);
        lua_rawseti(L, -2, i++);
    }
}

TEST_F(VmTest, SortsARangeInPlace) {
    PushNumbers(L, {9, 5, 3, 8, 1, 7});
    SortTableRange(L, 1, 0, 1, 4);
    double expect[] = {9, 1, 3, 5, 8, 7};
    for (int i = 0; i < 6; i++) {
        lua_rawgeti(L, 1, i);
        EXPECT_EQ(Num(-1), expect[i]) << i;
        lua_pop(L, 1);
    }
    EXPECT_EQ(lua_gettop(L), 1);
}

TEST_F(VmTest, StringsSortByCollationAfterNumbers) {
    lua_newtable(L);
    const char *words[] = {"b", "A", "a", "\xC3\xA9", "f", "e"};
    for (int i = 0; i < 6; i++) {
        lua_pushstring(L, words[i]);
        lua_rawseti(L, 1, i);
    }
    lua_pushnumber(L, 3);
    lua_rawseti(L, 1, 6);
    SortTableRange(L, 1, 0, 0, 6);
    const char *expect[] = {nullptr, "a", "A", "b", "e", "\xC3\xA9", "f"};
    lua_rawgeti(L, 1, 0);
    EXPECT_EQ(Num(-1), 3);
    for (int i = 1; i < 7; i++) {
        lua_rawgeti(L, 1, i);
        EXPECT_EQ(Str(-1), expect[i]) << i;
    }
}

int g_calls = 0;
// Answers at random: no order at all.
int ChaoticComparator(lua_State *L) {
    static std::mt19937 rng(12345);
    g_calls++;
    lua_pushnumber(L, rng() & 1);
    return 1;
}

TEST_F(VmTest, InconsistentComparatorStaysInBoundsAndKeepsEveryEntry) {
    const int n = 500;
    lua_newtable(L);
    for (int i = 0; i < n; i++) {
        lua_pushnumber(L, i);
        lua_rawseti(L, 1, i);
    }
    lua_pushcfunction(L, ChaoticComparator);
    SortTableRange(L, 1, 1, 0, n - 1);
    EXPECT_GT(g_calls, 0);
    std::vector<int> seen(n, 0);
    for (int i = 0; i < n; i++) {
        lua_rawgeti(L, 1, i);
        int v = static_cast<int>(Num(-1));
        lua_pop(L, 1);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, n);
        seen[v]++;
    }
    for (int c : seen) EXPECT_EQ(c, 1);
    lua_rawgeti(L, 1, n);
    EXPECT_TRUE(lua_isnil(L, -1)); // nothing written past the range
}

TEST_F(VmTest, CollationThatCannotWeighStringsStillSortsSafely) {
    // strings past U+024F and invalid UTF-8 compare equal to everything
    lua_newtable(L);
    const char *words[] = {"z", "\xE2\x82\xAC", "a", "\xFF", "m", "\xE2\x82\xAC" "b", "b"};
    for (int i = 0; i < 7; i++) {
        lua_pushstring(L, words[i]);
        lua_rawseti(L, 1, i);
    }
    SortTableRange(L, 1, 0, 0, 6);
    int count = 0;
    for (int i = 0; i < 7; i++) {
        lua_rawgeti(L, 1, i);
        count += lua_type(L, -1) == LUA_TSTRING;
        lua_pop(L, 1);
    }
    EXPECT_EQ(count, 7);
}

TEST_F(VmTest, MixedTypesWithoutComparatorAreRefused) {
    EXPECT_EQ(Probe([](lua_State *S) {
                  lua_newtable(S);
                  lua_pushnumber(S, 1);
                  lua_rawseti(S, -2, 0);
                  lua_newtable(S);
                  lua_rawseti(S, -2, 1);
                  SortTableRange(S, -1, 0, 0, 1);
                  return 0;
              }),
              ERR_WRONGUSAGE);
}

} // namespace
