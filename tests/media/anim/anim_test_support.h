// The anim library on an off-screen display (the brush tests' display):
// fixture files written here (PNG grids, GIF anims, AVIs by the player's
// own writer) and lookups of anims and their frames.
#pragma once

#include <string>
#include <vector>

#include "graphics/pixels/pixel_format.h"
#include "images/editing/brush_commands.h"
#include "images/formats/gif_codec.h"
#include "images/formats/png_codec.h"
#include "images/output/output_redirect.h"
#include "media/anim/anim.h"
#include "media/anim/anim_library.h"
#include "media/avi/avi_writer.h"
#include "tests/images/brushes/brush_test_display.h"
#include "tests/media/media_test_support.h"

namespace cxtest {

// A colour that tells a cell of a grid, or a frame number.
inline uint32_t CellColour(int i) { return uint32_t(0x102030 + i * 0x0B1711) & 0xFFFFFF; }

class AnimTest : public BrushDisplayTest {
  protected:
    TempDir dir;

    void SetUp() override {
        BrushDisplayTest::SetUp();
        InstallOutputRedirection();
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);  // SelectBrush, EndSelect, ...
        ASSERT_EQ(OpenAnimLibrary(L), 0);
    }
    void TearDown() override {
        FreeAnimObjects();
        RemoveOutputRedirection();
        BrushDisplayTest::TearDown();
    }

    // A PNG of cols x rows cells of size x size, cell i of CellColour(i).
    std::string GridPng(const char *name, int cols, int rows, int size) {
        const int w = cols * size, h = rows * size;
        std::vector<uint32_t> px(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px[size_t(y) * w + x] = 0xFF000000u | CellColour((y / size) * cols + x / size);
        cxPngWriteRequest r{};
        const std::string path = dir.Path(name);
        r.file = path.c_str();
        r.pixels = px.data();
        r.bytesPerRow = w * 4;
        r.width = w;
        r.height = h;
        SavePNGImage(&r);
        EXPECT_EQ(r.error, 0);
        return path;
    }
    // A GIF of solid frames of CellColour(i), with the delays given (ms);
    // with a transparent index, each frame's top-left pixel is transparent.
    std::string Gif(const char *name, int w, int h, std::vector<int> delays, bool transparent = false) {
        const std::string path = dir.Path(name);
        cxGifWriter *g = nullptr;
        EXPECT_EQ(CreateGIFFile(path.c_str(), w, h, &g), 0);
        for (size_t i = 0; i < delays.size(); ++i) {
            std::vector<uint8_t> indices(size_t(w) * h, 0);
            if (transparent) indices[0] = 1;
            uint32_t palette[256] = {CellColour(int(i)), 0x00FF00FF};
            EXPECT_EQ(WriteGIFFile(g, indices.data(), w, h, delays[i], palette, 2, transparent ? 1 : -1, 0, 0), 0);
        }
        EXPECT_EQ(FinishGIFFile(g), 0);
        return path;
    }
    // An AVI of solid frames by the player's writer.
    std::string Avi(const char *name, int w, int h, int frames) {
        const std::string path = dir.Path(name);
        cxAviWriter *a = nullptr;
        EXPECT_EQ(BeginAviWriter(path.c_str(), 25, 0, w, h, 95, 0, 0, "", "", &a), 0);
        for (int i = 0; i < frames; ++i) {
            std::vector<uint32_t> px(size_t(w) * h, 0xFF000000u | CellColour(i));
            EXPECT_EQ(WriteAviFrameARGB(a, px.data(), w), 0);
        }
        EXPECT_EQ(FinishAviWriter(a), 0);
        return path;
    }

    int Load(double id, const std::string &file, const std::function<void()> &fill = nullptr) {
        return Call("LoadAnim", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
            if (fill) {
                lua_newtable(L);
                fill();
            }
        });
    }
    cxAnim *Get(int id) {
        cxAnim *a = nullptr;
        EXPECT_EQ(FindAnim(L, {id, nullptr}, &a, 0), 0);
        return a;
    }
    // The colour of a pixel of a frame (0-based), decoded as shown.
    uint32_t FramePixel(cxAnim *a, int frame, int x, int y) {
        cxBitmap *b = nullptr, *m = nullptr, *al = nullptr;
        EXPECT_EQ(GetAnimFrameBitmaps(a, frame, 0, 0, &b, &m, &al), 0);
        const uint32_t v = b ? PixelOf(b, x, y) : 0xDEADBEEF;
        if (a->diskBased) {
            FreeBitmap(b);
            FreeMask(m);
            FreeAlphaChannel(al);
        }
        return v;
    }
    static int CountAnims() {
        int n = 0;
        for (cxAnim *a = GetFirstAnim(); a; a = reinterpret_cast<cxAnim *>(a->header.next)) ++n;
        return n;
    }
    static bool Near(uint32_t a, uint32_t b, int tolerance) {
        for (int s = 0; s <= 16; s += 8)
            if (std::abs(int((a >> s) & 255) - int((b >> s) & 255)) > tolerance) return false;
        return true;
    }
};

}  // namespace cxtest
