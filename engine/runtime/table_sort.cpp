// Sorting a range of a script table. The collating compare is not a strict
// weak order (strings it cannot weigh compare equal to everything), and a
// script comparator may answer anything, so the sort is a merge sort: it
// only ever compares elements it holds and cannot run out of its bounds.
#include "engine/runtime/table_sort.h"

#include <cstdint>
#include <vector>

#include "engine/charset/collate.h"
#include "errors/errors.h"

namespace {

struct Sorter {
    lua_State *L;
    int values;     // stack index of the table holding the entries at 1..n
    int comparator; // stack index of the comparator, 0 for the default order

    bool Truth(int index) {
        switch (lua_type(L, index)) {
        case LUA_TNIL: return false;
        case LUA_TBOOLEAN: return lua_toboolean(L, index) != 0;
        case LUA_TNUMBER: return lua_tonumber(L, index) != 0;
        case LUA_TSTRING: return lua_strlen(L, index) != 0;
        default: return true;
        }
    }

    // Whether entry a sorts strictly before entry b.
    bool Less(int a, int b) {
        if (comparator) {
            lua_pushvalue(L, comparator);
            lua_rawgeti(L, values, a);
            lua_rawgeti(L, values, b);
            lua_call(L, 2, 1);
            bool r = Truth(-1);
            lua_pop(L, 1);
            return r;
        }
        lua_rawgeti(L, values, a);
        lua_rawgeti(L, values, b);
        int ta = lua_type(L, -2), tb = lua_type(L, -1);
        bool r;
        if (ta == LUA_TNUMBER && tb == LUA_TNUMBER) {
            r = lua_tonumber(L, -2) < lua_tonumber(L, -1);
        } else if (ta == LUA_TSTRING && tb == LUA_TSTRING) {
            r = CompareStrings(lua_tostring(L, -2), lua_tostring(L, -1), 1) < 0;
        } else if ((ta == LUA_TNUMBER || ta == LUA_TSTRING) && (tb == LUA_TNUMBER || tb == LUA_TSTRING)) {
            r = ta == LUA_TNUMBER; // numbers before strings
        } else {
            luaG_runerror(L, ERR_WRONGUSAGE);
        }
        lua_pop(L, 2);
        return r;
    }

    void Sort(std::vector<int> &order) {
        size_t n = order.size();
        std::vector<int> scratch(n);
        for (size_t width = 1; width < n; width *= 2) {
            for (size_t lo = 0; lo < n; lo += 2 * width) {
                size_t mid = lo + width < n ? lo + width : n;
                size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
                size_t i = lo, j = mid, k = lo;
                while (i < mid && j < hi) {
                    // the right one goes first only when it is strictly less
                    if (Less(order[j], order[i]))
                        scratch[k++] = order[j++];
                    else
                        scratch[k++] = order[i++];
                }
                while (i < mid) scratch[k++] = order[i++];
                while (j < hi) scratch[k++] = order[j++];
            }
            order.swap(scratch);
        }
    }
};

} // namespace

extern "C" void SortTableRange(lua_State *L, int index, int useComparator, int low, int high) {
    if (high < low) return;
    int top = lua_gettop(L);
    if (index < 0 && index > LUA_REGISTRYINDEX) index = top + index + 1;
    int comparator = useComparator ? top : 0;
    int64_t count64 = static_cast<int64_t>(high) - low + 1;
    if (count64 > INT32_MAX - 1) luaG_runerror(L, ERR_WRONGUSAGE);
    int n = static_cast<int>(count64);
    if (!lua_checkstack(L, 8)) luaG_runerror(L, ERR_STACK);
    // copy the entries into a private table so that a comparator that
    // changes the script's table cannot disturb the sort
    lua_createtable(L, n, 0);
    int values = lua_gettop(L);
    for (int i = 0; i < n; i++) {
        lua_rawgeti(L, index, low + i);
        lua_rawseti(L, values, i + 1);
    }
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i + 1;
    Sorter{L, values, comparator}.Sort(order);
    for (int i = 0; i < n; i++) {
        lua_rawgeti(L, values, order[static_cast<size_t>(i)]);
        lua_rawseti(L, index, low + i);
    }
    lua_settop(L, top);
}
