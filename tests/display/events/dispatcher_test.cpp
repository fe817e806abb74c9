// Handlers installed by the script, the dispatcher's order and one handler
// per call, and the WaitEvent/CheckEvent/CheckEvents commands.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "display/events/dispatcher.h"
#include "display/events/event_library.h"
#include "display/events/event_sources.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "platform/os_wake.h"
#include "tests/display/events/event_fixture.h"

namespace {

using cxtest::Events;
using cxtest::g_udp;
using cxtest::g_connect;
using cxtest::g_data;
using cxtest::g_close;

TEST_F(Events, CheckEventReturnsTheHandlersResults) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    ASSERT_EQ(PostEvent(d, 1, 10, 20, 1, nullptr), 1);
    ASSERT_EQ(Call("CheckEvent"), 0);
    ASSERT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(Field(1, "action"), "OnMouseDown");
    EXPECT_EQ(Field(1, "triggered"), "1");
    EXPECT_EQ(Field(1, "nresults"), "2");
    EXPECT_EQ(Field(1, "id"), "1");
    lua_pushstring(L, "results");
    lua_gettable(L, 1);
    ASSERT_TRUE(lua_istable(L, 2));
    lua_pushnumber(L, 0);
    lua_gettable(L, 2);
    EXPECT_STREQ(lua_tostring(L, -1), "a");
    lua_pushnumber(L, 1);
    lua_gettable(L, 2);
    EXPECT_EQ(lua_tonumber(L, -1), 7);
    EXPECT_EQ(Last("action"), "OnMouseDown");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_NE(Last("timestamp"), "<nil>");
    EXPECT_EQ(Last("x"), "<nil>"); // plain display messages carry no position
}

TEST_F(Events, CheckEventWithNothingQueued) {
    ASSERT_EQ(Call("CheckEvent"), 0);
    EXPECT_EQ(Field(1, "triggered"), "0");
    EXPECT_EQ(Field(1, "action"), "");
    EXPECT_EQ(Field(1, "nresults"), "0");
    EXPECT_EQ(Field(1, "results"), "<nil>");
}

TEST_F(Events, OneHandlerPerCallInTheDispatchersOrder) {
    ASSERT_EQ(Install({"onmousedown", "onmouseup", "onkeydown", "onmousemove", "onconnect", "onreceivedata",
                       "onreceiveudpdata", "ondisconnect", "sizewindow"}),
              0);
    PostEvent(d, 1, 1, 2, 1, nullptr);
    PostEvent(d, 7, 0, 0, 0, nullptr); // closewindow: not installed, consumed silently
    PostEvent(d, 3, 1, 0, 'q', nullptr);
    PostEvent(d, 5, 300, 200, 0, nullptr);
    PostEvent(d, 1, 1, 2, 0, nullptr);
    d->os.pointerMoved = 1;
    d->os.mouseX = 33;
    d->os.mouseY = 44;
    g_udp = g_connect = g_data = g_close = 1;
    const char *order[] = {"OnMouseMove", "OnReceiveUDPData", "OnConnect", "OnReceiveData", "OnDisconnect",
                           "OnMouseDown", "OnKeyDown", "SizeWindow", "OnMouseUp", ""};
    for (const char *want : order) {
        const int before = calls;
        EXPECT_EQ(CheckAction(), want);
        EXPECT_EQ(calls - before, *want ? 1 : 0) << want;
        if (!strcmp(want, "OnMouseMove")) {
            EXPECT_EQ(Last("x"), "33");
            EXPECT_EQ(Last("y"), "44");
            EXPECT_EQ(d->os.pointerMoved, 0u);
        }
        if (!strcmp(want, "OnConnect")) {
            EXPECT_EQ(Last("serverid"), "5");
            EXPECT_EQ(Last("clientid"), "6");
        }
        if (!strcmp(want, "OnReceiveUDPData")) {
            EXPECT_EQ(Last("id"), "41");
        }
        if (!strcmp(want, "OnKeyDown")) {
            EXPECT_EQ(Last("key"), "q");
        }
        if (!strcmp(want, "SizeWindow")) {
            EXPECT_EQ(Last("width"), "300");
            EXPECT_EQ(Last("height"), "200");
        }
    }
}

TEST_F(Events, CheckEventsServesEverythingQueued) {
    ASSERT_EQ(Install({"onmousedown", "onwheelup"}), 0);
    for (int i = 0; i < 5; i++) PostEvent(d, 1, 0, 0, 1, nullptr);
    PostEvent(d, 11, 0, 0, 0, nullptr);
    PostEvent(d, 2, 0, 0, 1, nullptr); // right button: no handler
    ASSERT_EQ(Call("CheckEvents"), 0);
    EXPECT_EQ(lua_gettop(L), 0);
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(Last("action"), "OnWheelUp");
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(Events, InstallEventHandlerTable) {
    // Not a table, and a field that is neither a function nor a number.
    EXPECT_EQ(Call("InstallEventHandler", [&] { lua_pushnumber(L, 1); }), ERR_TABEXPECTED);
    for (int bad = 0; bad < 2; bad++) {
        EXPECT_EQ(Call("InstallEventHandler",
                       [&] {
                           lua_newtable(L);
                           lua_pushstring(L, "onmousemove");
                           if (bad) lua_newtable(L); else lua_pushstring(L, "x");
                           lua_settable(L, -3);
                       }),
                  ERR_FUNCEXPECTED);
    }
    // User data travels with the handler; a number removes it; nil keeps.
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "onmousedown");
                       lua_pushstring(L, "h");
                       lua_gettable(L, LUA_GLOBALSINDEX);
                       lua_settable(L, -3);
                       lua_pushstring(L, "ud");
                   }),
              0);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(Last("userdata"), "ud");
    ASSERT_EQ(Install({}), 0);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "OnMouseDown"); // names are lower case
                       lua_pushnumber(L, 0);
                       lua_settable(L, -3);
                       lua_pushstring(L, "onmousedown");
                       lua_pushnumber(L, 0);
                       lua_settable(L, -3);
                   }),
              0);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    EXPECT_EQ(CheckAction(), "");
    EXPECT_EQ(d->handlers[CX_SLOT_ONMOUSEDOWN].function, -1);
    EXPECT_EQ(d->handlers[CX_SLOT_ONMOUSEDOWN].userData, -1);
}

TEST_F(Events, WaitEventInsideAHandlerIsWrongUsage) {
    ASSERT_EQ(Install({"onmousedown"}, "w"), 0);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    PostEvent(d, 1, 0, 0, 0, nullptr);
    EXPECT_EQ(Call("CheckEvent"), ERR_WRONGUSAGE);
    int nesting = -1;
    GetKernelTags(L, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_END);
    EXPECT_EQ(nesting, 0);
    // The failing handler's event is gone; the cycle goes on with the next.
    ASSERT_EQ(Install({"onmouseup"}), 0);
    EXPECT_EQ(CheckAction(), "OnMouseUp");
}

TEST_F(Events, HandlerThatClearsTheQueueOrRemovesItself) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    cxtest::ProbeBody() = [this](lua_State *Ls) {
        calls++;
        DropEvents(Ls, CX_EVENT_DROP_ALL, 1);
        luaL_unref(Ls, LUA_REGISTRYINDEX, d->handlers[CX_SLOT_ONMOUSEDOWN].function);
        d->handlers[CX_SLOT_ONMOUSEDOWN].function = -1;
        return 0;
    };
    for (int i = 0; i < 3; i++) PostEvent(d, 1, 0, 0, 1, nullptr);
    ASSERT_EQ(Call("CheckEvents"), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(Events, EndOfRunAndEventsOfFreedDisplays) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    ASSERT_EQ(Create(2), 0);
    cxDisplay *other = Display(2);
    PostEvent(other, 1, 0, 0, 1, nullptr);
    ASSERT_EQ(Cmd("FreeDisplay", {2}), 0);
    PostEvent(nullptr, 23, 0, 0, 0, nullptr);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    EXPECT_EQ(Call("CheckEvent"), ERR_USERABORT);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
}

std::atomic<int> g_posted;
int PostFromAnotherThread(lua_State *, void *arg) {
    // Would never finish if the dispatcher still held the queue mutex.
    std::thread t([arg] { g_posted = PostEvent(static_cast<cxDisplay *>(arg), 1, 0, 0, 1, nullptr); });
    t.join();
    return 0;
}

TEST_F(Events, InternalFunctionRunsWithTheQueueReleased) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    auto *f = static_cast<cxEventFunction *>(malloc(sizeof(cxEventFunction)));
    f->function = PostFromAnotherThread;
    f->argument = d;
    g_posted = 0;
    ASSERT_EQ(PostEvent(nullptr, 24, 0, 0, 0, f), 1);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(g_posted.load(), 1);
}

TEST_F(Events, WaitEventBlocksUntilAnotherThreadPosts) {
    ASSERT_EQ(Install({"onmouseup"}), 0);
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        PostEvent(d, 1, 0, 0, 0, nullptr);
        OsWakeMainThread();
    });
    const int err = Call("WaitEvent");
    poster.join();
    ASSERT_EQ(err, 0);
    EXPECT_EQ(Field(1, "action"), "OnMouseUp");
    EXPECT_EQ(calls, 1);
}

TEST(KeyText, NamesCharactersAndNonCharacters) {
    struct Case {
        uint32_t code;
        int raw;
        const char *text;
    } cases[] = {
        {'a', 0, "a"},          {0xE9, 0, "\xC3\xA9"}, {0x20AC, 1, "\xE2\x82\xAC"}, {0x1F600, 0, "\xF0\x9F\x98\x80"},
        {272, 0, "        "},   {272, 1, "TAB"},       {273, 0, "\n"},              {274, 1, "RETURN"},
        {276, 0, " "},          {276, 1, "SPACE"},     {275, 0, "ESC"},             {0xD800, 0, ""},
        {0x110000, 0, ""},      {0xFFFFFFFF, 1, ""},
    };
    for (const Case &c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        KeyEventText(c.code, c.raw, out);
        EXPECT_STREQ(out, c.text) << c.code;
    }
}

}  // namespace

namespace {

TEST_F(Events, InputStateAndQueueSettings) {
    d->os.mouseButtons[0] = 1;
    d->os.mouseButtons[2] = 5;
    struct Case {
        const char *command;
        double want;
    } cases[] = {{"IsLeftMouse", 1}, {"IsRightMouse", 0}, {"IsMidMouse", 1}};
    for (const Case &c : cases) {
        ASSERT_EQ(Call(c.command), 0) << c.command;
        EXPECT_EQ(lua_tonumber(L, 1), c.want) << c.command;
    }
    EXPECT_EQ(Call("SetEventTimeout", [&] { lua_pushnumber(L, 2500.7); }), 0);
    EXPECT_EQ(GetEventAgeLimit(), 2500u);
    EXPECT_EQ(Call("SetEventTimeout", [&] { lua_pushnumber(L, -1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(GetEventAgeLimit(), 2500u);
    SetEventAgeLimit(60000);
    PostEvent(d, 1, 0, 0, 1, nullptr);
    PostEvent(d, 3, 1, 0, 'x', nullptr);
    ASSERT_EQ(Call("FreeEventCache"), 0);
    EXPECT_EQ(Queued(), 0u);
    // Without a current display there is nothing to read.
    SetCurrentDisplayRecord(nullptr);
    EXPECT_EQ(Call("MouseX"), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("IsLeftMouse"), ERR_WRONGUSAGE);
}

}  // namespace

namespace {

// A network handler keeps the shared tick claimed: WaitEvent then wakes by
// itself and finds the connection the network layer reports late.
TEST_F(Events, NetworkHandlerWakesTheWaitThroughTheTick) {
    ASSERT_EQ(Install({"onreceivedata"}), 0);
    std::atomic<bool> ready{false};
    static std::atomic<bool> *s_ready;
    s_ready = &ready;
    static const cxNetEventSource late = {nullptr, nullptr,
                                          [](cxObjectID *id) {
                                              if (!s_ready->exchange(false)) return 0;
                                              *id = {9, nullptr};
                                              return 1;
                                          },
                                          nullptr};
    SetNetEventSource(&late);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ready = true; // no event posted, no wake-up: only the tick finds it
    });
    const int err = Call("WaitEvent");
    t.join();
    ASSERT_EQ(err, 0);
    EXPECT_EQ(Field(1, "action"), "OnReceiveData");
    EXPECT_EQ(Field(1, "id"), "9");
    // Removing the handler gives the tick back; installing twice claims once.
    ASSERT_EQ(Call("InstallEventHandler",
                   [&] {
                       lua_newtable(L);
                       lua_pushstring(L, "onreceivedata");
                       lua_pushnumber(L, 0);
                       lua_settable(L, -3);
                   }),
              0);
}

// An error inside a handler is reported where it happened, with the
// command that failed there, not at the WaitEvent that ran the handler.
TEST_F(Events, AnErrorInAHandlerKeepsItsOwnLineAndCommand) {
    struct Case {
        const char *name;
        const char *arm; // code at line 2 that makes "bad" run
        bool postMouse;
    };
    const Case cases[] = {
        {"installed handler", R"(
        GETGLOBAL 0 "installeventhandler"
        NEWTABLE 1 0 0
        GETGLOBAL 2 "bad"
        SETTABLE 1 "onmousedown" 2
        CALL 0 2 1
)", true},
        {"interval", R"(
        GETGLOBAL 0 "setinterval"
        LOADK 1 #3
        GETGLOBAL 2 "bad"
        LOADK 3 #5
        CALL 0 4 1
)", false},
        {"timeout", R"(
        GETGLOBAL 0 "settimeout"
        LOADK 1 #3
        GETGLOBAL 2 "bad"
        LOADK 3 #5
        CALL 0 4 1
)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string chunk = std::string(R"(
.source "=handlers.cxs"
.function bad
.params 1
.line 20
        GETGLOBAL 1 "peek"
        CALL 1 1 1
        RETURN 0 1
.end
.line 1
        CLOSURE 0 bad
        SETGLOBAL 0 "bad"
.line 2
)") + c.arm + R"(
.line 4
        GETGLOBAL 0 "waitevent"
        CALL 0 1 1
        RETURN 0 1
)";
        if (c.postMouse) PostEvent(d, 1, 0, 0, 1, nullptr);
        EXPECT_EQ(RunAsm(chunk), ERR_MISSINGPARAMTR);
        EXPECT_EQ(GetErrorPosition()->line, 20);
        EXPECT_STREQ(GetErrorPosition()->command, "Peek");
        EXPECT_STREQ(GetErrorPosition()->source, "=handlers.cxs");
        CleanupEvents(L);
    }
    // The same error raised afterwards by a command itself is reported
    // at that command.
    ASSERT_EQ(RunAsm(R"(
.source "=own.cxs"
.line 9
        GETGLOBAL 0 "waitevent"
        LOADK 1 "not a number"
        CALL 0 2 1
        RETURN 0 1
)"),
              ERR_TOOMANYARGS);
    EXPECT_EQ(GetErrorPosition()->line, 9);
    EXPECT_STREQ(GetErrorPosition()->command, "WaitEvent");
    ASSERT_EQ(RunAsm(".source \"=own.cxs\"\n.line 11\n GETGLOBAL 0 \"peek\"\n CALL 0 1 1\n RETURN 0 1\n"),
              ERR_MISSINGPARAMTR);
    EXPECT_EQ(GetErrorPosition()->line, 11);
}

}  // namespace
