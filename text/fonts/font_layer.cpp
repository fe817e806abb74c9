// The font layer: engine start and stop, opening fonts by name with the
// right engine, and the dispatch of every font operation by font kind.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "streams/chunk_names.h"
#include "streams/stream.h"
#include "text/fonts/bitmap_font.h"
#include "text/fonts/font.h"
#include "text/fonts/font_catalogue.h"
#include "text/fonts/truetype.h"
#include "text/vector/vector_font_cache.h"

namespace {

cxOsFont *g_topaz = nullptr;
bool g_started = false;

int OpenFontFailed(const char *name, int32_t size) {
    char detail[CX_ERROR_DETAIL_MAX + 1];
    FillMessagePlaceholders(GetMessageText(CX_MSG_OPEN_FONT), name, size, detail, sizeof detail);
    SetErrorDetail(detail);
    return ERR_OPENFONT;
}

// A linked font starts with a 32-bit kind word: bit 1 TrueType data; with
// bit 2 as well, a 32-bit length and that many bytes follow. Gives the
// window after that header.
int OpenLinkedFont(const char *name, std::string &window, bool &trueType) {
    cxChunkName chunk;
    if (!ParseChunkName(name, &chunk)) return ERR_READFILE;
    cxStream *s = OpenFileStream(name, CX_STREAM_READ, nullptr);
    if (!s) return ERR_READFILE;
    uint8_t w[4];
    uint32_t header = 4;
    bool ok = ReadStreamData(s, w, 4) == 4;
    const uint32_t kind = ok ? uint32_t(w[0]) << 24 | uint32_t(w[1]) << 16 | uint32_t(w[2]) << 8 | w[3] : 0;
    if (ok && (kind & 6u) == 6u) {
        ok = ReadStreamData(s, w, 4) == 4;
        header += 4 + (uint32_t(w[0]) << 24 | uint32_t(w[1]) << 16 | uint32_t(w[2]) << 8 | w[3]);
    }
    CloseFileStream(s);
    if (!ok || header > chunk.length) return ERR_READ;
    trueType = (kind & 2u) != 0;
    char out[CX_STREAM_NAME_MAX + 1];
    if (!MakeChunkName(chunk.display, out, sizeof out, int64_t(chunk.offset) + header, chunk.length - header, 0,
                       chunk.source))
        return ERR_READFILE;
    window = out;
    return 0;
}

} // namespace

extern "C" {

int StartFontEngines(cxOsFont **topaz) {
    if (!g_started) {
        if (!g_topaz) {
            const int rc = CreateTopazFont(&g_topaz);
            if (rc) return rc;
        }
        // The native engine has nothing to start on Linux.
        if (StartFreeType() != 0) return ERR_FT2;
        g_started = true;
    }
    if (topaz) *topaz = g_topaz;
    return 0;
}

void StopFontEngines(void) {
    if (g_topaz) {
        FreeBitmapFontData(g_topaz);
        free(g_topaz);
        g_topaz = nullptr;
    }
    StopFreeType();
    FreeAvailableFontList();
    g_started = false;
}

cxOsFont *GetTopazFont(void) {
    cxOsFont *t = nullptr;
    return StartFontEngines(&t) == 0 ? t : nullptr;
}

int OpenPlatformFont(const char *name, int32_t size, int32_t engine, int glyphCache, int usePoints, int linked,
                     cxOsFont **out) {
    cxOsFont *topaz = nullptr;
    int rc = StartFontEngines(&topaz);
    if (rc) return rc;
    std::string path(name);
    bool linkedTrueType = false;
    if (linked && IsChunkName(name)) {
        rc = OpenLinkedFont(name, path, linkedTrueType);
        if (rc) return rc;
    }
    auto *font = static_cast<cxOsFont *>(calloc(1, sizeof(cxOsFont)));
    if (!font) return ERR_MEM;
    font->scaleX = font->scaleY = 1.0;
    font->usePoints = usePoints ? 1 : 0;
    bool opened = false;
    if (engine == CX_FONT_CHOOSE) {
        if (Latin1CompareNoCase(name, "topaz") == 0 && size == 8) {
            free(font);
            *out = topaz;
            return 0;
        }
        // A linked font's header says which engine can read it.
        const bool bitmapPossible = !linked || !linkedTrueType, trueTypePossible = !linked || linkedTrueType;
        if (!usePoints && bitmapPossible) {
            char found[CX_STREAM_NAME_MAX + 1];
            const char *file = nullptr;
            if (linked) file = path.c_str();
            else if (FindFontFile(name, found, sizeof found)) file = found;
            if (file) opened = LoadBitmapFont(file, size, font, name) != 0;
        }
        if (!opened && trueTypePossible) opened = OpenFontByName(path.c_str(), size, glyphCache, font) != 0;
    } else if (engine == CX_FONT_TRUETYPE) {
        opened = OpenFontByName(path.c_str(), size, glyphCache, font) != 0;
    }
    if (!opened) {
        free(font);
        return OpenFontFailed(name, size);
    }
    *out = font;
    return 0;
}

void OsCloseFont(cxOsFont *font) {
    if (!font || font == g_topaz) return;
    // Vector paths name fonts by key: the key must stop naming this one.
    ForgetVectorFont(font);
    switch (font->kind) {
    case CX_FONT_BITMAP:
    case CX_FONT_COLOUR: FreeBitmapFontData(font); break;
    case CX_FONT_TRUETYPE: CloseTrueTypeFont(static_cast<cxTrueTypeFont *>(font->engineData)); break;
    default: break; // the native engine keeps nothing
    }
    free(font);
}

int DrawFontText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                 size_t length, uint32_t style, int utf8, const cxClipRect *clip, int32_t colour) {
    if (!font && !(font = GetTopazFont())) return ERR_MEM;
    switch (font->kind) {
    case CX_FONT_BITMAP:
    case CX_FONT_COLOUR:
        if (font->native) return 0;
        return DrawBitmapFontText(font, target, second, x, y, text, length, utf8, clip, colour);
    case CX_FONT_TRUETYPE:
        return DrawTrueTypeText(font, target, second, x, y, text, length, style, utf8, clip, colour);
    default: return 0;
    }
}

int FontTextExtent(cxOsFont *font, const char *text, size_t length, uint32_t style, int utf8, cxTextExtent *out) {
    memset(out, 0, sizeof *out);
    if (!font && !(font = GetTopazFont())) return ERR_MEM;
    switch (font->kind) {
    case CX_FONT_BITMAP:
    case CX_FONT_COLOUR: return BitmapFontTextExtent(font, text, length, utf8, out);
    case CX_FONT_TRUETYPE: return TrueTypeTextExtent(font, text, length, style, utf8, out);
    default: return 0;
    }
}

void SetFontScale(cxOsFont *font, double scaleX, double scaleY) {
    if (!font || !font->transformable) return;
    if (scaleX == font->scaleX && scaleY == font->scaleY) return;
    font->scaleX = scaleX;
    font->scaleY = scaleY;
    font->height = int32_t(std::ceil(font->designHeight * scaleY));
    font->baseline = int32_t(std::ceil(font->designBaseline * scaleY));
    if (font->kind == CX_FONT_TRUETYPE) SetTrueTypeTransform(font, scaleX, scaleY);
}

void FlushFontGlyphCache(cxOsFont *font) {
    if (font && font->kind == CX_FONT_TRUETYPE) FlushTrueTypeGlyphCache(font);
}

int32_t GetFontKerning(cxOsFont *font, const char *text, size_t length, int utf8) {
    if (!font || font->kind != CX_FONT_TRUETYPE) return 0;
    return GetTrueTypeKerning(font, text, length, utf8);
}

void *GetNativeFontHandle(cxOsFont *font) { return nullptr; }

} // extern "C"
