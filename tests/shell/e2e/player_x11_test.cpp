// The player binary with an X display: an error is reported in the
// requester's form (here on standard output, as no requester library is
// installed), which names the failing command.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/e2e/private_x_server.h"
#include "tests/shell/test_files.h"

namespace {

TEST(PlayerX11, TheReportNamesTheFailingCommand) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    cxe2e::WriteApplet(dir.Path("fail.cxa"), R"(
.source "=fail.cxs"
.line 7
        GETGLOBAL 0 "peek"
        CALL 0 1 1
        RETURN 0 1
)");
    cxe2e::RunOptions options;
    options.withDisplay = true;
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("fail.cxa"), "-QUIET"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Not enough arguments!\nFile: fail.cxs (current line: 7 - In function: Peek)\n");
}

TEST(PlayerX11, AReturningAppletRunsWithTheDisplayAvailable) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    cxe2e::WriteApplet(dir.Path("ok.cxa"), ".source \"=ok.cxs\"\n        RETURN 0 1\n");
    cxe2e::RunOptions options;
    options.withDisplay = true;
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("ok.cxa"), "-QUIET"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(PlayerX11, DeclaredDisplayIsOpenWhenTheScriptStarts) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    cxtools::DeclaredItem display;
    display.type = 21;
    display.id = 1;
    display.name = "E2E display";
    display.tags = {{"width", 1, 200, ""}, {"height", 1, 100, ""}};
    // CloseDisplay fails for a display that is not open; FreeDisplay of the
    // current display fails: both show in the exit status.
    cxe2e::WriteApplet(dir.Path("decl.cxa"), R"(
.source "=decl.cxs"
        GETGLOBAL 0 "closedisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "freedisplay"
        LOADK 1 #1
        CALL 0 2 1
        RETURN 0 1
)",
                       {display});
    cxe2e::RunOptions options;
    options.withDisplay = true;
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("decl.cxa"), "-QUIET"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Cannot free the active display!\nFile: decl.cxs (current line: 1 - In function: FreeDisplay)\n");
}

// On a server that resets when its last client leaves, the player starts
// every time: nothing closes the connection between the start-up and the
// end, not even a display closed and opened again.
TEST(PlayerX11, StartsEveryTimeOnAServerThatResetsWhenLeft) {
    cxe2e::PrivateXServer server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb";
    cxtest::TempDir dir;
    cxe2e::WriteApplet(dir.Path("open.cxa"), R"(
.source "=open.cxs"
.line 1
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #64
        SETTABLE 2 "height" #48
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
.line 2
        GETGLOBAL 0 "closedisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        RETURN 0 1
)");
    const std::string saved = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    int failed = 0;
    std::string first;
    for (int i = 0; i < 50; ++i) {
        cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("open.cxa"), "-QUIET"}, options);
        if (r.status != 0) {
            if (!failed++) first = r.out + r.err;
        }
    }
    if (saved.empty()) unsetenv("DISPLAY");
    else setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(failed, 0) << first;
}

// Flip with sync waits for the display's next frame: the player paces
// synced frames to the monitor's refresh (60 Hz on a virtual server that
// reports none), so 30 of them take at least 29 frame times.
TEST(PlayerX11, SyncedFlipsKeepTheMonitorsPace) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    cxtest::TempDir dir;
    cxe2e::WriteApplet(dir.Path("flip.cxa"), R"(
.source "=flip.cxs"
        GETGLOBAL 0 "createdisplay"
        LOADK 1 #1
        NEWTABLE 2 0 0
        SETTABLE 2 "width" #64
        SETTABLE 2 "height" #48
        CALL 0 3 1
        GETGLOBAL 0 "opendisplay"
        LOADK 1 #1
        CALL 0 2 1
        GETGLOBAL 0 "begindoublebuffer"
        CALL 0 1 1
        LOADK 10 #0
        LOADK 11 #30
        LOADK 12 #1
        JMP check
body:   GETGLOBAL 0 "flip"
        LOADK 1 #1
        CALL 0 2 1
check:  FORLOOP 10 body
        RETURN 0 1
)");
    cxe2e::RunOptions options;
    options.withDisplay = true;
    const auto start = std::chrono::steady_clock::now();
    cxe2e::RunResult r = cxe2e::RunPlayer({dir.Path("flip.cxa"), "-QUIET"}, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_GE(seconds, 29 / 60.0 - 0.01);
}

}  // namespace
