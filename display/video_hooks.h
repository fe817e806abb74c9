// What the display library tells the video library of a display: videos
// play in its window on threads of their own, so they must stop before the
// display goes, pause their drawing while the window is re-opened, and
// follow new geometry. The video library installs these; until then there
// is nothing to tell.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxDisplayVideoHooks {
    /* The display's window closes for good or its resources are freed. */
    void (*stopVideos)(lua_State *L, cxDisplay *d);
    /* The window is about to be closed and re-opened (a mode switch), and
       has been re-opened. */
    void (*suspendVideos)(lua_State *L, cxDisplay *d);
    void (*resumeVideos)(lua_State *L, cxDisplay *d);
    /* The display moved, was rescaled or resized. */
    void (*updateVideos)(lua_State *L, cxDisplay *d, uint32_t flags);
    /* 1 while a video plays in the display's window (not in a layer). */
    int (*hasVideos)(cxDisplay *d);
    /* A 1-bit mask (rows of *bytesPerRow bytes, most significant bit
       first) of the display's picture size with the areas those videos
       cover set, to be freed with free(); null when none plays. */
    uint8_t *(*buildVideoAreaMask)(cxDisplay *d, int32_t *bytesPerRow);
} cxDisplayVideoHooks;

/* Installs the hooks (copied); null removes them. */
void SetDisplayVideoHooks(const cxDisplayVideoHooks *hooks);
const cxDisplayVideoHooks *GetDisplayVideoHooks(void);

#ifdef __cplusplus
}
#endif
