// The display-options table every showing command reads: one table of
// cases, each an options table built in the virtual machine.
#include "images/core/display_options.h"

#include <cmath>
#include <functional>
#include <string>

#include "display/display_record.h"
#include "images/core/layer_use.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

class DisplayOptions : public cxtest::VmTest {
  protected:
    cxTransformOptions t{};
    cxLayerOptions l{};

    // Reads a table filled by fill as the last argument.
    int Read(const std::function<void()> &fill, uint32_t flags = CX_DOPT_INIT | CX_DOPT_NEEDTABLE) {
        lua_settop(L, 0);
        lua_newtable(L);
        fill();
        return ReadDisplayOptions(L, 1, 100, 50, 0, 0, 0, &t, &l, flags);
    }

  public:
    void Set(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }
    void SetString(const char *key, const std::string &v) {
        lua_pushstring(L, key);
        lua_pushstring(L, v.c_str());
        lua_settable(L, -3);
    }
    void SetNumbers(const char *key, std::initializer_list<double> values) {
        lua_pushstring(L, key);
        lua_newtable(L);
        int i = 0;
        for (double v : values) {
            lua_pushnumber(L, v);
            lua_rawseti(L, -2, i++);
        }
        lua_settable(L, -3);
    }
};

TEST_F(DisplayOptions, DefaultsComeFromTheTemplates) {
    lua_settop(L, 0);
    ASSERT_EQ(ReadDisplayOptions(L, 0, 100, 50, 0, 0, 0, &t, &l, CX_DOPT_INIT), 0);
    EXPECT_EQ(t.matrix[0], 1.0);
    EXPECT_EQ(t.matrix[3], 1.0);
    EXPECT_EQ(t.scaleX, 1.0);
    EXPECT_EQ(l.shadow.colour, 0x80000000u);
    EXPECT_EQ(l.shadow.size, 4);
    EXPECT_EQ(l.shadow.direction, 3u);
    EXPECT_EQ(l.shadow.radius, 5.0);
    EXPECT_DOUBLE_EQ(l.shadow.sigma, 1.6666666666666667);
    EXPECT_EQ(l.border.size, 2);
    EXPECT_EQ(l.needsLayer, 0u);

    // A value that is no table is refused only where a table must be.
    lua_pushnumber(L, 3);
    EXPECT_EQ(ReadDisplayOptions(L, 1, 100, 50, 0, 0, 0, &t, &l, CX_DOPT_INIT | CX_DOPT_NEEDTABLE), ERR_TABEXPECTED);
    EXPECT_EQ(GetErrorNumber(), 1);
    EXPECT_EQ(ReadDisplayOptions(L, 1, 100, 50, 0, 0, 0, &t, &l, CX_DOPT_INIT), 0);
}

TEST_F(DisplayOptions, TransformKeys) {
    struct Case {
        const char *what;
        std::function<void(DisplayOptions *)> fill;
        int expected;
        double m[4];
    } cases[] = {
        {"scalex 0", [](DisplayOptions *o) { o->Set("scalex", 0); }, ERR_WRONGUSAGE, {}},
        {"scaley 0", [](DisplayOptions *o) { o->Set("scaley", 0); }, ERR_WRONGUSAGE, {}},
        {"scale", [](DisplayOptions *o) { o->Set("scalex", 2), o->Set("scaley", 0.5); }, 0, {2, 0, 0, 0.5}},
        {"size", [](DisplayOptions *o) { o->Set("width", 50), o->Set("height", 100); }, 0, {0.5, 0, 0, 2}},
        {"rotate 450 is 90", [](DisplayOptions *o) { o->Set("rotate", 450); }, 0, {0, 1, -1, 0}},
        {"transform with a zero diagonal", [](DisplayOptions *o) { o->SetNumbers("transform", {1, 0, 0, 0}); },
         ERR_WRONGUSAGE, {}},
        {"transform wins over the rest",
         [](DisplayOptions *o) {
             o->SetNumbers("transform", {0.5, 0, 0, 0.5});
             o->Set("scalex", 3), o->Set("width", 7), o->Set("rotate", 45);
         },
         0, {0.5, 0, 0, 0.5}},
        {"anchor 1.0", [](DisplayOptions *o) { o->Set("anchorx", 1.0); }, 0, {1, 0, 0, 1}},
        {"anchor 1.01", [](DisplayOptions *o) { o->Set("anchorx", 1.01); }, ERR_WRONGUSAGE, {}},
        {"anchor below 0", [](DisplayOptions *o) { o->Set("anchory", -0.1); }, ERR_WRONGUSAGE, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Read([&] { c.fill(this); }), c.expected);
        if (c.expected) continue;
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(t.matrix[i], c.m[i], 1e-12) << i;
    }
}

TEST_F(DisplayOptions, LayerKeys) {
    ASSERT_EQ(Read([&] { SetString("transparency", "50%"); }), 0);
    EXPECT_EQ(l.transparency, 127);
    EXPECT_EQ(l.needsLayer, 1u);
    ASSERT_EQ(Read([&] { Set("transparency", 300); }), 0);
    EXPECT_EQ(l.transparency, 255);
    ASSERT_EQ(Read([&] { Set("tint", -5); }), 0);
    EXPECT_EQ(l.filters[CX_FILTER_TINT].ints[1], 0);
    EXPECT_EQ(l.filters[CX_FILTER_TINT].active, 0u);
    EXPECT_EQ(l.needsLayer, 0u);
    ASSERT_EQ(Read([&] { Set("tint", 100), Set("tintcolor", 0xFF0000); }), 0);
    EXPECT_EQ(l.filters[CX_FILTER_TINT].active, 1u);
    EXPECT_EQ(uint32_t(l.filters[CX_FILTER_TINT].ints[0]), 0xFF0000u);

    // A shadow radius is checked only when the shadow is on.
    EXPECT_EQ(Read([&] { Set("shadowradius", 0.5); }), 0);
    EXPECT_EQ(Read([&] { Set("shadow", 1), Set("shadowradius", 0.5); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Read([&] { Set("border", 1), Set("bordersize", 0); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Read([&] { Set("insertpos", -1); }), ERR_INVINSERT);

    const std::string name255(255, 'n');
    ASSERT_EQ(Read([&] { SetString("name", name255); }), 0);
    EXPECT_EQ(std::string(l.name), name255);
    EXPECT_EQ(Read([&] { SetString("name", name255 + "x"); }), ERR_NAMETOOLONG);
}

int ThreeLayers(const cxBGPic *) { return 3; }

TEST_F(DisplayOptions, InsertPositionBeyondTheFrontBecomesTheFront) {
    // The layer count comes from the layers library through its hook.
    cxDisplay display{};
    display.bgpic = reinterpret_cast<cxBGPic *>(&display);
    SetCurrentDisplayRecord(&display);
    cxLayerHooks hooks{};
    hooks.countLayers = ThreeLayers;
    SetLayerHooks(&hooks);
    EXPECT_EQ(Read([&] { Set("insertpos", 99); }), 0);
    EXPECT_EQ(l.insertPos, 4);
    EXPECT_EQ(Read([&] { Set("insertpos", 2); }), 0);
    EXPECT_EQ(l.insertPos, 2);
    SetLayerHooks(nullptr);
    SetCurrentDisplayRecord(nullptr);
}

TEST_F(DisplayOptions, DisplayedSize) {
    struct Case {
        double m[4];
        int32_t w, h;
    } cases[] = {
        {{1, 0, 0, 1}, 100, 50},
        {{0.5, 0, 0, 2}, 50, 100},
        {{0.001, 0, 0, 0.001}, 1, 1},  // never below one pixel
        {{0, 1, -1, 0}, 50, 100},      // a quarter turn swaps the sides
    };
    for (const Case &c : cases) {
        int32_t w = 0, h = 0;
        GetDisplayedSize(c.m, 100, 50, &w, &h);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
}

}  // namespace
