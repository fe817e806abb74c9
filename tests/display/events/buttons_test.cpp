// Buttons of the current BGPic: presses and releases on them, the
// display's own handler first, over and out, and bad event tables.
#include <gtest/gtest.h>

#include "display/events/buttons.h"
#include "tests/display/events/event_fixture.h"

namespace {

using cxtest::Events;

class Buttons : public Events {
protected:
    // MakeButton(id, SIMPLEBUTTON, x, y, w, h, {each name = h}); id < 0: Nil.
    int Make(double id, double x, double y, double w, double h, std::initializer_list<const char *> names,
             int type = 0) {
        return Call("MakeButton", [&] {
            if (id < 0)
                lua_pushnil(L);
            else
                lua_pushnumber(L, id);
            lua_pushnumber(L, type);
            lua_pushnumber(L, x);
            lua_pushnumber(L, y);
            lua_pushnumber(L, w);
            lua_pushnumber(L, h);
            lua_newtable(L);
            for (const char *n : names) {
                lua_pushstring(L, n);
                lua_pushstring(L, "h");
                lua_gettable(L, LUA_GLOBALSINDEX);
                lua_settable(L, -3);
            }
        });
    }
    void Pointer(int32_t x, int32_t y) {
        d->os.mouseX = x;
        d->os.mouseY = y;
    }
};

TEST_F(Buttons, PressAndReleaseOnAButton) {
    ASSERT_EQ(Make(1, 10, 20, 10, 5, {"onmousedown", "onmouseup"}), 0);
    Pointer(0, 0);
    // x 10..19, y 20..24: 20 is outside.
    PostEvent(d, 1, 20, 22, 1, nullptr);
    EXPECT_EQ(CheckAction(), "");
    PostEvent(d, 1, 19, 24, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_EQ(Last("x"), "10");
    EXPECT_EQ(Last("width"), "10");
    EXPECT_EQ(Last("height"), "5");
    EXPECT_EQ(Last("mousedown"), "1");
    EXPECT_EQ(Last("display"), "1");
    PostEvent(d, 1, 12, 22, 0, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseUp");
    EXPECT_EQ(Last("mousedown"), "0");
}

TEST_F(Buttons, ReleaseElsewhereCallsNoMouseUp) {
    ASSERT_EQ(Make(1, 0, 0, 10, 10, {"onmousedown", "onmouseup"}), 0);
    Pointer(50, 50);
    PostEvent(d, 1, 5, 5, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    PostEvent(d, 1, 50, 50, 0, nullptr);
    EXPECT_EQ(CheckAction(), "");
    EXPECT_EQ(GetDisplayButtons(d)->pressed[0], 0u);
}

TEST_F(Buttons, DisplayHandlerFirstThenTheButton) {
    ASSERT_EQ(Install({"onmousedown"}), 0);
    ASSERT_EQ(Make(1, 0, 0, 10, 10, {"onmousedown"}), 0);
    Pointer(50, 50);
    PostEvent(d, 1, 5, 5, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_EQ(Last("x"), "<nil>") << "the display's message first";
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(Last("x"), "0") << "then the button's";
    EXPECT_EQ(CheckAction(), "");
}

TEST_F(Buttons, OverAndOutFollowThePointer) {
    ASSERT_EQ(Make(1, 0, 0, 10, 10, {"onmouseover", "onmouseout", "onmousedown"}), 0);
    ASSERT_EQ(Make(2, 20, 0, 10, 10, {"onmouseover", "onmouseout"}), 0);
    Pointer(5, 5);
    EXPECT_EQ(CheckAction(), "OnMouseOver");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_EQ(CheckAction(), "");
    Pointer(25, 5);
    EXPECT_EQ(CheckAction(), "OnMouseOut");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_EQ(CheckAction(), "OnMouseOver");
    EXPECT_EQ(Last("id"), "2");
    // Held on button 2's neighbour: while button 1 is pressed, button 2
    // gets neither over nor out.
    Pointer(5, 5);
    EXPECT_EQ(CheckAction(), "OnMouseOut");
    EXPECT_EQ(CheckAction(), "OnMouseOver");
    PostEvent(d, 1, 5, 5, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    Pointer(25, 5);
    EXPECT_EQ(CheckAction(), "OnMouseOut");
    EXPECT_EQ(Last("id"), "1");
    EXPECT_EQ(CheckAction(), "") << "button 2 is skipped while 1 is held";
}

TEST_F(Buttons, CommandsAndTheirErrors) {
    EXPECT_EQ(Make(1, 0, 0, 0, 10, {"onmousedown"}), ERR_WRONGUSAGE) << "width 0";
    EXPECT_EQ(Make(1, 0, 0, 10, 10, {}), ERR_WRONGUSAGE) << "no handler";
    EXPECT_EQ(Make(1, 0, 0, 10, 10, {"onmousedown"}, 1), ERR_NOLAYERS) << "layer buttons without the layers library";
    EXPECT_EQ(Call("MakeButton",
                   [&] {
                       lua_pushnumber(L, 1);
                       lua_pushnumber(L, 0);
                       for (int i = 0; i < 4; i++) lua_pushnumber(L, 10);
                       lua_newtable(L);
                       lua_pushstring(L, "onmouseover");
                       lua_pushnumber(L, 3);
                       lua_settable(L, -3);
                   }),
              ERR_FUNCEXPECTED);
    EXPECT_EQ(GetDisplayButtons(d), nullptr) << "nothing made by a failed call";
    ASSERT_EQ(Make(-1, 0, 0, 10, 10, {"onmousedown"}), 0);
    ASSERT_TRUE(lua_islightuserdata(L, 1));
    void *id = lua_touserdata(L, 1);
    ASSERT_EQ(Make(3, 0, 0, 10, 10, {"onmousedown"}), 0);
    ASSERT_EQ(Make(3, 5, 5, 10, 10, {"onmousedown"}), 0) << "replaces button 3";
    int count = 0;
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next) count++;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Cmd("DisableButton", {3}), 0);
    PostEvent(d, 1, 6, 6, 1, nullptr);
    EXPECT_EQ(CheckAction(), "OnMouseDown");
    EXPECT_EQ(Cmd("EnableButton", {3}), 0);
    EXPECT_EQ(Cmd("DeleteButton", {3}), 0);
    EXPECT_EQ(Cmd("DeleteButton", {3}), ERR_FINDBUTTON);
    EXPECT_EQ(Call("DeleteButton", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("DeleteButton", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
    EXPECT_EQ(Cmd("EnableButton", {9}), ERR_FINDBUTTON);
    EXPECT_EQ(Call("DumpButtons"), 0);
}

}  // namespace
