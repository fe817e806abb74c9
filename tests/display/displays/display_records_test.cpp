// Display records and the display library's commands that need no window:
// defaults, options and their errors, menus, the unsupported screen
// commands.
#include <cmath>

#include "display/frame_limiter.h"
#include "display/menus.h"
#include "display/options.h"
#include "display/backend.h"
#include "display/picture.h"
#include "display/present.h"
#include "display/requesters.h"
#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "tests/display/displays/display_fixture.h"

namespace {

using cxtest::DisplayTest;

TEST_F(DisplayTest, NewDisplayHasItsDefaultsAndOwnPicture) {
    ASSERT_EQ(Create(1), 0);
    cxDisplay *d = Display(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->os.width, 640);
    EXPECT_EQ(d->os.height, 480);
    EXPECT_EQ(d->os.x, -100000);
    EXPECT_EQ(d->os.y, -100000);
    EXPECT_STREQ(d->os.title, "Calyxtone");
    EXPECT_EQ(d->mode, 1u);
    EXPECT_EQ(d->os.state, 0u);
    EXPECT_EQ(d->os.scaledWidth, 0);
    ASSERT_NE(d->picture, nullptr);
    EXPECT_EQ(d->ownsBGPic, 1u);
    EXPECT_EQ(d->textCursor.rightMargin, 639);
    auto *s = static_cast<cxOsBitmap *>(d->picture->store);
    EXPECT_EQ(s->width, 640);
    uint32_t first;
    memcpy(&first, s->pixels, 4);
    EXPECT_EQ(first & 0xFFFFFF, 0u);
    for (const auto &h : d->handlers) EXPECT_EQ(h.function, -1);
}

TEST_F(DisplayTest, AutomaticIdIsReturnedAndNumberedIdReplacesTheOldDisplay) {
    ASSERT_EQ(Call("CreateDisplay", [&] { lua_pushnil(L); }), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *id = lua_touserdata(L, 1);
    cxDisplay *d = nullptr;
    ASSERT_EQ(FindDisplay(cxObjectID{0, id}, &d), 0);
    EXPECT_EQ(d, id);
    ASSERT_EQ(Create(2, {{"width", 100.0}}), 0);
    ASSERT_EQ(Create(2, {{"width", 200.0}}), 0);
    int count = 0;
    for (cxDisplay *p = GetFirstDisplay(); p; p = GetNextDisplay(p)) ++count;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Display(2)->os.width, 200);
    EXPECT_EQ(Cmd("FreeDisplay", {7}), ERR_FINDDISPLAY);
    EXPECT_EQ(Call("FreeDisplay", [&] { lua_pushlightuserdata(L, &count); }), ERR_FINDARRAY);
}

TEST_F(DisplayTest, OptionsReachTheRecord) {
    ASSERT_EQ(Create(1, {{"width", 320.0}, {"height", 200.0}, {"title", "Demo"}, {"borderless", 1.0},
                         {"sizeable", 1.0}, {"x", 10.0}, {"y", 20.0}, {"fillstyle", 1.0}, {"color", double(0x123456)}}),
              0);
    cxDisplay *d = Display(1);
    EXPECT_EQ(d->os.width, 320);
    EXPECT_EQ(d->os.height, 200);
    EXPECT_STREQ(d->os.title, "Demo");
    EXPECT_EQ(d->os.flags & 3u, 3u);
    EXPECT_EQ(d->os.x, 10);
    auto *s = static_cast<cxOsBitmap *>(d->picture->store);
    uint32_t pixel;
    memcpy(&pixel, s->pixels + s->bytesPerRow * 100 + 4 * 100, 4);
    EXPECT_EQ(pixel & 0xFFFFFF, 0x123456u);
}

TEST_F(DisplayTest, OverlongTitlesAreCutAtACharacter) {
    std::string title;
    for (int i = 0; i < 200; ++i) title += "\xC3\xA9";  // 400 bytes of two-byte characters
    ASSERT_EQ(Create(1, {{"title", title.c_str()}}), 0);
    EXPECT_EQ(strlen(Display(1)->os.title), 254u);
    SetCurrentDisplayRecord(Display(1));
    ASSERT_EQ(Call("SetTitle", [&] { lua_pushstring(L, ("x" + title).c_str()); }), 0);
    EXPECT_EQ(strlen(Display(1)->os.title), 255u);
    EXPECT_EQ(Display(1)->os.title[254], '\xA9');
}

TEST_F(DisplayTest, ScaleFactorScalesTheWindowAndPosition) {
    ASSERT_EQ(Create(1, {{"width", 100.0}, {"height", 50.0}, {"scalefactor", 2.5}, {"x", 10.0}}), 0);
    cxDisplay *d = Display(1);
    EXPECT_EQ(d->os.scaledWidth, 250);
    EXPECT_EQ(d->os.scaledHeight, 125);
    EXPECT_EQ(d->autoScale, 1u);
    EXPECT_EQ(d->os.x, 25);
    EXPECT_EQ(d->pictureWidth, 100);
}

TEST_F(DisplayTest, BadOptionsAreRefusedAndLeaveNothingBehind) {
    struct Case {
        std::vector<cxtest::Field> fields;
        int code;
    };
    const double nan = std::nan("");
    const std::vector<Case> cases = {
        {{{"scalefactor", 0.0}}, ERR_WRONGUSAGE},
        {{{"scalefactor", -2.0}}, ERR_WRONGUSAGE},
        {{{"scalefactor", nan}}, ERR_WRONGUSAGE},
        {{{"width", 0.0}}, ERR_WRONGUSAGE},
        {{{"width", 100000.0}}, ERR_DISPLAYSIZE},
        {{{"scalewidth", 0.0}}, ERR_WRONGUSAGE},
        {{{"scalemode", 3.0}}, ERR_WRONGUSAGE},
        {{{"mode", "sideways"}}, ERR_WRONGUSAGE},
        {{{"fillstyle", 9.0}}, ERR_WRONGUSAGE},
        {{{"menu", 4.0}}, ERR_FINDMENU},
        {{{"bgpic", 3.0}}, ERR_FINDBGPIC},
        {{{"width", "wide"}}, ERR_NUMTABLEARG},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Create(1, c.fields), c.code) << c.fields[0].first;
        EXPECT_EQ(GetFirstDisplay(), nullptr) << c.fields[0].first;
    }
}

// A size too large names itself in the message, both sides of it.
TEST_F(DisplayTest, SizesTooLargeAreNamedInTheMessage) {
    struct Case {
        std::vector<cxtest::Field> fields;
        const char *size;
    };
    const std::vector<Case> cases = {
        {{{"width", 100000.0}, {"height", 100000.0}}, "100000x100000"},
        {{{"width", 20000.0}, {"height", 300.0}}, "20000x300"},
        {{{"width", 300.0}, {"height", 16385.0}}, "300x16385"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Create(1, c.fields), ERR_DISPLAYSIZE) << c.size;
        char text[200];
        GetErrorText(ERR_DISPLAYSIZE, text, sizeof text);
        EXPECT_EQ(std::string(text), std::string("Unable to change display size to ") + c.size + " !");
    }
    ASSERT_EQ(Create(1, {{"width", 300.0}, {"height", 200.0}}), 0);
    SetCurrentDisplayRecord(Display(1));
    EXPECT_EQ(CmdTable("SetDisplayAttributes", {{"height", 99999.0}}), ERR_DISPLAYSIZE);
    EXPECT_EQ(Detail(), "300x99999");
    EXPECT_EQ(Display(1)->os.height, 200);
}

TEST_F(DisplayTest, SetDisplayAttributesWithABadLastEntryChangesNothing) {
    ASSERT_EQ(Create(1, {{"width", 300.0}, {"height", 200.0}, {"title", "Before"}}), 0);
    SetCurrentDisplayRecord(Display(1));
    // Table fields are read in a fixed order: "title" and "width" come
    // before the bad "scalemode".
    EXPECT_EQ(CmdTable("SetDisplayAttributes", {{"title", "After"}, {"width", 400.0}, {"scalemode", 7.0}}),
              ERR_WRONGUSAGE);
    cxDisplay *d = Display(1);
    EXPECT_STREQ(d->os.title, "Before");
    EXPECT_EQ(d->os.width, 300);
    EXPECT_EQ(d->pictureWidth, 300);
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"title", "After"}, {"width", 400.0}}), 0);
    EXPECT_STREQ(d->os.title, "After");
    EXPECT_EQ(d->os.width, 400);
    EXPECT_EQ(d->pictureWidth, 400);
}

TEST_F(DisplayTest, ChangeDisplaySizeTakesPercentagesOfThePicture) {
    ASSERT_EQ(Create(1, {{"width", 300.0}, {"height", 200.0}}), 0);
    SetCurrentDisplayRecord(Display(1));
    ASSERT_EQ(Call("ChangeDisplaySize", [&] {
                  lua_pushstring(L, "50%");
                  lua_pushstring(L, "50%");
              }),
              0);
    EXPECT_EQ(Display(1)->os.width, 150);
    EXPECT_EQ(Display(1)->os.height, 100);
    ASSERT_EQ(Cmd("ChangeDisplaySize", {300, 100000}), 0);  // keeps the aspect ratio
    EXPECT_EQ(Display(1)->os.height, 200);
    EXPECT_EQ(Cmd("ChangeDisplaySize", {0, 10}), ERR_DISPLAYSIZE);
    EXPECT_EQ(Detail(), "0x10");
}

TEST_F(DisplayTest, KeepProportionsSplitsTheBars) {
    ASSERT_EQ(Create(1, {{"width", 100.0}, {"height", 100.0}, {"scalemode", 1.0}, {"keepproportions", 1.0}}), 0);
    SetCurrentDisplayRecord(Display(1));
    ASSERT_EQ(Cmd("ChangeDisplaySize", {301, 200}), 0);
    cxDisplay *d = Display(1);
    EXPECT_EQ(d->os.scaledWidth, 200);
    EXPECT_EQ(d->os.scaledHeight, 200);
    EXPECT_EQ(d->scaleBorders[0], 50);
    EXPECT_EQ(d->scaleBorders[2], 51);
    EXPECT_EQ(d->os.width, 100);  // the picture keeps its size
}

TEST_F(DisplayTest, LifecycleErrors) {
    ASSERT_EQ(Create(1), 0);
    EXPECT_EQ(Cmd("CloseDisplay", {1}), ERR_WRONGUSAGE);  // not open
    ASSERT_EQ(Cmd("SelectDisplay", {1}), 0);
    EXPECT_EQ(Cmd("FreeDisplay", {1}), ERR_FREEADISPLAY);
    EXPECT_EQ(Cmd("ShowDisplay", {}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("HideDisplay", {}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("ActivateDisplay", {1}), ERR_CLOSEDDISPLAY);
    EXPECT_EQ(Cmd("ChangeDisplayMode", {1}), ERR_CLOSEDDISPLAY);
    EXPECT_EQ(Cmd("GetDisplayModes", {0}), ERR_MONITORRANGE);
    EXPECT_EQ(Cmd("CreateDisplay", {}), ERR_MISSINGPARAMTR);
    for (const char *name : {"GetPubScreens", "ShowScreen", "HideScreen", "SetScreenTitle", "GetFrontScreen",
                             "SetSubtitle"})
        EXPECT_EQ(Cmd(name, {1, 2, 3}), ERR_UNSUPPORTEDFEAT) << name;
    lua_settop(L, 0);
    lua_pushstring(L, "constants");
    lua_gettable(L, LUA_REGISTRYINDEX);
    lua_pushstring(L, "dispstate_open");
    lua_gettable(L, -2);
    EXPECT_EQ(lua_tonumber(L, -1), 1);
}

TEST_F(DisplayTest, RenderStateIsSavedOnceAndRestored) {
    ASSERT_EQ(Create(1, {{"layers", 1.0}}), 0);
    cxDisplay *d = Display(1);
    d->textCursor.cursorX = 7;
    SaveDisplayRenderState(d, 0, 32);
    EXPECT_EQ(d->layersOn, 0u);
    EXPECT_EQ(d->textCursor.rightMargin, 31);
    EXPECT_EQ(d->textCursor.cursorX, 0);
    SaveDisplayRenderState(d, 0, 8);  // already saved: nothing changes
    EXPECT_EQ(d->textCursor.rightMargin, 31);
    RestoreDisplayRenderState(d);
    EXPECT_EQ(d->layersOn, 1u);
    EXPECT_EQ(d->textCursor.cursorX, 7);
    EXPECT_EQ(d->textCursor.rightMargin, 639);
}

struct Seen {
    int message;
    cxListenerFrame frame;
};
std::vector<Seen> g_seen;
int Listen(void *, int message, void *record, void *) {
    Seen s{message, {}};
    if (message == 0) s.frame = *static_cast<cxListenerFrame *>(record);
    g_seen.push_back(s);
    return 0;
}

TEST_F(DisplayTest, ListenersSeeTheScaledPictureOrTheirSource) {
    ASSERT_EQ(Create(1, {{"width", 40.0}, {"height", 20.0}, {"scalefactor", 2.0}}), 0);
    g_seen.clear();
    const cxTagItem source[] = {{5, 1}, {0, 0}};
    int32_t w = 0;
    const cxTagItem size[] = {{1, reinterpret_cast<intptr_t>(&w)}, {0, 0}};
    cxDisplayListener *a = AddDisplayListener(cxObjectID{1, nullptr}, Listen, nullptr, size, 0);
    cxDisplayListener *b = AddDisplayListener(cxObjectID{1, nullptr}, Listen, nullptr, source, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(w, 80);
    cxDisplay *d = Display(1);
    RefreshDisplayRectCore(d->picture, 3, 4, d, 3, 4, 5, 6, d->os.scaledWidth, d->os.scaledHeight, 0, nullptr, nullptr,
                           nullptr);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].frame.width, 80);  // the whole scaled buffer
    EXPECT_EQ(g_seen[0].frame.rectWidth, 80);
    EXPECT_EQ(g_seen[1].frame.width, 40);  // the source rectangle
    EXPECT_EQ(g_seen[1].frame.srcX, 3);
    EXPECT_EQ(g_seen[1].frame.rectHeight, 6);
    // Only the one being refreshed for is told.
    g_seen.clear();
    RefreshForListener(L, b);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].frame.width, 40);
    g_seen.clear();
    RefreshDisplayRectCore(d->picture, 0, 0, d, 0, 0, 1, 1, 80, 40, CX_REFRESH_NOLISTENERS, nullptr, nullptr, nullptr);
    FillDisplayWindowRect(d, 1, 2, 3, 4, 0xFF, 0);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, 1);
    g_seen.clear();
    WaitDisplayFrame(L, d, 0);
    EXPECT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[1].message, 5);
    RemoveDisplayListener(a);
    RemoveDisplayListener(b);
}

// Synced frames keep a cadence of one interval: a frame early sleeps to
// its due time, one a little late keeps the cadence, one late by a whole
// interval or more (or the first) starts it afresh.
TEST(FramePacing, FramesKeepTheCadenceOfTheInterval) {
    struct Case {
        int64_t last, now, sleepUntil, frame;
    };
    const int64_t i = 16667;
    const Case cases[] = {
        {0, 5000, 0, 5000},                     // the first frame: no wait
        {100000, 100000, 100000 + i, 100000 + i}, // at once after the last: one interval
        {100000, 110000, 100000 + i, 100000 + i}, // early: to the due time
        {100000, 100000 + i, 0, 100000 + i},     // on time
        {100000, 120000, 0, 100000 + i},         // a little late: the cadence holds
        {100000, 100000 + 2 * i, 0, 100000 + 2 * i}, // a whole frame late: afresh
        {100000, 900000, 0, 900000},
        {100000, 50000, 0, 50000},               // a clock before the last frame: afresh
    };
    for (const Case &c : cases) {
        int64_t sleepUntil = -1, frame = -1;
        PaceFrame(c.last, c.now, i, &sleepUntil, &frame);
        EXPECT_EQ(sleepUntil, c.sleepUntil) << c.last << " " << c.now;
        EXPECT_EQ(frame, c.frame) << c.last << " " << c.now;
    }
}

// ---- menus ----

class Menus : public DisplayTest {
protected:
    // Builds {[0] = {[0] = label, [1] = children}} tables from a compact
    // description through the assembler-free stack API.
    int CreateMenuFromLua(int id, const std::function<void()> &pushTree) {
        return Call("CreateMenu", [&] {
            lua_pushnumber(L, id);
            pushTree();
        });
    }
    void Item(int index, const char *label, std::initializer_list<cxtest::Field> fields = {}) {
        lua_newtable(L);
        if (label) {
            lua_pushstring(L, label);
            lua_rawseti(L, -2, 0);
        }
        for (const auto &f : fields) {
            lua_pushstring(L, f.first);
            if (std::holds_alternative<double>(f.second))
                lua_pushnumber(L, std::get<double>(f.second));
            else
                lua_pushstring(L, std::get<const char *>(f.second));
            lua_settable(L, -3);
        }
        lua_rawseti(L, -2, index);
    }
    // One strip entry "File" whose menu holds the items pushItems adds.
    std::function<void()> Strip(const std::function<void()> &pushItems) {
        return [this, pushItems] {
            lua_newtable(L);
            lua_newtable(L);
            lua_pushstring(L, "File");
            lua_rawseti(L, -2, 0);
            lua_newtable(L);
            pushItems();
            lua_rawseti(L, -2, 1);
            lua_rawseti(L, -2, 0);
        };
    }
};

TEST_F(Menus, TreeErrors) {
    EXPECT_EQ(CreateMenuFromLua(1, Strip([&] { Item(0, "Both", {{"flags", 9.0}}); })), ERR_RADIOTOGGLEMENU);
    // A bad field after good entries: nothing built is left behind (ASan).
    EXPECT_EQ(CreateMenuFromLua(1, Strip([&] {
                  Item(0, "Fine", {{"id", "fine"}});
                  Item(1, "Bad", {{"flags", "many"}});
              })),
              ERR_NUMTABLEARG);
    EXPECT_EQ(CreateMenuFromLua(1, [&] {
                  lua_newtable(L);
                  Item(0, nullptr);
              }),
              ERR_STRINGEXPECTED);
    EXPECT_EQ(CreateMenuFromLua(1, [&] { lua_newtable(L); }), ERR_EMPTYMENUTREE);
    EXPECT_EQ(CreateMenuFromLua(1, [&] {
                  lua_newtable(L);
                  lua_pushnumber(L, 3);
                  lua_rawseti(L, -2, 0);
              }),
              ERR_TABLEORNIL);
    // Strip -> menu -> submenu -> one level more is too deep.
    EXPECT_EQ(CreateMenuFromLua(1, Strip([&] {
                  lua_newtable(L);
                  lua_pushstring(L, "Sub");
                  lua_rawseti(L, -2, 0);
                  lua_newtable(L);
                  lua_newtable(L);
                  lua_pushstring(L, "Deep");
                  lua_rawseti(L, -2, 0);
                  lua_newtable(L);
                  Item(0, "Too deep");
                  lua_rawseti(L, -2, 1);
                  lua_rawseti(L, -2, 0);
                  lua_rawseti(L, -2, 1);
                  lua_rawseti(L, -2, 0);
              })),
              ERR_MENUCOMPLEXITY);
    EXPECT_EQ(GetMenuObjectList()->first, nullptr);
}

TEST_F(Menus, AttachedMenuCannotBeFreedAndItemStatesFollowTheirKind) {
    ASSERT_EQ(CreateMenuFromLua(1, Strip([&] {
                  Item(0, "Toggle", {{"flags", 1.0}, {"id", "tog"}});
                  Item(1, nullptr);
                  Item(2, "A", {{"flags", 8.0}, {"id", "ra"}});
                  Item(3, "B", {{"flags", 8.0}, {"id", "rb"}});
                  Item(4, "Plain", {{"id", "plain"}});
              })),
              0);
    ASSERT_EQ(Create(1, {{"menu", 1.0}}), 0);
    EXPECT_EQ(Cmd("FreeMenu", {1}), ERR_MENUATTACHED);
    auto item = [&](const char *cmd, const char *id) {
        return Call(cmd, [&] {
            lua_pushnumber(L, 1);
            lua_pushstring(L, id);
        });
    };
    EXPECT_EQ(item("SelectMenuItem", "tog"), ERR_CLOSEDDISPLAY);
    Display(1)->os.state = CX_DISPLAY_SHOWN;  // the item commands only need an open state
    EXPECT_EQ(item("SelectMenuItem", "TOG"), 0);
    ASSERT_EQ(item("IsMenuItemSelected", "tog"), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(item("DeselectMenuItem", "ra"), ERR_WRONGUSAGE);
    EXPECT_EQ(item("SelectMenuItem", "plain"), ERR_WRONGUSAGE);
    EXPECT_EQ(item("SelectMenuItem", "ra"), 0);
    EXPECT_EQ(item("SelectMenuItem", "rb"), 0);
    ASSERT_EQ(item("IsMenuItemSelected", "ra"), 0);
    EXPECT_EQ(Num(1), 0);  // one of a radio run at a time
    EXPECT_EQ(item("DisableMenuItem", "plain"), 0);
    ASSERT_EQ(item("IsMenuItemDisabled", "plain"), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(item("EnableMenuItem", "missing"), ERR_FINDMENUITEM);
    EXPECT_EQ(Detail(), "missing");
    EXPECT_EQ(Call("SelectMenuItem", [&] {
                  lua_pushnumber(L, 0);
                  lua_pushstring(L, "tog");
              }),
              ERR_NOCONTEXTMENU);
    Display(1)->os.state = CX_DISPLAY_CLOSED;
    SetCurrentDisplayRecord(Display(1));
    ASSERT_EQ(CmdTable("SetDisplayAttributes", {{"menu", 0.0}}), 0);
    EXPECT_EQ(Cmd("FreeMenu", {1}), 0);
}

// ---- requester wrappers ----

TEST(RequesterWrappers, SystemRequesterKinds) {
    struct Case {
        const char *buttons;
        int icon;
        uint32_t kind;
    } const cases[] = {
        {"OK", -1, 1},          {"", 0, 1 | 32},       {"ok|cancel", 9, 2}, {"yes|no", 1, 4 | 64},
        {"Yes|No|Cancel", 4, 8 | 512}, {"Retry|Abort", 2, 16 | 128},
    };
    for (const Case &c : cases) EXPECT_EQ(SystemRequesterKind(c.buttons, c.icon), c.kind) << c.buttons;
}

TEST(RequesterWrappers, FontAnswerFields) {
    cxFontRequestResult r;
    ParseFontAnswer("DejaVu Sans|12|3", 0x80 | 0x1000 | 0x8000, &r);
    EXPECT_STREQ(r.name, "DejaVu Sans");
    EXPECT_EQ(r.size, 12);
    EXPECT_EQ(r.extra, 3);
    EXPECT_EQ(r.weight, 200);
    EXPECT_EQ(r.slant, 100);
    EXPECT_EQ(r.style[1], 1);
    EXPECT_EQ(r.style[0], 0);
    ParseFontAnswer("Plain", 0, &r);
    EXPECT_STREQ(r.name, "Plain");
    EXPECT_EQ(r.size, 0);
}

}  // namespace
