// Family and style names from a face's 'name' table, and what the words of
// a style name say about weight and slant.
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "text/fonts/font_catalogue.h"

namespace {

uint32_t BE16(const uint8_t *p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t BE32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool ReadAt(cxStream *s, uint64_t offset, void *buffer, size_t length) {
    return SeekFileStream(s, int64_t(offset), CX_SEEK_BEGINNING) >= 0 && ReadStreamData(s, buffer, length) == length;
}

bool EnglishWindowsLanguage(uint32_t language) {
    switch (language) {
    case 0x0409: case 0x0809: case 0x0C09: case 0x1009:
    case 0x1409: case 0x1809: case 0x1C09: case 0x4009: return true;
    default: return false;
    }
}

struct StyleWord {
    const char *word;
    bool weight; // else slant
    int32_t value;
};
const StyleWord kStyleWords[] = {
    {"Thin", true, 0},          {"Extralight", true, 40},   {"Extra-light", true, 40}, {"Ultralight", true, 40},
    {"Ultra-light", true, 40},  {"Light", true, 50},        {"Book", true, 75},        {"Normal", true, 80},
    {"Regular", true, 80},      {"Medium", true, 100},      {"Semibold", true, 180},   {"Semi-bold", true, 180},
    {"Semi", true, 180},        {"Demibold", true, 180},    {"Demi-bold", true, 180},  {"Demi", true, 180},
    {"Bold", true, 200},        {"Extrabold", true, 205},   {"Extra-bold", true, 205}, {"Ultrabold", true, 205},
    {"Ultra-bold", true, 205},  {"Heavy", true, 210},       {"Black", true, 210},      {"Extrablack", true, 215},
    {"Extra-black", true, 215}, {"Ultrablack", true, 215},  {"Ultra-black", true, 215}, {"Roman", false, 0},
    {"Italic", false, 100},     {"Oblique", false, 110},
};

} // namespace

extern "C" {

int ReadTrueTypeNames(cxStream *s, char *family, char *style, uint32_t faceOffset, uint32_t tableBase) {
    family[0] = style[0] = 0;
    uint8_t head[12];
    if (!ReadAt(s, faceOffset, head, sizeof head)) return 0;
    const uint32_t version = BE32(head);
    if (version != 0x00010000u && memcmp(head, "OTTO", 4) != 0 && memcmp(head, "true", 4) != 0) return 0;
    const uint32_t tables = BE16(head + 4);
    uint64_t namePos = 0;
    bool found = false;
    for (uint32_t i = 0; i < tables && !found; ++i) {
        uint8_t rec[16];
        if (!ReadAt(s, uint64_t(faceOffset) + 12 + 16ull * i, rec, sizeof rec)) return 0;
        if (Latin1NCompareNoCase(reinterpret_cast<const char *>(rec), "name", 4) == 0) {
            namePos = uint64_t(BE32(rec + 8)) + tableBase;
            found = true;
        }
    }
    if (!found) return 0;
    uint8_t nameHead[6];
    if (!ReadAt(s, namePos, nameHead, sizeof nameHead)) return 0;
    const uint32_t count = BE16(nameHead + 2), storage = BE16(nameHead + 4);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t r[12];
        if (!ReadAt(s, namePos + 6 + 12ull * i, r, sizeof r)) break;
        const uint32_t platform = BE16(r), language = BE16(r + 4), id = BE16(r + 6);
        const uint32_t length = BE16(r + 8), offset = BE16(r + 10);
        if (id != 1 && id != 2) continue;
        if ((platform == 1 && language != 0) || (platform == 3 && !EnglishWindowsLanguage(language))) continue;
        if (length > 511) return 0;
        uint8_t raw[512];
        if (!ReadAt(s, namePos + storage + offset, raw, length)) break;
        // Zero bytes dropped: two-byte Latin text becomes one-byte text.
        char *out = id == 1 ? family : style;
        size_t n = 0;
        for (uint32_t k = 0; k < length && n < 255; ++k)
            if (raw[k]) out[n++] = char(raw[k]);
        out[n] = 0;
        if (family[0] && style[0]) return 1;
    }
    // A face without a family name has nothing to be listed by.
    return family[0] != 0;
}

void ParseStyleWords(const char *style, int32_t *weight, int32_t *slant) {
    *weight = 80;
    *slant = 0;
    std::string word;
    for (const char *p = style;; ++p) {
        if (*p && *p != ' ') {
            word += *p;
            continue;
        }
        for (const StyleWord &w : kStyleWords) {
            if (!word.empty() && Latin1CompareNoCase(word.c_str(), w.word) == 0) {
                (w.weight ? *weight : *slant) = w.value;
                break;
            }
        }
        word.clear();
        if (!*p) break;
    }
}

int IsRegularStyleName(const char *style) {
    for (const char *r : {"regular", "plain", "normal", "book", "roman"})
        if (Latin1CompareNoCase(style, r) == 0) return 1;
    return 0;
}

} // extern "C"
