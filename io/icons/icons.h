// Icons: script objects holding one image per size (a standard image and
// optionally a selected one), the icon file that stores them, and the
// application's own icon images.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxImageHandle;

/* One size of an icon. Pixels are 0xAARRGGBB words, width x height. An
   icon with a vector entry has no other entry. */
typedef struct cxIconEntry {
    struct cxIconEntry *next;
    int32_t width;
    int32_t height;
    uint32_t transparent;            /* the image has a mask or an alpha channel */
    uint32_t standard;               /* the standard size; at most one entry of an icon */
    uint32_t *pixels;                /* standard image, owned */
    uint32_t *selPixels;             /* selected image, owned, or null */
    struct cxImageHandle *vector;    /* standard vector image (a reference), or null */
    struct cxImageHandle *selVector; /* selected vector image, or null */
} cxIconEntry;

typedef struct cxIcon {
    cxObjectHeader header;
    cxIconEntry *entries; /* ascending width; equal widths in insertion order */
} cxIcon;

/* ---- entry lists (icon_entries.cpp) ---- */

void FreeIconEntry(cxIconEntry *entry);
void FreeIconEntries(cxIconEntry *list);
/* Inserts after every entry of equal or smaller width; the 1-based
   position it took. */
int InsertIconEntry(cxIconEntry **list, cxIconEntry *entry);
int CountIconEntries(const cxIconEntry *list);
/* Reads the entry table at the stack index and adds the entry to the list
   (CreateIcon, AddIconImage). deferred: bitmaps of brushes are not made yet
   (objects loaded before any display). 0 and the 1-based position, or an
   error code with the list unchanged. */
int AddIconEntry(lua_State *L, int table, cxIconEntry **list, int deferred, int *position);

/* ---- the icon file (icon_file.cpp) ----
   A 32-bit ARGB image used as a container: row 0 begins with the magic
   "CALYXTONE" (three letters a pixel, alpha 0); then per entry, in
   ascending width, a descriptor row {width, height, flags} and height rows
   with the standard image in columns 0..width-1 and, with flag 1, the
   selected image in columns width..2*width-1. Flags: 1 selected image, 2
   transparency, 4 standard size. */
enum { CX_ICONFILE_SELECTED = 1, CX_ICONFILE_TRANSPARENT = 2, CX_ICONFILE_STANDARD = 4 };

/* Reads the entries out of a container image. 0 and *out (null for a
   container without entries), ERR_LOADICON (no detail set) for a layout
   error, or ERR_MEM. */
int ParseIconContainer(const uint32_t *pixels, int width, int height, int hasAlpha, cxIconEntry **out);
/* Builds the container image of an entry list (raster entries only).
   0 with a malloc'd image, or ERR_MEM. */
int BuildIconContainer(const cxIconEntry *list, uint32_t **pixels, int *width, int *height);
/* Loads an icon file through the image loaders with the loader and adapter
   lists. 0 and *out, ERR_LOADICON with the file name as detail, ERR_MEM or
   the loader's error. */
int LoadIconFile(const char *file, const char *loaders, const char *adapters, cxIconEntry **out);
/* Writes the entries as a PNG container with alpha. 0, ERR_WRONGUSAGE for
   a vector entry, or the writer's error. */
int SaveIconFile(const cxIconEntry *list, const char *file);

/* ---- icon objects (icon_library.cpp) ---- */

cxObjectList *GetIconList(void);
/* 0 and *out, ERR_FINDARRAY (automatic ID) or ERR_FINDICON (1608). */
int FindIconObject(cxObjectID id, cxIcon **out);
void FreeIconObject(lua_State *L, cxIcon *icon);
/* Loads an icon file as the icon of the number (replacing an icon of that
   number), with the "Loading icon" progress line: LoadIcon's work, also
   used for icons the applet declares. 0 or an error code. */
int LoadIconObject(lua_State *L, int32_t number, const char *file, const char *loaders, const char *adapters);
/* Frees every icon, the applet's icon entries and the application-icon
   list (the shell's clean-up at the end of a run). */
void FreeIconObjects(lua_State *L);
/* Registers the "icon" library. */
int OpenIconLibrary(lua_State *L);

#ifdef __cplusplus
}
#endif
