// Function prototypes, closures and upvalues.
#include "engine/vm/vm_internal.h"

Proto *luaF_newproto(lua_State *L) {
    Proto *f = static_cast<Proto *>(luaM_realloc(L, nullptr, 0, sizeof(Proto)));
    f->k = nullptr;
    f->sizek = 0;
    f->p = nullptr;
    f->sizep = 0;
    f->code = nullptr;
    f->loadcode = nullptr;
    f->specialized = 0;
    f->sizecode = 0;
    f->sizelineinfo = 0;
    f->sizeupvalues = 0;
    f->nups = 0;
    f->upvalues = nullptr;
    f->numparams = 0;
    f->is_vararg = 0;
    f->maxstacksize = 0;
    f->lineinfo = nullptr;
    f->sizelocvars = 0;
    f->locvars = nullptr;
    f->lineDefined = 0;
    f->source = nullptr;
    f->gclist = nullptr;
    luaC_link(L, f, LUA_TPROTO);
    return f;
}

void luaF_freeproto(lua_State *L, Proto *f) {
    luaM_freearray(L, f->code, static_cast<size_t>(f->sizecode));
    if (f->loadcode) luaM_freearray(L, f->loadcode, static_cast<size_t>(f->sizecode));
    luaM_freearray(L, f->p, static_cast<size_t>(f->sizep));
    luaM_freearray(L, f->k, static_cast<size_t>(f->sizek));
    luaM_freearray(L, f->lineinfo, static_cast<size_t>(f->sizelineinfo));
    luaM_freearray(L, f->locvars, static_cast<size_t>(f->sizelocvars));
    luaM_freearray(L, f->upvalues, static_cast<size_t>(f->sizeupvalues));
    luaM_realloc(L, f, sizeof(Proto), 0);
}

static size_t sizeCclosure(int n) { return sizeof(CClosure) + sizeof(TObject) * static_cast<size_t>(n > 0 ? n - 1 : 0); }
static size_t sizeLclosure(int n) { return sizeof(LClosure) + sizeof(UpVal *) * static_cast<size_t>(n > 0 ? n - 1 : 0); }

CClosure *luaF_newCclosure(lua_State *L, int nelems) {
    CClosure *c = static_cast<CClosure *>(luaM_realloc(L, nullptr, 0, sizeCclosure(nelems)));
    luaC_link(L, c, LUA_TFUNCTION);
    c->isC = 1;
    c->nupvalues = static_cast<uint8_t>(nelems);
    c->gclist = nullptr;
    c->env = hvalue(gt(L));
    c->f = nullptr;
    c->name = nullptr;
    for (int i = 0; i < nelems; i++) setnilvalue(&c->upvalue[0] + i);
    return c;
}

LClosure *luaF_newLclosure(lua_State *L, int nelems, Table *e) {
    LClosure *c = static_cast<LClosure *>(luaM_realloc(L, nullptr, 0, sizeLclosure(nelems)));
    luaC_link(L, c, LUA_TFUNCTION);
    c->isC = 0;
    c->nupvalues = static_cast<uint8_t>(nelems);
    c->gclist = nullptr;
    c->env = e;
    c->p = nullptr;
    for (int i = 0; i < nelems; i++) (&c->upvals[0])[i] = nullptr;
    return c;
}

void luaF_freeclosure(lua_State *L, Closure *c) {
    if (c->isC)
        luaM_realloc(L, c, sizeCclosure(c->nupvalues), 0);
    else
        luaM_realloc(L, c, sizeLclosure(c->nupvalues), 0);
}

UpVal *luaF_findupval(lua_State *L, StkId level) {
    UpVal **pp = &L->openupval;
    UpVal *p;
    while ((p = *pp) != nullptr && p->v >= level) {
        if (p->v == level) return p;
        pp = &p->onext;
    }
    UpVal *v = static_cast<UpVal *>(luaM_realloc(L, nullptr, 0, sizeof(UpVal)));
    // Open upvalues live on the open list, not on the heap list, until closed.
    v->tt = LUA_TUPVAL;
    v->marked = 1;
    v->gcnext = nullptr;
    v->v = level;
    setnilvalue(&v->value);
    v->onext = p;
    *pp = v;
    return v;
}

void luaF_close(lua_State *L, StkId level) {
    UpVal *p;
    while ((p = L->openupval) != nullptr && p->v >= level) {
        setobj(&p->value, p->v);
        p->v = &p->value;
        L->openupval = p->onext;
        luaC_link(L, p, LUA_TUPVAL);
    }
}

int luaG_getline(const Proto *p, int pc) {
    if (!p->lineinfo || pc < 0 || pc >= p->sizelineinfo) return -1;
    return p->lineinfo[pc];
}
