// The draw library's output while a display itself is the output target.
#pragma once

#include "display/draw/draw_output.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The display's picture as the output, presented after each shape; Cls
   puts the display's backfill back. The draw library uses these hooks
   until others are installed. */
const cxDrawOutputHooks *GetDisplayDrawOutput(void);

#ifdef __cplusplus
}
#endif
