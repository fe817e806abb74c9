// Legacy event labels: clicks, keys and window events that make a waiting
// command jump to a label of the main chunk, which returns to the wait.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "display/events/event_sources.h"
#include "display/events/legacy_events.h"
#include "window/x11/os_display.h"
#include "tests/display/events/event_fixture.h"
#include "tools/cxasm/asm_text.h"

namespace {

using cxtest::Events;

// A label that calls Probe, then appends "tag:<event code> " to "trace".
std::string TraceLabel(const std::string &name, const std::string &tag) {
    return name + ":\n"
           "        GETGLOBAL 1 \"probe\"\n"
           "        CALL 1 1 1\n"
           "        GETGLOBAL 1 \"trace\"\n"
           "        LOADK 2 \"" + tag + ":\"\n"
           "        GETGLOBAL 3 \"geteventcode\"\n"
           "        CALL 3 1 2\n"
           "        LOADK 4 \" \"\n"
           "        CONCAT 1 1 4\n"
           "        SETGLOBAL 1 \"trace\"\n"
           "        RETSUB\n";
}

class Legacy : public Events {
protected:
    void TearDown() override {
        // Tests that fake an open display put it back before it is freed.
        if (d) d->os.state = CX_DISPLAY_CLOSED;
        Events::TearDown();
    }
    // Runs a main chunk that calls `command` once, keeps its first result in
    // "result" and has the given labels (name, tag); the labels are
    // registered as an applet's would be.
    int RunMain(const char *command, const std::vector<std::pair<std::string, std::string>> &labels) {
        std::string text = "        LOADK 0 \"\"\n"
                           "        SETGLOBAL 0 \"trace\"\n"
                           "        GETGLOBAL 0 \"" + std::string(command) + "\"\n"
                           "        CALL 0 1 2\n"
                           "        SETGLOBAL 0 \"result\"\n"
                           "        RETURN 0 1\n";
        for (const auto &[name, tag] : labels) text += TraceLabel(name, tag);
        return RunRegistered(text);
    }
    int RunRegistered(const std::string &text) {
        for (const auto &[name, at] : cxasm::mainLabels(text)) luaL_setlabel(L, name.c_str(), at);
        return RunAsm(text);
    }
    std::string Global(const char *name) {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        std::string s = lua_isnil(L, -1) ? "<nil>" : lua_tostring(L, -1);
        lua_settop(L, 0);
        return s;
    }
    // The "action" of the table the command left in "result".
    std::string ResultAction() {
        lua_settop(L, 0);
        lua_pushstring(L, "result");
        lua_gettable(L, LUA_GLOBALSINDEX);
        std::string s = lua_istable(L, 1) ? Field(1, "action") : "<no table>";
        lua_settop(L, 0);
        return s;
    }
    int Button(double id, double x1, double y1, double x2, double y2, const char *command = "CreateButton") {
        return Cmd(command, {id, x1, y1, x2, y2});
    }
    int KeyDown(double id, const char *key, const char *command = "CreateKeyDown") {
        return Call(command, [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, key);
        });
    }
    void Click(int32_t x, int32_t y, uint32_t type = 1, uint32_t pressed = 1) {
        PostEvent(d, type, uint32_t(x), uint32_t(y), pressed, nullptr);
    }
    void Key(uint32_t code, uint32_t down = 1) { PostEvent(d, 3, down, 0, code, nullptr); }
    // Makes the display count as open, with the pointer at x, y.
    void OpenWithPointer(int32_t x, int32_t y) {
        d->os.state = CX_DISPLAY_SHOWN;
        d->os.mouseX = x;
        d->os.mouseY = y;
    }
};

TEST_F(Legacy, ClicksInsideTheRectangleJumpToTheLabels) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    ASSERT_EQ(Button(1, 10, 20, 19, 24), 0);
    Click(20, 22);    // right of x2: the display's handler would take it
    Click(15, 22, 1, 0); // a release
    Click(19, 24);    // the inclusive corner
    Click(10, 20, 2); // right button
    Click(9, 20, 2);  // left of x1
    ASSERT_EQ(RunMain("checkevent", {{"ONBUTTONCLICK1", "click1"}, {"ONBUTTONRIGHTCLICK1", "right1"}}), 0);
    EXPECT_EQ(Global("trace"), "click1:1 right1:1 ");
    // The events before a match go with it: only the last miss is left,
    // and nothing handles a right press.
    EXPECT_EQ(calls, 2) << "the labels' own probes only";
    EXPECT_EQ(ResultAction(), "");
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(Legacy, WaitEventGoesOnWaitingAfterTheLabel) {
    ASSERT_EQ(Install({"onkeydown"}), 0);
    ASSERT_EQ(Button(3, 0, 0, 99, 99), 0);
    Click(50, 50);
    Key('x');
    ASSERT_EQ(RunMain("waitevent", {{"ONBUTTONCLICK3", "c"}}), 0);
    EXPECT_EQ(Global("trace"), "c:3 ");
    EXPECT_EQ(ResultAction(), "OnKeyDown") << "the wait that resumed served the key";
}

TEST_F(Legacy, KeyDownsMatchTheKeyNameWithoutRegardToCase) {
    struct Case {
        const char *key;
        uint32_t code;
        bool fires;
    } cases[] = {
        {"a", 'a', true},       {"A", 'a', true},       {"b", 'a', false},  {"esc", 275, true},
        {"TAB", 272, true},     {"SPACE", 276, true},   {"F12", 279, true}, {"\xc3\xa9", 0xE9, true},
        {"ESC", 'e', false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_EQ(Call("ClearEvents"), 0);
        ASSERT_EQ(KeyDown(2, c.key), 0);
        Key(c.code, 0); // a release never fires
        Key(c.code);
        ASSERT_EQ(RunMain("checkevent", {{"ONKEYDOWN2", "k"}}), 0);
        EXPECT_EQ(Global("trace"), c.fires ? "k:2 " : "");
        DropEvents(L, CX_EVENT_DROP_ALL, 1);
    }
}

TEST_F(Legacy, AllSwitchesAndEnabling) {
    ASSERT_EQ(Button(7, 0, 0, 9, 9), 0);
    ASSERT_EQ(KeyDown(8, "q"), 0);
    const std::vector<std::pair<std::string, std::string>> labels = {
        {"ONBUTTONCLICK7", "c7"}, {"ONBUTTONCLICKALL", "call"}, {"ONKEYDOWN8", "k8"}, {"ONKEYDOWNALL", "kall"}};
    ASSERT_EQ(Cmd("EnableEvent", {11, 0}), 0);
    ASSERT_EQ(Cmd("EnableEvent", {14, 0}), 0);
    Click(5, 5);
    Key('q');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "call:7 kall:8 ") << "the ALL label, the entry's id as code";

    ASSERT_EQ(Cmd("DisableEvent", {11, 0}), 0);
    ASSERT_EQ(Cmd("DisableEvent", {14, 0}), 0);
    ASSERT_EQ(Cmd("DisableEvent", {3, 8}), 0);
    Click(5, 5);
    Key('q');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "c7:7 ") << "the disabled key-down stays quiet";
    EXPECT_EQ(Queued(), 0u);

    ASSERT_EQ(Cmd("EnableEvent", {3, 8}), 0);
    ASSERT_EQ(Cmd("DisableEvent", {2, 99}), 0) << "an id that matches nothing";
    Key('q');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "k8:8 ");
}

TEST_F(Legacy, AMissingLabelLeavesTheEventToTheNextEntryOrItsHandler) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    ASSERT_EQ(Button(1, 0, 0, 50, 50), 0);
    ASSERT_EQ(Button(2, 10, 10, 20, 20), 0);
    Click(15, 15);
    ASSERT_EQ(RunMain("checkevent", {{"ONBUTTONCLICK2", "c2"}}), 0);
    EXPECT_EQ(Global("trace"), "c2:2 ");
    Click(40, 40);
    ASSERT_EQ(RunMain("checkevent", {}), 0);
    EXPECT_EQ(Global("trace"), "");
    EXPECT_EQ(ResultAction(), "OnMouseDown");
}

TEST_F(Legacy, ModifyRemoveAndClear) {
    const std::vector<std::pair<std::string, std::string>> labels = {
        {"ONBUTTONCLICK1", "c1"}, {"ONKEYDOWN1", "k1"}, {"ONBUTTONRIGHTCLICK1", "r1"}};
    ASSERT_EQ(Button(1, 0, 0, 9, 9), 0);
    ASSERT_EQ(KeyDown(1, "a"), 0);
    ASSERT_EQ(Button(1, 100, 100, 109, 109, "ModifyButton"), 0);
    ASSERT_EQ(KeyDown(1, "b", "ModifyKeyDown"), 0);
    ASSERT_EQ(Button(5, 0, 0, 1, 1, "ModifyButton"), 0) << "ignored";
    ASSERT_EQ(KeyDown(5, "c", "ModifyKeyDown"), 0) << "ignored";
    Click(5, 5);
    Click(105, 105);
    Key('a');
    Key('b');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "c1:1 k1:1 ");

    ASSERT_EQ(Cmd("RemoveButton", {1}), 0);
    ASSERT_EQ(Cmd("RemoveButton", {1}), 0) << "gone already: ignored";
    ASSERT_EQ(Cmd("RemoveKeyDown", {4}), 0);
    Click(105, 105);
    Click(105, 105, 2);
    Key('b');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "k1:1 ");

    ASSERT_EQ(Call("ClearEvents"), 0);
    EXPECT_FALSE(HasLegacyEvents());
    Key('b');
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "");
}

TEST_F(Legacy, WindowEventLabelsAndTheCloseFlag) {
    const struct {
        const char *name;
        uint32_t event;
    } cases[] = {{"MOVEWINDOW", 4}, {"SizeWindow", 5}, {"INACTIVEWINDOW", 6}, {"ACTIVEWINDOW", 8}, {"CLOSEWINDOW", 7}};
    const cxOsDisplayHooks *hooks = OsGetDisplayHooks();
    ASSERT_NE(hooks->hasHandler, nullptr);
    EXPECT_EQ(hooks->hasHandler(d, CX_OS_HANDLER_CLOSE), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(AddLegacyEventByName(L, c.name), 0);
        PostEvent(d, c.event, 0, 0, 0, nullptr);
        ASSERT_EQ(RunMain("checkevent", {{c.name, "w"}}), 0);
        EXPECT_EQ(Global("trace"), "w:0 ");
        ASSERT_EQ(Call("ClearEvents"), 0);
    }
    EXPECT_EQ(hooks->hasHandler(d, CX_OS_HANDLER_CLOSE), 1) << "a CLOSEWINDOW label keeps the run going";
    ASSERT_EQ(Cmd("DisableEvent", {10, 0}), 0);
    EXPECT_EQ(hooks->hasHandler(d, CX_OS_HANDLER_CLOSE), 0);
    ASSERT_EQ(Cmd("EnableEvent", {10, 0}), 0);
    EXPECT_EQ(hooks->hasHandler(d, CX_OS_HANDLER_CLOSE), 1);

    // An ALL name declared by the applet switches its pass on; other
    // names are no events.
    ASSERT_EQ(AddLegacyEventByName(L, "onbuttonclickall"), 0);
    ASSERT_EQ(AddLegacyEventByName(L, "START"), 0);
    ASSERT_EQ(Button(4, 0, 0, 9, 9), 0);
    Click(1, 1);
    ASSERT_EQ(RunMain("checkevent", {{"ONBUTTONCLICKALL", "all"}}), 0);
    EXPECT_EQ(Global("trace"), "all:4 ");
}

TEST_F(Legacy, ButtonOverFiresWhileThePointerIsOnIt) {
    ASSERT_EQ(Button(6, 10, 10, 19, 19), 0);
    // The label moves the pointer away, else it would fire on every call.
    cxtest::ProbeBody() = [this](lua_State *) {
        calls++;
        d->os.mouseX = 200;
        return 0;
    };
    const std::vector<std::pair<std::string, std::string>> labels = {{"ONBUTTONOVER6", "over"}};
    d->os.mouseX = d->os.mouseY = 15;
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "") << "a closed display has no pointer";
    OpenWithPointer(19, 19);
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "over:6 ");
    ASSERT_EQ(RunMain("checkevent", labels), 0);
    EXPECT_EQ(Global("trace"), "");
    // Clicks are served before the pointer; the second label moves it away.
    int labelCalls = 0;
    cxtest::ProbeBody() = [&](lua_State *) {
        if (++labelCalls == 2) d->os.mouseX = 200;
        return 0;
    };
    OpenWithPointer(15, 15);
    Click(12, 12);
    ASSERT_EQ(RunMain("checkevent", {{"ONBUTTONOVER6", "over"}, {"ONBUTTONCLICK6", "click"}}), 0);
    EXPECT_EQ(Global("trace"), "click:6 over:6 ");
}

TEST_F(Legacy, WhileMouseOnServesLabelsUntilThePointerLeaves) {
    ASSERT_EQ(Button(1, 10, 10, 19, 19), 0);
    OpenWithPointer(15, 15);
    // Nothing has been under the pointer yet.
    ASSERT_EQ(RunMain("whilemouseon", {}), 0);
    ASSERT_EQ(MatchLegacyOverLabel(L), 0) << "no label, but button 1 is now under the pointer";

    // A click label jumps out of the wait and returns into it; the over
    // label is not tried from inside the wait.
    cxtest::ProbeBody() = [this](lua_State *) {
        calls++;
        d->os.mouseX = 200;
        return 0;
    };
    Click(15, 15);
    ASSERT_EQ(RunMain("whilemouseon", {{"ONBUTTONCLICK1", "c"}, {"ONBUTTONOVER1", "over"}}), 0);
    EXPECT_EQ(Global("trace"), "c:1 ");

    // A handler that breaks the wait ends it with the pointer still on.
    OpenWithPointer(15, 15);
    ASSERT_EQ(Install({"onkeyup"}), 0);
    cxtest::ProbeBody() = [this](lua_State *L) {
        calls++;
        return CmdBreakWhileMouseOn(L);
    };
    Key('z', 0);
    ASSERT_EQ(RunMain("whilemouseon", {}), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Queued(), 0u);

    // Removing the button forgets it too.
    MatchLegacyOverLabel(L);
    ASSERT_EQ(Cmd("RemoveButton", {1}), 0);
    ASSERT_EQ(RunMain("whilemouseon", {}), 0);
}

TEST_F(Legacy, WhileKeyDownReturnsOnceTheKeyIsUp) {
    ASSERT_EQ(RunMain("whilekeydown", {}), 0) << "no key-down has fired";
    ASSERT_EQ(KeyDown(1, "k"), 0);
    Key('k');
    ASSERT_EQ(RunMain("checkevent", {{"ONKEYDOWN1", "k"}}), 0);
    EXPECT_EQ(GetLegacyKeyCode(), uint32_t('k'));
    d->os.keyStates['k'] = 0;
    ASSERT_EQ(RunMain("whilekeydown", {}), 0);
}

// A label belongs to the main chunk: a wait inside a function must not
// jump into the function's own code.
TEST_F(Legacy, ALabelSelectedInsideAFunctionIsAnError) {
    ASSERT_EQ(Button(1, 0, 0, 9, 9), 0);
    Click(1, 1);
    const std::string text = R"(
.function f
        GETGLOBAL 0 "checkevent"
        CALL 0 1 1
        LOADNIL 1 1
        LOADNIL 1 1
        LOADNIL 1 1
        LOADNIL 1 1
        LOADNIL 1 1
        LOADNIL 1 1
        RETURN 0 1
.end
        LOADK 0 ""
        SETGLOBAL 0 "trace"
        CLOSURE 0 f
        CALL 0 1 1
        RETURN 0 1
)" + TraceLabel("ONBUTTONCLICK1", "c");
    EXPECT_EQ(RunRegistered(text), ERR_FUNCJMP);
    EXPECT_EQ(Global("trace"), "");
    // Called from C there is nowhere to jump: no results, no error.
    Click(1, 1);
    EXPECT_EQ(Call("CheckEvent"), 0);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Legacy, ArgumentErrors) {
    const struct {
        const char *command;
        std::function<void()> push;
        int code;
    } cases[] = {
        {"CreateButton", [&] { for (int i = 0; i < 4; i++) lua_pushnumber(L, 1); }, ERR_MISSINGPARAMTR},
        {"CreateButton", [&] { for (int i = 0; i < 6; i++) lua_pushnumber(L, 1); }, ERR_TOOMANYARGS},
        {"CreateButton",
         [&] {
             lua_pushstring(L, "one");
             for (int i = 0; i < 4; i++) lua_pushnumber(L, 1);
         },
         ERR_NUMEXPECTED},
        {"ModifyButton",
         [&] {
             for (int i = 0; i < 4; i++) lua_pushnumber(L, 1);
             lua_newtable(L);
         },
         ERR_NUMEXPECTED},
        {"CreateKeyDown",
         [&] {
             lua_pushnumber(L, 1);
             lua_newtable(L);
         },
         ERR_STREXPECTED},
        {"ModifyKeyDown", [&] { lua_pushnumber(L, 1); }, ERR_MISSINGPARAMTR},
        {"RemoveKeyDown", [&] { lua_pushstring(L, "x"); }, ERR_NUMEXPECTED},
        {"EnableEvent", [&] { lua_pushnumber(L, 2); }, ERR_MISSINGPARAMTR},
        {"DisableEvent",
         [&] {
             lua_pushnil(L);
             lua_pushnumber(L, 1);
         },
         ERR_NUMEXPECTED},
        {"GetEventCode", [&] { lua_pushnumber(L, 1); }, ERR_TOOMANYARGS},
        {"WhileMouseOn", [&] { lua_pushnumber(L, 1); }, ERR_TOOMANYARGS},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(Call(c.command, c.push), c.code);
    }
    EXPECT_FALSE(HasLegacyEvents()) << "nothing made by a failed call";
    ASSERT_EQ(Call("GetEventCode"), 0);
    EXPECT_EQ(Num(1), 0);
}

}  // namespace
