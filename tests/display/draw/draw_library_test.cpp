// The draw library through its script commands, drawing into a bitmap that
// a test output stands in for.
#include "display/draw/draw_library.h"

#include <cmath>

#include "display/draw/draw_output.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

struct TestOutput {
    cxDrawOutput out{};
    int drawnCalls = 0, prepareCalls = 0, backgroundCalls = 0, layerCalls = 0;
    cxDrawRect lastChanged{};
    uint32_t lastLayerKind = 0;
};
TestOutput *g_out = nullptr;

int GetOutput(lua_State *, cxDrawOutput *out) {
    *out = g_out->out;
    return 0;
}
void Drawn(lua_State *, const cxDrawOutput *, const cxDrawRect *r) {
    g_out->drawnCalls++;
    g_out->lastChanged = *r;
}
int Prepare(lua_State *, const cxDrawOutput *) {
    g_out->prepareCalls++;
    return 0;
}
int Background(lua_State *, const cxDrawOutput *) {
    g_out->backgroundCalls++;
    return 0;
}
int AddLayer(lua_State *, const cxDrawOutput *, const cxShape *s, const cxDrawStyle *, uint32_t) {
    g_out->layerCalls++;
    g_out->lastLayerKind = s->kind;
    return 0;
}

class Draw : public cxtest::VmTest {
  protected:
    TestOutput output;
    cxBitmap *bitmap = nullptr;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        bitmap = AllocBitmap(32, 24, CX_ALLOC_CLEAR, 0);
        output.out.target = {bitmap, nullptr, nullptr, 32, 24, 255, 0};
        output.out.kind = 3;  // a brush by default
        g_out = &output;
        cxDrawOutputHooks hooks{};
        hooks.getOutput = GetOutput;
        hooks.drawn = Drawn;
        hooks.prepare = Prepare;
        hooks.clearToBackground = Background;
        hooks.addShapeLayer = AddLayer;
        SetDrawOutputHooks(&hooks);
    }
    void TearDown() override {
        SetDrawOutputHooks(nullptr);
        FreeDrawLibraryBuffers(L);
        FreeBitmap(bitmap);
        g_out = nullptr;
        VmTest::TearDown();
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    uint32_t Pixel(int x, int y) {
        cxOsBitmapLock l;
        LockBitmap(bitmap, 0, &l);
        const uint32_t v = LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * 4, 10) & 0xFFFFFFu;
        UnlockBitmap(&l);
        return v;
    }
    // The table of the second result, field by field.
    double Field(const char *key) {
        lua_pushstring(L, key);
        lua_gettable(L, 2);
        const double v = lua_isnil(L, -1) ? NAN : lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }
    int Fields() {
        int n = 0;
        lua_pushnil(L);
        while (lua_next(L, 2)) {
            ++n;
            lua_pop(L, 1);
        }
        return n;
    }
};

TEST_F(Draw, LineWidthIsTruncatedAndAtLeastOne) {
    EXPECT_EQ(Cmd("SetLineWidth", {0.9}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("GetLineWidth", {}), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Cmd("SetLineWidth", {3.7}), 0);
    ASSERT_EQ(Cmd("GetLineWidth", {}), 0);
    EXPECT_EQ(Num(1), 3);
    EXPECT_EQ(Cmd("SetLineWidth", {}), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Cmd("GetLineWidth", {1}), ERR_TOOMANYARGS);
}

TEST_F(Draw, FormStyleAnswersATableOnlyForShadowAndEdge) {
    ASSERT_EQ(Cmd("SetFormStyle", {16}), 0);
    ASSERT_EQ(Cmd("GetFormStyle", {}), 0);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(Num(1), 16);

    ASSERT_EQ(Cmd("SetFormStyle", {32 | 64, 0xFF0000, 6, 5, 0x00FF00, 3}), 0);
    ASSERT_EQ(Cmd("GetFormStyle", {}), 0);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(Num(1), 96);
    EXPECT_EQ(Field("shadowcolor"), 0xFF0000);
    EXPECT_EQ(Field("shadowsize"), 6);
    EXPECT_EQ(Field("shadowdir"), 5);
    EXPECT_EQ(Field("bordercolor"), 0x00FF00);
    EXPECT_EQ(Field("bordersize"), 3);

    // A table of settings; bad values change nothing.
    ASSERT_EQ(Call("SetFormStyle", [&] {
                  lua_pushnumber(L, 32);
                  lua_newtable(L);
                  lua_pushstring(L, "shadowsize");
                  lua_pushnumber(L, 9);
                  lua_settable(L, -3);
              }),
              0);
    ASSERT_EQ(Cmd("GetFormStyle", {}), 0);
    EXPECT_EQ(Field("shadowsize"), 9);
    EXPECT_TRUE(std::isnan(Field("bordersize")));
    EXPECT_EQ(Cmd("SetFormStyle", {32, 0, 1, 8}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SetFormStyle", {2}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("GetFormStyle", {}), 0);
    EXPECT_EQ(Num(1), 32);
    ASSERT_EQ(Cmd("SetFormStyle", {1}), 0);
    ASSERT_EQ(Cmd("GetFormStyle", {}), 0);
    EXPECT_EQ(lua_gettop(L), 1);
}

TEST_F(Draw, FillStyleAnswersPerStyle) {
    ASSERT_EQ(Cmd("GetFillStyle", {}), 0); // the default: outlines
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(Num(1), CX_FILLNONE);
    EXPECT_EQ(Fields(), 1);
    EXPECT_EQ(Field("thickness"), 1);

    ASSERT_EQ(Cmd("SetFillStyle", {CX_FILLCOLOR}), 0);
    ASSERT_EQ(Cmd("GetFillStyle", {}), 0);
    EXPECT_EQ(lua_gettop(L), 1);

    ASSERT_EQ(Cmd("SetFillStyle", {CX_FILLGRADIENT, 3, 0x112233, 0x445566, 45}), 0);
    ASSERT_EQ(Cmd("GetFillStyle", {}), 0);
    EXPECT_EQ(Field("type"), 3);
    EXPECT_EQ(Field("startcolor"), 0x112233);
    EXPECT_EQ(Field("endcolor"), 0x445566);
    EXPECT_EQ(Field("angle"), 45);

    ASSERT_EQ(Cmd("SetFillStyle", {CX_FILLTEXTURE, 7, 2, 3}), 0);
    ASSERT_EQ(Cmd("GetFillStyle", {}), 0);
    EXPECT_EQ(Field("brush"), 7);
    EXPECT_EQ(Field("x"), 2);
    EXPECT_EQ(Field("y"), 3);

    EXPECT_EQ(Cmd("SetFillStyle", {9}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("SetFillStyle", {CX_FILLGRADIENT, 7, 0, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("SetFillStyle", [&] { lua_pushstring(L, "x"); }), ERR_NUMEXPECTED);
}

TEST_F(Draw, ShapesDrawIntoTheOutputAndReportWhatChanged) {
    ASSERT_EQ(Cmd("SetFillStyle", {CX_FILLCOLOR}), 0);
    ASSERT_EQ(Cmd("Box", {2, 3, 4, 5, 0xFF0000}), 0);
    EXPECT_EQ(Pixel(2, 3), 0xFF0000u);
    EXPECT_EQ(Pixel(5, 7), 0xFF0000u);
    EXPECT_EQ(Pixel(6, 7), 0u);
    EXPECT_EQ(output.drawnCalls, 1);
    EXPECT_LE(output.lastChanged.x, 2);
    EXPECT_GE(output.lastChanged.x + output.lastChanged.width, 6);
    ASSERT_EQ(Cmd("Circle", {20, 12, 4, 0x00FF00}), 0);
    EXPECT_EQ(Pixel(20, 12), 0x00FF00u);
    ASSERT_EQ(Cmd("Ellipse", {20, 12, 1, 1, 0x0000FF}), 0);
    EXPECT_EQ(Pixel(20, 12), 0x0000FFu);
    ASSERT_EQ(Cmd("Arc", {10, 18, 4, 4, 0, 90, 0xFFFF00}), 0);
    EXPECT_EQ(Pixel(12, 20), 0xFFFF00u);
    ASSERT_EQ(Cmd("Line", {0, 23, 31, 23, 0x00FFFF}), 0);
    EXPECT_EQ(Pixel(16, 23), 0x00FFFFu);
    ASSERT_EQ(Cmd("Plot", {31, 0, 0xABCDEF}), 0);
    ASSERT_EQ(Cmd("ReadPixel", {31, 0}), 0);
    EXPECT_EQ(Num(1), 0xABCDEF);
    EXPECT_EQ(Cmd("ReadPixel", {32, 0}), ERR_COORDSRANGE);

    // Polygon vertices from index 0, relative to the position.
    ASSERT_EQ(Call("Polygon", [&] {
                  lua_pushnumber(L, 24);
                  lua_pushnumber(L, 2);
                  lua_newtable(L);
                  const double v[6] = {0, 0, 6, 0, 0, 6};
                  for (int i = 0; i < 6; ++i) {
                      lua_pushnumber(L, v[i]);
                      lua_rawseti(L, -2, i);
                  }
                  lua_pushnumber(L, 3);
                  lua_pushnumber(L, 0xFF00FF);
              }),
              0);
    EXPECT_EQ(Pixel(25, 3), 0xFF00FFu);
    // Too few entries for the count: the table is named in the detail.
    ASSERT_EQ(Call("Polygon", [&] {
                  lua_pushnumber(L, 0);
                  lua_pushnumber(L, 0);
                  lua_newtable(L);
                  lua_pushnumber(L, 5);
                  lua_rawseti(L, -2, 0);
                  lua_pushnumber(L, 3);
                  lua_pushnumber(L, 0);
              }),
              ERR_NUMTABLEARG);
    EXPECT_EQ(Detail(), "polygon");
}

TEST_F(Draw, WrongArgumentsAndNoOutput) {
    struct Case {
        const char *name;
        int count;
        int result;
    };
    const Case cases[] = {{"Box", 4, ERR_MISSINGPARAMTR}, {"Box", 7, ERR_TOOMANYARGS},
                          {"Circle", 3, ERR_MISSINGPARAMTR}, {"Arc", 6, ERR_MISSINGPARAMTR},
                          {"Line", 7, ERR_TOOMANYARGS},    {"Plot", 4, ERR_TOOMANYARGS},
                          {"Cls", 2, ERR_TOOMANYARGS},     {"Polygon", 4, ERR_MISSINGPARAMTR}};
    for (const Case &c : cases) {
        EXPECT_EQ(Call(c.name, [&] {
                      for (int i = 0; i < c.count; ++i) lua_pushnumber(L, 1);
                  }),
                  c.result)
            << c.name;
    }
    EXPECT_EQ(Call("Box", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "left");
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 1);
              }),
              ERR_NUMEXPECTED);
    EXPECT_EQ(Call("Polygon", [&] {
                  for (int i = 0; i < 5; ++i) lua_pushnumber(L, 1);
              }),
              ERR_TABEXPECTED);
    EXPECT_EQ(Cmd("Circle", {1, 1, -2, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(output.drawnCalls, 0);

    SetDrawOutputHooks(nullptr);
    EXPECT_EQ(Cmd("Box", {0, 0, 2, 2, 0}), ERR_FINDDISPLAY);
    EXPECT_EQ(Cmd("Cls", {}), ERR_FINDDISPLAY);
}

TEST_F(Draw, ClsFillsBrushesMasksAndAlphaChannels) {
    ASSERT_EQ(Cmd("Cls", {0x123456}), 0);
    EXPECT_EQ(Pixel(0, 0), 0x123456u);
    EXPECT_EQ(Pixel(31, 23), 0x123456u);
    EXPECT_EQ(output.prepareCalls, 1); // a brush is prepared first
    ASSERT_EQ(Cmd("Cls", {}), 0);      // black by default
    EXPECT_EQ(Pixel(7, 7), 0u);
    EXPECT_EQ(output.drawnCalls, 2);
    EXPECT_EQ(output.lastChanged.width, 32);

    // A selected mask alone: set by the mask mode; with a colour bitmap
    // made visible. An alpha channel alone takes the output's level.
    cxBitmap *mask = AllocMask(nullptr, 32, 24, 1, nullptr, 0);
    cxBitmap *alpha = AllocAlphaChannel(32, 24, 1, nullptr, 0);
    output.out.kind = 28;
    output.out.target = {nullptr, nullptr, mask, 32, 24, 255, CX_MASKVISIBLE};
    ASSERT_EQ(Cmd("Cls", {}), 0);
    const uint8_t *m = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(mask, CX_BMATTR_MASK_PIXELS));
    EXPECT_EQ(m[0], 0xFF);
    output.out.target.maskMode = CX_MASKINVISIBLE;
    ASSERT_EQ(Cmd("Cls", {}), 0);
    EXPECT_EQ(m[0], 0x00);
    output.out.kind = 30;
    output.out.target = {nullptr, alpha, nullptr, 32, 24, 77, 0};
    ASSERT_EQ(Cmd("Cls", {}), 0);
    const uint8_t *a = reinterpret_cast<const uint8_t *>(QueryBitmapAttribute(alpha, CX_BMATTR_ALPHA_PIXELS));
    EXPECT_EQ(a[0], 77);
    output.out.target = {bitmap, alpha, mask, 32, 24, 77, CX_MASKINVISIBLE};
    ASSERT_EQ(Cmd("Cls", {}), 0);
    EXPECT_EQ(a[0], 255);
    EXPECT_EQ(m[0], 0xFF);
    EXPECT_EQ(output.prepareCalls, 6);
    FreeMask(mask);
    FreeAlphaChannel(alpha);

    // A display or BGPic goes back to its background; with layers on the
    // shapes become layers.
    output.out.kind = 21;
    output.out.target = {bitmap, nullptr, nullptr, 32, 24, 255, 0};
    ASSERT_EQ(Cmd("Cls", {0xFFFFFF}), 0);
    EXPECT_EQ(output.backgroundCalls, 1);
    EXPECT_EQ(Pixel(0, 0), 0u);
    output.out.layersOn = 1;
    ASSERT_EQ(Cmd("Circle", {5, 5, 3, 0xFFFFFF}), 0);
    EXPECT_EQ(output.layerCalls, 1);
    EXPECT_EQ(output.lastLayerKind, CX_SHAPE_CIRCLE);
    EXPECT_EQ(Pixel(5, 5), 0u);
}

} // namespace
