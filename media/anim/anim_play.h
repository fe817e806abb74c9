// Anim playback: one playback's state and its steps, and the road of anim
// frames into layers (an anim layer per playback or shown frame).
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "images/core/display_options.h"
#include "media/anim/anim.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxAnimPlayback cxAnimPlayback;

/* The handle of an asynchronous playback, as PlayAnim returns it. */
typedef struct cxAsyncPlaybackHandle {
    cxObjectID id;
    void *draw;
} cxAsyncPlaybackHandle;

/* Plays an anim: speed is a delay code (NORMALSPEED -1 .. DEFAULTSPEED -4,
   or n for n x 20 ms), times 0 for ever. Synchronous playbacks return when
   the last pass ends; asynchronous ones fill *handle. optionsIndex: the
   display options table (0 none). */
int PlayAnimByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t speed, int32_t times, int async,
                 int optionsIndex, cxAsyncPlaybackHandle *handle);
/* Frame (1-based) through the display core, or as an anim layer. */
int DisplayAnimFrameByID(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame, int optionsIndex);

/* Sets a playback up without running it: the anim found and locked, the
   options read, the background saved or the anim layer made. */
int StartAnimPlayback(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t speed, int32_t times, int async,
                      int optionsIndex, cxAnimPlayback **playback);
/* One step: draws the current frame, waits or schedules its delay,
   advances; *done after the last frame of the last pass. */
int AnimPlaybackStep(cxAnimPlayback *playback, int *done);
/* The same on the state the caller runs on (asynchronous draws). */
int AnimPlaybackStepIn(lua_State *L, cxAnimPlayback *playback, int *done);
/* Ends a playback: the anim's lock drops, the work bitmaps go. */
void FreeAnimPlayback(cxAnimPlayback *playback);
cxAnim *GetAnimPlaybackAnim(const cxAnimPlayback *playback);
void *GetAnimPlaybackLayer(const cxAnimPlayback *playback);
void SetAnimPlaybackLayer(cxAnimPlayback *playback, void *layer);

/* The layers' side (anim_layers.cpp). */
int AnimLayersAvailable(void);
/* A new anim layer showing frame (0-based) at x, y with the options. */
int AddAnimLayer(lua_State *L, cxObjectID id, int32_t frame, int32_t x, int32_t y, const cxTransformOptions *t,
                 const cxLayerOptions *l, void **layer);
/* Shows another frame (0-based) in a playback's anim layer; ERR_LAYERRANGE
   when the layer is gone. */
int SetAnimLayerFrame(lua_State *L, void *layer, int32_t frame);
/* 1 while the layer is in the list of a BGPic. */
int IsAnimLayerListed(const void *layer);
/* Hands a playback to an asynchronous draw of the current display. */
int StartAsyncPlayback(lua_State *L, cxAnimPlayback *playback, cxAsyncPlaybackHandle *handle);
/* Registers what the layers library calls of anims. */
void InstallAnimLayerHooks(void);

#ifdef __cplusplus
}
#endif
