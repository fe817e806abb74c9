// Feeds the applet's main chunk to the virtual machine's loader block by
// block, straight from the applet file (or from the unpacked copy of a
// packed chunk).
#pragma once

#include <stddef.h>

#include "shell/applet.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxChunkReader cxChunkReader;

/* The loader's reader callback: pass the cxChunkReader as ud. Returns the
   next block and its size, or null with size 0 at the end of the chunk or
   after a failed read (GetChunkReaderError tells which). */
const char *ReadChunkBlock(void *ud, size_t *size);

/* A reader over the applet's main chunk. 0, or 1034 (ERR_EMPTYSCRIPT) when
   the applet has no main chunk, 1213 when its file does not open, 1000. */
int OpenMainChunkReader(const cxApplet *applet, cxChunkReader **out);
/* A reader over the next length bytes of an open stream, which stays the
   caller's. */
cxChunkReader *OpenStreamChunkReader(cxStream *stream, uint64_t length);
/* 0, or ERR_READ when the chunk ended before its length. */
int GetChunkReaderError(const cxChunkReader *reader);
void CloseChunkReader(cxChunkReader *reader);

#ifdef __cplusplus
}
#endif
