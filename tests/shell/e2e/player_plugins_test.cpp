// The player binary with plug-ins: a library plug-in found beside the
// program, and linked executables made by cxlink whose plug-ins are
// unpacked into a temporary folder that is gone after the run, however the
// run ended.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace fs = std::filesystem;

namespace {

using cxe2e::RunPlayer;
using cxe2e::RunResult;
using cxe2e::ShowString;

// libtest.add(20, 22), LibTestGlobal() and Eval("#LIBTEST_ANSWER * 2"),
// each shown on the console.
const std::string kUsesPlugin = std::string(R"(
.source "=plug.cxs"
        GETGLOBAL 0 "libtest"
        GETTABLE 0 0 "add"
        LOADK 1 #20
        LOADK 2 #22
        CALL 0 3 2
        LOADK 1 "sum="
        MOVE 2 0
        CONCAT 0 1 2
)") + ShowString(0) + R"(
        GETGLOBAL 0 "libtestglobal"
        CALL 0 1 2
)" + ShowString(0) + R"(
        GETGLOBAL 0 "eval"
        LOADK 1 "#LIBTEST_ANSWER * 2"
        CALL 0 2 2
        LOADK 1 "k="
        MOVE 2 0
        CONCAT 0 1 2
)" + ShowString(0) + "        RETURN 0 1\n";

cxe2e::RunOptions Program(const std::string &program) {
    cxe2e::RunOptions options;
    options.program = program;
    return options;
}

class PlayerPlugins : public ::testing::Test {
protected:
    cxtest::TempDir dir_;
    std::string Path(const std::string &name) const { return dir_.Path(name); }

    std::vector<std::string> Folder(const std::string &folder) const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        return names;
    }
    // A linked executable of the player, libtest.cxp and the applet.
    std::string Link(const std::string &source) {
        cxe2e::WriteApplet(Path("applet.cxa"), source);
        const std::string out = Path("linked");
        RunResult r = RunPlayer({cxe2e::PlayerPath(), Path("applet.cxa"), out, CX_TEST_LIBTEST_CXP},
                                Program(CX_TEST_CXLINK));
        EXPECT_EQ(r.status, 0) << r.err;
        fs::create_directory(Path("tmp"));
        return out;
    }
    RunResult RunLinked(const std::string &program, std::vector<std::string> args, cxe2e::RunOptions options = {}) {
        options.program = program;
        args.insert(args.begin(), {"-TEMPDIR", Path("tmp")});
        return RunPlayer(args, options);
    }
};

TEST_F(PlayerPlugins, ALibraryPluginBesideTheProgramServesTheApplet) {
    fs::copy_file(cxe2e::PlayerPath(), Path("player"));
    fs::create_directory(Path("Plugins"));
    fs::copy_file(CX_TEST_LIBTEST_CXP, Path("Plugins/libtest.cxp"));
    cxe2e::WriteApplet(Path("plug.cxa"), kUsesPlugin);

    RunResult r = RunPlayer({Path("plug.cxa"), "-QUIET"}, Program(Path("player")));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "00000000: 73 75 6d 3d 34 32                               sum=42\n"
              "00000000: 67 6c 6f 62 61 6c                               global\n"
              "00000000: 6b 3d 38 34                                     k=84\n");

    // Without QUIET the plug-in's loading is shown.
    r = RunPlayer({Path("plug.cxa")}, Program(Path("player")));
    EXPECT_NE(r.out.find("Loading plugin libtest.cxp... done\n"), std::string::npos) << r.out;
    // SKIPPLUGINS leaves it out, and the applet fails where it needs it.
    r = RunPlayer({Path("plug.cxa"), "-QUIET", "-SKIPPLUGINS", "libtest"}, Program(Path("player")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("plug.cxs:"), std::string::npos) << r.out;
}

// A half-copied plug-in in Plugins: refused by the loader (not a crash in
// the dynamic loader), and a quiet run still says which plug-in failed and
// why before the applet stumbles over its missing commands.
TEST_F(PlayerPlugins, ATruncatedPluginIsReportedEvenInAQuietRun) {
    fs::copy_file(cxe2e::PlayerPath(), Path("player"));
    fs::create_directory(Path("Plugins"));
    const cxtest::Bytes whole = cxtest::ReadBytes(CX_TEST_LIBTEST_CXP);
    cxtest::WriteBytes(Path("Plugins/libtest.cxp"), cxtest::Bytes(whole.begin(), whole.begin() + 4096));
    cxe2e::WriteApplet(Path("plug.cxa"), kUsesPlugin);

    RunResult r = RunPlayer({Path("plug.cxa"), "-QUIET"}, Program(Path("player")));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Loading plugin libtest.cxp... failed\n(Reason: Cannot load plugin: "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("truncated"), std::string::npos) << r.out;

    // Listing the plug-ins survives it too.
    r = RunPlayer({"-PLUGININFO", "-QUIET"}, Program(Path("player")));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(PlayerPlugins, ALinkedExecutableRunsItsAppletWithItsPlugins) {
    const std::string linked = Link(kUsesPlugin);
    RunResult r = RunLinked(linked, {"-QUIET"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("sum=42\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("k=84\n"), std::string::npos) << r.out;
    EXPECT_TRUE(Folder(Path("tmp")).empty());

    // A linked executable shows no banner.
    r = RunLinked(linked, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("CalyxtonePlayer"), std::string::npos) << r.out;
}

TEST_F(PlayerPlugins, TheTemporaryFolderIsGoneAfterAFailure) {
    const std::string linked = Link(R"(
.source "=linkfail.cxs"
.line 2
        GETGLOBAL 0 "libtest"
        GETTABLE 0 0 "fail"
        LOADK 1 #1010
        CALL 0 2 1
        RETURN 0 1
)");
    RunResult r = RunLinked(linked, {"-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("linkfail.cxs:2: ", 0), 0u) << r.out;
    EXPECT_TRUE(Folder(Path("tmp")).empty());

    // A stage failure before the run: the same.
    r = RunLinked(linked, {"-QUIET", "-WINWIDTH"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Wrong arguments specified!\n");
    EXPECT_TRUE(Folder(Path("tmp")).empty());
    r = RunLinked(linked, {"-QUIET", "-REQUIREPLUGINS", "nosuchplugin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Folder(Path("tmp")).empty());
}

TEST_F(PlayerPlugins, TheTemporaryFolderLivesForTheRunAndGoesAfterAUserAbort) {
    const std::string linked = Link(std::string(".source \"=wait.cxs\"\n        LOADK 0 \"WAITING\"\n") +
                                    ShowString(0) + "again:  JMP again\n        RETURN 0 1\n");
    std::vector<std::string> during;
    cxe2e::RunOptions options;
    options.waitFor = "WAITING";
    options.onOutput = [&](pid_t pid) {
        for (const std::string &name : Folder(Path("tmp"))) {
            during.push_back(name);
            for (const std::string &inner : Folder(Path("tmp/" + name))) during.push_back(inner);
        }
        kill(pid, SIGTERM);
    };
    RunResult r = RunLinked(linked, {"-QUIET", "-FORCEFLUSH"}, options);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[0].rfind("cxplugins-", 0), 0u) << during[0];
    EXPECT_EQ(during[1], "libtest.cxp");
    EXPECT_TRUE(Folder(Path("tmp")).empty());
}

}  // namespace
