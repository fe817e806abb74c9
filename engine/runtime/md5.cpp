// MD5 as RFC 1321 defines it: 64-byte blocks, four rounds of sixteen
// operations, the bit count appended little-endian.
#include "engine/runtime/md5.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

// Per-operation additive constants: floor(abs(sin(i + 1)) * 2^32).
struct SineTable {
    uint32_t k[64];
    SineTable() {
        for (int i = 0; i < 64; i++) k[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    }
};

const SineTable kSine;

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t LoadLE(const uint8_t *p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// One round: sixteen steps of one function. Unrolled, every index, shift
// and constant is known to the compiler and the register rotation vanishes.
template <int Round, typename F>
inline void RunRound(uint32_t &a, uint32_t &b, uint32_t &c, uint32_t &d, const uint32_t x[16], F f) {
#pragma GCC unroll 16
    for (int j = 0; j < 16; j++) {
        const int i = Round * 16 + j;
        const int g = Round == 0 ? j : Round == 1 ? (5 * j + 1) % 16 : Round == 2 ? (3 * j + 5) % 16 : (7 * j) % 16;
        const uint32_t sum = a + f(b, c, d) + kSine.k[i] + x[g];
        const uint32_t t = d;
        d = c;
        c = b;
        b = b + std::rotl(sum, kShift[Round][j % 4]);
        a = t;
    }
}

void Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++) x[i] = LoadLE(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    RunRound<0>(a, b, c, d, x, [](uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); });
    RunRound<1>(a, b, c, d, x, [](uint32_t b, uint32_t c, uint32_t d) { return c ^ (d & (b ^ c)); });
    RunRound<2>(a, b, c, d, x, [](uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; });
    RunRound<3>(a, b, c, d, x, [](uint32_t b, uint32_t c, uint32_t d) { return c ^ (b | ~d); });
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

extern "C" void MD5Init(cxMD5Context *ctx) {
    ctx->countLow = ctx->countHigh = 0;
    ctx->state[0] = 0x67452301u;
    ctx->state[1] = 0xefcdab89u;
    ctx->state[2] = 0x98badcfeu;
    ctx->state[3] = 0x10325476u;
    memset(ctx->buffer, 0, sizeof ctx->buffer);
}

extern "C" void MD5Update(cxMD5Context *ctx, const void *data, size_t length) {
    const uint8_t *p = static_cast<const uint8_t *>(data);
    size_t used = (ctx->countLow >> 3) & 63;
    uint64_t bits = (uint64_t{ctx->countHigh} << 32 | ctx->countLow) + (uint64_t{length} << 3);
    ctx->countLow = static_cast<uint32_t>(bits);
    ctx->countHigh = static_cast<uint32_t>(bits >> 32);
    if (used == 0) {
        // Whole blocks are hashed where they lie.
        for (; length >= 64; p += 64, length -= 64) Transform(ctx->state, p);
    }
    while (length > 0) {
        size_t n = 64 - used < length ? 64 - used : length;
        memcpy(ctx->buffer + used, p, n);
        used += n;
        p += n;
        length -= n;
        if (used == 64) {
            Transform(ctx->state, ctx->buffer);
            used = 0;
        }
    }
}

extern "C" void MD5Final(cxMD5Context *ctx, uint8_t digest[16]) {
    uint8_t count[8];
    for (int i = 0; i < 4; i++) {
        count[i] = static_cast<uint8_t>(ctx->countLow >> (8 * i));
        count[4 + i] = static_cast<uint8_t>(ctx->countHigh >> (8 * i));
    }
    size_t used = (ctx->countLow >> 3) & 63;
    static const uint8_t pad[64] = {0x80};
    MD5Update(ctx, pad, used < 56 ? 56 - used : 120 - used);
    MD5Update(ctx, count, 8);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) digest[4 * i + j] = static_cast<uint8_t>(ctx->state[i] >> (8 * j));
    memset(ctx, 0, sizeof *ctx);
}
