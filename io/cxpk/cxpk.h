// CXPK packed data: a 4-byte magic, 4 reserved bytes, then one zlib stream
// (RFC 1950). The same container serves several magics ("CXPK", "PLPK",
// "CXZ" and a zero byte); the caller names the one it expects.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The stream handle of the file layer. Until that layer exists the stream
   arguments below must be null; sources and targets are given by name. */
struct cxStream;

/* Unpacks the packed item that starts at offset in the source into buffer,
   writing at most bufferSize bytes: when the data is longer than the buffer
   the unpacking fills it, stops and succeeds; data that fits is checked up
   to the end of the stream (checksum included).
   magic: 4 bytes compared as they stand. source: a file path or a memory
   name (shell/memory_name.h). target: a file to create for the unpacked
   data, used only when buffer is null; with neither, the data is inflated
   and dropped. stream: must be null.
   Returns 0, or ERR_READFILE (source cannot be opened, name in the error
   detail), ERR_READ (shorter than the magic, read failure, bad offset),
   ERR_PAKFORMAT (other magic), ERR_WRITEFILE / ERR_WRITE (target),
   ERR_ZLIBDATA (corrupt or cut-off stream), ERR_MEM, the other zlib codes,
   or ERR_UNSUPPORTEDFEAT for a stream argument. */
int UnpackCxpk(const char *magic, const char *source, const char *target, struct cxStream *stream,
               int64_t offset, void *buffer, size_t bufferSize);

/* Packs the whole source (file path or memory name) into the target file:
   magic, four zero bytes, then the zlib stream at the default level.
   targetStream must be null. packedSize, when given, receives the length of
   the packed item, header included.
   Returns 0, or ERR_READFILE / ERR_READ (source), ERR_WRITEFILE / ERR_WRITE
   (target), ERR_MEM, a zlib code, or ERR_UNSUPPORTEDFEAT for a stream. */
int PackCxpk(const char *magic, const char *source, const char *target, struct cxStream *targetStream,
             int64_t *packedSize);

#ifdef __cplusplus
}
#endif
