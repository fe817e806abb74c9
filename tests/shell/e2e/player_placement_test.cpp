// The player binary under X: a display with "rememberposition" opens in the
// next run where the user left it (moved and resized), unless the command
// line overrides stored placements.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"
#include "tools/cxasm/asm_text.h"

// Last: Xlib's macros (None, Status) clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Tests may run side by side on one server: each window has a title of
// its own.
std::string &Title() {
    static std::string title;
    return title;
}

struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
};

Window FindNamed(Display *dpy, Window w) {
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        const bool match = name == Title();
        XFree(name);
        if (match) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n && !found; ++i) found = FindNamed(dpy, children[i]);
        if (children) XFree(children);
    }
    return found;
}

Geometry WindowGeometry() {
    Geometry g;
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) return g;
    if (Window w = FindNamed(dpy, DefaultRootWindow(dpy))) {
        XWindowAttributes a;
        Window child;
        if (XGetWindowAttributes(dpy, w, &a) &&
            XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &g.x, &g.y, &child)) {
            g.width = a.width;
            g.height = a.height;
        }
    }
    XCloseDisplay(dpy);
    return g;
}

// Moves and resizes the window as a window manager does for the user.
void MoveResizeWindow(int x, int y, int width, int height) {
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) return;
    if (Window w = FindNamed(dpy, DefaultRootWindow(dpy))) XMoveResizeWindow(dpy, w, x, y, width, height);
    XSync(dpy, False);
    XCloseDisplay(dpy);
}

class PlayerPlacement : public ::testing::Test {
protected:
    cxtest::TempDir dir_;
    std::string savedHome_;
    bool hadHome_ = false;

    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        Title() = std::string("Placement ") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + " " +
                  std::to_string(getpid());
        if (const char *h = getenv("HOME")) hadHome_ = true, savedHome_ = h;
        // The player keeps its preferences under HOME: a private one.
        std::filesystem::create_directory(dir_.Path("home"));
        setenv("HOME", dir_.Path("home").c_str(), 1);
    }
    void TearDown() override {
        if (hadHome_) setenv("HOME", savedHome_.c_str(), 1);
        else unsetenv("HOME");
    }
    std::string Applet(const std::string &file, const std::string &source, bool remember) {
        cxtools::DeclaredItem display;
        display.type = 21;
        display.id = 1;
        display.name = Title();
        display.tags = {{"width", 1, 200, ""}, {"height", 1, 100, ""}, {"sizeable", 1, 1, ""}};
        if (remember) display.tags.push_back({"rememberposition", 1, 1, ""});
        const std::vector<uint8_t> chunk = cxasm::assembleText(source);
        cxtools::AppletWriter writer;
        writer.AddIdentifier("placement.e2e");
        writer.AddItem(display);
        writer.AddMainChunk(cxtools::Bytes(chunk.begin(), chunk.end()));
        const std::string path = dir_.Path(file);
        EXPECT_TRUE(writer.Write(path));
        return path;
    }
    std::string PrefsFile() const { return dir_.Path("home/.calyxtone-data/preferences/placement.e2e"); }
    // Runs an applet that shows READY and waits; the window is measured
    // then, and the run ended as a user would.
    Geometry Measure(const std::string &applet, std::vector<std::string> extra = {},
                     std::function<void()> before = nullptr) {
        Geometry g;
        cxe2e::RunOptions options;
        options.withDisplay = true;
        options.waitFor = "READY";
        options.onOutput = [&](pid_t pid) {
            if (before) before();
            g = WindowGeometry();
            kill(pid, SIGINT);
        };
        options.timeoutSeconds = 30;
        std::vector<std::string> args{applet, "-QUIET", "-FORCEFLUSH"};
        args.insert(args.end(), extra.begin(), extra.end());
        const cxe2e::RunResult r = cxe2e::RunPlayer(args, options);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_FALSE(r.timedOut);
        return g;
    }
};

// Moves and resizes its display, then ends.
const char kMoveAndResize[] = R"(
.source "=move.cxs"
        GETGLOBAL 0 "movedisplay"
        LOADK 1 #300
        LOADK 2 #200
        CALL 0 3 1
        GETGLOBAL 0 "changedisplaysize"
        LOADK 1 #260
        LOADK 2 #140
        CALL 0 3 1
        RETURN 0 1
)";

std::string WaitSource() {
    return std::string(".source \"=wait.cxs\"\n        LOADK 0 \"READY\"\n") + cxe2e::ShowString(0) +
           "again:  JMP again\n        RETURN 0 1\n";
}

TEST_F(PlayerPlacement, AMovedAndResizedWindowReopensWhereItWasLeft) {
    const std::string move = Applet("move.cxa", kMoveAndResize, true);
    const std::string wait = Applet("wait.cxa", WaitSource(), true);
    // Nothing stored yet: the declared size, centred.
    Geometry first = Measure(wait);
    EXPECT_EQ(first.width, 200);
    EXPECT_EQ(first.height, 100);

    cxe2e::RunOptions options;
    options.withDisplay = true;
    const cxe2e::RunResult moved = cxe2e::RunPlayer({move, "-QUIET"}, options);
    ASSERT_EQ(moved.status, 0) << moved.out;
    ASSERT_TRUE(std::filesystem::exists(PrefsFile()));

    Geometry again = Measure(wait);
    EXPECT_EQ(again.x, 300);
    EXPECT_EQ(again.y, 200);
    EXPECT_EQ(again.width, 260);
    EXPECT_EQ(again.height, 140);

    // The command line can override what was stored; the store stays.
    Geometry overridden = Measure(wait, {"-OVERRIDEPLACEMENT"});
    EXPECT_EQ(overridden.width, 200);
    EXPECT_EQ(overridden.height, 100);
    // Back where the declaration puts it (centred on this server's screen,
    // which on an 800-pixel screen is also x 300).
    EXPECT_EQ(overridden.x, first.x);
    EXPECT_EQ(overridden.y, first.y);
    // The overriding run left its window where the script put it, and that
    // is now the stored place.
    Geometry after = Measure(wait);
    EXPECT_EQ(after.x, overridden.x);
    EXPECT_EQ(after.width, 200);
}

TEST_F(PlayerPlacement, TheUsersMoveAndResizeAreRemembered) {
    const std::string wait = Applet("wait.cxa", WaitSource(), true);
    Geometry user = Measure(wait, {}, [] {
        MoveResizeWindow(120, 90, 330, 210);
        // The player takes the change on its next pump turns.
        for (int i = 0; i < 50 && WindowGeometry().width != 330; ++i) usleep(20000);
        usleep(300000);
    });
    EXPECT_EQ(user.width, 330);
    Geometry again = Measure(wait);
    EXPECT_EQ(again.x, 120);
    EXPECT_EQ(again.y, 90);
    EXPECT_EQ(again.width, 330);
    EXPECT_EQ(again.height, 210);
}

TEST_F(PlayerPlacement, DisplaysThatDoNotRememberStoreNothing) {
    const std::string move = Applet("move.cxa", kMoveAndResize, false);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    ASSERT_EQ(cxe2e::RunPlayer({move, "-QUIET"}, options).status, 0);
    EXPECT_FALSE(std::filesystem::exists(PrefsFile()));
}

// The server closes the player's connection (as xkill or a server going
// away does): the run ends with the system's error, through the normal
// clean-up, which still stores where the user left the window.
TEST_F(PlayerPlacement, ALostConnectionEndsTheRunThroughTheCleanUp) {
    const std::string wait = Applet("wait.cxa", WaitSource(), true);
    cxe2e::RunOptions options;
    options.withDisplay = true;
    options.waitFor = "READY";
    options.timeoutSeconds = 30;
    options.onOutput = [&](pid_t) {
        MoveResizeWindow(110, 80, 310, 190);
        for (int i = 0; i < 50 && WindowGeometry().width != 310; ++i) usleep(20000);
        usleep(300000);
        Display *dpy = XOpenDisplay(nullptr);
        if (!dpy) return;
        if (Window w = FindNamed(dpy, DefaultRootWindow(dpy))) XKillClient(dpy, w);
        XSync(dpy, False);
        XCloseDisplay(dpy);
    };
    const cxe2e::RunResult r = cxe2e::RunPlayer({wait, "-QUIET", "-FORCEFLUSH"}, options);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot open connection to X server!"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
    Geometry again = Measure(wait);
    EXPECT_EQ(again.x, 110);
    EXPECT_EQ(again.y, 80);
    EXPECT_EQ(again.width, 310);
    EXPECT_EQ(again.height, 190);
}

// A damaged or foreign store is no store: the declared placement holds.
TEST_F(PlayerPlacement, ADamagedStoreIsIgnored) {
    std::filesystem::create_directories(dir_.Path("home/.calyxtone-data/preferences"));
    for (const std::string &bytes : {std::string("PRFS\xff\x01garbage", 13), std::string("not prefs")}) {
        std::ofstream(PrefsFile(), std::ios::binary | std::ios::trunc) << bytes;
        Geometry g = Measure(Applet("wait.cxa", WaitSource(), true));
        EXPECT_EQ(g.width, 200);
        EXPECT_EQ(g.height, 100);
    }
}

}  // namespace
