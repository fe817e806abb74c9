// Programs (Execute, Run and the end notice), the environment, the current
// folder and temporary files.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "display/events/event_library.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "io/dos/dos_internal.h"
#include "streams/applet_record.h"
#include "platform/os_process.h"
#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

// h keeps the table it was called with in "lastmsg" and counts its calls.
const char *const kHandler = R"(
.function h
.params 1
        SETGLOBAL 0 "lastmsg"
        GETGLOBAL 1 "probe"
        CALL 1 1 1
        RETURN 0 1
.end
        CLOSURE 0 h
        SETGLOBAL 0 "h"
        RETURN 0 1
)";

class Programs : public DosTest {
protected:
    int calls = 0;
    cxApplet *applet = nullptr;

    void SetUp() override {
        SetScriptLibraryOpener("event", OpenEventLibrary);
        DosTest::SetUp();
        ASSERT_EQ(InitKernel(), 0);
        ASSERT_EQ(RunAsm(kHandler), 0);
        ProbeBody() = [this](lua_State *) {
            calls++;
            return 0;
        };
    }
    void TearDown() override {
        CleanupEvents(L);
        FreeDosObjects(L);
        FreeEventQueue(L);
        DeleteTemporaryFiles();
        SetRunningApplet(nullptr);
        if (applet) FreeApplet(applet);
        DosTest::TearDown();
    }
    // An executable shell script in the test folder.
    std::string Script(const std::string &name, const std::string &body) {
        Put(name, "#!/bin/sh\n" + body + "\n");
        chmod(Path(name).c_str(), 0755);
        return Path(name);
    }
    void InstallRunFinished(const char *userData) {
        ASSERT_EQ(Call("InstallEventHandler",
                       [&] {
                           lua_newtable(L);
                           lua_pushstring(L, "runfinished");
                           lua_pushstring(L, "h");
                           lua_gettable(L, LUA_GLOBALSINDEX);
                           lua_settable(L, -3);
                           if (userData) lua_pushstring(L, userData);
                       }),
                  0);
    }
    // Dispatches until the handler ran (or five seconds passed).
    bool DispatchUntilCalled(int wanted) {
        for (int i = 0; i < 500 && calls < wanted; i++) {
            if (Call("CheckEvents") != 0) return false;
            if (calls < wanted) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return calls >= wanted;
    }
    std::string MsgField(const char *key) {
        lua_settop(L, 0);
        lua_pushstring(L, "lastmsg");
        lua_gettable(L, LUA_GLOBALSINDEX);
        if (!lua_istable(L, 1)) return "<no table>";
        return Field(1, key);
    }
};

TEST_F(Programs, PlatformReportsTheExitStatusAndSplitsLikeAShell) {
    int status = -1;
    ASSERT_EQ(OsRunCommand("/bin/sh", "-c 'exit 3'", 0, &status), 0);
    EXPECT_EQ(status, 3);
    ASSERT_EQ(OsRunCommand("/bin/sh", "-c \"kill -9 $$\"", 0, &status), 0);
    EXPECT_EQ(status, 128 + 9);

    struct Case {
        const char *text;
        std::vector<std::string> words;
    } cases[] = {
        {"", {}},
        {"  a   b ", {"a", "b"}},
        {"-c 'exit 3'", {"-c", "exit 3"}},
        {"\"two words\" x\\ y", {"two words", "x y"}},
        {"\"say \\\"hi\\\"\" 'it''s'", {"say \"hi\"", "its"}},
    };
    for (const Case &c : cases) {
        int err = 0;
        char **w = OsSplitArguments(c.text, &err);
        ASSERT_NE(w, nullptr) << c.text;
        std::vector<std::string> got;
        for (char **p = w; *p; p++) got.emplace_back(*p);
        free(w);
        EXPECT_EQ(got, c.words) << c.text;
    }
    for (const char *bad : {"'open", "a \"b", "x 'y\"z"}) {
        int err = 0;
        EXPECT_EQ(OsSplitArguments(bad, &err), nullptr) << bad;
        EXPECT_EQ(err, ERR_WRONGUSAGE) << bad;
    }
}

TEST_F(Programs, ExecuteWaitsForTheProgram) {
    // A failing exit status is the program's business, not an error.
    EXPECT_EQ(Do("Execute", {"/bin/sh -c 'exit 3'"}), 0);
    const std::string out = Path("done.txt");
    ASSERT_EQ(Do("Execute", {"/bin/sh -c 'sleep 0.2; echo finished > " + out + "'"}), 0);
    EXPECT_EQ(Get("done.txt"), "finished\n");
}

TEST_F(Programs, QuotedProgramNamesAndArguments) {
    Script("my prog.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$(dirname \"$0\")/args.txt\"");
    ASSERT_EQ(Do("Execute", {"\"" + Path("my prog.sh") + "\"   one 'two three'"}), 0);
    EXPECT_EQ(Get("args.txt"), "[one][two three]");
    ASSERT_EQ(Do("Execute", {"\"" + Path("my prog.sh") + "\""}), 0);
    EXPECT_EQ(Get("args.txt"), "");
}

TEST_F(Programs, CommandLineErrors) {
    struct Case {
        std::string line;
        int code;
        std::string detail;
    } cases[] = {
        {"", ERR_WRONGUSAGE, ""},
        {"\"/bin/echo unclosed", ERR_WRONGUSAGE, ""},
        {"/bin/echo 'unclosed", ERR_WRONGUSAGE, ""},
        {"\"\" x", ERR_WRONGUSAGE, ""},
        {Path("missing-program") + " a b", ERR_EXECUTE, Path("missing-program") + " (not found)"},
        {"no-such-program-anywhere", ERR_EXECUTE, "no-such-program-anywhere (not found)"},
    };
    Put("not-executable", "#!/bin/sh\n");
    cases[0].line = "";
    for (const char *cmd : {"Execute", "Run"}) {
        for (const Case &c : cases) {
            SetErrorDetail(nullptr);
            EXPECT_EQ(Do(cmd, {c.line}), c.code) << cmd << " " << c.line;
            if (!c.detail.empty()) {
                EXPECT_EQ(Detail(), c.detail);
            }
        }
        EXPECT_EQ(Do(cmd, {Path("not-executable")}), ERR_EXECUTE) << cmd;
    }
    // The message says why: not found, not executable, a folder.
    chmod(Path("not-executable").c_str(), 0644);
    const std::pair<std::string, std::string> why[] = {
        {Path("missing-program"), Path("missing-program") + " (not found)"},
        {Path("not-executable"), Path("not-executable") + " (not executable)"},
        {dir, dir + " (a folder)"},
    };
    for (const auto &[line, shown] : why) {
        ASSERT_EQ(Do("Execute", {line}), ERR_EXECUTE) << line;
        char text[2048];
        EXPECT_EQ(std::string(GetErrorText(ERR_EXECUTE, text, sizeof text)), "Error executing " + shown + "!");
    }
    EXPECT_EQ(cxdos::CountRunningPrograms(), 0);
}

TEST_F(Programs, RunReturnsAtOnceAndItsEndReachesTheHandler) {
    InstallRunFinished("handler data");
    const std::string gate = Path("gate");
    const std::string prog = Script("waiter.sh", "i=0; while [ ! -e '" + gate + "' ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done");
    ASSERT_EQ(Call("Run",
                   [&] {
                       lua_pushstring(L, (prog + "  first \"second arg\"").c_str());
                       lua_pushnumber(L, 0);
                       lua_pushstring(L, "run data");
                   }),
              0);
    // Still running: nothing to serve.
    EXPECT_EQ(cxdos::CountRunningPrograms(), 1);
    ASSERT_EQ(Call("CheckEvents"), 0);
    EXPECT_EQ(calls, 0);
    Put("gate", "");
    ASSERT_TRUE(DispatchUntilCalled(1));
    EXPECT_EQ(MsgField("action"), "RunFinished");
    EXPECT_EQ(MsgField("program"), prog);
    EXPECT_EQ(MsgField("args"), "first \"second arg\"");
    EXPECT_EQ(MsgField("runuserdata"), "run data");
    EXPECT_EQ(MsgField("userdata"), "handler data");
    EXPECT_NE(MsgField("timestamp"), "<nil>");
    EXPECT_EQ(cxdos::CountRunningPrograms(), 0);
}

TEST_F(Programs, RunWithoutArgumentsOrUserData) {
    InstallRunFinished(nullptr);
    ASSERT_EQ(Do("Run", {"/bin/true"}), 0);
    ASSERT_TRUE(DispatchUntilCalled(1));
    EXPECT_EQ(MsgField("program"), "/bin/true");
    EXPECT_EQ(MsgField("args"), "");
    EXPECT_EQ(MsgField("runuserdata"), "<nil>");
    EXPECT_EQ(MsgField("userdata"), "<nil>");
}

TEST_F(Programs, EndsWithoutAHandlerFreeTheRecord) {
    ASSERT_EQ(Do("Run", {"/bin/true"}), 0);
    for (int i = 0; i < 500 && cxdos::CountRunningPrograms(); i++) {
        ASSERT_EQ(Call("CheckEvents"), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(cxdos::CountRunningPrograms(), 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(Programs, CleanUpStopsWatchingProgramsStillRunning) {
    ASSERT_EQ(Call("Run", [&] {
                  lua_pushstring(L, "/bin/sleep 0.3");
                  lua_pushnumber(L, 0);
                  lua_newtable(L);
              }),
              0);
    EXPECT_EQ(cxdos::CountRunningPrograms(), 1);
    FreeDosObjects(L);
    EXPECT_EQ(cxdos::CountRunningPrograms(), 0);
}

TEST_F(Programs, LinkedProgramIsCopiedOutOncePerRun) {
    // An applet file whose linked "tool.sh" appends a line to a log.
    const std::string log = Path("log.txt");
    const std::string tool = "#!/bin/sh\necho \"$0 $1\" >> '" + log + "'\n";
    Put("applet.cxa", "HEADER--" + tool + "--TAIL");
    applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    snprintf(applet->path, sizeof applet->path, "%s", Path("applet.cxa").c_str());
    auto *f = static_cast<cxLinkedFile *>(calloc(1, sizeof(cxLinkedFile)));
    f->name = strdup("tools/tool.sh");
    f->offset = 8;
    f->length = static_cast<uint32_t>(tool.size());
    applet->files = f;
    SetRunningApplet(applet);

    ASSERT_EQ(Do("Execute", {"tools/tool.sh first"}), 0);
    ASSERT_EQ(Do("Execute", {"tools/tool.sh second"}), 0);
    std::istringstream lines(Get("log.txt"));
    std::string a, b;
    std::getline(lines, a);
    std::getline(lines, b);
    const std::string exe1 = a.substr(0, a.find(' ')), exe2 = b.substr(0, b.find(' '));
    EXPECT_EQ(a.substr(a.find(' ') + 1), "first");
    EXPECT_EQ(b.substr(b.find(' ') + 1), "second");
    EXPECT_EQ(exe1, exe2);  // the same copy both times
    EXPECT_NE(exe1.find("calyxtone."), std::string::npos);
    EXPECT_EQ(exe1.substr(exe1.size() - 3), ".sh");
    struct stat st;
    ASSERT_EQ(stat(exe1.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    DeleteTemporaryFiles();
    EXPECT_NE(stat(exe1.c_str(), &st), 0);
}

TEST_F(Programs, EnvironmentVariables) {
    unsetenv("CX_DOSRUN_TEST");
    ASSERT_EQ(Do("GetEnv", {"CX_DOSRUN_TEST"}), 0);
    EXPECT_EQ(Str(1), "");
    EXPECT_EQ(Num(2), 0);
    ASSERT_EQ(Do("SetEnv", {"CX_DOSRUN_TEST", "one"}), 0);
    ASSERT_EQ(Do("SetEnv", {"CX_DOSRUN_TEST", "two words"}), 0);
    ASSERT_EQ(Do("GetEnv", {"CX_DOSRUN_TEST"}), 0);
    EXPECT_EQ(Str(1), "two words");
    EXPECT_EQ(Num(2), 1);
    // Programs see it.
    ASSERT_EQ(Do("Execute", {"/bin/sh -c 'printf %s \"$CX_DOSRUN_TEST\" > " + Path("env.txt") + "'"}), 0);
    EXPECT_EQ(Get("env.txt"), "two words");
    ASSERT_EQ(Do("SetEnv", {"CX_DOSRUN_TEST", ""}), 0);
    ASSERT_EQ(Do("GetEnv", {"CX_DOSRUN_TEST"}), 0);
    EXPECT_EQ(Num(2), 1);  // set, though empty
    ASSERT_EQ(Do("UnsetEnv", {"CX_DOSRUN_TEST"}), 0);
    ASSERT_EQ(Do("GetEnv", {"CX_DOSRUN_TEST"}), 0);
    EXPECT_EQ(Num(2), 0);
    EXPECT_EQ(Do("SetEnv", {"A=B", "x"}), ERR_SETENV);
    EXPECT_EQ(Do("SetEnv", {"", "x"}), ERR_SETENV);
    EXPECT_EQ(Do("UnsetEnv", {""}), ERR_UNSETENV);
}

TEST_F(Programs, CurrentFolder) {
    char *before = getcwd(nullptr, 0);
    ASSERT_EQ(Do("ChangeDirectory", {dir}), 0);
    ASSERT_EQ(Do("GetCurrentDirectory", {}), 0);
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(dir.c_str(), resolved), nullptr);
    EXPECT_EQ(Str(1), resolved);
    // A failure is not reported and changes nothing.
    EXPECT_EQ(Do("ChangeDirectory", {Path("missing")}), 0);
    ASSERT_EQ(Do("GetCurrentDirectory", {}), 0);
    EXPECT_EQ(Str(1), resolved);
    ASSERT_EQ(chdir(before), 0);
    free(before);
}

TEST_F(Programs, TemporaryFilesAreNewAndGoneAfterTheRun) {
    ASSERT_EQ(Do("GetTempFileName", {}), 0);
    const std::string a = Str(1);
    ASSERT_EQ(Do("GetTempFileName", {}), 0);
    const std::string b = Str(1);
    EXPECT_NE(a, b);
    struct stat st;
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    ASSERT_EQ(stat(b.c_str(), &st), 0);
    DeleteTemporaryFiles();
    EXPECT_NE(stat(a.c_str(), &st), 0);
    EXPECT_NE(stat(b.c_str(), &st), 0);
}

}  // namespace
}  // namespace cxtest
