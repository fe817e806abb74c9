// The text library's global state: the current style with its font, and
// the two default encodings.
#pragma once

#include "text/layout/text_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxTextState {
    int32_t stringEncoding; /* default of the string library's encoding arguments */
    cxTextStyle style;
    int32_t textEncoding;   /* default of every text command's "encoding" */
} cxTextState;

cxTextState *GetTextState(void);
/* The current style; the layers read it for their text styles. */
cxTextStyle *GetTextStyle(void);
/* The current font (the topaz font until one is set). */
cxOsFont *GetCurrentFont(void);
/* Style defaults: NORMAL, white, black shadow 4 to the south-east, edge
   0x0093DD of 2. The font is left as it is. */
void ResetTextStyle(void);

#ifdef __cplusplus
}
#endif
