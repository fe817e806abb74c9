// The "vectorgraphics" library through its script commands: paths and their
// items, the style, the engines (a plug-in one built by the tests among
// them), and DrawPath into a bitmap that a test output stands in for.
#include "text/vector/vector_library.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "display/draw/draw_library.h"
#include "display/draw/draw_output.h"
#include "graphics/blit/blit.h"
#include "graphics/vector/path.h"
#include "graphics/vector/vector_engine.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "text/fonts/font.h"
#include "text/vector/vector_font_cache.h"

namespace {

cxDrawOutput g_out{};
int g_drawn = 0;

int GetOutput(lua_State *, cxDrawOutput *out) {
    *out = g_out;
    return 0;
}
void Drawn(lua_State *, const cxDrawOutput *, const cxDrawRect *) { g_drawn++; }

// A plug-in engine opened as the plug-in manager opens one.
struct TestEngine {
    void *library = nullptr;
    cxPlugin record{};
    const int *calls = nullptr;

    bool Open(const char *file) {
        library = dlopen((std::string(CX_TEST_VECTOR_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) return false;
        auto init = reinterpret_cast<cxInitPluginFunc>(dlsym(library, "InitPlugin"));
        auto counts = reinterpret_cast<const int *(*)(void)>(dlsym(library, "TestVectorEngineCalls"));
        if (!init || !counts || !init(&record, nullptr, file)) return false;
        calls = counts();
#define RESOLVE(slot) record.slot = reinterpret_cast<decltype(record.slot)>(dlsym(library, #slot))
        RESOLVE(GetPathExtents);
        RESOLVE(DrawPath);
        RESOLVE(TranslatePath);
        RESOLVE(GetCurrentPoint);
        RESOLVE(CreateVectorFont);
        RESOLVE(FreeVectorFont);
        RESOLVE(OpenFont);
        RESOLVE(CloseFont);
#undef RESOLVE
        return true;
    }
    ~TestEngine() {
        if (library) dlclose(library);
    }
};
TestEngine *g_engines[2] = {nullptr, nullptr};

cxPlugin *FindTestEngine(const char *file) {
    if (strcasecmp(file, "testvector.cxp") == 0 && g_engines[0]) return &g_engines[0]->record;
    if (strcasecmp(file, "testvector2.cxp") == 0 && g_engines[1]) return &g_engines[1]->record;
    return nullptr;
}

cxOsFont *g_font = nullptr;
cxOsFont *CurrentFont(lua_State *, int32_t *size) {
    *size = 24;
    return g_font;
}

class VectorLibrary : public cxtest::VmTest {
  protected:
    cxBitmap *bitmap = nullptr;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenDrawLibrary(L), 0);
        ASSERT_EQ(OpenVectorGraphicsLibrary(L), 0);
        bitmap = AllocBitmap(64, 48, CX_ALLOC_CLEAR, 0);
        g_out = cxDrawOutput{};
        g_out.target = {bitmap, nullptr, nullptr, 64, 48, 255, 0};
        g_out.kind = 3; // a brush
        g_drawn = 0;
        cxDrawOutputHooks hooks{};
        hooks.getOutput = GetOutput;
        hooks.drawn = Drawn;
        SetDrawOutputHooks(&hooks);
        SetVectorPluginFinder(FindTestEngine);
    }
    void TearDown() override {
        FreeAllPaths(L);
        SetVectorPluginFinder(nullptr);
        SetVectorTextFontHook(nullptr);
        SetDrawOutputHooks(nullptr);
        FreeDrawLibraryBuffers(L);
        FreeBitmap(bitmap);
        VmTest::TearDown();
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    int StrCmd(const char *name, const char *s) {
        return Call(name, [&] { lua_pushstring(L, s); });
    }
    uint32_t Pixel(int x, int y) { return uint32_t(ReadTargetPixel(&g_out.target, x, y)); }
    int CountColour(uint32_t colour) {
        int n = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) n += Pixel(x, y) == colour;
        return n;
    }
    // Runs the iterator that PathItems returned once: 1 and the table on
    // the stack, or 0 at the end.
    int Next(int iterator) {
        lua_settop(L, iterator);
        lua_pushvalue(L, iterator);
        EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
        return lua_istable(L, -1) ? 1 : 0;
    }
    std::string Field(const char *key) {
        lua_pushstring(L, key);
        lua_gettable(L, -2);
        std::string s = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        return s;
    }
};

TEST_F(VectorLibrary, PathsAreMadeFilledClearedCopiedAndFreed) {
    ASSERT_EQ(Call("StartPath", [&] { lua_pushnil(L); }), 0);
    ASSERT_TRUE(lua_islightuserdata(L, -1));
    void *automatic = lua_touserdata(L, -1);
    ASSERT_EQ(Call("IsPathEmpty", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    EXPECT_EQ(Num(-1), 1);
    ASSERT_EQ(Call("StartSubPath", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    ASSERT_EQ(Call("IsPathEmpty", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    EXPECT_EQ(Num(-1), 0);
    ASSERT_EQ(Call("ClearPath", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    ASSERT_EQ(Call("IsPathEmpty", [&] { lua_pushlightuserdata(L, automatic); }), 0);
    EXPECT_EQ(Num(-1), 1);

    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 5, 6}), 0);
    ASSERT_EQ(Cmd("RelLineTo", {1, 10, 0}), 0);
    EXPECT_EQ(Cmd("AppendPath", {1, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("CopyPath", {1, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Cmd("CopyPath", {1, 2}), 0);
    ASSERT_EQ(Cmd("AppendPath", {2, 1}), 0);
    ASSERT_EQ(Cmd("GetCurrentPoint", {2}), 0);
    EXPECT_EQ(Num(1), 15);
    EXPECT_EQ(Num(2), 6);
    // A path starting again under a number replaces the old one.
    ASSERT_EQ(Cmd("StartPath", {2}), 0);
    ASSERT_EQ(Cmd("IsPathEmpty", {2}), 0);
    EXPECT_EQ(Num(-1), 1);
    ASSERT_EQ(Cmd("FreePath", {2}), 0);
    EXPECT_EQ(Cmd("FreePath", {2}), ERR_FINDPATH);
    EXPECT_EQ(GetErrorNumber(), 2);
    EXPECT_EQ(Cmd("LineTo", {9, 1, 1}), ERR_FINDPATH);
    EXPECT_EQ(Call("MoveTo", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "x");
                  lua_pushnumber(L, 1);
              }),
              ERR_NUMEXPECTED);
    EXPECT_EQ(Cmd("MoveTo", {1, 1}), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Cmd("MoveTo", {1, 1, 2, 3}), ERR_TOOMANYARGS);
}

TEST_F(VectorLibrary, PathItemsYieldsTablesAndStopsWhenThePathGoes) {
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    EXPECT_EQ(Next(1), 0); // a new path yields nothing
    ASSERT_EQ(Cmd("MoveTo", {1, 5, 6}), 0);
    ASSERT_EQ(Cmd("CurveTo", {1, 1, 2, 3, 4, 5, 6}), 0);
    ASSERT_EQ(Call("AddBoxToPath", [&] {
                  for (double v : {1.0, 1.0, 2.0, 30.0, 40.0}) lua_pushnumber(L, v);
                  lua_newtable(L);
                  SetTableNumber(L, "roundlevel", 150);
                  SetTableNumber(L, "cornerb", -5);
              }),
              0);
    ASSERT_EQ(Cmd("AddArcToPath", {1, 10, 20, 5, 6, 0, 90}), 0);
    ASSERT_EQ(Cmd("ClosePath", {1}), 0);

    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    ASSERT_EQ(Next(1), 1);
    EXPECT_EQ(Field("type"), "MoveTo");
    EXPECT_EQ(Field("rel"), "0");
    EXPECT_EQ(Field("y"), "6");
    ASSERT_EQ(Next(1), 1);
    EXPECT_EQ(Field("type"), "CurveTo");
    EXPECT_EQ(Field("y3"), "6");
    ASSERT_EQ(Next(1), 1);
    EXPECT_EQ(Field("type"), "Box");
    EXPECT_EQ(Field("height"), "40");
    lua_pushstring(L, "round");
    lua_gettable(L, -2);
    const double expected[4] = {100, 0, 100, 100};
    for (int i = 0; i < 4; ++i) {
        lua_pushnumber(L, i);
        lua_gettable(L, -2);
        EXPECT_EQ(lua_tonumber(L, -1), expected[i]) << i;
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    // Items added during the loop are reached; clearing ends it.
    ASSERT_EQ(Cmd("LineTo", {1, 3, 3}), 0);
    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    int n = 0;
    while (Next(1)) ++n;
    EXPECT_EQ(n, 6);

    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    ASSERT_EQ(Next(1), 1);
    ASSERT_EQ(Cmd("ClearPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 1, 1}), 0);
    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    lua_pushstring(L, "iter");
    lua_pushvalue(L, 1);
    lua_settable(L, LUA_GLOBALSINDEX);
    ASSERT_EQ(Cmd("FreePath", {1}), 0);
    // Freed, and a new path under the same number: the loop is over.
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 1, 1}), 0);
    lua_settop(L, 0);
    lua_pushstring(L, "iter");
    lua_gettable(L, LUA_GLOBALSINDEX);
    EXPECT_EQ(Next(1), 0);
}

TEST_F(VectorLibrary, StyleCommands) {
    ASSERT_EQ(Call("GetDash"), 0);
    EXPECT_EQ(Num(1), -1);
    ASSERT_EQ(Cmd("SetDash", {5, 10, 5}), 0);
    ASSERT_EQ(Call("GetDash"), 0);
    EXPECT_EQ(Num(1), 5);
    lua_pushnumber(L, 1);
    lua_gettable(L, 2);
    EXPECT_EQ(Num(-1), 5);
    ASSERT_EQ(Cmd("SetDash", {0, -1}), 0);
    ASSERT_EQ(Call("GetDash"), 0);
    EXPECT_EQ(Num(1), -1);
    EXPECT_EQ(Cmd("SetDash", {0}), ERR_MISSINGPARAMTR);

    ASSERT_EQ(Call("GetMiterLimit"), 0);
    EXPECT_EQ(Num(1), 10);
    ASSERT_EQ(Cmd("SetMiterLimit", {4}), 0);
    EXPECT_EQ(Num(1), 4);
    ASSERT_EQ(Cmd("SetLineJoin", {2}), 0);
    ASSERT_EQ(Call("GetLineJoin"), 0);
    EXPECT_EQ(Num(1), 2);
    ASSERT_EQ(Cmd("SetFillRule", {1}), 0);
    ASSERT_EQ(Call("GetFillRule"), 0);
    EXPECT_EQ(Num(1), 1);
    // A path keeps the style of its start.
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    cxPath *p = nullptr;
    ASSERT_EQ(FindPath(cxObjectID{1, nullptr}, &p), 0);
    ASSERT_NE(p->style, nullptr);
    EXPECT_EQ(p->style->lineJoin, 2u);
    EXPECT_EQ(p->style->miterLimit, 4);
}

TEST_F(VectorLibrary, EnginesAreChosenByNameAndPluginsAreCalled) {
    TestEngine native, uncallable;
    ASSERT_TRUE(native.Open("testvector.cxp"));
    ASSERT_TRUE(uncallable.Open("testvector2.cxp"));
    g_engines[0] = &native;
    g_engines[1] = &uncallable;

    EXPECT_EQ(StrCmd("SetVectorEngine", "default"), 0);
    EXPECT_EQ(StrCmd("SetVectorEngine", "DEFAULT"), 0);
    EXPECT_EQ(StrCmd("SetVectorEngine", "nosuch"), ERR_FINDPLUGIN);
    EXPECT_EQ(Detail(), "nosuch");
    EXPECT_TRUE(IsInbuiltVectorEngine(GetCurrentVectorEngine()));
    const std::string longName(400, 'a');
    EXPECT_EQ(StrCmd("SetVectorEngine", longName.c_str()), ERR_FINDPLUGIN);
    const std::string almost = std::string(252, 'b'); // with ".cxp" it would not fit
    EXPECT_EQ(StrCmd("SetVectorEngine", almost.c_str()), ERR_FINDPLUGIN);

    EXPECT_EQ(StrCmd("SetVectorEngine", "TestVector"), 0);
    EXPECT_EQ(GetCurrentVectorEngine(), &native.record);
    EXPECT_EQ(StrCmd("SetVectorEngine", "testvector.CXP"), 0);
    EXPECT_EQ(GetCurrentVectorEngine(), &native.record);

    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 0, 0}), 0);
    ASSERT_EQ(Cmd("LineTo", {1, 5, 5}), 0);
    ASSERT_EQ(Cmd("GetCurrentPoint", {1}), 0);
    EXPECT_EQ(Num(1), 77);
    EXPECT_EQ(native.calls[3], 1);
    ASSERT_EQ(Cmd("TranslatePath", {1, 0, 0}), 0);
    EXPECT_EQ(native.calls[2], 0); // nothing to move: not called
    ASSERT_EQ(Cmd("TranslatePath", {1, 3, 0}), 0);
    EXPECT_EQ(native.calls[2], 1);
    ASSERT_EQ(Cmd("DrawPath", {1, 20, 10, 0xFF0000}), 0);
    EXPECT_GE(native.calls[1], 1);
    EXPECT_EQ(Pixel(20, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(29, 17), 0xFF0000u);
    EXPECT_EQ(Pixel(30, 17), 0u);
    EXPECT_EQ(CountColour(0xFF0000), 80);

    // The draw library's shapes go through the engine while forced.
    const int before = native.calls[1];
    ASSERT_EQ(Cmd("ForcePathUse", {1}), 0);
    ASSERT_EQ(Cmd("Box", {40, 30, 5, 5, 0x00FF00}), 0);
    EXPECT_EQ(native.calls[1], before + 1);
    EXPECT_EQ(Pixel(0, 0), 0x00FF00u); // this engine draws every path at its origin
    ASSERT_EQ(Cmd("ForcePathUse", {0}), 0);
    ASSERT_EQ(Cmd("Box", {0, 40, 5, 5, 0x0000FF}), 0);
    EXPECT_EQ(native.calls[1], before + 1);
    EXPECT_TRUE(GetPathList()->first != nullptr); // the temporary path went again
    EXPECT_EQ(GetPathList()->first->next, nullptr);

    // An engine that cannot be called measures nothing: nothing to draw.
    EXPECT_EQ(StrCmd("SetVectorEngine", "testvector2"), 0);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFF}), ERR_EMPTYPATH);
    EXPECT_EQ(uncallable.calls[1], 0);
    FreeAllPaths(L);
    g_engines[0] = g_engines[1] = nullptr;
}

TEST_F(VectorLibrary, DrawPathDrawsInTheStyleAndRefusesWhatItCannotDraw) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFF}), ERR_EMPTYPATH);
    ASSERT_EQ(Cmd("StartSubPath", {1}), 0);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFF}), ERR_EMPTYPATH);
    char text[200];
    GetErrorText(ERR_EMPTYPATH, text, sizeof text);
    EXPECT_STREQ(text, "Cannot draw empty path!");
    EXPECT_EQ(ERR_EMPTYPATH, 1394);

    // A 20 x 10 box without anti-alias, at an offset.
    ASSERT_EQ(Call("AddBoxToPath", [&] {
                  for (double v : {1.0, 2.0, 3.0, 20.0, 10.0}) lua_pushnumber(L, v);
              }),
              0);
    ASSERT_EQ(Cmd("DrawPath", {1, 10, 20, 0x123456}), 0);
    EXPECT_EQ(CountColour(0x123456), 200);
    EXPECT_EQ(Pixel(12, 23), 0x123456u);
    EXPECT_EQ(Pixel(31, 32), 0x123456u);
    EXPECT_EQ(Pixel(32, 32), 0u);
    EXPECT_GE(g_drawn, 1);
    ASSERT_EQ(Call("GetPathExtents", [&] { lua_pushnumber(L, 1); }), 0);
    EXPECT_EQ(Num(1), 2);
    EXPECT_EQ(Num(4), 13);

    // Outlined: the inside stays untouched.
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 10, 20, 0xABCDEF}), 0);
    EXPECT_EQ(Pixel(20, 28), 0x123456u);
    EXPECT_GT(CountColour(0xABCDEF), 40);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);

    // Special coordinates centre the drawing's box in the output.
    FillRect(bitmap, 0, 0, 64, 48, 0);
    ASSERT_EQ(Cmd("DrawPath", {1, -100000, -100000, 0x00FF00}), 0);
    EXPECT_EQ(Pixel(22, 19), 0x00FF00u);
    EXPECT_EQ(Pixel(41, 28), 0x00FF00u);
    EXPECT_EQ(CountColour(0x00FF00), 200);

    // Normalised, the box starts at the origin.
    ASSERT_EQ(Cmd("NormalizePath", {1}), 0);
    ASSERT_EQ(Call("GetPathExtents", [&] { lua_pushnumber(L, 1); }), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Num(2), 0);

    // Coordinates beyond the engine's range, and NaN: nothing is drawn, and
    // the message says why.
    const double nan = std::nan("");
    FillRect(bitmap, 0, 0, 64, 48, 0);
    for (double bad : {1e12, nan, -1e300}) {
        ASSERT_EQ(Cmd("StartPath", {2}), 0);
        ASSERT_EQ(Cmd("MoveTo", {2, 0, 0}), 0);
        ASSERT_EQ(Cmd("LineTo", {2, bad, 10}), 0);
        ASSERT_EQ(Cmd("LineTo", {2, 0, 10}), 0);
        EXPECT_EQ(Cmd("DrawPath", {2, 0, 0, 0xFFFFFF}), ERR_COORDSRANGE);
    }
    for (double bad : {nan, HUGE_VAL}) {
        ASSERT_EQ(Cmd("StartPath", {3}), 0);
        ASSERT_EQ(Cmd("AddArcToPath", {3, 10, 10, 5, 5, 0, bad}), 0);
        EXPECT_EQ(Cmd("DrawPath", {3, 0, 0, 0xFFFFFF}), ERR_COORDSRANGE);
    }
    GetErrorText(ERR_COORDSRANGE, text, sizeof text);
    EXPECT_STREQ(text, "Specified coordinates are out of range!");
    // Moved by a number that is none: refused like such a point, and the
    // path stays where it was.
    EXPECT_EQ(Cmd("TranslatePath", {1, nan, 0}), ERR_COORDSRANGE);
    EXPECT_EQ(Cmd("TranslatePath", {1, 0, -HUGE_VAL}), ERR_COORDSRANGE);
    ASSERT_EQ(Call("GetPathExtents", [&] { lua_pushnumber(L, 1); }), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(CountColour(0xFFFFFF), 0);
    // A zigzag of 20,000 edges, filled and outlined without anti-alias: too
    // many edges for the one-bit rasteriser, drawn all the same.
    auto zigzag = [&](int id, int segments) {
        ASSERT_EQ(Cmd("StartPath", {double(id)}), 0);
        ASSERT_EQ(Cmd("MoveTo", {double(id), 0, 0}), 0);
        for (int i = 1; i <= segments; ++i)
            ASSERT_EQ(Cmd("LineTo", {double(id), double(i % 50), double((i * 7) % 40)}), 0);
    };
    zigzag(5, 20000);
    EXPECT_EQ(Cmd("DrawPath", {5, 0, 0, 0xFFFFFF}), 0);
    EXPECT_GT(CountColour(0xFFFFFF), 100);
    FillRect(bitmap, 0, 0, 64, 48, 0);
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    EXPECT_EQ(Cmd("DrawPath", {5, 0, 0, 0xFFFFFF}), 0);
    EXPECT_GT(CountColour(0xFFFFFF), 100);
    // More points than one FreeType outline holds: an internal limit, not
    // an empty path, outlined (round joins) or filled.
    FillRect(bitmap, 0, 0, 64, 48, 0);
    ASSERT_EQ(Cmd("SetLineJoin", {1}), 0);
    ASSERT_EQ(Cmd("SetLineWidth", {4}), 0);
    zigzag(6, 20000);
    EXPECT_EQ(Cmd("DrawPath", {6, 0, 0, 0xFFFFFF}), ERR_INTERNAL);
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    zigzag(7, 40000);
    EXPECT_EQ(Cmd("DrawPath", {7, 0, 0, 0xFFFFFF}), ERR_INTERNAL);
    ASSERT_EQ(Cmd("SetLineJoin", {0}), 0);
    ASSERT_EQ(Cmd("SetLineWidth", {1}), 0);
    EXPECT_EQ(CountColour(0xFFFFFF), 0);
    // Positions far outside: drawn nowhere, no failure.
    ASSERT_EQ(Cmd("DrawPath", {1, 2e9, -2e9, 0xFFFFFF}), 0);
    EXPECT_EQ(CountColour(0xFFFFFF), 0);
    // A path too large to rasterise is refused as a bitmap too big.
    ASSERT_EQ(Cmd("StartPath", {4}), 0);
    ASSERT_EQ(Call("AddBoxToPath", [&] {
                  for (double v : {4.0, 0.0, 0.0, 100000.0, 100000.0}) lua_pushnumber(L, v);
              }),
              0);
    EXPECT_EQ(Cmd("DrawPath", {4, 0, 0, 0xFFFFFF}), ERR_BITMAP);
}

// Outlines that stay on one point, through the commands: a dot where the
// caps are round, nothing (an empty drawing) where they are butt; the draw
// library's shapes of no size while paths are forced alike.
TEST_F(VectorLibrary, ZeroLengthOutlinesDrawDotsOrNothing) {
    ASSERT_EQ(Cmd("SetFillStyle", {0}), 0);
    ASSERT_EQ(Cmd("SetLineWidth", {6}), 0);
    ASSERT_EQ(Cmd("SetLineCap", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 20, 20}), 0);
    ASSERT_EQ(Cmd("RelLineTo", {1, 0, 0}), 0);
    ASSERT_EQ(Call("GetPathExtents", [&] { lua_pushnumber(L, 1); }), 0);
    EXPECT_NEAR(Num(1), 17, 0.1);
    EXPECT_NEAR(Num(2), 17, 0.1);
    EXPECT_NEAR(Num(3), 23, 0.1);
    EXPECT_NEAR(Num(4), 23, 0.1);
    ASSERT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFF0000}), 0);
    EXPECT_EQ(Pixel(20, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(25, 20), 0u);
    const int dot = CountColour(0xFF0000);
    EXPECT_GT(dot, 20);
    EXPECT_LT(dot, 40);
    ASSERT_EQ(Cmd("SetDash", {0, 3, 3}), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 10, 0, 0xFF0000}), 0);
    EXPECT_EQ(CountColour(0xFF0000), 2 * dot);
    ASSERT_EQ(Cmd("SetLineCap", {0}), 0);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 20, 0xFF0000}), ERR_EMPTYPATH);
    EXPECT_EQ(CountColour(0xFF0000), 2 * dot);

    FillRect(bitmap, 0, 0, 64, 48, 0);
    ASSERT_EQ(Cmd("SetLineCap", {1}), 0);
    ASSERT_EQ(Cmd("ForcePathUse", {1}), 0);
    ASSERT_EQ(Cmd("Circle", {10, 10, 0, 0x00FF00}), 0);
    ASSERT_EQ(Cmd("Arc", {30, 10, 0, 0, 0, 90, 0x00FF00}), 0);
    ASSERT_EQ(Call("Polygon", [&] {
                  lua_pushnumber(L, 50);
                  lua_pushnumber(L, 30);
                  lua_newtable(L);
                  for (int i = 0; i < 6; ++i) {
                      lua_pushnumber(L, i);
                      lua_pushnumber(L, 0);
                      lua_settable(L, -3);
                  }
                  lua_pushnumber(L, 3);
                  lua_pushnumber(L, 0x00FF00);
              }),
              0);
    ASSERT_EQ(Cmd("ForcePathUse", {0}), 0);
    EXPECT_GT(CountColour(0x00FF00), 2 * 20);
}

TEST_F(VectorLibrary, DisplayOptionsTurnScaleAndAnchorTheDrawing) {
    ASSERT_EQ(Cmd("SetFillStyle", {1}), 0);
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("AddBoxToPath", {1, 0, 0, 20, 10}), 0);
    // The box of the pixels of a colour.
    auto box = [&](uint32_t colour, int out[4]) {
        out[0] = out[1] = 1000;
        out[2] = out[3] = -1;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                if (Pixel(x, y) == colour) {
                    out[0] = std::min(out[0], x);
                    out[1] = std::min(out[1], y);
                    out[2] = std::max(out[2], x);
                    out[3] = std::max(out[3], y);
                }
    };
    auto draw = [&](std::initializer_list<std::pair<const char *, double>> options, uint32_t colour) {
        FillRect(bitmap, 0, 0, 64, 48, 0);
        return Call("DrawPath", [&] {
            for (double v : {1.0, 20.0, 20.0, double(colour)}) lua_pushnumber(L, v);
            lua_newtable(L);
            for (const auto &o : options) SetTableDouble(L, o.first, o.second);
        });
    };
    int b[4];
    ASSERT_EQ(draw({}, 0xFF0000), 0);
    box(0xFF0000, b);
    EXPECT_EQ(b[0], 20);
    EXPECT_EQ(b[1], 20);
    EXPECT_EQ(CountColour(0xFF0000), 200);

    ASSERT_EQ(draw({{"scalex", 2}}, 0x00FF00), 0);
    box(0x00FF00, b);
    EXPECT_EQ(b[2] - b[0] + 1, 40);
    EXPECT_EQ(b[3] - b[1] + 1, 10);
    EXPECT_EQ(CountColour(0x00FF00), 400);

    // A quarter turn about the centre: 10 wide, 20 high, same middle.
    ASSERT_EQ(draw({{"rotate", 90}, {"anchorx", 0.5}, {"anchory", 0.5}}, 0x0000FF), 0);
    box(0x0000FF, b);
    EXPECT_EQ(b[2] - b[0] + 1, 10);
    EXPECT_EQ(b[3] - b[1] + 1, 20);
    EXPECT_EQ(b[0] + b[2], 2 * 20 + 19);
    EXPECT_EQ(CountColour(0x0000FF), 200);

    // Anchored without a turn: the anchor point goes to the position.
    ASSERT_EQ(draw({{"anchorx", 0.5}, {"anchory", 1}}, 0xFFFF00), 0);
    box(0xFFFF00, b);
    EXPECT_EQ(b[0], 10);
    EXPECT_EQ(b[1], 10);

    // Half transparent over black: half the colour.
    ASSERT_EQ(draw({{"transparency", 128}}, 0xFF0000), 0);
    const uint32_t half = Pixel(25, 25);
    EXPECT_GE(half >> 16, 0x70u);
    EXPECT_LE(half >> 16, 0x90u);

    EXPECT_EQ(draw({{"scalex", 0}}, 0xFFFFFF), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("DrawPath", [&] {
                  for (double v : {1.0, 0.0, 0.0, 0.0}) lua_pushnumber(L, v);
                  lua_pushstring(L, "no table");
              }),
              ERR_TABEXPECTED);
}

TEST_F(VectorLibrary, TextItemsNeedATrueTypeFontAndFollowIt) {
    ASSERT_EQ(Cmd("StartPath", {1}), 0);
    ASSERT_EQ(Cmd("MoveTo", {1, 2, 30}), 0);
    EXPECT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "Hi");
              }),
              ERR_VFONTTYPE);
    ASSERT_EQ(StartFontEngines(nullptr), 0);
    SetVectorTextFontHook(CurrentFont);
    g_font = GetTopazFont();
    EXPECT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "Hi");
              }),
              ERR_VFONTTYPE);
    ASSERT_EQ(OpenPlatformFont("Bitstream Vera Sans", 16, CX_FONT_TRUETYPE, 0, 0, 0, &g_font), 0);
    EXPECT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "Hi");
                  lua_newtable(L);
                  SetTableNumber(L, "encoding", 7);
              }),
              ERR_WRONGUSAGE);
    ASSERT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "H\xE9");
                  lua_newtable(L);
                  SetTableNumber(L, "encoding", 0);
              }),
              0);
    ASSERT_EQ(Cmd("PathItems", {1}), 0);
    ASSERT_EQ(Next(1), 1);
    ASSERT_EQ(Next(1), 1);
    EXPECT_EQ(Field("type"), "Text");
    EXPECT_EQ(Field("text"), "H\xC3\xA9");
    EXPECT_EQ(Field("size"), "24");
    ASSERT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFFFFFF}), 0);
    EXPECT_GT(CountColour(0xFFFFFF), 40);
    // A second item in the same font reuses its handle; a plug-in engine
    // gets its own.
    ASSERT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "!");
              }),
              0);
    EXPECT_EQ(g_font->vectorFonts->next, nullptr);
    TestEngine native;
    ASSERT_TRUE(native.Open("testvector.cxp"));
    g_engines[0] = &native;
    EXPECT_EQ(StrCmd("SetVectorEngine", "testvector"), 0);
    ASSERT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFFFFFF}), 0);
    EXPECT_EQ(native.calls[4], 1);
    ASSERT_NE(g_font->vectorFonts->next, nullptr);
    ASSERT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFFFFFF}), 0);
    EXPECT_EQ(native.calls[4], 1);
    // Once its font is closed a text item cannot be drawn.
    EXPECT_EQ(StrCmd("SetVectorEngine", "default"), 0);
    OsCloseFont(g_font);
    g_font = nullptr;
    EXPECT_EQ(native.calls[5], 1);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFFFFFF}), ERR_VFONT);
    // A font opened later never takes the closed one's key.
    ASSERT_EQ(OpenPlatformFont("Bitstream Vera Sans", 16, CX_FONT_TRUETYPE, 0, 0, 0, &g_font), 0);
    ASSERT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "x");
              }),
              0);
    EXPECT_EQ(Cmd("DrawPath", {1, 0, 0, 0xFFFFFF}), ERR_VFONT);
    ASSERT_EQ(Cmd("StartPath", {5}), 0);
    ASSERT_EQ(Call("AddTextToPath", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushstring(L, "x");
              }),
              0);
    EXPECT_EQ(Cmd("DrawPath", {5, 0, 0, 0xFFFFFF}), 0);
    g_engines[0] = nullptr;
    FreeAllPaths(L);
    OsCloseFont(g_font);
    g_font = nullptr;
    StopFontEngines();
}

} // namespace
