// Anims as the images layer sees them. Anims live in the media layer above:
// the anim library fills cxAnimHooks when it opens (the frame builder that
// sprites share, an anim frame as drawing target). Sprites fill
// cxSpriteFrameHooks, through which the frame builder makes and reads
// sprites. Without the hooks there are no anims (ERR_FINDANIM) and no
// sprites (ERR_WRONGUSAGE).
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/images/image_handle.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Source kinds of the frame builder. */
#define CX_FRAMES_FROM_IMAGE 3    /* a brush by ID, or a loaded still image */
#define CX_FRAMES_FROM_ANIM 4     /* an anim file (reader) or an anim object */
#define CX_FRAMES_FROM_TEXT 8     /* a text object */
#define CX_FRAMES_FROM_SPRITES 32 /* sprites given as arguments */
/* Target kinds. */
#define CX_FRAMES_TO_ANIM 4
#define CX_FRAMES_TO_SPRITE 32
#define CX_FRAMES_TO_DISKANIM 20
/* Cut modes: below 4 the whole source is one frame; 7 cuts a grid. */
#define CX_FRAMES_WHOLE 3
#define CX_FRAMES_CUT 7

/* The frame builder's request: zeroed, then filled by the caller. */
typedef struct cxFrameBuildRequest {
    cxObjectID *newId;          /* the new object's ID; a non-null pointer asks for an automatic one */
    cxObjectID source;          /* brush, anim, text object (by ID) */
    int32_t sourceKind;         /* CX_FRAMES_FROM_* */
    int32_t targetKind;         /* CX_FRAMES_TO_* */
    int32_t frameWidth, frameHeight;
    int32_t frames, framesPerRow;
    int32_t x, y;
    int32_t sourceWidth, sourceHeight;
    int32_t cutMode;
    uint32_t diskBased;
    int32_t transparentColour;  /* -1 none */
    cxImageHandle *image;       /* a loaded still image (not owned) */
    int32_t imageRowLength;
    uint32_t imageMaskFromAlpha; /* the still's transparency is in its alpha bytes */
    uint32_t imageHasAlpha;
    cxBitmap *bitmap, *mask, *alpha; /* a source's bitmaps when no ID is given */
    void *reader;               /* the anim reader of an anim file */
    const char *file;
    uint32_t loadAlpha;
    int32_t deinterlace;
    char loaders[256];
    char adapters[256];
    void *loader;               /* the plug-in that opened the file; 0 built-in, 1 native */
    uint32_t loadTransparency;
    int32_t firstArgument;      /* sprites as arguments: the stack index of the first */
    uint32_t deferBitmaps;      /* keep raw pixels until a display exists */
    void *result;               /* out: the new record */
} cxFrameBuildRequest;

typedef struct cxAnimHooks {
    /* Runs the frame builder. 0 or an error code; nothing is left on
       failure. */
    int (*buildFrames)(lua_State *L, cxFrameBuildRequest *request);
    /* The shared loader with its option table, as LoadAnim reads it:
       kind 32 makes a sprite. optionsIndex is the stack index of the
       options table or transparent colour (0 none). 0 or an error. */
    int (*loadFrames)(lua_State *L, int kind, cxObjectID *id, const char *file, int optionsIndex);
    /* Frame (0-based) of an anim as a drawing target: its own bitmaps (the
       slots, so that a missing mask or alpha channel can be made) and the
       anim's size. forWriting gives showing layers their private copy
       first. Errors: the lookup's, ERR_ANIMDISK, ERR_ANIMFRAME. */
    int (*frameTarget)(lua_State *L, cxObjectID id, int32_t frame, int forWriting, cxBitmap **bitmap,
                       cxBitmap ***maskSlot, cxBitmap ***alphaSlot, int32_t *width, int32_t *height);

    /* Moving anims. The anim's record (opaque), its size and frame count;
       0 or the lookup's error (ERR_FINDANIM, ERR_FINDARRAY). */
    int (*findAnim)(lua_State *L, cxObjectID id, void **record, int32_t *width, int32_t *height, int32_t *frames);
    /* A frame (0-based): the anim's own bitmaps, or new ones (*owned set,
       the caller frees them) for anims read from disk. 0 or an error. */
    int (*animFrame)(void *record, int32_t frame, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha, int *owned);
    /* The frame's own delay in milliseconds. */
    int32_t (*animFrameDelay)(void *record, int32_t frame);
    /* Takes (+1) or gives back (-1) a lock that keeps the anim from being
       changed or freed. */
    void (*lockAnim)(void *record, int delta);
} cxAnimHooks;

/* Installs the hooks (copied); null removes them. */
void SetAnimHooks(const cxAnimHooks *hooks);
const cxAnimHooks *GetAnimHooks(void);

/* What the frame builder needs of sprites. */
typedef struct cxSpriteFrameHooks {
    /* A new sprite of the frames (raw ARGB frames while bitmaps wait for a
       display; entries of masks, alphas and raw may be null). It takes the
       arrays' contents over on 0. */
    int (*addSprite)(lua_State *L, cxObjectID *id, int32_t frames, int32_t width, int32_t height, cxBitmap **bitmaps,
                     cxBitmap **masks, cxBitmap **alphas, uint32_t **raw, int32_t transparentColour);
    /* The frames of a sprite (not copies) and whether it is a sprite link. */
    int (*getSprite)(lua_State *L, cxObjectID id, int32_t *frames, int32_t *width, int32_t *height, cxBitmap ***bitmaps,
                     cxBitmap ***masks, cxBitmap ***alphas, int *isLink);
} cxSpriteFrameHooks;

void SetSpriteFrameHooks(const cxSpriteFrameHooks *hooks);
const cxSpriteFrameHooks *GetSpriteFrameHooks(void);

#ifdef __cplusplus
}
#endif
