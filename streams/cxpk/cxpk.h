// CXPK packed data: a 4-byte magic, 4 reserved bytes, then one zlib stream
// (RFC 1950). The same container serves several magics ("CXPK", "PLPK",
// "CXZ" and a zero byte); the caller names the one it expects. Sources and
// targets go through the stream layer, so files, ":::chunk" windows and
// registered ":::memory" blocks all work.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Unpacks the packed item at the source: an open stream (read from its
   current position; offset ignored, the stream stays open) or, when stream
   is null, the source name opened through the stream layer and positioned
   at offset. The output goes to the caller's buffer (at most bufferSize
   bytes), else to the target file (created), else nowhere (the data is
   inflated and dropped, so a caller learns the packed length).
   When the data is longer than the buffer the unpacking fills it, stops and
   succeeds; data that fits is checked up to the end of the stream
   (checksum included).
   written: bytes unpacked (into the buffer or the target). consumed: the
   length of the whole packed item, header included (as far as it was read
   when the buffer filled up early).
   Returns 0, or ERR_READFILE (source cannot be opened, name in the error
   detail), ERR_READ (shorter than the magic, read failure, bad offset),
   ERR_PAKFORMAT (other magic), ERR_WRITEFILE / ERR_WRITE (target),
   ERR_ZLIBDATA (corrupt or cut-off stream), ERR_MEM or another zlib code. */
/* The most a packed item of packedSize bytes (header included) can unpack
   to: deflate never exceeds 1032:1, so a size claimed beyond this is false
   and is refused before memory is set aside for it. */
uint64_t MaxCxpkUnpackedSize(uint64_t packedSize);

int UnpackCxpk(const char *magic, const char *source, const char *target, cxStream *stream, int64_t offset,
               uint64_t *written, uint64_t *consumed, void *buffer, size_t bufferSize);

/* Packs the whole source into the target: an open target stream (written
   from its current position, left open) or, when targetStream is null, the
   target file (created). Writes the magic, four zero bytes, then the zlib
   stream at the default level. packedSize receives the length of the packed
   item, header included.
   Returns 0, or ERR_READFILE / ERR_READ (source), ERR_WRITEFILE / ERR_WRITE
   (target), ERR_MEM or a zlib code. */
int PackCxpk(const char *magic, const char *source, const char *target, cxStream *targetStream,
             int64_t *packedSize);

#ifdef __cplusplus
}
#endif
