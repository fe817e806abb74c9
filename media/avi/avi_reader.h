// Reading AVI files frame by frame: uncompressed 24-bit DIB frames and
// Motion JPEG frames of the first video stream, found through the "idx1"
// index (absolute or relative to the "movi" list) or by scanning the movie
// data, which also walks the "AVIX" parts of OpenDML files.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxAviReader cxAviReader;

/* The largest frame side and stream count the reader takes. */
#define CX_AVI_MAX_SIDE 16384
#define CX_AVI_MAX_STREAMS 16

/* Opens an AVI on a stream positioned anywhere; the stream belongs to the
   reader from now on (closed on failure too). Null when the file is not an
   AVI this reader can show. */
cxAviReader *OpenAviReader(cxStream *stream, int *width, int *height, int *frames);
/* A new malloc'd width x height buffer of 0x00RRGGBB words showing frame
   n (0-based), or null when the frame cannot be read. Reading frame n + 1
   right after frame n reads on without seeking. */
uint32_t *ReadAviFrame(cxAviReader *reader, int frame);
void CloseAviReader(cxAviReader *reader);

/* What the reader learnt of the file. */
typedef struct cxAviFileInfo {
    uint32_t compression;      /* 0 uncompressed DIB, 1 Motion JPEG */
    int32_t streams;
    int32_t videoStream;
    uint32_t indexEntries;     /* video frames the idx1 index locates */
    uint16_t audioChannels;
    uint32_t audioRate;
    uint16_t audioBlockAlign, audioBits;
} cxAviFileInfo;
void GetAviFileInfo(const cxAviReader *reader, cxAviFileInfo *info);

/* Motion JPEG frames as cameras write them: the Huffman tables may be
   missing (the standard tables are meant) and APP0 may say "AVI1". Copies
   the frame into out with the 420-byte standard DHT segment before the
   start of scan when no DHT came first, and "AVI1" turned into "JFIF".
   Returns the bytes written, or 0 when the data is no JPEG or does not fit
   outCapacity (inSize + 420 always fits). */
size_t RebuildMjpegFrame(const uint8_t *in, size_t inSize, uint8_t *out, size_t outCapacity);

#ifdef __cplusplus
}
#endif
