// Videos in layers: a VIDEO layer shows a video's pictures, which the
// refresh thread hands to the main thread; the layers library reaches the
// videos through the hooks installed here.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

struct cxVideo;

int PlayVideoInLayer(lua_State *L, cxVideo *v, int channel, int optionsIndex);
int PlayVideoLayer(lua_State *L, void *layer);
int DisplayVideoFrameLayer(lua_State *L, cxVideo *v, int64_t ms, int32_t x, int32_t y, int optionsIndex);
void InstallVideoLayerHooks(void);
// The number of listed layers that show the video.
int VideoShownByLayers(const cxVideo *v);
// The layers that show a video under one ID show it under another.
void RetargetVideoLayers(cxObjectID from, cxObjectID to);
// Main thread: the newest pictures into their VIDEO layers.
void ApplyVideoLayerPictures(lua_State *L, struct cxDisplay *d);
