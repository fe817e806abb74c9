// The TrueType engine record, shared by the engine's files.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include "streams/stream.h"
#include "text/fonts/truetype.h"

/* One cached rendering of a character. */
typedef struct cxCachedGlyph {
    uint8_t *buffer; /* rows of pitch bytes; null: not cached */
    int32_t left, top, advance, width, rows, pitch;
    uint32_t mono;
} cxCachedGlyph;

/* FreeType reads a few bytes at a time all over a face, and a glyph's
   outline again for every rendering that the glyph cache does not hold. A
   face of up to CX_FACE_WHOLE_MAX bytes is read whole once; of a bigger one
   (collections of large scripts) the last blocks read are kept. */
#define CX_FACE_WHOLE_MAX (4u << 20)
#define CX_FACE_BLOCK_BITS 16
#define CX_FACE_BLOCKS 8

typedef struct cxFaceBlocks {
    uint8_t *data[CX_FACE_BLOCKS];
    uint64_t start[CX_FACE_BLOCKS]; /* offset in the face */
    uint32_t length[CX_FACE_BLOCKS];
    uint32_t used[CX_FACE_BLOCKS];  /* last use, for eviction */
    uint32_t clock;
} cxFaceBlocks;

struct cxTrueTypeFont {
    FT_StreamRec stream; /* FreeType reads the file through this */
    cxStream *file;
    uint64_t faceOffset, faceLength;
    uint8_t *faceData; /* a small face read whole: FreeType reads it in place */
    cxFaceBlocks blocks;
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
