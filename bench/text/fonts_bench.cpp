// Glyphs per second, at 12, 16 and 20 pixels:
//   bare      FT_Load_Char + FT_Render_Glyph over Latin-1 in Vera, on a face
//             of its own at the engine's size (the reference)
//   bareHigh  the same over the Greek and Cyrillic letters in DejaVu Sans
//   cached    DrawFontText of Latin-1 text, anti-aliased into a 32-bit
//             bitmap: every glyph from the glyph cache
//   bold, italic, above255
//             DrawFontText of text the cache never holds: synthetic bold,
//             synthetic italic (Latin-1 in Vera), and the Greek and Cyrillic
//             letters in DejaVu Sans (compare with bareHigh)
// and the catalogue: one scan of the font folders (faces counted).
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

#include "graphics/bitmap/bitmap.h"
#include "text/fonts/font.h"
#include "text/fonts/font_catalogue.h"
#include "text/fonts/truetype.h"

namespace {

const char *kVeraFile = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
const char *kDejaVuFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string Latin1ToUtf8(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) out += char(c);
        else out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    }
    return out;
}

// Printable Latin-1 in ISO-8859-1 bytes.
std::string Latin1Text() {
    std::string s;
    for (int c = 33; c < 127; ++c) s += char(c);
    for (int c = 161; c < 256; ++c) s += char(c);
    return s;
}

// Greek and Cyrillic letters in UTF-8 (all above 255).
std::string HighText() {
    std::string s;
    auto add = [&s](uint32_t c) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    };
    for (uint32_t c = 0x391; c <= 0x3C9; ++c)
        if (c != 0x3A2) add(c);
    for (uint32_t c = 0x410; c <= 0x44F; ++c) add(c);
    return s;
}

size_t CountChars(const std::string &s, bool utf8) {
    size_t n = 0;
    for (unsigned char c : s) n += !utf8 || (c & 0xC0) != 0x80;
    return n;
}

struct Engine {
    Engine() { StartFontEngines(nullptr); }
    ~Engine() { StopFontEngines(); }
};

cxOsFont *OpenFont(const char *name, int size) {
    cxOsFont *f = nullptr;
    OpenPlatformFont(name, size, CX_FONT_TRUETYPE, 1, 0, 0, &f);
    return f;
}

// Code points of a UTF-8 text of two-byte characters and ASCII.
std::vector<uint32_t> CodePoints(const std::string &s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = s[i];
        if (c < 0x80) out.push_back(c);
        else out.push_back((c & 0x1Fu) << 6 | (uint8_t(s[++i]) & 0x3Fu));
    }
    return out;
}

void Rate(benchmark::State &st, size_t glyphs) {
    st.counters["glyphs/s"] = benchmark::Counter(double(st.iterations()) * double(glyphs), benchmark::Counter::kIsRate);
}

void Bare(benchmark::State &st, const char *name, const char *file, const std::vector<uint32_t> &codes) {
    Engine engine;
    cxOsFont *font = OpenFont(name, int(st.range(0)));
    const FT_Size_Metrics &m = GetFreeTypeFace(font)->size->metrics;
    FT_Library lib;
    FT_Face face;
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, file, 0, &face);
    FT_Set_Pixel_Sizes(face, m.x_ppem, m.y_ppem);
    for (auto _ : st) {
        for (uint32_t c : codes) {
            FT_Load_Char(face, c, FT_LOAD_NO_AUTOHINT);
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
            benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
        }
    }
    Rate(st, codes.size());
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    OsCloseFont(font);
}

void BM_Bare(benchmark::State &st) { Bare(st, "Bitstream Vera Sans", kVeraFile, CodePoints(Latin1ToUtf8(Latin1Text()))); }
void BM_BareHigh(benchmark::State &st) { Bare(st, "DejaVu Sans", kDejaVuFile, CodePoints(HighText())); }

void Draw(benchmark::State &st, const char *name, const std::string &text, bool utf8, uint32_t style) {
    Engine engine;
    cxOsFont *font = OpenFont(name, int(st.range(0)));
    cxBitmap *canvas = AllocBitmap(4096, 64, CX_ALLOC_CLEAR, 0);
    style |= CX_FONTSTYLE_ANTIALIAS;
    DrawFontText(font, canvas, nullptr, 0, 10, text.data(), text.size(), style, utf8, nullptr, 0x204060);
    for (auto _ : st) DrawFontText(font, canvas, nullptr, 0, 10, text.data(), text.size(), style, utf8, nullptr, 0x204060);
    Rate(st, CountChars(text, utf8));
    FreeBitmap(canvas);
    OsCloseFont(font);
}

const char *kVera = "Bitstream Vera Sans";
void BM_Cached(benchmark::State &st) { Draw(st, kVera, Latin1Text(), false, 0); }
void BM_Bold(benchmark::State &st) { Draw(st, kVera, Latin1Text(), false, CX_FONTSTYLE_BOLD); }
void BM_Italic(benchmark::State &st) { Draw(st, kVera, Latin1Text(), false, CX_FONTSTYLE_ITALIC); }
void BM_Above255(benchmark::State &st) { Draw(st, "DejaVu Sans", HighText(), true, 0); }

void BM_Catalogue(benchmark::State &st) {
    size_t faces = 0;
    for (auto _ : st) {
        FreeAvailableFontList();
        BuildAvailableFontList(1);
        st.PauseTiming();
        faces = 0;
        for (const cxAvailableFont *f = GetAvailableFontList(); f; f = f->next) faces += !f->bitmap;
        st.ResumeTiming();
    }
    FreeAvailableFontList();
    st.counters["faces"] = double(faces);
}

BENCHMARK(BM_Bare)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_BareHigh)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Cached)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Bold)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Italic)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Above255)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Catalogue)->Unit(benchmark::kMillisecond);

} // namespace
