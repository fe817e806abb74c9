// Memory accounting, interned strings, userdata and the mark-and-sweep
// collector (weak tables, "__gc" finalisers).
#include <cstdlib>
#include <new>

#include "engine/vm/vm_internal.h"

// ---------------------------------------------------------------------------
// Memory

void *luaM_realloc(lua_State *L, void *block, size_t oldsize, size_t size) {
    global_State *g = G(L);
    if (size == 0) {
        free(block);
        g->nblocks -= oldsize;
        return nullptr;
    }
    void *nb = realloc(block, size);
    if (!nb) luaG_runerror(L, ERR_MEM);
    g->nblocks = g->nblocks - oldsize + size;
    return nb;
}

void luaC_link(lua_State *L, GCObject *o, uint8_t tt) {
    global_State *g = G(L);
    o->gcnext = g->rootgc;
    g->rootgc = o;
    o->tt = tt;
    o->marked = 0;
}

// ---------------------------------------------------------------------------
// Strings

namespace {

// Eight bytes at a time: each word is mixed in with one multiply, so a line
// of text costs a handful of steps instead of one dependent multiply per
// byte. Strings beyond 256 bytes are sampled (at most 32 words and the
// last one) so that hashing stays cheap; equal strings always hash alike.
inline uint64_t loadWord(const char *p) {
    uint64_t w;
    memcpy(&w, p, sizeof w);
    return w;
}

inline uint64_t mixWord(uint64_t h, uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint32_t hashString(const char *s, size_t l) {
    uint64_t h = 0x243F6A8885A308D3ull ^ static_cast<uint64_t>(l);
    if (l < 8) {
        // the bytes as one little word, whatever the host's byte order
        uint64_t w = 0;
        for (size_t i = 0; i < l; i++) w |= static_cast<uint64_t>(static_cast<unsigned char>(s[i])) << (8 * i);
        h = mixWord(h, w);
    } else {
        const size_t words = l / 8;
        const size_t step = words > 32 ? words / 32 : 1;
        for (size_t i = 0; i + 1 < words; i += step) h = mixWord(h, loadWord(s + 8 * i));
        h = mixWord(h, loadWord(s + l - 8)); // the last eight bytes, overlapping
    }
    h *= 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32);
}

} // namespace

void luaS_resize(lua_State *L, int newsize) {
    stringtable *tb = &G(L)->strt;
    TString **newhash = luaM_newvector<TString *>(L, static_cast<size_t>(newsize));
    for (int i = 0; i < newsize; i++) newhash[i] = nullptr;
    for (int i = 0; i < tb->size; i++) {
        TString *p = tb->hash[i];
        while (p) {
            TString *next = p->hnext;
            uint32_t h1 = p->hash & static_cast<uint32_t>(newsize - 1);
            p->hnext = newhash[h1];
            newhash[h1] = p;
            p = next;
        }
    }
    luaM_freearray(L, tb->hash, static_cast<size_t>(tb->size));
    tb->size = newsize;
    tb->hash = newhash;
}

namespace {

// The pool's class of a string of l bytes, or 0 beyond it. Under the
// address sanitizer every block goes back to the system, so that a use
// after the free is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define CX_STRING_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CX_STRING_POOL 0
#endif
#endif
#ifndef CX_STRING_POOL
#define CX_STRING_POOL 1
#endif
inline size_t poolClass(size_t l) {
#if !CX_STRING_POOL
    (void)l;
    return 0;
#else
    const size_t block = sizeof(TString) + l + 1;
    return block <= (kStringPoolClasses << 4) ? (block + 15) >> 4 : 0;
#endif
}

TString *allocString(lua_State *L, size_t l) {
    if (l > (SIZE_MAX - sizeof(TString) - 1)) luaG_runerror(L, ERR_MEM);
    TString *ts;
    const size_t cls = poolClass(l);
    if (cls) {
        global_State *g = G(L);
        if ((ts = g->strpool[cls]) != nullptr) {
            g->strpool[cls] = static_cast<TString *>(ts->gcnext);
            g->strpoolbytes -= cls << 4;
        } else {
            ts = static_cast<TString *>(malloc(cls << 4));
            if (!ts) luaG_runerror(L, ERR_MEM);
        }
        // counted as a block of its own length, as luaM_realloc counts
        g->nblocks += sizeof(TString) + l + 1;
        ts->pooled = 1;
    } else {
        ts = static_cast<TString *>(luaM_realloc(L, nullptr, 0, sizeof(TString) + l + 1));
        ts->pooled = 0;
    }
    ts->tt = LUA_TSTRING;
    ts->marked = 0;
    ts->reserved = 0;
    ts->len = l;
    ts->gcnext = nullptr;
    ts->str()[l] = 0;
    return ts;
}

void freeString(lua_State *L, TString *ts) {
    global_State *g = G(L);
    if (ts->pooled) {
        const size_t cls = poolClass(ts->len);
        g->nblocks -= sizeof(TString) + ts->len + 1;
        if (g->strpoolbytes < kStringPoolLimit) {
            ts->gcnext = g->strpool[cls];
            g->strpool[cls] = ts;
            g->strpoolbytes += cls << 4;
        } else {
            free(ts);
        }
        return;
    }
    luaM_realloc(L, ts, sizeof(TString) + ts->len + 1, 0);
}

TString *findString(stringtable *tb, const char *str, size_t l, uint32_t h) {
    for (TString *ts = tb->hash[h & static_cast<uint32_t>(tb->size - 1)]; ts; ts = ts->hnext) {
        if (ts->len == l && ts->hash == h && memcmp(str, ts->str(), l) == 0) return ts;
    }
    return nullptr;
}

TString *linkString(lua_State *L, TString *ts, uint32_t h) {
    stringtable *tb = &G(L)->strt;
    ts->hash = h;
    uint32_t slot = h & static_cast<uint32_t>(tb->size - 1);
    ts->hnext = tb->hash[slot];
    tb->hash[slot] = ts;
    if (++tb->nuse > tb->peak) tb->peak = tb->nuse;
    if (tb->nuse > static_cast<uint32_t>(tb->size) && tb->size <= (1 << 29)) luaS_resize(L, tb->size * 2);
    return ts;
}

} // namespace

TString *luaS_newlstr(lua_State *L, const char *str, size_t l) {
    uint32_t h = hashString(str, l);
    if (TString *ts = findString(&G(L)->strt, str, l, h)) return ts;
    TString *ts = allocString(L, l);
    memcpy(ts->str(), str, l);
    return linkString(L, ts, h);
}

TString *luaS_newbuilt(lua_State *L, size_t l) { return allocString(L, l); }

TString *luaS_internbuilt(lua_State *L, TString *ts) {
    uint32_t h = hashString(ts->str(), ts->len);
    if (TString *old = findString(&G(L)->strt, ts->str(), ts->len, h)) {
        freeString(L, ts);
        return old;
    }
    return linkString(L, ts, h);
}


void luaS_freeall(lua_State *L) {
    stringtable *tb = &G(L)->strt;
    for (int i = 0; i < tb->size; i++) {
        TString *p = tb->hash[i];
        while (p) {
            TString *next = p->hnext;
            freeString(L, p);
            p = next;
        }
    }
    global_State *g = G(L);
    for (TString *&head : g->strpool) {
        while (TString *ts = head) {
            head = static_cast<TString *>(ts->gcnext);
            free(ts);
        }
    }
    g->strpoolbytes = 0;
    luaM_freearray(L, tb->hash, static_cast<size_t>(tb->size));
    tb->hash = nullptr;
    tb->size = 0;
    tb->nuse = 0;
}

Udata *luaS_newudata(lua_State *L, size_t s) {
    if (s > SIZE_MAX - sizeof(Udata)) luaG_runerror(L, ERR_MEM);
    size_t total = Udata::kHeader + s;
    Udata *u = static_cast<Udata *>(luaM_realloc(L, nullptr, 0, total < sizeof(Udata) ? sizeof(Udata) : total));
    u->finalized = 0;
    u->metatable = nullptr;
    u->len = s;
    luaC_link(L, u, LUA_TUSERDATA);
    return u;
}

static void freeUdata(lua_State *L, Udata *u) {
    size_t total = Udata::kHeader + u->len;
    luaM_realloc(L, u, total < sizeof(Udata) ? sizeof(Udata) : total, 0);
}

int l_strcmp(const TString *ls, const TString *rs) {
    // Byte order; a shorter string that is a prefix of the other is smaller.
    size_t ll = ls->len, lr = rs->len;
    int c = memcmp(ls->str(), rs->str(), ll < lr ? ll : lr);
    if (c != 0) return c < 0 ? -1 : 1;
    return ll < lr ? -1 : (ll > lr ? 1 : 0);
}

// ---------------------------------------------------------------------------
// Collector

namespace {

constexpr uint8_t MARKED = 1;
constexpr uint8_t FIXED = 2;

struct GCState {
    lua_State *L;
    GCObject *gray = nullptr;
    Table *weak = nullptr; // weak tables met during marking (linked by gclist)
};

inline bool ismarked(const GCObject *o) { return (o->marked & (MARKED | FIXED)) != 0; }

void pushgray(GCState &st, GCObject *o, GCObject **link) {
    *link = st.gray;
    st.gray = o;
}

void markobject(GCState &st, GCObject *o);

inline void markvalue(GCState &st, const TObject *v) {
    if (iscollectable(v) && v->tt <= LUA_TUPVAL && !ismarked(v->value.gc)) markobject(st, v->value.gc);
}

void markobject(GCState &st, GCObject *o) {
    o->marked |= MARKED;
    switch (o->tt) {
    case LUA_TSTRING: break;
    case LUA_TUSERDATA: {
        Table *mt = static_cast<Udata *>(o)->metatable;
        if (mt && !ismarked(mt)) markobject(st, mt);
        break;
    }
    case LUA_TTABLE: {
        Table *t = static_cast<Table *>(o);
        pushgray(st, t, &t->gclist);
        break;
    }
    case LUA_TFUNCTION: {
        Closure *c = static_cast<Closure *>(o);
        pushgray(st, c, &c->gclist);
        break;
    }
    case LUA_TPROTO: {
        Proto *p = static_cast<Proto *>(o);
        pushgray(st, p, &p->gclist);
        break;
    }
    case LUA_TUPVAL: {
        UpVal *uv = static_cast<UpVal *>(o);
        markvalue(st, uv->v);
        break;
    }
    default: break;
    }
}

inline void markgc(GCState &st, GCObject *o) {
    if (o && !ismarked(o)) markobject(st, o);
}

void traversetable(GCState &st, Table *t) {
    markgc(st, t->metatable);
    bool weakkey = false, weakvalue = false;
    t->weakmode = 0;
    if (t->metatable) {
        const TObject *mode = fasttm(st.L, t->metatable, TM_MODE);
        if (mode && ttisstring(mode)) {
            weakkey = strchr(svalue(mode), 'k') != nullptr;
            weakvalue = strchr(svalue(mode), 'v') != nullptr;
            if (weakkey || weakvalue) {
                t->weakmode = static_cast<uint8_t>((weakkey ? 1 : 0) | (weakvalue ? 2 : 0));
                t->gclist = st.weak;
                st.weak = t;
            }
        }
    }
    if (!weakvalue) {
        for (int i = 0; i < t->sizearray; i++) markvalue(st, &t->array[i]);
    }
    int n = sizenode(t);
    for (int i = 0; i < n; i++) {
        Node *nd = gnode(t, i);
        if (ttisnil(&nd->i_val)) {
            // A removed entry: its key is kept only for traversal order.
            if (iscollectable(&nd->i_key)) nd->i_key.tt = LUA_TDEADKEY;
            continue;
        }
        if (!weakkey) markvalue(st, &nd->i_key);
        if (!weakvalue) markvalue(st, &nd->i_val);
    }
}

void traverseproto(GCState &st, Proto *f) {
    markgc(st, f->source);
    for (int i = 0; i < f->sizek; i++) markvalue(st, &f->k[i]);
    for (int i = 0; i < f->sizeupvalues; i++) markgc(st, f->upvalues[i]);
    for (int i = 0; i < f->sizep; i++) markgc(st, f->p[i]);
    for (int i = 0; i < f->sizelocvars; i++) markgc(st, f->locvars[i].varname);
}

void traverseclosure(GCState &st, Closure *cl) {
    markgc(st, cl->env);
    if (cl->isC) {
        CClosure *c = static_cast<CClosure *>(cl);
        for (int i = 0; i < c->nupvalues; i++) markvalue(st, &c->upvalue[0] + i);
    } else {
        LClosure *l = static_cast<LClosure *>(cl);
        markgc(st, l->p);
        for (int i = 0; i < l->nupvalues; i++) {
            UpVal *u = (&l->upvals[0])[i];
            if (u && !ismarked(u)) {
                u->marked |= MARKED;
                markvalue(st, u->v);
            }
        }
    }
}

void propagate(GCState &st) {
    while (st.gray) {
        GCObject *o = st.gray;
        switch (o->tt) {
        case LUA_TTABLE: {
            Table *t = static_cast<Table *>(o);
            st.gray = t->gclist;
            traversetable(st, t);
            break;
        }
        case LUA_TFUNCTION: {
            Closure *c = static_cast<Closure *>(o);
            st.gray = c->gclist;
            traverseclosure(st, c);
            break;
        }
        case LUA_TPROTO: {
            Proto *p = static_cast<Proto *>(o);
            st.gray = p->gclist;
            traverseproto(st, p);
            break;
        }
        default: st.gray = nullptr; break;
        }
    }
}

void markroots(GCState &st) {
    lua_State *L = st.L;
    markvalue(st, registry(L));
    markvalue(st, gt(L));
    // Every script frame of the call chain keeps its registers live up to
    // its frame top (a caller's may lie above the running frame); a C
    // frame's values lie below the top. Above the highest, in a C frame,
    // the slots are dead and are cleared.
    StkId lim = L->top;
    for (CallInfo *ci = L->base_ci; ci <= L->ci; ci++)
        if (isLua(ci) && ci->top > lim) lim = ci->top;
    for (StkId o = L->stack; o < lim; o++) markvalue(st, o);
    for (StkId o = lim; o < L->ci->top; o++) setnilvalue(o);
    for (UpVal *uv = L->openupval; uv; uv = uv->onext) uv->marked |= MARKED;
}

// A weak entry dies when its object was not marked; strings are values and
// never die this way.
bool iscleared(const TObject *o) {
    if (!iscollectable(o) || o->tt > LUA_TUPVAL) return false;
    if (o->tt == LUA_TSTRING) {
        o->value.gc->marked |= MARKED;
        return false;
    }
    return !ismarked(o->value.gc);
}

void clearweak(Table *list) {
    for (Table *t = list; t; t = static_cast<Table *>(t->gclist)) {
        bool wk = (t->weakmode & 1) != 0, wv = (t->weakmode & 2) != 0;
        if (wv) {
            for (int i = 0; i < t->sizearray; i++)
                if (iscleared(&t->array[i])) setnilvalue(&t->array[i]);
        }
        int n = sizenode(t);
        for (int i = 0; i < n; i++) {
            Node *nd = gnode(t, i);
            if (ttisnil(&nd->i_val)) continue;
            if ((wk && iscleared(&nd->i_key)) || (wv && iscleared(&nd->i_val))) {
                setnilvalue(&nd->i_val);
                if (iscollectable(&nd->i_key)) nd->i_key.tt = LUA_TDEADKEY;
            }
        }
    }
}

void freeobj(lua_State *L, GCObject *o) {
    switch (o->tt) {
    case LUA_TPROTO: luaF_freeproto(L, static_cast<Proto *>(o)); break;
    case LUA_TFUNCTION: luaF_freeclosure(L, static_cast<Closure *>(o)); break;
    case LUA_TUPVAL: luaM_realloc(L, o, sizeof(UpVal), 0); break;
    case LUA_TTABLE: luaH_free(L, static_cast<Table *>(o)); break;
    case LUA_TUSERDATA: freeUdata(L, static_cast<Udata *>(o)); break;
    default: break;
    }
}

void sweeplist(lua_State *L, GCObject **p, bool all) {
    GCObject *curr;
    while ((curr = *p) != nullptr) {
        if (!all && (curr->marked & (MARKED | FIXED))) {
            curr->marked &= ~MARKED;
            p = &curr->gcnext;
        } else {
            *p = curr->gcnext;
            freeobj(L, curr);
        }
    }
}

void sweepstrings(lua_State *L, bool all) {
    stringtable *tb = &G(L)->strt;
    for (int i = 0; i < tb->size; i++) {
        TString **p = &tb->hash[i];
        TString *curr;
        while ((curr = *p) != nullptr) {
            if (!all && (curr->marked & (MARKED | FIXED))) {
                curr->marked &= ~MARKED;
                p = &curr->hnext;
            } else {
                *p = curr->hnext;
                tb->nuse--;
                freeString(L, curr);
            }
        }
    }
    // Shrink only when the strings of the whole cycle would have fitted a
    // smaller table: one sized by what is left after the sweep grows back
    // within the next cycle when short-lived strings come and go (each line
    // of a file read), paying a rehash of every string each time.
    if (!all && tb->peak < static_cast<uint32_t>(tb->size / 4) && tb->size > 64) luaS_resize(L, tb->size / 2);
    tb->peak = tb->nuse;
}

bool hasgcTM(lua_State *L, Udata *u) {
    if (!u->metatable || u->finalized) return false;
    return fasttm(L, u->metatable, TM_GC) != nullptr;
}

// Moves unreachable userdata with a pending "__gc" to the finaliser list,
// or every one of them when all is set (closing the state).
void separateudata(lua_State *L, bool all) {
    global_State *g = G(L);
    GCObject **p = &g->rootgc;
    GCObject *curr;
    GCObject **lastcollected = &g->tmudata;
    while (*lastcollected) lastcollected = &(*lastcollected)->gcnext;
    while ((curr = *p) != nullptr) {
        if (curr->tt == LUA_TUSERDATA && (all || !ismarked(curr)) && hasgcTM(L, static_cast<Udata *>(curr))) {
            *p = curr->gcnext;
            curr->gcnext = nullptr;
            *lastcollected = curr;
            lastcollected = &curr->gcnext;
        } else {
            p = &curr->gcnext;
        }
    }
}

void marktmu(GCState &st) {
    for (GCObject *u = G(st.L)->tmudata; u; u = u->gcnext) markobject(st, u);
}

// Runs each pending finaliser once; errors of a finaliser are ignored.
void callGCTM(lua_State *L) {
    global_State *g = G(L);
    uint8_t oldah = L->allowhook;
    L->allowhook = 0;
    StkId oldtop = L->top;
    while (g->tmudata) {
        Udata *u = static_cast<Udata *>(g->tmudata);
        g->tmudata = u->gcnext;
        u->finalized = 1;
        u->marked = 0;
        u->gcnext = g->rootgc; // back to the heap: freed by the next collection
        g->rootgc = u;
        const TObject *tm = u->metatable ? fasttm(L, u->metatable, TM_GC) : nullptr;
        if (tm && ttisfunction(tm) && L->stack_last - L->top > 4) {
            setobj(L->top, tm);
            setuvalue(L->top + 1, u);
            L->top += 2;
            lua_pcall(L, 1, 0, 0);
            L->top = oldtop;
        }
    }
    L->allowhook = oldah;
}

} // namespace

constexpr size_t kMinGCStep = size_t(1) << 20;

void luaC_collectgarbage(lua_State *L) {
    global_State *g = G(L);
    if (g->gcrunning) return;
    g->gcrunning = true;
    GCState st;
    st.L = L;
    markroots(st);
    propagate(st);
    separateudata(L, false);
    marktmu(st);
    propagate(st);
    clearweak(st.weak);
    sweeplist(L, &g->rootgc, false);
    // Finaliser userdata stay alive this round; unmark them for the next.
    for (GCObject *u = g->tmudata; u; u = u->gcnext) u->marked &= ~MARKED;
    sweepstrings(L, false);
    // The next cycle when the heap has doubled, but not before another
    // megabyte was allocated: a small heap would otherwise be marked all
    // over again for every few hundred short strings made and dropped.
    g->GCthreshold = g->nblocks + (g->nblocks > kMinGCStep ? g->nblocks : kMinGCStep);
    try {
        callGCTM(L);
    } catch (...) {
        g->gcrunning = false;
        throw;
    }
    g->gcrunning = false;
}

void luaC_checkGC(lua_State *L) {
    if (G(L)->nblocks >= G(L)->GCthreshold) {
        StkId savedtop = L->top;
        if (isLua(L->ci) && L->ci->top > L->top) L->top = L->ci->top;
        luaC_collectgarbage(L);
        L->top = savedtop;
    }
}

void luaC_callallgcTM(lua_State *L) {
    global_State *g = G(L);
    g->gcrunning = true;
    separateudata(L, true);
    callGCTM(L);
    // Userdata created by finalisers get their own turn, once.
    separateudata(L, true);
    callGCTM(L);
    g->gcrunning = false;
}

void luaC_freeall(lua_State *L) {
    global_State *g = G(L);
    sweeplist(L, &g->tmudata, true);
    sweeplist(L, &g->rootgc, true);
    for (int i = 0; i < TM_N; i++) g->tmname[i] = nullptr;
    luaS_freeall(L);
}
