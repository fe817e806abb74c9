// The state, the call machinery, raising and protected calls, debug hooks
// and metamethod lookup.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "engine/vm/vm_internal.h"

const TObject luaO_nilobject = {{nullptr}, LUA_TNIL};

const char *const luaT_typenames[] = {"nil", "boolean", "userdata", "number", "string", "table",
                                      "function", "userdata", "thread", "proto", "upval"};

static const char *const tmnames[TM_N] = {
    "__index", "__newindex", "__gc", "__mode", "__eq", "__add", "__sub", "__mul",
    "__div", "__divint", "__mod", "__lsh", "__rsh", "__or", "__and", "__xor",
    "__pow", "__unm", "__not", "__lt", "__le", "__concat", "__call"};

// ---------------------------------------------------------------------------
// Metamethods

const TObject *luaT_gettm(Table *events, TMS event, TString *ename) {
    const TObject *tm = luaH_getstr(events, ename);
    if (ttisnil(tm)) {
        // cache the absence of the first events (flags has 8 bits)
        if (event < 8) events->flags |= static_cast<uint8_t>(1u << event);
        return nullptr;
    }
    return tm;
}

const TObject *luaT_gettmbyobj(lua_State *L, const TObject *o, TMS event) {
    Table *mt;
    switch (ttype(o)) {
    case LUA_TTABLE: mt = hvalue(o)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(o)->metatable; break;
    default: return &luaO_nilobject;
    }
    if (!mt) return &luaO_nilobject;
    const TObject *tm = luaH_getstr(mt, G(L)->tmname[event]);
    return tm;
}

// ---------------------------------------------------------------------------
// Raising

static const char *sourceOf(const Proto *p) { return p->source ? p->source->str() : "?"; }

static const char *nearestSource(lua_State *L, const CallInfo *ci) {
    for (; ci > L->base_ci; ci--)
        if (isLua(ci)) return sourceOf(ci_lfunc(ci)->p);
    return "";
}

static int currentline(const CallInfo *ci) {
    const Proto *p = ci_lfunc(ci)->p;
    return luaG_getline(p, pcRel(ci->savedpc, p));
}

static const char *commandName(const CallInfo *ci) {
    if (!ttisfunction(ci->func)) return "----";
    Closure *cl = clvalue(ci->func);
    if (!cl->isC) return "----";
    const char *n = static_cast<CClosure *>(cl)->name;
    return n ? n : "----";
}

void luaD_throw(lua_State *L, int code) {
    if (L->nprotected == 0) {
        // No protected call to return to: the host's panic function, then
        // the end of the process (as an unhandled error must not go on).
        if (G(L)->panic) {
            lua_pushnumber(L, code);
            G(L)->panic(L);
        }
        fprintf(stderr, "Unprotected script error %d\n", code);
        abort();
    }
    throw LuaError{code};
}

void luaG_errorposition_raise(lua_State *L, int code, int line, const char *command) {
    SetErrorPosition(line, nearestSource(L, L->ci), command);
    luaD_throw(L, code);
}

extern "C" void luaG_runerror(lua_State *L, int code) {
    if (code < 1000) {
        // not an error code: protected callers must never see 0 or a count
        char buf[32];
        snprintf(buf, sizeof buf, "%d", code);
        SetErrorDetail(buf);
        code = ERR_INTERNAL1;
    }
    CallInfo *ci = L->ci;
    if (ci > L->base_ci && isLua(ci))
        SetErrorPosition(currentline(ci), sourceOf(ci_lfunc(ci)->p), "----");
    else if (ci > L->base_ci)
        SetErrorPosition(-1, nearestSource(L, ci), commandName(ci));
    else
        SetErrorPosition(-1, "", "----");
    luaD_throw(L, code);
}

// ---------------------------------------------------------------------------
// Stack

void luaD_growstack(lua_State *L, int n) {
    // The stack never moves: running out of it is a script stack overflow.
    (void)n;
    luaG_runerror(L, ERR_STACK);
}

const volatile unsigned int luaD_shutgate = 0;

void luaD_settrap(lua_State *L) {
    int t = 0;
    const bool gatedline = (L->hookmask & LUA_MASKLINE) && G(L)->hookgate;
    if (L->hookmask & LUA_MASKCOUNT)
        t = 4;
    else if ((L->hookmask & LUA_MASKLINE) && !gatedline)
        t = 1;
    if (G(L)->stop.load(std::memory_order_relaxed)) t |= 2;
    // A gated line hook leaves the plain interpreter running; its open gate
    // is a trap reason of its own.
    L->gateword = gatedline ? G(L)->hookgate : &luaD_shutgate;
    L->trap.store(t, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Hooks

void luaD_callhook(lua_State *L, int event, int line) {
    lua_Hook hook = L->hook;
    if (!hook || !L->allowhook) return;
    ptrdiff_t top = L->top - L->stack;
    ptrdiff_t ci_top = L->ci->top - L->stack;
    lua_Debug ar;
    memset(&ar, 0, sizeof ar);
    ar.event = event;
    ar.currentline = line;
    ar.i_ci = ci_level(L, L->ci);
    luaD_checkstack(L, LUA_MINSTACK);
    StkId want = L->top + LUA_MINSTACK;
    if (L->ci->top < want) {
        // Slots above every frame of the chain are stale (they may name
        // freed objects): cleared before the widened frame shows them to a
        // collection inside the hook.
        StkId live = L->top;
        for (CallInfo *ci = L->base_ci; ci <= L->ci; ci++)
            if (isLua(ci) && ci->top > live) live = ci->top;
        for (StkId o = live; o < want; o++) setnilvalue(o);
        L->ci->top = want;
    }
    L->allowhook = 0;
    int code = 0;
    int stop = (*hook)(L, &ar, &code);
    L->allowhook = 1;
    L->ci->top = L->stack + ci_top;
    L->top = L->stack + top;
    if (code != 0) luaG_runerror(L, code);
    const volatile unsigned int *abortflag = G(L)->abortflag;
    if (stop || (abortflag && *abortflag)) luaG_runerror(L, ERR_USERABORT);
}

// A line event: the same as luaD_callhook, without clearing a fresh record.
void luaD_linehook(lua_State *L, int line) {
    lua_Hook hook = L->hook;
    if (__builtin_expect(!hook || !L->allowhook, 0) || luaD_linegateclosed(L)) return;
    StkId top = L->top;
    // values the hook pushes lie above the top, where the collector sees them
    if (__builtin_expect(L->stack_last - top <= LUA_MINSTACK, 0)) luaD_growstack(L, LUA_MINSTACK);
    lua_Debug &ar = L->hookar;
    ar.event = LUA_HOOKLINE;
    ar.currentline = line;
    ar.i_ci = ci_level(L, L->ci);
    L->allowhook = 0;
    int code = 0;
    int stop = (*hook)(L, &ar, &code);
    L->allowhook = 1;
    L->top = top;
    const volatile unsigned int *abortflag = G(L)->abortflag;
    if (__builtin_expect(code != 0 || stop != 0 || (abortflag && *abortflag), 0)) {
        if (code != 0) luaG_runerror(L, code);
        luaG_runerror(L, ERR_USERABORT);
    }
}

// ---------------------------------------------------------------------------
// Calls

static StkId tryfuncTM(lua_State *L, StkId func) {
    const TObject *tm = luaT_gettmbyobj(L, func, TM_CALL);
    if (!ttisfunction(tm)) {
        SetErrorDetail("?");
        luaG_runerror(L, ERR_FUNCDECLA);
    }
    // open a hole below the arguments for the metamethod
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    for (StkId p = L->top; p > func; p--) setobj(p, p - 1);
    L->top++;
    setobj(func, tm);
    return func;
}

static void adjust_varargs(lua_State *L, int nfixargs, StkId base) {
    int actual = static_cast<int>(L->top - base);
    if (actual < nfixargs) {
        for (; actual < nfixargs; ++actual) setnilvalue(L->top++);
    }
    actual -= nfixargs;
    Table *htab = luaH_new(L, actual, 1);
    for (int i = 0; i < actual; i++) setobj(&htab->array[i], L->top - actual + i);
    TObject nname;
    setsvalue(&nname, luaS_new(L, "n"));
    setnvalue(luaH_set(L, htab, &nname), actual);
    L->top -= actual;
    sethvalue(L->top, htab);
    L->top++;
}

void luaD_poscall(lua_State *L, int wanted, StkId firstResult) {
    CallInfo *ci = L->ci;
    StkId res = ci->func;
    L->ci = ci - 1;
    L->base = L->ci->base;
    if (wanted == LUA_MULTRET) {
        while (firstResult < L->top) setobj(res++, firstResult++);
        L->top = res;
    } else {
        int i = wanted;
        while (i != 0 && firstResult < L->top) {
            setobj(res++, firstResult++);
            i--;
        }
        while (i-- > 0) setnilvalue(res++);
        L->top = res;
    }
}

namespace {

// What a protected region restores when it unwinds.
struct Saved {
    ptrdiff_t ci;
    int nCcalls;
    uint8_t allowhook;
    int ngosub;
};

inline Saved save(lua_State *L) {
    return Saved{L->ci - L->base_ci, L->nCcalls, L->allowhook, G(L)->ngosub};
}

inline void restore(lua_State *L, const Saved &s, StkId top) {
    luaF_close(L, top);
    L->ci = L->base_ci + s.ci;
    L->base = L->ci->base;
    L->top = top;
    L->nCcalls = s.nCcalls;
    L->allowhook = s.allowhook;
    if (G(L)->ngosub > s.ngosub) G(L)->ngosub = s.ngosub;
}

LUA_NORETURN void raiseCommandError(lua_State *L, int code, const char *name) {
    if (G(L)->nestederror == code) {
        // Passed on from a nested script call: keep where it happened.
        G(L)->nestederror = 0;
        luaD_throw(L, code);
    }
    CallInfo *ci = L->ci;
    if (ci > L->base_ci && isLua(ci))
        SetErrorPosition(currentline(ci), sourceOf(ci_lfunc(ci)->p), name ? name : "----");
    else
        SetErrorPosition(-1, nearestSource(L, ci), name ? name : "----");
    luaD_throw(L, code);
}

} // namespace

int luaD_precall(lua_State *L, StkId func, int nresults, int capture, int *status) {
    if (!ttisfunction(func)) func = tryfuncTM(L, func);
    if (L->ci + 1 >= L->end_ci) luaG_runerror(L, ERR_STACK);
    Closure *cl = clvalue(func);
    if (!cl->isC) {
        Proto *p = static_cast<LClosure *>(cl)->p;
        StkId base = func + 1;
        if (L->stack_last - base <= p->maxstacksize + 2) luaG_runerror(L, ERR_STACK);
        if (p->is_vararg) {
            adjust_varargs(L, p->numparams, base);
        } else if (L->top > base + p->numparams) {
            L->top = base + p->numparams;
        }
        CallInfo *ci = luaD_pushluaframe(L, func, base, p, nresults);
        if (L->hookmask & LUA_MASKCALL) {
            ci->savedpc++; // so that the hook sees the first line
            luaD_callhook(L, LUA_HOOKCALL, -1);
            ci->savedpc--;
        }
        return 1;
    }
    // A command.
    CClosure *cc = static_cast<CClosure *>(cl);
    if (L->stack_last - L->top <= LUA_MINSTACK + 1) luaG_runerror(L, ERR_STACK);
    CallInfo *ci = ++L->ci;
    ci->func = func;
    L->base = ci->base = func + 1;
    ci->top = L->top + LUA_MINSTACK;
    ci->savedpc = nullptr;
    ci->hookpc = nullptr;
    ci->hookline = INT_MIN;
    ci->nresults = nresults;
    ci->tailcalls = 0;
    ci->flags = capture ? CIST_CAPTURE : 0;
    if (L->hookmask & LUA_MASKCALL) luaD_callhook(L, LUA_HOOKCALL, -1);
    G(L)->nestederror = 0;
    int n;
    bool guarded = status && (capture || G(L)->errdispatch);
    if (!guarded) {
        n = cc->f(L);
    } else {
        Saved s = save(L);
        L->nprotected++;
        try {
            n = cc->f(L);
            L->nprotected--;
        } catch (const LuaError &e) {
            L->nprotected--;
            if (e.code == ERR_USERABORT) luaD_throw(L, e.code);
            restore(L, s, func + 1);
            n = e.code;
        } catch (const std::bad_alloc &) {
            L->nprotected--;
            restore(L, s, func + 1);
            n = ERR_MEM;
        }
    }
    if (L->hookmask & LUA_MASKRET) luaD_callhook(L, LUA_HOOKRET, -1);
    if (status) *status = 0;
    if (n >= 0 && n <= 999) {
        if (n > L->top - ci->base) {
            // more results claimed than pushed: a broken command
            char buf[32];
            snprintf(buf, sizeof buf, "%d", n);
            SetErrorDetail(buf);
            n = ERR_INTERNAL1;
        } else {
            StkId first = L->top - n;
            if (capture) {
                // the code 0 goes before the results
                for (StkId p = L->top; p > first; p--) setobj(p, p - 1);
                setnvalue(first, 0);
                L->top++;
            }
            luaD_poscall(L, nresults, first);
            return 0;
        }
    } else if (n == -1 || n == -2) {
        L->top = ci->base;
        if (status) *status = n; // a gosub request for the interpreter
        luaD_poscall(L, nresults, L->top);
        return 0;
    } else if (n < 1000) {
        char buf[32];
        snprintf(buf, sizeof buf, "%d", n);
        SetErrorDetail(buf);
        n = ERR_INTERNAL1;
    }
    // An error code.
    L->top = ci->base;
    const char *name = cc->name;
    if (capture && n != ERR_USERABORT) {
        setnvalue(L->top, n);
        L->top++;
        luaD_poscall(L, nresults, L->top - 1);
        return 0;
    }
    luaD_poscall(L, nresults, L->top); // the frame goes; no results
    if (status && G(L)->errdispatch && n != ERR_USERABORT) {
        StkId res = L->top - (nresults == LUA_MULTRET ? 0 : nresults);
        StkId savedtop = L->top;
        L->top = res; // the handler runs above the caller's live values
        if (L->ci->top > L->top) L->top = L->ci->top;
        int r = G(L)->errdispatch(L, n, G(L)->errdispatch_ud);
        L->top = savedtop;
        if (r == 0) return 0;
        n = r;
    }
    raiseCommandError(L, n, name);
}

void luaD_call(lua_State *L, StkId func, int nResults) {
    if (++L->nCcalls >= LUAI_MAXCCALLS) {
        SetErrorDetail(nullptr);
        luaG_runerror(L, ERR_STACK);
    }
    if (luaD_precall(L, func, nResults, 0, nullptr)) {
        L->ci->flags |= CIST_FRESH;
        luaV_execute(L);
    }
    L->nCcalls--;
}

// ---------------------------------------------------------------------------
// Protected calls

extern "C" int lua_pcall(lua_State *L, int nargs, int nresults, int errfunc) {
    if (nargs < 0 || L->top - L->base < nargs + 1) return ERR_MISSINGPARAMTR;
    StkId func = L->top - (nargs + 1);
    TObject ef;
    setnilvalue(&ef);
    if (errfunc != 0) {
        StkId o = errfunc > 0 ? L->base + (errfunc - 1) : (errfunc > LUA_REGISTRYINDEX ? L->top + errfunc : nullptr);
        if (o && o >= L->base && o < L->top) ef = *o;
    }
    Saved s = save(L);
    L->nprotected++;
    int code = 0;
    bool positioned = false;
    try {
        luaD_call(L, func, nresults);
    } catch (const LuaError &e) {
        code = e.code;
        positioned = true;
    } catch (const std::bad_alloc &) {
        code = ERR_MEM;
    }
    if (code != 0) {
        if (ttisfunction(&ef) && L->stack_last - L->top > LUA_MINSTACK + 4) {
            // the handler sees the failing frames; it may replace the code
            L->allowhook = s.allowhook;
            int inner = L->nCcalls;
            setobj(L->top, &ef);
            setnvalue(L->top + 1, code);
            L->top += 2;
            try {
                luaD_call(L, L->top - 2, 1);
                if (ttisnumber(L->top - 1) && nvalue(L->top - 1) >= 1000) code = static_cast<int>(nvalue(L->top - 1));
            } catch (...) {
                L->nCcalls = inner;
            }
        }
        restore(L, s, func);
        // Set after the error function, whose commands begin afresh.
        G(L)->nestederror = positioned ? code : 0;
    }
    L->nprotected--;
    return code;
}

extern "C" void lua_call(lua_State *L, int nargs, int nresults) {
    if (nargs < 0 || L->top - L->base < nargs + 1) luaG_runerror(L, ERR_MISSINGPARAMTR);
    StkId func = L->top - (nargs + 1);
    luaD_call(L, func, nresults);
}

// ---------------------------------------------------------------------------
// State

extern "C" lua_State *lua_open(void) {
    global_State *g = new (std::nothrow) global_State();
    lua_State *L = new (std::nothrow) lua_State();
    TObject *stack = static_cast<TObject *>(calloc(LUAI_MAXSTACK + LUAI_EXTRASTACK, sizeof(TObject)));
    CallInfo *cis = static_cast<CallInfo *>(calloc(LUAI_MAXCALLS, sizeof(CallInfo)));
    if (!g || !L || !stack || !cis) {
        delete g;
        delete L;
        free(stack);
        free(cis);
        return nullptr;
    }
    L->l_G = g;
    L->stack = stack;
    L->stack_last = stack + LUAI_MAXSTACK;
    L->top = stack;
    L->base_ci = cis;
    L->end_ci = cis + LUAI_MAXCALLS - 1;
    L->ci = cis;
    L->ci->func = L->top;
    setnilvalue(L->top++);
    L->base = L->ci->base = L->top;
    L->ci->top = L->top + LUA_MINSTACK;
    L->ci->flags = 0;
    L->allowhook = 1;
    L->gateword = &luaD_shutgate;
    L->nprotected = 1; // creation runs under the guard below
    setnilvalue(&g->registry);
    setnilvalue(&L->l_gt);
    g->GCthreshold = SIZE_MAX; // no collection while the state is built
    try {
        luaS_resize(L, 64);
        sethvalue(&L->l_gt, luaH_new(L, 0, 4));
        sethvalue(&g->registry, luaH_new(L, 0, 2));
        for (int i = 0; i < TM_N; i++) {
            g->tmname[i] = luaS_new(L, tmnames[i]);
            g->tmname[i]->reserved = 1;
            g->tmname[i]->marked |= 2; // fixed
        }
        // the generic for of a table needs the global "next"
        lua_pushstring(L, "next");
        lua_pushcfunction(L, [](lua_State *S) -> int {
            luaL_checktable(S, 1);
            lua_settop(S, 2);
            if (lua_next(S, 1)) return 2;
            lua_pushnil(S);
            return 1;
        });
        lua_settable(L, LUA_GLOBALSINDEX);
    } catch (...) {
        L->nprotected = 0;
        lua_close(L);
        return nullptr;
    }
    L->nprotected = 0;
    g->GCthreshold = 4 * g->nblocks;
    if (g->GCthreshold < 256 * 1024) g->GCthreshold = 256 * 1024;
    return L;
}

extern "C" void lua_close(lua_State *L) {
    if (!L) return;
    global_State *g = G(L);
    luaF_close(L, L->stack);
    L->ci = L->base_ci;
    L->base = L->top = L->ci->base;
    L->nCcalls = 0;
    L->hook = nullptr;
    L->hookmask = 0;
    luaD_settrap(L);
    L->nprotected++;
    try {
        if (g->strt.hash) luaC_callallgcTM(L);
    } catch (...) {
    }
    L->nprotected--;
    luaC_freeall(L);
    free(L->stack);
    free(L->base_ci);
    delete L;
    delete g;
}

extern "C" lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf) {
    lua_CFunction old = G(L)->panic;
    G(L)->panic = panicf;
    return old;
}

// ---------------------------------------------------------------------------
// Call machinery settings

extern "C" void lua_setjumpoffset(lua_State *L, int offset) { G(L)->jumpoffset = offset; }
extern "C" int lua_getcallinstr(lua_State *L) {
    const global_State *g = G(L);
    return g->callpc ? static_cast<int>(g->callpc - g->callcode) - 1 : 0;
}
extern "C" void lua_seterrordispatch(lua_State *L, lua_ErrorDispatch f, void *ud) {
    G(L)->errdispatch = f;
    G(L)->errdispatch_ud = ud;
}
extern "C" void lua_setstopflag(lua_State *L, int on) {
    G(L)->stop.store(on ? 1 : 0, std::memory_order_relaxed);
    luaD_settrap(L);
}
extern "C" int lua_getstopflag(lua_State *L) { return G(L)->stop.load(std::memory_order_relaxed); }
extern "C" void lua_setabortflag(lua_State *L, const volatile unsigned int *flag) { G(L)->abortflag = flag; }
extern "C" void lua_sethookgate(lua_State *L, const volatile unsigned int *gate) {
    G(L)->hookgate = gate;
    luaD_settrap(L);
}
extern "C" int lua_getgosubdepth(lua_State *L) { return G(L)->ngosub; }

// ---------------------------------------------------------------------------
// Debug interface

extern "C" int lua_sethook(lua_State *L, lua_Hook func, int mask, int count) {
    if (func == nullptr || mask == 0) {
        mask = 0;
        func = nullptr;
    }
    // A gate belongs to the hook it was set for: another hook runs ungated.
    if (func != L->hook) G(L)->hookgate = nullptr;
    L->hook = func;
    L->basehookcount = count;
    L->hookcount = count;
    L->hookmask = static_cast<uint8_t>(mask);
    // frames that start being traced now must not see a stale position
    for (CallInfo *ci = L->base_ci; ci <= L->ci; ci++) {
        ci->hookpc = nullptr;
        ci->hookline = INT_MIN;
    }
    luaD_settrap(L);
    return 1;
}

extern "C" lua_Hook lua_gethook(lua_State *L) { return L->hook; }
extern "C" int lua_gethookmask(lua_State *L) { return L->hookmask; }
extern "C" int lua_gethookcount(lua_State *L) { return L->basehookcount; }

extern "C" int lua_getstack(lua_State *L, int level, lua_Debug *ar) {
    CallInfo *ci = L->ci;
    for (; level > 0 && ci > L->base_ci; ci--) level--;
    if (level != 0 || ci <= L->base_ci) return 0;
    ar->i_ci = ci_level(L, ci);
    return 1;
}

extern "C" int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar) {
    const TObject *f = nullptr;
    CallInfo *ci = nullptr;
    if (*what == '>') {
        if (L->top <= L->base) return 0;
        f = L->top - 1;
        what++;
    } else if (ar->i_ci > 0 && ar->i_ci <= ci_level(L, L->ci)) {
        ci = L->base_ci + ar->i_ci;
        f = ci->func;
    }
    if (!f || !ttisfunction(f)) return 0;
    Closure *cl = clvalue(f);
    int status = 1;
    for (; *what; what++) {
        switch (*what) {
        case 'S':
            if (cl->isC) {
                ar->source = "=[C]";
                ar->linedefined = -1;
                ar->what = "C";
            } else {
                Proto *p = static_cast<LClosure *>(cl)->p;
                ar->source = sourceOf(p);
                ar->linedefined = p->lineDefined;
                ar->what = p->lineDefined == 0 ? "main" : "Lua";
            }
            snprintf(ar->short_src, LUA_IDSIZE, "%s", ar->source);
            break;
        case 'l':
            ar->currentline = (ci && isLua(ci)) ? currentline(ci) : -1;
            break;
        case 'u': ar->nups = cl->nupvalues; break;
        case 'n':
            ar->name = cl->isC ? static_cast<CClosure *>(cl)->name : nullptr;
            ar->namewhat = ar->name ? "global" : "";
            break;
        case 'f':
            if (L->top >= L->stack_last) return 0;
            setobj(L->top, f);
            L->top++;
            break;
        default: status = 0;
        }
    }
    return status;
}
