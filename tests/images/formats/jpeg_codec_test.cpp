// The JPEG reader against tjDecompress2 over the corpora, Exif turns, CMYK
// with and without the Adobe marker, truncation, the scan limit, and the
// writer by round trip.
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <turbojpeg.h>

#include <cmath>

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "images/formats/image_limits.h"
#include "images/formats/jpeg_codec.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

struct Reference {
    bool ok = false;
    bool cmyk = false;
    int width = 0, height = 0;
    std::vector<uint32_t> px;  // 0x00RRGGBB, or the raw C, M, Y, K bytes for CMYK
};

void DecodeReference(const Bytes &file, Reference *ref) {
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    if (tjDecompressHeader3(tj, file.data(), file.size(), &w, &h, &sub, &cs) != 0) {
        tjDestroy(tj);
        return;
    }
    if (!IsImageSizeAllowed(w, h)) {
        tjDestroy(tj);
        return;
    }
    ref->cmyk = cs == TJCS_CMYK || cs == TJCS_YCCK;
    ref->px.resize(static_cast<size_t>(w) * h);
    const int r = tjDecompress2(tj, file.data(), file.size(), reinterpret_cast<unsigned char *>(ref->px.data()), w, 0,
                                h, ref->cmyk ? TJPF_CMYK : TJPF_BGRX, 0);
    ref->ok = r == 0 || tjGetErrorCode(tj) == TJERR_WARNING;
    tjDestroy(tj);
    ref->width = w;
    ref->height = h;
    if (!ref->cmyk)
        for (auto &p : ref->px) p &= 0xFFFFFF;
}

struct Decoded {
    int err = -1, width = 0, height = 0;
    FreePixels px;
};

void Decode(const Bytes &file, Decoded *d, int orientation = 0, bool viaStream = false) {
    if (viaStream) {
        MemoryStream s(file);
        d->err = ReadJpegImage(s.get(), 0, 0, orientation, &d->width, &d->height, &d->px.p);
    } else {
        d->err = ReadJpegImage(file.data(), file.size(), 0, orientation, &d->width, &d->height, &d->px.p);
    }
}

std::vector<std::string> AllJpegs() {
    auto files = ListFiles(CorpusDir(), "jpeg_", ".jpg");
    for (const char *n : {"bug143608-comment.jpg", "bug725582-testrotate.jpg", "bug775218.jpg",
                          "dpi.jpeg", "icc-profile.jpeg", "issue205.jpg", "issue70.jpg", "premature-end.jpg"})
        files.push_back(PixbufDir() + "/" + n);
    for (auto &f : ListFiles(PixbufDir() + "/test-images/randomly-modified", "", ".jpeg")) files.push_back(f);
    files.push_back(PixbufDir() + "/test-images/randomly-modified/bug775697.jpg");
    files.push_back(PixbufDir() + "/test-images/reftests/cat.jpg");
    files.push_back(PixbufDir() + "/test-images/fail/CVE-2017-2862.jpg");
    files.push_back(PixbufDir() + "/large.jpg");  // beyond the limit
    return files;
}

uint32_t CmykToRgb(const uint8_t *p, bool inverted) {
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    return ((255 - c) * (255 - k) / 255) << 16 | ((255 - m) * (255 - k) / 255) << 8 | (255 - y) * (255 - k) / 255;
}

// Encodes raw components with libjpeg: grey, RGB, or CMYK with or without
// the Adobe marker; an optional progressive scan script.
Bytes Encode(const std::vector<uint8_t> &raw, int w, int h, J_COLOR_SPACE space, int comps, bool adobe = true,
             const std::vector<jpeg_scan_info> *scans = nullptr) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = comps;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    for (int i = 0; i < c.num_components; i++) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (!adobe) c.write_Adobe_marker = FALSE;
    if (scans) {
        c.scan_info = scans->data();
        c.num_scans = static_cast<int>(scans->size());
    }
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(raw.data() + c.next_scanline * w * comps);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes b(out, out + size);
    free(out);
    return b;
}

// A greyscale progressive script of one DC scan and, per AC coefficient, a
// first scan at point transform `bits` and `bits` refinement scans.
std::vector<jpeg_scan_info> ManyScans(int bits) {
    std::vector<jpeg_scan_info> s;
    s.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; k++) {
        s.push_back({1, {0}, k, k, 0, bits});
        for (int a = bits; a > 0; a--) s.push_back({1, {0}, k, k, a, a - 1});
    }
    return s;
}

// Where source pixel (x, y) of a w x h picture lands for each orientation.
void Turned(int o, int x, int y, int w, int h, int *ox, int *oy) {
    switch (o) {
    case 2: *ox = w - 1 - x, *oy = y; break;
    case 3: *ox = w - 1 - x, *oy = h - 1 - y; break;
    case 4: *ox = x, *oy = h - 1 - y; break;
    case 5: *ox = y, *oy = x; break;
    case 6: *ox = h - 1 - y, *oy = x; break;
    case 7: *ox = h - 1 - y, *oy = w - 1 - x; break;
    case 8: *ox = y, *oy = w - 1 - x; break;
    default: *ox = x, *oy = y;
    }
}

}  // namespace

TEST(JpegReader, DecodesLikeTurboJpegAcrossTheCorpora) {
    auto files = AllJpegs();
    ASSERT_GT(files.size(), 15u);
    int decoded = 0;
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Reference ref;
        DecodeReference(bytes, &ref);
        Decoded d;
        Decode(bytes, &d, 0, decoded % 2 == 1);
        if (!ref.ok) {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2);
            continue;
        }
        ASSERT_EQ(d.err, 0);
        ASSERT_EQ(d.width, ref.width);
        ASSERT_EQ(d.height, ref.height);
        if (ref.cmyk) {
            // Files with the Adobe marker store the inks inverted.
            bool adobe = false;
            for (size_t i = 0; i + 9 < bytes.size() && !adobe; i++)
                adobe = bytes[i] == 0xFF && bytes[i + 1] == 0xEE && memcmp(&bytes[i + 4], "Adobe", 5) == 0;
            for (size_t i = 0; i < ref.px.size(); i++)
                ASSERT_EQ(d.px.p[i], CmykToRgb(reinterpret_cast<const uint8_t *>(&ref.px[i]), adobe)) << i;
        } else {
            EXPECT_EQ(0, memcmp(d.px.p, ref.px.data(), ref.px.size() * 4));
        }
        decoded++;
    }
    EXPECT_GT(decoded, 12);
}

TEST(JpegReader, OrientationTurnsThePicture) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/jpeg_odd.jpg", &bytes));
    Reference ref;
    DecodeReference(bytes, &ref);
    ASSERT_TRUE(ref.ok);
    for (int o = 1; o <= 8; o++) {
        SCOPED_TRACE(o);
        Decoded d;
        Decode(bytes, &d, o);
        ASSERT_EQ(d.err, 0);
        const bool swap = o > 4;
        ASSERT_EQ(d.width, swap ? ref.height : ref.width);
        ASSERT_EQ(d.height, swap ? ref.width : ref.height);
        for (int y = 0; y < ref.height; y++)
            for (int x = 0; x < ref.width; x++) {
                int ox, oy;
                Turned(o, x, y, ref.width, ref.height, &ox, &oy);
                ASSERT_EQ(d.px.p[oy * d.width + ox], ref.px[y * ref.width + x]) << x << "," << y;
            }
        int hw = 0, hh = 0;
        EXPECT_EQ(ReadJpegImage(bytes.data(), bytes.size(), 1, o, &hw, &hh, nullptr), 0);
        EXPECT_EQ(hw, d.width);
        EXPECT_EQ(hh, d.height);
    }
}

TEST(JpegReader, CmykWithAndWithoutAdobeMarkerAgree) {
    const int w = 16, h = 16;
    std::vector<uint8_t> inks(w * h * 4), inverted(w * h * 4);
    for (size_t i = 0; i < inks.size(); i++) {
        inks[i] = static_cast<uint8_t>((i * 37) % 256);
        inverted[i] = 255 - inks[i];
    }
    Bytes adobe = Encode(inverted, w, h, JCS_CMYK, 4, true);
    Bytes plain = Encode(inks, w, h, JCS_CMYK, 4, false);
    Decoded a, b;
    Decode(adobe, &a);
    Decode(plain, &b);
    ASSERT_EQ(a.err, 0);
    ASSERT_EQ(b.err, 0);
    for (int i = 0; i < w * h; i++) {
        const uint32_t want = CmykToRgb(&inks[i * 4], false);
        for (int shift = 0; shift < 24; shift += 8) {
            const int ref = (want >> shift) & 0xFF;
            EXPECT_NEAR((a.px.p[i] >> shift) & 0xFF, ref, 6) << i;
            EXPECT_NEAR((b.px.p[i] >> shift) & 0xFF, ref, 6) << i;
        }
    }
}

TEST(JpegReader, TruncatedFilesDecodeAsTheLibraryFillsThem) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/jpeg_baseline.jpg", &bytes));
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{100}, bytes.size() / 3, bytes.size() / 2,
                     bytes.size() - 2}) {
        SCOPED_TRACE(n);
        Bytes cut(bytes.begin(), bytes.begin() + n);
        Reference ref;
        DecodeReference(cut, &ref);
        Decoded d;
        Decode(cut, &d, 0, true);
        if (!ref.ok) {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2);
            EXPECT_EQ(d.px.p, nullptr);
        } else {
            ASSERT_EQ(d.err, 0);
            EXPECT_EQ(0, memcmp(d.px.p, ref.px.data(), ref.px.size() * 4));
        }
    }
    Decoded empty;
    Decode(Bytes{}, &empty, 0, true);
    EXPECT_EQ(empty.err, ERR_LOADPICTURE2);
}

TEST(JpegReader, EveryTruncationOfASmallFileEndsCleanly) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/jpeg_1x1.jpg", &bytes));
    for (size_t n = 0; n < bytes.size(); n++) {
        Bytes cut(bytes.begin(), bytes.begin() + n);
        Decoded d;
        Decode(cut, &d);
        EXPECT_TRUE(d.err == 0 || d.err == ERR_LOADPICTURE2) << n;
        EXPECT_EQ(d.err == 0, d.px.p != nullptr) << n;
    }
}

TEST(JpegReader, TooManyProgressiveScansAreRefused) {
    std::vector<uint8_t> grey(16 * 16);
    for (size_t i = 0; i < grey.size(); i++) grey[i] = static_cast<uint8_t>(i * 13);
    auto few = ManyScans(5);   // 379 scans
    auto many = ManyScans(9);  // 631 scans
    ASSERT_LT(few.size(), size_t{CX_JPEG_MAX_SCANS});
    ASSERT_GT(many.size(), size_t{CX_JPEG_MAX_SCANS});
    Decoded a, b;
    Decode(Encode(grey, 16, 16, JCS_GRAYSCALE, 1, true, &few), &a);
    Decode(Encode(grey, 16, 16, JCS_GRAYSCALE, 1, true, &many), &b);
    EXPECT_EQ(a.err, 0);
    EXPECT_EQ(b.err, ERR_LOADPICTURE2);
    EXPECT_EQ(b.px.p, nullptr);
}

TEST(JpegReader, SizesBeyondTheLimitAreRefused) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/jpeg_baseline.jpg", &bytes));
    SetImagePixelLimit(100);
    Decoded d;
    Decode(bytes, &d);
    SetImagePixelLimit(0);
    EXPECT_EQ(d.err, ERR_LOADPICTURE2);
}

TEST(JpegWriter, RoundTripsAboveAPsnrFloorInBothByteOrders) {
    Picture pic;
    pic.width = 64;
    pic.height = 48;
    for (int y = 0; y < pic.height; y++)
        for (int x = 0; x < pic.width; x++)
            pic.pixels.push_back(uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t((x + y) * 2));
    for (int order = 0; order < 2; order++) {
        std::vector<uint32_t> px = pic.pixels;
        if (order)
            for (auto &p : px) {
                const uint8_t bytes[4] = {0xFF, uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
                memcpy(&p, bytes, 4);
            }
        cxJpegWriteRequest req{};
        req.pixels = px.data();
        req.bytesPerRow = pic.width * 4;
        req.width = pic.width;
        req.height = pic.height;
        req.quality = 90;
        req.byteOrder = order;
        WriteJpegImage(&req);
        ASSERT_EQ(req.error, 0);
        Bytes file(req.data, req.data + req.size);
        FreeEncodedBuffer(req.encoded);
        Decoded d;
        Decode(file, &d);
        ASSERT_EQ(d.err, 0);
        double se = 0;
        for (size_t i = 0; i < pic.pixels.size(); i++)
            for (int s = 0; s < 24; s += 8) {
                const double e = double((d.px.p[i] >> s) & 0xFF) - double((pic.pixels[i] >> s) & 0xFF);
                se += e * e;
            }
        const double psnr = 10 * std::log10(255.0 * 255.0 / (se / (pic.pixels.size() * 3)));
        EXPECT_GT(psnr, 38.0) << order;
    }
}

TEST(JpegWriter, TinyPictureAtFullQualityIsComplete) {
    uint32_t px = 0x00FF8040;
    cxJpegWriteRequest req{};
    req.pixels = &px;
    req.bytesPerRow = 4;
    req.width = req.height = 1;
    req.quality = 100;
    WriteJpegImage(&req);
    ASSERT_EQ(req.error, 0);
    ASSERT_GT(req.size, 3u);  // far beyond 1 x 1 x 3 bytes
    EXPECT_EQ(req.data[req.size - 2], 0xFF);
    EXPECT_EQ(req.data[req.size - 1], 0xD9);
    Bytes file(req.data, req.data + req.size);
    FreeEncodedBuffer(req.encoded);
    Decoded d;
    Decode(file, &d);
    ASSERT_EQ(d.err, 0);
    EXPECT_NEAR((d.px.p[0] >> 16) & 0xFF, 0xFF, 3);
}
