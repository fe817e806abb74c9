// Internal data structures of the virtual machine. Not part of the C
// interface: only the engine and its repo tools (the test assembler) use it.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <string>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "errors/error_codes.h"
#include "engine/vm/lua.h"

typedef uint32_t Instruction;
typedef struct TObject *StkId;

// Internal type tags beyond the public ones.
enum { LUA_TPROTO = 9, LUA_TUPVAL = 10, LUA_TDEADKEY = 11 };

// ---------------------------------------------------------------------------
// Values

struct GCObject {
    GCObject *gcnext;
    uint8_t tt;
    uint8_t marked;
};

union Value {
    GCObject *gc;
    void *p;
    lua_Number n;
    int b;
};

struct TObject {
    Value value;
    int tt;
};

struct TString : GCObject {
    uint8_t reserved; // nonzero for the metamethod names (never collected)
    uint8_t pooled;   // its block came from the pool of short strings (see vm_gc.cpp)
    uint32_t hash;
    size_t len;
    TString *hnext;
    const char *str() const { return reinterpret_cast<const char *>(this + 1); }
    char *str() { return reinterpret_cast<char *>(this + 1); }
};

struct Table;

struct Udata : GCObject {
    uint8_t finalized; // "__gc" already ran
    Table *metatable;
    size_t len;
    // the block follows the header, 16-byte aligned
    static constexpr size_t kHeader = (sizeof(GCObject) + 8 + sizeof(void *) + sizeof(size_t) + 15) & ~size_t(15);
    unsigned char *data() { return reinterpret_cast<unsigned char *>(this) + kHeader; }
};

struct LocVar {
    TString *varname;
    int startpc, endpc;
};

struct Proto : GCObject {
    TObject *k;
    Instruction *code;     // as run (see InternalOpCode)
    Instruction *loadcode; // as loaded, kept only where rewriting lost bits
    Proto **p;
    int *lineinfo;
    LocVar *locvars;
    TString **upvalues;
    TString *source;
    int sizeupvalues, sizek, sizecode, sizelineinfo, sizep, sizelocvars;
    int lineDefined;
    GCObject *gclist;
    uint8_t nups, numparams, is_vararg, maxstacksize;
    uint8_t specialized; // code holds internal opcodes (set by the loader)
};

struct UpVal : GCObject {
    TObject *v;    // the stack slot while open, &value once closed
    TObject value;
    UpVal *onext; // next open upvalue (higher slots first)
};

struct Closure : GCObject {
    uint8_t isC;
    uint8_t nupvalues;
    GCObject *gclist;
    Table *env;
};

struct CClosure : Closure {
    lua_CFunction f;
    const char *name; // command name for error positions (static text)
    TObject upvalue[1];
};

struct LClosure : Closure {
    Proto *p;
    UpVal *upvals[1];
};

struct Node {
    TObject i_key;
    TObject i_val;
    Node *next;
};

struct Table : GCObject {
    uint8_t flags;     // bit e set: metamethod e known absent
    uint8_t lsizenode; // log2 of the hash size
    uint8_t weakmode;  // set during collection: 1 weak keys, 2 weak values
    Table *metatable;
    TObject *array;
    Node *node;
    Node *firstfree;
    GCObject *gclist;
    int sizearray;
};

// ---------------------------------------------------------------------------
// Tag and value helpers

#define ttype(o) ((o)->tt)
#define ttisnil(o) (ttype(o) == LUA_TNIL)
#define ttisnumber(o) (ttype(o) == LUA_TNUMBER)
#define ttisstring(o) (ttype(o) == LUA_TSTRING)
#define ttistable(o) (ttype(o) == LUA_TTABLE)
#define ttisfunction(o) (ttype(o) == LUA_TFUNCTION)
#define ttisboolean(o) (ttype(o) == LUA_TBOOLEAN)
#define ttisuserdata(o) (ttype(o) == LUA_TUSERDATA)
#define ttislightuserdata(o) (ttype(o) == LUA_TLIGHTUSERDATA)
#define iscollectable(o) (ttype(o) >= LUA_TSTRING)

#define gcvalue(o) ((o)->value.gc)
#define pvalue(o) ((o)->value.p)
#define nvalue(o) ((o)->value.n)
#define bvalue(o) ((o)->value.b)
#define tsvalue(o) (static_cast<TString *>((o)->value.gc))
#define uvalue(o) (static_cast<Udata *>((o)->value.gc))
#define clvalue(o) (static_cast<Closure *>((o)->value.gc))
#define hvalue(o) (static_cast<Table *>((o)->value.gc))
#define svalue(o) (tsvalue(o)->str())

inline void setnilvalue(TObject *o) { o->tt = LUA_TNIL; }
inline void setnvalue(TObject *o, lua_Number x) { o->tt = LUA_TNUMBER; o->value.n = x; }
inline void setbvalue(TObject *o, int x) { o->tt = LUA_TBOOLEAN; o->value.b = x; }
inline void setpvalue(TObject *o, void *x) { o->tt = LUA_TLIGHTUSERDATA; o->value.p = x; }
inline void setsvalue(TObject *o, TString *x) { o->tt = LUA_TSTRING; o->value.gc = x; }
inline void sethvalue(TObject *o, Table *x) { o->tt = LUA_TTABLE; o->value.gc = x; }
inline void setclvalue(TObject *o, Closure *x) { o->tt = LUA_TFUNCTION; o->value.gc = x; }
inline void setuvalue(TObject *o, Udata *x) { o->tt = LUA_TUSERDATA; o->value.gc = x; }
// Field by field: a value written as tag and number just before is read back
// by forwarding, where one 16-byte copy would stall on the two smaller stores.
inline void setobj(TObject *d, const TObject *s) {
    d->value = s->value;
    d->tt = s->tt;
}

// The truth rule: nil, false, the number 0 and the empty string are false.
inline bool l_isfalse(const TObject *o) {
    switch (o->tt) {
    case LUA_TNIL: return true;
    case LUA_TBOOLEAN: return o->value.b == 0;
    case LUA_TNUMBER: return o->value.n == 0;
    case LUA_TSTRING: return tsvalue(o)->len == 0;
    default: return false;
    }
}

extern const TObject luaO_nilobject;

// ---------------------------------------------------------------------------
// Instructions

enum OpCode {
    OP_MOVE, OP_LOADK, OP_LOADBOOL, OP_LOADNIL, OP_GETUPVAL, OP_GETGLOBAL, OP_GETTABLE,
    OP_SETGLOBAL, OP_SETUPVAL, OP_SETTABLE, OP_NEWTABLE, OP_ADD, OP_SUB, OP_MUL, OP_DIV,
    OP_IDIV, OP_MOD, OP_SHL, OP_SHR, OP_BOR, OP_BAND, OP_BXOR, OP_POW, OP_UNM, OP_NOT,
    OP_BNOT, OP_CONCAT, OP_JMP, OP_EQ, OP_LT, OP_LE, OP_TEST, OP_CALL, OP_TAILCALL,
    OP_RETURN, OP_FORLOOP, OP_TFORLOOP, OP_TFORPREP, OP_SETLIST, OP_SETLISTO, OP_CLOSE,
    OP_CLOSURE, OP_SELF, OP_CALLC, OP_TAILCALLC,
    NUM_OPCODES
};

// Internal opcodes: the loader rewrites verified code into these forms,
// whose operand kinds are known, so that the interpreter does not decode
// them at run time. Operands stay where they were; a chunk is always dumped
// with the opcodes it was loaded with. Words with an unknown opcode (45 to
// 63, which do nothing) run as OPX_NOP.
enum InternalOpCode {
    OPX_ADD_RR = NUM_OPCODES, // B and C registers
    OPX_ADD_RK,               // B a register, C a constant
    OPX_SUB_RR,
    OPX_SUB_RK,
    OPX_MUL_RR,
    OPX_MUL_RK,
    OPX_GETFIELD, // GETTABLE with a constant string key
    OPX_SETFIELD, // SETTABLE with a constant string key
    OPX_SELFK,    // SELF with a constant key (a string: the verifier sees to it)
    OPX_GETINDEX, // GETTABLE with the key in a register
    OPX_SETINDEX, // SETTABLE with the key in a register
    OPX_EQ_RR,    // comparisons with B a register, C a register (RR) or a constant (RK)
    OPX_EQ_RK,
    OPX_LT_RR,
    OPX_LT_RK,
    OPX_LE_RR,
    OPX_LE_RK,
    OPX_RETURNN, // RETURN of a fixed count of values (B not 0), not a gosub return
    OPX_FIRST_FREE,
    OPX_NOP = 63
};

#define SIZE_OP 6
#define SIZE_C 9
#define SIZE_B 9
#define SIZE_A 8
#define SIZE_Bx 18
#define POS_C 6
#define POS_B 15
#define POS_A 24
#define POS_Bx 6
#define MAXARG_Bx ((1 << SIZE_Bx) - 1)
#define MAXARG_sBx (MAXARG_Bx >> 1) // 131071
#define MAXARG_A 255
#define MAXARG_B 511
#define MAXARG_C 511
#define SIZE_JOFF 24
#define MAXARG_JOFF ((1 << SIZE_JOFF) - 1)
#define BIAS_JOFF 8388607
#define JMP_GOSUB 2

#define MAXSTACK 250 // registers per frame; RK operands from here name constants
#define LFIELDS_PER_FLUSH 32

#define GET_OPCODE(i) (static_cast<int>((i) & 0x3F))
#define GETARG_A(i) (static_cast<int>((i) >> POS_A))
#define GETARG_B(i) (static_cast<int>(((i) >> POS_B) & 0x1FF))
#define GETARG_C(i) (static_cast<int>(((i) >> POS_C) & 0x1FF))
#define GETARG_Bx(i) (static_cast<int>(((i) >> POS_Bx) & MAXARG_Bx))
#define GETARG_sBx(i) (GETARG_Bx(i) - MAXARG_sBx)
#define GETARG_JOFF(i) (static_cast<int>(((i) >> 6) & MAXARG_JOFF) - BIAS_JOFF)
#define GETARG_JMODE(i) (static_cast<int>((i) >> 30))
#define ISK(x) ((x) >= MAXSTACK)

inline Instruction CREATE_ABC(int o, int a, int b, int c) {
    return static_cast<Instruction>(o) | (static_cast<Instruction>(a) << POS_A) |
           (static_cast<Instruction>(b) << POS_B) | (static_cast<Instruction>(c) << POS_C);
}
inline Instruction CREATE_ABx(int o, int a, int bx) {
    return static_cast<Instruction>(o) | (static_cast<Instruction>(a) << POS_A) |
           (static_cast<Instruction>(bx) << POS_Bx);
}
inline Instruction CREATE_JMP(int offset, int mode) {
    return static_cast<Instruction>(OP_JMP) | (static_cast<Instruction>(offset + BIAS_JOFF) << 6) |
           (static_cast<Instruction>(mode) << 30);
}

// ---------------------------------------------------------------------------
// Metamethod events, in event-number order.

enum TMS {
    TM_INDEX, TM_NEWINDEX, TM_GC, TM_MODE, TM_EQ, TM_ADD, TM_SUB, TM_MUL, TM_DIV, TM_DIVINT,
    TM_MOD, TM_LSH, TM_RSH, TM_OR, TM_AND, TM_XOR, TM_POW, TM_UNM, TM_NOT, TM_LT, TM_LE,
    TM_CONCAT, TM_CALL,
    TM_N
};

// ---------------------------------------------------------------------------
// State

#define LUAI_MAXSTACK (1 << 19) // slots of one state's stack
#define LUAI_EXTRASTACK 300     // slack above the limit for error handling
#define LUAI_MAXCALLS 12000     // nested frames
#define LUAI_MAXCCALLS 200      // nested C-level calls (and metamethod calls)
#define LUAI_GOSUBSIZE 4096
#define LUAI_MAXNESTING 200     // nesting of functions in a loaded chunk

enum { CIST_LUA = 1, CIST_FRESH = 2, CIST_CAPTURE = 4, CIST_TAIL = 8 };

struct CallInfo {
    StkId func;
    StkId base;
    StkId top;
    const Instruction *savedpc;
    const Instruction *hookpc; // last traced instruction (line hook)
    int hookline;              // and its line (INT_MIN: none yet)
    int nresults;
    int tailcalls;
    int flags;
    int pad_[sizeof(void *) == 8 ? 1 : 7]; // 64 bytes on 64 and 32 bits: frame indices are a shift away
};
static_assert(sizeof(CallInfo) == 64);

struct GosubEntry {
    const Instruction *pc;
    const Proto *owner;
    int level; // frame index of the pushing frame
};

struct stringtable {
    TString **hash;
    uint32_t nuse;
    uint32_t peak; // most strings at once since the last sweep
    int size;
};

// Short strings are made and freed by the million (lines read, numbers
// joined): their blocks go back to a pool of size classes rather than to
// the system allocator.
constexpr size_t kStringPoolClasses = 16;              // blocks of 16 to 256 bytes
constexpr size_t kStringPoolLimit = size_t(4) << 20;   // bytes kept for reuse at most

struct global_State {
    stringtable strt;
    GCObject *rootgc;
    GCObject *tmudata; // userdata whose "__gc" is pending
    size_t GCthreshold;
    size_t nblocks; // bytes in use
    TObject registry;
    TString *tmname[TM_N];
    lua_CFunction panic;
    GosubEntry gosub[LUAI_GOSUBSIZE];
    int ngosub;
    int jumpoffset;
    // The last call instruction executed: the position after it and its
    // function's code (lua_getcallinstr gives its index).
    const Instruction *callpc;
    const Instruction *callcode;
    std::atomic<int> stop;
    const volatile unsigned int *abortflag;
    // While the host's gate word reads 0 (and the abort flag is clear), line
    // events skip the hook: the host opens the gate when it has work for it.
    const volatile unsigned int *hookgate;
    lua_ErrorDispatch errdispatch;
    void *errdispatch_ud;
    // The code of an error that a protected call caught since the running
    // command began: its position (a handler's line and command) is the
    // one to report when the command passes the code on.
    int nestederror = 0;
    bool gcrunning; // no collection while finalisers or a collection run
    // Blocks of freed short strings by size class (16 bytes each), linked
    // through gcnext, and the bytes they hold.
    TString *strpool[kStringPoolClasses + 1] = {};
    size_t strpoolbytes = 0;
    std::string concatbuf;
};

struct lua_State {
    StkId top;
    StkId base;
    global_State *l_G;
    CallInfo *ci;
    StkId stack;
    StkId stack_last; // end of the usable stack
    CallInfo *base_ci;
    CallInfo *end_ci;
    UpVal *openupval;
    TObject l_gt; // globals
    lua_Hook hook;
    int basehookcount;
    int hookcount;
    int nCcalls;
    int nprotected;
    uint8_t hookmask;
    uint8_t allowhook;
    // Why the interpreter must look before an instruction: 1 the line hook
    // alone, 2 the stop flag, 4 any other hook; 0 nothing. A line hook behind
    // a gate adds nothing here: the interpreter reads the gate word itself.
    std::atomic<int> trap;
    // The gate of a gated line hook, else a word that stays 0.
    const volatile unsigned int *gateword;
    lua_Debug hookar;      // reused by line events
};

#define G(L) ((L)->l_G)
#define registry(L) (&G(L)->registry)
#define gt(L) (&(L)->l_gt)

inline bool isLua(const CallInfo *ci) { return (ci->flags & CIST_LUA) != 0; }
inline LClosure *ci_lfunc(const CallInfo *ci) { return static_cast<LClosure *>(clvalue(ci->func)); }

// The error unwinding: a script error is this exception, caught by the
// protected calls.
struct LuaError {
    int code;
};

// ---------------------------------------------------------------------------
// Memory and collector (vm_gc.cpp)

void *luaM_realloc(lua_State *L, void *block, size_t oldsize, size_t size);
template <class T>
T *luaM_newvector(lua_State *L, size_t n) {
    if (n > SIZE_MAX / sizeof(T)) luaG_runerror(L, ERR_MEM);
    return static_cast<T *>(luaM_realloc(L, nullptr, 0, n * sizeof(T)));
}
template <class T>
void luaM_freearray(lua_State *L, T *p, size_t n) {
    luaM_realloc(L, p, n * sizeof(T), 0);
}
void luaC_link(lua_State *L, GCObject *o, uint8_t tt);
void luaC_collectgarbage(lua_State *L);
void luaC_checkGC(lua_State *L);
void luaC_callallgcTM(lua_State *L);
void luaC_freeall(lua_State *L);

// Strings (vm_gc.cpp)
TString *luaS_newlstr(lua_State *L, const char *str, size_t l);
inline TString *luaS_new(lua_State *L, const char *s) { return luaS_newlstr(L, s, strlen(s)); }
// A string of l bytes that the caller writes and then hands to
// luaS_internbuilt, which returns it interned, or an equal string already
// interned (freeing it). Nothing may run in between.
TString *luaS_newbuilt(lua_State *L, size_t l);
TString *luaS_internbuilt(lua_State *L, TString *ts);
void luaS_resize(lua_State *L, int newsize);
void luaS_freeall(lua_State *L);
Udata *luaS_newudata(lua_State *L, size_t s);
int l_strcmp(const TString *ls, const TString *rs);

// Functions (vm_func.cpp)
Proto *luaF_newproto(lua_State *L);
void luaF_freeproto(lua_State *L, Proto *f);
CClosure *luaF_newCclosure(lua_State *L, int nelems);
LClosure *luaF_newLclosure(lua_State *L, int nelems, Table *e);
UpVal *luaF_findupval(lua_State *L, StkId level);
void luaF_close(lua_State *L, StkId level);
// Open upvalues are listed highest slot first: nothing at or above level is
// open when the first one lies below it.
inline bool luaF_anyopen(const lua_State *L, StkId level) { return L->openupval && L->openupval->v >= level; }
void luaF_freeclosure(lua_State *L, Closure *c);
int luaG_getline(const Proto *p, int pc);

// Tables (vm_table.cpp)
Table *luaH_new(lua_State *L, int narray, int lnhash);
void luaH_free(lua_State *L, Table *t);
const TObject *luaH_get(Table *t, const TObject *key);
const TObject *luaH_getnum(Table *t, int key);
inline const TObject *luaH_getstr(Table *t, TString *key) {
    Node *n = &t->node[key->hash & static_cast<uint32_t>((1 << t->lsizenode) - 1)];
    do {
        if (n->i_key.tt == LUA_TSTRING && n->i_key.value.gc == key) return &n->i_val;
        n = n->next;
    } while (n);
    return &luaO_nilobject;
}
// The array index (key - 1) of number key n, or a value not below
// sizearray: one conversion and one compare back, no range tests in
// floating point.
inline unsigned luaH_arrayindex(const Table *t, lua_Number n) {
#if defined(__SSE2__)
    const int k = _mm_cvttsd_si32(_mm_set_sd(n)); // INT_MIN for NaN and out of range
#else
    if (!(n >= 1 && n <= t->sizearray)) return UINT_MAX;
    const int k = static_cast<int>(n);
#endif
    return static_cast<lua_Number>(k) == n ? static_cast<unsigned>(k) - 1u : UINT_MAX;
}
inline bool luaH_inarray(const Table *t, unsigned index) { return index < static_cast<unsigned>(t->sizearray); }
// The array slot of number key n, or null.
inline TObject *luaH_arrayslot(Table *t, lua_Number n) {
    const unsigned index = luaH_arrayindex(t, n);
    return luaH_inarray(t, index) ? &t->array[index] : nullptr;
}
TObject *luaH_set(lua_State *L, Table *t, const TObject *key);
TObject *luaH_setnum(lua_State *L, Table *t, int key);
TObject *luaH_setnew(lua_State *L, Table *t, const TObject *key); // key must be absent
int luaH_next(lua_State *L, Table *t, StkId key);
void luaH_resize(lua_State *L, Table *t, int nasize, int nhsize);
inline Node *gnode(Table *t, int i) { return &t->node[i]; }
inline int sizenode(const Table *t) { return 1 << t->lsizenode; }

// Metamethods (vm_state.cpp)
const TObject *luaT_gettm(Table *events, TMS event, TString *ename);
const TObject *luaT_gettmbyobj(lua_State *L, const TObject *o, TMS event);
inline const TObject *fasttm(lua_State *L, Table *et, TMS e) {
    if (et == nullptr || (et->flags & (1u << e))) return nullptr;
    return luaT_gettm(et, e, G(L)->tmname[e]);
}
extern const char *const luaT_typenames[];

// Calls and errors (vm_do.cpp)
void luaD_growstack(lua_State *L, int n);
inline void luaD_checkstack(lua_State *L, int n) {
    if (L->stack_last - L->top <= n) luaD_growstack(L, n);
}
inline void incr_top(lua_State *L) {
    if (L->top >= L->stack_last) luaD_growstack(L, 1);
    L->top++;
}
// Sets up a call of func. A script function gets a new frame and 1 is
// returned (the caller runs it); a C function runs at once, its status goes
// to *status (0, -1/-2 gosub request, or an error code to dispatch), its
// results are moved into place and 0 is returned.
int luaD_precall(lua_State *L, StkId func, int nresults, int capture, int *status);
void luaD_poscall(lua_State *L, int wanted, StkId firstResult);
void luaD_call(lua_State *L, StkId func, int nResults);
void luaD_callhook(lua_State *L, int event, int line);
void luaD_linehook(lua_State *L, int line);
// True when a line event may skip the hook (see global_State::hookgate).
inline bool luaD_linegateclosed(lua_State *L) {
    const global_State *g = G(L);
    if (!g->hookgate || __atomic_load_n(g->hookgate, __ATOMIC_RELAXED) != 0) return false;
    return !(g->abortflag && __atomic_load_n(g->abortflag, __ATOMIC_RELAXED) != 0);
}
void luaD_settrap(lua_State *L);
// Pushes the frame of a script function whose arguments lie from `base` to
// L->top (already cut to its parameters): registers above them are nil.
// The interpreter's inline call and luaD_precall both use it.
inline CallInfo *luaD_pushluaframe(lua_State *L, StkId func, StkId base, const Proto *p, int nresults) {
    CallInfo *ci = ++L->ci;
    ci->func = func;
    L->base = ci->base = base;
    ci->top = base + p->maxstacksize;
    ci->savedpc = p->code;
    ci->hookpc = nullptr;
    ci->hookline = INT_MIN;
    ci->tailcalls = 0;
    ci->nresults = nresults;
    ci->flags = CIST_LUA;
    for (StkId st = L->top; st < ci->top; st++) setnilvalue(st);
    L->top = ci->top;
    return ci;
}
extern const volatile unsigned int luaD_shutgate; // the gate of no gated hook
LUA_NORETURN void luaD_throw(lua_State *L, int code);
int luaD_commandname_line(lua_State *L, const char **command);
// The frame index of ci.
inline int ci_level(lua_State *L, const CallInfo *ci) { return static_cast<int>(ci - L->base_ci); }
LUA_NORETURN void luaG_errorposition_raise(lua_State *L, int code, int line, const char *command);

// Interpreter (vm_exec.cpp)
void luaV_execute(lua_State *L);
const TObject *luaV_tonumber(const TObject *obj, TObject *n);
int luaV_tostring(lua_State *L, StkId obj);
void luaV_gettable(lua_State *L, const TObject *t, TObject *key, StkId res);
void luaV_settable(lua_State *L, const TObject *t, TObject *key, StkId val);
const TObject *luaV_index(lua_State *L, const TObject *t, TObject *key, int loop);
int luaV_lessthan(lua_State *L, const TObject *l, const TObject *r, int strmode);
int luaV_lessequal(lua_State *L, const TObject *l, const TObject *r);
int luaV_equalval(lua_State *L, const TObject *t1, const TObject *t2);
void luaV_concat(lua_State *L, int total, int last);
void luaV_arith(lua_State *L, StkId ra, const TObject *rb, const TObject *rc, TMS op);
int luaO_rawequalObj(const TObject *t1, const TObject *t2);
int luaO_str2d(const char *s, lua_Number *result);
// Formats a number as "%.14g" does; returns the length (buf: 48 bytes).
size_t luaO_num2str(lua_Number n, char *buf);
uint32_t luaV_touint32(lua_Number n);
int32_t luaV_toint32(lua_Number n);

inline bool luaV_equalobj(lua_State *L, const TObject *a, const TObject *b) {
    return ttype(a) == ttype(b) && luaV_equalval(L, a, b);
}

// Chunks (vm_chunk.cpp)
struct DumpOptions {
    bool bigEndian = false;
    int sizeT = 4; // width of the size field: 4 or 8
};
int luaU_dump(lua_State *L, const Proto *f, lua_Chunkwriter w, void *data, const DumpOptions &opt);
// Checks one prototype (not its nested ones); returns 0 or the error code.
int luaG_verify(const Proto *f, int depth);
// Rewrites verified code into the internal opcodes; the word to dump for
// code[pc]; the public opcode of an internal one.
void luaV_specialize(lua_State *L, Proto *f);
Instruction luaV_loadedword(const Proto *f, int pc);
int luaV_publicop(int op);
Proto *luaU_undump(lua_State *L, lua_Chunkreader reader, void *data, const char *name);

// Position helpers (vm_do.cpp)
inline int pcRel(const Instruction *pc, const Proto *p) { return static_cast<int>(pc - p->code) - 1; }
static_assert(sizeof(Udata) <= Udata::kHeader);
