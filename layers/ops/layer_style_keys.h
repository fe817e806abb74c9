// Inside the style code: the working copy a style table is read into
// before anything of the layer changes, and what reading and putting it
// in place share.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"
#include "engine/vm/lua.h"
#include "graphics/blit/blit_clip.h"
#include "layers/core/layer.h"

/* A style table read and checked, not yet applied. It owns what it made
   (a new content record, a hold on a clip region) until CommitStyleEdit
   hands that to the layer; destroyed before that, it frees them. */
struct cxStyleEdit {
    cxLayer *layer = nullptr;
    int32_t type = 0;
    cxObjectID source{};
    void *content = nullptr;   /* the layer's own record, or a new one (ownsContent) */
    bool ownsContent = false;
    int32_t partX = 0, partY = 0, srcWidth = 0, srcHeight = 0; /* of the base state */
    cxLayerTransform transform{};
    double anchorX = 0, anchorY = 0;
    int32_t transparency = 0;
    uint32_t hidden = 0;
    cxShadowOptions shadow{};
    cxBorderOptions border{};
    cxFilter filters[CX_FILTER_SLOTS]{};
    uint32_t clipOption = 0;
    bool clipSet = false;      /* "clipregion" given: clip replaces the base state's */
    cxClipRegion *clip = nullptr; /* a hold taken on it (UseClipRegion) */
    bool hasX = false, hasY = false;
    int64_t x = 0, y = 0;      /* as given: keep, relative and special codes */
    int64_t translateX = 0, translateY = 0;
    bool hasZ = false;
    int32_t z = 0;

    explicit cxStyleEdit(cxLayer *l);
    ~cxStyleEdit();
    cxStyleEdit(const cxStyleEdit &) = delete;
    cxStyleEdit &operator=(const cxStyleEdit &) = delete;
    /* The content record to change: the edit's own copy, made on first
       use (null when memory runs out). */
    void *OwnContent();
    /* Replaces the content with a record made for the edit. */
    void SetContent(void *content);
};

/* Reads the table at index into the edit (the layer is not touched). 0 or
   an error; the table readers raise their own. */
int ReadStyleEdit(lua_State *L, int table, cxStyleEdit *edit);

/* Puts the edit in place: renders the layer anew when its content, size,
   transform or clip changed (a render error puts everything back), then
   moves it and changes its place in the list. The boxes before and after
   go into dirty (may be null). *kinds gains the kinds of objects the layer
   stopped showing. */
int CommitStyleEdit(lua_State *L, cxStyleEdit *edit, cxDirtyRects *dirty, uint32_t *kinds);

/* The scales a layer is shown at: its "width" and "height" turned into
   factors of its source size, or its scale factors. */
void GetEffectiveScale(const cxLayer *layer, double *scaleX, double *scaleY);

/* The shadow and border a style switches on without saying how: those of
   SetLayerShadow and SetLayerBorder with their defaults. */
void DefaultLayerShadow(cxShadowOptions *shadow);
void DefaultLayerBorder(cxBorderOptions *border);
