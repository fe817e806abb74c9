// Character classes and case mapping: ISO-8859-1 byte tables and the
// Unicode range tables.
#include <array>
#include <cstring>

#include "engine/charset/charset.h"
#include "engine/charset/charset_internal.h"

namespace {

struct cxCodeRange {
    uint32_t first, last, step;
};
struct cxCaseRange {
    uint32_t first, last, step;
    int32_t delta;
};

#include "engine/charset/unicode_tables.inc"

// ---- ISO-8859-1 ----

using ByteTable = std::array<unsigned char, 256>;

struct ByteSpan {
    unsigned first, last;
};

template <size_t N>
constexpr ByteTable MakeClass(const ByteSpan (&spans)[N]) {
    ByteTable t{};
    for (const ByteSpan &s : spans)
        for (unsigned c = s.first; c <= s.last; ++c) t[c] = 1;
    return t;
}

template <size_t N>
constexpr ByteTable MakeMap(const ByteSpan (&spans)[N], int delta) {
    ByteTable t{};
    for (unsigned c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
    for (const ByteSpan &s : spans)
        for (unsigned c = s.first; c <= s.last; ++c) t[c] = static_cast<unsigned char>(static_cast<int>(c) + delta);
    return t;
}

constexpr ByteSpan kGraphSpans[] = {{0x21, 0x7E}, {0xA1, 0xFF}};
constexpr ByteSpan kAlphaSpans[] = {{0x41, 0x5A}, {0x61, 0x7A}, {0xC0, 0xF6}, {0xF8, 0xFF}};
// The lower and upper tables also hold a few symbols that are no letters
// (0xA6, 0xA8, 0xB4, 0xB8, 0xBC, 0xBD, 0xBE); scripts see these results.
constexpr ByteSpan kLowerSpans[] = {{0x61, 0x7A}, {0xA8, 0xA8}, {0xB5, 0xB5}, {0xB8, 0xB8},
                                    {0xBD, 0xBD}, {0xDF, 0xF6}, {0xF8, 0xFF}};
constexpr ByteSpan kUpperSpans[] = {{0x41, 0x5A}, {0xA6, 0xA6}, {0xB4, 0xB4}, {0xBC, 0xBC},
                                    {0xBE, 0xBE}, {0xC0, 0xD6}, {0xD8, 0xDE}};
// 0xDE and 0xFE are not mapped; 0xDF and 0xFF have no upper-case form.
constexpr ByteSpan kToLowerSpans[] = {{0x41, 0x5A}, {0xC0, 0xD6}, {0xD8, 0xDD}};
constexpr ByteSpan kToUpperSpans[] = {{0x61, 0x7A}, {0xE0, 0xF6}, {0xF8, 0xFD}};

constexpr ByteTable kGraph = MakeClass(kGraphSpans);
constexpr ByteTable kAlpha = MakeClass(kAlphaSpans);
constexpr ByteTable kLower = MakeClass(kLowerSpans);
constexpr ByteTable kUpper = MakeClass(kUpperSpans);
constexpr ByteTable kToLower = MakeMap(kToLowerSpans, 0x20);
constexpr ByteTable kToUpper = MakeMap(kToUpperSpans, -0x20);

inline int ByteTest(const ByteTable &table, uint32_t byte) { return byte < 256 && table[byte]; }

// ---- Unicode range tables ----

// Binary search for the row whose range holds c; null when none does.
template <typename Row, size_t N>
const Row *FindRow(const Row (&rows)[N], uint32_t c) {
    size_t low = 0, high = N;
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (rows[middle].last >= c) {
            if (c >= rows[middle].first) return &rows[middle];
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return nullptr;
}

template <typename Row>
bool OnStep(const Row *row, uint32_t c) {
    return row && (row->step == 0 ? c == row->first : (c - row->first) % row->step == 0);
}

template <size_t N>
int FindInRangeTable(const cxCodeRange (&rows)[N], uint32_t c) {
    return OnStep(FindRow(rows, c), c) ? 1 : 0;
}

template <size_t N>
uint32_t MapCaseRange(const cxCaseRange (&rows)[N], uint32_t c) {
    const cxCaseRange *row = FindRow(rows, c);
    return OnStep(row, c) ? static_cast<uint32_t>(static_cast<int64_t>(c) + row->delta) : c;
}

char *MapInPlaceUtf8(char *text, uint32_t (*map)(uint32_t)) {
    size_t i = 0;
    while (text[i]) {
        const size_t start = i;
        const uint32_t c = Utf8NextChar(text, &i);
        const uint32_t mapped = map(c);
        if (mapped == c) continue;
        char encoded[8];
        // Only a mapping of the same byte length can be written in place.
        if (static_cast<size_t>(Utf8EncodeChar(encoded, mapped)) == i - start)
            std::memcpy(text + start, encoded, i - start);
    }
    return text;
}

char *MapInPlaceBytes(char *text, const ByteTable &table) {
    for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p; ++p) *p = table[*p];
    return text;
}

}  // namespace

// ASCII, by far the most common case, skips the search.
uint32_t cx::charset::FoldCase(uint32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    return MapCaseRange(kFoldRanges, c);
}

extern "C" {

int IsGraphLatin1(uint32_t byte) { return ByteTest(kGraph, byte); }
int IsAlphaLatin1(uint32_t byte) { return ByteTest(kAlpha, byte); }
int IsAlNumLatin1(uint32_t byte) { return (byte >= 0x30 && byte <= 0x39) || ByteTest(kAlpha, byte); }
int IsLowerLatin1(uint32_t byte) { return ByteTest(kLower, byte); }
int IsUpperLatin1(uint32_t byte) { return ByteTest(kUpper, byte); }

int IsUnicodeAlpha(uint32_t c) { return FindInRangeTable(kLetterRanges, c); }
int IsUnicodeLower(uint32_t c) { return FindInRangeTable(kLowerRanges, c); }
int IsUnicodeUpper(uint32_t c) { return FindInRangeTable(kUpperRanges, c); }
int IsUnicodeCntrl(uint32_t c) { return FindInRangeTable(kControlRanges, c); }
int IsUnicodeDigit(uint32_t c) { return FindInRangeTable(kDigitRanges, c); }
int IsUnicodeXDigit(uint32_t c) { return FindInRangeTable(kHexDigitRanges, c); }
int IsUnicodePunct(uint32_t c) { return FindInRangeTable(kPunctRanges, c); }
int IsUnicodeSpace(uint32_t c) { return FindInRangeTable(kSpaceRanges, c); }
int IsUnicodeGraph(uint32_t c) {
    if (IsUnicodeSpace(c)) return 0;
    return FindInRangeTable(kGraphRanges, c) || FindInRangeTable(kMarkRanges, c);
}
int IsUnicodePrint(uint32_t c) { return c == 0x20 || IsUnicodeGraph(c); }
int IsUnicodeAlNum(uint32_t c) { return IsUnicodeAlpha(c) || FindInRangeTable(kNumberRanges, c); }

int IsGraphChar(uint32_t c) { return GetUtf8Mode() ? IsUnicodeGraph(c) : IsGraphLatin1(c & 0xFF); }
int IsAlphaChar(uint32_t c) { return GetUtf8Mode() ? IsUnicodeAlpha(c) : IsAlphaLatin1(c & 0xFF); }
int IsAlNumChar(uint32_t c) { return GetUtf8Mode() ? IsUnicodeAlNum(c) : IsAlNumLatin1(c & 0xFF); }

uint32_t ToLowerLatin1(uint32_t c) { return kToLower[c & 0xFF]; }
uint32_t ToUpperLatin1(uint32_t c) { return kToUpper[c & 0xFF]; }
uint32_t UnicodeToLower(uint32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    return MapCaseRange(kToLowerRanges, c);
}
uint32_t UnicodeToUpper(uint32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    return MapCaseRange(kToUpperRanges, c);
}
uint32_t ToLowerChar(uint32_t c) { return GetUtf8Mode() ? UnicodeToLower(c) : ToLowerLatin1(c); }
uint32_t ToUpperChar(uint32_t c) { return GetUtf8Mode() ? UnicodeToUpper(c) : ToUpperLatin1(c); }

char *Utf8LowerCaseInPlace(char *text) { return MapInPlaceUtf8(text, UnicodeToLower); }
char *Utf8UpperCaseInPlace(char *text) { return MapInPlaceUtf8(text, UnicodeToUpper); }
char *LowerCaseInPlace(char *text) {
    return GetUtf8Mode() ? Utf8LowerCaseInPlace(text) : MapInPlaceBytes(text, kToLower);
}
char *UpperCaseInPlace(char *text) {
    return GetUtf8Mode() ? Utf8UpperCaseInPlace(text) : MapInPlaceBytes(text, kToUpper);
}

}  // extern "C"
