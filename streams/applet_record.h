// The applet record: info strings, declared objects, linked files, labels
// and include runs of the running applet. The shell's applet reader fills
// it; the runtime and the stream layer read it (versions, linked files).
#pragma once

#include <stddef.h>
#include <stdint.h>

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
    int32_t position; /* instruction index in the main chunk */
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
/* Frees one node and what it owns (a reader's node that never reached the
   record). */
void FreePreprocItem(cxPreprocItem *item);
void FreeAppletLabel(cxAppletLabel *label);
void FreeIncludeRun(cxIncludeRun *run);
/* Frees everything the record owns and clears its lists; the record stays. */
void ClearAppletSections(cxApplet *applet);

/* 1 when the applet was compiled by version major.minor or later. */
int CheckAppletVersion(const cxApplet *applet, int major, int minor);
/* Maps a line of the compiled source to its file and line through the
   include list. 1 when a run covers the line; otherwise 0 and the line
   stays as it is with file null. */
int MapIncludeLine(const cxApplet *applet, int line, const char **file, int *ownLine);

#ifdef __cplusplus
}
#endif
