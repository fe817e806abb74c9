// Real input through the X server: clicks injected with XTest reach the
// mouse waits and the script's handlers.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "display/events/event_library.h"
#include "engine/events/event_queue.h"
#include "tests/display/displays/display_fixture.h"

namespace {

const char *const kScript = R"(
.function h
.params 1
        SETGLOBAL 0 "lastmsg"
        RETURN 0 1
.end
        CLOSURE 0 h
        SETGLOBAL 0 "h"
        RETURN 0 1
)";

class EventsX11 : public cxtest::DisplayTest {
protected:
    cxDisplay *d = nullptr;
    ::Display *tdpy = nullptr;

    void SetUp() override {
        SetScriptLibraryOpener("event", OpenEventLibrary);
        cxtest::DisplayTest::SetUp();
        if (!HaveX()) GTEST_SKIP() << "no X server";
        ASSERT_EQ(InitKernel(), 0);
        ASSERT_EQ(Create(1, {{"width", 200.0}, {"height", 150.0}}), 0);
        ASSERT_EQ(Cmd("OpenDisplay", {1}), 0);
        ASSERT_EQ(Cmd("SelectDisplay", {1}), 0);
        d = Display(1);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(RunAsm(kScript), 0);
        tdpy = XOpenDisplay(nullptr);
        ASSERT_NE(tdpy, nullptr);
    }
    void TearDown() override {
        if (tdpy) XCloseDisplay(tdpy);
        CleanupEvents(L);
        SetScriptLibraryOpener("event", nullptr);
        FreeEventQueue(L);
        cxtest::DisplayTest::TearDown();
    }
    // From another thread after a pause: pointer into the window, click.
    std::thread ClickLater(int x, int y) {
        const Window win = OsGetDisplayWindow(&d->os)->window;
        return std::thread([this, win, x, y] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            XWarpPointer(tdpy, None, win, 0, 0, 0, 0, x, y);
            XSync(tdpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            XTestFakeButtonEvent(tdpy, 1, True, 0);
            XSync(tdpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            XTestFakeButtonEvent(tdpy, 1, False, 0);
            XSync(tdpy, False);
        });
    }
};

TEST_F(EventsX11, WaitEventReturnsAfterAClick) {
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "onmousedown");
                       lua_pushstring(L, "h");
                       lua_gettable(L, LUA_GLOBALSINDEX);
                       lua_settable(L, -3);
                   }),
              0);
    std::thread t = ClickLater(40, 30);
    const int err = Call("WaitEvent");
    t.join();
    ASSERT_EQ(err, 0);
    lua_pushstring(L, "action");
    lua_gettable(L, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "OnMouseDown");
    ASSERT_EQ(Call("MouseX"), 0);
    EXPECT_EQ(lua_tonumber(L, 1), 40);
    ASSERT_EQ(Call("MouseY"), 0);
    EXPECT_EQ(lua_tonumber(L, 1), 30);
}

TEST_F(EventsX11, WaitLeftMouseSwallowsTheClick) {
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "onmouseup");
                       lua_pushstring(L, "h");
                       lua_gettable(L, LUA_GLOBALSINDEX);
                       lua_settable(L, -3);
                   }),
              0);
    std::thread t = ClickLater(60, 50);
    const int err = Call("WaitLeftMouse");
    t.join();
    ASSERT_EQ(err, 0);
    EXPECT_EQ(d->os.mouseButtons[0], 0u);
    // The release that ended the wait reaches no handler.
    ASSERT_EQ(Call("CheckEvent"), 0);
    lua_pushstring(L, "triggered");
    lua_gettable(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 0);
}

// Keys typed through the server: another key does not end the wait, the
// named key's press and release do, and the queue is empty afterwards.
TEST_F(EventsX11, WaitKeyDownWaitsForTheNamedKey) {
    const Window win = OsGetDisplayWindow(&d->os)->window;
    const KeyCode j = XKeysymToKeycode(tdpy, XK_j), k = XKeysymToKeycode(tdpy, XK_k);
    std::atomic<bool> typedK{false};
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XWarpPointer(tdpy, None, win, 0, 0, 0, 0, 20, 20);
        XSetInputFocus(tdpy, win, RevertToPointerRoot, CurrentTime);
        XSync(tdpy, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (KeyCode code : {j, k}) {
            if (code == k) typedK = true;
            XTestFakeKeyEvent(tdpy, code, True, 0);
            XSync(tdpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            XTestFakeKeyEvent(tdpy, code, False, 0);
            XSync(tdpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const int err = Call("WaitKeyDown", [&] { lua_pushstring(L, "k"); });
    const bool afterK = typedK.load();
    t.join();
    ASSERT_EQ(err, 0);
    EXPECT_TRUE(afterK) << "j alone ended the wait";
    EXPECT_EQ(d->os.keyStates['k'], 0);
    cxEventInfo info{};
    EXPECT_EQ(FetchEvent(L, 0, &info, 0), 0u);
}

}  // namespace
