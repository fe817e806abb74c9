// The layer record: with layers on, everything a script shows on a BGPic
// becomes a cxLayer in the BGPic's list (back-most first), kept with its
// content, position, transform and look, and composited back to front
// (layers/core/compositor.h). This header holds the records every part of
// the layers library (and the anim, sprite and transition code above it)
// shares.
//
// Ownership: a layer owns its name, its object-data list, its content
// record and its render states. A render state owns its four image sets
// (image, async-draw buffers, filtered, border), its shadow alpha channel
// and a clip region that is a private copy. The three state slots usually
// point at one record; every free routine frees a record shared by several
// slots once. Objects a layer only shows (brushes) are not owned: the
// layer holds a use of them (AddBrushLayerUse) and their freeing is
// deferred until the last layer lets go.
#pragma once

#include <stdint.h>

#include "engine/runtime/lists.h"
#include "engine/runtime/objects.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/blit/blit_clip.h"
#include "images/core/display_options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Layer types: the object kind of what a layer shows. */
#define CX_LAYER_BRUSH 3
#define CX_LAYER_ANIM 4
#define CX_LAYER_NOOBJECT 7 /* a placeholder: never drawn, no image */
#define CX_LAYER_TEXTOBJECT 8
#define CX_LAYER_TEXTOUT 9
#define CX_LAYER_PRINT 11
#define CX_LAYER_BRUSHPART 12
#define CX_LAYER_BGPICPART 13
#define CX_LAYER_BOX 14
#define CX_LAYER_CIRCLE 15
#define CX_LAYER_ELLIPSE 16
#define CX_LAYER_LINE 17
#define CX_LAYER_POLYGON 27
#define CX_LAYER_ARC 31
#define CX_LAYER_VECTORPATH 49
#define CX_LAYER_VIDEO 50

/* Names: at most this many bytes; the group name is an inline text. */
#define CX_LAYER_NAME_MAX 255
#define CX_LAYER_GROUP_MAX 64

/* Filter slots (cxFilter, images/core/display_options.h), by kind. */
enum {
    CX_FILTER_BLUR = 0, CX_FILTER_CHARCOAL, CX_FILTER_CONTRAST, CX_FILTER_EDGE, CX_FILTER_EMBOSS,
    CX_FILTER_GAMMA, CX_FILTER_GRAYSCALE, CX_FILTER_INVERT, CX_FILTER_MODULATE, CX_FILTER_MONOCHROME,
    CX_FILTER_OILPAINT, CX_FILTER_PIXELATE, CX_FILTER_SEPIATONE, CX_FILTER_SHARPEN, CX_FILTER_SOLARIZE,
    CX_FILTER_SWIRL, CX_FILTER_TINTSLOT, CX_FILTER_WATERRIPPLE, CX_FILTER_XFLIP, CX_FILTER_YFLIP,
    CX_FILTER_QUANTIZE
};

/* The transform of a layer: the display options' block and what the
   analysis of its matrix found (AnalyzeTransformMatrix). */
typedef struct cxLayerTransform {
    cxTransformOptions options;
    uint32_t general;          /* the matrix is more than a whole-degree turn at one scale */
    double analysedX, analysedY; /* the scales the analysis found */
} cxLayerTransform;

/* A render state: the images and geometry of one rendering of a layer. */
typedef struct cxLayerState {
    cxBitmap *bitmap, *mask, *alpha;                      /* the image (null: the source's or the content's) */
    cxBitmap *asyncBitmap, *asyncMask, *asyncAlpha;       /* made for layers an async draw animates */
    cxBitmap *filteredBitmap, *filteredMask, *filteredAlpha; /* the image after the filters */
    cxBitmap *borderBitmap, *borderMask, *borderAlpha;    /* the border image */
    cxBitmap *shadowAlpha;                                /* the shadow's shape */
    cxClipRegion *clip;                                   /* a listed region, or a private copy */
    int32_t x, y;                 /* position as given */
    int32_t srcWidth, srcHeight;  /* the content's size before the transform */
    int32_t drawX, drawY;         /* top-left of the rendered image on the BGPic */
    int32_t anchoredX, anchoredY; /* position less the anchor's share of the source size */
    int32_t width, height;        /* rendered size */
    int32_t borderX, borderY;     /* of the border image, relative to the image */
    int32_t borderWidth, borderHeight;
    int32_t partX, partY;         /* BRUSHPART: source offset; ANIM: partX is the frame (0-based) */
} cxLayerState;

/* Content kept by the layer itself, by type. Bitmap content (ANIM frames,
   BGPic parts, text objects, videos): the untransformed image. */
typedef struct cxLayerImageContent {
    cxBitmap *bitmap, *mask, *alpha;
    int32_t width, height;
} cxLayerImageContent;

/* The layer record. */
typedef struct cxLayer {
    cxListNode node;           /* in the BGPic's list (node.list) */
    int32_t type;              /* CX_LAYER_* */
    cxObjectID source;         /* the object shown; {0, null} for content of the layer's own */
    cxObjectID origin;         /* the source at creation (undo key) */
    uint32_t hidden;           /* not drawn */
    uint32_t suppressed;       /* made while the shown BGPic was the output: waits unseen */
    int32_t transparency;      /* 0 opaque .. 255 invisible */
    char *name;                /* unique within the BGPic, or null */
    char group[CX_LAYER_GROUP_MAX];
    uint32_t effect;           /* a transition effect animates it */
    uint32_t clipOption;       /* states share the base state's clip region */
    cxLayerTransform transform;
    double anchorX, anchorY;
    cxShadowOptions shadow;
    int32_t shadowFade;        /* 0 none, else drawn at opacity * (f - 1) / 255 */
    cxBorderOptions border;
    int32_t borderFade;
    cxFilter filters[CX_FILTER_SLOTS];
    uint32_t movingFilters;    /* a filter that moves pixels is active */
    cxObjectData *data;        /* values scripts attach */
    cxLayerState *base, *picture, *display;
    void *content;             /* by type: cxLayerImageContent, cxLayerTextContent, cxLayerShapeContent, cxLayerPathContent */
    void *button;              /* the BGPic button bound to it, or null */
    uint32_t usesSource;       /* holds a use of its source brush */
    uint32_t skipFlush;        /* the style commands leave the final flush out */
} cxLayer;

/* The layer a list node belongs to. */
static inline cxLayer *LayerOfNode(cxListNode *node) { return (cxLayer *)node; }
static inline cxLayer *NextLayer(const cxLayer *l) { return (cxLayer *)l->node.next; }
static inline cxLayer *PrevLayer(const cxLayer *l) { return (cxLayer *)l->node.prev; }

/* 1 for the shape types (BOX, CIRCLE, ELLIPSE, LINE, POLYGON, ARC). */
int IsShapeLayerType(int32_t type);
/* 1 for TEXTOBJECT, TEXTOUT and PRINT. */
int IsTextLayerType(int32_t type);

#ifdef __cplusplus
}
#endif
