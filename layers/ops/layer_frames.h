// List operations on what layers show: a new layer for an object at a
// place in the list (InsertLayer), the frames of anim layers (NextFrame,
// ModifyLayerFrames), and the images content records are made of.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "layers/core/layer.h"
#include "layers/core/layer_content.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A copy of a rectangle of bitmaps (mask and alpha may be null) as the
   content of a layer. 0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or
   ERR_MEM. */
int CopyImageContent(const cxBitmap *bitmap, const cxBitmap *mask, const cxBitmap *alpha, int32_t x, int32_t y,
                     int32_t width, int32_t height, cxLayerImageContent **out);
/* A copy of a frame (0-based) of an anim as layer content, with the anim's
   size and frame count (each output may be null). ERR_FINDANIM (number as
   detail) without the anims library, or the anim's lookup errors. */
int MakeAnimFrameContent(lua_State *L, cxObjectID anim, int32_t frame, cxLayerImageContent **out, int32_t *width,
                         int32_t *height, int32_t *frames);

/* Where video layers come from: the video library installs it. insert
   makes a layer of the video's picture at (x, y) (special coordinates
   resolved against its size) at the list position. Without it kind 50
   answers ERR_FINDVIDEO. */
typedef struct cxLayerVideoHooks {
    int (*insert)(lua_State *L, cxObjectID video, int32_t x, int32_t y, int32_t position, int hidden);
    /* The playback of the video a VIDEO layer shows (the layer commands):
       op one of CX_LAYERVIDEO_*, value the seek position or the volume. 0
       or the video library's error. */
    int (*control)(lua_State *L, void *layer, int op, int32_t value);
    /* 1 while the video a layer shows plays (the transition runner). */
    int (*isPlaying)(const void *layer);
} cxLayerVideoHooks;
enum {
    CX_LAYERVIDEO_PLAY = 1, CX_LAYERVIDEO_STOP, CX_LAYERVIDEO_PAUSE, CX_LAYERVIDEO_RESUME, CX_LAYERVIDEO_SEEK,
    CX_LAYERVIDEO_VOLUME
};
void SetLayerVideoHooks(const cxLayerVideoHooks *hooks);
const cxLayerVideoHooks *GetLayerVideoHooks(void);
/* 1 while the video a VIDEO layer shows plays; 0 without the video library. */
int IsLayerVideoPlaying(const void *layer);

/* InsertLayer's work after the guard: a layer of the object (kind 3
   brush, 4 anim (its first frame), 8 text object, 50 video) at (x, y)
   (special coordinates resolved against its size) that becomes the layer
   at position (0, or beyond the front: the front), hidden or shown. 0,
   ERR_INVINSERT for a negative position, ERR_WRONGUSAGE for another kind,
   ERR_OLDAPPLET for a video in an applet older than 6.0, the lookup's and
   AddLayer's errors. */
int InsertLayerAt(lua_State *L, int32_t position, int32_t kind, cxObjectID id, int32_t x, int32_t y, int hidden);

/* The frame (1-based) NextFrame shows after the current one (0-based):
   frame 0 the next, wrapping after the last; -1 the last; 1..frames that
   one. 0 or ERR_ANIMFRAME. */
int NextAnimFrame(int32_t current, int32_t frames, int32_t frame, int32_t *out);

/* ModifyLayerFrames: the anim layer's anim becomes its own copy (unless it
   is already), then count frames are inserted (count > 0) or removed
   (count < 0) at the 1-based position (0: at the end). The layer keeps its
   frame where it survives (no redraw), else shows the first frame. 0,
   ERR_NOANMLAYER for another layer, ERR_FINDANIM without the anims
   library, or the anim's errors. */
int ModifyLayerFrames(lua_State *L, cxLayer *layer, int32_t count, int32_t position);

#ifdef __cplusplus
}
#endif
