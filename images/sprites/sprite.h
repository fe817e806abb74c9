// Sprites (kind 32): multi-frame images shown above the BGPic while layers
// are off. The records and their list, the on-screen list each BGPic keeps
// (sprites in list order, and entries of other owners such as videos that
// stay above them), and what the display refresh, collisions and moves
// need of them.
//
// Ownership: the list owns its records; a plain sprite owns its frames
// (bitmaps, masks, alpha channels, and raw ARGB frames until a display
// exists). A sprite link owns only its group list: its frames are those
// of its members, which must outlive it (freeing a member frees the links
// that hold it). A BGPic owns its on-screen nodes; a node points at the
// sprite it shows, so freeing a sprite first takes it off every BGPic.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxBGPic;

typedef struct cxSprite {
    cxObjectHeader header;      /* kind 32 (CX_OBJ_SPRITE) */
    int32_t width, height;
    int32_t frames;             /* a link: the sum of its members' frames */
    uint32_t locked;            /* uses that forbid changes and freeing (moves) */
    struct cxSprite **group;    /* a link: its members, null-terminated; null for a plain sprite */
    int32_t transparentColour;  /* -1 none */
    cxBitmap **bitmaps, **masks, **alphas; /* per frame (plain sprites) */
    uint32_t **raw;             /* per frame: ARGB words kept until a display exists (malloc'd), or null */
} cxSprite;

/* An entry of a BGPic's on-screen list. The list is drawn from the head:
   later entries lie above earlier ones. */
typedef struct cxSpriteDrawNode {
    struct cxSpriteDrawNode *next;
    cxObjectID id;              /* the sprite's ID (or the owner's object) */
    int32_t x, y, width, height;
    int32_t frame;              /* 1-based */
    cxSprite *sprite;           /* null for an owner's entry */
    void *owner;                /* non-null: an entry of another kind (a video) */
    /* Draws an owner's entry into the rectangle of dst (may be null:
       nothing is drawn). */
    void (*drawOwner)(lua_State *L, struct cxSpriteDrawNode *node, cxBitmap *dst, int32_t x, int32_t y,
                      int32_t width, int32_t height);
    int32_t mark;               /* 0 plain, -1 never drawn, other: marked for RedrawMarkedSprites */
} cxSpriteDrawNode;

/* Access flags of FindSprite. */
#define CX_FINDSPRITE_WRITE 1u /* the caller changes or frees it: ERR_LOCKEDOBJ while locked */

cxSprite *GetFirstSprite(void);
cxObjectList *GetSpriteList(void);

/* 0; ERR_FINDSPRITE (number as detail) or ERR_FINDARRAY; ERR_LOCKEDOBJ
   with CX_FINDSPRITE_WRITE for a locked sprite. */
int FindSprite(lua_State *L, cxObjectID id, cxSprite **out, uint32_t flags);

/* A new plain sprite of the frames (arrays of frames entries; the record
   takes over their contents on success; masks, alphas and raw may be null
   or hold null entries). *id with a pointer asks for an automatic ID
   (written back). 0 or ERR_MEM. */
int AddSpriteRecord(cxObjectID *id, int32_t frames, int32_t width, int32_t height, cxBitmap **bitmaps,
                    cxBitmap **masks, cxBitmap **alphas, uint32_t **raw, int32_t transparentColour, cxSprite **out);
/* A sprite link of the sprites (count entries): each must be a plain
   sprite (ERR_SPRITELINK) of the first one's size (ERR_WRONGSPRITESIZE).
   0, those errors or ERR_MEM. */
int AddSpriteLink(cxObjectID *id, cxSprite *const *members, int32_t count, cxSprite **out);
/* A copy under newId with bitmaps of its own (a link: its own group
   list). 0, ERR_MEM or a copy's error; nothing is left on failure. */
int CopySpriteRecord(lua_State *L, const cxSprite *source, cxObjectID newId, cxSprite **out);

/* FreeSprite's work (also for other subsystems' clean-ups): a locked
   sprite gives ERR_LOCKEDOBJ; the sprite leaves every screen, the links
   that hold it are freed too, then it. A sprite that does not exist is an
   error only with reportNotFound. */
int FreeSpriteByID(lua_State *L, cxObjectID id, int reportNotFound);
/* At clean-up. */
void FreeAllSprites(lua_State *L);

/* 1 when the sprite is a member of some link. */
int IsSpriteLinked(const cxSprite *sprite);

/* Frame index (0-based) of a sprite: a link walks its members, each
   giving its frames in turn. 0, ERR_ANIMFRAME, or an error of making the
   bitmaps of raw frames. */
int GetSpriteFrame(cxSprite *sprite, int32_t index, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha);

/* Every sprite loaded before a display existed gets its bitmaps (from
   its raw frames and transparent colour); the raw frames go. The first
   error stops the walk. */
int RealizePendingSprites(lua_State *L);

/* ---- the on-screen list ---- */

/* The list head of a BGPic. */
cxSpriteDrawNode *GetSpriteDrawList(const struct cxBGPic *bgpic);
/* The sprite's node on the current display's BGPic and its 0-based
   index; ERR_SPRITEONSCREEN (number as detail) or ERR_SPRITEONSCREEN2
   when it is not there; ERR_FINDDISPLAY without a display. */
int FindOnScreenSprite(cxObjectID id, cxSpriteDrawNode **node, int32_t *index);
/* Adds a node for an owner's object (a video drawn by an adapter), above
   every sprite. 0 or ERR_MEM. */
int AddSpriteDrawNode(struct cxBGPic *bgpic, cxObjectID id, int32_t x, int32_t y, int32_t width, int32_t height,
                      void *owner, cxSpriteDrawNode **out);
/* Takes the owner's nodes off the BGPic (nothing is redrawn). */
void RemoveOwnerDrawNodes(struct cxBGPic *bgpic, const void *owner);
/* Frees every node of a BGPic (it is being destroyed). */
void FreeSpriteDrawNodes(struct cxBGPic *bgpic);

/* Sprite entries of the BGPic (owners' entries are not counted). */
int CountSprites(const struct cxBGPic *bgpic);
/* 1 when the rectangle (x, y, width, height) overlaps any entry of the
   BGPic's list. */
int RectOverlapsSprites(const struct cxBGPic *bgpic, int32_t x, int32_t y, int32_t width, int32_t height);
/* The refresh's sprite pass: the BGPic's entries drawn into the rectangle
   of dst in list order; entries marked -1 never, with markedOnly only
   those with another non-zero mark. */
void DrawSprites(lua_State *L, const struct cxBGPic *bgpic, cxBitmap *dst, int32_t x, int32_t y, int32_t width,
                 int32_t height, int markedOnly);
/* The same pass over many disjoint boxes (x, y, width, height each, count
   of them) at once: each entry is drawn into the boxes it meets. */
void DrawSpritesInBoxes(lua_State *L, const struct cxBGPic *bgpic, cxBitmap *dst, const int32_t *boxes,
                        uint32_t count);
/* Redraws, once, the box spanning the entries of the current display's
   BGPic that carry the mark, and clears their marks. */
void RedrawMarkedSprites(lua_State *L, int32_t mark);

/* DisplaySprite's work at resolved coordinates: frame 0 advances a shown
   sprite by one (a new one shows frame 1). Checks as DisplaySprite. */
int ShowSprite(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t frame);

/* RemoveSprite, RemoveSprites and SetSpriteZPos on the current display,
   with their checks. keep: the sprites' pictures stay in the display's
   picture. */
int RemoveSpriteFromScreen(lua_State *L, cxObjectID id);
int RemoveAllSpritesFromScreen(lua_State *L, int keep);
int SetSpriteZPosition(lua_State *L, cxObjectID id, int32_t position);

/* The refusals of the sprite commands that touch the screen: redirected
   output (1056, 1229, 1339, 1082, 1147, 1167), then layers on the display
   or its BGPic (1162). ERR_FINDDISPLAY without a display. */
int CheckSpriteOutput(cxDisplay **out);

/* Repaints a rectangle of the display from its BGPic with everything
   above (the layers library's refresh; nothing without it). */
void RepaintDisplayRect(lua_State *L, cxDisplay *d, int32_t x, int32_t y, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif
