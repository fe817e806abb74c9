// The GIF reader against gdk-pixbuf's GIF test suite (its .conf and .rgba
// expectations) and against giflib's DGifSlurp on single pictures; frames
// outside the screen, broken code streams, truncation; the writer.
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <map>
#include <set>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "images/formats/gif_codec.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

std::string SuiteDir() { return PixbufDir() + "/test-images/gif-test-suite"; }

using Conf = std::map<std::string, std::map<std::string, std::string>>;

Conf ReadConf(const std::string &path) {
    Conf out;
    std::ifstream f(path);
    std::string line, section;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const size_t eq = line.find(" =");
        if (eq == std::string::npos) continue;
        std::string value = eq + 3 <= line.size() ? line.substr(eq + 3) : "";
        out[section][line.substr(0, eq)] = value;
    }
    return out;
}

std::vector<std::string> Split(const std::string &s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < s.size()) {
        size_t comma = s.find(',', start);
        if (comma == std::string::npos) comma = s.size();
        if (comma > start) out.push_back(s.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

struct Gif {
    Bytes bytes;
    cxGifReader *r = nullptr;
    int width = 0, height = 0, frames = 0;
    bool Open(bool transparency = true, bool clearCanvas = true) {
        r = OpenGIFFile(OpenBytesStream(bytes), &width, &height, &frames, 0, clearCanvas, transparency);
        return r != nullptr;
    }
    ~Gif() { CloseGIFFile(r); }
};

bool LoadGif(const std::string &path, Gif *g) { return ReadFileBytes(path, &g->bytes); }

// giflib: frame 0 on a canvas of the background colour, for pictures
// without transparency.
bool GiflibFirstFrame(const std::string &path, std::vector<uint32_t> *out, int *w, int *h) {
    int err = 0;
    GifFileType *gif = DGifOpenFileName(path.c_str(), &err);
    if (!gif) return false;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        DGifCloseFile(gif, &err);
        return false;
    }
    *w = gif->SWidth;
    *h = gif->SHeight;
    const SavedImage &im = gif->SavedImages[0];
    const ColorMapObject *map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    auto colour = [&](int i) -> uint32_t {
        if (!map || i >= map->ColorCount) return 0;
        const GifColorType &c = map->Colors[i];
        return uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
    };
    out->assign(static_cast<size_t>(*w) * *h, gif->SColorMap ? colour(gif->SBackGroundColor) : 0);
    const GifImageDesc &d = im.ImageDesc;
    for (int y = 0; y < d.Height; y++)
        for (int x = 0; x < d.Width; x++) {
            const int cx = d.Left + x, cy = d.Top + y;
            if (cx < *w && cy < *h) (*out)[cy * *w + cx] = colour(im.RasterBits[y * d.Width + x]) | 0xFF000000u;
        }
    DGifCloseFile(gif, &err);
    return true;
}

}  // namespace

TEST(GifReader, PassesTheGdkPixbufGifSuite) {
    std::ifstream list(SuiteDir() + "/TESTS");
    ASSERT_TRUE(list.good());
    // Where this reader's rules differ from the suite's on purpose: data that
    // end before the last row fail the picture, indices beyond the colour
    // table read as black, and a code stream that runs on past a full table
    // without a clear code is refused (giflib refuses it too), and plain-text
    // extensions are skipped like any other extension.
    const std::set<std::string> differs = {"missing-pixels", "no-data", "invalid-colors", "max-codes", "plain-text"};
    std::string name;
    int checked = 0;
    while (std::getline(list, name)) {
        if (name.empty() || name[0] == '#') continue;
        SCOPED_TRACE(name);
        Conf conf = ReadConf(SuiteDir() + "/" + name + ".conf");
        Gif g;
        ASSERT_TRUE(LoadGif(SuiteDir() + "/" + conf["config"]["input"], &g));
        const auto frames = Split(conf["config"]["frames"]);
        const bool opened = g.Open();
        if (differs.count(name)) {
            continue;
        }
        if (frames.empty()) {
            // An invalid file: no picture comes out of it.
            if (opened) {
                int t = 0;
                uint32_t *px = ReadGIFFrame(g.r, 0, &t);
                EXPECT_EQ(px, nullptr);
                free(px);
            }
            continue;
        }
        ASSERT_TRUE(opened);
        EXPECT_EQ(g.width, std::stoi(conf["config"]["width"]));
        EXPECT_EQ(g.height, std::stoi(conf["config"]["height"]));
        ASSERT_EQ(g.frames, static_cast<int>(frames.size()));
        for (size_t f = 0; f < frames.size(); f++) {
            SCOPED_TRACE(f);
            Bytes rgba;
            ASSERT_TRUE(ReadFileBytes(SuiteDir() + "/" + conf[frames[f]]["pixels"], &rgba));
            int t = 0;
            FreePixels px;
            px.p = ReadGIFFrame(g.r, static_cast<int>(f), &t);
            ASSERT_NE(px.p, nullptr);
            ASSERT_EQ(rgba.size(), static_cast<size_t>(g.width) * g.height * 4);
            for (int i = 0; i < g.width * g.height; i++) {
                const uint8_t *e = &rgba[i * 4];
                const uint32_t got = px.p[i];
                ASSERT_EQ((got >> 24) != 0, e[3] != 0) << i;
                if (e[3]) { ASSERT_EQ(got & 0xFFFFFF, uint32_t{e[0]} << 16 | uint32_t{e[1]} << 8 | e[2]) << i; }
            }
            const std::string delay = conf[frames[f]]["delay"];
            EXPECT_EQ(GetGIFFrameDelay(g.r, static_cast<int>(f)), delay.empty() ? 0 : std::stoi(delay) * 10);
        }
        checked++;
    }
    EXPECT_GT(checked, 50);
}

TEST(GifReader, FirstFrameLikeGiflib) {
    auto files = ListFiles(CorpusDir(), "gif_", ".gif");
    for (auto &f : ListFiles(SuiteDir(), "", ".gif")) files.push_back(f);
    for (const char *n : {"aero.gif", "1_partyanimsm2.gif", "test-animation.gif", "circular-table.gif"})
        files.push_back(PixbufDir() + "/" + n);
    int compared = 0;
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        std::vector<uint32_t> want;
        int w = 0, h = 0;
        if (!GiflibFirstFrame(f, &want, &w, &h)) continue;
        Gif g;
        ASSERT_TRUE(LoadGif(f, &g));
        if (!g.Open(false, false)) continue;  // a later frame may be broken
        FreePixels px;
        int t = 0;
        px.p = ReadGIFFrame(g.r, 0, &t);
        ASSERT_NE(px.p, nullptr);
        ASSERT_EQ(g.width, w);
        ASSERT_EQ(g.height, h);
        // Transparent pixels keep the canvas: compare the drawn ones.
        for (int i = 0; i < w * h; i++)
            if (px.p[i] >> 24 && want[i] >> 24) { ASSERT_EQ(px.p[i], want[i]) << i; }
        compared++;
    }
    EXPECT_GT(compared, 60);
}

TEST(GifReader, FramesOutsideTheScreenAreClipped) {
    // A 4 x 4 screen; the frame is 8 x 8 at (2, 2): only its top-left 2 x 2
    // corner lands on the canvas.
    Bytes b = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x80, 0, 0, 0, 0, 0, 255, 0, 0};
    const uint8_t desc[] = {0x2C, 2, 0, 2, 0, 8, 0, 8, 0, 0};
    b.insert(b.end(), desc, desc + sizeof desc);
    // 64 pixels of index 1, min code size 2: clear, then 1 repeated, end.
    b.push_back(2);
    {
        std::vector<uint8_t> data;
        uint32_t acc = 0;
        int n = 0;
        auto put = [&](int code, int width) {
            acc |= uint32_t(code) << n;
            n += width;
            while (n >= 8) {
                data.push_back(acc & 0xFF);
                acc >>= 8;
                n -= 8;
            }
        };
        int width = 3;
        put(4, width);
        for (int i = 0; i < 64; i++) {
            put(1, width);
            // every code after the first adds an entry: widen like a decoder
            static int avail = 6;
            if (i > 0) {
                avail++;
                if (avail >= (1 << width) && width < 12) width++;
            }
        }
        put(5, width);
        if (n) data.push_back(acc & 0xFF);
        b.push_back(static_cast<uint8_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        b.push_back(0);
    }
    b.push_back(0x3B);
    Gif g;
    g.bytes = b;
    ASSERT_TRUE(g.Open(false, false));
    FreePixels px;
    int t = 0;
    px.p = ReadGIFFrame(g.r, 0, &t);
    ASSERT_NE(px.p, nullptr);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(px.p[y * 4 + x], x >= 2 && y >= 2 ? 0xFFFF0000u : 0u) << x << y;
}

TEST(GifReader, BrokenFilesAndEveryTruncation) {
    for (const char *name : {"invalid.1.gif", "invalid.2.gif", "invalid.3.gif", "invalid.4.gif", "bug778584.gif",
                             "bug785973.gif", "hang_114.gif", "overflow-codes.gif", "overflow-codes-max.gif"}) {
        SCOPED_TRACE(name);
        Gif g;
        ASSERT_TRUE(LoadGif(PixbufDir() + "/test-images/fail/" + name, &g));
        if (g.Open()) {
            for (int f = 0; f < g.frames && f < 4; f++) {
                int t = 0;
                free(ReadGIFFrame(g.r, f, &t));
            }
        }
    }
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/gif_interlaced.gif", &bytes));
    Gif whole;
    whole.bytes = bytes;
    ASSERT_TRUE(whole.Open());
    FreePixels full;
    int t = 0;
    full.p = ReadGIFFrame(whole.r, 0, &t);
    ASSERT_NE(full.p, nullptr);
    for (size_t n = 0; n < bytes.size(); n++) {
        Gif g;
        g.bytes.assign(bytes.begin(), bytes.begin() + n);
        if (!g.Open()) continue;
        // A frame cut short is no frame: what opens shows only whole frames.
        FreePixels px;
        px.p = ReadGIFFrame(g.r, 0, &t);
        if (g.frames == 0) {
            EXPECT_EQ(px.p, nullptr) << n;
        } else {
            ASSERT_NE(px.p, nullptr);
            EXPECT_EQ(0, memcmp(px.p, full.p, size_t(g.width) * g.height * 4)) << n;
        }
    }
    Gif notGif;
    notGif.bytes = {'G', 'I', 'F', '9', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(notGif.Open());
}

TEST(GifReader, FramesDirectlyEqualFramesInOrder) {
    for (const char *n : {"1_partyanimsm2.gif", "test-animation.gif"}) {
        SCOPED_TRACE(n);
        Gif a, b;
        ASSERT_TRUE(LoadGif(PixbufDir() + "/" + n, &a));
        b.bytes = a.bytes;
        ASSERT_TRUE(a.Open(true, false));
        ASSERT_TRUE(b.Open(true, false));
        ASSERT_GT(a.frames, 3);
        std::vector<std::vector<uint32_t>> inOrder;
        for (int f = 0; f < a.frames; f++) {
            int t = 0;
            FreePixels px;
            px.p = ReadGIFFrame(a.r, f, &t);
            ASSERT_NE(px.p, nullptr);
            inOrder.emplace_back(px.p, px.p + a.width * a.height);
        }
        for (int f : {a.frames - 1, 2, 0, a.frames / 2, 1}) {
            int t = 0;
            FreePixels px;
            px.p = ReadGIFFrame(b.r, f, &t);
            ASSERT_NE(px.p, nullptr);
            EXPECT_EQ(0, memcmp(px.p, inOrder[f].data(), inOrder[f].size() * 4)) << f;
        }
    }
}

TEST(GifWriter, WritesWhatGiflibReadsBack) {
    const int w = 61, h = 37;
    for (int colours : {2, 3, 16, 200, 256}) {
        SCOPED_TRACE(colours);
        std::vector<uint8_t> idx(w * h);
        for (int i = 0; i < w * h; i++) idx[i] = static_cast<uint8_t>((i * 7 + i / w) % colours);
        uint32_t palette[256];
        for (int i = 0; i < 256; i++) palette[i] = (i * 0x010203u * 37) & 0xFFFFFF;
        TempPath tmp(".gif");
        cxGifWriter *writer = nullptr;
        ASSERT_EQ(CreateGIFFile(tmp.path.c_str(), w, h, &writer), 0);
        std::vector<uint8_t> copy = idx;
        ASSERT_EQ(WriteGIFFile(writer, copy.data(), w, h, 120, palette, colours, -1, 0, 0), 0);
        ASSERT_EQ(FinishGIFFile(writer), 0);
        Bytes file;
        ASSERT_TRUE(ReadFileBytes(tmp.path, &file));
        EXPECT_EQ(0, memcmp(file.data(), "GIF89a", 6));
        EXPECT_EQ(file.back(), 0x3B);
        EXPECT_NE(std::search(file.begin(), file.end(), "NETSCAPE2.0", "NETSCAPE2.0" + 11), file.end());
        int bits = 8;
        for (int b = 1; b <= 7; b++)
            if (colours <= (1 << b)) {
                bits = b;
                break;
            }
        // descriptor flags and LZW minimum code size follow the extensions
        const size_t desc = 13 + 768 + 8 + 19;
        ASSERT_EQ(file[desc], 0x2C);
        EXPECT_EQ(file[desc + 9], 0x80 + bits - 1);
        EXPECT_EQ(file[desc + 10 + (size_t(3) << bits)], bits < 2 ? 2 : bits);

        int err = 0;
        GifFileType *gif = DGifOpenFileName(tmp.path.c_str(), &err);
        ASSERT_NE(gif, nullptr);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK);
        ASSERT_EQ(gif->ImageCount, 1);
        EXPECT_EQ(0, memcmp(gif->SavedImages[0].RasterBits, idx.data(), idx.size()));
        DGifCloseFile(gif, &err);

        Gif g;
        g.bytes = file;
        ASSERT_TRUE(g.Open(false, false));
        EXPECT_EQ(GetGIFFrameDelay(g.r, 0), 120);
        FreePixels px;
        int t = 0;
        px.p = ReadGIFFrame(g.r, 0, &t);
        ASSERT_NE(px.p, nullptr);
        for (int i = 0; i < w * h; i++) ASSERT_EQ(px.p[i], palette[idx[i]] | 0xFF000000u) << i;
    }
}

TEST(GifWriter, IdenticalDifferentialFrameIsTwoTransparentPixels) {
    const int w = 8, h = 4;
    uint32_t palette[256] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    std::vector<uint8_t> idx(w * h, 1);
    TempPath tmp(".gif");
    cxGifWriter *writer = nullptr;
    ASSERT_EQ(CreateGIFFile(tmp.path.c_str(), w, h, &writer), 0);
    std::vector<uint8_t> a = idx, b = idx;
    ASSERT_EQ(WriteGIFFile(writer, a.data(), w, h, 100, palette, 4, -1, 1, 1), 0);
    ASSERT_EQ(WriteGIFFile(writer, b.data(), w, h, 100, palette, 4, -1, 1, 1), 0);
    ASSERT_EQ(FinishGIFFile(writer), 0);
    int err = 0;
    GifFileType *gif = DGifOpenFileName(tmp.path.c_str(), &err);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, 2);
    const GifImageDesc &d = gif->SavedImages[1].ImageDesc;
    EXPECT_EQ(d.Left, 0);
    EXPECT_EQ(d.Top, 0);
    EXPECT_EQ(d.Width, 2);
    EXPECT_EQ(d.Height, 1);
    EXPECT_EQ(gif->SavedImages[1].RasterBits[0], 3);
    EXPECT_EQ(gif->SavedImages[1].RasterBits[1], 3);
    DGifCloseFile(gif, &err);
    Gif g;
    ASSERT_TRUE(ReadFileBytes(tmp.path, &g.bytes));
    ASSERT_TRUE(g.Open(false, false));
    FreePixels px;
    int t = 0;
    px.p = ReadGIFFrame(g.r, 1, &t);
    ASSERT_NE(px.p, nullptr);
    for (int i = 0; i < w * h; i++) EXPECT_EQ(px.p[i], 0xFFFF0000u);
}
