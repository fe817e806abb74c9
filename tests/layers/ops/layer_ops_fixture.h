// Layer operations on an off-screen display: commands called as a script
// calls them, and the check that finds stale pixels: the composition
// buffer (what the window shows) against the whole picture composited
// anew.
#pragma once

#include <string>
#include <vector>

#include "graphics/blit/blit.h"
#include "graphics/blit/mask_alpha_rect.h"
#include "graphics/editing/bitmap_edit.h"
#include "layers/core/layer_insert.h"
#include "tests/layers/layer_test_display.h"

namespace cxtest {

class LayerOpsTest : public LayerDisplayTest {
  protected:
    static constexpr int kW = 64, kH = 48;
    static constexpr uint32_t kBack = 0x000080; // the picture's colour

    // A command with mixed arguments: numbers, strings, nil (nullptr).
    struct Arg {
        enum { kNumber, kString, kNil } kind;
        double number;
        const char *text;
        Arg(double v) : kind(kNumber), number(v), text(nullptr) {}
        Arg(int v) : kind(kNumber), number(v), text(nullptr) {}
        Arg(const char *s) : kind(s ? kString : kNil), number(0), text(s) {}
    };
    int Run(const char *name, std::initializer_list<Arg> args, const std::function<void()> &table = nullptr) {
        return Call(name, [&] {
            for (const Arg &a : args) {
                if (a.kind == Arg::kNumber) lua_pushnumber(L, a.number);
                else if (a.kind == Arg::kString) lua_pushstring(L, a.text);
                else lua_pushnil(L);
            }
            if (table) {
                lua_newtable(L);
                table();
            }
        });
    }
    // SetLayerStyle(layer, {...}).
    int Style(Arg layer, const std::function<void()> &fill) { return Run("SetLayerStyle", {layer}, fill); }

    static std::vector<uint32_t> Pixels(cxBitmap *bm) {
        std::vector<uint32_t> out(size_t(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint32_t v = 0;
                ReadBitmapPixel(bm, x, y, &v);
                out[size_t(y) * kW + x] = v & 0xFFFFFF;
            }
        return out;
    }
    std::vector<uint32_t> Screen() { return Pixels(GetCompositionBuffer(L, d)); }
    // The whole picture composited from scratch.
    std::vector<uint32_t> Fresh() {
        cxBitmap *bm = AllocBitmap(kW, kH, 0, 0);
        RedrawLayersRect(L, d, BGPic(), bm, 0, 0, kW, kH, 0, nullptr);
        std::vector<uint32_t> out = Pixels(bm);
        FreeBitmap(bm);
        return out;
    }
    // Empty when the screen shows what a whole redraw would; else where
    // not.
    std::string StalePixels() {
        const std::vector<uint32_t> got = Screen(), want = Fresh();
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i] != want[i]) {
                char text[96];
                snprintf(text, sizeof text, "pixel %d,%d shows %06x, a redraw gives %06x", int(i % kW), int(i / kW),
                         got[i], want[i]);
                return text;
            }
        return "";
    }
    std::string Stack() {
        std::string s;
        for (cxLayer *l = Layer(1); l; l = NextLayer(l)) s += l->name ? l->name : "?";
        return s;
    }
    // n brush layers named "a", "b", ... of 8x8 brushes 1..n, at (8 i, 4).
    void Named(int n) {
        for (int i = 0; i < n; ++i) {
            Brush(i + 1, 8, 8, 0x100000u * uint32_t(i + 1) | 0x40);
            const char name[2] = {char('a' + i), 0};
            ASSERT_EQ(Cmd("DisplayBrush", {double(i + 1), 8.0 * i, 4}, [&] { StringField("name", name); }), 0);
        }
    }
};

}  // namespace cxtest
