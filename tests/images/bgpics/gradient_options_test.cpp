// Gradient descriptions read from tables: centre keys, colour stops and
// their limits.
#include "images/bgpics/gradient_options.h"

#include <functional>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

class GradientOptions : public cxtest::VmTest {
  protected:
    cxGradient g{};
    int hasStops = 0;

    // A table with "colors" holding pairs entries (colour, position),
    // then extra() adding more fields.
    int Read(uint32_t style, int pairs, const std::function<void()> &extra = [] {}) {
        lua_settop(L, 0);
        InitGradientDefaults(&g, 0);
        g.style = style;
        hasStops = 0;
        lua_newtable(L);
        if (pairs >= 0) {
            lua_pushstring(L, "colors");
            lua_newtable(L);
            for (int i = 0; i < pairs; ++i) {
                lua_pushnumber(L, 0x010101 * i);
                lua_rawseti(L, -2, 2 * i);
                lua_pushnumber(L, pairs > 1 ? double(i) / (pairs - 1) : 0.5);
                lua_rawseti(L, -2, 2 * i + 1);
            }
            lua_settable(L, -3);
        }
        extra();
        return ReadGradientTable(L, 1, &g, "centerx", "centery", "balance", "border", "colors", &hasStops);
    }
    void Set(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }
};

TEST_F(GradientOptions, ColourStopCounts) {
    struct Case {
        int pairs;
        int expected;
        int stops;
    } cases[] = {
        {-1, 0, 0},             // no "colors" key
        {0, 0, 0},              // an empty table
        {1, ERR_WRONGUSAGE, 0},
        {2, 0, 2},
        {64, 0, 64},
        {65, ERR_INTERNAL, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pairs);
        EXPECT_EQ(Read(CX_GRADIENT_LINEAR, c.pairs), c.expected);
        EXPECT_EQ(g.stopCount, c.stops);
        EXPECT_EQ(hasStops, c.stops ? 1 : 0);
    }
    EXPECT_EQ(g.stops[0].colour, 0u);
}

TEST_F(GradientOptions, BadStops) {
    auto withColors = [&](const std::function<void()> &fill) {
        lua_settop(L, 0);
        InitGradientDefaults(&g, 0);
        lua_newtable(L);
        lua_pushstring(L, "colors");
        lua_newtable(L);
        fill();
        lua_settable(L, -3);
        return ReadGradientTable(L, 1, &g, "centerx", "centery", "balance", "border", "colors", nullptr);
    };
    auto put = [&](int i, double v) {
        lua_pushnumber(L, v);
        lua_rawseti(L, -2, i);
    };
    EXPECT_EQ(withColors([&] { put(0, 0xFF), put(1, 0), put(2, 0xFF00); }), ERR_MISSINGPARAMTR);
    EXPECT_EQ(withColors([&] { put(0, 0xFF), put(1, 1.5), put(2, 0xFF00), put(3, 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(withColors([&] {
                  put(0, 0xFF), put(1, 0);
                  lua_pushstring(L, "red");
                  lua_rawseti(L, -2, 2);
                  put(3, 1);
              }),
              ERR_NUMTABLEARG);
    EXPECT_STREQ(GetErrorDetail(), "colors");
    // A failed table leaves the old stops.
    EXPECT_EQ(g.stopCount, 0);
}

TEST_F(GradientOptions, CentreKeysCountOnlyForRadialAndConical) {
    EXPECT_EQ(Read(CX_GRADIENT_LINEAR, -1, [&] { Set("centerx", 1.5); }), 0);
    EXPECT_EQ(g.centerX, 0.5);
    EXPECT_EQ(Read(CX_GRADIENT_RADIAL, -1, [&] { Set("centerx", 1.5); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Read(CX_GRADIENT_CONICAL, -1, [&] { Set("centery", 0.25), Set("balance", 1); }), 0);
    EXPECT_EQ(g.centerY, 0.25);
    EXPECT_EQ(g.balance, 1.0);
}

TEST_F(GradientOptions, WrittenBackUnderAPrefix) {
    InitGradientDefaults(&g, 0);
    g.style = CX_GRADIENT_RADIAL;
    g.startColour = 0x102030;
    g.stopCount = 2;
    g.stops[0] = {0xFF, 0, 0.0};
    g.stops[1] = {0xFF00, 0, 1.0};
    lua_settop(L, 0);
    lua_newtable(L);
    WriteGradientOptions(L, "gradient", &g);
    lua_pushstring(L, "gradientstartcolor");
    lua_gettable(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), double(0x102030));
    lua_pushstring(L, "gradientcolors");
    lua_gettable(L, 1);
    lua_rawgeti(L, -1, 2);
    EXPECT_EQ(lua_tonumber(L, -1), double(0xFF00));
    // And read again the same.
    cxGradient back{};
    InitGradientDefaults(&back, 0);
    back.style = CX_GRADIENT_RADIAL;
    ASSERT_EQ(ReadGradientFillOptions(L, 1, &back, 0, 0), 0);
    EXPECT_EQ(back.startColour, 0x102030u);
    EXPECT_EQ(back.stopCount, 2);
    EXPECT_EQ(back.stops[1].colour, 0xFF00u);
}

}  // namespace
