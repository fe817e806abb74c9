// Test assembler: prototype builder and chunk output.
#include "tools/cxasm/asm_builder.h"

#include <stdexcept>

namespace cxasm {

FunctionBuilder::FunctionBuilder(std::string source) : source_(std::move(source)) {}

FunctionBuilder &FunctionBuilder::source(const std::string &name) {
    source_ = name;
    return *this;
}
FunctionBuilder &FunctionBuilder::params(int n) {
    params_ = n;
    touch(n - 1 + (vararg_ ? 1 : 0));
    return *this;
}
FunctionBuilder &FunctionBuilder::vararg(bool on) {
    vararg_ = on;
    touch(params_);
    return *this;
}
FunctionBuilder &FunctionBuilder::maxstack(int n) {
    maxstack_ = n;
    return *this;
}
FunctionBuilder &FunctionBuilder::lineDefined(int l) {
    lineDefined_ = l;
    return *this;
}
FunctionBuilder &FunctionBuilder::line(int l) {
    line_ = l;
    return *this;
}
FunctionBuilder &FunctionBuilder::noLineInfo(bool on) {
    noLines_ = on;
    return *this;
}
FunctionBuilder &FunctionBuilder::upvalues(const std::vector<std::string> &names) {
    upnames_ = names;
    nups_ = static_cast<int>(names.size());
    return *this;
}
FunctionBuilder &FunctionBuilder::nups(int n) {
    nups_ = n;
    return *this;
}
FunctionBuilder &FunctionBuilder::local(const std::string &name, int startpc, int endpc) {
    locals_.push_back({name, startpc, endpc});
    return *this;
}

int FunctionBuilder::k(double n) {
    for (size_t i = 0; i < consts_.size(); i++)
        if (consts_[i].type == LUA_TNUMBER && consts_[i].n == n) return static_cast<int>(i);
    consts_.push_back({LUA_TNUMBER, n, {}});
    return static_cast<int>(consts_.size()) - 1;
}
int FunctionBuilder::k(const std::string &s) {
    for (size_t i = 0; i < consts_.size(); i++)
        if (consts_[i].type == LUA_TSTRING && consts_[i].s == s) return static_cast<int>(i);
    consts_.push_back({LUA_TSTRING, 0, s});
    return static_cast<int>(consts_.size()) - 1;
}
int FunctionBuilder::knil() {
    for (size_t i = 0; i < consts_.size(); i++)
        if (consts_[i].type == LUA_TNIL) return static_cast<int>(i);
    consts_.push_back({LUA_TNIL, 0, {}});
    return static_cast<int>(consts_.size()) - 1;
}

Label FunctionBuilder::label() {
    labels_.push_back(-1);
    return Label{static_cast<int>(labels_.size()) - 1};
}
void FunctionBuilder::bind(Label l) { labels_.at(static_cast<size_t>(l.id)) = pc(); }
int FunctionBuilder::position(Label l) const { return labels_.at(static_cast<size_t>(l.id)); }
Label FunctionBuilder::here() {
    Label l = label();
    bind(l);
    return l;
}

void FunctionBuilder::touch(int reg) {
    if (reg >= 0 && reg < MAXSTACK && reg + 1 > maxreg_) maxreg_ = reg + 1;
}

int FunctionBuilder::word(uint32_t w) {
    code_.push_back(w);
    lines_.push_back(line_);
    return pc() - 1;
}

int FunctionBuilder::abc(int op, int a, int b, int c) {
    touch(a);
    switch (op) {
    case OP_MOVE: case OP_LOADNIL: case OP_UNM: case OP_NOT: case OP_BNOT: case OP_TEST: case OP_GETTABLE:
    case OP_SELF:
        touch(b);
        break;
    case OP_CONCAT: touch(c); break;
    case OP_CALL: case OP_CALLC: case OP_TAILCALL: case OP_TAILCALLC:
        touch(a + (b > 0 ? b - 1 : 0));
        touch(a + (c > 1 ? c - 2 : 0));
        break;
    default:
        if (b < MAXSTACK && op != OP_LOADBOOL && op != OP_NEWTABLE && op != OP_GETUPVAL && op != OP_SETUPVAL &&
            op != OP_RETURN && op != OP_EQ && op != OP_LT && op != OP_LE)
            touch(b);
        if (c < MAXSTACK && op != OP_LOADBOOL && op != OP_NEWTABLE && op != OP_RETURN) touch(c);
    }
    if (op == OP_SELF) touch(a + 1);
    if (op == OP_FORLOOP) touch(a + 2);
    if (op == OP_TFORLOOP) touch(a + 2 + c + 1 + (c + 1 > 3 ? c + 1 : 3) - 1);
    if (op == OP_EQ || op == OP_LT || op == OP_LE) {
        // A is the expected outcome, not a register
        if (b < MAXSTACK) touch(b);
        if (c < MAXSTACK) touch(c);
    }
    return word(CREATE_ABC(op, a, b, c));
}

int FunctionBuilder::abx(int op, int a, int bx) {
    touch(a);
    if (op == OP_SETLIST) touch(a + (bx & (LFIELDS_PER_FLUSH - 1)) + 1);
    return word(CREATE_ABx(op, a, bx));
}

int FunctionBuilder::jmp(Label target, bool gosub) {
    int at = word(CREATE_JMP(0, gosub ? JMP_GOSUB : 0));
    fixups_.push_back({at, target.id, true});
    return at;
}

int FunctionBuilder::jmpRaw(int offset, int mode) { return word(CREATE_JMP(offset, mode)); }

int FunctionBuilder::asbx(int op, int a, Label target) {
    int at = abx(op, a, MAXARG_sBx);
    if (op == OP_FORLOOP) touch(a + 2);
    if (op == OP_TFORPREP) touch(a + 1);
    fixups_.push_back({at, target.id, false});
    return at;
}

int FunctionBuilder::asbxRaw(int op, int a, int sbx) { return abx(op, a, sbx + MAXARG_sBx); }

FunctionBuilder &FunctionBuilder::child(const std::string &source) {
    children_.push_back(std::make_unique<FunctionBuilder>(source));
    return *children_.back();
}

Proto *FunctionBuilder::build(lua_State *L, Proto *parent) const {
    Proto *f = luaF_newproto(L);
    if (!source_.empty())
        f->source = luaS_new(L, source_.c_str());
    else
        f->source = parent ? parent->source : luaS_new(L, "=asm");
    f->lineDefined = lineDefined_;
    f->nups = static_cast<uint8_t>(nups_);
    f->numparams = static_cast<uint8_t>(params_);
    f->is_vararg = vararg_ ? 1 : 0;
    int ms = maxstack_ >= 0 ? maxstack_ : (maxreg_ < 2 ? 2 : maxreg_);
    f->maxstacksize = static_cast<uint8_t>(ms);

    std::vector<uint32_t> code = code_;
    for (const Fixup &fx : fixups_) {
        if (fx.label < 0 || labels_[static_cast<size_t>(fx.label)] < 0)
            throw std::runtime_error("label used but never bound");
        int offset = labels_[static_cast<size_t>(fx.label)] - (fx.pc + 1);
        uint32_t &w = code[static_cast<size_t>(fx.pc)];
        if (fx.jmpfield)
            w = CREATE_JMP(offset, GETARG_JMODE(w));
        else
            w = CREATE_ABx(GET_OPCODE(w), GETARG_A(w), offset + MAXARG_sBx);
    }
    f->code = luaM_newvector<Instruction>(L, code.size());
    f->sizecode = static_cast<int>(code.size());
    for (size_t i = 0; i < code.size(); i++) f->code[i] = code[i];
    if (!noLines_) {
        f->lineinfo = luaM_newvector<int>(L, lines_.size());
        f->sizelineinfo = static_cast<int>(lines_.size());
        for (size_t i = 0; i < lines_.size(); i++) f->lineinfo[i] = lines_[i];
    }
    f->k = luaM_newvector<TObject>(L, consts_.size());
    f->sizek = static_cast<int>(consts_.size());
    for (size_t i = 0; i < consts_.size(); i++) {
        const Const &c = consts_[i];
        if (c.type == LUA_TNUMBER)
            setnvalue(&f->k[i], c.n);
        else if (c.type == LUA_TSTRING)
            setsvalue(&f->k[i], luaS_newlstr(L, c.s.data(), c.s.size()));
        else
            setnilvalue(&f->k[i]);
    }
    f->upvalues = luaM_newvector<TString *>(L, upnames_.size());
    f->sizeupvalues = static_cast<int>(upnames_.size());
    for (size_t i = 0; i < upnames_.size(); i++) f->upvalues[i] = luaS_new(L, upnames_[i].c_str());
    f->locvars = luaM_newvector<LocVar>(L, locals_.size());
    f->sizelocvars = static_cast<int>(locals_.size());
    for (size_t i = 0; i < locals_.size(); i++)
        f->locvars[i] = LocVar{luaS_new(L, locals_[i].name.c_str()), locals_[i].startpc, locals_[i].endpc};
    f->p = luaM_newvector<Proto *>(L, children_.size());
    for (size_t i = 0; i < children_.size(); i++) f->p[i] = nullptr;
    f->sizep = static_cast<int>(children_.size());
    for (size_t i = 0; i < children_.size(); i++) f->p[i] = children_[i]->build(L, f);
    return f;
}

namespace {
int vectorWriter(lua_State *, const void *p, size_t size, void *ud) {
    auto *out = static_cast<std::vector<uint8_t> *>(ud);
    const auto *b = static_cast<const uint8_t *>(p);
    out->insert(out->end(), b, b + size);
    return 0;
}
} // namespace

std::vector<uint8_t> assemble(const FunctionBuilder &main, const ChunkOptions &opt) {
    lua_State *L = lua_open();
    if (!L) throw std::runtime_error("out of memory");
    std::vector<uint8_t> out;
    L->nprotected++;
    try {
        Proto *f = main.build(L, nullptr);
        DumpOptions d;
        d.bigEndian = opt.bigEndian;
        d.sizeT = opt.sizeT;
        luaU_dump(L, f, vectorWriter, &out, d);
    } catch (const LuaError &e) {
        L->nprotected--;
        lua_close(L);
        throw std::runtime_error("assembler error " + std::to_string(e.code));
    } catch (...) {
        L->nprotected--;
        lua_close(L);
        throw;
    }
    L->nprotected--;
    lua_close(L);
    return out;
}

} // namespace cxasm
