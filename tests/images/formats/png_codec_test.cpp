// The PNG reader against libpng alone (expanded to 8-bit channels here),
// over the generated corpus and gdk-pixbuf's pictures; broken and hostile
// files; the writer by round trip.
#include <setjmp.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <png.h>

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "images/formats/image_limits.h"
#include "images/formats/png_codec.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

struct Reference {
    bool ok = false;
    int width = 0, height = 0;
    bool alpha = false;
    std::vector<uint32_t> argb;
};

struct MemReader {
    const Bytes *b;
    size_t pos;
};

void RefRead(png_structp png, png_bytep data, size_t n) {
    MemReader *r = static_cast<MemReader *>(png_get_io_ptr(png));
    if (r->pos + n > r->b->size()) png_error(png, "short");
    memcpy(data, r->b->data() + r->pos, n);
    r->pos += n;
}

// Plain libpng: only palette and low depths expanded; channels to words here.
void DecodeReference(const Bytes &file, Reference *ref) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemReader reader{&file, 0};
    std::vector<png_bytep> rows;
    std::vector<uint8_t> data;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        ref->ok = false;
        return;
    }
    png_set_read_fn(png, &reader, RefRead);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int ch = png_get_channels(png, info), depth = png_get_bit_depth(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    // Beyond the readers' limit: nothing to compare with.
    if (!IsImageSizeAllowed(w, h)) png_error(png, "too large");
    data.resize(rowBytes * h);
    rows.resize(h);
    for (int y = 0; y < h; y++) rows[y] = data.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    ref->ok = true;
    ref->width = w;
    ref->height = h;
    ref->alpha = ch == 2 || ch == 4;
    ref->argb.resize(static_cast<size_t>(w) * h);
    const int step = depth == 16 ? 2 : 1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t *p = rows[y] + static_cast<size_t>(x) * ch * step;
            auto c = [&](int i) { return uint32_t{p[i * step]}; };
            uint32_t r, g, b, a = 0;
            if (ch <= 2) r = g = b = c(0);
            else r = c(0), g = c(1), b = c(2);
            if (ch == 2) a = c(1);
            if (ch == 4) a = c(3);
            ref->argb[static_cast<size_t>(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
        }
}

struct Decoded {
    int err = -1, width = 0, height = 0, alpha = 0;
    FreePixels px;
};

void Decode(const Bytes &file, Decoded *d, int headerOnly = 0) {
    MemoryStream s(file);
    LoadPNGImage(s.get(), headerOnly, &d->width, &d->height, headerOnly ? nullptr : &d->px.p, &d->alpha, &d->err);
}

std::vector<std::string> AllPngs() {
    auto files = ListFiles(CorpusDir(), "png_", ".png");
    for (const char *n : {"test-image.png", "dpi.png", "icc-profile.png", "bug725582-testrotate.png"})
        files.push_back(PixbufDir() + "/" + n);
    for (auto &f : ListFiles(PixbufDir() + "/test-images/gif-test-suite", "", ".png")) files.push_back(f);
    return files;
}

}  // namespace

TEST(PngReader, DecodesLikeLibpngAcrossTheCorpora) {
    auto files = AllPngs();
    ASSERT_GT(files.size(), 40u) << "corpus missing: " << CorpusDir();
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Reference ref;
        DecodeReference(bytes, &ref);
        Decoded d;
        Decode(bytes, &d);
        if (!ref.ok) {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2);
            continue;
        }
        ASSERT_EQ(d.err, 0);
        ASSERT_EQ(d.width, ref.width);
        ASSERT_EQ(d.height, ref.height);
        EXPECT_EQ(d.alpha != 0, ref.alpha);
        EXPECT_EQ(0, memcmp(d.px.p, ref.argb.data(), ref.argb.size() * 4));

        Decoded header;
        Decode(bytes, &header, 1);
        EXPECT_EQ(header.err, 0);
        EXPECT_EQ(header.width, ref.width);
        EXPECT_EQ(header.alpha != 0, ref.alpha);
        EXPECT_EQ(header.px.p, nullptr);
    }
}

TEST(PngReader, PicturesBeyondTheLimitAreRefusedFromTheHeader) {
    // 22,500 x 33,300 pixels: refused before a row is decoded.
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(PixbufDir() + "/large.png", &bytes));
    Decoded d;
    Decode(bytes, &d);
    EXPECT_EQ(d.err, ERR_LOADPICTURE2);
    EXPECT_EQ(d.px.p, nullptr);
}

TEST(PngReader, GreyWithTransparentColourHasAlpha) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/png_gray_trns.png", &bytes));
    Decoded d;
    Decode(bytes, &d);
    ASSERT_EQ(d.err, 0);
    EXPECT_EQ(d.alpha, 1);
    bool sawClear = false, sawOpaque = false;
    for (int i = 0; i < d.width * d.height; i++) {
        const uint32_t a = d.px.p[i] >> 24;
        if (a == 0) {
            sawClear = true;
            EXPECT_EQ(d.px.p[i] & 0xFFFFFF, 0x888888u);
        } else {
            sawOpaque = true;
            EXPECT_EQ(a, 0xFFu);
        }
    }
    EXPECT_TRUE(sawClear && sawOpaque);
}

TEST(PngReader, InterlacedEqualsPlainTwin) {
    Bytes plain, laced;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/png_rgb8.png", &plain));
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/png_rgb8_interlaced.png", &laced));
    Decoded a, b;
    Decode(plain, &a);
    Decode(laced, &b);
    ASSERT_EQ(a.err, 0);
    ASSERT_EQ(b.err, 0);
    EXPECT_EQ(0, memcmp(a.px.p, b.px.p, static_cast<size_t>(a.width) * a.height * 4));
}

TEST(PngReader, BrokenFilesFailWithTheLoaderCode) {
    std::vector<std::string> files = ListFiles(PixbufDir() + "/test-images/fail", "", ".png");
    files.push_back(PixbufDir() + "/premature-end.png");
    files.push_back(CorpusDir() + "/jpeg_baseline.jpg");
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Reference ref;
        DecodeReference(bytes, &ref);
        Decoded d;
        Decode(bytes, &d);
        if (ref.ok) {
            // Whatever libpng accepts must come out the same.
            ASSERT_EQ(d.err, 0);
            EXPECT_EQ(0, memcmp(d.px.p, ref.argb.data(), ref.argb.size() * 4));
        } else {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2);
            EXPECT_EQ(d.px.p, nullptr);
        }
    }
}

TEST(PngReader, EveryTruncationFailsCleanly) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/png_palette_trns.png", &bytes));
    // The last 12 bytes are the IEND trailer: a picture complete without it
    // still loads.
    const size_t iend = bytes.size() - 12;
    for (size_t n = 0; n < bytes.size(); n++) {
        Bytes cut(bytes.begin(), bytes.begin() + n);
        Decoded d;
        Decode(cut, &d);
        if (n >= iend) {
            EXPECT_EQ(d.err, 0) << n;
        } else {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2) << n;
            EXPECT_EQ(d.px.p, nullptr);
        }
    }
}

TEST(PngReader, SizesBeyondTheLimitAreRefusedBeforeDecoding) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/png_rgb8.png", &bytes));  // 67 x 53
    SetImagePixelLimit(67 * 53 - 1);
    Decoded d;
    Decode(bytes, &d);
    SetImagePixelLimit(0);
    EXPECT_EQ(d.err, ERR_LOADPICTURE2);
    Decoded ok;
    Decode(bytes, &ok);
    EXPECT_EQ(ok.err, 0);
}

// 49 bytes whose text chunk claims 2 GiB: refused from its chunk header,
// before anything of that size is reserved, also when only the size is
// asked. A child process measures what decoding it cost.
TEST(PngReader, ChunksClaimingHugeLengthsAreRefusedBeforeTheyAreReserved) {
    for (const char *type : {"tEXt", "zTXt", "iTXt", "iCCP"}) {
        for (int headerOnly : {0, 1}) {
            SCOPED_TRACE(std::string(type) + (headerOnly ? " header" : ""));
            Bytes bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            const uint8_t ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0,
                                    0x90, 0x77, 0x53, 0xDE};
            bytes.insert(bytes.end(), ihdr, ihdr + sizeof ihdr);
            const uint8_t claim[] = {0x7F, 0xFF, 0xFF, 0xFF};
            bytes.insert(bytes.end(), claim, claim + 4);
            bytes.insert(bytes.end(), type, type + 4);
            bytes.resize(49, 'a');
            int fds[2];
            ASSERT_EQ(pipe(fds), 0);
            const pid_t child = fork();
            if (child == 0) {
                MemoryStream s(bytes);
                int w = 0, h = 0, alpha = 0, err = 0;
                uint32_t *px = nullptr;
                LoadPNGImage(s.get(), headerOnly, &w, &h, headerOnly ? nullptr : &px, &alpha, &err);
                free(px);
                rusage use{};
                getrusage(RUSAGE_SELF, &use);
                const long result[2] = {err, use.ru_maxrss};
                if (write(fds[1], result, sizeof result) != sizeof result) _exit(2);
                _exit(0);
            }
            close(fds[1]);
            long result[2] = {-1, -1};
            ASSERT_EQ(read(fds[0], result, sizeof result), ssize_t(sizeof result));
            close(fds[0]);
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_EQ(result[0], ERR_LOADPICTURE2);
            EXPECT_LT(result[1], 512 * 1024) << "kilobytes at the peak";
        }
    }
}

TEST(PngWriter, RoundTripsExactly) {
    for (int alpha = 0; alpha < 2; alpha++) {
        const int w = 37, h = 11;
        std::vector<uint32_t> px(w * h);
        for (int i = 0; i < w * h; i++) px[i] = (alpha ? (i * 7u & 0xFF) << 24 : 0) | (i * 2654435761u & 0xFFFFFF);
        TempPath tmp(".png");
        cxPngWriteRequest req{tmp.path.c_str(), px.data(), w * 4, w, h, alpha, -1};
        SavePNGImage(&req);
        ASSERT_EQ(req.error, 0);
        Bytes file;
        ASSERT_TRUE(ReadFileBytes(tmp.path, &file));
        Decoded d;
        Decode(file, &d);
        ASSERT_EQ(d.err, 0);
        EXPECT_EQ(d.alpha, alpha);
        EXPECT_EQ(0, memcmp(d.px.p, px.data(), px.size() * 4)) << alpha;
    }
}

TEST(PngWriter, UnwritableFileGivesWriteFileError) {
    uint32_t px[4] = {};
    cxPngWriteRequest req{"/nonexistent-dir/x.png", px, 8, 2, 2, 0, -1};
    SavePNGImage(&req);
    EXPECT_EQ(req.error, ERR_WRITEFILE);
}
