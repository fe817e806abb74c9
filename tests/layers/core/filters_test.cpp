// Layer filters (the "filters" table, defaults, errors, the order of
// priorities) and the transform analysis of text layers.
#include <cmath>
#include <functional>

#include "graphics/blit/blit.h"
#include "graphics/editing/bitmap_edit.h"
#include "graphics/effects/convolve.h"
#include "graphics/effects/effect_drivers.h"
#include "graphics/geometry/geometry.h"
#include "layers/core/filters.h"
#include "layers/core/layer_image.h"
#include "tests/layers/layer_test_display.h"

namespace {

class Filters : public cxtest::LayerDisplayTest {
  protected:
    cxFilter slots[CX_FILTER_SLOTS] = {};

    // Parses {filters = <what fill pushes>}; the parser's error.
    // Inside a command, as the readers raise their errors.
    int Parse(const std::function<void()> &fill) {
        return Probe([&](lua_State *) {
            lua_settop(L, 0);
            lua_newtable(L);
            lua_pushstring(L, "filters");
            fill();
            lua_settable(L, 1);
            int has = 0, err = 0;
            ParseFilterTable(L, 1, slots, &has, &err);
            return err;
        });
    }
    // One element {name = name, ...} whose other fields extra sets.
    void Element(int index, const char *name, const std::function<void()> &extra = nullptr) {
        lua_newtable(L);
        if (name) {
            lua_pushstring(L, "name");
            lua_pushstring(L, name);
            lua_settable(L, -3);
        }
        if (extra) extra();
        lua_rawseti(L, -2, index);
    }
    void Args(std::initializer_list<double> values) {
        lua_pushstring(L, "args");
        lua_newtable(L);
        int i = 1;
        for (double v : values) {
            lua_pushnumber(L, v);
            lua_rawseti(L, -2, i++);
        }
        lua_settable(L, -3);
    }
    void Set(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }

    static cxBitmap *Picture(int w, int h) {
        cxBitmap *b = AllocBitmap(w, h, 0, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) WriteBitmapPixel(b, x, y, uint32_t((x * 37 + y * 91) * 0x010305) & 0xFFFFFF);
        return b;
    }
    static bool Same(cxBitmap *a, cxBitmap *b, int w, int h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t p = 0, q = 0;
                ReadBitmapPixel(a, x, y, &p);
                ReadBitmapPixel(b, x, y, &q);
                if (p != q) return false;
            }
        return true;
    }
};

TEST_F(Filters, DefaultsAndArguments) {
    ASSERT_EQ(Parse([&] {
                  lua_newtable(L);
                  Element(1, "Blur");  // names match without regard to case
                  Element(2, "gamma", [&] { Args({2}); });
                  Element(3, "sepiatone", [&] {
                      lua_pushstring(L, "args");
                      lua_newtable(L);
                      lua_pushstring(L, "50%");
                      lua_rawseti(L, -2, 1);
                      lua_settable(L, -3);
                  });
              }),
              0);
    const cxFilter &blur = slots[CX_FILTER_BLUR];
    EXPECT_EQ(blur.active, 1u);
    EXPECT_EQ(blur.priority, 0u);
    EXPECT_EQ(blur.args[0], 5.0);
    const cxFilter &gamma = slots[CX_FILTER_GAMMA];
    EXPECT_EQ(gamma.args[0], 2.0);
    EXPECT_EQ(gamma.args[1], 1.0);
    EXPECT_EQ(gamma.args[2], 1.0);
    EXPECT_EQ(slots[CX_FILTER_SEPIATONE].ints[0], 127);

    // The blur runs with sigma = radius / 3.
    cxBitmap *a = Picture(20, 20), *b = Picture(20, 20);
    cxFilter only[CX_FILTER_SLOTS] = {};
    only[CX_FILTER_BLUR] = blur;
    ApplyLayerFilters(only, a, nullptr, nullptr, 20, 20, 0);
    ConvolveBitmap(CX_CONVOLVE_BLUR, b, nullptr, 20, 20, 5.0, 5.0 / 3.0);
    EXPECT_TRUE(Same(a, b, 20, 20));
    FreeBitmap(a);
    FreeBitmap(b);

    // Disabling keeps the priority and the arguments.
    ASSERT_EQ(Parse([&] {
                  lua_newtable(L);
                  Element(1, "invert", [&] { Set("priority", 300); });
              }),
              0);
    EXPECT_EQ(slots[CX_FILTER_INVERT].priority, 300u & 0xFF);
    ASSERT_EQ(Parse([&] {
                  lua_newtable(L);
                  Element(1, "invert", [&] { Set("disable", 1); });
              }),
              0);
    EXPECT_EQ(slots[CX_FILTER_INVERT].active, 0u);
    EXPECT_EQ(slots[CX_FILTER_INVERT].priority, 300u & 0xFF);
}

TEST_F(Filters, TableErrors) {
    struct Case {
        const char *what;
        std::function<void()> fill;
        int error;
        const char *detail;
    } cases[] = {
        {"not a table", [&] { lua_pushnumber(L, 5); }, ERR_TABEXPECTED2, "filters"},
        {"element not a table", [&] { lua_newtable(L), lua_pushnumber(L, 1), lua_rawseti(L, -2, 1); }, ERR_TABEXPECTED2,
         "filters"},
        {"no name", [&] { lua_newtable(L), Element(1, "blur"), Element(2, nullptr); }, ERR_NOFILTERNAME, "1"},
        {"name not a string", [&] { lua_newtable(L), Element(1, nullptr, [&] { Set("name", 3); }); }, ERR_STRTABLEARG,
         "name"},
        {"unknown", [&] { lua_newtable(L), Element(1, "smear"); }, ERR_UNKNOWNFILTER, "smear"},
        {"disable not a number", [&] {
             lua_newtable(L);
             Element(1, "blur", [&] { lua_pushstring(L, "disable"), lua_pushstring(L, "yes"), lua_settable(L, -3); });
         },
         ERR_NUMTABLEARG, nullptr},
        {"argument not a number", [&] {
             lua_newtable(L);
             Element(1, "blur", [&] {
                 lua_pushstring(L, "args"), lua_newtable(L), lua_pushstring(L, "x"), lua_rawseti(L, -2, 1);
                 lua_settable(L, -3);
             });
         },
         ERR_NUMTABLEARG, nullptr},
        // Kernels of gigabytes are refused before anything is allocated.
        {"huge radius", [&] { lua_newtable(L), Element(1, "blur", [&] { Args({1e9}); }); }, ERR_WRONGUSAGE, nullptr},
        {"huge sharpen", [&] { lua_newtable(L), Element(1, "sharpen", [&] { Args({100}); }); }, ERR_WRONGUSAGE, nullptr},
        {"not finite", [&] { lua_newtable(L), Element(1, "gamma", [&] { Args({NAN}); }); }, ERR_WRONGUSAGE, nullptr},
        {"too many colours", [&] { lua_newtable(L), Element(1, "quantize", [&] { Args({257}); }); }, ERR_WRONGUSAGE,
         nullptr},
    };
    for (const Case &c : cases) {
        SetErrorDetail("");
        EXPECT_EQ(Parse(c.fill), c.error) << c.what;
        if (c.detail) {
            EXPECT_STREQ(GetErrorDetail(), c.detail) << c.what;
        }
    }
    // Through the display options of a command.
    Brush(1, 4, 4, 0xFFFFFF);
    EXPECT_EQ(Cmd("DisplayBrush", {1, 0, 0}, [&] { Field("filters", 7); }), ERR_TABEXPECTED2);
    EXPECT_EQ(Count(), 0);
}

TEST_F(Filters, HigherPrioritiesRunFirst) {
    // Invert and then sepia is not sepia and then invert.
    auto run = [&](int invertPriority, int sepiaPriority) {
        cxBitmap *b = Picture(16, 16);
        cxFilter f[CX_FILTER_SLOTS] = {};
        f[CX_FILTER_INVERT].active = f[CX_FILTER_SEPIATONE].active = 1;
        f[CX_FILTER_INVERT].priority = uint32_t(invertPriority);
        f[CX_FILTER_SEPIATONE].priority = uint32_t(sepiaPriority);
        SetFilterDefaults(&f[CX_FILTER_SEPIATONE], CX_FILTER_SEPIATONE);
        ApplyLayerFilters(f, b, nullptr, nullptr, 16, 16, 0);
        return b;
    };
    cxBitmap *invertFirst = Picture(16, 16), *sepiaFirst = Picture(16, 16);
    InvertBitmap(invertFirst, 16, 16);
    SepiaToneBitmap(invertFirst, 16, 16, 204);
    SepiaToneBitmap(sepiaFirst, 16, 16, 204);
    InvertBitmap(sepiaFirst, 16, 16);
    ASSERT_FALSE(Same(invertFirst, sepiaFirst, 16, 16));
    cxBitmap *a = run(200, 10), *b = run(10, 200), *c = run(0, 0);
    EXPECT_TRUE(Same(a, invertFirst, 16, 16));
    EXPECT_TRUE(Same(b, sepiaFirst, 16, 16));
    // Ties run in slot order: invert (7) before sepia tone (12).
    EXPECT_TRUE(Same(c, invertFirst, 16, 16));
    for (cxBitmap *x : {a, b, c, invertFirst, sepiaFirst}) FreeBitmap(x);
}

TEST_F(Filters, AFilteredLayerShowsItsFilteredImage) {
    Brush(1, 8, 8, 0x102030);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 2, 2}, [&] {
                  lua_pushstring(L, "filters");
                  lua_newtable(L);
                  Element(1, "invert");
                  lua_settable(L, -3);
              }),
              0);
    EXPECT_EQ(Composed(3, 3), 0xEFDFCFu);
    // The brush itself is untouched.
    cxBrush *b = nullptr;
    ASSERT_EQ(FindBrush(L, {1, nullptr}, &b, 0), 0);
    uint32_t p = 0;
    ReadBitmapPixel(b->bitmap, 0, 0, &p);
    EXPECT_EQ(p, 0x102030u);
}

TEST_F(Filters, TurnsByWholeDegreesAtOneScaleNeedNoBitmapTransform) {
    struct Case {
        double sx, sy, angle;
        uint32_t general;
    } cases[] = {
        {1, 1, 90, 0}, {2, 2, 90, 0}, {1, 1, 37, 0}, {1, 1.05, 90, 1}, {1, 1, 30.5, 1}, {1, 1, 0.25, 1}, {3, 3, 180, 0},
    };
    for (const Case &c : cases) {
        cxLayerTransform t{};
        MakeTransformMatrix(t.options.matrix, 0, 0, 10, 10, c.sx, c.sy, c.angle);
        AnalyzeTransformMatrix(&t);
        EXPECT_EQ(t.general, c.general) << c.sx << " " << c.sy << " " << c.angle;
        if (!c.general && std::fmod(c.angle, 180.0) != 0) {
            EXPECT_NEAR(t.analysedX, c.sx, 1e-4);
            EXPECT_NEAR(t.analysedY, c.sy, 1e-4);
        }
    }
    // No turn: nothing to analyse.
    cxLayerTransform plain{};
    plain.options.matrix[0] = 2, plain.options.matrix[3] = 3;
    AnalyzeTransformMatrix(&plain);
    EXPECT_EQ(plain.general, 0u);
}

TEST_F(Filters, BordersOfImagesWithoutMaskAndTranslucentBorders) {
    Brush(1, 10, 10, 0xFF0000);
    ASSERT_EQ(Cmd("DisplayBrush", {1, 20, 20}, [&] {
                  Field("border", 1), Field("bordersize", 3), Field("bordercolor", double(0x80FFFFFFu));
              }),
              0);
    cxLayer *l = Layer(1);
    int32_t x, y, w, h;
    GetLayerBorderBounds(L, l, l->display, &x, &y, &w, &h);
    EXPECT_EQ(x, 17);
    EXPECT_EQ(w, 16);
    // A frame 3 pixels wide around the image, at alpha 255 - 128.
    cxLayerState *s = l->display;
    ASSERT_NE(s->borderAlpha, nullptr);
    uint32_t a = 0;
    ReadBitmapPixel(s->borderAlpha, 1, 8, &a);
    EXPECT_EQ(a, 127u);
    EXPECT_EQ(Composed(21, 21), 0xFF0000u);
}

}  // namespace
