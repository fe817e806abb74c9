// Fill-style keys of shape layers: each fill style round trips, the form
// style's NORMAL, SHADOW and EDGE rules, and the colour stops of a full
// gradient.
#include "tests/layers/ops/layer_ops_fixture.h"

namespace {

class FillStyles : public cxtest::LayerOpsTest {
  protected:
    double Key(const char *key) {
        if (Run("GetLayerStyle", {1})) return -1;
        lua_pushstring(L, key);
        lua_gettable(L, 1);
        return lua_isnil(L, -1) ? -2 : lua_tonumber(L, -1);
    }
    const cxLayerShapeContent *Shape() { return static_cast<const cxLayerShapeContent *>(Layer(1)->content); }
    void Colors(std::initializer_list<double> stops) {
        lua_pushstring(L, "gradientcolors");
        lua_newtable(L);
        int i = 0;
        for (double v : stops) lua_pushnumber(L, v), lua_rawseti(L, -2, i++);
        lua_settable(L, -3);
    }
};

TEST_F(FillStyles, EachFillStyleComesBackAsItWasSet) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Box", {10, 10, 30, 20, 0xFF0000}), 0);
    struct Case {
        const char *what;
        std::function<void()> fill;
    } cases[] = {
        {"none", [&] { Field("fillstyle", 0); }},
        {"colour", [&] { Field("fillstyle", 1), Field("formstyle", 16); }},
        {"gradient", [&] {
             Field("fillstyle", 2), Field("gradientstyle", 2), Field("gradientangle", 30.5);
             Field("gradientstartcolor", 0x102030), Field("gradientendcolor", 0xF0E0D0);
         }},
        {"radial with stops", [&] {
             Field("fillstyle", 2), Field("gradientstyle", 3), Field("gradientcenterx", 0.25);
             Colors({0xFF0000, 0, 0x00FF00, 0.5, 0x0000FF, 1});
         }},
        {"texture", [&] { Field("fillstyle", 3), Field("texturebrush", 4), Field("texturex", 2), Field("texturey", 3); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Style(1, c.fill), 0);
        EXPECT_EQ(StalePixels(), "");
        const std::vector<uint32_t> before = Screen();
        const cxLayerShapeContent kept = *Shape();
        ASSERT_EQ(Run("GetLayerStyle", {1}), 0);
        const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
        ASSERT_EQ(Call("SetLayerStyle", [&] { lua_pushnumber(L, 1), lua_rawgeti(L, LUA_REGISTRYINDEX, ref); }), 0);
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        const cxLayerShapeContent &now = *Shape();
        EXPECT_EQ(now.style.fillStyle, kept.style.fillStyle);
        EXPECT_EQ(now.style.formStyle, kept.style.formStyle);
        EXPECT_EQ(now.style.gradient.type, kept.style.gradient.type);
        EXPECT_EQ(now.style.gradient.angle, kept.style.gradient.angle);
        EXPECT_EQ(now.style.gradient.startColor, kept.style.gradient.startColor);
        EXPECT_EQ(now.gradientTable, kept.gradientTable);
        EXPECT_EQ(now.gradient.stopCount, kept.gradient.stopCount);
        EXPECT_EQ(now.gradient.centerX, kept.gradient.centerX);
        EXPECT_EQ(now.style.textureBrush.number, kept.style.textureBrush.number);
        EXPECT_EQ(now.style.textureY, kept.style.textureY);
        EXPECT_EQ(Screen(), before);
    }
    // The stops paint the box: red at the centre, blue at the rim.
    ASSERT_EQ(Style(1, [&] {
                  Field("fillstyle", 2), Field("gradientstyle", 3), Field("gradientcenterx", 0.5);
                  Colors({0xFF0000, 0, 0x0000FF, 1});
              }),
              0);
    EXPECT_GT(Composed(25, 20) >> 16, Composed(25, 20) & 0xFFu);
    EXPECT_GT(Composed(12, 20) & 0xFFu, Composed(25, 20) & 0xFFu);
    // Start or end colour alone turn the stops off again.
    ASSERT_EQ(Style(1, [&] { Field("gradientstartcolor", 0x00FF00); }), 0);
    EXPECT_EQ(Shape()->gradientTable, 0u);
    EXPECT_EQ(Key("gradientcolors"), -2);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Style(1, [&] { Field("fillstyle", 4); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Style(1, [&] { Field("gradientstyle", 7); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Style(1, [&] { Field("fillstyle", 2), Colors({0xFF0000, 0}); }), ERR_WRONGUSAGE);
}

TEST_F(FillStyles, FormStyleNormalShadowAndEdge) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Box", {10, 10, 20, 10, 0xFF0000}), 0);
    // NORMAL with BOLD is NORMAL.
    ASSERT_EQ(Style(1, [&] { Field("formstyle", 1 + 2); }), 0);
    EXPECT_EQ(Key("formstyle"), 1);
    // BOLD is added; SHADOW switches the layer's shadow on and stays out
    // of the form style.
    ASSERT_EQ(Style(1, [&] { Field("formstyle", 2 + 32); }), 0);
    EXPECT_EQ(Key("formstyle"), 2);
    EXPECT_EQ(Key("shadow"), 1);
    EXPECT_EQ(Layer(1)->shadow.radius, 5.0);
    ASSERT_EQ(Style(1, [&] { Field("formstyle", 64); }), 0);
    EXPECT_EQ(Layer(1)->border.on, 1u);
    EXPECT_EQ(StalePixels(), "");
    // Clearing EDGE switches the edge off and leaves the form style.
    ASSERT_EQ(Style(1, [&] { Field("formstyleclear", 64); }), 0);
    EXPECT_EQ(Layer(1)->border.on, 0u);
    EXPECT_EQ(Key("formstyle"), 2);
    ASSERT_EQ(Style(1, [&] { Field("formstyleclear", 32 + 2); }), 0);
    EXPECT_EQ(Key("shadow"), 0);
    EXPECT_EQ(Key("formstyle"), 1);
    EXPECT_EQ(StalePixels(), "");
}

}  // namespace
