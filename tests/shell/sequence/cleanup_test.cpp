// The main chunk's load and run (also through a display adapter's main
// loop), and the exit: its status and its console report.
#include <gtest/gtest.h>

#include <cstdlib>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "shell/player_main.h"
#include "shell/plugins/plugin_manager.h"
#include "tests/shell/test_files.h"
#include "tools/applet-writer/applet_writer.h"
#include "tools/cxasm/asm_text.h"

namespace {

// Sets the global "ran" to 1, or fails in Peek when asked to.
const char kSetsRan[] = R"(
.source "=ran.cxs"
        LOADK 0 #1
        SETGLOBAL 0 "ran"
        RETURN 0 1
)";
const char kFails[] = R"(
.source "=fails.cxs"
.line 4
        GETGLOBAL 0 "peek"
        CALL 0 1 1
        RETURN 0 1
)";

int g_loopCalls;
int g_loopResult;
int AdapterLoop(lua_State *L, cxMainChunkFunc run, lua_State *state) {
    EXPECT_EQ(L, state);
    g_loopCalls++;
    run(state);
    return g_loopResult;
}

class MainChunk : public ::testing::Test {
protected:
    cxtest::TempDir dir_;
    lua_State *L = nullptr;
    cxApplet *applet_ = nullptr;

    void SetUp() override {
        FreeKernel();
        L = lua_open();
        ASSERT_NE(L, nullptr);
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        applet_ = NewApplet();
        g_loopCalls = g_loopResult = 0;
    }
    void TearDown() override {
        ReleaseScriptChunk(L);
        lua_close(L);
        FreeApplet(applet_);
        FreeKernel();
        FreeCommandLibraries();
    }
    int Load(const cxtools::Bytes &chunk) {
        cxtools::AppletWriter writer;
        writer.AddMainChunk(chunk);
        writer.Write(dir_.Path("a.cxa"));
        if (int err = ReadAppletHeader(applet_, dir_.Path("a.cxa").c_str(), 0, 0)) return err;
        if (int err = LoadApplet(applet_)) return err;
        return LoadScriptChunk(L, applet_);
    }
    int Load(const char *source) {
        std::vector<uint8_t> chunk = cxasm::assembleText(source);
        return Load(cxtools::Bytes(chunk.begin(), chunk.end()));
    }
    bool Ran() {
        lua_pushstring(L, "ran");
        lua_gettable(L, LUA_GLOBALSINDEX);
        bool ran = lua_tonumber(L, -1) == 1;
        lua_pop(L, 1);
        return ran;
    }
};

TEST_F(MainChunk, LoadsAndRunsInAProtectedCall) {
    ASSERT_EQ(Load(kSetsRan), 0);
    EXPECT_EQ(lua_gettop(L), 0);  // kept in the registry, not on the stack
    EXPECT_EQ(RunMainChunk(L), 0);
    EXPECT_TRUE(Ran());
    ASSERT_EQ(Load(kFails), 0);
    EXPECT_EQ(RunMainChunk(L), ERR_MISSINGPARAMTR);
}

TEST_F(MainChunk, ACutOrMissingChunkIsRefused) {
    std::vector<uint8_t> chunk = cxasm::assembleText(kSetsRan);
    EXPECT_EQ(Load(cxtools::Bytes(chunk.begin(), chunk.begin() + chunk.size() / 2)), ERR_UNEXPECTEDEOF);
    EXPECT_EQ(RunMainChunk(L), ERR_EMPTYSCRIPT);
}

class AdapterMainLoop : public MainChunk {
protected:
    cxPlugin adapter_{};
    void SetUp() override {
        MainChunk::SetUp();
        adapter_.capabilities = CX_CAP_DISPLAYADAPTER;
        adapter_.AdapterMainLoop = AdapterLoop;
        SetPluginStartupPhase(1);
        ASSERT_EQ(RegisterDisplayAdapter(&adapter_, 0, nullptr), 0);
        SetPluginStartupPhase(0);
    }
    void TearDown() override {
        RemovePluginHooks(&adapter_);
        MainChunk::TearDown();
    }
};

TEST_F(AdapterMainLoop, OwnsTheLoopAndTheChunksErrorIsKept) {
    ASSERT_EQ(Load(kSetsRan), 0);
    EXPECT_EQ(RunMainChunk(L), 0);
    EXPECT_EQ(g_loopCalls, 1);
    EXPECT_TRUE(Ran());

    ASSERT_EQ(Load(kFails), 0);
    EXPECT_EQ(RunMainChunk(L), ERR_MISSINGPARAMTR);
    g_loopResult = ERR_WINDOW;  // the adapter's own failure comes first
    EXPECT_EQ(RunMainChunk(L), ERR_WINDOW);
}

TEST_F(AdapterMainLoop, AnAdapterThatCannotBeCalledLeavesTheRunToThePlayer) {
    adapter_.callingConvention = CX_CALLCONV_UNCALLABLE;
    ASSERT_EQ(Load(kSetsRan), 0);
    EXPECT_EQ(RunMainChunk(L), 0);
    EXPECT_EQ(g_loopCalls, 0);
    EXPECT_TRUE(Ran());
}

// ---- the exit ----

struct Exit {
    int code;
    int status;
    const char *out;
};

TEST(CleanupAndExit, NormalEndsExitZeroSilentlyAndFailuresReportOnce) {
    const Exit cases[] = {
        {0, CX_EXIT_SUCCESS, ""},
        {ERR_USERABORT, CX_EXIT_SUCCESS, ""},
        {ERR_FILEEXIST, CX_EXIT_FAILURE, "Error: File /no/such.cxa does not exist!\n"},
        {ERR_MEM, CX_EXIT_FAILURE, "Error: Out of memory!\n"},
    };
    for (const Exit &c : cases) {
        SCOPED_TRACE(c.code);
        ResetPlayerState();
        ResetErrorPosition();
        auto *opts = static_cast<cxStartupOptions *>(calloc(1, sizeof(cxStartupOptions)));
        InitStartupOptions(opts);
        lua_State *L = lua_open();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        SetErrorDetail("/no/such.cxa");
        testing::internal::CaptureStdout();
        EXPECT_EQ(CleanupAndExit(c.code, L, opts, NewApplet()), c.status);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_TRUE(IsPlayerExiting());
        EXPECT_EQ(GetPlayerExitStatus(), c.status);
        // Everything was freed: the kernel's library list is empty again.
        EXPECT_EQ(GetCommandLibraries(), nullptr);
    }
    // Before the virtual machine and the records exist.
    testing::internal::CaptureStdout();
    EXPECT_EQ(CleanupAndExit(ERR_ARGS, nullptr, nullptr, nullptr), CX_EXIT_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Wrong arguments specified!\n");
    ResetPlayerState();
}

}  // namespace
