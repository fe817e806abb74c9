// The font layer: one set of operations over every font engine (the bitmap
// fonts with the built-in topaz font, the empty native engine, TrueType and
// OpenType through FreeType). The text library opens fonts here, draws and
// measures runs of text, scales fonts, asks for kerning and closes them.
// The engine is chosen by the record's kind number.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Font kinds (cxOsFont.kind) and engine numbers of OpenPlatformFont. */
enum {
    CX_FONT_CHOOSE = 0,   /* engine request: pick one */
    CX_FONT_BITMAP = 1,   /* bitmap font with 1-bit glyphs (topaz too) */
    CX_FONT_COLOUR = 2,   /* bitmap colour font */
    CX_FONT_NATIVE = 3,   /* the platform's own engine: empty on Linux */
    CX_FONT_TRUETYPE = 4  /* TrueType and OpenType through FreeType */
};

/* Style flags of drawing and measuring. */
#define CX_FONTSTYLE_BOLD 2u
#define CX_FONTSTYLE_ITALIC 4u
#define CX_FONTSTYLE_ANTIALIAS 16u

/* A plug-in vector-font handle made from a font. */
typedef struct cxFontVectorHandle {
    struct cxFontVectorHandle *next;
    void *plugin; /* the cxPlugin that made it */
    void *handle;
} cxFontVectorHandle;

typedef struct cxOsFont {
    char name[1024];    /* asked name, "topaz", or "Family Style" of a TrueType face */
    int32_t size;       /* size asked for */
    int32_t height;     /* line height after scaling */
    int32_t baseline;   /* pixels from the top, after scaling */
    int32_t designHeight;
    int32_t designBaseline;
    uint32_t kind;          /* CX_FONT_* */
    uint32_t transformable; /* TrueType: scaling allowed */
    uint32_t outline;       /* TrueType: 1 */
    uint32_t usePoints;     /* TrueType: size in points rather than pixels */
    uint32_t native;        /* served by the native engine (never on Linux) */
    double scaleX, scaleY;
    void *engineData; /* cxBitmapFontDesc or cxTrueTypeFont */
    cxBitmap *glyphBitmap; /* colour fonts: every glyph in one bitmap */
    cxBitmap *glyphMask;   /* colour fonts: its mask */
    uint32_t *pendingPixels; /* colour fonts loaded before a display existed */
    int32_t pendingWidth, pendingHeight;
    cxFontVectorHandle *vectorFonts;
} cxOsFont;

/* Measure of a run: pixels from the pen position at the baseline. */
typedef struct cxTextExtent {
    int32_t advance;
    int32_t height;
    int32_t minX, minY, maxX, maxY;
} cxTextExtent;

/* Where drawing may write, in target pixels. */
typedef struct cxClipRect {
    int32_t x, y, width, height;
} cxClipRect;

/* Once per run: the topaz font, the native engine, FreeType (ERR_FT2 when
   it cannot start; the next call tries again). Later calls only hand out the
   topaz font. topaz may be null. */
int StartFontEngines(cxOsFont **topaz);
/* Frees the topaz font, stops FreeType, frees the font catalogue. Every
   other font must be closed first: its face belongs to FreeType. */
void StopFontEngines(void);
/* The built-in topaz font, starting the engines when needed; null when they
   cannot start. */
cxOsFont *GetTopazFont(void);

/* Opens name at size with the engine asked for (CX_FONT_CHOOSE or
   CX_FONT_TRUETYPE). linked: name is a ":::chunk" name of a font linked into
   the applet, with its 32-bit kind header in front. 0 and *out, or ERR_MEM,
   ERR_READFILE, ERR_READ, ERR_OPENFONT (detail "Cannot open font %s with
   size %d!"). The record is closed with OsCloseFont. */
int OpenPlatformFont(const char *name, int32_t size, int32_t engine, int glyphCache, int usePoints, int linked,
                     cxOsFont **out);
/* Frees a font and its engine data; the topaz font is never freed here. */
void OsCloseFont(cxOsFont *font);

/* Folders searched for bitmap font contents files, in the order added. 0
   or ERR_MEM. */
int AddFontPath(const char *folder);
void ClearFontPaths(void);
size_t GetFontPathCount(void);
const char *GetFontPath(size_t index);
/* 1 and the path of a bitmap font's contents file (".font" appended when
   missing); 0 when none opens. Absolute names are never searched. */
int FindFontFile(const char *name, char *path, size_t size);

/* Draws length bytes of text with the pen at (x, y) (the top of the line).
   font null: topaz. target: a colour bitmap, or with colour -1 the mask (1-bit
   fonts, monochrome TrueType) or alpha channel (anti-aliased TrueType) to
   draw into; second: colour fonts with colour -1 also combine their glyph
   masks into it. utf8: the text is UTF-8. clip null: the whole target.
   colour: 0xRRGGBB. 0 or ERR_MEM. */
int DrawFontText(cxOsFont *font, cxBitmap *target, cxBitmap *second, int32_t x, int32_t y, const char *text,
                 size_t length, uint32_t style, int utf8, const cxClipRect *clip, int32_t colour);
/* 0 or ERR_MEM. */
int FontTextExtent(cxOsFont *font, const char *text, size_t length, uint32_t style, int utf8, cxTextExtent *out);
/* Transformable fonts only, and only when a factor changed. */
void SetFontScale(cxOsFont *font, double scaleX, double scaleY);
void FlushFontGlyphCache(cxOsFont *font);
/* Kerning in pixels of a text of two characters; 0 for bitmap fonts. */
int32_t GetFontKerning(cxOsFont *font, const char *text, size_t length, int utf8);
/* The native engine's handle: always 0 on Linux. */
void *GetNativeFontHandle(cxOsFont *font);

/* Decodes text into code points. 0: *out holds *count code points, either
   buffer (when it has room for length entries) or a new allocation
   (*allocated = 1; free() it). Non-zero: the caller uses the bytes as code
   points: always when utf8 is 0 (ISO-8859-1 mode), and for text that is not
   valid UTF-8 (ERR_USERABORT as the marker). ERR_MEM when the allocation
   fails. */
int DecodeTextCodePoints(const char *text, size_t length, int utf8, uint32_t *buffer, size_t bufferCount,
                         uint32_t **out, size_t *count, int *allocated);

#ifdef __cplusplus
}
#endif
