// The applet record and the applet file reader: header, info block and the
// tagged sections (docs/applet-format.md describes the file).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "shell/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_APPLET_INFO_COUNT 6
#define CX_APPLET_INFO_SIZE 256
#define CX_APPLET_INFO_BLOCK 2048
#define CX_APPLET_PATH_MAX 1024

/* Value kinds of a declared object's tag. */
enum { CX_TAG_NUMBER = 1, CX_TAG_STRING = 2, CX_TAG_DATA = 3 };

/* One named value of a declared object. text holds a string (NUL-terminated)
   or data bytes (size bytes, plus a NUL). */
typedef struct cxPreprocTag {
    struct cxPreprocTag *next;
    char *key;
    int kind;
    double number;
    char *text;
    uint32_t size;
} cxPreprocTag;

/* An object the applet declares for preloading (brushes, BGPics, sounds,
   fonts, icons, ...) or a display it declares (type 21). type is the object
   kind number; name is the file or title, "" when none. */
typedef struct cxPreprocItem {
    struct cxPreprocItem *next;
    uint32_t type;
    int32_t id;
    char *name;
    cxPreprocTag *tags;
} cxPreprocItem;

/* A file linked into the applet: a window of the applet file. offset is
   relative to the applet's start (cxApplet.base). */
typedef struct cxLinkedFile {
    struct cxLinkedFile *next;
    char *name;
    uint64_t offset;
    uint32_t length;
} cxLinkedFile;

typedef struct cxAppletLabel {
    struct cxAppletLabel *next;
    char *name;
    int32_t line;
} cxAppletLabel;

/* Lines firstLine .. firstLine + lineCount - 1 of the compiled source came
   from file, starting at its line ownFirstLine. */
typedef struct cxIncludeRun {
    struct cxIncludeRun *next;
    char *file;
    uint32_t firstLine;
    uint32_t lineCount;
    uint32_t ownFirstLine;
} cxIncludeRun;

typedef struct cxApplet {
    char info[CX_APPLET_INFO_COUNT][CX_APPLET_INFO_SIZE];
    int versionMajor; /* 8.0 until the applet says otherwise */
    int versionMinor;
    char *identifier; /* owned; null when the applet has none */
    char path[CX_APPLET_PATH_MAX + 1];
    uint64_t base;           /* where the applet starts in its file */
    int packed;              /* header "CXZ" */
    uint64_t sectionsOffset; /* relative to base */
    cxPreprocItem *items;    /* in declaration order */
    cxLinkedFile *files;
    cxLinkedFile *fonts;
    cxAppletLabel *labels;
    cxIncludeRun *includes;
    int hasMainChunk;
    uint64_t chunkOffset; /* plain main chunk: window relative to base */
    uint64_t chunkLength;
    unsigned char *chunkData; /* packed main chunk, unpacked (owned) */
    size_t chunkSize;
} cxApplet;

/* A zeroed record with version 8.0; null when memory runs out. */
cxApplet *NewApplet(void);
/* Frees the record and everything it owns. */
void FreeApplet(cxApplet *applet);

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

/* 1 when the applet was compiled by version major.minor or later. */
int CheckAppletVersion(const cxApplet *applet, int major, int minor);
/* Maps a line of the compiled source to its file and line through the
   include list. 1 when a run covers the line; otherwise 0 and the line
   stays as it is with file null. */
int MapIncludeLine(const cxApplet *applet, int line, const char **file, int *ownLine);


#ifdef __cplusplus
}
#endif
