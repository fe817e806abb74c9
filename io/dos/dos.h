// The "dos" script library: files by object ID, paths and attributes,
// directory objects, virtual files, packing and checksums. What the shell
// and other subsystems call.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands, constants, object lists and the "FILE*" and
   "DIR*" metatables. 0 or an error code. */
int OpenDosLibrary(lua_State *L);
/* Closes every file, frees every directory object and virtual string file
   (the clean-up at the end of a run). */
void FreeDosObjects(lua_State *L);
/* Deletes the temporary files handed out during the run. */
void DeleteTemporaryFiles(void);
/* Adds a file to the list that DeleteTemporaryFiles removes. 0 or ERR_MEM. */
int AddTemporaryFile(const char *path);

/* Writes the body of the table at index (its entries and the end byte)
   to the stream, and/or into memory at *cursor (advanced; the caller
   makes room, sized by a dry run), and/or adds its size to *size. Any of
   them may be null. 0, ERR_WRONGUSAGE (a key that is neither number nor
   string, a table inside itself), ERR_STACK (nesting too deep), ERR_NOCXFUNC
   (a built-in function), ERR_WRITE. */
int SerializeTable(lua_State *L, int index, cxStream *stream, unsigned char **cursor, size_t *size);
/* Reads one table body from the stream, or from memory between *cursor
   and end (the cursor advances), into a new table pushed on the stack, or
   into the table on top when pushed is non-zero. 0, or ERR_READ (data ends
   early), ERR_FILEFORMAT (a bad tag), ERR_STACK (too deep) or a loader
   error, with the stack as it was. */
int DeserializeTable(lua_State *L, cxStream *stream, const unsigned char **cursor, const unsigned char *end,
                     int pushed);

/* File object (kind 44). */
typedef struct cxFile {
    cxObjectHeader header;
    uint32_t scriptMode; /* MODE_READ, MODE_WRITE or MODE_READWRITE */
    uint32_t streamMode; /* CX_STREAM_READ, _WRITE or _READWRITE */
    cxStream *stream;
} cxFile;

/* An entry of a virtual folder (folders linked into the applet): files
   are windows of the applet file. */
typedef struct cxVirtualEntry {
    struct cxVirtualEntry *next;
    struct cxVirtualEntry *children; /* a folder's entries */
    char *name;
    uint32_t isFolder;
    uint32_t offset; /* file: data offset in the applet file (from its start) */
    uint32_t length;
} cxVirtualEntry;

/* The applet loader hands the dos library every entry tree it builds for a
   folder linked into the applet (and takes it back before freeing it):
   OpenDirectory's "__direntries" option lists only trees handed over. */
void RegisterVirtualFolder(cxVirtualEntry *entries);
void ForgetVirtualFolder(cxVirtualEntry *entries);

/* 0 and the record; ERR_FINDARRAY for an automatic ID, ERR_FINDFILE with
   the number for a number. */
int FindFileObject(cxObjectID id, cxFile **out);

/* 1 when the record is a live virtual string file. */
int IsVirtualStringFile(const void *record);

/* Wildcard matching of a name against one pattern or a ";"-list. */
int MatchWildcard(const char *pattern, size_t patternLength, const char *name);
int MatchPatternList(const char *list, const char *name);
/* A date text "dd-Mon-yyyy hh:mm:ss" as a local time (seconds). 1 or 0. */
int ParseFileDate(const char *text, int64_t *seconds);

#ifdef __cplusplus
}
#endif
