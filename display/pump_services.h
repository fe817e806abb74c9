// Display-library services that the platform's event pump calls. The
// versions in pump_services.cpp are minimal placeholders (weak symbols) until
// the display, event and sound libraries provide the real ones.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lua_State lua_State;
struct cxDisplay;

/* Performs the window updates queued by other threads. 0 or an error code. */
int ProcessPendingRefreshes(lua_State *L);
/* Repaints a whole display (flags 2 after an expose). */
int RefreshWholeDisplay(lua_State *L, struct cxDisplay *d, uint32_t flags);
/* Opens or re-opens a display; how 5 switches between window and full
   screen at the size stored in the record. 0 or an error code. */
int RealizeDisplay(lua_State *L, struct cxDisplay *d, uint32_t how);
/* Resizes a display; x or y 100000 keeps the position. 0 or an error code. */
int ResizeDisplay(lua_State *L, struct cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height,
                  uint32_t smooth, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
/* 1 when the display may take its monitor (for a full-screen toggle). */
int IsDisplayMonitorFree(struct cxDisplay *d);
/* Sound: releases every channel whose sound has ended. */
void ReleaseFinishedChannels(void);

#ifdef __cplusplus
}
#endif
