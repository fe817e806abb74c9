// Where the draw library's commands draw: the current output of the current
// display (the display itself, its BGPic, or a selected brush, anim frame,
// mask or alpha channel). The libraries that own those outputs install the
// hooks below; the draw commands only call them.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "graphics/draw/shape_raster.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxDrawOutput {
    cxDrawTarget target; /* the bitmaps drawn into and the drawable size */
    uint32_t kind;       /* object kind: 21 display, 1 BGPic, 3 brush, 4 anim, 28 mask, 30 alpha channel */
    void *display;       /* the display drawn on (cxDisplay), or null */
    int32_t layersOn;    /* shapes become layers of the current BGPic */
    int32_t skipPrepare; /* the output needs no preparing before Cls */
    void *userData;      /* for the hooks */
} cxDrawOutput;

typedef struct cxDrawOutputHooks {
    /* The current output: 0 or an error code. Required. */
    int (*getOutput)(lua_State *L, cxDrawOutput *out);
    /* After drawing into the output: refresh the window, queue dirty
       rectangles. Optional. */
    void (*drawn)(lua_State *L, const cxDrawOutput *out, const cxDrawRect *changed);
    /* With layers on: the shape becomes a layer. 0 or an error code. */
    int (*addShapeLayer)(lua_State *L, const cxDrawOutput *out, const cxShape *shape, const cxDrawStyle *style,
                         uint32_t colour);
    /* Cls of a brush, mask or alpha channel output: make the output ready
       for drawing first. 0 or an error code. */
    int (*prepare)(lua_State *L, const cxDrawOutput *out);
    /* Cls of a display or BGPic output: clear it to its background (layers
       freed or the BGPic's picture copied back) and refresh. 0 or an error
       code. */
    int (*clearToBackground)(lua_State *L, const cxDrawOutput *out);
    /* Cls through a display adapter plug-in's own hook: 1 when the adapter
       took it (its result in *result), 0 to clear here. */
    int (*adapterCls)(lua_State *L, const cxDrawOutput *out, uint32_t colour, int *result);
    /* The brush of a texture fill (SetFillStyle(FILLTEXTURE, id)): 0 when
       it exists, else the lookup's error. Optional: without it every ID is
       taken. */
    int (*findTexture)(lua_State *L, cxObjectID id);
} cxDrawOutputHooks;

/* The drawing style's texture brush when its fill style is FILLTEXTURE:
   0, or the findTexture hook's error (the brush is missing or was freed). */
int CheckTextureFill(lua_State *L);

/* Installs the hooks (copied); null puts back the display's own
   (display/draw/display_output.h). Without a getOutput hook every drawing
   command fails with ERR_FINDDISPLAY. */
void SetDrawOutputHooks(const cxDrawOutputHooks *hooks);
/* The hooks in place, for libraries that replace only some of them. */
const cxDrawOutputHooks *GetDrawOutputHooks(void);
/* The current output as the installed getOutput hook gives it: 0, or an
   error code (ERR_FINDDISPLAY without a hook). */
int GetCurrentDrawOutput(lua_State *L, cxDrawOutput *out);

/* While installed, boxes, circles, ellipses, polygons and arcs are drawn
   by this hook instead (the vector library's paths); its result is the
   command's. Null draws them here again. */
typedef int (*cxShapePathHook)(lua_State *L, const cxShape *shape, uint32_t colour);
void SetShapePathHook(cxShapePathHook hook);

#ifdef __cplusplus
}
#endif
