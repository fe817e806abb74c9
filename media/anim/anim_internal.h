// What the files of the anim library share among themselves: the loader's
// options, the frame builder, anim streams and the library's state.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "images/core/anim_use.h"
#include "media/anim/anim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The loader kinds: LoadAnim, LoadSprite, and PlayAnimDisk's disk anim. */
#define CX_LOAD_ANIM 4
#define CX_LOAD_SPRITE 32
#define CX_LOAD_DISKANIM 20

/* What LoadAnim, LoadSprite and PlayAnimDisk read besides ID and file. */
typedef struct cxAnimLoadOptions {
    int32_t transparentColour; /* -1 none */
    int32_t loadAlpha, loadTransparency;
    int32_t x, y, width, height, framesPerRow, frames;
    int32_t fromDisk, skipLoopFrames, deinterlace;
    int32_t cacheAlpha;
    char loaders[256], adapters[256];
    char cache[512], cachedLoad[512];
} cxAnimLoadOptions;

void InitAnimLoadOptions(cxAnimLoadOptions *o);
/* The options table (or a transparent colour) at index; 0 for none. */
void ReadAnimLoadOptions(lua_State *L, int index, cxAnimLoadOptions *o);
/* The shared loader: kind CX_LOAD_*; *id as AddAnimRecord. *out (may be
   null) is the new anim (null for sprites). 0 or an error. */
int LoadAnimCore(lua_State *L, int kind, cxObjectID *id, const char *file, const cxAnimLoadOptions *o, cxAnim **out);

/* The frame builder. 0 or an error; nothing is left on failure. */
int BuildFrames(lua_State *L, cxFrameBuildRequest *request);

/* 1 while declared objects load before any display exists. */
int IsAnimPreloading(lua_State *L);

/* Anim streams (kind 52). */
void FreeAllAnimStreams(void);

/* The frame of an anim as drawing target (SelectAnim). */
int AnimFrameTarget(lua_State *L, cxObjectID id, int32_t frame, int forWriting, cxBitmap **bitmap,
                    cxBitmap ***maskSlot, cxBitmap ***alphaSlot, int32_t *width, int32_t *height);

/* The commands, by file. */
int CmdLoadAnim(lua_State *L);
int CmdCreateAnim(lua_State *L);
int CmdCopyAnim(lua_State *L);
int CmdScaleAnim(lua_State *L);
int CmdLoadAnimFrame(lua_State *L);
int CmdGetAnimFrame(lua_State *L);
int CmdSetAnimFrameDelay(lua_State *L);
int CmdModifyAnimFrames(lua_State *L);
int CmdIsAnim(lua_State *L);
int CmdFreeAnim(lua_State *L);
int CmdSaveAnim(lua_State *L);
int CmdBeginAnimStream(lua_State *L);
int CmdWriteAnimFrame(lua_State *L);
int CmdFinishAnimStream(lua_State *L);
int CmdPlayAnim(lua_State *L);
int CmdPlayAnimDisk(lua_State *L);
int CmdDisplayAnimFrame(lua_State *L);
int CmdSelectAnim(lua_State *L);

#ifdef __cplusplus
}
#endif
