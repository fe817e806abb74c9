// Precompiled chunks: the writer, the loader and the verifier that every
// loaded function passes before it can run. The layout is documented in
// docs/chunk-format.md.
#include <cmath>
#include <new>
#include <vector>

#include "engine/vm/vm_internal.h"

namespace {

constexpr unsigned char kSignature[4] = {0x1B, 'C', 'X', 'B'};
constexpr unsigned char kVersion = 0x50;
constexpr double kTestNumber = 3.14159265358979323846E7;
constexpr size_t kMaxChunk = size_t(1) << 30; // refuse inputs above 1 GiB

bool hostLittleEndian() {
    const uint16_t x = 1;
    unsigned char b;
    memcpy(&b, &x, 1);
    return b == 1;
}

// ---------------------------------------------------------------------------
// Writer

struct DumpState {
    lua_State *L;
    lua_Chunkwriter writer;
    void *data;
    DumpOptions opt;
    int status = 0;
};

void dumpBlock(DumpState &D, const void *b, size_t size) {
    if (D.status == 0 && size > 0) D.status = D.writer(D.L, b, size, D.data);
}

// Writes the low `size` bytes of v in the chunk's byte order.
void dumpUInt(DumpState &D, uint64_t v, int size) {
    unsigned char buf[8];
    for (int i = 0; i < size; i++) {
        unsigned char byte = static_cast<unsigned char>(v >> (8 * i));
        buf[D.opt.bigEndian ? size - 1 - i : i] = byte;
    }
    dumpBlock(D, buf, static_cast<size_t>(size));
}

void dumpByte(DumpState &D, int b) {
    unsigned char c = static_cast<unsigned char>(b);
    dumpBlock(D, &c, 1);
}

void dumpInt(DumpState &D, int x) { dumpUInt(D, static_cast<uint32_t>(x), 4); }

void dumpNumber(DumpState &D, double x) {
    uint64_t bits;
    memcpy(&bits, &x, 8);
    dumpUInt(D, bits, 8);
}

void dumpString(DumpState &D, const TString *s) {
    if (s == nullptr) {
        dumpUInt(D, 0, D.opt.sizeT);
        return;
    }
    dumpUInt(D, s->len + 1, D.opt.sizeT);
    dumpBlock(D, s->str(), s->len + 1);
}

void dumpFunction(DumpState &D, const Proto *f, const TString *parentSource) {
    dumpString(D, f->source == parentSource ? nullptr : f->source);
    dumpInt(D, f->lineDefined);
    dumpByte(D, f->nups);
    dumpByte(D, f->numparams);
    dumpByte(D, f->is_vararg);
    dumpByte(D, f->maxstacksize);
    dumpInt(D, f->sizelineinfo);
    for (int i = 0; i < f->sizelineinfo; i++) dumpInt(D, f->lineinfo[i]);
    dumpInt(D, f->sizelocvars);
    for (int i = 0; i < f->sizelocvars; i++) {
        dumpString(D, f->locvars[i].varname);
        dumpInt(D, f->locvars[i].startpc);
        dumpInt(D, f->locvars[i].endpc);
    }
    dumpInt(D, f->sizeupvalues);
    for (int i = 0; i < f->sizeupvalues; i++) dumpString(D, f->upvalues[i]);
    dumpInt(D, f->sizek);
    for (int i = 0; i < f->sizek; i++) {
        const TObject *o = &f->k[i];
        dumpByte(D, ttype(o));
        if (ttisnumber(o))
            dumpNumber(D, nvalue(o));
        else if (ttisstring(o))
            dumpString(D, tsvalue(o));
    }
    dumpInt(D, f->sizep);
    for (int i = 0; i < f->sizep; i++) dumpFunction(D, f->p[i], f->source);
    dumpInt(D, f->sizecode);
    for (int i = 0; i < f->sizecode; i++) dumpUInt(D, luaV_loadedword(f, i), 4);
}

// ---------------------------------------------------------------------------
// Loader

struct LoadState {
    lua_State *L;
    const unsigned char *p;
    const unsigned char *end;
    bool swap; // chunk byte order differs from the host's
    bool big;
    int sizeT;
};

LUA_NORETURN void loadError(lua_State *L, int code) { luaG_runerror(L, code); }

size_t remaining(const LoadState &S) { return static_cast<size_t>(S.end - S.p); }

void need(LoadState &S, size_t n) {
    if (remaining(S) < n) loadError(S.L, ERR_UNEXPECTEDEOF);
}

uint64_t loadUInt(LoadState &S, int size) {
    need(S, static_cast<size_t>(size));
    uint64_t v = 0;
    for (int i = 0; i < size; i++) {
        uint64_t byte = S.p[S.big ? i : size - 1 - i];
        v = (v << 8) | byte;
    }
    S.p += size;
    return v;
}

int loadByte(LoadState &S) {
    need(S, 1);
    return *S.p++;
}

int loadInt(LoadState &S) {
    int32_t x = static_cast<int32_t>(static_cast<uint32_t>(loadUInt(S, 4)));
    if (x < 0) loadError(S.L, ERR_BADINTEGER);
    return x;
}

// A count of elements that each take at least minBytes of input.
int loadCount(LoadState &S, size_t minBytes) {
    int n = loadInt(S);
    if (static_cast<size_t>(n) > remaining(S) / minBytes) loadError(S.L, ERR_UNEXPECTEDEOF);
    return n;
}

double loadNumber(LoadState &S) {
    uint64_t bits = loadUInt(S, 8);
    double x;
    memcpy(&x, &bits, 8);
    return x;
}

TString *loadString(LoadState &S) {
    uint64_t size = loadUInt(S, S.sizeT);
    if (size == 0) return nullptr;
    if (size > remaining(S)) loadError(S.L, ERR_UNEXPECTEDEOF);
    const char *s = reinterpret_cast<const char *>(S.p);
    S.p += size;
    return luaS_newlstr(S.L, s, static_cast<size_t>(size) - 1); // the stored NUL is dropped
}

Proto *loadFunction(LoadState &S, TString *parentSource, int depth) {
    lua_State *L = S.L;
    if (depth > LUAI_MAXNESTING) loadError(L, ERR_BADBYTECODE);
    Proto *f = luaF_newproto(L);
    f->source = loadString(S);
    if (f->source == nullptr) f->source = parentSource;
    f->lineDefined = loadInt(S);
    f->nups = static_cast<uint8_t>(loadByte(S));
    f->numparams = static_cast<uint8_t>(loadByte(S));
    f->is_vararg = static_cast<uint8_t>(loadByte(S));
    f->maxstacksize = static_cast<uint8_t>(loadByte(S));
    // line info
    int n = loadCount(S, 4);
    f->lineinfo = luaM_newvector<int>(L, static_cast<size_t>(n));
    f->sizelineinfo = n;
    for (int i = 0; i < n; i++) f->lineinfo[i] = static_cast<int32_t>(static_cast<uint32_t>(loadUInt(S, 4)));
    // locals
    n = loadCount(S, static_cast<size_t>(S.sizeT) + 8);
    f->locvars = luaM_newvector<LocVar>(L, static_cast<size_t>(n));
    for (int i = 0; i < n; i++) f->locvars[i] = LocVar{nullptr, 0, 0};
    f->sizelocvars = n;
    for (int i = 0; i < n; i++) {
        f->locvars[i].varname = loadString(S);
        f->locvars[i].startpc = loadInt(S);
        f->locvars[i].endpc = loadInt(S);
    }
    // upvalue names
    n = loadCount(S, static_cast<size_t>(S.sizeT));
    if (n != 0 && n != f->nups) loadError(L, ERR_BADUPVALUES);
    f->upvalues = luaM_newvector<TString *>(L, static_cast<size_t>(n));
    for (int i = 0; i < n; i++) f->upvalues[i] = nullptr;
    f->sizeupvalues = n;
    for (int i = 0; i < n; i++) f->upvalues[i] = loadString(S);
    // constants
    n = loadCount(S, 1);
    f->k = luaM_newvector<TObject>(L, static_cast<size_t>(n));
    for (int i = 0; i < n; i++) setnilvalue(&f->k[i]);
    f->sizek = n;
    for (int i = 0; i < n; i++) {
        TObject *o = &f->k[i];
        int t = loadByte(S);
        switch (t) {
        case LUA_TNUMBER: setnvalue(o, loadNumber(S)); break;
        case LUA_TSTRING: {
            TString *s = loadString(S);
            if (!s) loadError(L, ERR_BADCONSTANT);
            setsvalue(o, s);
            break;
        }
        case LUA_TNIL: setnilvalue(o); break;
        default: loadError(L, ERR_BADCONSTANT);
        }
    }
    // nested functions (each at least a header of 17 bytes)
    n = loadCount(S, 17);
    f->p = luaM_newvector<Proto *>(L, static_cast<size_t>(n));
    for (int i = 0; i < n; i++) f->p[i] = nullptr;
    f->sizep = n;
    for (int i = 0; i < n; i++) f->p[i] = loadFunction(S, f->source, depth + 1);
    // code
    n = loadCount(S, 4);
    f->code = luaM_newvector<Instruction>(L, static_cast<size_t>(n));
    f->sizecode = n;
    for (int i = 0; i < n; i++) f->code[i] = static_cast<Instruction>(loadUInt(S, 4));
    int code = luaG_verify(f, depth);
    if (code) loadError(L, code);
    luaV_specialize(L, f);
    return f;
}

void loadHeader(LoadState &S) {
    lua_State *L = S.L;
    need(S, 4);
    if (memcmp(S.p, kSignature, 4) != 0) loadError(L, ERR_BADSIGNATURE);
    S.p += 4;
    if (loadByte(S) != kVersion) loadError(L, ERR_BADSIGNATURE);
    int endian = loadByte(S);
    if (endian != 0 && endian != 1) loadError(L, ERR_VMMISMATCH);
    S.big = endian == 0;
    S.swap = S.big == hostLittleEndian();
    int sizeInt = loadByte(S);
    int sizeT = loadByte(S);
    int sizeInstr = loadByte(S);
    int sop = loadByte(S), sa = loadByte(S), sb = loadByte(S), sc = loadByte(S);
    int sizeNum = loadByte(S);
    if (sizeInt != 4 || (sizeT != 4 && sizeT != 8) || sizeInstr != 4 || sop != SIZE_OP || sa != SIZE_A ||
        sb != SIZE_B || sc != SIZE_C || sizeNum != 8)
        loadError(L, ERR_VMMISMATCH);
    S.sizeT = sizeT;
    double x = loadNumber(S);
    if (x != kTestNumber) loadError(L, ERR_UNKNUMFMT);
}

} // namespace

// ---------------------------------------------------------------------------
// Verifier: every loaded function is checked so that running it can never
// leave its frame, its constants or its code.

int luaG_verify(const Proto *f, int depth) {
    (void)depth;
    const int maxstack = f->maxstacksize;
    const int sizecode = f->sizecode;
    if (maxstack > MAXSTACK || maxstack < 2) return ERR_BADBYTECODE;
    if (f->numparams + (f->is_vararg ? 1 : 0) > maxstack) return ERR_BADBYTECODE;
    if (f->sizelineinfo != 0 && f->sizelineinfo != sizecode) return ERR_BADBYTECODE;
    if (sizecode == 0 || GET_OPCODE(f->code[sizecode - 1]) != OP_RETURN) return ERR_BADBYTECODE;
    for (int i = 0; i < f->sizep; i++)
        if (f->p[i] == nullptr) return ERR_BADBYTECODE;

    auto reg = [&](int r) { return r >= 0 && r < maxstack; };
    auto rk = [&](int x) { return ISK(x) ? (x - MAXSTACK) < f->sizek : x < maxstack; };
    auto target = [&](int64_t t) { return t >= 0 && t < sizecode; };
    auto isstrk = [&](int kidx) { return kidx >= 0 && kidx < f->sizek && ttisstring(&f->k[kidx]); };
    // a conditional skips the next instruction, which must be a JMP
    auto condjump = [&](int pc) {
        return pc + 2 < sizecode && GET_OPCODE(f->code[pc + 1]) == OP_JMP;
    };

    for (int pc = 0; pc < sizecode; pc++) {
        Instruction i = f->code[pc];
        int op = GET_OPCODE(i);
        int a = GETARG_A(i), b = GETARG_B(i), c = GETARG_C(i);
        switch (op) {
        case OP_MOVE:
            if (!reg(a) || !reg(b)) return ERR_BADBYTECODE;
            break;
        case OP_LOADK:
            if (!reg(a) || GETARG_Bx(i) >= f->sizek) return ERR_BADBYTECODE;
            break;
        case OP_LOADBOOL:
            if (!reg(a) || (c && pc + 2 >= sizecode)) return ERR_BADBYTECODE;
            break;
        case OP_LOADNIL:
            if (!reg(a) || !reg(b)) return ERR_BADBYTECODE;
            break;
        case OP_GETUPVAL:
        case OP_SETUPVAL:
            if (!reg(a) || b >= f->nups) return ERR_BADUPVALUES;
            break;
        case OP_GETGLOBAL:
        case OP_SETGLOBAL:
            if (!reg(a) || !isstrk(GETARG_Bx(i))) return ERR_BADBYTECODE;
            break;
        case OP_GETTABLE:
            if (!reg(a) || !reg(b) || !rk(c)) return ERR_BADBYTECODE;
            break;
        case OP_SETTABLE:
            if (!reg(a) || !rk(b) || !rk(c)) return ERR_BADBYTECODE;
            break;
        case OP_NEWTABLE:
            if (!reg(a)) return ERR_BADBYTECODE;
            break;
        case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_IDIV: case OP_MOD:
        case OP_SHL: case OP_SHR: case OP_BOR: case OP_BAND: case OP_BXOR: case OP_POW:
            if (!reg(a) || !rk(b) || !rk(c)) return ERR_BADBYTECODE;
            break;
        case OP_UNM: case OP_NOT: case OP_BNOT:
            if (!reg(a) || !reg(b)) return ERR_BADBYTECODE;
            break;
        case OP_CONCAT:
            if (!reg(a) || !reg(c) || b >= c) return ERR_BADBYTECODE;
            break;
        case OP_JMP:
            if (!target(static_cast<int64_t>(pc) + 1 + GETARG_JOFF(i))) return ERR_BADBYTECODE;
            break;
        case OP_EQ: case OP_LT: case OP_LE:
            if (!rk(b) || !rk(c) || !condjump(pc)) return ERR_BADBYTECODE;
            break;
        case OP_TEST:
            if (!reg(a) || !reg(b) || !condjump(pc)) return ERR_BADBYTECODE;
            break;
        case OP_CALL: case OP_CALLC: case OP_TAILCALL: case OP_TAILCALLC:
            if (!reg(a) || (b != 0 && a + b > maxstack) || a + (c > 1 ? c - 1 : 1) > maxstack)
                return ERR_BADBYTECODE;
            if ((op == OP_TAILCALL || op == OP_TAILCALLC) && pc + 1 >= sizecode) return ERR_BADBYTECODE;
            break;
        case OP_RETURN:
            if (c != 1 && (!reg(a) || (b != 0 && a + b - 1 > maxstack))) return ERR_BADBYTECODE;
            break;
        case OP_FORLOOP:
            if (!reg(a) || a + 2 >= maxstack || !target(static_cast<int64_t>(pc) + 1 + GETARG_sBx(i)))
                return ERR_BADBYTECODE;
            break;
        case OP_TFORLOOP: {
            int nvar = c + 1;
            // generator, state, control, the variables, then the call area
            if (!reg(a) || a + 2 + nvar + (nvar > 3 ? nvar : 3) > maxstack || !condjump(pc))
                return ERR_BADBYTECODE;
            break;
        }
        case OP_TFORPREP:
            if (!reg(a) || a + 1 >= maxstack || !target(static_cast<int64_t>(pc) + 1 + GETARG_sBx(i)))
                return ERR_BADBYTECODE;
            break;
        case OP_SETLIST: {
            int n = (GETARG_Bx(i) & (LFIELDS_PER_FLUSH - 1)) + 1;
            if (!reg(a) || a + n >= maxstack) return ERR_BADBYTECODE;
            break;
        }
        case OP_SETLISTO:
        case OP_CLOSE:
            if (!reg(a)) return ERR_BADBYTECODE;
            break;
        case OP_CLOSURE: {
            int bx = GETARG_Bx(i);
            if (!reg(a) || bx >= f->sizep) return ERR_BADBYTECODE;
            int nup = f->p[bx]->nups;
            if (pc + nup + 1 >= sizecode) return ERR_BADBYTECODE;
            for (int j = 1; j <= nup; j++) {
                Instruction u = f->code[pc + j];
                int uop = GET_OPCODE(u);
                if (uop == OP_GETUPVAL) {
                    if (GETARG_B(u) >= f->nups) return ERR_BADUPVALUES;
                } else if (uop == OP_MOVE) {
                    if (!reg(GETARG_B(u))) return ERR_BADUPVALUES;
                } else {
                    return ERR_BADUPVALUES;
                }
            }
            break;
        }
        case OP_SELF:
            if (!reg(a) || a + 1 >= maxstack || !reg(b) || !rk(c)) return ERR_BADBYTECODE;
            if (ISK(c) && !isstrk(c - MAXSTACK)) return ERR_BADBYTECODE;
            break;
        default:
            break; // opcodes above 44 do nothing
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------

int luaU_dump(lua_State *L, const Proto *f, lua_Chunkwriter w, void *data, const DumpOptions &opt) {
    DumpState D{L, w, data, opt};
    if (D.opt.sizeT != 4 && D.opt.sizeT != 8) D.opt.sizeT = 4;
    dumpBlock(D, kSignature, 4);
    dumpByte(D, kVersion);
    dumpByte(D, D.opt.bigEndian ? 0 : 1);
    dumpByte(D, 4);
    dumpByte(D, D.opt.sizeT);
    dumpByte(D, 4);
    dumpByte(D, SIZE_OP);
    dumpByte(D, SIZE_A);
    dumpByte(D, SIZE_B);
    dumpByte(D, SIZE_C);
    dumpByte(D, 8);
    dumpNumber(D, kTestNumber);
    dumpFunction(D, f, nullptr);
    return D.status;
}

Proto *luaU_undump(lua_State *L, lua_Chunkreader reader, void *data, const char *name) {
    (void)name;
    std::vector<unsigned char> buf;
    try {
        for (;;) {
            size_t size = 0;
            const char *piece = reader(L, data, &size);
            if (piece == nullptr || size == 0) break;
            if (size > kMaxChunk - buf.size()) luaG_runerror(L, ERR_MEM);
            buf.insert(buf.end(), piece, piece + size);
        }
    } catch (const std::bad_alloc &) {
        luaG_runerror(L, ERR_MEM);
    }
    LoadState S{L, buf.data(), buf.data() + buf.size(), false, false, 4};
    loadHeader(S);
    Proto *f = loadFunction(S, nullptr, 0);
    if (f->nups != 0) loadError(L, ERR_BADUPVALUES); // a main function has no upvalues
    if (f->source == nullptr) f->source = luaS_new(L, name && *name ? name : "=?");
    return f;
}

// ---------------------------------------------------------------------------

extern "C" int lua_load(lua_State *L, lua_Chunkreader reader, void *data, const char *chunkname) {
    luaC_checkGC(L);
    if (L->stack_last - L->top <= 1) return ERR_STACK;
    int code = 0;
    StkId top = L->top;
    L->nprotected++;
    try {
        Proto *f = luaU_undump(L, reader, data, chunkname);
        LClosure *cl = luaF_newLclosure(L, 0, hvalue(gt(L)));
        cl->p = f;
        setclvalue(L->top, cl);
        L->top++;
    } catch (const LuaError &e) {
        code = e.code;
        L->top = top;
    } catch (const std::bad_alloc &) {
        code = ERR_MEM;
        L->top = top;
    }
    L->nprotected--;
    return code;
}

extern "C" int lua_dump(lua_State *L, int idx, lua_Chunkwriter writer, void *data) {
    int t = lua_type(L, idx);
    if (t != LUA_TFUNCTION || lua_iscfunction(L, idx)) return ERR_NOCXFUNC;
    lua_pushvalue(L, idx);
    const Proto *f = static_cast<LClosure *>(clvalue(L->top - 1))->p;
    DumpOptions opt;
    opt.bigEndian = !hostLittleEndian();
    int status = luaU_dump(L, f, writer, data, opt);
    lua_pop(L, 1);
    return status;
}
