// PNG through libpng: reading from a stream to 0xAARRGGBB words (8-bit RGB
// or RGBA after normalising) and writing 8-bit RGB or RGBA files.
#pragma once

#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads a PNG from the stream. Header mode (headerOnly, or pixels null)
   reports only the size and whether the picture has alpha. Pixels are
   malloc'd; without alpha the alpha byte is 0. error receives 0, ERR_MEM
   or ERR_LOADPICTURE2. */
void LoadPNGImage(cxStream *stream, int headerOnly, int *width, int *height, uint32_t **pixels, int *hasAlpha,
                  int *error);

typedef struct cxPngWriteRequest {
    const char *file;
    const uint32_t *pixels; /* 0xAARRGGBB words */
    int32_t bytesPerRow;
    int32_t width;
    int32_t height;
    int32_t alpha; /* 1: write RGBA, else RGB */
    int32_t error; /* answer: 0, ERR_WRITEFILE, ERR_WRITE or ERR_MEM */
} cxPngWriteRequest;

void SavePNGImage(cxPngWriteRequest *request);

#ifdef __cplusplus
}
#endif
