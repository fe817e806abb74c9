// JPEG through libjpeg: decoding from a stream or a memory block to
// 0xAARRGGBB words (Exif orientation applied), encoding to a memory block.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Progressive files with more scans than this are refused: each scan costs
   a pass over the whole coefficient buffer, so a small file with thousands
   of scans would otherwise keep the player busy for minutes. */
#define CX_JPEG_MAX_SCANS 500

/* Decodes a JPEG. With memorySize 0, source is a cxStream; otherwise a
   memory block of that many bytes. orientation is the Exif orientation
   (1-8, 0 none): pictures of 5-8 come back turned, height wide. In header
   mode (headerOnly) only the size is reported. Pixels are malloc'd, alpha
   byte 0. Returns 0, ERR_MEM or ERR_LOADPICTURE2. */
int ReadJpegImage(const void *source, size_t memorySize, int headerOnly, int orientation, int *width, int *height,
                  uint32_t **pixels);

typedef struct cxEncodedBuffer {
    uint8_t *data;
    size_t size;
} cxEncodedBuffer;

typedef struct cxJpegWriteRequest {
    const void *pixels;
    int32_t bytesPerRow;
    int32_t width;
    int32_t height;
    int32_t quality;   /* 0..100 */
    int32_t byteOrder; /* 1: pixel bytes are A, R, G, B; 0: 0xAARRGGBB words */
    /* answers */
    cxEncodedBuffer *encoded; /* free with FreeEncodedBuffer */
    const uint8_t *data;
    size_t size;
    int32_t error; /* 0 or ERR_MEM */
} cxJpegWriteRequest;

void WriteJpegImage(cxJpegWriteRequest *request);
void FreeEncodedBuffer(cxEncodedBuffer *buffer);

#ifdef __cplusplus
}
#endif
