// The UTF-8 mode flag, decoding, walking, validation and encoding.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "engine/charset/charset.h"
#include "engine/charset/charset_internal.h"

using cx::charset::IsContinuation;

namespace {

std::atomic<int> g_utf8Mode{1};
std::atomic<int> g_stringDefault{-1};

// Subtracted after summing a sequence as value = value * 64 + byte over the
// lead byte and n continuation bytes (unmasked; arithmetic modulo 2^32).
constexpr uint32_t kSequenceOffset[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                         0x03C82080u, 0xFA082080u, 0x82082080u};

// Continuation bytes that a lead byte announces, by its value.
constexpr int TrailingCount(unsigned char b) {
    return b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
}

inline const unsigned char *Bytes(const char *p) { return reinterpret_cast<const unsigned char *>(p); }

}  // namespace

extern "C" int GetUtf8Mode(void) { return g_utf8Mode.load(std::memory_order_relaxed); }
extern "C" void SetUtf8Mode(int utf8) { g_utf8Mode.store(utf8 != 0, std::memory_order_relaxed); }

extern "C" void SetStringDefaultEncoding(int encoding) {
    g_stringDefault.store(encoding == ENCODING_UTF8 || encoding == ENCODING_ISO8859_1 ? encoding : -1,
                          std::memory_order_relaxed);
}

extern "C" int GetStringDefaultEncoding(void) {
    const int e = g_stringDefault.load(std::memory_order_relaxed);
    if (e >= 0) return e;
    return GetUtf8Mode() ? ENCODING_UTF8 : ENCODING_ISO8859_1;
}

extern "C" int Utf8DecodeChar(const char *text, const char *end, uint32_t *codePoint) {
    uint32_t value = 0;
    int length = 0;
    if (!end || text < end) {
        // Bytes that may be read from text on: the range, or up to the NUL.
        const ptrdiff_t room = end ? end - text : PTRDIFF_MAX;
        const unsigned char *p = Bytes(text);
        const unsigned b = p[0];
        value = b;
        length = 1;
        if (b <= 0xBF) {
            // ASCII, or a stray continuation byte read as itself
        } else if (b <= 0xDF) {
            if (room > 1 && IsContinuation(p[1])) {
                value = ((b & 0x1Fu) << 6) | (p[1] & 0x3Fu);
                length = 2;
            }
        } else if (b <= 0xEF) {
            if (room > 2 && IsContinuation(p[1]) && IsContinuation(p[2])) {
                value = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
                length = 3;
            }
        } else {
            // Long forms: one continuation byte per set bit below the top
            // two of the lead, at most five.
            uint32_t bits = 0;
            uint32_t lead = b;
            int n = 0;
            bool complete = true;
            while (lead & 0x40) {
                if (n == 5 || room <= n + 1 || !IsContinuation(p[n + 1])) {
                    complete = false;
                    break;
                }
                bits = (bits << 6) | (p[n + 1] & 0x3Fu);
                lead <<= 1;
                ++n;
            }
            if (complete) {
                value = bits | ((lead & 0x7Fu) << (5 * n));
                length = n + 1;
            }
        }
    }
    if (codePoint) *codePoint = value;
    return length;
}

extern "C" int Utf8DecodeCharBounded(const char *text, const char *end, uint32_t *codePoint) {
    if (end && text >= end) {
        if (codePoint) *codePoint = 0;
        return 0;
    }
    return Utf8DecodeChar(text, end, codePoint);
}

extern "C" uint32_t Utf8NextChar(const char *text, size_t *index) {
    const unsigned char *p = Bytes(text) + *index;
    uint32_t sum = p[0];
    int n = 0;
    if (sum != 0) {
        while (n < 5 && IsContinuation(p[n + 1])) {
            sum = sum * 64 + p[n + 1];
            ++n;
        }
    }
    *index += static_cast<size_t>(n) + 1;
    return sum - kSequenceOffset[n];
}

extern "C" const char *Utf8SkipChar(const char *text, const char *end) {
    if (end && text >= end) return text;
    if (Bytes(text)[0] < 0xC0) return text + 1;
    return text + Utf8DecodeChar(text, end, nullptr);
}

extern "C" const char *Utf8PrevChar(const char *start, const char *position) {
    if (position <= start) return start;
    const char *p = position - 1;
    while (p > start && IsContinuation(Bytes(p)[0])) --p;
    return p;
}

extern "C" size_t Utf8CountChars(const char *start, const char *end) {
    size_t count = 0;
    for (const char *p = start; p < end; p = Utf8SkipChar(p, end)) ++count;
    return count;
}

extern "C" size_t Utf8CharToByteOffset(const char *text, ptrdiff_t count) {
    const unsigned char *p = Bytes(text);
    size_t i = 0;
    for (; count > 0 && p[i] != 0; --count) {
        ++i;
        for (int k = 0; k < 3 && IsContinuation(p[i]); ++k) ++i;
    }
    return i;
}

extern "C" size_t Utf8ByteToCharOffset(const char *text, ptrdiff_t byteCount) {
    const unsigned char *p = Bytes(text);
    size_t chars = 0;
    for (ptrdiff_t i = 0; i < byteCount;) {
        ++chars;
        ++i;
        for (int k = 0; k < 3 && i < byteCount && IsContinuation(p[i]); ++k) ++i;
    }
    return chars;
}

extern "C" int ValidateUtf8(const char *bytes, size_t length, size_t *count) {
    const unsigned char *p = Bytes(bytes);
    size_t i = 0, chars = 0;
    while (i < length) {
        const unsigned b = p[i];
        const size_t t = static_cast<size_t>(TrailingCount(static_cast<unsigned char>(b)));
        if (t > length - i - 1 || t > 3) break;
        if ((b >= 0x80 && b <= 0xC1) || b > 0xF4) break;
        uint32_t value = t == 0 ? b : t == 1 ? (b & 0x1Fu) : t == 2 ? (b & 0x0Fu) : (b & 0x07u);
        bool ok = true;
        for (size_t k = 1; k <= t && ok; ++k) {
            const unsigned c = p[i + k];
            unsigned low = 0x80, high = 0xBF;
            if (k == 1) {
                if (b == 0xE0) low = 0xA0;       // overlong three-byte form
                else if (b == 0xED) high = 0x9F; // surrogates
                else if (b == 0xF0) low = 0x90;  // overlong four-byte form
                else if (b == 0xF4) high = 0x8F; // above U+10FFFF
            }
            ok = c >= low && c <= high;
            value = (value << 6) | (c & 0x3Fu);
        }
        if (!ok || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) break;
        i += t + 1;
        ++chars;
    }
    if (count) *count = chars;
    return i == length;
}

extern "C" size_t Utf8LenChecked(const char *bytes, size_t length, int *invalid) {
    size_t chars = 0;
    const int valid = ValidateUtf8(bytes, length, &chars);
    if (invalid) *invalid = !valid;
    return valid ? chars : 0;
}

extern "C" size_t Utf8StrLenChecked(const char *text, int *invalid) {
    return Utf8LenChecked(text, std::strlen(text), invalid);
}

extern "C" int Utf8EncodeChar(char *destination, uint32_t c) {
    unsigned char *d = reinterpret_cast<unsigned char *>(destination);
    int n;
    if (c < 0x80) {
        d[0] = static_cast<unsigned char>(c);
        n = 1;
    } else if (c < 0x800) {
        d[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        d[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        d[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        d[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        d[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        n = 3;
    } else if (c < 0x110000) {
        d[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
        d[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        d[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        d[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        n = 4;
    } else {
        n = 0;
    }
    d[n] = 0;
    return n;
}

extern "C" void PutCharInEncoding(char buffer[8], uint32_t character) {
    std::memset(buffer, 0, 8);
    if (GetUtf8Mode()) Utf8EncodeChar(buffer, character);
    else buffer[0] = static_cast<char>(character & 0xFF);
}
