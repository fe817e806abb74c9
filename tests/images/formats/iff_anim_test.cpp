// The IFF ANIM reader on small hand-made anims: method 5 double-buffered
// and exclusive-or, method 8 words, DPAN frame counts, delays, restarts and
// frames read out of order; broken files.
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "images/formats/iff_anim.h"
#include "tests/images/formats/image_test_support.h"

using namespace cxtest;

namespace {

void Put32(Bytes &b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back((v >> (8 * i)) & 0xFF);
}
void Put16(Bytes &b, uint32_t v) {
    b.push_back((v >> 8) & 0xFF);
    b.push_back(v & 0xFF);
}
Bytes Chunk(const char *id, const Bytes &data) {
    Bytes b(id, id + 4);
    Put32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}
Bytes Form(const char *type, const Bytes &chunks) {
    Bytes inner(type, type + 4);
    inner.insert(inner.end(), chunks.begin(), chunks.end());
    return Chunk("FORM", inner);
}
Bytes Anhd(int method, int interleave, uint32_t ticks, uint32_t bits = 0) {
    Bytes b(40, 0);
    b[0] = static_cast<uint8_t>(method);
    for (int i = 0; i < 4; i++) b[14 + i] = (ticks >> (24 - 8 * i)) & 0xFF;
    b[18] = static_cast<uint8_t>(interleave);
    for (int i = 0; i < 4; i++) b[20 + i] = (bits >> (24 - 8 * i)) & 0xFF;
    return Chunk("ANHD", b);
}
// A DLTA whose plane 0 data follow the 64-byte offset table.
Bytes Dlta(const Bytes &plane0) {
    Bytes b;
    Put32(b, 64);
    b.resize(64, 0);
    b.insert(b.end(), plane0.begin(), plane0.end());
    return Chunk("DLTA", b);
}

// 16 x 2, one plane, black and white; every frame's plane bytes given.
Bytes MakeAnim(const std::vector<Bytes> &deltas, int dpan = 0, uint32_t firstTicks = 6) {
    Bytes bmhd;
    Put16(bmhd, 16);
    Put16(bmhd, 2);
    Put32(bmhd, 0);
    bmhd.insert(bmhd.end(), {1, 0, 0, 0});
    Put16(bmhd, 0);
    bmhd.insert(bmhd.end(), {1, 1});
    Put16(bmhd, 16);
    Put16(bmhd, 2);
    Bytes first = Chunk("BMHD", bmhd);
    const Bytes anhd = Anhd(0, 0, firstTicks);
    first.insert(first.end(), anhd.begin(), anhd.end());
    const Bytes cmap = Chunk("CMAP", {0, 0, 0, 255, 255, 255});
    first.insert(first.end(), cmap.begin(), cmap.end());
    if (dpan) {
        Bytes d = {0, 0};
        Put16(d, dpan);
        Put32(d, 0);
        const Bytes c = Chunk("DPAN", d);
        first.insert(first.end(), c.begin(), c.end());
    }
    const Bytes body = Chunk("BODY", {0, 0, 0, 0});
    first.insert(first.end(), body.begin(), body.end());
    Bytes all = Form("ILBM", first);
    for (const auto &d : deltas) {
        const Bytes f = Form("ILBM", d);
        all.insert(all.end(), f.begin(), f.end());
    }
    return Form("ANIM", all);
}

Bytes Delta(int method, int interleave, uint32_t ticks, const Bytes &plane0) {
    Bytes d = Anhd(method, interleave, ticks);
    const Bytes x = Dlta(plane0);
    d.insert(d.end(), x.begin(), x.end());
    return d;
}

// Pixels of frame n as bits: 1 white.
std::vector<int> Bits(const uint32_t *px) {
    std::vector<int> out;
    for (int i = 0; i < 32; i++) out.push_back(px[i] == 0xFFFFFF ? 1 : 0);
    return out;
}
std::vector<int> FromBytes(const uint8_t rows[2][2]) {
    std::vector<int> out;
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 16; x++) out.push_back((rows[y][x / 8] >> (7 - x % 8)) & 1);
    return out;
}

struct Anim {
    Bytes bytes;
    cxIffAnim *a = nullptr;
    int w = 0, h = 0, frames = 0;
    bool Open() {
        a = OpenIFFAnim(OpenBytesStream(bytes), 0, &w, &h, &frames, 0);
        return a != nullptr;
    }
    std::vector<int> Frame(int n) {
        int t = 0;
        FreePixels px;
        px.p = ReadIFFAnimFrame(a, n, &t);
        return px.p ? Bits(px.p) : std::vector<int>{};
    }
    ~Anim() { CloseIFFAnim(a); }
};

}  // namespace

TEST(IffAnim, DoubleBufferedMethod5InOrderAndAfterRestarts) {
    // Column 0 and 1 are the two bytes of each row. Deltas (interleave 0)
    // change the picture two back.
    const std::vector<Bytes> deltas = {
        Delta(5, 0, 6, {1, 0x81, 0xFF, 0}),              // frame 1: row 0 byte 0
        Delta(5, 0, 12, {0, 2, 0x82, 0x0F, 0xF0}),       // frame 2: column 1 rows 0-1
        Delta(5, 0, 6, {2, 1, 0x81, 0xAA, 0}),           // frame 3 (from frame 1): row 1 byte 0
        Delta(5, 0, 6, {1, 0, 2, 0x3C, 0}),              // frame 4 (from frame 2): run down column 0
    };
    const uint8_t f0[2][2] = {{0, 0}, {0, 0}}, f1[2][2] = {{0xFF, 0}, {0, 0}}, f2[2][2] = {{0, 0x0F}, {0, 0xF0}},
                  f3[2][2] = {{0xFF, 0}, {0xAA, 0}}, f4[2][2] = {{0x3C, 0x0F}, {0x3C, 0xF0}};
    const std::vector<std::vector<int>> want = {FromBytes(f0), FromBytes(f1), FromBytes(f2), FromBytes(f3),
                                                FromBytes(f4)};
    Anim a;
    a.bytes = MakeAnim(deltas);
    ASSERT_TRUE(a.Open());
    EXPECT_EQ(a.w, 16);
    EXPECT_EQ(a.h, 2);
    ASSERT_EQ(a.frames, 5);
    for (int n = 0; n < 5; n++) EXPECT_EQ(a.Frame(n), want[n]) << n;
    // After the last frame, and out of order: the same pictures.
    for (int n : {3, 1, 4, 0, 2, 2}) EXPECT_EQ(a.Frame(n), want[n]) << n;
    EXPECT_EQ(GetIFFAnimFrameDelay(a.a, 0), 100);
    EXPECT_EQ(GetIFFAnimFrameDelay(a.a, 2), 200);
}

TEST(IffAnim, Method5WithInterleaveOneTogglesBits) {
    Anim a;
    a.bytes = MakeAnim({Delta(5, 1, 1, {1, 0x81, 0xF0, 0}), Delta(5, 1, 1, {1, 0x81, 0x3C, 0})});
    ASSERT_TRUE(a.Open());
    const uint8_t f1[2][2] = {{0xF0, 0}, {0, 0}}, f2[2][2] = {{0xCC, 0}, {0, 0}};
    EXPECT_EQ(a.Frame(1), FromBytes(f1));
    EXPECT_EQ(a.Frame(2), FromBytes(f2));
}

TEST(IffAnim, Method8WordsAndDpanCount) {
    // One word column: op count 2, copy 1 word (0x8001) then a run of 1.
    Bytes plane = {0, 2, 0x80, 0x01, 0xAB, 0xCD, 0, 0, 0, 1, 0x12, 0x34};
    Anim a;
    a.bytes = MakeAnim({Delta(8, 1, 3, plane)}, 7);
    ASSERT_TRUE(a.Open());
    EXPECT_EQ(a.frames, 7);  // as DPAN says
    const uint8_t f1[2][2] = {{0xAB, 0xCD}, {0x12, 0x34}};
    EXPECT_EQ(a.Frame(1), FromBytes(f1));
    EXPECT_EQ(GetIFFAnimFrameDelay(a.a, 1), 50);
    EXPECT_TRUE(a.Frame(5).empty());  // no such delta: null, still usable
    EXPECT_EQ(a.Frame(1), FromBytes(f1));
}

TEST(IffAnim, BrokenFilesFailCleanly) {
    const Bytes good = MakeAnim({Delta(5, 0, 6, {1, 0x81, 0xFF, 0}), Delta(5, 0, 6, {0})});
    {
        Anim a;
        a.bytes = good;
        ASSERT_TRUE(a.Open());
    }
    Anim method;
    method.bytes = MakeAnim({Delta(3, 0, 6, {0})});
    EXPECT_FALSE(method.Open());
    for (size_t n = 0; n < good.size(); n++) {
        Anim a;
        a.bytes.assign(good.begin(), good.begin() + n);
        if (!a.Open()) continue;
        for (int f = 0; f < a.frames; f++) a.Frame(f);
    }
    // Hostile deltas: offsets and runs far outside the data and the planes.
    Bytes wild = {200, 0x00, 0xFF, 0xFF, 0x7F, 0xFF, 0x81};
    Anim w;
    w.bytes = MakeAnim({Delta(5, 0, 1, wild), Delta(8, 0, 1, {0xFF, 0xFF, 0x7F, 0xFF, 0, 0, 0xFF, 0xFF}),
                        Delta(100, 0, 1, {0x7F, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0xF0})});
    ASSERT_TRUE(w.Open());
    for (int f = 0; f < w.frames; f++) w.Frame(f);
}
