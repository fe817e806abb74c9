// Videos on displays: geometry, starting on the current display, and what
// the display library asks through its video hooks.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"

struct cxVideo;

void UpdateDisplayVideos(lua_State *L, cxDisplay *d, uint32_t flags);
// All active videos when d is null.
void StopDisplayVideos(lua_State *L, cxDisplay *d);
void SuspendDisplayVideos(lua_State *L, cxDisplay *d);
void ResumeDisplayVideos(lua_State *L, cxDisplay *d);
int IsVideoOnDisplay(cxDisplay *d, int countLayers);
int IsPointOnVideo(cxDisplay *d, int32_t x, int32_t y);
// A 1-bit mask (rows of (width + 7) / 8 bytes) of the display's size with
// the areas of its videos set; null when none plays or memory runs out.
uint8_t *BuildVideoAreaMask(cxDisplay *d, int32_t *bytesPerRow);
void RedrawDisplayVideos(cxDisplay *d);
void InstallVideoDisplayHooks(void);

// The geometry of a video on its display from its script position and size.
void ComputeVideoGeometry(cxVideo *v, cxDisplay *d);

// Internal to the library.
int CreateVideoMutex();
void FreeVideoMutex();
void FreeAllVideoRecords(lua_State *L);
int StartVideoOnDisplay(lua_State *L, cxVideo *v, int channel, void *layer);
