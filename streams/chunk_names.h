// ":::chunk" names: windows of a file (files linked into the applet, virtual
// files) and virtual string files, and the lookup of a script's file name
// among the applet's linked files.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/applet_record.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A window name is ":::chunk" <offset> ":" <length> "*" <display> "?"
   <source>; a virtual string file's name is ":::chunkS" <reference> ":"
   <length> "*" <display> "?" <source>. The display name is what messages
   and FilePart show; it may not contain "?". */
typedef struct cxChunkName {
    int memory;         /* 1 for a ":::chunkS" name */
    uint32_t offset;    /* window: offset in the source file */
    uint32_t length;
    int32_t reference;  /* ":::chunkS": the virtual string file's reference */
    char display[CX_STREAM_NAME_MAX + 1];
    char source[CX_STREAM_NAME_MAX + 1];
    char extension[64]; /* the display name's extension without ".", or "" */
} cxChunkName;

int IsChunkName(const char *name);
/* 1 when decoded; 0 when the name is malformed or a part does not fit. */
int ParseChunkName(const char *name, cxChunkName *out);
/* offset >= 0: a window of the source at base + offset; offset -1: a
   virtual string file whose reference is baseOrReference. 1 when the name
   was built, 0 when it does not fit size bytes, the window does not fit 32
   bits or the display name holds "?". */
int MakeChunkName(const char *display, char *out, size_t size, int64_t offset, uint32_t length,
                  int64_t baseOrReference, const char *source);

/* The ":::chunk" name of a file linked into the applet when name matches
   one (without regard to ASCII case, "\" read as "/"): the linked files
   first, then, with font set, the linked fonts (isFont then becomes 1).
   Returns out, or name itself when nothing matches or the window name does
   not fit. isFont may be null. */
const char *ResolveLinkedFileName(const cxApplet *applet, const char *name, int font, int *isFont,
                                  char *out, size_t size);
/* What a command's file-name argument opens: a linked file's window name,
   or the name unchanged (":::" names included). */
const char *ResolveFileNameArg(const cxApplet *applet, const char *name, char *out, size_t size);

#ifdef __cplusplus
}
#endif
