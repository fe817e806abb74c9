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

/* Blocks of the face file kept in memory: FreeType reads a few bytes at a
   time all over the file, and a glyph's outline is read again for every
   rendering that the glyph cache does not hold. */
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
