// GIF: a reader that composes frames onto a full-screen canvas as the
// disposal rules say (stills and anims), and a GIF89a writer, frame by frame.
#pragma once

#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxGifReader cxGifReader;
typedef struct cxGifWriter cxGifWriter;

/* Opens a GIF; the stream belongs to the reader from now on (closed on
   failure too). Every frame is decoded once to index them. Header mode
   reports the screen size and returns null. transparentCanvas and
   transparency (both set): the canvas starts clear and transparent pixels
   keep alpha 0. */
cxGifReader *OpenGIFFile(cxStream *stream, int *width, int *height, int *frames, int headerOnly,
                         int transparentCanvas, int transparency);
/* A new malloc'd copy of the canvas (screen width x height 0xAARRGGBB
   words) showing frame n, or null. transparent: the frame had a
   transparent index and transparency was asked for. */
uint32_t *ReadGIFFrame(cxGifReader *reader, int frame, int *transparent);
/* Delay of a frame in milliseconds. */
int GetGIFFrameDelay(cxGifReader *reader, int frame);
void CloseGIFFile(cxGifReader *reader);

/* 0, ERR_MEM or ERR_WRITEFILE (detail = file name). */
int CreateGIFFile(const char *file, int width, int height, cxGifWriter **writer);
/* Writes one frame of palette indices (width x height bytes; changed in
   place for differential frames). palette: 256 colour words, entries from
   colours on are set to 0xFFFFFFFF. transparentIndex -1 for none. 0 or
   ERR_MEM (ERR_WRITE when the file cannot take the data). */
int WriteGIFFile(cxGifWriter *writer, uint8_t *indices, int width, int height, int delay, uint32_t *palette,
                 int colours, int transparentIndex, int differential, int transparentUnchanged);
/* Trailer, close, free. 0 or ERR_WRITE. */
int FinishGIFFile(cxGifWriter *writer);

#ifdef __cplusplus
}
#endif
