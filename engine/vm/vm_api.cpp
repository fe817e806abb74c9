// The C interface over the stack of the running C function.
#include <climits>
#include <cstdlib>

#include "errors/errors.h"
#include "engine/vm/vm_internal.h"

namespace {

// The slot of an index, or null for an absent one.
TObject *index2adr(lua_State *L, int idx) {
    if (idx > 0) {
        TObject *o = L->base + (idx - 1);
        return o < L->top ? o : nullptr;
    }
    if (idx > LUA_REGISTRYINDEX) {
        if (idx == 0 || -idx > L->top - L->base) return nullptr;
        return L->top + idx;
    }
    if (idx == LUA_REGISTRYINDEX) return registry(L);
    if (idx == LUA_GLOBALSINDEX) return gt(L);
    if (L->ci == L->base_ci || !ttisfunction(L->ci->func)) return nullptr;
    Closure *func = clvalue(L->ci->func);
    if (!func->isC) return nullptr;
    int n = LUA_GLOBALSINDEX - idx;
    if (n < 1 || n > func->nupvalues) return nullptr;
    return &static_cast<CClosure *>(func)->upvalue[0] + (n - 1);
}

inline const TObject *index2obj(lua_State *L, int idx) {
    TObject *o = index2adr(L, idx);
    return o ? o : &luaO_nilobject;
}

// A writable slot; an absent index is a fault of the caller.
TObject *index2slot(lua_State *L, int idx) {
    TObject *o = index2adr(L, idx);
    if (!o) {
        SetErrorNumber(idx);
        luaG_runerror(L, ERR_INTERNAL1);
    }
    return o;
}

inline void api_incr_top(lua_State *L) { incr_top(L); }

Table *checktable(lua_State *L, int idx) {
    const TObject *t = index2obj(L, idx);
    if (!ttistable(t)) {
        SetErrorNumber(idx);
        luaG_runerror(L, ERR_TABEXPECTED);
    }
    return hvalue(t);
}

void needvalues(lua_State *L, int n) {
    if (L->top - L->base < n) luaG_runerror(L, ERR_MISSINGPARAMTR);
}

} // namespace

// ---- stack ----

extern "C" int lua_gettop(lua_State *L) { return static_cast<int>(L->top - L->base); }

extern "C" void lua_settop(lua_State *L, int idx) {
    if (idx >= 0) {
        if (L->stack_last - L->base <= idx) luaG_runerror(L, ERR_STACK);
        while (L->top < L->base + idx) setnilvalue(L->top++);
        L->top = L->base + idx;
    } else {
        StkId nt = L->top + idx + 1;
        L->top = nt < L->base ? L->base : nt;
    }
}

extern "C" void lua_remove(lua_State *L, int idx) {
    StkId p = index2adr(L, idx);
    if (!p || p < L->base) return;
    while (++p < L->top) setobj(p - 1, p);
    L->top--;
}

extern "C" void lua_insert(lua_State *L, int idx) {
    StkId p = index2adr(L, idx);
    if (!p || p < L->base) return;
    TObject v = *(L->top - 1);
    for (StkId q = L->top - 1; q > p; q--) setobj(q, q - 1);
    *p = v;
}

extern "C" void lua_replace(lua_State *L, int idx) {
    needvalues(L, 1);
    TObject *o = index2slot(L, idx);
    if (idx == LUA_GLOBALSINDEX && !ttistable(L->top - 1)) luaG_runerror(L, ERR_TABEXPECTED);
    setobj(o, L->top - 1);
    L->top--;
}

extern "C" void lua_pushvalue(lua_State *L, int idx) {
    TObject v = *index2obj(L, idx);
    *L->top = v;
    api_incr_top(L);
}

extern "C" int lua_checkstack(lua_State *L, int size) {
    if (size < 0) return 0;
    if ((L->top - L->base) + size > LUA_MAXCSTACK) return 0;
    if (L->stack_last - L->top <= size) return 0;
    if (L->ci->top < L->top + size) L->ci->top = L->top + size;
    return 1;
}

// ---- access ----

extern "C" int lua_type(lua_State *L, int idx) {
    const TObject *o = index2adr(L, idx);
    return o ? ttype(o) : LUA_TNONE;
}

extern "C" const char *lua_typename(lua_State *L, int t) {
    (void)L;
    if (t == LUA_TNONE) return "no value";
    if (t < 0 || t > LUA_TTHREAD) return "?";
    return luaT_typenames[t];
}

extern "C" int lua_iscfunction(lua_State *L, int idx) {
    const TObject *o = index2adr(L, idx);
    return o && ttisfunction(o) && clvalue(o)->isC;
}

extern "C" int lua_isnumber(lua_State *L, int idx) {
    TObject n;
    const TObject *o = index2adr(L, idx);
    return o && luaV_tonumber(o, &n) != nullptr;
}

extern "C" int lua_isstring(lua_State *L, int idx) {
    int t = lua_type(L, idx);
    return t == LUA_TSTRING || t == LUA_TNUMBER;
}

extern "C" int lua_isuserdata(lua_State *L, int idx) {
    const TObject *o = index2adr(L, idx);
    return o && (ttisuserdata(o) || ttislightuserdata(o));
}

extern "C" int lua_rawequal(lua_State *L, int index1, int index2) {
    const TObject *o1 = index2adr(L, index1), *o2 = index2adr(L, index2);
    return o1 && o2 && luaO_rawequalObj(o1, o2);
}

extern "C" int lua_equal(lua_State *L, int index1, int index2) {
    const TObject *o1 = index2adr(L, index1), *o2 = index2adr(L, index2);
    if (!o1 || !o2) return 0;
    TObject a = *o1, b = *o2;
    return luaV_equalobj(L, &a, &b);
}

extern "C" int lua_lessthan(lua_State *L, int index1, int index2) {
    const TObject *o1 = index2adr(L, index1), *o2 = index2adr(L, index2);
    if (!o1 || !o2) return 0;
    TObject a = *o1, b = *o2;
    return luaV_lessthan(L, &a, &b, 1);
}

extern "C" lua_Number lua_tonumber(lua_State *L, int idx) {
    TObject n;
    const TObject *o = index2adr(L, idx);
    if (o && (o = luaV_tonumber(o, &n)) != nullptr) return nvalue(o);
    return 0;
}

extern "C" int lua_toboolean(lua_State *L, int idx) {
    const TObject *o = index2obj(L, idx);
    return !(ttisnil(o) || (ttisboolean(o) && bvalue(o) == 0));
}

extern "C" const char *lua_tostring(lua_State *L, int idx) {
    StkId o = index2adr(L, idx);
    if (!o) return nullptr;
    if (ttisstring(o)) return svalue(o);
    if (ttisnumber(o) && luaV_tostring(L, o)) return svalue(o);
    return nullptr;
}

extern "C" size_t lua_strlen(lua_State *L, int idx) {
    StkId o = index2adr(L, idx);
    if (!o) return 0;
    if (ttisstring(o)) return tsvalue(o)->len;
    if (ttisnumber(o) && luaV_tostring(L, o)) return tsvalue(o)->len;
    return 0;
}

extern "C" lua_CFunction lua_tocfunction(lua_State *L, int idx) {
    const TObject *o = index2obj(L, idx);
    return (ttisfunction(o) && clvalue(o)->isC) ? static_cast<CClosure *>(clvalue(o))->f : nullptr;
}

extern "C" void *lua_touserdata(lua_State *L, int idx) {
    const TObject *o = index2obj(L, idx);
    if (ttisuserdata(o)) return uvalue(o)->data();
    if (ttislightuserdata(o)) return pvalue(o);
    return nullptr;
}

extern "C" lua_State *lua_tothread(lua_State *L, int idx) {
    (void)L;
    (void)idx;
    return nullptr;
}

extern "C" const void *lua_topointer(lua_State *L, int idx) {
    const TObject *o = index2obj(L, idx);
    switch (ttype(o)) {
    case LUA_TTABLE:
    case LUA_TFUNCTION:
    case LUA_TUSERDATA: return gcvalue(o);
    case LUA_TLIGHTUSERDATA: return pvalue(o);
    default: return nullptr;
    }
}

// ---- push ----

extern "C" void lua_pushnil(lua_State *L) {
    setnilvalue(L->top);
    api_incr_top(L);
}

extern "C" void lua_pushnumber(lua_State *L, lua_Number n) {
    setnvalue(L->top, n);
    api_incr_top(L);
}

extern "C" void lua_pushlstring(lua_State *L, const char *s, size_t len) {
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    luaC_checkGC(L);
    setsvalue(L->top, luaS_newlstr(L, s, len));
    L->top++;
}

extern "C" void lua_pushstring(lua_State *L, const char *s) {
    if (s == nullptr)
        lua_pushnil(L);
    else
        lua_pushlstring(L, s, strlen(s));
}

extern "C" void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n) {
    if (n < 0 || n > 255) luaG_runerror(L, ERR_INTERNAL1);
    needvalues(L, n);
    luaC_checkGC(L);
    CClosure *cl = luaF_newCclosure(L, n);
    cl->f = fn;
    L->top -= n;
    for (int i = 0; i < n; i++) setobj(&cl->upvalue[0] + i, L->top + i);
    setclvalue(L->top, cl);
    L->top++;
}

extern "C" void lua_pushboolean(lua_State *L, int b) {
    setbvalue(L->top, b != 0);
    api_incr_top(L);
}

extern "C" void lua_pushlightuserdata(lua_State *L, void *p) {
    setpvalue(L->top, p);
    api_incr_top(L);
}

// ---- get ----

extern "C" void lua_gettable(lua_State *L, int idx) {
    needvalues(L, 1);
    TObject t = *index2obj(L, idx);
    luaV_gettable(L, &t, L->top - 1, L->top - 1);
}

extern "C" void lua_rawget(lua_State *L, int idx) {
    needvalues(L, 1);
    Table *t = checktable(L, idx);
    setobj(L->top - 1, luaH_get(t, L->top - 1));
}

extern "C" void lua_rawgeti(lua_State *L, int idx, int n) {
    Table *t = checktable(L, idx);
    setobj(L->top, luaH_getnum(t, n));
    api_incr_top(L);
}

extern "C" void lua_createtable(lua_State *L, int narr, int nrec) {
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    luaC_checkGC(L);
    int lh = 0;
    while (lh < 24 && (1 << lh) < nrec) lh++;
    sethvalue(L->top, luaH_new(L, narr < 0 ? 0 : narr, nrec > 0 ? lh : 0));
    L->top++;
}

extern "C" void lua_newtable(lua_State *L) { lua_createtable(L, 0, 0); }

extern "C" void *lua_newuserdata(lua_State *L, size_t size) {
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    luaC_checkGC(L);
    Udata *u = luaS_newudata(L, size);
    setuvalue(L->top, u);
    L->top++;
    return u->data();
}

extern "C" int lua_getmetatable(lua_State *L, int objindex) {
    const TObject *obj = index2obj(L, objindex);
    Table *mt = nullptr;
    if (ttistable(obj)) mt = hvalue(obj)->metatable;
    else if (ttisuserdata(obj)) mt = uvalue(obj)->metatable;
    if (!mt) return 0;
    sethvalue(L->top, mt);
    api_incr_top(L);
    return 1;
}

extern "C" void lua_getfenv(lua_State *L, int idx) {
    const TObject *o = index2obj(L, idx);
    if (ttisfunction(o) && clvalue(o)->env)
        sethvalue(L->top, clvalue(o)->env);
    else
        setobj(L->top, gt(L));
    api_incr_top(L);
}

// ---- set ----

extern "C" void lua_settable(lua_State *L, int idx) {
    needvalues(L, 2);
    TObject t = *index2obj(L, idx);
    luaV_settable(L, &t, L->top - 2, L->top - 1);
    L->top -= 2;
}

extern "C" void lua_rawset(lua_State *L, int idx) {
    needvalues(L, 2);
    Table *t = checktable(L, idx);
    setobj(luaH_set(L, t, L->top - 2), L->top - 1);
    L->top -= 2;
}

extern "C" void lua_rawseti(lua_State *L, int idx, int n) {
    needvalues(L, 1);
    Table *t = checktable(L, idx);
    setobj(luaH_setnum(L, t, n), L->top - 1);
    L->top--;
}

extern "C" int lua_setmetatable(lua_State *L, int objindex) {
    needvalues(L, 1);
    TObject *obj = index2slot(L, objindex);
    const TObject *mt = L->top - 1;
    Table *h = nullptr;
    if (ttistable(mt)) h = hvalue(mt);
    else if (!ttisnil(mt)) luaG_runerror(L, ERR_TABEXPECTED);
    int res = 1;
    if (ttistable(obj)) hvalue(obj)->metatable = h;
    else if (ttisuserdata(obj)) uvalue(obj)->metatable = h;
    else res = 0;
    if (h) h->flags = 0;
    L->top--;
    return res;
}

extern "C" int lua_setfenv(lua_State *L, int idx) {
    needvalues(L, 1);
    const TObject *o = index2obj(L, idx);
    int res = 0;
    if (ttisfunction(o) && ttistable(L->top - 1)) {
        clvalue(o)->env = hvalue(L->top - 1);
        res = 1;
    }
    L->top--;
    return res;
}

// ---- garbage collector ----

extern "C" int lua_getgcthreshold(lua_State *L) {
    size_t t = G(L)->GCthreshold >> 10;
    return t > INT_MAX ? INT_MAX : static_cast<int>(t);
}

extern "C" int lua_getgccount(lua_State *L) {
    size_t t = G(L)->nblocks >> 10;
    return t > INT_MAX ? INT_MAX : static_cast<int>(t);
}

extern "C" void lua_setgcthreshold(lua_State *L, int newthreshold) {
    if (newthreshold < 0) newthreshold = 0;
    G(L)->GCthreshold = static_cast<size_t>(newthreshold) << 10;
    luaC_checkGC(L);
}

// ---- miscellaneous ----

extern "C" int lua_next(lua_State *L, int idx) {
    needvalues(L, 1);
    Table *t = checktable(L, idx);
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    int more = luaH_next(L, t, L->top - 1);
    if (more)
        L->top++;
    else
        L->top--;
    return more;
}

extern "C" void lua_concat(lua_State *L, int n) {
    if (n >= 2) {
        needvalues(L, n);
        luaC_checkGC(L);
        luaV_concat(L, n, static_cast<int>(L->top - L->base) - 1);
        L->top -= (n - 1);
    } else if (n == 0) {
        lua_pushlstring(L, "", 0);
    }
}

extern "C" int lua_pushupvalues(lua_State *L) {
    if (L->ci == L->base_ci || !ttisfunction(L->ci->func) || !clvalue(L->ci->func)->isC) return 0;
    CClosure *func = static_cast<CClosure *>(clvalue(L->ci->func));
    int n = func->nupvalues;
    if (L->stack_last - L->top <= n) luaD_growstack(L, n);
    for (int i = 0; i < n; i++) setobj(L->top++, &func->upvalue[0] + i);
    return n;
}

static const char *aux_upvalue(lua_State *L, int funcindex, int n, TObject **val) {
    const TObject *fi = index2obj(L, funcindex);
    if (!ttisfunction(fi)) return nullptr;
    Closure *f = clvalue(fi);
    if (n < 1 || n > f->nupvalues) return nullptr;
    if (f->isC) {
        *val = &static_cast<CClosure *>(f)->upvalue[0] + (n - 1);
        return "";
    }
    LClosure *lf = static_cast<LClosure *>(f);
    UpVal *uv = (&lf->upvals[0])[n - 1];
    if (!uv) return nullptr;
    *val = uv->v;
    Proto *p = lf->p;
    return (n - 1 < p->sizeupvalues && p->upvalues[n - 1]) ? p->upvalues[n - 1]->str() : "";
}

extern "C" const char *lua_getupvalue(lua_State *L, int funcindex, int n) {
    TObject *val = nullptr;
    const char *name = aux_upvalue(L, funcindex, n, &val);
    if (name) {
        setobj(L->top, val);
        api_incr_top(L);
    }
    return name;
}

extern "C" const char *lua_setupvalue(lua_State *L, int funcindex, int n) {
    needvalues(L, 1);
    TObject *val = nullptr;
    const char *name = aux_upvalue(L, funcindex, n, &val);
    if (name) {
        L->top--;
        setobj(val, L->top);
    }
    return name;
}

// ---- strings built in place ----

namespace {
// The string record in front of a buffer made by lua_newstringbuffer; its
// len is the buffer's size until it is pushed.
TString *BuiltString(char *buffer) { return reinterpret_cast<TString *>(buffer) - 1; }
constexpr size_t kMaxBuilt = SIZE_MAX - sizeof(TString) - 1;
} // namespace

extern "C" char *lua_newstringbuffer(lua_State *, size_t size) {
    if (size > kMaxBuilt) return nullptr;
    auto *ts = static_cast<TString *>(malloc(sizeof(TString) + size + 1));
    if (!ts) return nullptr;
    ts->gcnext = nullptr;
    ts->tt = LUA_TSTRING;
    ts->marked = 0;
    ts->reserved = 0;
    ts->pooled = 0;
    ts->hash = 0;
    ts->hnext = nullptr;
    ts->len = size;
    return ts->str();
}

extern "C" char *lua_resizestringbuffer(lua_State *, char *buffer, size_t size) {
    if (!buffer || size > kMaxBuilt) return nullptr;
    auto *ts = static_cast<TString *>(realloc(BuiltString(buffer), sizeof(TString) + size + 1));
    if (!ts) return nullptr;
    ts->len = size;
    return ts->str();
}

extern "C" void lua_pushstringbuffer(lua_State *L, char *buffer, size_t len) {
    // What may raise comes first, while the caller still owns the buffer.
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    luaC_checkGC(L);
    TString *ts = BuiltString(buffer);
    if (len > ts->len) len = ts->len;
    if (len < ts->len) {
        if (auto *smaller = static_cast<TString *>(realloc(ts, sizeof(TString) + len + 1))) ts = smaller;
    }
    ts->len = len;
    ts->str()[len] = 0;
    // From here it is the collector's, counted as luaM_realloc counts.
    G(L)->nblocks += sizeof(TString) + len + 1;
    setsvalue(L->top, luaS_internbuilt(L, ts));
    L->top++;
}

extern "C" void lua_freestringbuffer(lua_State *, char *buffer) {
    if (buffer) free(BuiltString(buffer));
}
