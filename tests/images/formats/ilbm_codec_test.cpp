// The ILBM reader against netpbm's ilbmtoppm over pictures from ppmtoilbm,
// hand-made files for Extra-Half-Brite, chunk order, ByteRun1 corners and
// the transparent pen, bad headers, and the 24-plane writer by round trip.
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "errors/error_codes.h"
#include "images/formats/bitplanes.h"
#include "images/formats/ilbm_codec.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

void Append32(Bytes &b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back((v >> (8 * i)) & 0xFF);
}
void Append16(Bytes &b, uint32_t v) {
    b.push_back((v >> 8) & 0xFF);
    b.push_back(v & 0xFF);
}
void AppendChunk(Bytes &b, const char *id, const Bytes &data) {
    b.insert(b.end(), id, id + 4);
    Append32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
}

struct Ilbm {
    int width = 0, height = 0, depth = 1, masking = 0, compression = 0, transparent = 0;
    std::vector<uint32_t> cmap;
    int32_t camg = -1;
    bool camgAfterBody = false;
    Bytes body;
};

Bytes Build(const Ilbm &p) {
    Bytes bmhd;
    Append16(bmhd, p.width);
    Append16(bmhd, p.height);
    Append32(bmhd, 0);
    bmhd.push_back(static_cast<uint8_t>(p.depth));
    bmhd.push_back(static_cast<uint8_t>(p.masking));
    bmhd.push_back(static_cast<uint8_t>(p.compression));
    bmhd.push_back(0);
    Append16(bmhd, p.transparent);
    bmhd.push_back(1);
    bmhd.push_back(1);
    Append16(bmhd, p.width);
    Append16(bmhd, p.height);
    Bytes form = {'I', 'L', 'B', 'M'};
    AppendChunk(form, "BMHD", bmhd);
    Bytes cmap, camg;
    for (uint32_t c : p.cmap) {
        cmap.push_back(c >> 16);
        cmap.push_back((c >> 8) & 0xFF);
        cmap.push_back(c & 0xFF);
    }
    if (p.camg >= 0) Append32(camg, static_cast<uint32_t>(p.camg));
    if (!p.cmap.empty()) AppendChunk(form, "CMAP", cmap);
    if (p.camg >= 0 && !p.camgAfterBody) AppendChunk(form, "CAMG", camg);
    AppendChunk(form, "BODY", p.body);
    if (p.camg >= 0 && p.camgAfterBody) AppendChunk(form, "CAMG", camg);
    Bytes file = {'F', 'O', 'R', 'M'};
    Append32(file, static_cast<uint32_t>(form.size()));
    file.insert(file.end(), form.begin(), form.end());
    return file;
}

struct Decoded {
    int err = -1, width = 0, height = 0;
    int32_t pen = 0;
    FreePixels px;
    FreePixels palette;
};

void Decode(const Bytes &file, Decoded *d, const uint32_t *callerPalette = nullptr, int32_t colour = -1,
            int transparentMode = 0, int alphaMode = 0) {
    MemoryStream s(file);
    d->err = LoadILBMImage(s.get(), 0, callerPalette, colour, transparentMode, alphaMode, &d->pen, &d->width,
                           &d->height, &d->px.p, &d->palette.p);
}

}  // namespace

TEST(IlbmReader, DecodesLikeIlbmtoppmAcrossTheCorpus) {
    auto files = ListFiles(CorpusDir(), "ilbm_", ".iff");
    ASSERT_GE(files.size(), 8u);
    for (const auto &f : files) {
        SCOPED_TRACE(f);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(f, &bytes));
        Decoded d;
        Decode(bytes, &d);
        ASSERT_EQ(d.err, 0);
        Picture ref;
        ASSERT_TRUE(ReadNetpbm(f.substr(0, f.size() - 4) + ".ref.ppm", &ref));
        ASSERT_EQ(d.width, ref.width);
        ASSERT_EQ(d.height, ref.height);
        // HAM fills only the high bits of a changed component.
        const bool ham = f.find("ham") != std::string::npos;
        for (size_t i = 0; i < ref.pixels.size(); i++) {
            uint32_t want = ref.pixels[i];
            if (ham) want &= f.find("ham6") != std::string::npos ? 0xF0F0F0 : 0xFCFCFC;
            uint32_t got = d.px.p[i];
            if (ham) got &= f.find("ham6") != std::string::npos ? 0xF0F0F0 : 0xFCFCFC;
            ASSERT_EQ(got, want) << i;
        }
    }
}

TEST(IlbmReader, ExtraHalfBriteAndCamgAfterBody) {
    // 6 planes, 32 colours; pixel x has index x (0..63), one row of 64.
    Ilbm p;
    p.width = 64;
    p.height = 1;
    p.depth = 6;
    for (int i = 0; i < 32; i++) p.cmap.push_back(0x102030u * i & 0xFFFFFF);
    p.camg = 0x80;
    p.camgAfterBody = true;
    for (int plane = 0; plane < 6; plane++)
        for (int b = 0; b < 8; b++) {
            uint8_t v = 0;
            for (int k = 0; k < 8; k++)
                if (((b * 8 + k) >> plane) & 1) v |= 0x80 >> k;
            p.body.push_back(v);
        }
    Decoded d;
    Decode(Build(p), &d);
    ASSERT_EQ(d.err, 0);
    for (int x = 0; x < 64; x++) {
        const uint32_t base = p.cmap[x & 31];
        EXPECT_EQ(d.px.p[x], x < 32 ? base : (base >> 1) & 0x7F7F7F) << x;
    }
}

TEST(IlbmReader, HamAfterBodyAndOddWidthWithByteRun1) {
    // Width 17: 4 bytes per plane row. HAM6 (CAMG after BODY): pixel 0 takes
    // palette 1, pixel 1 sets red to 0xF0, the rest keep it. The packed body
    // has a -128 no-op control byte in front of each row.
    Ilbm p;
    p.width = 17;
    p.height = 1;
    p.depth = 6;
    p.compression = 1;
    p.cmap = {0x000000, 0x112233};
    p.camg = 0x800;
    p.camgAfterBody = true;
    // indices: x0 = 1, x1 = 0x2F (control 2, value 15), others 0x20 (red 0)... keep red: use 0x2F everywhere after.
    std::vector<uint8_t> idx(17, 0x2F);
    idx[0] = 1;
    for (int plane = 0; plane < 6; plane++) {
        uint8_t row[4] = {};
        for (int x = 0; x < 17; x++)
            if ((idx[x] >> plane) & 1) row[x / 8] |= 0x80 >> (x % 8);
        p.body.push_back(0x80);  // -128: nothing
        p.body.push_back(3);     // 4 literal bytes
        p.body.insert(p.body.end(), row, row + 4);
    }
    Decoded d;
    Decode(Build(p), &d);
    ASSERT_EQ(d.err, 0);
    EXPECT_EQ(d.px.p[0], 0x112233u);
    for (int x = 1; x < 17; x++) EXPECT_EQ(d.px.p[x], 0xF02233u) << x;
}

TEST(IlbmReader, OnePlaneTransparentPen) {
    Ilbm p;
    p.width = 16;
    p.height = 1;
    p.depth = 1;
    p.cmap = {0x000000, 0xFFFFFF};
    p.body = {0xF0, 0x0F};
    const Bytes file = Build(p);
    Decoded d;
    Decode(file, &d, nullptr, 0xFF0000, 1, 0);
    ASSERT_EQ(d.err, 0);
    EXPECT_EQ(d.pen, 0x000000);  // the colour of transparent index 0
    EXPECT_EQ(d.px.p[0], 0xFF0000u);
    EXPECT_EQ(d.px.p[4], 0x000000u);
    // With the alpha mode a colour of no entry becomes the pen.
    Decoded a;
    Decode(file, &a, nullptr, -1, 0, 1);
    ASSERT_EQ(a.err, 0);
    EXPECT_EQ(a.pen, 0xA8A8A8);
    EXPECT_EQ(a.px.p[4], 0xA8A8A8u);
    // A caller palette replaces the first entries, up to its end mark.
    const uint32_t mine[] = {0x00FF00, 0xFFFFFFFFu};
    Decoded c;
    Decode(file, &c, mine, -1, 1, 0);
    ASSERT_EQ(c.err, 0);
    EXPECT_EQ(c.pen, -1);
    EXPECT_EQ(c.px.p[4], 0x00FF00u);
    EXPECT_EQ(c.px.p[0], 0xFFFFFFu);
    ASSERT_NE(c.palette.p, nullptr);
    EXPECT_EQ(c.palette.p[0], 0x00FF00u);
}

TEST(IlbmReader, BadFilesGiveTheLoaderCode) {
    Ilbm good;
    good.width = 8;
    good.height = 2;
    good.depth = 1;
    good.cmap = {0, 0xFFFFFF};
    good.body = {0xAA, 0, 0x55, 0};
    struct Case {
        const char *name;
        Ilbm p;
    };
    std::vector<Case> cases;
    auto with = [&](const char *name, auto change) {
        Ilbm p = good;
        change(p);
        cases.push_back({name, p});
    };
    with("no CMAP", [](Ilbm &p) { p.cmap.clear(); });
    with("compression 2", [](Ilbm &p) { p.compression = 2; });
    with("0 planes", [](Ilbm &p) { p.depth = 0; });
    with("12 planes", [](Ilbm &p) { p.depth = 12; });
    with("short body", [](Ilbm &p) { p.body.resize(2); });
    with("short packed body", [](Ilbm &p) {
        p.compression = 1;
        p.body = {0x01, 0xAA};
    });
    with("zero width", [](Ilbm &p) { p.width = 0; });
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(Build(c.p), &d);
        EXPECT_EQ(d.err, ERR_LOADPICTURE2);
        EXPECT_EQ(d.px.p, nullptr);
    }
    Decoded ok;
    Decode(Build(good), &ok);
    EXPECT_EQ(ok.err, 0);
    Decoded notIff;
    Decode(Bytes{'G', 'I', 'F', '8', '9', 'a'}, &notIff);
    EXPECT_EQ(notIff.err, ERR_LOADPICTURE2);
}

TEST(IlbmReader, EveryTruncationFailsCleanly) {
    Bytes bytes;
    ASSERT_TRUE(ReadFileBytes(CorpusDir() + "/ilbm_odd.iff", &bytes));
    for (size_t n = 0; n < bytes.size(); n++) {
        Bytes cut(bytes.begin(), bytes.begin() + n);
        Decoded d;
        Decode(cut, &d);
        EXPECT_EQ(d.err == 0, d.px.p != nullptr) << n;
        if (d.err) {
            EXPECT_EQ(d.err, ERR_LOADPICTURE2) << n;
        }
    }
}

TEST(IlbmWriter, TwentyFourPlanesRoundTripAndPadTheForm) {
    for (int w : {16, 17, 3}) {
        const int h = 5;
        std::vector<uint32_t> px(w * h);
        for (int i = 0; i < w * h; i++) px[i] = i % 3 ? (i * 2654435761u & 0xFFFFFF) : 0x777777;
        TempPath tmp(".iff");
        ASSERT_EQ(SaveILBMImage(tmp.path.c_str(), px.data(), w, h), 0);
        Bytes file;
        ASSERT_TRUE(ReadFileBytes(tmp.path, &file));
        ASSERT_EQ(file.size() % 2, 0u);
        const uint32_t form = file[4] << 24 | file[5] << 16 | file[6] << 8 | file[7];
        EXPECT_EQ(form + 8, file.size());
        Decoded d;
        Decode(file, &d);
        ASSERT_EQ(d.err, 0);
        ASSERT_EQ(d.width, w);
        EXPECT_EQ(0, memcmp(d.px.p, px.data(), px.size() * 4)) << w;
    }
    uint32_t one = 0;
    EXPECT_EQ(SaveILBMImage("/nonexistent-dir/x.iff", &one, 1, 1), ERR_WRITEFILE);
}
