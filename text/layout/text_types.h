// The records of laid-out text: the style every run carries, the text
// description a command hands to the layout engine, one run of one style,
// and a run's measure with the room its effects take.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "text/fonts/font.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Style flags (script constants NORMAL .. EDGE). */
#define CX_TEXT_NORMAL 1u
#define CX_TEXT_BOLD 2u
#define CX_TEXT_ITALIC 4u
#define CX_TEXT_UNDERLINED 8u
#define CX_TEXT_ANTIALIAS 16u
#define CX_TEXT_SHADOW 32u
#define CX_TEXT_EDGE 64u

/* Alignments. */
#define CX_ALIGN_LEFT (-90000)
#define CX_ALIGN_CENTER (-100000)
#define CX_ALIGN_RIGHT (-80000)
#define CX_ALIGN_JUSTIFIED (-110001)

/* Largest shadow and edge size of a style; tags allow edges up to 8. */
#define CX_TEXT_MAX_EFFECT 64
#define CX_TEXT_MAX_TAG_EDGE 8
#define CX_TEXT_TAB_STOPS 32

typedef struct cxTextStyle {
    uint32_t flags;        /* CX_TEXT_*; NORMAL always present */
    uint32_t colour;       /* 0xRRGGBB; a top byte is a transparency */
    uint32_t shadowColour; /* same rule */
    uint32_t edgeColour;   /* same rule */
    int32_t shadowSize;    /* 1..64 */
    int32_t shadowDir;     /* 0..7, north clockwise */
    int32_t edgeSize;      /* 1..64 */
    cxOsFont *font;
} cxTextStyle;

/* What a command asks the layout engine to draw. */
typedef struct cxTextRecord {
    int32_t x, y;          /* position; special coordinates allowed */
    cxTextStyle style;
    char *text;
    int32_t align;         /* CX_ALIGN_* */
    int32_t cursorX, cursorY, leftMargin;
    int32_t rightMargin;   /* print mode: the right margin; else the wrap width (0: none) */
    int32_t tabStops[CX_TEXT_TAB_STOPS];
    int32_t tabCount;
    int32_t *lineBreaks;   /* word numbers (0-based) that begin a new line */
    int32_t lineBreakCount;
    int32_t *tabChoices;   /* per tab: the stop it took, -1 for a line break */
    int32_t tabChoiceCount;
    int32_t encoding;      /* 0 bytes / ISO-8859-1, 1 UTF-8 */
} cxTextRecord;

/* A run's measure: the font layer's extent (pixels from the pen at the
   baseline), the box it fills and the room its effects take on each side. */
typedef struct cxTextRunExtent {
    cxTextExtent font;
    int32_t boxWidth; /* max(advance, maxX + 1) */
    int32_t top, bottom, left, right;
} cxTextRunExtent;

typedef struct cxTextRun {
    struct cxTextRun *next;
    const char *text; /* into the de-tagged buffer */
    size_t length;
    int32_t x, y;     /* pen at the top of the line, in layout coordinates */
    int32_t startsWord;
    int32_t line;
    cxTextRunExtent extent;
    cxTextStyle style;
} cxTextRun;

/* Shadow and edge sizes to 1..64, a shadow direction beyond 7 to 3. */
void ClampTextEffects(cxTextStyle *style);

/* The extent of length bytes in the style: the font's measure with the
   widening of the program's bold and italic and the effect margins. 0 or
   the font layer's error. */
int MeasureTextRun(const char *text, size_t length, int32_t encoding, cxTextRunExtent *out, const cxTextStyle *style);

/* The style flags handed to the font engine: with anti-aliasing it makes
   bold and italic itself; mask text gets them from the program. */
uint32_t FontEngineStyle(uint32_t flags);

#ifdef __cplusplus
}
#endif
