// Layer filters: 21 slots (one per filter, in the order of the filter
// table in filters.cpp), read from the "filters" key of an option table
// and run over a layer's image by priority with the graphics kernels.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "images/core/display_options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name of a slot ("blur" ...), or null beyond the last. */
const char *GetFilterName(int slot);
/* The slot of a name (without regard to case), -1 when none. */
int FindFilterSlot(const char *name);
/* Puts a slot's default arguments in place (its active flag and priority
   are left). */
void SetFilterDefaults(cxFilter *filter, int slot);
/* A slot's arguments in the order of its argument kinds, as the "args"
   array of a filter table lists them. Returns how many (at most 5). */
int GetFilterArgs(const cxFilter *filter, int slot, double out[5]);

/* Reads the "filters" field of the option table at index into the slots.
   Returns 1 when the field was there (then *hasFilters is set), 0 when it
   is absent (the slots stay). *error: 0, 1446 for a field or element that
   is no table, 1445 for an element without "name" (0-based index as
   detail), 1247 for a name that is no string, 1444 for an unknown name,
   1189 for a non-number "disable", "priority" or argument, 1055 for an
   argument the kernel would refuse (a radius beyond its limit, a number
   that is not finite, a colour count outside 1..256). On an error the
   slots hold what was read before it. */
int ParseFilterTable(lua_State *L, int table, cxFilter filters[CX_FILTER_SLOTS], int *hasFilters, int *error);

/* Runs the active slots, highest priority first, ties in slot order; with
   geometryOnly only pixelate, swirl, water ripple and the flips (the ones
   that move pixels, and so the mask and alpha too). Kernel errors do not
   stop the run: the last kernel's result is returned (0 when none ran). */
int ApplyLayerFilters(const cxFilter filters[CX_FILTER_SLOTS], cxBitmap *bitmap, cxBitmap *mask, cxBitmap *alpha,
                      int32_t width, int32_t height, int geometryOnly);

/* 1 when any slot is active. */
int HasActiveFilterSlots(const cxFilter filters[CX_FILTER_SLOTS]);

#ifdef __cplusplus
}
#endif
