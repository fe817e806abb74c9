// The anim library on an off-screen display (the brush tests' display):
// fixture files written here (PNG grids, GIF anims, AVIs by the player's
// own writer) and lookups of anims and their frames.
#pragma once

#include <string>
#include <type_traits>
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
#include "graphics/blit/mask_alpha_rect.h"  // before the layer fixture, which uses it
#include "tests/layers/layer_test_display.h"
#include "tests/media/media_test_support.h"

namespace cxtest {

// A colour that tells a cell of a grid, or a frame number.
inline uint32_t CellColour(int i) { return uint32_t(0x102030 + i * 0x0B1711) & 0xFFFFFF; }

// On the brush tests' display (layers off), or on the layer tests' one
// (layers on; that fixture installs output redirection itself, before the
// layers).
template <class Base>
class AnimTestOn : public Base {
  protected:
    using Base::L;
    using Base::Call;
    using Base::Field;
    using Base::PixelOf;
    static constexpr bool kLayers = std::is_base_of_v<LayerDisplayTest, Base>;
    TempDir dir;

    void SetUp() override {
        Base::SetUp();
        if (!kLayers) InstallOutputRedirection();
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);  // SelectBrush, EndSelect, ...
        ASSERT_EQ(OpenAnimLibrary(L), 0);
    }
    void TearDown() override {
        if (kLayers) FreeLayerLibraryState(L);
        FreeAnimObjects();
        if (!kLayers) RemoveOutputRedirection();
        Base::TearDown();
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

    // An IFF ANIM of 16 x 2, one plane (black, white): a black first
    // picture and frames deltas more, each turning the first row's first
    // byte white; ticks of 1/60 s each.
    std::string IffAnim(const char *name, int deltas, uint32_t ticks = 6) {
        auto be32 = [](Bytes &b, uint32_t v) {
            for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
        };
        auto chunk = [&](const char *id, const Bytes &data) {
            Bytes b(id, id + 4);
            be32(b, uint32_t(data.size()));
            b.insert(b.end(), data.begin(), data.end());
            if (data.size() & 1) b.push_back(0);
            return b;
        };
        auto form = [&](const char *type, const Bytes &chunks) {
            Bytes inner(type, type + 4);
            inner.insert(inner.end(), chunks.begin(), chunks.end());
            return chunk("FORM", inner);
        };
        auto anhd = [&](int method) {
            Bytes b(40, 0);
            b[0] = uint8_t(method);
            for (int i = 0; i < 4; ++i) b[14 + i] = uint8_t(ticks >> (24 - 8 * i));
            return chunk("ANHD", b);
        };
        Bytes first = chunk("BMHD", {0, 16, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 16, 0, 2});
        for (const Bytes &c : {anhd(0), chunk("CMAP", {0, 0, 0, 255, 255, 255}), chunk("BODY", {0, 0, 0, 0})})
            first.insert(first.end(), c.begin(), c.end());
        Bytes all = form("ILBM", first);
        for (int d = 0; d < deltas; ++d) {
            Bytes dlta;
            be32(dlta, 64);
            dlta.resize(64, 0);
            dlta.insert(dlta.end(), {1, 0x81, 0xFF, 0});  // one op: byte 0 of the column := 0xFF
            Bytes f = anhd(5);
            const Bytes c = chunk("DLTA", dlta);
            f.insert(f.end(), c.begin(), c.end());
            const Bytes ff = form("ILBM", f);
            all.insert(all.end(), ff.begin(), ff.end());
        }
        const std::string path = dir.Path(name);
        WriteBytes(path, form("ANIM", all));
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

using AnimTest = AnimTestOn<BrushDisplayTest>;
using AnimLayerTest = AnimTestOn<LayerDisplayTest>;

}  // namespace cxtest
