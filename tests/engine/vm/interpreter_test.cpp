// The interpreter through assembled chunks: build -> dump -> load -> run.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "tests/engine/vm/vm_test_util.h"

using namespace vmtest;
using cxasm::FunctionBuilder;

namespace {

struct Interp : VMTest {
    // Runs "R0 = RK(b) op RK(c); return R0"; the number, or NaN with code.
    double binary(int op, double b, double c, int *code = nullptr) {
        FunctionBuilder f;
        f.abc(op, 0, f.K(b), f.K(c));
        f.abc(OP_RETURN, 0, 2);
        f.abc(OP_RETURN, 0, 1);
        int r = run(L, f, 1);
        if (code) *code = r;
        if (r) return std::nan("");
        double v = lua_tonumber(L, -1);
        lua_settop(L, 0);
        return v;
    }
};

TEST_F(Interp, IntegerAndBitwiseArithmetic) {
    struct Case {
        int op;
        double b, c, want;
    } cases[] = {
        {OP_IDIV, -7, 2, -3},         {OP_MOD, -7, 2, -1},          {OP_IDIV, 7, -2, -3},
        {OP_MOD, 7, -2, 1},           {OP_IDIV, -2147483648.0, -1, 2147483648.0},
        {OP_BOR, -1, 0, 4294967295.0}, {OP_BAND, -1, 255, 255},     {OP_BXOR, 5, 3, 6},
        {OP_SHL, 1, 32, 0},           {OP_SHL, 1, 31, 2147483648.0}, {OP_SHR, -1, 28, 15},
        {OP_SHR, 1, 255, 0},          {OP_SHL, 1, 256, 1},          {OP_SHL, 3, -1, 0},
        {OP_ADD, 1.5, 2, 3.5},        {OP_SUB, 1, 3, -2},           {OP_MUL, 4, 2.5, 10},
        {OP_DIV, 7, 2, 3.5},          {OP_POW, 2, 10, 1024},        {OP_BOR, 1e12, 0, 4294967295.0},
        {OP_BOR, std::nan(""), 0, 0},
    };
    for (const Case &c : cases) {
        int code = 0;
        double v = binary(c.op, c.b, c.c, &code);
        EXPECT_EQ(code, 0) << "op " << c.op;
        EXPECT_EQ(v, c.want) << "op " << c.op << " " << c.b << " " << c.c;
    }
    for (int op : {OP_DIV, OP_IDIV, OP_MOD}) {
        int code = 0;
        binary(op, 1, 0, &code);
        EXPECT_EQ(code, ERR_ZERODIVISION) << op;
    }
    int code = 0;
    binary(OP_IDIV, 5, 0.5, &code); // truncated to 0
    EXPECT_EQ(code, ERR_ZERODIVISION);
}

TEST_F(Interp, UnaryOperatorsAndTheTruthRule) {
    struct Case {
        int op;
        int kind; // 0 number, 1 string, 2 nil
        double n;
        const char *s;
        double want;
    } cases[] = {
        {OP_BNOT, 0, 0, "", 4294967295.0}, {OP_BNOT, 0, 4294967295.0, "", 0}, {OP_BNOT, 1, 0, "5", 4294967290.0},
        {OP_NOT, 0, 0, "", 1},             {OP_NOT, 1, 0, "", 1},             {OP_NOT, 1, 0, "0", 0},
        {OP_NOT, 2, 0, "", 1},             {OP_NOT, 0, -1, "", 0},            {OP_UNM, 1, 0, "2.5", -2.5},
        {OP_UNM, 0, 3, "", -3},
    };
    for (const Case &c : cases) {
        FunctionBuilder f;
        int kidx = c.kind == 0 ? f.k(c.n) : c.kind == 1 ? f.k(c.s) : f.knil();
        f.abx(OP_LOADK, 1, kidx);
        f.abc(c.op, 0, 1);
        f.abc(OP_RETURN, 0, 2);
        f.abc(OP_RETURN, 0, 1);
        ASSERT_EQ(run(L, f, 1), 0);
        EXPECT_EQ(lua_tonumber(L, -1), c.want) << c.op << " " << c.s;
        lua_settop(L, 0);
    }
    // LOADBOOL gives numbers
    FunctionBuilder f;
    f.abc(OP_LOADBOOL, 0, 1, 0);
    f.abc(OP_RETURN, 0, 2);
    ASSERT_EQ(run(L, f, 1), 0);
    EXPECT_EQ(lua_type(L, -1), LUA_TNUMBER);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(Interp, MissingFieldRaisesButMissingGlobalIsNil) {
    FunctionBuilder f;
    f.abc(OP_NEWTABLE, 0, 0, 0);
    f.abc(OP_GETTABLE, 1, 0, f.K("missing"));
    f.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, f), ERR_FIELDINIT);
    EXPECT_STREQ(GetErrorDetail(), "\"missing\"");

    FunctionBuilder g;
    g.abc(OP_NEWTABLE, 0, 0, 0);
    g.abc(OP_GETTABLE, 1, 0, g.K(2.5));
    g.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, g), ERR_FIELDINIT);
    EXPECT_STREQ(GetErrorDetail(), "2.5");

    FunctionBuilder h;
    h.abx(OP_GETGLOBAL, 0, h.k("nosuchglobal"));
    h.abc(OP_RETURN, 0, 2);
    ASSERT_EQ(run(L, h, 1), 0);
    EXPECT_TRUE(lua_isnil(L, -1));
}

TEST_F(Interp, ComparisonRules) {
    enum { N, S, Z }; // number, string, nil
    struct Operand {
        int kind;
        double n = 0;
        const char *s = "";
    };
    struct Case {
        int op;
        Operand b, c;
        int want; // 1 true, 0 false, else the error code
    } cases[] = {
        {OP_LE, {Z}, {Z}, 1},
        {OP_LT, {Z}, {N, 1}, 1},
        {OP_LE, {N, 1}, {Z}, 0},
        {OP_LE, {Z}, {S, 0, "a"}, 0},
        {OP_LT, {S, 0, "a"}, {Z}, 0},
        {OP_LT, {N, 1}, {S, 0, "2"}, ERR_NUMSTRCMP},
        {OP_LE, {S, 0, "2"}, {N, 1}, ERR_NUMSTRCMP},
        {OP_LT, {N, -1}, {Z}, 1},
        {OP_LT, {S, 0, "a"}, {S, 0, "b"}, 1},
        {OP_LE, {S, 0, "b"}, {S, 0, "b"}, 1},
        {OP_LE, {S, 0, "B"}, {S, 0, "a"}, 1}, // byte order
        {OP_EQ, {N, 1}, {S, 0, "1"}, 0},
        {OP_EQ, {S, 0, "x"}, {S, 0, "x"}, 1},
        {OP_EQ, {Z}, {Z}, 1},
    };
    for (const Case &c : cases) {
        FunctionBuilder f;
        auto rk = [&](const Operand &o) {
            return o.kind == N ? f.K(o.n) : o.kind == S ? f.K(o.s) : MAXSTACK + f.knil();
        };
        cxasm::Label yes = f.label();
        f.abc(c.op, 1, rk(c.b), rk(c.c));
        f.jmp(yes);
        f.abc(OP_LOADBOOL, 0, 0, 0);
        f.abc(OP_RETURN, 0, 2);
        f.bind(yes);
        f.abc(OP_LOADBOOL, 0, 1, 0);
        f.abc(OP_RETURN, 0, 2);
        int code = run(L, f, 1);
        if (c.want > 1) {
            EXPECT_EQ(code, c.want);
        } else {
            ASSERT_EQ(code, 0);
            EXPECT_EQ(lua_tonumber(L, -1), c.want) << "case " << (&c - cases);
        }
        lua_settop(L, 0);
    }
    // tables without metamethods cannot be ordered
    FunctionBuilder t;
    t.abc(OP_NEWTABLE, 1, 0, 0);
    t.abc(OP_NEWTABLE, 2, 0, 0);
    t.abc(OP_LT, 1, 1, 2);
    t.jmpRaw(0);
    t.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, t), ERR_WRONGOP);
}

// The loader gives comparisons with B in a register forms of their own:
// every placement of the operands must answer as the constants do.
TEST_F(Interp, ComparisonsAnswerAlikeWhereverTheOperandsLie) {
    enum { N, S, Z }; // number, string, nil
    struct Operand {
        int kind;
        double n = 0;
        const char *s = "";
    };
    struct Case {
        int op;
        Operand b, c;
        int want; // 1 true, 0 false, else the error code
    } cases[] = {
        {OP_LT, {N, 1}, {N, 2}, 1},          {OP_LT, {N, 2}, {N, 2}, 0},          {OP_LE, {N, 2}, {N, 2}, 1},
        {OP_LE, {N, 3}, {N, 2}, 0},          {OP_EQ, {N, 0}, {N, -0.0}, 1},       {OP_EQ, {N, 1}, {N, 2}, 0},
        {OP_LT, {N, 1}, {N, NAN}, 0},        {OP_LE, {N, NAN}, {N, NAN}, 0},      {OP_EQ, {N, NAN}, {N, NAN}, 0},
        {OP_LT, {Z}, {N, 1}, 1},             {OP_LE, {N, 1}, {Z}, 0},             {OP_LT, {S, 0, "a"}, {S, 0, "b"}, 1},
        {OP_LE, {S, 0, "B"}, {S, 0, "a"}, 1}, {OP_LT, {N, 1}, {S, 0, "2"}, ERR_NUMSTRCMP},
        {OP_LE, {S, 0, "2"}, {N, 1}, ERR_NUMSTRCMP}, {OP_EQ, {N, 1}, {S, 0, "1"}, 0},
        {OP_EQ, {S, 0, "x"}, {S, 0, "x"}, 1}, {OP_EQ, {Z}, {Z}, 1},
    };
    // where B and C come from: constants, or registers 2 and 3
    const bool inRegister[][2] = {{false, false}, {true, false}, {true, true}, {false, true}};
    for (const Case &c : cases) {
        for (const auto &place : inRegister) {
            FunctionBuilder f;
            auto kidx = [&](const Operand &o) { return o.kind == N ? f.k(o.n) : o.kind == S ? f.k(o.s) : f.knil(); };
            auto operand = [&](const Operand &o, bool reg, int r) {
                if (!reg) return MAXSTACK + kidx(o);
                f.abx(OP_LOADK, r, kidx(o));
                return r;
            };
            const int b = operand(c.b, place[0], 2), rc = operand(c.c, place[1], 3);
            cxasm::Label yes = f.label();
            f.abc(c.op, 1, b, rc);
            f.jmp(yes);
            f.abc(OP_LOADBOOL, 0, 0, 0);
            f.abc(OP_RETURN, 0, 2);
            f.bind(yes);
            f.abc(OP_LOADBOOL, 0, 1, 0);
            f.abc(OP_RETURN, 0, 2);
            int code = run(L, f, 1);
            const int at = static_cast<int>(&c - cases);
            if (c.want > 1) {
                EXPECT_EQ(code, c.want) << "case " << at << " placement " << (&place - inRegister);
            } else {
                ASSERT_EQ(code, 0) << "case " << at << " placement " << (&place - inRegister);
                EXPECT_EQ(lua_tonumber(L, -1), c.want) << "case " << at << " placement " << (&place - inRegister);
            }
            lua_settop(L, 0);
        }
    }
}

// Returns of a fixed count take a short way back into a script caller that
// wants a fixed count; every other caller gets what the general return gives.
std::vector<int> g_events;
TEST_F(Interp, OneReturnedValueReachesEveryKindOfCaller) {
    const char *src = R"(
        CLOSURE 0 seven
        MOVE 1 0
        CALL 1 1 1          ; for its effect
        MOVE 1 0
        CALL 1 1 2          ; one value: 7
        MOVE 2 0
        CALL 2 1 4          ; three: 7, nil, nil
        CLOSURE 5 mk
        CALL 5 1 2          ; a closure over mk's local, closed on return
        CALL 5 1 2          ; 5
        MOVE 6 0
        CALL 6 1 0          ; all it gives: 7
        RETURN 1 0
.function seven
        LOADK 0 #7
        RETURN 0 2
        RETURN 0 1
.end
.function mk
        LOADK 0 #4
        CLOSURE 1 get
        MOVE 0 0
        ADD 0 0 #1          ; seen by the closure
        RETURN 1 2
        RETURN 0 1
.function get
.upvalues x
        GETUPVAL 0 0
        RETURN 0 2
        RETURN 0 1
.end
.end
)";
    for (bool hooked : {false, true}) {
        g_events.clear();
        if (hooked)
            lua_sethook(L, [](lua_State *, lua_Debug *ar, int *) -> int {
                g_events.push_back(ar->event);
                return 0;
            }, LUA_MASKCALL | LUA_MASKRET, 0);
        ASSERT_EQ(runText(L, src), 0);
        ASSERT_EQ(lua_gettop(L), 6);
        const double want[] = {7, 7, 0, 0, 5, 7};
        for (int j = 0; j < 6; j++) {
            if (j == 2 || j == 3)
                EXPECT_TRUE(lua_isnil(L, j + 1)) << j;
            else
                EXPECT_EQ(lua_tonumber(L, j + 1), want[j]) << j;
        }
        lua_settop(L, 0);
        if (hooked) {
            // main, 4 x seven, mk, get: a call and a return event each
            EXPECT_EQ(std::count(g_events.begin(), g_events.end(), LUA_HOOKCALL), 7);
            EXPECT_EQ(std::count(g_events.begin(), g_events.end(), LUA_HOOKRET), 7);
        }
        lua_sethook(L, nullptr, 0, 0);
    }
    // fixed counts of values (none, two) to callers wanting fewer or more
    const char *counts = R"(
        CLOSURE 0 none
        CLOSURE 1 pair
        MOVE 2 1
        CALL 2 1 2          ; 5
        MOVE 3 1
        CALL 3 1 4          ; 5, 6, nil
        MOVE 6 0
        CALL 6 1 3          ; nil, nil
        LOADK 8 #9
        RETURN 2 8
.function none
        RETURN 0 1
.end
.function pair
        LOADK 0 #5
        LOADK 1 #6
        RETURN 0 3
.end
)";
    ASSERT_EQ(runText(L, counts), 0);
    ASSERT_EQ(lua_gettop(L), 7);
    const int nil = -1;
    const double wantCounts[] = {5, 5, 6, nil, nil, nil, 9};
    for (int j = 0; j < 7; j++) {
        if (wantCounts[j] == nil)
            EXPECT_TRUE(lua_isnil(L, j + 1)) << j;
        else
            EXPECT_EQ(lua_tonumber(L, j + 1), wantCounts[j]) << j;
    }
    lua_settop(L, 0);
    // the value straight to the host: one wanted, and all
    FunctionBuilder f;
    f.abx(OP_LOADK, 0, f.k(3.0));
    f.abc(OP_RETURN, 0, 2);
    f.abc(OP_RETURN, 0, 1);
    ASSERT_EQ(run(L, f, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    lua_settop(L, 0);
    ASSERT_EQ(run(L, f), 0);
    ASSERT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
}

TEST_F(Interp, GosubStackLimitsAndOwnership) {
    // 4097 nested pushes: the last one fails
    FunctionBuilder deep;
    cxasm::Label self = deep.here();
    deep.jmp(self, true);
    deep.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, deep), ERR_INTERNAL);
    EXPECT_EQ(lua_getgosubdepth(L), 0); // cut back by the protected call

    FunctionBuilder none;
    none.abc(OP_RETURN, 0, 0, 1);
    none.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, none), ERR_RETWOGOSUB);

    // a working subroutine
    FunctionBuilder sub;
    cxasm::Label s = sub.label();
    sub.abx(OP_LOADK, 0, sub.k(1.0));
    sub.jmp(s, true);
    sub.jmp(s, true);
    sub.abc(OP_RETURN, 0, 2);
    sub.bind(s);
    sub.abc(OP_ADD, 0, 0, sub.K(10.0));
    sub.abc(OP_RETURN, 0, 0, 1);
    sub.abc(OP_RETURN, 0, 1);
    ASSERT_EQ(run(L, sub, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 21);
    EXPECT_EQ(lua_getgosubdepth(L), 0);
    lua_settop(L, 0);

    // a position pushed by one function cannot be popped by another
    FunctionBuilder main;
    cxasm::Label after = main.label();
    FunctionBuilder &callee = main.child();
    callee.abc(OP_RETURN, 0, 0, 1);
    callee.abc(OP_RETURN, 0, 1);
    main.abx(OP_CLOSURE, 0, 0);
    main.jmp(after, true);
    main.bind(after);
    main.abc(OP_CALL, 0, 1, 1);
    main.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, main), ERR_RETWOGOSUB);
    EXPECT_EQ(lua_getgosubdepth(L), 0);
}

int g_gosubStatus;
TEST_F(Interp, CommandGosubRequestsAreChecked) {
    lua_register(L, "jumper", [](lua_State *S) -> int {
        lua_setjumpoffset(S, static_cast<int>(lua_tonumber(S, 1)));
        return g_gosubStatus;
    });
    // R0 counts how often the target ran; the target returns by RETSUB
    auto build = [](FunctionBuilder &f, double offset) {
        f.abx(OP_LOADK, 0, f.k(0.0));
        f.abx(OP_GETGLOBAL, 1, f.k("jumper"));
        f.abx(OP_LOADK, 2, f.k(offset));
        f.abc(OP_CALL, 1, 2, 1); // pc 3
        f.abc(OP_RETURN, 0, 2);  // pc 4
        f.abc(OP_ADD, 0, 0, f.K(1.0)); // pc 5: the target
        f.abc(OP_RETURN, 0, 0, 1);
        f.abc(OP_RETURN, 0, 1);
    };
    g_gosubStatus = -1;
    FunctionBuilder ok;
    build(ok, 1); // from pc 4 by 1: pc 5
    ASSERT_EQ(run(L, ok, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
    lua_settop(L, 0);
    FunctionBuilder bad;
    build(bad, 100);
    EXPECT_EQ(run(L, bad), ERR_FUNCJMP);
    FunctionBuilder neg;
    build(neg, -10);
    EXPECT_EQ(run(L, neg), ERR_FUNCJMP);
    EXPECT_EQ(lua_getgosubdepth(L), 0);

    // -2 returns to the instruction before the call, which runs the call again
    static int calls;
    calls = 0;
    lua_register(L, "jumper", [](lua_State *S) -> int {
        lua_setjumpoffset(S, static_cast<int>(lua_tonumber(S, 1)));
        return ++calls == 1 ? -2 : 0;
    });
    FunctionBuilder again;
    build(again, 1);
    ASSERT_EQ(run(L, again, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
    EXPECT_EQ(calls, 2);
    lua_settop(L, 0);
}

TEST_F(Interp, CapturingCallOfAScriptFunctionIsAPlainCall) {
    FunctionBuilder f;
    FunctionBuilder &g = f.child();
    g.abx(OP_LOADK, 0, g.k(5.0));
    g.abc(OP_RETURN, 0, 2);
    f.abx(OP_CLOSURE, 0, 0);
    f.abc(OP_CALLC, 0, 1, 2);
    f.abc(OP_RETURN, 0, 2);
    ASSERT_EQ(run(L, f, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 5);
}

TEST_F(Interp, CapturingCallsHandBackTheCode) {
    lua_register(L, "failing", [](lua_State *) -> int { return ERR_WRONGUSAGE; });
    lua_register(L, "twovalues", [](lua_State *S) -> int {
        lua_pushnumber(S, 5);
        lua_pushnumber(S, 6);
        return 2;
    });
    lua_register(L, "badresult", [](lua_State *) -> int { return -7; });
    struct Case {
        const char *name;
        int op;
        int code;
        double r0, r1;
    } cases[] = {
        {"failing", OP_CALLC, 0, ERR_WRONGUSAGE, NAN},
        {"twovalues", OP_CALLC, 0, 0, 5},
        {"failing", OP_CALL, ERR_WRONGUSAGE, 0, 0},
        {"badresult", OP_CALL, ERR_INTERNAL1, 0, 0},
        {"badresult", OP_CALLC, 0, ERR_INTERNAL1, NAN},
    };
    for (const Case &c : cases) {
        FunctionBuilder f;
        f.abx(OP_GETGLOBAL, 0, f.k(c.name));
        f.abc(c.op, 0, 1, 3); // two results
        f.abc(OP_RETURN, 0, 3);
        f.abc(OP_RETURN, 0, 1);
        ASSERT_EQ(run(L, f, 2), c.code) << c.name;
        if (c.code == 0) {
            EXPECT_EQ(lua_tonumber(L, 1), c.r0) << c.name;
            if (std::isnan(c.r1))
                EXPECT_TRUE(lua_isnil(L, 2)) << c.name;
            else
                EXPECT_EQ(lua_tonumber(L, 2), c.r1) << c.name;
        }
        lua_settop(L, 0);
    }
}

TEST_F(Interp, ErrorDispatchHookMayHandleACommandError) {
    lua_register(L, "failing", [](lua_State *) -> int { return ERR_WRONGUSAGE; });
    static int seen;
    seen = 0;
    lua_seterrordispatch(L, [](lua_State *, int code, void *) -> int {
        seen = code;
        return 0;
    }, nullptr);
    FunctionBuilder f;
    f.abx(OP_GETGLOBAL, 0, f.k("failing"));
    f.abc(OP_CALL, 0, 1, 2);
    f.abx(OP_LOADK, 1, f.k(7.0));
    f.abc(OP_RETURN, 0, 3);
    f.abc(OP_RETURN, 0, 1);
    ASSERT_EQ(run(L, f, 2), 0);
    EXPECT_EQ(seen, ERR_WRONGUSAGE);
    EXPECT_TRUE(lua_isnil(L, 1));
    EXPECT_EQ(lua_tonumber(L, 2), 7);
    lua_settop(L, 0);
    lua_seterrordispatch(L, [](lua_State *, int, void *) -> int { return ERR_MEM; }, nullptr);
    EXPECT_EQ(run(L, f), ERR_MEM);
}

TEST_F(Interp, MalformedSelfAndSetlistRaiseInsteadOfLeaving) {
    // SELF with a register key that holds a number
    FunctionBuilder s;
    s.abc(OP_NEWTABLE, 0, 0, 0);
    s.abx(OP_LOADK, 1, s.k(3.0));
    s.abc(OP_SELF, 2, 0, 1);
    s.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, s), ERR_BADBYTECODE);
    FunctionBuilder l;
    l.abx(OP_LOADK, 0, l.k(3.0));
    l.abx(OP_SETLIST, 0, 0);
    l.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, l), ERR_BADBYTECODE);
    // a constant key that is no string never loads
    FunctionBuilder v;
    v.abc(OP_NEWTABLE, 0, 0, 0);
    v.abc(OP_SELF, 1, 0, v.K(1.0));
    v.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, v), ERR_BADBYTECODE);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Interp, LoopsTablesClosuresAndCalls) {
    const char *src = R"(
.source "=loops"
        ; sum of 1..100 by FORLOOP
        LOADK 0 #0
        LOADK 1 #0          ; index, pre-decremented
        LOADK 2 #100
        LOADK 3 #1
        JMP check
body:   ADD 0 0 r1
check:  FORLOOP 1 body
        SETGLOBAL 0 "sum"
        ; table filled by SETLIST, summed by the generic for
        NEWTABLE 4 3 0
        LOADK 5 #10
        LOADK 6 #20
        LOADK 7 #30
        SETLIST 4 2
        LOADK 8 #0
        MOVE 9 4            ; generator, state, control in 9, 10, 11
        LOADNIL 10 11
        TFORPREP 9 tcheck
tbody:  ADD 8 8 r12
tcheck: TFORLOOP 9 1        ; k, v in 11, 12
        JMP tbody
        SETGLOBAL 8 "tsum"
        ; a counter closure sharing an upvalue
        LOADK 13 #100
        CLOSURE 14 counter
        MOVE 0 13
        CALL 14 1 1
        CALL 14 1 2
        SETGLOBAL 14 "count"
        ; concatenation of strings and numbers
        LOADK 15 "n="
        LOADK 16 #4.5
        LOADK 17 "!"
        CONCAT 15 15 17
        SETGLOBAL 15 "text"
        ; method call through SELF
        NEWTABLE 18 0 1
        CLOSURE 19 getx
        SETTABLE 18 "get" r19
        SETTABLE 18 "x" #77
        SELF 19 18 "get"
        CALL 19 2 2
        SETGLOBAL 19 "mx"
        RETURN 0 1
.function counter
.upvalues n
        GETUPVAL 0 0
        ADD 0 0 #1
        SETUPVAL 0 0
        RETURN 0 2
        RETURN 0 1
.end
.function getx
.params 1
        GETTABLE 1 0 "x"
        RETURN 1 2
        RETURN 0 1
.end
)";
    ASSERT_EQ(runText(L, src), 0);
    auto global = [&](const char *name) {
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
    };
    global("sum");
    EXPECT_EQ(lua_tonumber(L, -1), 5050);
    global("tsum");
    EXPECT_EQ(lua_tonumber(L, -1), 60);
    global("count");
    EXPECT_EQ(lua_tonumber(L, -1), 102);
    global("text");
    EXPECT_STREQ(lua_tostring(L, -1), "n=4.5!");
    global("mx");
    EXPECT_EQ(lua_tonumber(L, -1), 77);
}

TEST_F(Interp, NumberKeysReachTheArrayOnlyWhenIntegralAndInRange) {
    // t[1..8] = 10, 20, ..., 80 through register keys, then keys beside the
    // array part; each read through a register key.
    const char *src = R"(
        NEWTABLE 0 0 0
        LOADK 1 #0
        LOADK 2 #8
        LOADK 3 #1
        JMP check
fill:   MUL 4 1 #10
        SETTABLE 0 r1 r4
check:  FORLOOP 1 fill
        SETTABLE 0 #2.5 #25
        SETTABLE 0 #0 #-100
        SETTABLE 0 #-1 #-10
        SETTABLE 0 #9 #90
        SETTABLE 0 #4294967297 #7
        SETTABLE 0 #1e300 #300
        LOADK 9 #8
        ADD 10 9 #0.5
        SETTABLE 0 r10 #85
        LOADK 1 #1
        GETTABLE 1 0 r1
        LOADK 2 #8
        GETTABLE 2 0 r2
        LOADK 3 #2.5
        GETTABLE 3 0 r3
        LOADK 4 #0
        GETTABLE 4 0 r4
        LOADK 5 #-1
        GETTABLE 5 0 r5
        LOADK 6 #9
        GETTABLE 6 0 r6
        LOADK 7 #4294967297
        GETTABLE 7 0 r7
        LOADK 8 #1e300
        GETTABLE 8 0 r8
        GETTABLE 9 0 r10
        RETURN 1 10
)";
    ASSERT_EQ(runText(L, src), 0);
    const double want[] = {10, 80, 25, -100, -10, 90, 7, 300, 85};
    ASSERT_EQ(lua_gettop(L), 9);
    for (int j = 0; j < 9; j++) EXPECT_EQ(lua_tonumber(L, j + 1), want[j]) << "result " << j + 1;
    // a fractional or absent key past the array part is a missing field
    const char *missing = R"(
        NEWTABLE 0 0 0
        SETTABLE 0 #1 #1
        LOADK 1 #1.5
        GETTABLE 2 0 r1
        RETURN 2 2
)";
    lua_settop(L, 0);
    EXPECT_EQ(runText(L, missing), ERR_FIELDINIT);
}

TEST_F(Interp, ConcatenationYieldsTheInternedString) {
    // "x=" .. 1.5 .. ";" .. -0.25 .. 7 .. "" finds the entry stored under the
    // same text; a long run is joined whole.
    const char *src = R"(
        NEWTABLE 0 0 0
        SETTABLE 0 "x=1.5;-0.257" #42
        LOADK 1 "x="
        LOADK 2 #1.5
        LOADK 3 ";"
        LOADK 4 #-0.25
        LOADK 5 #7
        LOADK 6 ""
        CONCAT 1 1 6
        GETTABLE 1 0 r1
        LOADK 2 "abcdefghijklmnopqrstuvwxyz0123456789"
        LOADK 3 #0
        LOADK 4 #2000
        LOADK 5 #1
        LOADK 6 ""
        JMP check
grow:   MOVE 7 6
        MOVE 8 2
        MOVE 9 3
        CONCAT 6 7 9
check:  FORLOOP 3 grow
        RETURN 1 7
)";
    ASSERT_EQ(runText(L, src), 0);
    EXPECT_EQ(lua_tonumber(L, 1), 42);
    std::string longText(lua_tostring(L, 6), lua_strlen(L, 6));
    std::string want;
    for (int j = 1; j <= 2000; j++) want += "abcdefghijklmnopqrstuvwxyz0123456789" + std::to_string(j);
    EXPECT_EQ(longText, want);
}

TEST_F(Interp, OneWantedResultTakesTheFirstOrNil) {
    // none() returns nothing, two() returns 5, 6; each called for one value
    const char *src = R"(
        CLOSURE 0 none
        CLOSURE 1 two
        LOADK 2 #1
        MOVE 3 0
        CALL 3 1 2
        MOVE 4 1
        CALL 4 1 2
        LOADK 5 #9
        RETURN 2 5
.function none
        RETURN 0 1
.end
.function two
        LOADK 0 #5
        LOADK 1 #6
        RETURN 0 3
.end
)";
    ASSERT_EQ(runText(L, src), 0);
    ASSERT_EQ(lua_gettop(L), 4);
    EXPECT_EQ(lua_tonumber(L, 1), 1);
    EXPECT_TRUE(lua_isnil(L, 2));
    EXPECT_EQ(lua_tonumber(L, 3), 5);
    EXPECT_EQ(lua_tonumber(L, 4), 9);
}

TEST_F(Interp, VarargsTailCallsAndRecursionLimits) {
    // the countdown calls itself through a global
    const char *src2 = R"(
        CLOSURE 0 count
        LOADK 1 #1
        LOADK 2 #2
        LOADK 3 #3
        CALL 0 4 2
        SETGLOBAL 0 "nargs"
        CLOSURE 0 loop
        SETGLOBAL 0 "loop"
        GETGLOBAL 0 "loop"
        LOADK 1 #100000
        CALL 0 2 2
        SETGLOBAL 0 "tail"
        RETURN 0 1
.function count
.vararg
        GETTABLE 0 0 "n"
        RETURN 0 2
        RETURN 0 1
.end
.function loop
.params 1
        EQ 1 0 #0
        JMP done
        GETGLOBAL 1 "loop"
        SUB 2 0 #1
        TAILCALL 1 2 0
        RETURN 1 0
done:   LOADK 0 "bottom"
        RETURN 0 2
.end
)";
    ASSERT_EQ(runText(L, src2), 0);
    lua_pushstring(L, "nargs");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    lua_pushstring(L, "tail");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_STREQ(lua_tostring(L, -1), "bottom");
    lua_settop(L, 0);
    // plain recursion without a bound
    const char *src3 = R"(
        CLOSURE 0 rec
        SETGLOBAL 0 "rec"
        CALL 0 1 1
        RETURN 0 1
.function rec
        GETGLOBAL 0 "rec"
        CALL 0 1 1
        RETURN 0 1
.end
)";
    EXPECT_EQ(runText(L, src3), ERR_STACK);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Interp, CallingANonFunctionNamesIt) {
    FunctionBuilder f;
    f.abx(OP_GETGLOBAL, 0, f.k("nofunc"));
    f.abc(OP_CALL, 0, 1, 1);
    f.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, f), ERR_FUNCDECLA);
    EXPECT_STREQ(GetErrorDetail(), "nofunc");
    FunctionBuilder g;
    g.abx(OP_LOADK, 0, g.k(1.0));
    g.abc(OP_GETTABLE, 1, 0, g.K("x"));
    g.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, g), ERR_TABLEDECLA);
}

TEST_F(Interp, MetamethodsFeedArithmeticIndexingAndCalls) {
    const char *src = R"(
        NEWTABLE 0 0 0        ; the object
        NEWTABLE 1 0 2        ; its metatable
        CLOSURE 2 add
        SETTABLE 1 "__add" r2
        CLOSURE 2 index
        SETTABLE 1 "__index" r2
        CLOSURE 2 call
        SETTABLE 1 "__call" r2
        GETGLOBAL 2 "setmetatable"
        MOVE 3 0
        MOVE 4 1
        CALL 2 3 1
        ADD 5 0 #5
        SETGLOBAL 5 "added"
        GETTABLE 5 0 "anything"
        SETGLOBAL 5 "indexed"
        MOVE 5 0
        CALL 5 1 2
        SETGLOBAL 5 "called"
        RETURN 0 1
.function add
.params 2
        ADD 2 1 #100
        RETURN 2 2
        RETURN 0 1
.end
.function index
.params 2
        LOADK 2 "dflt"
        RETURN 2 2
        RETURN 0 1
.end
.function call
.params 1
        LOADK 1 #9
        RETURN 1 2
        RETURN 0 1
.end
)";
    lua_register(L, "setmetatable", [](lua_State *S) -> int {
        lua_setmetatable(S, 1);
        return 0;
    });
    ASSERT_EQ(runText(L, src), 0);
    lua_pushstring(L, "added");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(lua_tonumber(L, -1), 105);
    lua_pushstring(L, "indexed");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_STREQ(lua_tostring(L, -1), "dflt");
    lua_pushstring(L, "called");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(lua_tonumber(L, -1), 9);
}

int g_lines[64];
int g_nlines;
TEST_F(Interp, LineHookSeesEachLineAndMayRaise) {
    FunctionBuilder f("=hooked");
    f.line(1).abx(OP_LOADK, 0, f.k(0.0));
    f.line(2).abx(OP_LOADK, 1, f.k(3.0));
    cxasm::Label top = f.here();
    f.line(3).abc(OP_ADD, 0, 0, f.K(1.0));
    f.abc(OP_SUB, 1, 1, f.K(1.0));
    f.line(4).abc(OP_LT, 1, f.K(0.0), 1);
    f.jmp(top);
    f.line(5).abc(OP_RETURN, 0, 2);
    std::vector<uint8_t> chunk = cxasm::assemble(f);
    g_nlines = 0;
    lua_sethook(L, [](lua_State *, lua_Debug *ar, int *) -> int {
        if (g_nlines < 64) g_lines[g_nlines++] = ar->currentline;
        return 0;
    }, LUA_MASKLINE, 0);
    ASSERT_EQ(load(L, chunk), 0);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 3);
    std::vector<int> seen(g_lines, g_lines + g_nlines);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 3, 4, 3, 4, 5}));
    lua_settop(L, 0);

    // a hook that hands back a code raises it, at the line it reached
    lua_sethook(L, [](lua_State *, lua_Debug *ar, int *code) -> int {
        if (ar->currentline == 4) *code = ERR_WRONGUSAGE;
        return 0;
    }, LUA_MASKLINE, 0);
    ASSERT_EQ(load(L, chunk), 0);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(GetErrorPosition()->line, 4);
    EXPECT_STREQ(GetErrorPosition()->source, "=hooked");

    // the abort flag ends the run with "User abort!"
    static volatile unsigned abortFlag;
    abortFlag = 0;
    lua_setabortflag(L, &abortFlag);
    lua_sethook(L, [](lua_State *, lua_Debug *ar, int *) -> int {
        if (ar->currentline == 3) abortFlag = 1;
        return 0;
    }, LUA_MASKLINE, 0);
    ASSERT_EQ(load(L, chunk), 0);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), ERR_USERABORT);
    lua_setabortflag(L, nullptr);

    // the stop flag stops before the next instruction
    lua_sethook(L, nullptr, 0, 0);
    lua_setstopflag(L, 1);
    ASSERT_EQ(load(L, chunk), 0);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), ERR_USERABORT);
    lua_setstopflag(L, 0);
    ASSERT_EQ(load(L, chunk), 0);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
}

TEST_F(Interp, RaisedErrorsRecordTheScriptLine) {
    FunctionBuilder f("=pos");
    f.line(7).abx(OP_LOADK, 0, f.k(1.0));
    f.line(9).abc(OP_DIV, 0, 0, f.K(0.0));
    f.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, f), ERR_ZERODIVISION);
    EXPECT_EQ(GetErrorPosition()->line, 9);
    EXPECT_STREQ(GetErrorPosition()->source, "=pos");
    EXPECT_STREQ(GetErrorPosition()->command, "----");
    // a command's returned code is reported at the calling line
    static const luaL_reg cmds[] = {{"FailNow", [](lua_State *) -> int { return ERR_WRONGUSAGE; }}, {nullptr, nullptr}};
    luaL_openlib(L, nullptr, cmds, 0);
    FunctionBuilder g("=cmd");
    g.line(3).abx(OP_GETGLOBAL, 0, g.k("failnow"));
    g.line(4).abc(OP_CALL, 0, 1, 1);
    g.abc(OP_RETURN, 0, 1);
    EXPECT_EQ(run(L, g), ERR_WRONGUSAGE);
    EXPECT_EQ(GetErrorPosition()->line, 4);
    EXPECT_STREQ(GetErrorPosition()->command, "FailNow");
    EXPECT_EQ(lua_getcallinstr(L), 1);
}

TEST_F(Interp, AssemblerExamplesRun) {
    struct Case {
        const char *file;
        double want;
    } cases[] = {{"closures.cxs", 3}, {"gosub.cxs", 21}};
    for (const Case &c : cases) {
        std::ifstream in(std::string(CX_CXASM_EXAMPLES) + "/" + c.file);
        std::stringstream ss;
        ss << in.rdbuf();
        ASSERT_EQ(runText(L, ss.str(), 1), 0) << c.file;
        EXPECT_EQ(lua_tonumber(L, -1), c.want) << c.file;
        lua_settop(L, 0);
    }
    EXPECT_THROW(cxasm::assembleText("FROB 1 2"), cxasm::AsmError);
    EXPECT_THROW(cxasm::assembleText("JMP nowhere"), std::runtime_error);
}

TEST_F(Interp, UnknownOpcodesDoNothing) {
    const char *src = R"(
        LOADK 0 #5
        WORD 0x0000003F
        WORD 0x0000002D
        RETURN 0 2
)";
    ASSERT_EQ(runText(L, src, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 5);
}

int g_hookLines;
TEST_F(Interp, FlagsAndHooksSetByACommandTakeEffectAtTheNextInstruction) {
    // a loop that calls "poke" each turn; poke stops the run on its 3rd call
    const char *src = R"(
.line 1
        LOADK 0 #0
        LOADK 1 #0
        LOADK 2 #1000000
        LOADK 3 #1
        JMP check
.line 2
body:   GETGLOBAL 4 "poke"
        CALL 4 1 1
        ADD 0 0 #1
.line 3
check:  FORLOOP 1 body
        RETURN 0 2
)";
    static int pokes;
    pokes = 0;
    lua_register(L, "poke", [](lua_State *S) -> int {
        if (++pokes == 3) lua_setstopflag(S, 1);
        return 0;
    });
    EXPECT_EQ(runText(L, src, 1), ERR_USERABORT);
    EXPECT_EQ(pokes, 3);
    lua_setstopflag(L, 0);
    // a hook installed by a command sees the following lines
    pokes = 0;
    g_hookLines = 0;
    lua_register(L, "poke", [](lua_State *S) -> int {
        if (++pokes == 2)
            lua_sethook(S, [](lua_State *, lua_Debug *, int *code) -> int {
                if (++g_hookLines == 5) *code = ERR_WRONGUSAGE;
                return 0;
            }, LUA_MASKLINE, 0);
        return 0;
    });
    EXPECT_EQ(runText(L, src, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(g_hookLines, 5);
    EXPECT_LE(pokes, 4);
    lua_sethook(L, nullptr, 0, 0);
}

std::vector<int> g_seen;
TEST_F(Interp, HooksSwitchOnAndOffAcrossNestedRuns) {
    // main (lines 10..) calls "viaC", which calls f (lines 20..) through
    // lua_call; f switches the line hook on; main later switches it off.
    const char *src = R"(
.line 10
        CLOSURE 0 f
        GETGLOBAL 1 "viac"
        MOVE 2 0
.line 11
        CALL 1 2 1
.line 12
        LOADK 3 #1
.line 13
        GETGLOBAL 4 "off"
        CALL 4 1 1
.line 14
        LOADK 3 #2
.line 15
        RETURN 3 2
.function f
.line 20
        GETGLOBAL 0 "on"
        CALL 0 1 1
.line 21
        LOADK 1 #5
.line 22
        RETURN 1 2
.end
)";
    g_seen.clear();
    lua_register(L, "viac", [](lua_State *S) -> int {
        lua_pushvalue(S, 1);
        lua_call(S, 0, 1);
        return 1;
    });
    lua_register(L, "on", [](lua_State *S) -> int {
        lua_sethook(S, [](lua_State *, lua_Debug *ar, int *) -> int {
            g_seen.push_back(ar->currentline);
            return 0;
        }, LUA_MASKLINE, 0);
        return 0;
    });
    lua_register(L, "off", [](lua_State *S) -> int {
        lua_sethook(S, nullptr, 0, 0);
        return 0;
    });
    ASSERT_EQ(runText(L, src, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 2);
    // from the instruction after "on": the rest of f, then main after its
    // call, up to "off"
    EXPECT_EQ(g_seen, (std::vector<int>{21, 22, 12, 13}));
}

} // namespace

// A gated line hook: silent while the gate is shut, called once at the next
// jump or call after a command opens it; it closes the gate itself.
unsigned g_gate;
std::vector<int> g_gatedLines;
TEST_F(Interp, GatedLineHookRunsOnlyWhenTheGateOpens) {
    const char *src = R"(
.line 1
        LOADK 0 #0
        LOADK 1 #0
        LOADK 2 #1000
        LOADK 3 #1
        JMP check
.line 2
body:   GETGLOBAL 4 "tick"
        CALL 4 1 1
.line 3
        ADD 0 0 #1
.line 4
check:  FORLOOP 1 body
        RETURN 0 2
)";
    static int ticks;
    ticks = 0;
    g_gate = 0;
    g_gatedLines.clear();
    // the 100th and 500th turns open the gate; the 900th opens it for a
    // hook that hands back an error code
    lua_register(L, "tick", [](lua_State *) -> int {
        ++ticks;
        if (ticks == 100 || ticks == 500 || ticks == 900) __atomic_store_n(&g_gate, 1u, __ATOMIC_RELAXED);
        return 0;
    });
    lua_sethook(L, [](lua_State *S, lua_Debug *ar, int *code) -> int {
        __atomic_store_n(&g_gate, 0u, __ATOMIC_RELAXED);
        g_gatedLines.push_back(ar->currentline);
        if (g_gatedLines.size() == 3) *code = ERR_WRONGUSAGE;
        return 0;
    }, LUA_MASKLINE, 0);
    lua_sethookgate(L, &g_gate);
    EXPECT_EQ(runText(L, src, 1), ERR_WRONGUSAGE);
    EXPECT_EQ(ticks, 900);
    // seen at the loop's jump back (line 4) or the next call (line 2)
    ASSERT_EQ(g_gatedLines.size(), 3u);
    for (int line : g_gatedLines) EXPECT_TRUE(line == 2 || line == 3 || line == 4) << line;

    // another hook does not inherit the gate: it sees every line
    g_gatedLines.clear();
    ticks = 0;
    lua_sethook(L, [](lua_State *, lua_Debug *ar, int *) -> int {
        g_gatedLines.push_back(ar->currentline);
        return 0;
    }, LUA_MASKLINE, 0);
    EXPECT_EQ(runText(L, src, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1000);
    EXPECT_GT(g_gatedLines.size(), 3000u);

    // an open gate with the hook switched off costs nothing and breaks nothing
    lua_sethook(L, nullptr, 0, 0);
    lua_sethookgate(L, &g_gate);
    g_gate = 1;
    lua_settop(L, 0);
    EXPECT_EQ(runText(L, src, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 1000);
    lua_sethookgate(L, nullptr);
}

// NEWTABLE's array size byte: the limit (2^24 slots) applies to the size it
// encodes, so an exponent with a zero mantissa is an empty table and a
// large exponent with a small size is allowed.
TEST(InterpreterNewTable, TheArrayLimitAppliesToTheEncodedSize) {
    const struct {
        int b;
        bool ok;
    } cases[] = {{0, true}, {176, true}, {200, true}, {248, true}, {177, true}, {193, true},
                 {194, false}, {201, false}, {255, false}};
    for (const auto &c : cases) {
        lua_State *L = lua_open();
        const int code = vmtest::runText(L, "        NEWTABLE 0 " + std::to_string(c.b) + " 0\n        RETURN 0 1\n");
        EXPECT_EQ(code, c.ok ? 0 : ERR_TABLEOVERFLOW) << c.b;
        lua_close(L);
    }
}

// A caller's register above the callee's frame holds a table: a collection
// inside the callee must keep it (every frame of the chain is marked).
TEST(InterpreterCollector, ACallersRegistersAboveTheCalleeStayAlive) {
    lua_State *L = lua_open();
    lua_register(L, "collect", [](lua_State *S) -> int {
        lua_setgcthreshold(S, 0);
        return 0;
    });
    const std::string src = R"(
        .maxstack 60
        NEWTABLE 50 0 0
        SETTABLE 50 "k" #7
        GETGLOBAL 0 "collect"
        CALL 0 1 1
        GETGLOBAL 0 "collect"
        CALL 0 1 1
        GETTABLE 1 50 "k"
        RETURN 1 2
)";
    lua_settop(L, 0);
    ASSERT_EQ(vmtest::runText(L, src, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 7);
    lua_close(L);
}

// A call hook that collects: the hook's widened frame must not show stale
// slots (left by a deeper frame whose tables were since freed) to the
// collector.
TEST(InterpreterCollector, ACollectingCallHookSeesNoStaleSlots) {
    lua_State *L = lua_open();
    lua_register(L, "collect", [](lua_State *S) -> int {
        lua_setgcthreshold(S, 0);
        return 0;
    });
    const std::string src = R"(
        .maxstack 4
        CLOSURE 0 deep
        CALL 0 1 1
        GETGLOBAL 0 "collect"
        CALL 0 1 1
        CLOSURE 0 shallow
        CALL 0 1 1
        RETURN 0 1
.function deep
        .maxstack 40
        NEWTABLE 10 0 0
        NEWTABLE 15 0 0
        NEWTABLE 20 0 0
        NEWTABLE 25 0 0
        NEWTABLE 30 0 0
        RETURN 0 1
.end
.function shallow
        .maxstack 2
        RETURN 0 1
.end
)";
    lua_sethook(L, [](lua_State *S, lua_Debug *, int *) -> int {
        lua_setgcthreshold(S, 0);
        return 0;
    }, LUA_MASKCALL | LUA_MASKRET, 0);
    lua_settop(L, 0);
    EXPECT_EQ(vmtest::runText(L, src, 0), 0);
    lua_sethook(L, nullptr, 0, 0);
    lua_close(L);
}

// CALL or TAILCALL with B=0 after an open call that returned nothing: the
// top lies below the called register, which is refused instead of setting
// up a frame below its own function.
TEST(InterpreterOpenTop, ACallWhoseOpenTopLiesBelowItsRegisterIsRefused) {
    for (const char *call : {"CALL 5 0 1\n        RETURN 0 1", "TAILCALL 5 0 0\n        RETURN 0 1"}) {
        lua_State *L = lua_open();
        const std::string src = std::string(R"(
        .maxstack 12
        CLOSURE 0 none
        CALL 0 1 0
        CLOSURE 5 none
        )") + call + R"(
.function none
        RETURN 0 1
.end
)";
        EXPECT_EQ(vmtest::runText(L, src, 0), ERR_BADBYTECODE) << call;
        // The same with the open call's results above the register runs.
        const std::string fine = std::string(R"(
        .maxstack 12
        CLOSURE 5 none
        CLOSURE 6 one
        CALL 6 1 0
        )") + call + R"(
.function none
        RETURN 0 1
.end
.function one
        LOADK 0 #1
        RETURN 0 2
.end
)";
        EXPECT_EQ(vmtest::runText(L, fine, 0), 0) << call;
        lua_close(L);
    }
}

// A gosub entry belongs to the frame that pushed it: a later call of the
// same function at the same level cannot return through it.
TEST(InterpreterGosub, EntriesGoWithTheFrameThatPushedThem) {
    lua_State *L = lua_open();
    const std::string src = R"(
        .maxstack 4
        CLOSURE 0 f
        LOADK 1 #1
        CALL 0 2 1
        CLOSURE 0 f
        LOADK 1 #0
        CALL 0 2 1
        RETURN 0 1
.function f
        .params 1
        EQ 0 0 #1
        JMP direct
        GOSUB sub
        RETURN 0 1
sub:    RETURN 0 1
direct: RETSUB
        RETURN 0 1
.end
)";
    EXPECT_EQ(vmtest::runText(L, src, 0), ERR_RETWOGOSUB);
    EXPECT_EQ(lua_getgosubdepth(L), 0);
    lua_close(L);
}

