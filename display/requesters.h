// The requester wrappers: message boxes with buttons, file, path, string,
// list, font and colour choosers. A requester adapter plug-in with the
// matching flag answers them; otherwise the platform does (terminal prompts
// on standard input while no dialog toolkit is available).
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Requester adapter flags. */
enum {
    CX_REQ_SYSTEM = 2, CX_REQ_FILE = 4, CX_REQ_PATH = 8, CX_REQ_STRING = 0x10, CX_REQ_LIST = 0x20,
    CX_REQ_FONT = 0x40, CX_REQ_COLOR = 0x80
};

typedef struct cxFileRequestResult {
    char *path;     /* the folder part, malloc'd */
    char *files;    /* one name, or several each ended by a NUL and the list by an empty name */
    int count;
    int success;
} cxFileRequestResult;

typedef struct cxFontRequestResult {
    char name[256];
    int32_t size, weight, slant;
    int32_t style[4];
    int32_t extra;
} cxFontRequestResult;

/* buttons: choices separated by "|"; *result the chosen button as the
   system numbers them (the last one 0). */
int RunSystemRequester(lua_State *L, cxDisplay *d, const char *title, const char *body, const char *buttons, int icon,
                       intptr_t tagValue, int *result);
int RunFileRequester(lua_State *L, cxDisplay *d, const char *title, const char *pattern, const char *path,
                     const char *file, uint32_t flags, int mode, cxFileRequestResult *result);
void FreeFileRequestResult(cxFileRequestResult *result);
/* *out malloc'd, null when cancelled. */
int RunPathRequester(lua_State *L, cxDisplay *d, const char *title, const char *path, uint32_t flags, char **out);
int RunStringRequester(lua_State *L, cxDisplay *d, const char *title, const char *body, const char *text,
                       uint32_t flags, intptr_t further, char **out);
/* entries NUL-separated, ended by an empty entry; *index -1 when cancelled. */
int RunListRequester(lua_State *L, cxDisplay *d, const char *title, const char *body, const char *entries,
                     int preselected, uint32_t flags, int *index);
int RunFontRequester(lua_State *L, cxDisplay *d, const char *title, const char *font, uint32_t flags,
                     cxFontRequestResult *out);
int RunColorRequester(lua_State *L, cxDisplay *d, const char *title, int32_t colour, int32_t *out);

/* The kind word an adapter's SystemRequest gets for a button text and an
   icon. */
uint32_t SystemRequesterKind(const char *buttons, int icon);
/* Parses a font requester's answer into out. */
void ParseFontAnswer(const char *answer, uint32_t style, cxFontRequestResult *out);

#ifdef __cplusplus
}
#endif
