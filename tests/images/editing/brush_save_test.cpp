// SaveBrush in the five built-in formats, read back with netpbm's decoders
// (not the player's own readers) and compared pixel by pixel; JPEG within
// the loss its quality allows. Also the refusals of SaveBrush.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "graphics/editing/bitmap_edit.h"
#include "images/brushes/brush.h"
#include "images/editing/brush_commands.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

constexpr int kW = 64, kH = 32, kVisibleW = 48;

// Eight colours in 16 x 16 blocks: few enough for GIF's and ILBM's
// palettes, and aligned to JPEG's blocks so that its loss stays small.
uint32_t ColourAt(int x, int y) {
    static const uint32_t kColours[8] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                         0x00FFFF, 0xFF00FF, 0xFFFFFF, 0x102030};
    return kColours[(x / 16 + 3 * (y / 16)) % 8];
}

struct Pnm {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB (grey maps: the level three times)
};

// Runs "tool < file" and reads its binary PPM or PGM.
bool Decode(const std::string &command, Pnm *out) {
    FILE *p = popen(command.c_str(), "r");
    if (!p) return false;
    char magic[3] = {};
    int maxval = 0;
    const bool ok = fscanf(p, "%2s %d %d %d", magic, &out->width, &out->height, &maxval) == 4 && maxval == 255;
    fgetc(p);
    const bool colour = std::string(magic) == "P6";
    if (ok && (colour || std::string(magic) == "P5")) {
        out->rgb.resize(size_t(out->width) * out->height);
        for (uint32_t &v : out->rgb) {
            unsigned char c[3] = {};
            if (fread(c, 1, colour ? 3 : 1, p) != (colour ? 3u : 1u)) break;
            v = colour ? uint32_t(c[0] << 16 | c[1] << 8 | c[2]) : uint32_t(c[0] * 0x010101);
        }
    }
    return pclose(p) == 0 && ok;
}

bool Have(const char *tool) { return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

class BrushSave : public cxtest::VmTest {
protected:
    std::string dir;
    void SetUp() override {
        VmTest::SetUp();
        luaL_openlib(L, nullptr, GetBrushEditingCommands(), 0);
        char templ[] = "/tmp/cxsaveXXXXXX";
        dir = mkdtemp(templ);
        cxBitmap *bm = AllocBitmap(kW, kH, CX_ALLOC_CLEAR, 0);
        cxBitmap *mask = AllocMask(bm, kW, kH, 1, nullptr, 0);
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                WriteBitmapPixel(bm, x, y, ColourAt(x, y));
                WriteBitmapPixel(mask, x, y, x < kVisibleW);
            }
        cxObjectID id{1, nullptr};
        ASSERT_EQ(AddBrushRecord(&id, CX_BRUSH_BITMAP, kW, kH, kW, 0, nullptr, bm, CX_TRANSPARENT_BY_MASK, mask,
                                 nullptr, nullptr, nullptr),
                  0);
    }
    void TearDown() override {
        FreeAllBrushes(L);
        std::string rm = "rm -rf " + dir;
        (void)!system(rm.c_str());
        VmTest::TearDown();
    }
    int Save(const std::string &file, int format, double quality = -1) {
        return Call("SaveBrush", [&] {
            lua_pushnumber(L, 1);
            lua_pushstring(L, file.c_str());
            lua_pushnil(L);
            lua_pushnumber(L, format);
            if (quality >= 0) lua_pushnumber(L, quality);
        });
    }
};

TEST_F(BrushSave, EveryFormatDecodesToTheBrushWithOtherReaders) {
    struct Format {
        int number;
        const char *ext, *tool;
        int tolerance;  // per channel: the worst (lossless formats) or the mean (JPEG)
    };
    const Format formats[] = {
        {0, "bmp", "bmptopnm", 0}, {1, "png", "pngtopnm", 0}, {2, "jpg", "jpegtopnm", 6},
        {3, "gif", "giftopnm", 0}, {4, "iff", "ilbmtoppm", 0},
    };
    for (const Format &f : formats) {
        if (!Have(f.tool)) {
            ADD_FAILURE() << f.tool << " missing: scripts/install-deps.sh installs netpbm";
            continue;
        }
        const std::string file = dir + "/brush." + f.ext;
        ASSERT_EQ(Save(file, f.number, 95), 0) << f.ext;
        Pnm img;
        ASSERT_TRUE(Decode(std::string(f.tool) + " < " + file + " 2>/dev/null", &img)) << f.ext;
        ASSERT_EQ(img.width, kW) << f.ext;
        ASSERT_EQ(img.height, kH) << f.ext;
        long worst = 0, sum = 0, count = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kVisibleW; x++) {  // transparent pixels may be written as any colour
                const uint32_t want = ColourAt(x, y), got = img.rgb[size_t(y) * kW + x];
                for (int s = 0; s < 24; s += 8) {
                    const long d = std::labs(long((want >> s) & 0xFF) - long((got >> s) & 0xFF));
                    worst = std::max(worst, d);
                    sum += d;
                    count++;
                }
            }
        // JPEG blurs the sharp edges between saturated bands: its mean error
        // counts, not the worst pixel.
        EXPECT_LE(f.number == 2 ? sum / count : worst, f.tolerance) << f.ext;
    }
    // PNG keeps the mask as alpha.
    if (Have("pngtopnm")) {
        Pnm alpha;
        ASSERT_TRUE(Decode("pngtopnm -alpha < " + dir + "/brush.png 2>/dev/null", &alpha));
        ASSERT_EQ(alpha.rgb.size(), size_t(kW) * kH);
        EXPECT_EQ(alpha.rgb[kVisibleW - 1], 0xFFFFFFu);
        EXPECT_EQ(alpha.rgb[kVisibleW], 0u);
    }
}

TEST_F(BrushSave, Refusals) {
    EXPECT_EQ(Save(dir + "/x.bin", 99), ERR_UNKNOWNIMGOUT);
    EXPECT_NE(Save(dir + "/no/such/folder/x.png", 1), 0);
    EXPECT_EQ(Save(dir + "/x.jpg", 2, 101), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("SaveBrush",
                   [&] {
                       lua_pushnumber(L, 2);
                       lua_pushstring(L, (dir + "/y.png").c_str());
                   }),
              ERR_FINDBRUSH);
    // Nothing is left of a failed save.
    EXPECT_NE(system(("test -e " + dir + "/y.png").c_str()), 0);
}

}  // namespace
