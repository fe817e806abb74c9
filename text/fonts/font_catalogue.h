// The font catalogue: the fonts found in the font folders (TrueType and
// OpenType files, collections, data-fork fonts and bitmap font contents
// files), built once per run, with family and style names read from each
// face's 'name' table. It answers the lookup of a font by name and the list
// of available fonts.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxAvailableFont {
    struct cxAvailableFont *next;
    char *fullName; /* family, or family + " " + style */
    char *family;
    char *path;
    int32_t weight;  /* 80 when no style word matched */
    int32_t slant;   /* 0 when no style word matched */
    uint32_t dataForkOffset, dataForkLength; /* a face inside a ".dfont" file */
    uint32_t collectionOffset; /* a face's table directory inside a ".ttc" file */
    uint32_t bitmap; /* 1: a bitmap font contents file */
    uint8_t *sizes;  /* bitmap fonts: their distinct sizes, in file order */
    uint32_t sizeCount;
} cxAvailableFont;

/* Scans the folders unless the list exists. familyOnly: regular faces are
   not listed a second time under the family name alone. */
void BuildAvailableFontList(int familyOnly);
/* The result of the last folder scanned. */
int ScanFontFolders(int familyOnly);
/* 0, or ERR_LOCK2 (detail: the folder) when the folder cannot be read.
   recursive: sub-folders are scanned too. */
int ScanFontFolder(const char *folder, int familyOnly, int recursive);
/* The list, in scan order; null when empty or not built. */
const cxAvailableFont *GetAvailableFontList(void);
void FreeAvailableFontList(void);

/* 1 when the face whose table directory starts at faceOffset of s has a
   family name; family and style receive the names (256 bytes each). Table
   offsets count from tableBase: 0 for files and collections, the face's
   start for faces inside data-fork files. */
int ReadTrueTypeNames(cxStream *s, char *family, char *style, uint32_t faceOffset, uint32_t tableBase);
/* Weight and slant of a style name by its words. */
void ParseStyleWords(const char *style, int32_t *weight, int32_t *slant);
/* 1 for "regular", "plain", "normal", "book" and "roman" (any case). */
int IsRegularStyleName(const char *style);

/* The file of the font named name: weight -1 compares full names, else the
   family with the weight and slant. keepCollections: members of
   collections and data-fork files are passed over; otherwise a collection
   member is copied into a temporary file (*temporary = 1, path in pathOut,
   removed by the caller). Gives pathOut (size bytes), and the face's
   offset and length in it (0 for a whole file), or null. */
const char *FindAvailableFont(const char *name, int32_t weight, int32_t slant, int keepCollections,
                              uint32_t *offset, uint32_t *length, int *temporary, char *pathOut,
                              size_t pathSize);

/* Copies the collection member whose table directory starts at
   directoryOffset into a new temporary file; 1 and its path, or 0. */
int ExtractCollectionFace(const char *path, uint32_t directoryOffset, char *tempPath, size_t tempSize);

#ifdef __cplusplus
}
#endif
