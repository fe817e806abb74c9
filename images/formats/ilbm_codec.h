// IFF ILBM pictures: the reader (1-8 planes with palette, Extra-Half-Brite,
// HAM6, HAM8, and 24 planes) and the 24-plane ByteRun1 writer.
#pragma once

#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads an ILBM. callerPalette: colour words ended by 0xFFFFFFFF (or null)
   that replace the first palette entries; callerColour: the colour of the
   non-transparent pen of 1-plane pictures (-1 none). With
   transparentColourMode or alphaMode the transparent pen is settled and
   reported in pen (-1 none). Pixels are malloc'd 0x00RRGGBB words; palette,
   when asked for and the picture has one, receives a malloc'd copy of 256
   words. Returns 0, ERR_MEM or ERR_LOADPICTURE2. */
int LoadILBMImage(cxStream *stream, int headerOnly, const uint32_t *callerPalette, int32_t callerColour,
                  int transparentColourMode, int alphaMode, int32_t *pen, int *width, int *height, uint32_t **pixels,
                  uint32_t **palette);

/* Writes 0x00RRGGBB words (rows width x 4 bytes apart) as a 24-plane
   ByteRun1 ILBM. 0, ERR_WRITEFILE (detail = file name), ERR_MEM or
   ERR_WRITE. */
int SaveILBMImage(const char *file, const uint32_t *pixels, int width, int height);

#ifdef __cplusplus
}
#endif
