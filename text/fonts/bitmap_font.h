// Bitmap fonts: a contents file (name.font) listing the sizes, one size file
// per size holding 1-bit glyph strips (or several planes and a colour table
// for colour fonts), and the built-in 8-pixel topaz font. All numbers in
// the files are big-endian.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"
#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Style bit of a colour font and flag bit of a proportional one. */
#define CX_BITMAPFONT_COLOUR 0x40u
#define CX_BITMAPFONT_PROPORTIONAL 0x20u

/* The engine data of a bitmap font. */
typedef struct cxBitmapFontDesc {
    uint16_t ySize;
    uint8_t style;
    uint8_t flags;
    uint16_t xSize;
    uint16_t baseline;
    uint16_t boldSmear;
    uint16_t accessors;
    uint8_t loChar;
    uint8_t hiChar;
    uint8_t *strip;       /* modulo x ySize bytes, most significant bit leftmost */
    uint16_t modulo;      /* bytes per strip row */
    uint32_t *locations;  /* (bit offset << 16) | bit width, per glyph */
    int16_t *spacing;     /* advances per glyph, or null */
    int16_t *kerning;     /* pen offsets per glyph, or null */
    uint32_t glyphCount;  /* hiChar - loChar + 2: the last is the missing glyph */
    cxBitmap *glyphMask;  /* 1-bit fonts: the strip as a mask bitmap */
    uint32_t builtIn;     /* strip and tables are the program's (topaz) */
} cxBitmapFontDesc;

/* 1 loaded into font (kind 1 or 2), 0 failed (nothing left allocated). path
   is the contents file (".font" appended when missing) or a ":::chunk"
   window; displayName (may be null) names the record, else the path. */
int LoadBitmapFont(const char *path, int32_t size, cxOsFont *font, const char *displayName);
/* Frees the description, its tables and glyph mask, and a colour font's
   glyph bitmap, mask and pending pixels. */
void FreeBitmapFontData(cxOsFont *font);
/* The built-in topaz font; 0 or ERR_MEM. */
int CreateTopazFont(cxOsFont **out);
/* Colour fonts: while set (objects load before any display exists) their
   glyphs stay ARGB pixels in the record; BuildPendingFontBitmap makes the
   bitmaps later. */
void SetDeferFontBitmaps(int defer);
/* 0 (also when nothing is pending) or ERR_MEM. */
int BuildPendingFontBitmap(cxOsFont *font);

/* Glyph index of a character code: the missing glyph outside the range. */
static inline uint32_t BitmapGlyphIndex(const cxBitmapFontDesc *d, uint32_t c) {
    return (c >= d->loChar && c <= d->hiChar) ? c - d->loChar : d->glyphCount - 1u;
}

int DrawBitmapFontText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                       size_t length, int utf8, const cxClipRect *clip, int32_t colour);
int BitmapFontTextExtent(cxOsFont *font, const char *text, size_t length, int utf8, cxTextExtent *out);

/* Clips a glyph rectangle: every argument is in-out. Cutting the left or top
   edge moves the source position as far; width or height may end at 0 or
   below (nothing to draw). */
void ClipGlyphRect(int32_t *srcX, int32_t *srcY, int32_t *dstX, int32_t *dstY, int32_t *width, int32_t *height,
                   const cxClipRect *clip);

/* The readers under LoadBitmapFont, on open streams. The contents reader
   gives 1 and the entry name of the first usable entry of the size; the size
   file reader fills font (kind, height, baseline, description) and gives 1,
   or 0 with nothing left allocated. */
int ReadBitmapFontContents(cxStream *s, int32_t size, char *entry, size_t entrySize);
int ReadBitmapFontSizeFile(cxStream *s, cxOsFont *font);

#ifdef __cplusplus
}
#endif
