// The display library's records: the list of displays with its mutex, the
// current display, lookups, a new record with its defaults, and the render
// state kept while drawing is redirected away from a display.
#pragma once

#include <stdint.h>

#include "display/display.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Defaults of a new display. */
#define CX_DISPLAY_DEFAULT_WIDTH 640
#define CX_DISPLAY_DEFAULT_HEIGHT 480
/* The largest side of a display or its scaled window: bigger requests are
   ERR_DISPLAYSIZE. */
#define CX_DISPLAY_MAX_SIDE 16384
/* Special coordinates and sizes. */
#define CX_POS_CENTER (-100000)
#define CX_POS_LEFT (-90000)
#define CX_POS_RIGHT (-80000)
#define CX_POS_TOP (-70000)
#define CX_POS_BOTTOM (-60000)
#define CX_POS_KEEP 100000
#define CX_POS_KEEP_OR_CENTER 200000
#define CX_SIZE_MONITOR (-110000)
#define CX_SIZE_KEEPASPECT 100000

/* Display modes. */
enum {
    CX_MODE_WINDOWED = 1, CX_MODE_FULLSCREEN = 2, CX_MODE_ASK = 3, CX_MODE_REQUESTER = 4,
    CX_MODE_FAKEFULLSCREEN = 6, CX_MODE_FULLSCREENSCALE = 7, CX_MODE_SYSTEMSCALE = 8
};

/* Creates the display-list mutex and registers the list for lookups by
   kind. 0 or ERR_SEMAPHORE. Safe to call again. */
int InitDisplayRecords(void);
/* Frees the mutex and forgets the current display (the records are the
   clean-up's). */
void FreeDisplayRecords(void);
void LockDisplayList(void);
void UnlockDisplayList(void);
cxObjectList *GetDisplayObjectList(void);

cxDisplay *GetCurrentDisplay(void);
void SetCurrentDisplayRecord(cxDisplay *d);

/* 0 and *out; ERR_FINDARRAY for an automatic ID that names no display;
   ERR_FINDDISPLAY with the number as error number. */
int FindDisplay(cxObjectID id, cxDisplay **out);
/* The display whose back-end handle (window record or adapter handle) is
   handle; null for a null handle. */
cxDisplay *FindDisplayByHandle(const void *handle);
/* The back-end handle of a display: the adapter's while an adapter is
   installed, else the window record. */
void *GetDisplayHandle(const cxDisplay *d);

/* Non-zero while a video of the screen is recorded. */
int IsRecordingVideo(void);
void SetRecordingVideo(int on);

/* A zeroed record with the defaults of CreateDisplay (not linked); null
   when memory runs out. Free an unlinked record with free(). */
cxDisplay *NewDisplayRecord(void);

/* The text cursor at the top left, the right margin at the picture's
   right edge, no tab stops. */
void ResetTextCursor(cxDisplay *d);
/* Copies a title of at most 255 bytes, cut at a character boundary when
   the text is UTF-8 and longer. */
void CopyDisplayTitle(char out[256], const char *title);

/* The error detail of ERR_DISPLAYSIZE: "%dx%d". */
void SetDisplaySizeDetail(int32_t width, int32_t height);

void SaveDisplayRenderState(cxDisplay *d, int mode, int32_t targetWidth);
void RestoreDisplayRenderState(cxDisplay *d);

#ifdef __cplusplus
}
#endif
