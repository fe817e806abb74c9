// The argument readers reached from assembled chunks: the error names the
// command and the script line.
#include "streams/applet_record.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

class Chunk : public cxtest::VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
    }
    std::string Report(int code) {
        char message[512], body[2048];
        GetErrorText(code, message, sizeof message);
        BuildErrorReport(L, message, 0, body, sizeof body);
        return body;
    }
};

TEST_F(Chunk, MissingArgumentsNameTheCommandAndLine) {
    int code = RunAsm(R"(
.source "=demo.cxs"
.line 7
        GETGLOBAL 0 "peek"
        CALL 0 1 1
        RETURN 0 1
)");
    EXPECT_EQ(code, ERR_MISSINGPARAMTR);
    EXPECT_EQ(GetErrorPosition()->line, 7);
    EXPECT_STREQ(GetErrorPosition()->command, "Peek");
    std::string report = Report(code);
    EXPECT_NE(report.find("Not enough arguments!"), std::string::npos) << report;
    EXPECT_NE(report.find("In function: Peek"), std::string::npos) << report;
    EXPECT_NE(report.find("current line: 7"), std::string::npos) << report;
}

TEST_F(Chunk, WrongOptionFieldCarriesTheKey) {
    int code = RunAsm(R"(
.source "=opts.cxs"
.line 3
        GETGLOBAL 0 "allocmem"
        LOADK 1 #1
        LOADK 2 #16
        CALL 0 3 1
.line 4
        GETGLOBAL 0 "memtotable"
        LOADK 1 #1
        LOADK 2 #1
        NEWTABLE 3 0 0
        SETTABLE 3 "items" "many"
        CALL 0 4 1
        RETURN 0 1
)");
    EXPECT_EQ(code, ERR_NUMTABLEARG);
    EXPECT_EQ(Detail(), "items");
    EXPECT_EQ(GetErrorPosition()->line, 4);
    EXPECT_STREQ(GetErrorPosition()->command, "MemToTable");
    EXPECT_NE(Report(code).find("Number expected in table argument \"items\"!"), std::string::npos);
}

TEST_F(Chunk, VersionAndPercentChecksFromAScript) {
    cxApplet *applet = NewApplet();
    applet->versionMajor = 5;
    applet->versionMinor = 3;
    SetRunningApplet(applet);
    cxtest::ProbeBody() = [](lua_State *S) {
        CheckArgCount(S, 1, 1, 6, 0);
        GetNumberOrPercentArg(S, 1, 10, 0, nullptr);
        return 0;
    };
    const char *script = R"(
.line 12
        GETGLOBAL 0 "probe"
        LOADK 1 "150%"
        CALL 0 2 1
        RETURN 0 1
)";
    EXPECT_EQ(RunAsm(script), ERR_OLDAPPLET);
    EXPECT_EQ(Detail(), "6.0");
    EXPECT_EQ(GetErrorPosition()->line, 12);
    EXPECT_STREQ(GetErrorPosition()->command, "Probe");
    applet->versionMajor = 6;
    applet->versionMinor = 0;
    EXPECT_EQ(RunAsm(script), ERR_PERCENTFORMAT);
    EXPECT_EQ(GetErrorNumber(), 1);
    EXPECT_NE(Report(ERR_PERCENTFORMAT).find("Invalid percent format in argument 1!"), std::string::npos);
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

TEST_F(Chunk, CapturingCallsHandBackStringCommandResults) {
    // CALLC puts the code (0 on success) before the results
    ASSERT_EQ(RunAsm(R"(
        GETGLOBAL 0 "bytechr"
        LOADK 1 #256
        CALLC 0 2 2
        GETGLOBAL 1 "repeatstr"
        LOADK 2 "ab"
        LOADK 3 #0
        CALLC 1 3 3
        GETGLOBAL 3 "reversestr"
        LOADK 4 "a\xC3\xA9b"
        CALLC 3 2 3
        GETGLOBAL 5 "strlen"
        LOADK 6 "a\xC3"
        CALLC 5 2 2
        RETURN 0 7
)"),
              0);
    ASSERT_EQ(lua_gettop(L), 6);
    EXPECT_EQ(Num(1), ERR_WRONGUSAGE);
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(Str(3), "");
    EXPECT_EQ(Num(4), 0);
    EXPECT_EQ(Str(5), "b\xC3\xA9" "a");
    EXPECT_EQ(Num(6), ERR_INVALIDUTF8ARG);
}

TEST_F(Chunk, PokeAtTheLastWordOfABlock) {
    const char *script = R"(
        GETGLOBAL 0 "allocmem"
        LOADK 1 #1
        LOADK 2 #16
        CALL 0 3 1
        GETGLOBAL 0 "poke"
        LOADK 1 #1
        LOADK 2 #12
        LOADK 3 #305419896
        CALL 0 4 1
        GETGLOBAL 0 "peek"
        LOADK 1 #1
        LOADK 2 #15
        LOADK 3 #7
        CALL 0 4 2
.line 20
        GETGLOBAL 1 "poke"
        LOADK 2 #1
        LOADK 3 #13
        LOADK 4 #1
        CALL 1 4 1
        RETURN 0 2
)";
    EXPECT_EQ(RunAsm(script), ERR_MEMRANGE);
    EXPECT_EQ(GetErrorPosition()->line, 20);
    EXPECT_STREQ(GetErrorPosition()->command, "Poke");
    cxMemBlock *b = nullptr;
    ASSERT_EQ(FindMemBlock(cxObjectID{1, nullptr}, &b), 0);
    EXPECT_EQ(b->data[15], 0x78);
}

TEST_F(Chunk, ScriptErrorCallReportsItsOwnText) {
    int code = RunAsm(R"(
.line 2
        GETGLOBAL 0 "error"
        LOADK 1 "Something 100% wrong"
        CALL 0 2 1
        RETURN 0 1
)");
    EXPECT_EQ(code, ERR_ERRORCALLED);
    char text[256];
    EXPECT_STREQ(GetErrorText(code, text, sizeof text), "Something 100% wrong");
    EXPECT_STREQ(GetErrorPosition()->command, "Error");
}

TEST_F(Chunk, RaiseOnErrorHandsFailuresToTheHandler) {
    const char *script = R"(
.function handler
.params 2
        SETGLOBAL 0 "lastcode"
        SETGLOBAL 1 "lastmessage"
        RETURN 0 1
.end
        CLOSURE 0 handler
        GETGLOBAL 1 "raiseonerror"
        MOVE 2 0
        CALL 1 2 1
        GETGLOBAL 1 "bytechr"
        LOADK 2 #256
        CALL 1 2 1
        GETGLOBAL 1 "freemem"
        LOADK 2 #5
        CALL 1 2 1
        LOADK 1 "went on"
        SETGLOBAL 1 "after"
        GETGLOBAL 1 "raiseonerror"
        LOADNIL 2 2
        CALL 1 2 1
.line 9
        GETGLOBAL 1 "freemem"
        LOADK 2 #6
        CALL 1 2 1
        RETURN 0 1
)";
    EXPECT_EQ(RunAsm(script), ERR_FINDMEMBLK);
    EXPECT_EQ(GetErrorPosition()->line, 9);
    lua_pushstring(L, "lastcode");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(Num(-1), ERR_FINDMEMBLK);
    lua_pushstring(L, "lastmessage");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(Str(-1), "Could not find memory block 5!");
    lua_pushstring(L, "after");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(Str(-1), "went on");
}

TEST_F(Chunk, AFailingHandlerRaisesItsOwnError) {
    const char *script = R"(
.function handler
.params 2
        GETGLOBAL 2 "freemem"
        LOADK 3 #77
        CALL 2 2 1
        RETURN 0 1
.end
        CLOSURE 0 handler
        GETGLOBAL 1 "raiseonerror"
        MOVE 2 0
        CALL 1 2 1
        GETGLOBAL 1 "bytechr"
        LOADK 2 #999
        CALL 1 2 1
        RETURN 0 1
)";
    EXPECT_EQ(RunAsm(script), ERR_FINDMEMBLK);
    EXPECT_EQ(GetErrorNumber(), 77);
}

} // namespace
