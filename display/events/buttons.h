// Buttons: rectangles of a display's BGPic that call script functions when
// the pointer enters or leaves them or a mouse button is pressed or
// released on them. The lists are kept here by the BGPic they belong to
// (an opaque pointer; a display without a BGPic of its own keys them by
// itself), so this layer needs nothing of the BGPic's record.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { CX_BUTTON_SIMPLE = 0, CX_BUTTON_LAYER = 1 };
enum {
    CX_BUTTON_ONMOUSEOVER = 0, CX_BUTTON_ONMOUSEOUT, CX_BUTTON_ONMOUSEDOWN, CX_BUTTON_ONMOUSEUP,
    CX_BUTTON_ONRIGHTMOUSEDOWN, CX_BUTTON_ONRIGHTMOUSEUP, CX_BUTTON_ONMIDMOUSEDOWN, CX_BUTTON_ONMIDMOUSEUP,
    CX_BUTTON_HANDLERS
};

typedef struct cxBGPicButton {
    struct cxBGPicButton *next;
    cxObjectID id;
    uint32_t type;
    int32_t x1, y1, x2, y2; /* inclusive, picture pixels */
    uint32_t enabled;
    uint32_t pressed[3]; /* left, right, middle */
    uint32_t over;
    int32_t handlers[CX_BUTTON_HANDLERS]; /* registry references, -1 none */
    int32_t userData;
    void *layer;           /* a layer button's layer (the layers library's cxLayer) */
    uint32_t pixelExact;   /* a layer button: transparent pixels are no hit */
    uint32_t activeHidden; /* a layer button: it answers while its layer is hidden */
} cxBGPicButton;

/* What layer buttons need of the layers, which live in a layer above: the
   layers library installs these when it opens. Without them LAYERBUTTON
   answers ERR_NOLAYERS.
     find(L, d, index, &layer)  the layer the argument at index names in the
                                BGPic the display shows: 0, or
                                ERR_LAYERRANGE, ERR_FINDLAYER, ERR_STRORNUM,
                                ERR_NOLAYERS without layers
     hit(layer, x, y, exact)    1 when the picture point lies on the layer:
                                its box, its clip region, and with exact a
                                visible pixel of its mask or alpha channel
     hidden(layer)              1 while the layer is not drawn
     bind(layer, button)        tells the layer its button (null: none) */
typedef struct cxLayerButtonHooks {
    int (*find)(lua_State *L, cxDisplay *d, int index, void **layer);
    int (*hit)(void *layer, int32_t x, int32_t y, int exact);
    int (*hidden)(const void *layer);
    void (*bind)(void *layer, cxBGPicButton *button);
} cxLayerButtonHooks;
void SetLayerButtonHooks(const cxLayerButtonHooks *hooks);
/* A layer of the BGPic goes: the button bound to it is removed (its
   references released). */
void ReleaseLayerButton(lua_State *L, const void *bgpic, void *layer);
/* A layer that replaces another takes its button over. */
void RebindLayerButton(cxBGPicButton *button, void *layer);

/* Window coordinates to picture pixels (scale bars removed, divided by the
   scale factors, truncated toward zero). */
void WindowToPicture(const cxDisplay *d, int32_t x, int32_t y, int32_t *px, int32_t *py);
/* The buttons of the BGPic the display shows (null: none). */
cxBGPicButton *GetDisplayButtons(const cxDisplay *d);
/* A mouse event (type 1 left, 2 right, 16 middle; pressed; window x, y) on
   the display's buttons: the first active button hit takes it. 1 and *msg
   filled (the caller calls the handler) when a handler is to run; 0 when
   none is. */
struct cxEventMessage;
int ServeButtonPress(cxDisplay *d, uint32_t type, int pressed, int32_t x, int32_t y, struct cxEventMessage *msg);
/* The over/out pass of one display: 1 and *msg filled when a handler is to
   run (one per call); 0 when the buttons agree with the pointer. */
int ServeButtonOverOut(cxDisplay *d, struct cxEventMessage *msg);
/* Clears the pressed states of every button of the display's BGPic. */
void ResetButtonStates(cxDisplay *d);
/* Frees the buttons of a BGPic (or display) that goes away. */
void FreeBGPicButtons(lua_State *L, const void *owner);
/* Frees every button (clean-up). */
void FreeAllButtons(lua_State *L);

int CmdMakeButton(lua_State *L);
int CmdDeleteButton(lua_State *L);
int CmdEnableButton(lua_State *L);
int CmdDisableButton(lua_State *L);
int CmdDumpButtons(lua_State *L);

#ifdef __cplusplus
}
#endif
