// Drawing redirected away from the display (SelectBrush, SelectMask,
// SelectAlphaChannel, SelectBGPic, SelectAnim): the output redirection code
// owns the selection and fills these hooks; the brush, BGPic and display
// code only ask. Without them drawing always goes to the display.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxRenderTargetHooks {
    /* 1 and the selected object's kind (1 BGPic, 3 brush, 4 anim, 22 layer)
       and record when drawing is redirected; 0 otherwise. */
    int (*selectedObject)(uint32_t *kind, void **record);
    /* Ends the selection (EndSelect). */
    void (*endRenderTarget)(lua_State *L);
    /* Makes a selected brush, mask or alpha channel ready for drawing when
       it is not yet. 0 or an error code. */
    int (*prepareDrawTarget)(lua_State *L);
} cxRenderTargetHooks;

/* Installs the hooks (copied); null removes them. */
void SetRenderTargetHooks(const cxRenderTargetHooks *hooks);

/* 1 when the selection is the object (kind, record). */
int IsSelectedObject(uint32_t kind, const void *record);
/* 1 and the kind of the selection (1 BGPic, 3 brush, 4 anim, 22 layer)
   when drawing is redirected to an object; 0 otherwise. */
int GetSelectedKind(uint32_t *kind);
/* The selected record of a kind, or null. */
void *GetSelectedObject(uint32_t kind);
void EndRenderTarget(lua_State *L);
int PrepareDrawTarget(lua_State *L);
/* The refusal of commands that draw on the display itself while its output
   is redirected: ERR_SELECTBG (layers-mode SelectBGPic), ERR_ENDDOUBLEBUFFER
   (double buffering), ERR_SELECTANIM, ERR_SELECTBRUSH (other images),
   ERR_SELECTMASK, ERR_SELECTALPHACHANNEL; 0 while output goes to it. */
int RefuseRedirectedOutput(const cxDisplay *d);

#ifdef __cplusplus
}
#endif
