// The TrueType engine: TrueType and OpenType faces through FreeType, from
// files (found by name in the font catalogue), from windows of the applet
// file and from the three built-in faces; glyphs anti-aliased or monochrome
// with synthetic bold and italic, cached per character, drawn and measured
// with kerning.
#pragma once

#include <stdint.h>

#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

/* FreeType's handles, by their own struct tags. */
typedef struct FT_LibraryRec_ *cxFTLibrary;
typedef struct FT_FaceRec_ *cxFTFace;
typedef struct FT_Bitmap_ cxFTBitmap;

typedef struct cxTrueTypeFont cxTrueTypeFont;

/* 0 or ERR_FT2. */
int StartFreeType(void);
void StopFreeType(void);
/* The one FreeType library of the run; null before StartFreeType. The
   vector engine draws paths with it. */
cxFTLibrary GetFreeTypeLibrary(void);

/* 1 and font filled (kind 4), or 0. Reads font->usePoints. */
int OpenFontByName(const char *name, int32_t size, int glyphCache, cxOsFont *font);
void CloseTrueTypeFont(cxTrueTypeFont *engine);
cxFTFace GetFreeTypeFace(cxOsFont *font);

/* A rendered glyph: coverage bytes (anti-aliased) or bits (monochrome). */
typedef struct cxTrueTypeGlyph {
    int32_t left, top;   /* bitmap position from the pen at the baseline */
    int32_t advance;     /* 26.6, before any scale */
    int32_t width, rows, pitch;
    int32_t mono;        /* 1: 1 bit per pixel, most significant bit leftmost */
    const uint8_t *buffer;
} cxTrueTypeGlyph;

/* 0 and *out (valid until the next load or flush), or -1. */
int LoadTrueTypeGlyph(cxTrueTypeFont *engine, uint32_t code, uint32_t glyphIndex, uint32_t style,
                      cxTrueTypeGlyph *out);
int DrawTrueTypeText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                     size_t length, uint32_t style, int utf8, const cxClipRect *clip, int32_t colour);
int TrueTypeTextExtent(cxOsFont *font, const char *text, size_t length, uint32_t style, int utf8,
                       cxTextExtent *out);
int32_t GetTrueTypeKerning(cxOsFont *font, const char *text, size_t length, int utf8);
void SetTrueTypeTransform(cxOsFont *font, double scaleX, double scaleY);
void FlushTrueTypeGlyphCache(cxOsFont *font);

/* The built-in faces: 1 and the file's bytes for "Bitstream Vera Sans",
   "Bitstream Vera Serif" and "Bitstream Vera Sans Mono" (any case). */
int FindBuiltInFace(const char *name, const uint8_t **data, size_t *size);

#ifdef __cplusplus
}
#endif
