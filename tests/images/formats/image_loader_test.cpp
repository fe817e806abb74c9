// The loader front: signatures decide the decoder, sizes probed without
// decoding (Exif orientation, TIFF, PNG transparency), the loader list, the
// plug-in loaders served first; the savers by round trip.
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include <gtest/gtest.h>

#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "graphics/bitmap/bitmap.h"
#include "images/formats/image_loader.h"
#include "images/formats/image_saver.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

std::string C(const std::string &name) { return CorpusDir() + "/" + name; }

bool WriteBytes(const std::string &path, const Bytes &b) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

// The JPEG with an Exif block after its SOI giving the orientation.
Bytes WithExifOrientation(const Bytes &jpeg, int orientation) {
    const uint8_t app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                            0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0};
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1, app1 + sizeof app1);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

struct Probe {
    int err = -1, format = -1, width = 0, height = 0, alpha = -1, mask = -1, orientation = 0;
};

Probe ProbeBytes(const Bytes &b) {
    Probe p;
    MemoryStream s(b);
    p.err = ProbeImageHeader(s.get(), &p.format, &p.width, &p.height, &p.alpha, &p.mask, &p.orientation);
    return p;
}

Probe ProbeFile(const std::string &path) {
    Bytes b;
    ReadFileBytes(path, &b);
    return ProbeBytes(b);
}

}  // namespace

TEST(ImageProbe, RecognisesEveryFormatFromItsHeader) {
    struct Case {
        std::string file;
        int format, width, height, alpha, mask;
    };
    const std::vector<Case> cases = {
        {C("png_rgb8.png"), 1, 67, 53, 0, 0},         {C("png_palette_trns.png"), 1, 67, 53, 1, 0},
        {C("png_rgba8.png"), 1, 67, 53, 1, 0},        {C("png_grayalpha.png"), 1, 67, 53, 1, 0},
        {C("jpeg_progressive.jpg"), 2, 67, 53, 0, 0}, {C("bmp_rle8.bmp"), 0, 67, 53, 0, 0},
        {C("gif_transparent.gif"), 3, 20, 10, 0, 1},  {C("gif_few.gif"), 3, 67, 53, 0, 0},
        {C("ilbm_few.iff"), 4, 67, 53, 0, 0},         {PixbufDir() + "/dpi.tiff", 5, -1, -1, -1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        Probe p = ProbeFile(c.file);
        ASSERT_EQ(p.err, 0);
        EXPECT_EQ(p.format, c.format);
        if (c.width >= 0) {
            EXPECT_EQ(p.width, c.width);
            EXPECT_EQ(p.height, c.height);
        } else {
            EXPECT_GT(p.width, 0);
        }
        if (c.alpha >= 0) { EXPECT_EQ(p.alpha, c.alpha); }
        EXPECT_EQ(p.mask, c.mask);
    }
}

TEST(ImageProbe, ExifOrientationSwapsTheSize) {
    Bytes jpeg;
    ASSERT_TRUE(ReadFileBytes(C("jpeg_odd.jpg"), &jpeg));  // 17 x 9
    for (int o = 1; o <= 8; o++) {
        Probe p = ProbeBytes(WithExifOrientation(jpeg, o));
        ASSERT_EQ(p.err, 0);
        EXPECT_EQ(p.orientation, o);
        EXPECT_EQ(p.width, o > 4 ? 9 : 17) << o;
        EXPECT_EQ(p.height, o > 4 ? 17 : 9) << o;
    }
}

TEST(ImageProbe, UnknownTruncatedAndTopDown) {
    EXPECT_EQ(ProbeBytes({'h', 'e', 'l', 'l', 'o'}).err, ERR_LOADPICTURE2);
    EXPECT_EQ(ProbeBytes({}).err, ERR_LOADPICTURE2);
    EXPECT_EQ(ProbeBytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}).err, ERR_LOADPICTURE2);  // ends before a frame
    Bytes bmp(54, 0);
    bmp[0] = 'B', bmp[1] = 'M', bmp[18] = 5, bmp[22] = 0xFE, bmp[23] = bmp[24] = bmp[25] = 0xFF;  // height -2
    Probe p = ProbeBytes(bmp);
    ASSERT_EQ(p.err, 0);
    EXPECT_EQ(p.height, 2);
    // Every prefix of real files: an answer or the loader's code, nothing else.
    for (const char *f : {"png_palette_trns.png", "jpeg_baseline.jpg", "gif_transparent.gif", "ilbm_few.iff"}) {
        Bytes b;
        ASSERT_TRUE(ReadFileBytes(C(f), &b));
        for (size_t n = 0; n < b.size(); n += 7) {
            Probe q = ProbeBytes(Bytes(b.begin(), b.begin() + n));
            EXPECT_TRUE(q.err == 0 || q.err == ERR_LOADPICTURE2);
        }
    }
}

TEST(ImageLoader, SignatureDecidesAndTheRecordHoldsThePixels) {
    TempPath png(".jpg");  // a PNG named .jpg is still a PNG
    Bytes b;
    ASSERT_TRUE(ReadFileBytes(C("png_rgba8.png"), &b));
    ASSERT_TRUE(WriteBytes(png.path, b));
    cxLoadedImage *img = nullptr;
    int w = 0, h = 0, alpha = 0, native = -1, format = -1;
    int32_t pen = 0;
    ASSERT_EQ(LoadImageInbuilt(png.path.c_str(), "", nullptr, nullptr, -1, 0, &img, nullptr, &pen, &w, &h, &alpha,
                               &native, &format),
              0);
    EXPECT_EQ(format, CX_IMGFMT_PNG);
    EXPECT_EQ(img->format, uint32_t{CX_IMGFMT_PNG});
    EXPECT_EQ(native, 0);
    EXPECT_EQ(alpha, 1);
    EXPECT_EQ(pen, -1);
    EXPECT_EQ(w, 67);
    ASSERT_NE(GetLoadedImagePixels(img), nullptr);
    uint32_t *mine = static_cast<uint32_t *>(malloc(4));
    SetLoadedImagePixels(img, mine);
    EXPECT_EQ(img->format, uint32_t{CX_IMGFMT_UNKNOWN});
    EXPECT_EQ(GetLoadedImagePixels(img), mine);
    FreeLoadedImage(img);
}

TEST(ImageLoader, EveryFormatLoadsAndHeaderModeAgrees) {
    for (const char *f : {"bmp_8.bmp", "png_gray4.png", "jpeg_422.jpg", "gif_interlaced.gif", "ilbm_ham8.iff"}) {
        SCOPED_TRACE(f);
        cxLoadedImage *img = nullptr;
        int w = 0, h = 0, hw = 0, hh = 0, format = -1, hformat = -2;
        ASSERT_EQ(LoadImageInbuilt(C(f).c_str(), "inbuilt", nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w, &h,
                                   nullptr, nullptr, &format),
                  0);
        ASSERT_EQ(LoadImageInbuilt(C(f).c_str(), "inbuilt", nullptr, nullptr, -1, 0, nullptr, nullptr, nullptr, &hw,
                                   &hh, nullptr, nullptr, &hformat),
                  0);
        EXPECT_EQ(w, hw);
        EXPECT_EQ(h, hh);
        EXPECT_EQ(format, hformat);
        FreeLoadedImage(img);
    }
}

TEST(ImageLoader, ExifOrientationTurnsDecodedPictures) {
    Bytes jpeg;
    ASSERT_TRUE(ReadFileBytes(C("jpeg_odd.jpg"), &jpeg));
    TempPath path(".jpg");
    ASSERT_TRUE(WriteBytes(path.path, WithExifOrientation(jpeg, 6)));
    cxLoadedImage *img = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(LoadImageInbuilt(path.path.c_str(), nullptr, nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w, &h,
                               nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 17);
    FreeLoadedImage(img);
}

TEST(ImageLoader, GifTransparencyIntoAlphaGivesPenMinusTwo) {
    cxLoadedImage *img = nullptr;
    int w = 0, h = 0, alpha = 0;
    int32_t pen = 0;
    ASSERT_EQ(LoadImageInbuilt(C("gif_transparent.gif").c_str(), nullptr, nullptr, nullptr, -1, 2, &img, nullptr, &pen,
                               &w, &h, &alpha, nullptr, nullptr),
              0);
    EXPECT_EQ(pen, -2);
    const uint32_t *px = GetLoadedImagePixels(img);
    int clear = 0;
    for (int i = 0; i < w * h; i++) clear += (px[i] >> 24) == 0;
    EXPECT_GT(clear, 0);
    FreeLoadedImage(img);
}

TEST(ImageLoader, FailuresGiveTheirCodesWithTheFileName) {
    int w = 0, h = 0;
    cxLoadedImage *img = nullptr;
    EXPECT_EQ(LoadImageInbuilt("/nonexistent/x.png", nullptr, nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w, &h,
                               nullptr, nullptr, nullptr),
              ERR_READFILE);
    EXPECT_STREQ(GetErrorDetail(), "/nonexistent/x.png");
    // "native" alone never opens the file: on Linux nothing loads.
    EXPECT_EQ(LoadImageInbuilt("/nonexistent/x.png", "native", nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w,
                               &h, nullptr, nullptr, nullptr),
              ERR_LOADPICTURE2);
    EXPECT_EQ(LoadImageInbuilt(C("png_rgb8.png").c_str(), "native", nullptr, nullptr, -1, 0, &img, nullptr, nullptr,
                               &w, &h, nullptr, nullptr, nullptr),
              ERR_LOADPICTURE2);
    // Unknown data, and files shorter than the 64 signature bytes.
    TempPath junk(".png");
    ASSERT_TRUE(WriteBytes(junk.path, Bytes{'B', 'M', 1}));
    EXPECT_EQ(LoadImageInbuilt(junk.path.c_str(), nullptr, nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w, &h,
                               nullptr, nullptr, nullptr),
              ERR_LOADPICTURE2);
    EXPECT_STREQ(GetErrorDetail(), junk.path.c_str());
    // A GIF whose header is fine but whose first frame is not.
    Bytes gif;
    ASSERT_TRUE(ReadFileBytes(C("gif_few.gif"), &gif));
    gif.resize(gif.size() - 20);
    ASSERT_TRUE(WriteBytes(junk.path, gif));
    EXPECT_EQ(LoadImageInbuilt(junk.path.c_str(), "inbuilt", nullptr, nullptr, -1, 0, &img, nullptr, nullptr, &w, &h,
                               nullptr, nullptr, nullptr),
              ERR_LOADPICTURE2);
    EXPECT_EQ(img, nullptr);
}

namespace {
// A plug-in that recognises files ending in ".fake" as 2 x 1 pictures.
uint32_t g_fakePixels[2] = {0xFF112233, 0x80445566};
int g_freed = 0;
int FakeIsImage(const char *file, cxImageInfo *info, const cxTagItem *) {
    const size_t n = strlen(file);
    if (n < 5 || strcmp(file + n - 5, ".fake") != 0) return 0;
    info->width = 2;
    info->height = 1;
    info->flags = 2;
    return 1;
}
void *FakeLoadImage(const char *file, cxImageInfo *info, const cxTagItem *tags) {
    return FakeIsImage(file, info, tags) ? g_fakePixels : nullptr;
}
uint32_t *FakeGetImage(void *image, cxImageInfo *info) {
    info->width = 2;
    info->height = 1;
    info->flags = 2;
    return static_cast<uint32_t *>(image);
}
void FakeFreeImage(void *) { g_freed++; }
}  // namespace

TEST(ImageLoader, PluginLoadersComeFirst) {
    cxPlugin p{};
    p.name = p.moduleName = "fakeimg";
    p.capabilities = CX_CAP_IMAGELOADER;
    p.IsImage = FakeIsImage;
    p.LoadImage = FakeLoadImage;
    p.GetImage = FakeGetImage;
    p.FreeImage = FakeFreeImage;
    ASSERT_EQ(AddCapabilityEntry(&p, CX_CAP_IMAGELOADER), 0);
    cxImageLoad load;
    ASSERT_EQ(LoadImageFile("/anything.fake", nullptr, nullptr, nullptr, -1, 0, &load), 0);
    EXPECT_EQ(load.plugin, &p);
    EXPECT_EQ(load.format, CX_IMGFMT_PLUGIN);
    EXPECT_EQ(load.width, 2);
    EXPECT_EQ(load.hasAlpha, 1);
    EXPECT_EQ(load.pixels[1], 0x80445566u);
    FreeImageLoad(&load);
    EXPECT_EQ(g_freed, 1);
    int format = 0, w = 0, h = 0, alpha = 0;
    ASSERT_EQ(IdentifyImageFile("/x.fake", "fakeimg", nullptr, &format, &w, &h, &alpha), 0);
    EXPECT_EQ(format, CX_IMGFMT_PLUGIN);
    // "inbuilt" keeps the plug-in out; other files reach the built-in readers.
    EXPECT_EQ(LoadImageFile("/anything.fake", "inbuilt", nullptr, nullptr, -1, 0, &load), ERR_READFILE);
    ASSERT_EQ(LoadImageFile(C("bmp_4.bmp").c_str(), nullptr, nullptr, nullptr, -1, 0, &load), 0);
    EXPECT_EQ(load.plugin, nullptr);
    EXPECT_EQ(load.format, CX_IMGFMT_BMP);
    FreeImageLoad(&load);
    p.disabled = 1;
    EXPECT_EQ(LoadImageFile("/anything.fake", nullptr, nullptr, nullptr, -1, 0, &load), ERR_READFILE);
    RemoveCapabilityEntry(&p, CX_CAP_IMAGELOADER);
}

namespace {
std::vector<uint32_t> TestPicture(int w, int h, int colours) {
    std::vector<uint32_t> px(w * h);
    for (int i = 0; i < w * h; i++) {
        const uint32_t c = colours ? (i % colours) * 0x0A0B0Cu : uint32_t((i % w) * 3) << 16 | uint32_t((i / w) * 5) << 8 | 77;
        px[i] = 0xFF000000u | (c & 0xFFFFFF);
    }
    return px;
}

std::vector<uint32_t> LoadBack(const std::string &path, int *w, int *h) {
    cxLoadedImage *img = nullptr;
    std::vector<uint32_t> out;
    if (LoadImageInbuilt(path.c_str(), nullptr, nullptr, nullptr, -1, 2, &img, nullptr, nullptr, w, h, nullptr, nullptr,
                         nullptr) == 0)
        out.assign(GetLoadedImagePixels(img), GetLoadedImagePixels(img) + size_t(*w) * *h);
    FreeLoadedImage(img);
    return out;
}
}  // namespace

TEST(ImageSaver, EveryFormatRoundTrips) {
    const int w = 29, h = 13;
    for (int format = CX_SAVE_BMP; format <= CX_SAVE_ILBM; format++) {
        SCOPED_TRACE(format);
        const auto px = TestPicture(w, h, format == CX_SAVE_GIF ? 40 : 0);
        TempPath path(".img");
        ASSERT_EQ(SaveImage(format, px.data(), w, h, path.path.c_str(), 0, 95, 256, 0), 0);
        int lw = 0, lh = 0;
        auto back = LoadBack(path.path, &lw, &lh);
        ASSERT_EQ(lw, w);
        ASSERT_EQ(lh, h);
        double se = 0;
        for (int i = 0; i < w * h; i++) {
            if (format != CX_SAVE_JPEG) {
                ASSERT_EQ(back[i] & 0xFFFFFF, px[i] & 0xFFFFFF) << i;
                continue;
            }
            for (int s = 0; s < 24; s += 8) {
                const double e = double((back[i] >> s) & 0xFF) - double((px[i] >> s) & 0xFF);
                se += e * e;
            }
        }
        if (format == CX_SAVE_JPEG) { EXPECT_GT(10 * std::log10(255.0 * 255 / (se / (w * h * 3))), 35.0); }
    }
}

TEST(ImageSaver, GifOfManyColoursStaysWithinItsPalette) {
    const int w = 64, h = 64;
    const auto px = TestPicture(w, h, 0);
    TempPath path(".gif");
    ASSERT_EQ(SaveImage(CX_SAVE_GIF, px.data(), w, h, path.path.c_str(), 0, 0, 256, 0), 0);
    int lw = 0, lh = 0;
    auto back = LoadBack(path.path, &lw, &lh);
    ASSERT_EQ(back.size(), px.size());
    for (size_t i = 0; i < px.size(); i++)
        for (int s = 0; s < 24; s += 8) ASSERT_LE(std::abs(int((back[i] >> s) & 0xFF) - int((px[i] >> s) & 0xFF)), 26);
}

TEST(ImageSaver, TransparencyReachesPngAndGif) {
    const int w = 8, h = 2;
    auto px = TestPicture(w, h, 5);
    px[3] &= 0x00FFFFFF;
    for (int format : {CX_SAVE_PNG, CX_SAVE_GIF}) {
        TempPath path(".img");
        ASSERT_EQ(SaveImage(format, px.data(), w, h, path.path.c_str(), 1, 0, 256, 0), 0);
        int lw = 0, lh = 0;
        auto back = LoadBack(path.path, &lw, &lh);
        ASSERT_EQ(back.size(), px.size());
        EXPECT_EQ(back[3] >> 24, 0u) << format;
        EXPECT_EQ(back[4] >> 24, 0xFFu) << format;
    }
}

TEST(ImageSaver, UnknownFormatsGoToThePluginSaver) {
    uint32_t px[1] = {0};
    EXPECT_EQ(SaveImage(9, px, 1, 1, "/tmp/never", 0, 0, 0, 0), ERR_UNKNOWNIMGOUT);
    static int seen = -1;
    SetPluginImageSaver([](int format, const uint32_t *, int, int, const char *, int, int, int, int) {
        seen = format;
        return 0;
    });
    EXPECT_EQ(SaveImage(9, px, 1, 1, "/tmp/never", 0, 0, 0, 0), 0);
    EXPECT_EQ(seen, 9);
    SetPluginImageSaver(nullptr);
    EXPECT_EQ(SaveImage(CX_SAVE_PNG, px, 1, 1, "/nonexistent-dir/x.png", 0, 0, 0, 0), ERR_WRITEFILE);
}

TEST(ImageSaver, BitmapWithMaskSavesItsTransparency) {
    const int w = 5, h = 3;
    cxBitmap *bm = AllocBitmap(w, h, CX_ALLOC_CLEAR, 0);
    ASSERT_NE(bm, nullptr);
    cxBitmap *mask = AllocMask(bm, w, h, 0, nullptr, 0);
    ASSERT_NE(mask, nullptr);
    cxOsBitmapLock lock{};
    ASSERT_TRUE(LockBitmap(bm, 0, &lock));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t *p = lock.pixels + (size_t(y) * lock.rowLength + x) * lock.bytesPerPixel;
            const uint32_t v = 0x00102030u + x * 0x10 + y * 0x1000;
            memcpy(p, &v, 4);
        }
    UnlockBitmap(&lock);
    cxOsBitmapLock ml{};
    ASSERT_TRUE(LockBitmap(mask, 0, &ml));
    for (int y = 0; y < h; y++) ml.pixels[y * ml.rowLength] = 0xF0;  // x 0-3 visible, x 4 not
    UnlockBitmap(&ml);
    TempPath path(".png");
    ASSERT_EQ(SaveBitmapImage(CX_SAVE_PNG, bm, w, h, path.path.c_str(), mask, -1, nullptr, 0, 0, 0, 0), 0);
    int lw = 0, lh = 0;
    auto back = LoadBack(path.path, &lw, &lh);
    ASSERT_EQ(back.size(), size_t(w * h));
    EXPECT_EQ(back[0], 0xFF102030u);
    EXPECT_EQ(back[4] >> 24, 0u);
    EXPECT_EQ(back[2 * w + 1], 0xFF104040u);
    FreeMask(mask);
    FreeBitmap(bm);
}
