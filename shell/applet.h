// The applet file reader: header, info block and the tagged sections
// (docs/applet-format.md describes the file).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/applet_record.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the applet at base in path, checks its 4-byte header and, unless
   skipInfo, reads and parses the info block. 0, or: 1213 (path does not
   open), 1009 (fewer than 4 bytes, or a short info block), 1211 (not an
   applet), 1000, 1310 and the unpacker's codes for a packed applet. */
int ReadAppletHeader(cxApplet *applet, const char *path, uint64_t base, int skipInfo);
/* Parses an info block of size bytes (at most 2,048 are looked at) into the
   six info strings. Never reads past the block; each string is cut to 255
   bytes at a UTF-8 character boundary. */
void ParseAppletInfoBlock(cxApplet *applet, const unsigned char *block, size_t size);
/* Reads the tagged sections that follow the info block. 0, or 1210 for an
   unknown tag, 1009 for a truncated file, 1577 for a malformed section,
   1000, 1310 and the unpacker's codes for packed sections. */
int LoadApplet(cxApplet *applet);

#ifdef __cplusplus
}
#endif
