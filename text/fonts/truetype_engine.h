// The TrueType engine record, shared by the engine's files.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include "io/stream/stream.h"
#include "text/fonts/truetype.h"

/* One cached rendering of a character. */
typedef struct cxCachedGlyph {
    uint8_t *buffer; /* rows of pitch bytes; null: not cached */
    int32_t left, top, advance, width, rows, pitch;
    uint32_t mono;
} cxCachedGlyph;

struct cxTrueTypeFont {
    FT_StreamRec stream; /* FreeType reads the file through this */
    cxStream *file;
    uint64_t faceOffset, faceLength;
    FT_Face face;
    uint32_t xRes, yRes;
    int32_t faceSize; /* pixel mode: the pixel size set; point mode: points */
    uint32_t glyphCache;
    uint32_t temporary;
    char tempPath[1024];
    cxCachedGlyph cache[2][256]; /* [0] monochrome, [1] anti-aliased */
};

#ifdef __cplusplus
extern "C" {
#endif

FT_Library TrueTypeLibrary(void);
/* The baseline for a line height, from the tallest capitals and the
   deepest descender the face has. */
int32_t MeasureBaseline(cxTrueTypeFont *engine, int32_t height);
void FlushGlyphCaches(cxTrueTypeFont *engine);

#ifdef __cplusplus
}
#endif
