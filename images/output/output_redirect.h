// Output redirection: SelectBrush, SelectMask, SelectAlphaChannel and
// SelectBGPic send every drawing command into the image, mask or alpha
// channel of a brush or the image of a BGPic (or, in layers mode, make
// every drawing a layer of a BGPic); EndSelect ends it. The selection of a
// display lives here; the display core, the draw library and SafeBlt reach
// it through the hooks that InstallOutputRedirection installs.
//
// Output kinds of a display (cxDisplay.targetKind): 21 the display itself,
// 3 the image of the selected object, 28 its mask, 30 its alpha channel,
// 1 the layers of a selected BGPic.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* SelectBrush modes. */
#define CX_SELMODE_NORMAL 0
#define CX_SELMODE_COMBO 1
#define CX_SELMODE_LAYERS 2

/* Selects an object as the current display's output: kind 1 BGPic, 3
   brush, 4 anim, 22 layer; outputKind 3, 28 or 30; frame 1-based for
   anims. 0 or an error; a failed selection leaves the previous one ended. */
int SelectRenderTarget(lua_State *L, uint32_t kind, cxObjectID id, uint32_t outputKind, int32_t frame, int32_t mode,
                       int32_t value);
/* Ends the display's selection; with noRefresh the objects that show what
   changed are not brought up to date. */
void EndDisplayRenderTarget(lua_State *L, cxDisplay *d, int noRefresh);
/* Makes the selected brush's mask or alpha channel (created when missing)
   ready before the first drawing. 0 or an error. */
int PrepareSelectedTarget(lua_State *L);

/* What drawing goes to, kept aside while a caller draws into the display
   itself for a moment (SaveRenderTarget makes the display the output;
   RestoreRenderTarget puts the kept output back). */
typedef struct cxSavedRenderTarget {
    struct cxBitmap *mask, *alpha;
    uint32_t kind;
    uint32_t doubleBuffer[3];
} cxSavedRenderTarget;
void SaveRenderTarget(cxDisplay *d, cxSavedRenderTarget *saved);
void RestoreRenderTarget(cxDisplay *d, const cxSavedRenderTarget *saved);

/* 1 and the ID of the brush the current display's output is redirected to
   (image, mask or alpha); 0 when no brush is selected. */
int GetSelectedBrushID(cxObjectID *id);
/* 1, the ID and the 0-based frame of the anim the current display's output
   is redirected to; 0 when no anim is selected. */
int GetSelectedAnim(cxObjectID *id, int32_t *frame);

/* The BGPic whose layers drawing goes to while the display's output is a
   layers-mode SelectBGPic (output kind 1); null otherwise. */
struct cxBGPic *GetLayersOutputBGPic(const cxDisplay *d);
/* Called after a display's selection ended (EndSelect and the like), with
   the output back on the display; null removes it. The layers library
   shows the layers made meanwhile. */
typedef void (*cxRenderTargetEndHook)(lua_State *L, cxDisplay *d);
void SetRenderTargetEndHook(cxRenderTargetEndHook hook);

/* SelectLayer's road (kind 22): the layers library makes the layer at a
   position show a brush of its own (prepare: 0 and the brush's ID, or an
   error), which is then selected as SelectBrush selects a brush; when the
   selection ends, drawn tells it that the brush was drawn into. Without
   them kind 22 answers ERR_LAYERRANGE. */
typedef struct cxLayerTargetHooks {
    int (*prepare)(lua_State *L, int32_t position, int32_t frame, cxObjectID *brush);
    void (*drawn)(lua_State *L, cxObjectID brush);
} cxLayerTargetHooks;
void SetLayerTargetHooks(const cxLayerTargetHooks *hooks);

/* Installs the render-target, draw-output and double-buffer hooks; the
   brush library calls it when it opens. Remove puts the previous back and
   forgets every selection. */
void InstallOutputRedirection(void);
void RemoveOutputRedirection(void);

int CmdSelectBrush(lua_State *L);
int CmdSelectMask(lua_State *L);
int CmdSelectAlphaChannel(lua_State *L);
int CmdSelectBGPic(lua_State *L);
int CmdEndSelect(lua_State *L);

#ifdef __cplusplus
}
#endif
