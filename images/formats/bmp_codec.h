// Windows BMP: the reader (1, 4 and 8 bits with a palette, RLE8, 16 bits as
// 5-6-5, 24 bits) and the 24-bit writer.
#pragma once

#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads a BMP from the stream's start. Pixels (malloc'd) are 0x00RRGGBB
   words from the top row down. Returns 0, ERR_READ, ERR_MEM or
   ERR_LOADPICTURE2. Header mode (headerOnly, or pixels null) reports the
   size only. */
int LoadBMPImage(cxStream *stream, int headerOnly, int *width, int *height, uint32_t **pixels);

/* Writes 0xAARRGGBB words (rows bytesPerRow apart) as a 24-bit BMP; alpha
   is not written. Returns 0, ERR_WRITEFILE (detail = file name), ERR_WRITE
   or ERR_MEM. */
int SaveBMPImage(const char *file, const uint32_t *pixels, int bytesPerRow, int width, int height);

#ifdef __cplusplus
}
#endif
