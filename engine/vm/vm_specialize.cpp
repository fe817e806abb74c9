// Load-time rewriting of verified code into the interpreter's internal
// opcodes (operand kinds fixed in the opcode), and the way back for dumps.
#include "engine/vm/vm_internal.h"

namespace {

// The public opcode behind each internal one.
constexpr int kPublic[int(OPX_FIRST_FREE) - int(NUM_OPCODES)] = {
    OP_ADD, OP_ADD, OP_SUB, OP_SUB, OP_MUL, OP_MUL, OP_GETTABLE, OP_SETTABLE, OP_SELF, OP_GETTABLE, OP_SETTABLE,
    OP_EQ,  OP_EQ,  OP_LT,  OP_LT,  OP_LE,  OP_LE,  OP_RETURN,
};

Instruction withOpcode(Instruction i, int op) { return (i & ~Instruction(0x3F)) | Instruction(op); }

bool isStringConstant(const Proto *f, int rk) {
    return ISK(rk) && rk - MAXSTACK < f->sizek && ttisstring(&f->k[rk - MAXSTACK]);
}

// The internal form of one verified instruction, or the instruction itself.
Instruction specialized(const Proto *f, Instruction i) {
    const int op = GET_OPCODE(i);
    const int b = GETARG_B(i), c = GETARG_C(i);
    switch (op) {
    case OP_ADD:
    case OP_SUB:
    case OP_MUL: {
        if (ISK(b)) return i;
        const int rr = op == OP_ADD ? OPX_ADD_RR : op == OP_SUB ? OPX_SUB_RR : OPX_MUL_RR;
        return withOpcode(i, ISK(c) ? rr + 1 : rr);
    }
    case OP_EQ:
    case OP_LT:
    case OP_LE: {
        if (ISK(b)) return i;
        const int rr = op == OP_EQ ? OPX_EQ_RR : op == OP_LT ? OPX_LT_RR : OPX_LE_RR;
        return withOpcode(i, ISK(c) ? rr + 1 : rr);
    }
    case OP_RETURN:
        return b != 0 && c != 1 ? withOpcode(i, OPX_RETURNN) : i;
    case OP_GETTABLE:
        if (isStringConstant(f, c)) return withOpcode(i, OPX_GETFIELD);
        return ISK(c) ? i : withOpcode(i, OPX_GETINDEX);
    case OP_SETTABLE:
        if (isStringConstant(f, b)) return withOpcode(i, OPX_SETFIELD);
        return ISK(b) ? i : withOpcode(i, OPX_SETINDEX);
    case OP_SELF:
        return ISK(c) ? withOpcode(i, OPX_SELFK) : i;
    default:
        return op >= NUM_OPCODES ? withOpcode(i, OPX_NOP) : i;
    }
}

}  // namespace

int luaV_publicop(int op) {
    if (op >= NUM_OPCODES && op < OPX_FIRST_FREE) return kPublic[op - NUM_OPCODES];
    return op;
}

void luaV_specialize(lua_State *L, Proto *f) {
    // Unknown opcodes that collide with internal ones lose their bits when
    // they become OPX_NOP: such code keeps its loaded words for dumping.
    bool keep = false;
    for (int pc = 0; pc < f->sizecode; pc++) {
        const int op = GET_OPCODE(f->code[pc]);
        if (op >= NUM_OPCODES && op != OPX_NOP) keep = true;
    }
    if (keep) {
        f->loadcode = luaM_newvector<Instruction>(L, static_cast<size_t>(f->sizecode));
        for (int pc = 0; pc < f->sizecode; pc++) f->loadcode[pc] = f->code[pc];
    }
    for (int pc = 0; pc < f->sizecode; pc++) f->code[pc] = specialized(f, f->code[pc]);
    f->specialized = 1;
}

Instruction luaV_loadedword(const Proto *f, int pc) {
    // Prototypes built in memory (the test assembler's) hold public code.
    if (!f->specialized) return f->code[pc];
    if (f->loadcode) return f->loadcode[pc];
    const Instruction i = f->code[pc];
    return withOpcode(i, luaV_publicop(GET_OPCODE(i)));
}
