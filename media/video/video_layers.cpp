#include "media/video/video_layers.h"

#include "errors/errors.h"
#include "media/video/video_internal.h"

int PlayVideoInLayer(lua_State *, cxVideo *, int, int) { return ERR_NOLAYERS; }
int PlayVideoLayer(lua_State *, void *) { return ERR_NOLAYERS; }
int DisplayVideoFrameLayer(lua_State *, cxVideo *, int64_t, int32_t, int32_t, int) { return ERR_NOLAYERS; }
void InstallVideoLayerHooks(void) {}
