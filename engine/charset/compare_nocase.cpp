// Case-insensitive comparison in UTF-8 and ISO-8859-1.
#include <cstring>

#include "engine/charset/charset.h"
#include "engine/charset/charset_internal.h"

namespace {

// Upper-cases one byte for the byte-wise compares. In UTF-8 mode a byte
// above 0x7F is part of a multi-byte sequence, not a character, so only
// ASCII is mapped there.
inline unsigned UpperByte(unsigned char b, bool utf8) {
    if (utf8) return b >= 'a' && b <= 'z' ? b - 0x20u : b;
    return ToUpperLatin1(b);
}

int CompareBytes(const char *a, const char *b, size_t n) {
    if (a == b) return 0;
    const bool utf8 = GetUtf8Mode() != 0;
    const unsigned char *x = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *y = reinterpret_cast<const unsigned char *>(b);
    for (size_t i = 0; i < n; ++i) {
        const unsigned ua = UpperByte(x[i], utf8), ub = UpperByte(y[i], utf8);
        if (ua != ub) return static_cast<int>(ua) - static_cast<int>(ub);
        if (x[i] == 0) break;  // a common NUL (only 0 maps to 0)
    }
    return 0;
}

}  // namespace

extern "C" int Utf8CompareRangesNoCase(const char *a, const char *b, const char *endA, const char *endB) {
    if (a == b && endA == endB) return 0;
    if (a >= endA && b >= endB) return 0;
    for (;;) {
        if (a >= endA) return -1;
        if (b >= endB) return 1;
        uint32_t x, y;
        a += Utf8DecodeChar(a, endA, &x);
        b += Utf8DecodeChar(b, endB, &y);
        x = cx::charset::FoldCase(x);
        y = cx::charset::FoldCase(y);
        if (x != y) return x < y ? -1 : 1;
        if (a >= endA && b >= endB) return 0;
    }
}

extern "C" int Utf8CompareNoCase(const char *a, const char *b) {
    if (a == b) return 0;
    return Utf8CompareRangesNoCase(a, b, a + std::strlen(a), b + std::strlen(b));
}

extern "C" int Utf8NCompareNoCase(const char *a, const char *b, size_t n) {
    if (a == b) return 0;
    return Utf8CompareRangesNoCase(a, b, a + strnlen(a, n), b + strnlen(b, n));
}

extern "C" int Utf8CompareBytesNoCase(const char *a, const char *b, size_t n) {
    if (a == b) return 0;
    return Utf8CompareRangesNoCase(a, b, a + n, b + n);
}

extern "C" int Latin1CompareNoCase(const char *a, const char *b) { return CompareBytes(a, b, SIZE_MAX); }

extern "C" int Latin1NCompareNoCase(const char *a, const char *b, size_t n) { return CompareBytes(a, b, n); }

extern "C" int StrCompareNoCase(const char *a, const char *b) {
    return GetUtf8Mode() ? Utf8CompareNoCase(a, b) : Latin1CompareNoCase(a, b);
}

extern "C" int StrNCompareNoCase(const char *a, const char *b, size_t n) {
    return GetUtf8Mode() ? Utf8NCompareNoCase(a, b, n) : Latin1NCompareNoCase(a, b, n);
}
