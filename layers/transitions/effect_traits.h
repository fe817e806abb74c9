// What the engine knows of each effect number, in one table: its name, the
// step and clean-up functions of its family, and the lists the engine
// consults (BGPic-only effects, the ones that need the old picture, the
// ones that keep their mask and alpha channel, phase-2 redraws, mirrored
// pairs for hiding). A family not built yet has no step function: asking
// for it fails with ERR_WRONGUSAGE.
#pragma once

#include <stdint.h>

#include "layers/transitions/effect_instance.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Trait bits. */
#define CX_FXT_BGPICONLY 0x0001u     /* needs a whole background: effect 0 for other targets */
#define CX_FXT_OLD_DIRECT 0x0002u    /* needs the old picture outside layer mode */
#define CX_FXT_OLD_ALWAYS 0x0004u    /* needs the old picture in either mode */
#define CX_FXT_OLD_LAYER 0x0008u     /* needs the old picture in layer mode */
#define CX_FXT_OLD_WITHLAYER 0x0010u /* hiding: the old picture shows the layer */
#define CX_FXT_OLD_WITHLAYER_DIRECT 0x0020u /* the same, outside layer mode only */
#define CX_FXT_KEEPCHANNEL 0x0040u   /* draws through the picture's mask or alpha: never flattened */
#define CX_FXT_HIDE_LAYERMODE 0x0080u /* hiding runs in layer mode */
#define CX_FXT_PHASE2 0x0100u        /* redraws a step in phase 2 (seeking) */
#define CX_FXT_FADEBORDER 0x0200u    /* border and shadow follow the family's fade level */
#define CX_FXT_SCROLL 0x0400u        /* moves the layer instead of drawing it */
#define CX_FXT_REVEAL 0x0800u        /* each step uncovers parts of the new picture at their places */

typedef struct cxEffectTraits {
    int32_t number;
    const char *name;         /* the script constant; null for 113 */
    cxEffectStepFunc step;    /* null: not built */
    cxEffectCleanupFunc cleanup;
    uint32_t flags;
    int32_t mirror;           /* the effect a reversed run uses (its own number when none) */
} cxEffectTraits;

/* The row of an effect number; null outside 0..139. */
const cxEffectTraits *GetEffectTraits(int32_t effect);
/* 1 when the number is an effect with a step function. */
int IsEffectBuilt(int32_t effect);

/* The effect number of a constant name (exact, upper case), -1 when none;
   used by tools. The aliases of 47..50 are found too. */
int32_t FindEffectByName(const char *name);

#ifdef __cplusplus
}
#endif
