// Chunk loader and writer: a hand-typed golden chunk in both byte orders,
// one fault per loader error code, round trips through the writer.
#include <cstring>

#include "tests/engine/vm/vm_test_util.h"

using namespace vmtest;

namespace {

// "=golden": R0 = 40; R0 = R0 + 2; return R0. Little-endian, 4-byte sizes.
const std::vector<uint8_t> kGolden = {
    0x1B, 'C', 'X', 'B',                                  // signature
    0x50,                                                 // version
    0x01,                                                 // little-endian
    4, 4, 4,                                              // int, size field, instruction
    6, 8, 9, 9,                                           // opcode, A, B, C bits
    8,                                                    // number size
    0xb6, 0x09, 0x93, 0x68, 0xe7, 0xf5, 0x7d, 0x41,       // 31415926.535897933
    8, 0, 0, 0, '=', 'g', 'o', 'l', 'd', 'e', 'n', 0,     // source
    0, 0, 0, 0,                                           // line defined
    0, 0, 0, 2,                                           // nups, params, vararg, frame size
    3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0,       // line info
    0, 0, 0, 0,                                           // locals
    0, 0, 0, 0,                                           // upvalue names
    2, 0, 0, 0,                                           // constants
    3, 0, 0, 0, 0, 0, 0, 0x44, 0x40,                      //   40
    3, 0, 0, 0, 0, 0, 0, 0x00, 0x40,                      //   2
    0, 0, 0, 0,                                           // nested functions
    3, 0, 0, 0,                                           // code
    0x01, 0x00, 0x00, 0x00,                               //   LOADK 0 0
    0xCB, 0x3E, 0x00, 0x00,                               //   ADD 0 0 K1
    0x22, 0x00, 0x01, 0x00,                               //   RETURN 0 2
};

// The same function, big-endian.
const std::vector<uint8_t> kGoldenBig = {
    0x1B, 'C', 'X', 'B',
    0x50,
    0x00,
    4, 4, 4,
    6, 8, 9, 9,
    8,
    0x41, 0x7d, 0xf5, 0xe7, 0x68, 0x93, 0x09, 0xb6,
    0, 0, 0, 8, '=', 'g', 'o', 'l', 'd', 'e', 'n', 0,
    0, 0, 0, 0,
    0, 0, 0, 2,
    0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2,
    0, 0, 0, 0,
    0, 0, 0, 0,
    0, 0, 0, 2,
    3, 0x40, 0x44, 0, 0, 0, 0, 0, 0,
    3, 0x40, 0x00, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0,
    0, 0, 0, 3,
    0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x3E, 0xCB,
    0x00, 0x01, 0x00, 0x22,
};

int writeVector(lua_State *, const void *p, size_t n, void *ud) {
    auto *v = static_cast<std::vector<uint8_t> *>(ud);
    v->insert(v->end(), static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + n);
    return 0;
}

struct Chunk : VMTest {};

TEST_F(Chunk, GoldenChunkLoadsAndRunsInBothByteOrders) {
    for (const auto *bytes : {&kGolden, &kGoldenBig}) {
        for (size_t piece : {size_t(1), size_t(5), size_t(4096)}) {
            ASSERT_EQ(load(L, *bytes, piece), 0);
            ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
            EXPECT_EQ(lua_tonumber(L, -1), 42);
            lua_settop(L, 0);
        }
    }
}

TEST_F(Chunk, WriterReproducesTheGoldenChunk) {
    ASSERT_EQ(load(L, kGoldenBig), 0);
    std::vector<uint8_t> out;
    ASSERT_EQ(lua_dump(L, -1, writeVector, &out), 0);
    EXPECT_EQ(out, kGolden);
    lua_pushcfunction(L, [](lua_State *) -> int { return 0; });
    EXPECT_EQ(lua_dump(L, -1, writeVector, &out), ERR_NOCXFUNC);
}

TEST_F(Chunk, EachFaultHasItsOwnCode) {
    struct Case {
        const char *what;
        size_t offset;
        std::vector<uint8_t> bytes;
        int code;
    } cases[] = {
        {"signature", 1, {'Y'}, ERR_BADSIGNATURE},
        {"version", 4, {0x51}, ERR_BADSIGNATURE},
        {"endianness byte", 5, {2}, ERR_VMMISMATCH},
        {"int size", 6, {8}, ERR_VMMISMATCH},
        {"size field", 7, {5}, ERR_VMMISMATCH},
        {"opcode bits", 9, {7}, ERR_VMMISMATCH},
        {"number size", 13, {4}, ERR_VMMISMATCH},
        {"test number", 14, {0}, ERR_UNKNUMFMT},
        {"negative line count", 42, {0xFF, 0xFF, 0xFF, 0xFF}, ERR_BADINTEGER},
        {"constant count beyond the input", 66, {0xFF, 0xFF, 0xFF, 0x7F}, ERR_UNEXPECTEDEOF},
        {"source longer than the input", 22, {0xFF, 0xFF, 0, 0}, ERR_UNEXPECTEDEOF},
        {"upvalue names without upvalues", 62, {1}, ERR_BADUPVALUES},
        {"main function with upvalues", 38, {1}, ERR_BADUPVALUES},
        {"constant type", 70, {7}, ERR_BADCONSTANT},
        {"register beyond the frame", 100, {0x4B, 0x3E}, ERR_BADBYTECODE},
        {"constant index beyond the table", 97, {0x01}, ERR_BADBYTECODE},
        {"code not ending in RETURN", 104, {0x00, 0x00, 0x00, 0x00}, ERR_BADBYTECODE},
        {"frame size too big", 41, {251}, ERR_BADBYTECODE},
        {"line info not matching the code", 42, {2}, ERR_UNEXPECTEDEOF},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = kGolden;
        memcpy(bad.data() + c.offset, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(load(L, bad), c.code) << c.what;
        EXPECT_EQ(lua_gettop(L), 0) << c.what;
    }
    for (size_t n = 0; n < kGolden.size(); n++) {
        std::vector<uint8_t> cut(kGolden.begin(), kGolden.begin() + static_cast<long>(n));
        EXPECT_EQ(load(L, cut), ERR_UNEXPECTEDEOF) << n;
    }
    // text is not a chunk: the player does not compile
    std::vector<uint8_t> text = {'p', 'r', 'i', 'n', 't'};
    EXPECT_EQ(load(L, text), ERR_BADSIGNATURE);
}

TEST_F(Chunk, VerifierRejectsUnsafeCode) {
    using cxasm::FunctionBuilder;
    struct Case {
        const char *what;
        void (*build)(FunctionBuilder &);
        int code;
    } cases[] = {
        {"jump out of the code", [](FunctionBuilder &f) { f.jmpRaw(5); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"conditional without a jump", [](FunctionBuilder &f) {
             f.abc(OP_EQ, 0, 0, 1); f.abc(OP_MOVE, 0, 1); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"conditional skipping the last RETURN", [](FunctionBuilder &f) {
             f.abc(OP_TEST, 0, 0, 0); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"upvalue beyond the closure", [](FunctionBuilder &f) { f.abc(OP_GETUPVAL, 0, 0); f.abc(OP_RETURN, 0, 1); }, ERR_BADUPVALUES},
        {"closure without its upvalue instructions", [](FunctionBuilder &f) {
             f.child().nups(1).abc(OP_RETURN, 0, 1);
             f.abx(OP_CLOSURE, 0, 0); f.abc(OP_LOADNIL, 0, 0); f.abc(OP_RETURN, 0, 1); }, ERR_BADUPVALUES},
        {"closure of a missing prototype", [](FunctionBuilder &f) { f.abx(OP_CLOSURE, 0, 0); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"global name that is no string", [](FunctionBuilder &f) { f.abx(OP_GETGLOBAL, 0, f.k(1.0)); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"call beyond the frame", [](FunctionBuilder &f) { f.maxstack(4); f.abc(OP_CALL, 2, 5, 1); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"SETLIST beyond the frame", [](FunctionBuilder &f) { f.maxstack(4); f.abx(OP_SETLIST, 0, 31); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"generic for beyond the frame", [](FunctionBuilder &f) {
             f.maxstack(6); f.abc(OP_TFORLOOP, 0, 0, 2); f.jmpRaw(-2); f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
        {"nested function with a bad register", [](FunctionBuilder &f) {
             FunctionBuilder &c = f.child().maxstack(2);
             c.abc(OP_MOVE, 5, 0);
             c.abc(OP_RETURN, 0, 1);
             f.abc(OP_RETURN, 0, 1); }, ERR_BADBYTECODE},
    };
    for (const Case &c : cases) {
        FunctionBuilder f;
        c.build(f);
        EXPECT_EQ(load(L, cxasm::assemble(f)), c.code) << c.what;
    }
}

TEST_F(Chunk, EightByteSizeFieldsAndNestedFunctionsRoundTrip) {
    const char *src = R"(
.source "=nested"
        CLOSURE 0 inner
        LOADK 1 "abc"
        CALL 0 2 2
        RETURN 0 2
.function inner
.params 1
.line 12
        MOVE 1 0
        LOADK 2 "!"
        CONCAT 0 1 2
        RETURN 0 2
.end
)";
    for (int sizeT : {4, 8}) {
        for (bool big : {false, true}) {
            cxasm::ChunkOptions opt;
            opt.sizeT = sizeT;
            opt.bigEndian = big;
            std::vector<uint8_t> chunk = cxasm::assembleText(src, opt);
            ASSERT_EQ(load(L, chunk), 0);
            std::vector<uint8_t> again;
            ASSERT_EQ(lua_dump(L, -1, writeVector, &again), 0);
            ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
            EXPECT_STREQ(lua_tostring(L, -1), "abc!");
            lua_settop(L, 0);
            ASSERT_EQ(load(L, again), 0);
            ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
            EXPECT_STREQ(lua_tostring(L, -1), "abc!");
            lua_settop(L, 0);
        }
    }
}

} // namespace

// The loader rewrites code into the interpreter's internal forms; a dump
// writes every word as it was loaded, unknown opcodes included, and the
// rewritten code runs as the original would.
TEST_F(Chunk, DumpsKeepTheLoadedWordsOfRewrittenCode) {
    const char *src = R"(
.source "=forms"
        NEWTABLE 0 0 2
        SETTABLE 0 "x" #40
        SETTABLE 0 r0 #1
        GETTABLE 1 0 "x"
        LOADK 2 #2
        ADD 1 1 r2
        ADD 1 1 #0
        ADD 1 #1 r1
        SUB 1 1 #0
        SUB 1 1 r2
        MUL 1 1 #1
        MUL 1 1 r2
        WORD 0x0000002D
        WORD 0x00000035
        WORD 0x0000003F
        CLOSURE 3 half
        SETTABLE 0 "half" r3
        SELF 3 0 "half"
        MOVE 5 1
        CALL 3 3 2
        RETURN 3 2
.function half
.params 2
        GETTABLE 2 0 "x"
        DIV 2 1 #2
        WORD 0x0100002E
        RETURN 2 2
.end
)";
    const std::vector<uint8_t> chunk = cxasm::assembleText(src);
    ASSERT_EQ(load(L, chunk), 0);
    std::vector<uint8_t> out;
    ASSERT_EQ(lua_dump(L, -1, writeVector, &out), 0);
    EXPECT_EQ(out, chunk);
    // ((40 + 2 + 0 + 1 - 0 - 2) * 1) * 2 = 82, halved
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 41);
}
