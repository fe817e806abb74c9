// Layer styles: the table GetLayerStyle gives back changes nothing when
// set again, for every kind of layer; the single-purpose commands; a
// table is applied all or nothing; kind changes; bad input per key.
#include <cmath>
#include <map>
#include <string>

#include "layers/core/clip_regions.h"
#include "layers/ops/layer_style.h"
#include "tests/layers/ops/layer_ops_fixture.h"
#include "text/library/text_library.h"
#include "text/vector/vector_library.h"

namespace {

class Styles : public cxtest::LayerOpsTest {
  protected:
    void SetUp() override {
        LayerOpsTest::SetUp();
        ASSERT_EQ(OpenTextLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
    }
    void TearDown() override {
        // The layers hold text records and fonts: they go first.
        FreeAllLayers(L, BGPic(), 1, 1);
        FreeAllPaths(L);
        FreeTextLibrary(L);
        LayerOpsTest::TearDown();
    }
    // A table as text, keys sorted, nested tables too.
    std::string Dump(int index) {
        if (index < 0) index = lua_gettop(L) + index + 1;
        std::map<std::string, std::string> fields;
        lua_pushnil(L);
        while (lua_next(L, index)) {
            std::string key = lua_type(L, -2) == LUA_TSTRING ? lua_tostring(L, -2) : std::to_string(lua_tonumber(L, -2));
            std::string value;
            switch (lua_type(L, -1)) {
            case LUA_TTABLE: value = "{" + Dump(-1) + "}"; break;
            case LUA_TNUMBER: {
                char b[40];
                snprintf(b, sizeof b, "%.17g", lua_tonumber(L, -1));
                value = b;
                break;
            }
            case LUA_TSTRING: value = std::string("\"") + lua_tostring(L, -1) + "\""; break;
            case LUA_TLIGHTUSERDATA: value = "ptr"; break;
            default: value = "?";
            }
            fields[key] = value;
            lua_settop(L, -2);
        }
        std::string out;
        for (auto &f : fields) out += f.first + "=" + f.second + " ";
        return out;
    }
    std::string StyleOf(cxtest::LayerOpsTest::Arg layer) {
        if (Run("GetLayerStyle", {layer})) return "error";
        return Dump(1);
    }
    double Number(cxtest::LayerOpsTest::Arg layer, const char *key) {
        if (Run("GetLayerStyle", {layer})) return NAN;
        lua_pushstring(L, key);
        lua_gettable(L, 1);
        return lua_tonumber(L, -1);
    }
    // SetLayerStyle(layer, GetLayerStyle(layer)): not a pixel and not a
    // key changes.
    void RoundTrip(int pos) {
        SCOPED_TRACE(testing::Message() << "layer " << pos << " of type " << Layer(pos)->type);
        const std::vector<uint32_t> before = Screen();
        ASSERT_EQ(Run("GetLayerStyle", {pos}), 0);
        const std::string style = Dump(1);
        const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
        ASSERT_EQ(Call("SetLayerStyle", [&] { lua_pushnumber(L, pos), lua_rawgeti(L, LUA_REGISTRYINDEX, ref); }), 0) << style;
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        EXPECT_EQ(Screen(), before);
        EXPECT_EQ(StalePixels(), "");
        EXPECT_EQ(StyleOf(pos), style);
    }
    int TextArgs(const char *name, double x, double y, const char *text) {
        return Call(name, [&] {
            if (x >= 0) lua_pushnumber(L, x), lua_pushnumber(L, y);
            lua_pushstring(L, text);
        });
    }
};

TEST_F(Styles, EveryKindOfLayerTakesItsOwnStyleBackUnchanged) {
    cxBrush *b = Brush(1, 12, 10, 0xC04020);
    FillRect(b->bitmap, 2, 2, 4, 4, 0x20C040);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 2, 2}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 4}, [&] {
                  Field("rotate", 30), Field("scalex", 1.5), Field("shadow", 1), Field("border", 1),
                      Field("transparency", 60), Field("anchorx", 0.5), Field("tint", 90);
              }),
              0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 40, 2}, [&] { Field("width", 20), Field("height", 5); }), 0);
    ASSERT_EQ(Cmd("DisplayBrushPart", {1, 3, 2, 44, 30, 6, 5}), 0);
    ASSERT_EQ(Cmd("CreateGradientBGPic", {4, 2, 0xFF0000, 0x0000FF, 16, 16}), 0);
    ASSERT_EQ(Cmd("DisplayBGPicPart", {4, 2, 3, 8, 8, 50, 36}), 0);
    ASSERT_EQ(TextArgs("TextOut", 2, 30, "Ab"), 0);
    ASSERT_EQ(Call("CreateTextObject", [&] { lua_pushnumber(L, 3), lua_pushstring(L, "Txt"); }), 0);
    ASSERT_EQ(Cmd("DisplayTextObject", {3, 20, 34}), 0);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("Box", {30, 20, 9, 7, 0xFFFF00}, [&] { Field("roundlevel", 2); }), 0);
    ASSERT_EQ(Cmd("Circle", {10, 40, 5, 0x00FFFF}), 0);
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("Ellipse", {50, 40, 6, 3, 0xFF00FF}), 0);
    ASSERT_EQ(Cmd("Line", {1, 1, 60, 45, 0xFFFFFF}), 0);
    ASSERT_EQ(Cmd("Arc", {30, 40, 6, 5, 0, 200, 0x80FF80}), 0);
    ASSERT_EQ(Call("Polygon", [&] {
                  lua_pushnumber(L, 40), lua_pushnumber(L, 10);
                  lua_newtable(L);
                  const double v[] = {0, 0, 8, 2, 3, 9};
                  for (int i = 0; i < 6; ++i) lua_pushnumber(L, v[i]), lua_rawseti(L, -2, i);
                  lua_pushnumber(L, 3), lua_pushnumber(L, 0xFF8000);
              }),
              0);
    ASSERT_EQ(Cmd("SetFillStyle", {2, 2, 0xFF0000, 0x00FF00, 45}), 0);
    ASSERT_EQ(Cmd("Box", {50, 2, 10, 10, 0}), 0);
    ASSERT_EQ(Cmd("StartPath", {5}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {5, 0, 0, 7, 5}), 0);
    ASSERT_EQ(Cmd("DrawPath", {5, 55, 30, 0x4040FF}), 0);
    cxObjectID region{9, nullptr};
    cxClipRegion *clip = nullptr;
    ASSERT_EQ(AddClipRegion(&region, 0, 0, 40, 40, nullptr, &clip), 0);
    SetBGPicClipRegion(BGPic(), clip);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 30, 30}, [&] { Field("rotate", 45); }), 0);
    SetBGPicClipRegion(BGPic(), nullptr);

    std::map<int32_t, int> kinds;
    for (int pos = 1; pos <= Count(); ++pos) {
        ++kinds[Layer(pos)->type];
        RoundTrip(pos);
    }
    for (int32_t type : {CX_LAYER_BRUSH, CX_LAYER_BRUSHPART, CX_LAYER_BGPICPART, CX_LAYER_TEXTOUT, CX_LAYER_TEXTOBJECT,
                         CX_LAYER_BOX, CX_LAYER_CIRCLE, CX_LAYER_ELLIPSE, CX_LAYER_LINE, CX_LAYER_ARC, CX_LAYER_POLYGON,
                         CX_LAYER_VECTORPATH})
        EXPECT_GT(kinds[type], 0) << type;
}

TEST_F(Styles, TheKeysOfTheSinglePurposeCommands) {
    Brush(1, 10, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    // 100005 moves five pixels right; 95000 is an ordinary coordinate.
    ASSERT_EQ(Style(1, [&] { Field("x", 100005); }), 0);
    EXPECT_EQ(Number(1, "x"), 15);
    ASSERT_EQ(Style(1, [&] { Field("x", 95000); }), 0);
    EXPECT_EQ(Number(1, "x"), 95000);
    ASSERT_EQ(Style(1, [&] { Field("x", 10), Field("translatey", -2); }), 0);
    ASSERT_EQ(Style(1, [&] { Field("translatex", 3); }), 0);
    EXPECT_EQ(Number(1, "x"), 13);
    EXPECT_EQ(Number(1, "y"), 8);
    // Half the width through a percentage.
    ASSERT_EQ(Run("ScaleLayer", {1, "50%", "50%"}), 0);
    EXPECT_EQ(Number(1, "width"), 5);
    EXPECT_EQ(Layer(1)->display->width, 5);
    EXPECT_EQ(Number(1, "scalex"), 0.5);
    ASSERT_EQ(Run("ScaleLayer", {1, 30, 8}), 0);
    EXPECT_EQ(Layer(1)->display->width, 30);
    EXPECT_EQ(Number(1, "width"), 30);
    ASSERT_EQ(Run("RotateLayer", {1, 370}), 0);
    EXPECT_EQ(Number(1, "rotate"), 10);
    ASSERT_EQ(Run("TransformLayer", {1, 2, 0, 0, 1}), 0);
    EXPECT_EQ(Layer(1)->display->width, 20);
    EXPECT_EQ(Number(1, "rotate"), 0);
    ASSERT_EQ(Run("SetLayerAnchor", {1, 0.5, 1}), 0);
    EXPECT_EQ(Number(1, "anchorx"), 0.5);
    ASSERT_EQ(Run("SetLayerTransparency", {1, "50%"}), 0);
    EXPECT_EQ(Layer(1)->transparency, 127);
    ASSERT_EQ(Run("SetLayerTint", {1, 0x00FF00, 200}), 0);
    EXPECT_EQ(Number(1, "tint"), 200);
    EXPECT_EQ(Number(1, "tintcolor"), 0x00FF00);
    ASSERT_EQ(Run("SetLayerLight", {1, 0x0000FF, 0}), 0);
    EXPECT_EQ(Number(1, "tint"), 0);
    EXPECT_EQ(StalePixels(), "");

    // Filters: a table, 0 clears them, another number is refused.
    ASSERT_EQ(Call("SetLayerFilter", [&] {
                  lua_pushnumber(L, 1);
                  lua_newtable(L);
                  lua_newtable(L);
                  StringField("name", "Invert");
                  lua_rawseti(L, -2, 1);
              }),
              0);
    EXPECT_TRUE(Layer(1)->filters[CX_FILTER_INVERT].active);
    EXPECT_EQ(Run("SetLayerFilter", {1, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("SetLayerFilter", {1, "x"}), ERR_WRONGUSAGE);
    ASSERT_EQ(Run("SetLayerFilter", {1, 0}), 0);
    EXPECT_FALSE(Layer(1)->filters[CX_FILTER_INVERT].active);
    EXPECT_EQ(StalePixels(), "");

    // No clip region, no name.
    ASSERT_EQ(Run("GetLayerStyle", {1}), 0);
    lua_pushstring(L, "clipregion");
    lua_gettable(L, 1);
    EXPECT_EQ(lua_tonumber(L, -1), -1);
    lua_pushstring(L, "name");
    lua_gettable(L, 1);
    EXPECT_STREQ(lua_tostring(L, -1), "");
}

TEST_F(Styles, ShadowAndBorderCommands) {
    Brush(1, 10, 8, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    ASSERT_EQ(Run("SetLayerShadow", {1, 1}), 0);
    const cxShadowOptions &s = Layer(1)->shadow;
    EXPECT_EQ(s.on, 1u);
    EXPECT_EQ(s.colour, 0x80000000u);
    EXPECT_EQ(s.radius, 5.0);
    EXPECT_EQ(s.size, 4);
    EXPECT_EQ(s.direction, 3u);
    EXPECT_DOUBLE_EQ(s.sigma, 5.0 / 3.0);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Run("SetLayerShadow", {1, 0}), 0);
    EXPECT_EQ(s.on, 0u);
    EXPECT_EQ(StalePixels(), "");
    for (auto bad : {std::vector<double>{1, 1, 0, 0.5}, {1, 1, 0, 5, -1}, {1, 1, 0, 5, 4, 3, 0}, {1, 1, 0, NAN},
                     {1, 1, 0, 1e9}, {1, 1, 0, 5, 4, 8}}) {
        EXPECT_EQ(Call("SetLayerShadow", [&] {
                      for (double v : bad) lua_pushnumber(L, v);
                  }),
                  ERR_WRONGUSAGE);
    }
    ASSERT_EQ(Run("SetLayerBorder", {1, 1, 0xFFFFFF, 3}), 0);
    EXPECT_EQ(Layer(1)->border.size, 3);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Run("SetLayerBorder", {1, 1, 0, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Run("SetLayerBorder", {2, 1}), ERR_LAYERRANGE);
    ASSERT_EQ(Run("SetLayerBorder", {1, 0}), 0);
    EXPECT_EQ(StalePixels(), "");
}

TEST_F(Styles, AFailingKeyLeavesTheLayerAsItWas) {
    Brush(1, 10, 8, 0xFF0000);
    Brush(2, 6, 6, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}, [&] { Field("shadow", 1); }), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 30, 10}), 0);
    const std::string before = StyleOf(1);
    const std::vector<uint32_t> screen = Screen();
    struct Case {
        const char *what;
        std::function<void()> fill;
        int error;
    } cases[] = {
        {"anchor beyond 1", [&] { Field("x", 3), Field("rotate", 45), Field("anchorx", 2); }, ERR_WRONGUSAGE},
        {"a zero scale", [&] { Field("id", 2), Field("scalex", 0); }, ERR_BADDIMENSIONS},
        {"a negative width", [&] { Field("transparency", 9), Field("width", -4); }, ERR_BADDIMENSIONS},
        {"a scale of a billion", [&] { Field("x", 1), Field("scalex", 1e9); }, ERR_BITMAP},  // beyond any bitmap
        {"rotation NaN", [&] { Field("rotate", NAN); }, ERR_WRONGUSAGE},
        {"x infinite", [&] { Field("x", INFINITY); }, ERR_WRONGUSAGE},
        {"an unknown brush", [&] { Field("hidden", 1), Field("id", 77); }, ERR_FINDBRUSH},
        {"an unknown clip region", [&] { Field("clipregion", 5); }, ERR_FINDCLIPREGION},
        {"a shadow radius of a billion", [&] { Field("shadow", 1), Field("shadowradius", 1e9); }, ERR_WRONGUSAGE},
        {"a border of size 0", [&] { Field("border", 1), Field("bordersize", 0); }, ERR_WRONGUSAGE},
        {"a matrix with a zero", [&] {
             lua_pushstring(L, "transform");
             lua_newtable(L);
             for (int i = 0; i < 4; ++i) lua_pushnumber(L, i == 3 ? 0 : 1), lua_rawseti(L, -2, i);
             lua_settable(L, -3);
         }, ERR_WRONGUSAGE},
        {"an unknown filter", [&] {
             lua_pushstring(L, "filters");
             lua_newtable(L);
             lua_newtable(L);
             StringField("name", "sparkle");
             lua_rawseti(L, -2, 1);
             lua_settable(L, -3);
         }, ERR_UNKNOWNFILTER},
        {"z negative", [&] { Field("z", -1); }, ERR_WRONGUSAGE},
        {"part of a video", [&] { Field("type", 50); }, ERR_WRONGUSAGE},
        {"a circle without radius", [&] { Field("type", 15); }, ERR_MISSINGPARAMTR},
        {"a part outside the brush", [&] { Field("partx", 40); }, ERR_WRONGUSAGE},
        // Wrong types raise the readers' errors.
        {"x a string", [&] { StringField("x", "left"); }, ERR_NUMTABLEARG},
        {"rotate a table", [&] { lua_pushstring(L, "rotate"), lua_newtable(L), lua_settable(L, -3); }, ERR_NUMTABLEARG},
        {"hidden a string", [&] { StringField("hidden", "yes"); }, ERR_NUMTABLEARG},
        {"transform a number", [&] { Field("transform", 1); }, ERR_TABEXPECTED2},
        {"transform of three", [&] {
             lua_pushstring(L, "transform");
             lua_newtable(L);
             for (int i = 0; i < 3; ++i) lua_pushnumber(L, 1), lua_rawseti(L, -2, i);
             lua_settable(L, -3);
         }, ERR_MISSINGPARAMTR},
        {"filters a number", [&] { Field("filters", 1); }, ERR_TABEXPECTED2},
        {"transparency a word", [&] { StringField("transparency", "half"); }, ERR_PERCENTFORMATSTR},
        {"z an unknown name", [&] { StringField("z", "nobody"); }, ERR_FINDLAYER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Style(1, c.fill), c.error);
        EXPECT_EQ(StyleOf(1), before);
        EXPECT_EQ(Screen(), screen);
        EXPECT_EQ(Layer(1)->source.number, 1);
    }
    // A pair before a failing one stays applied and shown.
    ASSERT_EQ(Call("SetLayerStyle", [&] {
                  lua_pushnumber(L, 2), lua_newtable(L), Field("x", 40);
                  lua_pushnumber(L, 1), lua_newtable(L), Field("anchory", -1);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(Layer(2)->base->x, 40);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Call("SetLayerStyle", [&] {
                  lua_pushnumber(L, 2), lua_newtable(L), Field("x", 44);
                  lua_pushstring(L, "x"), lua_newtable(L), Field("x", 0);
              }),
              ERR_FINDLAYER);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Run("SetLayerStyle", {1, 2}), ERR_TABEXPECTED);
    EXPECT_EQ(Call("SetLayerStyle", [&] { lua_pushnumber(L, 1), lua_newtable(L), lua_pushnumber(L, 2); }),
              ERR_MISSINGPARAMTR);
    EXPECT_EQ(Run("SetLayerStyle", {1}), ERR_MISSINGPARAMTR);
}

TEST_F(Styles, ChangingWhatALayerShows) {
    Brush(1, 10, 8, 0xFF0000);
    Brush(2, 6, 4, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    ASSERT_EQ(Style(1, [&] { Field("id", 2); }), 0);
    EXPECT_EQ(Layer(1)->display->width, 6);
    EXPECT_EQ(Composed(11, 11), 0x00FF00u);
    // A part makes a brush layer a brush part.
    ASSERT_EQ(Style(1, [&] { Field("partx", 2), Field("partwidth", 3); }), 0);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_BRUSHPART);
    EXPECT_EQ(Layer(1)->display->width, 3);
    EXPECT_EQ(StalePixels(), "");
    // The brush the layer let go of and the script freed goes.
    ASSERT_EQ(Cmd("FreeBrush", {2}), 0);
    EXPECT_EQ(CountBrushes(), 2);
    ASSERT_EQ(Style(1, [&] { Field("type", 3), Field("id", 1); }), 0);
    EXPECT_EQ(CountBrushes(), 1);
    // Another kind: a circle needs its radius, a box its size.
    ASSERT_EQ(Style(1, [&] { Field("type", 15), Field("radius", 6), Field("color", 0x0000FF), Field("fillstyle", 1); }), 0);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_CIRCLE);
    EXPECT_EQ(Composed(16, 16), 0x0000FFu);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Style(1, [&] { Field("type", 14), Field("sizex", 4); }), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Style(1, [&] { Field("type", 3); }), ERR_MISSINGPARAMTR);
    ASSERT_EQ(Style(1, [&] { Field("type", 9), StringField("text", "Hi"); }), 0);
    EXPECT_EQ(Layer(1)->type, CX_LAYER_TEXTOUT);
    ASSERT_EQ(Style(1, [&] { StringField("text", "Hello"), Field("color", 0xFFFF00); }), 0);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Style(1, [&] { Field("type", 7); }), 0);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Composed(16, 16), 0x000080u);
    ASSERT_EQ(Style(1, [&] { Field("type", 3), Field("id", 1); }), 0);
    EXPECT_EQ(Composed(11, 11), 0xFF0000u);
}

TEST_F(Styles, PathLayerKeys) {
    ASSERT_EQ(Cmd("StartPath", {5}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {5, 0, 0, 20, 10}), 0);
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("DrawPath", {5, 10, 10, 0xFFFFFF}), 0);
    ASSERT_EQ(Layer(1)->type, CX_LAYER_VECTORPATH);
    EXPECT_EQ(Number(1, "id"), 5);
    auto dashes = [&](std::initializer_list<double> v, bool text) {
        lua_pushstring(L, "dashes");
        lua_newtable(L);
        int i = 0;
        for (double d : v) lua_pushnumber(L, d), lua_rawseti(L, -2, i++);
        if (text) lua_pushstring(L, "long"), lua_rawseti(L, -2, i);
        lua_settable(L, -3);
    };
    ASSERT_EQ(Style(1, [&] { dashes({4, 2}, false), Field("color", 0xFF0000); }), 0);
    EXPECT_EQ(static_cast<cxLayerPathContent *>(Layer(1)->content)->render.style.dashCount, 2u);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Style(1, [&] { dashes({4}, true); }), ERR_NUMTABLEARG);
    EXPECT_EQ(Style(1, [&] { StringField("vectorengine", "nosuch"); }), ERR_FINDPLUGIN);
    ASSERT_EQ(Style(1, [&] { StringField("vectorengine", "default"); }), 0);
    // The path may go: the layer keeps its own copy.
    ASSERT_EQ(Cmd("FreePath", {5}), 0);
    RoundTrip(1);
    EXPECT_EQ(Style(1, [&] { Field("id", 6); }), ERR_FINDPATH);
}

TEST_F(Styles, ClipRegionsAndTheStackPlace) {
    Brush(1, 10, 8, 0xFF0000);
    Brush(2, 10, 8, 0x00FF00);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 10, 10}), 0);
    ASSERT_EQ(Cmd("DisplayBrush", {2, 14, 12}, [&] { StringField("name", "top"); }), 0);
    cxObjectID id{3, nullptr};
    ASSERT_EQ(AddClipRegion(&id, 0, 0, 12, 12, nullptr, nullptr), 0);
    ASSERT_EQ(Style(1, [&] { Field("clipregion", 3); }), 0);
    EXPECT_EQ(Number(1, "clipregion"), 3);
    EXPECT_EQ(Composed(12, 10), 0x000080u);
    EXPECT_EQ(StalePixels(), "");
    ASSERT_EQ(Style(1, [&] { Field("clipregion", -1); }), 0);
    EXPECT_EQ(Number(1, "clipregion"), -1);
    EXPECT_EQ(Composed(12, 10), 0xFF0000u);
    ASSERT_EQ(Style(1, [&] { StringField("z", "top"); }), 0);
    EXPECT_EQ(Layer(2)->source.number, 1);
    EXPECT_EQ(Composed(15, 13), 0xFF0000u);
    EXPECT_EQ(StalePixels(), "");
    EXPECT_EQ(Number(2, "z"), 2);
}

}  // namespace
