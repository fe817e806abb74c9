// The option tables of CreateDisplay, OpenDisplay, SetDisplayAttributes and
// ChangeDisplayMode read into a display record. Readers raise script errors
// for fields of the wrong type, so callers read into a scratch copy and
// take it over only when everything was read: a table whose last entry is
// bad leaves the display as it was.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a table asked for beyond the fields it set. */
typedef struct cxDisplayOptionResult {
    int sizeChanged, orientationChanged;
    int xGiven, yGiven, scaleSizeGiven, scaleModeGiven, bgpicGiven, menuGiven, monitorGiven, titleGiven;
    int scaleFactorGiven, regionsGiven;
    const char *placement; /* "__placement", pointing into the table's string */
    size_t placementLength;
} cxDisplayOptionResult;

/* The backfill behind a desktop-mode display (the record's backfill
   block). */
typedef struct cxBackfillOptions {
    uint32_t type; /* 1 color, 2 gradient, 3 texture, 4 picture */
    uint32_t color, startColor, endColor;
    int32_t x, y;
    cxObjectID brush;
    uint32_t scalePicture, hideTitleBar, smoothScale;
    char brushFile[1024];
} cxBackfillOptions;

/* Reads the display options of the table at index table into d. creating
   is 1 from CreateDisplay. 0 or an error code. */
int ParseDisplayOptions(lua_State *L, int table, cxDisplay *d, int creating, cxDisplayOptionResult *result);
/* The options only CreateDisplay reads: "scalefactor" and the internal
   keys. */
int ParseCreateOnlyOptions(lua_State *L, int table, cxDisplay *d, cxDisplayOptionResult *result);
/* "mode", "scrwidth", "scrheight", "scrdepth", "desktop" and "backfill". */
int ParseDisplayModeOptions(lua_State *L, int table, cxDisplay *d);
/* "monitor" (1-based) checked against the applet version and the monitor
   count into d->monitor; *given set when present. */
int ParseMonitorOption(lua_State *L, int table, cxDisplay *d, int *given);

/* The mode of a keyword, 0 for none. */
uint32_t FindDisplayModeKeyword(const char *name);

/* 1 when the running applet was made by version 6.0 or later. */
int AppletIsAtLeast6(void);

#ifdef __cplusplus
}
#endif
