// The player binary from the command line to the exit status, without an X
// display: applet checks, the run of the main chunk, the error report's
// console form, the options and the configuration file, the start-up
// requests and the end of a run by the user.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"
#include "tools/cxasm/asm_text.h"

namespace {

using cxe2e::RunPlayer;
using cxe2e::RunResult;
using cxe2e::ShowString;
using cxe2e::WriteApplet;

const char kReturns[] = R"(
.source "=returns.cxs"
        RETURN 0 1
)";

// Peek without arguments: "Not enough arguments!" at line 7.
const char kFailsAtLine7[] = R"(
.source "=fail.cxs"
.line 7
        GETGLOBAL 0 "peek"
        CALL 0 1 1
        RETURN 0 1
)";

std::string Text(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

class PlayerE2E : public ::testing::Test {
protected:
    cxtest::TempDir dir_;
    std::string Path(const std::string &name) const { return dir_.Path(name); }
    std::string Applet(const std::string &name, const std::string &source,
                       const std::vector<cxtools::DeclaredItem> &items = {}) {
        WriteApplet(Path(name), source, items);
        return Path(name);
    }
};

// ---- the applet file ----

struct BadFile {
    const char *name;
    cxtest::Bytes bytes; // empty with missing: the file is not made
    bool missing;
    const char *message; // "%s" stands for the path
};

TEST_F(PlayerE2E, AppletsThatCannotRunFailWithTheirMessage) {
    cxtest::Bytes infoOnly(2048, 0);
    infoOnly[0] = 'C', infoOnly[1] = 'X', infoOnly[2] = 'A';
    cxtools::AppletWriter noCode;
    const std::vector<BadFile> cases = {
        {"missing.cxa", {}, true, "File %s does not exist!"},
        {"three.cxa", {'C', 'X', 'A'}, false, "%s is no Calyxtone applet!"},
        {"wrong.cxa", {'C', 'X', 'B', 0, 1, 2, 3, 4}, false, "%s is no Calyxtone applet!"},
        {"notzero.cxa", {'C', 'X', 'A', 1, 1, 2, 3, 4}, false, "%s is no Calyxtone applet!"},
        {"text.cxa", {'-', '-', ' ', 'h', 'i', '\n'}, false, "%s is no Calyxtone applet!"},
        // A header alone: the info block that must follow it is missing.
        {"header.cxa", {'C', 'X', 'A', 0}, false, "Cannot read file header.cxa !"},
        // An info block without any section, not even the end mark.
        {"infoonly.cxa", infoOnly, false, "Cannot read file infoonly.cxa !"},
        {"nocode.cxa", noCode.Build(), false, "Script is empty!"},
    };
    for (const BadFile &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        if (!c.missing) cxtest::WriteBytes(path, c.bytes);
        std::string message = c.message;
        if (size_t at = message.find("%s"); at != std::string::npos) message.replace(at, 2, path);
        RunResult r = RunPlayer({path, "-QUIET"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Error: " + message + "\n");
    }
    // A folder is no applet; a path longer than the limit says so.
    std::filesystem::create_directory(Path("folder.cxa"));
    RunResult r = RunPlayer({Path("folder.cxa"), "-QUIET"});
    EXPECT_EQ(r.out, "Error: " + Path("folder.cxa") + " is no Calyxtone applet!\n");
    r = RunPlayer({std::string(1100, 'a'), "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Specified name is too long!\n");
}

TEST_F(PlayerE2E, CompilingIsRefusedAfterTheAppletWasRead) {
    const std::string applet = Applet("a.cxa", std::string(".source \"=c.cxs\"\n        LOADK 0 \"RAN\"\n") +
                                                   ShowString(0) + "        RETURN 0 1\n");
    RunResult r = RunPlayer({applet, "-QUIET", "-compile"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Compilation is not possible with CalyxtonePlayer!\n");
    // The applet is checked first: a broken one reports its own fault.
    cxtest::WriteBytes(Path("b.cxa"), {'C', 'X', 'A', 0});
    r = RunPlayer({Path("b.cxa"), "-COMPILE", "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot read file b.cxa !"), std::string::npos) << r.out;
}

// ---- the run ----

TEST_F(PlayerE2E, AChunkThatReturnsEndsTheRunSuccessfully) {
    const std::string applet = Applet("returns.cxa", kReturns);
    for (const char *quiet : {"-QUIET", "-quiet", "-QuIeT"}) {
        SCOPED_TRACE(quiet);
        RunResult r = RunPlayer({applet, quiet});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
    RunResult r = RunPlayer({applet});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("CalyxtonePlayer 8.0 [Linux]", 0), 0u) << r.out;
    // A path with blanks given as one argument stays one path.
    r = RunPlayer({Applet("with blank.cxa", kReturns), "-QUIET"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlayerE2E, CxappletMakesRunnableAppletsWithItsOptions) {
    cxtest::WriteText(Path("hello.cxs"), std::string(".source \"=hello.cxs\"\n        LOADK 0 \"HI THERE\"\n") +
                                             ShowString(0) + "        RETURN 0 1\n");
    cxtest::WriteText(Path("data.txt"), "linked bytes");
    cxe2e::RunOptions tool;
    tool.program = CX_TEST_CXAPPLET;
    RunResult made = RunPlayer({Path("hello.cxs"), "-o", Path("hello.cxa"), "--packed", "--pack-code", "--info",
                                "1=Hello", "--version", "9.1", "--identifier", "demo.hello", "--item", "61,4,a.wav",
                                "--tag", "width=10", "--tag-string", "code=007", "--file",
                                "data.txt=" + Path("data.txt")},
                               tool);
    ASSERT_EQ(made.status, 0) << made.err;
    RunResult r = RunPlayer({Path("hello.cxa"), "-QUIET"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "*** WARNING Object 4 (\"a.wav\") of kind 61 was not preloaded: no loader for this kind ***\n"
              "00000000: 48 49 20 54 48 45 52 45                         HI THERE\n");

    made = RunPlayer({Path("hello.cxs"), "-o", Path("bad.cxa"), "--tag", "x=1"}, tool);
    EXPECT_EQ(made.status, 2);
    EXPECT_NE(made.err.find("--tag must follow an --item"), std::string::npos) << made.err;
}

// The tools refuse bad input with a message and a non-zero exit instead of
// aborting or writing a file that cannot work.
TEST_F(PlayerE2E, ToolsRefuseBadInputWithAMessage) {
    const std::string applet = Applet("returns.cxa", kReturns);
    cxtest::WriteText(Path("src.cxs"), kReturns);
    std::filesystem::create_directory(Path("folder"));
    cxtest::WriteText(Path("text.cxa"), "not an applet");
    std::filesystem::copy_file(CX_TEST_LIBTEST_CXP, Path("libtest.cxp"));
    std::filesystem::create_directory(Path("upper"));
    std::filesystem::copy_file(CX_TEST_LIBTEST_CXP, Path("upper/LIBTEST.cxp"));
    struct Case {
        const char *what;
        const char *tool;
        std::vector<std::string> args;
        const char *message;
    };
    const std::string player = cxe2e::PlayerPath();
    const Case cases[] = {
        {"cxapplet source folder", CX_TEST_CXAPPLET, {Path("folder"), "-o", Path("out.cxa")}, "cannot read"},
        {"cxapplet output folder", CX_TEST_CXAPPLET, {Path("src.cxs"), "-o", Path("folder")}, "cannot write"},
        {"cxlink player folder", CX_TEST_CXLINK, {Path("folder"), applet, Path("out")}, "cannot read"},
        {"cxlink applet folder", CX_TEST_CXLINK, {player, Path("folder"), Path("out")}, "cannot read"},
        {"cxlink plug-in folder", CX_TEST_CXLINK, {player, applet, Path("out"), Path("folder")}, "cannot read"},
        {"cxlink no applet", CX_TEST_CXLINK, {player, Path("text.cxa"), Path("out")}, "is no applet"},
        {"cxlink plug-in twice", CX_TEST_CXLINK, {player, applet, Path("out"), Path("libtest.cxp"), Path("libtest.cxp")},
         "given twice"},
        {"cxlink names differing in case", CX_TEST_CXLINK,
         {player, applet, Path("out"), Path("libtest.cxp"), Path("upper/LIBTEST.cxp")}, "given twice"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        cxe2e::RunOptions options;
        options.program = c.tool;
        RunResult r = RunPlayer(c.args, options);
        EXPECT_EQ(r.signal, 0);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(Path("out.cxa")));
        EXPECT_FALSE(std::filesystem::exists(Path("out")));
    }
}

TEST_F(PlayerE2E, AFailingCommandIsReportedWithFileAndLine) {
    RunResult r = RunPlayer({Applet("fail.cxa", kFailsAtLine7), "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fail.cxs:7: Not enough arguments!\n");
}

// Without -QUIET a failed load leaves its progress line unfinished: the
// report starts on a line of its own.
TEST_F(PlayerE2E, TheReportFollowsAnUnfinishedProgressLineOnItsOwnLine) {
    RunResult r = RunPlayer({Applet("load.cxa", R"(
.source "=load.cxs"
.line 4
        GETGLOBAL 0 "loadbrush"
        LOADK 1 #1
        LOADK 2 "missing.png"
        CALL 0 3 1
        RETURN 0 1
)")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Loading brush missing.png...\nload.cxs:4: "), std::string::npos) << r.out;
}

TEST_F(PlayerE2E, AnErrorInAnIncludedFileNamesThatFilesLine) {
    // Lines 5..14 of the compiled source came from lib.cxs, from its line 100.
    std::vector<uint8_t> chunk = cxasm::assembleText(kFailsAtLine7);
    cxtools::AppletWriter writer;
    writer.AddInclude("lib.cxs", 5, 10, 100);
    writer.AddMainChunk(cxtools::Bytes(chunk.begin(), chunk.end()));
    writer.Write(Path("inc.cxa"));
    RunResult r = RunPlayer({Path("inc.cxa"), "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "lib.cxs:102: Not enough arguments!\n");
}

TEST_F(PlayerE2E, AScriptErrorCallReportsItsOwnText) {
    RunResult r = RunPlayer({Applet("err.cxa", R"(
.source "=err.cxs"
.line 3
        GETGLOBAL 0 "error"
        LOADK 1 "custom failure"
        CALL 0 2 1
        RETURN 0 1
)"),
                             "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "err.cxs:3: custom failure\n");
}

TEST_F(PlayerE2E, AStringCommandsResultIsPrinted) {
    const std::string source = std::string(R"(
.source "=upper.cxs"
        GETGLOBAL 0 "upperstr"
        LOADK 1 "hello"
        CALL 0 2 2
)") + ShowString(0) + "        RETURN 0 1\n";
    RunResult r = RunPlayer({Applet("upper.cxa", source), "-QUIET"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "00000000: 48 45 4c 4c 4f                                  HELLO\n");
}

TEST_F(PlayerE2E, UnknownOptionsReachTheScriptThroughClargs) {
    // Shows clargs.foo, then clargs.level.
    const std::string source = std::string(R"(
.source "=clargs.cxs"
        GETGLOBAL 0 "clargs"
        GETTABLE 0 0 "foo"
)") + ShowString(0) + R"(
        GETGLOBAL 0 "clargs"
        GETTABLE 0 0 "Level"
)" + ShowString(0) + "        RETURN 0 1\n";
    const std::string applet = Applet("clargs.cxa", source);
    RunResult r = RunPlayer({applet, "-foo", "bar", "-QUIET", "-Level", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" bar\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" 3\n"), std::string::npos) << r.out;
}

TEST_F(PlayerE2E, MalformedCommandLinesFailWith1060) {
    const std::string applet = Applet("returns.cxa", kReturns);
    const std::vector<std::vector<std::string>> cases = {
        {applet, "-QUIET", "-WINWIDTH"},       // a value option given last
        {applet, "-QUIET", "-winwidth"},       // in any case
        {applet, "second.cxa", "-QUIET"},      // a stray token after the applet
        {applet, "-QUIET", "-VOCABCOMMANDS"},  // a request that needs a file
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(args.back());
        RunResult r = RunPlayer(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Error: Wrong arguments specified!\n");
    }
}

// Without an applet a console user also learns how to name one.
TEST_F(PlayerE2E, NoAppletPrintsAUsageLineBesideTheError) {
    for (const std::vector<std::string> &args : {std::vector<std::string>{}, std::vector<std::string>{"-QUIET"}}) {
        RunResult r = RunPlayer(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("Usage: player <applet> [options]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("-HELP"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Error: Wrong arguments specified!\n"), std::string::npos) << r.out;
    }
}

TEST_F(PlayerE2E, HelpListsTheGroupsInOrderAndEndsNormally) {
    RunResult r = RunPlayer({"-HELP"});
    EXPECT_EQ(r.status, 0);
    const char *groups[] = {
        "Arguments controlling the window style:",   "Arguments controlling full screen mode:",
        "Arguments controlling backfill style:",      "Arguments controlling the scaling engine:",
        "Arguments controlling the audio driver:",    "Arguments controlling plugins:",
        "Arguments controlling debugger settings:",   "Miscellaneous arguments:",
    };
    size_t at = 0;
    for (const char *g : groups) {
        size_t found = r.out.find(g, at);
        ASSERT_NE(found, std::string::npos) << g;
        at = found;
    }
    EXPECT_NE(r.out.find("-QUIET"), std::string::npos);
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
}

// ---- the configuration file beside the executable ----

class ConfigFile : public PlayerE2E {
protected:
    std::string copy_;
    void SetUp() override {
        copy_ = Path("cxplay");
        std::filesystem::copy_file(cxe2e::PlayerPath(), copy_);
        std::filesystem::permissions(copy_, std::filesystem::perms::owner_all);
    }
    RunResult Run(const std::string &ini, const std::vector<std::string> &args) {
        cxtest::WriteText(Path("cxplay.ini"), ini);
        cxe2e::RunOptions options;
        options.program = copy_;
        return RunPlayer(args, options);
    }
};

TEST_F(ConfigFile, IsReadWithCommentsSkipped) {
    const std::string applet = Applet("returns.cxa", kReturns);
    RunResult r = Run("# the player's settings\n[Options]\n  QUIET = true\r\n\n", {applet});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");  // no banner: QUIET came from the file
}

TEST_F(ConfigFile, ABadLineFailsWith1363) {
    const std::string applet = Applet("returns.cxa", kReturns);
    for (const char *ini : {"QUIET\n", "# fine\n=true\n", "9LIVES=1\n"}) {
        SCOPED_TRACE(ini);
        RunResult r = Run(ini, {applet, "-QUIET"});
        EXPECT_EQ(r.status, 1);
        // The file and the line of the fault.
        const int line = std::string(ini).find('#') == 0 ? 2 : 1;
        EXPECT_EQ(r.out, std::filesystem::canonical(Path("cxplay.ini")).string() + ":" + std::to_string(line) +
                             ": Syntax error in configuration file!\n");
    }
}

// A configuration "file" that is a folder is reported, not a crash.
TEST_F(ConfigFile, AFolderInItsPlaceIsReportedByName) {
    const std::string applet = Applet("returns.cxa", kReturns);
    std::filesystem::create_directory(Path("cxplay.ini"));
    cxe2e::RunOptions options;
    options.program = copy_;
    RunResult r = RunPlayer({applet, "-QUIET"}, options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Cannot read file cxplay.ini !\n");
}

// ---- the end of a run by the user ----

TEST_F(PlayerE2E, UserAbortEndsTheRunSilentlyWithSuccess) {
    // Shows "LOOPING", then loops for ever; SIGINT ends the run as "User
    // abort!" (1003), which is a normal end.
    const std::string source = std::string(".source \"=loop.cxs\"\n        LOADK 0 \"LOOPING\"\n") + ShowString(0) +
                               ".line 9\nagain:  JMP again\n        RETURN 0 1\n";
    cxe2e::RunOptions options;
    options.waitFor = "LOOPING";
    options.onOutput = [](pid_t pid) { kill(pid, SIGINT); };
    options.timeoutSeconds = 30;
    RunResult r = RunPlayer({Applet("loop.cxa", source), "-QUIET", "-FORCEFLUSH"}, options);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("User abort"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
}

// ---- start-up requests ----

TEST_F(PlayerE2E, VocabularyIsExportedWithoutAnApplet) {
    const std::string commands = Path("commands.txt"), constants = Path("constants.txt"), preproc = Path("pre.txt");
    RunResult r = RunPlayer({"-QUIET", "-VOCABCOMMANDS", commands, "-vocabconstants", constants, "-VocabPreproc", preproc});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    const std::string c = Text(commands);
    EXPECT_EQ(c.rfind("string\tLowerStr\n", 0), 0u) << c.substr(0, 80);
    EXPECT_NE(c.find("\nmemblock\tDumpMem\n"), std::string::npos);
    EXPECT_NE(c.find("\nsystem\tRaiseOnError\n"), std::string::npos);
    const std::string k = Text(constants);
    EXPECT_NE(k.find("\nERR_MEM\n"), std::string::npos);
    EXPECT_NE(k.find("\nENCODING_UTF8\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(preproc));

    r = RunPlayer({"-QUIET", "-VOCABCOMMANDS", Path("no/such/folder/x.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Cannot write to file " + Path("no/such/folder/x.txt") + " !\n");
}

TEST_F(PlayerE2E, PluginListingEndsTheRun) {
    RunResult r = RunPlayer({"-QUIET", "-PLUGININFO"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
}

// ---- declared objects ----

TEST_F(PlayerE2E, DeclaredObjectsWithoutALoaderAreSkippedWithAWarning) {
    // Kinds from 61 up are plug-ins' own: nothing preloads them here.
    cxtools::DeclaredItem brush;
    brush.type = 61;
    brush.id = 1;
    brush.name = "title.wav";
    const std::string source = std::string(".source \"=decl.cxs\"\n        LOADK 0 \"RAN\"\n") + ShowString(0) +
                               "        RETURN 0 1\n";
    RunResult r = RunPlayer({Applet("decl.cxa", source, {brush}), "-QUIET"});
    EXPECT_EQ(r.status, 0);
    const std::string brushWarning =
        "*** WARNING Object 1 (\"title.wav\") of kind 61 was not preloaded: no loader for this kind ***\n";
    ASSERT_EQ(r.out.rfind(brushWarning, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("RAN"), std::string::npos);
}

}  // namespace
