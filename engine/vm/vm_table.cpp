// Tables: an array part for the keys 1..n and a hash part of chained nodes
// whose chains live inside the node vector (a colliding key that is not in
// its main position is moved out of the way).
#include <cmath>

#include "engine/vm/vm_internal.h"

namespace {

constexpr int MAXABITS = 24; // array part at most 2^24 slots
constexpr int MAXHBITS = 24; // hash part at most 2^24 nodes

Node dummynode_ = {{{nullptr}, LUA_TNIL}, {{nullptr}, LUA_TNIL}, nullptr};
Node *const dummynode = &dummynode_;

inline uint32_t hashpointer(const void *p) {
    // Widened first: shifting a 32-bit pointer value by 32 is undefined.
    uint64_t u = reinterpret_cast<uintptr_t>(p);
    return static_cast<uint32_t>(u ^ (u >> 32)) >> 3 | static_cast<uint32_t>(u << 29);
}

inline uint32_t hashnum(lua_Number n) {
    n += 0; // -0 and 0 hash alike
    uint64_t bits;
    memcpy(&bits, &n, sizeof bits);
    bits ^= bits >> 29;
    bits *= 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(bits >> 32);
}

inline Node *hashmod(const Table *t, uint32_t h) { return &t->node[h % ((sizenode(t) - 1) | 1)]; }
inline Node *hashpow2(const Table *t, uint32_t h) {
    return &t->node[h & static_cast<uint32_t>(sizenode(t) - 1)];
}

Node *mainposition(const Table *t, const TObject *key) {
    switch (ttype(key)) {
    case LUA_TNUMBER: return hashmod(t, hashnum(nvalue(key)));
    case LUA_TSTRING: return hashpow2(t, tsvalue(key)->hash);
    case LUA_TBOOLEAN: return hashpow2(t, static_cast<uint32_t>(bvalue(key)));
    case LUA_TLIGHTUSERDATA: return hashmod(t, hashpointer(pvalue(key)));
    default: return hashmod(t, hashpointer(gcvalue(key)));
    }
}

// The array index of a number key, or -1.
inline int arrayindex(lua_Number n) {
    if (n >= 1 && n <= static_cast<lua_Number>(1 << MAXABITS)) {
        int k = static_cast<int>(n);
        if (static_cast<lua_Number>(k) == n) return k;
    }
    return -1;
}

void setarrayvector(lua_State *L, Table *t, int size) {
    // realloc keeps big arrays in place (no copy, no fresh pages)
    void *na = luaM_realloc(L, t->array, sizeof(TObject) * static_cast<size_t>(t->sizearray),
                            sizeof(TObject) * static_cast<size_t>(size));
    t->array = static_cast<TObject *>(na);
    for (int i = t->sizearray; i < size; i++) setnilvalue(&t->array[i]);
    t->sizearray = size;
}

void setnodevector(lua_State *L, Table *t, int lsize) {
    if (lsize > MAXHBITS) luaG_runerror(L, ERR_TABLEOVERFLOW);
    if (lsize < 0) {
        t->node = dummynode;
        t->lsizenode = 0;
        t->firstfree = nullptr;
        return;
    }
    int size = 1 << lsize;
    t->node = luaM_newvector<Node>(L, static_cast<size_t>(size));
    for (int i = 0; i < size; i++) {
        t->node[i].next = nullptr;
        setnilvalue(&t->node[i].i_key);
        setnilvalue(&t->node[i].i_val);
    }
    t->lsizenode = static_cast<uint8_t>(lsize);
    t->firstfree = t->node + size;
}

int ceillog2(unsigned x) {
    int l = 0;
    x--;
    while (x >= 256) { l += 8; x >>= 8; }
    while (x) { l++; x >>= 1; }
    return l;
}

Node *getfreepos(Table *t) {
    if (!t->firstfree) return nullptr;
    while (t->firstfree > t->node) {
        t->firstfree--;
        if (ttisnil(&t->firstfree->i_key)) return t->firstfree;
    }
    return nullptr;
}

// Counts the integer keys per power-of-2 slice: nums[i] counts the keys in
// (2^(i-1), 2^i].
void countint(const TObject *key, int *nums) {
    if (ttisnumber(key)) {
        int k = arrayindex(nvalue(key));
        if (k > 0) nums[ceillog2(static_cast<unsigned>(k))]++;
    }
}

void rehash(lua_State *L, Table *t, const TObject *extra) {
    int nums[MAXABITS + 1] = {0};
    int total = 0;
    // array part
    int lg = 0, ttlg = 1;
    for (int i = 1; lg <= MAXABITS; lg++, ttlg *= 2) {
        int lim = ttlg < t->sizearray ? ttlg : t->sizearray;
        if (i > lim) break;
        int lc = 0;
        for (; i <= lim; i++)
            if (!ttisnil(&t->array[i - 1])) lc++;
        nums[lg] += lc;
        total += lc;
    }
    // hash part
    int n = sizenode(t);
    if (t->node != dummynode) {
        for (int i = 0; i < n; i++) {
            Node *nd = &t->node[i];
            if (!ttisnil(&nd->i_val)) {
                countint(&nd->i_key, nums);
                total++;
            }
        }
    }
    countint(extra, nums);
    total++;
    // the largest power of 2 whose slice 1..2^i is more than half used
    int a = 0, na = 0, optimal = 0;
    for (int i = 0, twotoi = 1; i <= MAXABITS && twotoi / 2 < total; i++, twotoi *= 2) {
        a += nums[i];
        if (a > twotoi / 2) {
            optimal = twotoi;
            na = a;
        }
    }
    int nh = total - na;
    luaH_resize(L, t, optimal, nh > 0 ? ceillog2(static_cast<unsigned>(nh)) : -1);
}

TObject *newkey(lua_State *L, Table *t, const TObject *key) {
    Node *mp = mainposition(t, key);
    if (!ttisnil(&mp->i_val) || mp == dummynode) {
        Node *f = getfreepos(t);
        if (!f) {
            rehash(L, t, key);
            return luaH_set(L, t, key);
        }
        Node *othern = mainposition(t, &mp->i_key);
        if (othern != mp) {
            // the colliding node is out of its main position: move it
            while (othern->next != mp) othern = othern->next;
            othern->next = f;
            *f = *mp;
            mp->next = nullptr;
            setnilvalue(&mp->i_val);
        } else {
            f->next = mp->next;
            mp->next = f;
            mp = f;
        }
    }
    mp->i_key = *key;
    setnilvalue(&mp->i_val);
    return &mp->i_val;
}

const TObject *getgeneric(Table *t, const TObject *key) {
    Node *n = mainposition(t, key);
    do {
        if (luaO_rawequalObj(&n->i_key, key)) return &n->i_val;
        n = n->next;
    } while (n);
    return &luaO_nilobject;
}

const TObject *getnumhash(Table *t, lua_Number key) {
    Node *n = hashmod(t, hashnum(key));
    do {
        if (ttisnumber(&n->i_key) && nvalue(&n->i_key) == key) return &n->i_val;
        n = n->next;
    } while (n);
    return &luaO_nilobject;
}

} // namespace

Table *luaH_new(lua_State *L, int narray, int lnhash) {
    if (narray < 0 || narray > (1 << MAXABITS) || lnhash > MAXHBITS) luaG_runerror(L, ERR_TABLEOVERFLOW);
    Table *t = static_cast<Table *>(luaM_realloc(L, nullptr, 0, sizeof(Table)));
    t->flags = 0xFF;
    t->weakmode = 0;
    t->metatable = nullptr;
    t->array = nullptr;
    t->sizearray = 0;
    t->lsizenode = 0;
    t->node = dummynode;
    t->firstfree = nullptr;
    t->gclist = nullptr;
    luaC_link(L, t, LUA_TTABLE);
    // the table is reachable from nothing yet, but no collection runs here
    if (narray > 0) setarrayvector(L, t, narray);
    setnodevector(L, t, lnhash > 0 ? lnhash : -1);
    return t;
}

void luaH_free(lua_State *L, Table *t) {
    if (t->node != dummynode) luaM_freearray(L, t->node, static_cast<size_t>(sizenode(t)));
    luaM_freearray(L, t->array, static_cast<size_t>(t->sizearray));
    luaM_realloc(L, t, sizeof(Table), 0);
}

void luaH_resize(lua_State *L, Table *t, int nasize, int lnhsize) {
    if (nasize > (1 << MAXABITS)) luaG_runerror(L, ERR_TABLEOVERFLOW);
    int oldasize = t->sizearray;
    int oldhsize = t->node == dummynode ? 0 : sizenode(t);
    Node *nold = t->node;
    if (nasize > oldasize) setarrayvector(L, t, nasize);
    setnodevector(L, t, lnhsize);
    if (nasize < oldasize) {
        // re-insert the vanishing slice of the array part into the hash part
        TObject *oldarray = t->array;
        t->sizearray = nasize;
        for (int i = nasize; i < oldasize; i++) {
            if (!ttisnil(&oldarray[i])) *luaH_setnum(L, t, i + 1) = oldarray[i];
        }
        t->array = static_cast<TObject *>(luaM_realloc(L, oldarray, sizeof(TObject) * static_cast<size_t>(oldasize),
                                                       sizeof(TObject) * static_cast<size_t>(nasize)));
    }
    for (int i = oldhsize - 1; i >= 0; i--) {
        Node *old = nold + i;
        if (!ttisnil(&old->i_val)) *luaH_set(L, t, &old->i_key) = old->i_val;
    }
    if (oldhsize) luaM_freearray(L, nold, static_cast<size_t>(oldhsize));
}

const TObject *luaH_getnum(Table *t, int key) {
    if (static_cast<unsigned>(key) - 1u < static_cast<unsigned>(t->sizearray)) return &t->array[key - 1];
    return getnumhash(t, static_cast<lua_Number>(key));
}

const TObject *luaH_get(Table *t, const TObject *key) {
    switch (ttype(key)) {
    case LUA_TSTRING: return luaH_getstr(t, tsvalue(key));
    case LUA_TNUMBER: {
        lua_Number n = nvalue(key);
        if (const TObject *slot = luaH_arrayslot(t, n)) return slot;
        return getnumhash(t, n);
    }
    case LUA_TNIL: return &luaO_nilobject;
    default: return getgeneric(t, key);
    }
}

TObject *luaH_set(lua_State *L, Table *t, const TObject *key) {
    const TObject *p = luaH_get(t, key);
    t->flags = 0;
    if (p != &luaO_nilobject) return const_cast<TObject *>(p);
    if (ttisnil(key)) luaG_runerror(L, ERR_TABLEINDEX);
    if (ttisnumber(key) && std::isnan(nvalue(key))) luaG_runerror(L, ERR_TABLEINDEX);
    return newkey(L, t, key);
}

// A key known to be absent: no second lookup.
TObject *luaH_setnew(lua_State *L, Table *t, const TObject *key) {
    t->flags = 0;
    if (ttisnil(key)) luaG_runerror(L, ERR_TABLEINDEX);
    if (ttisnumber(key) && std::isnan(nvalue(key))) luaG_runerror(L, ERR_TABLEINDEX);
    return newkey(L, t, key);
}

TObject *luaH_setnum(lua_State *L, Table *t, int key) {
    const TObject *p = luaH_getnum(t, key);
    if (p != &luaO_nilobject) return const_cast<TObject *>(p);
    TObject k;
    setnvalue(&k, key);
    return newkey(L, t, &k);
}

// The traversal index of a key: -1 for nil, array slots first, then nodes.
static int findindex(lua_State *L, Table *t, StkId key) {
    if (ttisnil(key)) return -1;
    if (ttisnumber(key)) {
        int k = arrayindex(nvalue(key));
        if (k > 0 && k <= t->sizearray) return k - 1;
    }
    if (t->node != dummynode) {
        Node *n = mainposition(t, key);
        do {
            if (luaO_rawequalObj(&n->i_key, key) ||
                (ttype(&n->i_key) == LUA_TDEADKEY && iscollectable(key) && gcvalue(&n->i_key) == gcvalue(key)))
                return static_cast<int>(n - t->node) + t->sizearray;
            n = n->next;
        } while (n);
    }
    luaG_runerror(L, ERR_INVNEXTKEY);
}

int luaH_next(lua_State *L, Table *t, StkId key) {
    int i = findindex(L, t, key);
    for (i++; i < t->sizearray; i++) {
        if (!ttisnil(&t->array[i])) {
            setnvalue(key, i + 1);
            setobj(key + 1, &t->array[i]);
            return 1;
        }
    }
    if (t->node == dummynode) return 0;
    for (i -= t->sizearray; i < sizenode(t); i++) {
        Node *n = &t->node[i];
        if (!ttisnil(&n->i_val)) {
            setobj(key, &n->i_key);
            setobj(key + 1, &n->i_val);
            return 1;
        }
    }
    return 0;
}
