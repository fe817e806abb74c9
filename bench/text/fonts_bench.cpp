// Glyphs per second, at 12, 16 and 20 pixels:
//   bare      FT_Load_Char + FT_Render_Glyph over Latin-1 in Vera, on a face
//             of its own at the engine's size (the reference)
//   bareHigh  the same over the Greek and Cyrillic letters in DejaVu Sans
//   cached    DrawFontText of Latin-1 text, anti-aliased into a 32-bit
//             bitmap of 1920 pixels' width, in two lines: every glyph from
//             the glyph cache
//   bold, italic, above255
//             DrawFontText of text the cache never holds: synthetic bold,
//             synthetic italic (Latin-1 in Vera), and the Greek and Cyrillic
//             letters in DejaVu Sans (compare with bareHigh)
// and the catalogue: one scan of the font folders (faces counted).
// The machine may be shared: BM_Paired runs a pass of the bare loop and a
// pass of the engine one after the other in every iteration and reports
// their ratio, which load from elsewhere touches far less than two rates
// taken at different times.
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <chrono>
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

// The text in two lines of a full-HD wide bitmap.
void DrawLines(cxOsFont *font, cxBitmap *canvas, const std::string &text, uint32_t style, bool utf8) {
    size_t half = text.size() / 2;
    while (utf8 && half < text.size() && (uint8_t(text[half]) & 0xC0) == 0x80) ++half;
    DrawFontText(font, canvas, nullptr, 0, 4, text.data(), half, style, utf8, nullptr, 0x204060);
    DrawFontText(font, canvas, nullptr, 0, 40, text.data() + half, text.size() - half, style, utf8, nullptr, 0x204060);
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
    cxBitmap *canvas = AllocBitmap(1920, 80, CX_ALLOC_CLEAR, 0);
    style |= CX_FONTSTYLE_ANTIALIAS;
    DrawLines(font, canvas, text, style, utf8);
    for (auto _ : st) DrawLines(font, canvas, text, style, utf8);
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

// Arguments: size, kind (0 cached Latin-1, 1 bold, 2 italic, 3 above 255).
void BM_Paired(benchmark::State &st) {
    Engine engine;
    const int size = int(st.range(0)), kind = int(st.range(1));
    const bool high = kind == 3;
    const char *name = high ? "DejaVu Sans" : "Bitstream Vera Sans";
    const std::string text = high ? HighText() : Latin1Text();
    const std::vector<uint32_t> codes = CodePoints(high ? text : Latin1ToUtf8(text));
    const uint32_t style = CX_FONTSTYLE_ANTIALIAS | (kind == 1 ? CX_FONTSTYLE_BOLD : kind == 2 ? CX_FONTSTYLE_ITALIC : 0);
    cxOsFont *font = OpenFont(name, size);
    const FT_Size_Metrics &m = GetFreeTypeFace(font)->size->metrics;
    FT_Library lib;
    FT_Face face;
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, high ? kDejaVuFile : kVeraFile, 0, &face);
    FT_Set_Pixel_Sizes(face, m.x_ppem, m.y_ppem);
    cxBitmap *canvas = AllocBitmap(1920, 80, CX_ALLOC_CLEAR, 0);
    DrawLines(font, canvas, text, style, high);
    using Clock = std::chrono::steady_clock;
    Clock::duration bare{}, sameWork{}, engineTime{};
    const FT_Matrix slant{0x10000, 0x6000, 0, 0x10000};
    for (auto _ : st) {
        const auto t0 = Clock::now();
        for (uint32_t c : codes) {
            FT_Load_Char(face, c, FT_LOAD_NO_AUTOHINT);
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
            benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
        }
        const auto t1 = Clock::now();
        DrawLines(font, canvas, text, style, high);
        const auto t2 = Clock::now();
        // FreeType's own share of a styled glyph: the bare loop with the
        // synthesis the engine asks for.
        if (kind == 1 || kind == 2) {
            for (uint32_t c : codes) {
                FT_Load_Char(face, c, FT_LOAD_NO_AUTOHINT);
                if (kind == 1) FT_GlyphSlot_Embolden(face->glyph);
                else FT_Outline_Transform(&face->glyph->outline, &slant);
                FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
                benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
            }
        }
        sameWork += Clock::now() - t2;
        engineTime += t2 - t1;
        bare += t1 - t0;
    }
    const double n = double(st.iterations()) * double(codes.size());
    st.counters["bare glyphs/s"] = n / std::chrono::duration<double>(bare).count();
    st.counters["engine glyphs/s"] = n / std::chrono::duration<double>(engineTime).count();
    // Cached: how many times faster than the bare loop; uncached: how many
    // times slower.
    const double ratio = std::chrono::duration<double>(bare).count() / std::chrono::duration<double>(engineTime).count();
    st.counters[kind == 0 ? "x faster" : "x slower"] = kind == 0 ? ratio : 1.0 / ratio;
    if (kind == 1 || kind == 2)
        st.counters["x slower than same work"] =
            std::chrono::duration<double>(engineTime).count() / std::chrono::duration<double>(sameWork).count();
    FreeBitmap(canvas);
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    OsCloseFont(font);
}

BENCHMARK(BM_Paired)->ArgsProduct({{12, 16, 20}, {0, 1, 2, 3}});
BENCHMARK(BM_Bare)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_BareHigh)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Cached)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Bold)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Italic)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Above255)->Arg(12)->Arg(16)->Arg(20);
BENCHMARK(BM_Catalogue)->Unit(benchmark::kMillisecond);

} // namespace
