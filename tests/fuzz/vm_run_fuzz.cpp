// Load-then-run over generated chunks: the input drives a generator that
// writes functions (nested closures, constants, any opcode with operands
// mostly in range) with the project's assembler; whatever the verifier
// accepts runs under an instruction budget, with commands that collect
// garbage and return open results. A chunk the loader accepts must not
// corrupt memory.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"
#include "tools/cxasm/asm_builder.h"

namespace {

struct Input {
    const uint8_t *p;
    size_t n;
    size_t at = 0;
    uint8_t Next() { return at < n ? p[at++] : 0; }
    bool Done() const { return at >= n; }
};

void Generate(cxasm::FunctionBuilder &f, Input &in, int depth) {
    const int maxstack = 2 + in.Next() % 24;
    f.maxstack(maxstack);
    const int params = in.Next() % 3;
    f.params(params);
    if (in.Next() & 1) f.vararg();
    const int children = depth < 2 ? in.Next() % 3 : 0;
    for (int c = 0; c < children; c++) Generate(f.child(), in, depth + 1);
    std::vector<int> numbers, strings;
    const int nk = 1 + in.Next() % 4;
    for (int i = 0; i < nk; i++) {
        numbers.push_back(f.k(static_cast<double>(static_cast<int8_t>(in.Next()))));
        static const char *const names[] = {"collect", "many", "none", "x", "y", "t", "", "k"};
        strings.push_back(f.k(names[in.Next() % 8]));
    }
    auto reg = [&] { return in.Next() % maxstack; };
    auto rk = [&] {
        const uint8_t b = in.Next();
        if (b & 0x80) return MAXSTACK + ((b & 1) ? strings[b % strings.size()] : numbers[b % numbers.size()]);
        return b % maxstack;
    };
    const int count = 1 + in.Next() % 48;
    for (int n = 0; n < count && !in.Done(); n++) {
        const int op = in.Next() % NUM_OPCODES;
        switch (op) {
        // Jumps go forward only: a loop could double a string each turn and
        // exhaust memory long before the instruction budget ends it.
        case OP_JMP: f.jmpRaw(in.Next() % 8, in.Next() % 2); break;
        case OP_NEWTABLE: f.abc(op, reg(), in.Next() % 48, in.Next() % 12); break;
        case OP_LOADK: f.abx(op, reg(), (in.Next() & 1) ? numbers[0] : strings[0]); break;
        case OP_GETGLOBAL:
        case OP_SETGLOBAL: f.abx(op, reg(), strings[in.Next() % strings.size()]); break;
        case OP_CLOSURE:
            if (children) f.abx(op, reg(), in.Next() % children);
            break;
        case OP_FORLOOP:
        case OP_TFORPREP: f.asbxRaw(op, reg(), in.Next() % 6); break;
        case OP_SETLIST:
        case OP_SETLISTO: f.abx(op, reg(), in.Next() % 40); break;
        case OP_CALL:
        case OP_TAILCALL:
        case OP_RETURN: f.abc(op, reg(), in.Next() % 5, in.Next() % 4); break;
        default: f.abc(op, reg(), rk(), rk()); break;
        }
    }
    f.abc(OP_RETURN, 0, 1);
}

int g_budget;
int CountHook(lua_State *, lua_Debug *, int *code) {
    if (--g_budget <= 0) *code = ERR_USERABORT;
    return 0;
}

struct Reader {
    const std::vector<uint8_t> *bytes;
    bool done = false;
};

const char *ReadAll(lua_State *, void *ud, size_t *size) {
    auto *r = static_cast<Reader *>(ud);
    *size = r->done ? 0 : r->bytes->size();
    if (r->done) return nullptr;
    r->done = true;
    return reinterpret_cast<const char *>(r->bytes->data());
}

lua_State *State() {
    static lua_State *L = [] {
        lua_State *s = lua_open();
        lua_register(s, "collect", [](lua_State *S) -> int {
            lua_setgcthreshold(S, 0);
            return 0;
        });
        lua_register(s, "many", [](lua_State *S) -> int {
            const int n = lua_gettop(S) % 6;
            for (int i = 0; i < n; i++) lua_newtable(S);
            return n;
        });
        lua_register(s, "none", [](lua_State *) -> int { return 0; });
        return s;
    }();
    return L;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    cxasm::FunctionBuilder main("=gen");
    std::vector<uint8_t> chunk;
    try {
        Generate(main, in, 0);
        chunk = cxasm::assemble(main);
    } catch (const std::exception &) {
        return 0;
    }
    lua_State *L = State();
    lua_settop(L, 0);
    Reader reader{&chunk};
    if (lua_load(L, ReadAll, &reader, "=gen") == 0) {
        g_budget = 100;
        lua_sethook(L, CountHook, LUA_MASKCOUNT, 100);
        lua_pcall(L, 0, 0, 0);
        lua_sethook(L, nullptr, 0, 0);
    }
    lua_settop(L, 0);
    static int runs;
    if (++runs % 64 == 0) lua_setgcthreshold(L, 0);
    return 0;
}
