// Videos in layers: a VIDEO layer shows a video's pictures, which the
// refresh thread hands to the main thread; the layers library reaches the
// videos through the hooks installed here.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"

struct cxVideo;

int PlayVideoInLayer(lua_State *L, cxVideo *v, int channel, int optionsIndex);
int PlayVideoLayer(lua_State *L, void *layer);
int DisplayVideoFrameLayer(lua_State *L, cxVideo *v, int64_t ms, int32_t x, int32_t y, int optionsIndex);
void InstallVideoLayerHooks(void);
