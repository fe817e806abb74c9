// Anim frames in layers and asynchronous playback: the layers library
// brings both; until it registers itself anims are drawn directly and
// asynchronous playback is refused.
#include "errors/errors.h"
#include "media/anim/anim_play.h"

extern "C" int AnimLayersAvailable(void) { return 0; }

extern "C" int AddAnimLayer(lua_State *, cxObjectID, int32_t, int32_t, int32_t, const cxTransformOptions *,
                            const cxLayerOptions *, void **layer) {
    *layer = nullptr;
    return ERR_NOLAYERS;
}

extern "C" int SetAnimLayerFrame(lua_State *, void *, int32_t) { return ERR_NOLAYERS; }

extern "C" int ShowAnimFrameLayer(lua_State *, cxObjectID, int32_t, int32_t, int32_t, int) { return ERR_NOLAYERS; }

extern "C" int StartAsyncPlayback(lua_State *, cxAnimPlayback *, cxAsyncPlaybackHandle *) { return ERR_WRONGUSAGE; }
