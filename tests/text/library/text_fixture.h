// The text library in a virtual machine, drawing into a bitmap that a test
// output stands in for (a brush-like target), with a display record that
// holds the text cursor.
#pragma once

#include "display/display_record.h"
#include "display/draw/draw_output.h"
#include "graphics/pixels/pixel_format.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "text/library/text_library.h"
#include "text/library/text_state.h"

namespace texttest {

inline cxDrawOutput &Out() {
    static cxDrawOutput out;
    return out;
}
inline int GetOutput(lua_State *, cxDrawOutput *out) {
    *out = Out();
    return 0;
}

class TextTest : public cxtest::VmTest {
protected:
    cxBitmap *bitmap = nullptr;
    cxDisplay *display = nullptr;
    static constexpr int kW = 160, kH = 64;

    void SetUp() override {
        VmTest::SetUp();
        lua_register(L, "tostring", [](lua_State *S) -> int {
            if (lua_type(S, 1) == LUA_TNUMBER) {
                char b[32];
                snprintf(b, sizeof b, "%.14g", lua_tonumber(S, 1));
                lua_pushstring(S, b);
            } else if (lua_isnil(S, 1)) {
                lua_pushstring(S, "nil");
            } else {
                lua_pushvalue(S, 1);
            }
            return 1;
        });
        ASSERT_EQ(OpenTextLibrary(L), 0);
        bitmap = AllocBitmap(kW, kH, CX_ALLOC_CLEAR, 0);
        Out() = cxDrawOutput{};
        Out().target = {bitmap, nullptr, nullptr, kW, kH, 255, 0};
        Out().kind = 3;
        cxDrawOutputHooks hooks{};
        hooks.getOutput = GetOutput;
        SetDrawOutputHooks(&hooks);
        display = NewDisplayRecord();
        display->pictureWidth = kW;
        display->pictureHeight = kH;
        ResetTextCursor(display);
        display->textCursor.rightMargin = kW - 1;
        SetCurrentDisplayRecord(display);
    }
    void TearDown() override {
        SetCurrentDisplayRecord(nullptr);
        free(display);
        SetDrawOutputHooks(nullptr);
        FreeTextLibrary(L);
        FreeBitmap(bitmap);
        VmTest::TearDown();
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    int CmdS(const char *name, const char *text) {
        return Call(name, [&] { lua_pushstring(L, text); });
    }
    uint32_t Pixel(int x, int y) {
        cxOsBitmapLock l;
        LockBitmap(bitmap, 0, &l);
        const uint32_t v = PixelToColor(LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + size_t(x)) * l.bytesPerPixel, l.pixelFormat), l.pixelFormat, 0);
        UnlockBitmap(&l);
        return v;
    }
    // Pixels of a colour in a box.
    int Count(uint32_t colour, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += Pixel(x, y) == colour;
        return n;
    }
    double Field(int table, const char *key) {
        lua_pushstring(L, key);
        lua_gettable(L, table);
        const double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return v;
    }
    const cxTextCursor &Cursor() { return display->textCursor; }
};

} // namespace texttest
