// A frame's dirty boxes as a region: disjoint rectangles that cover
// exactly the union of the boxes. The compositor redraws each pixel of the
// region once a frame, where a list of overlapping boxes (or of their
// unions) would redraw shared parts again, or parts nothing changed.
#pragma once

#include <stdint.h>

#include "display/dirty_rects.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxRegionRect {
    int32_t x, y, width, height;
} cxRegionRect;

/* The rectangles in the order made: by top edge, then by left edge. The
   array is kept between uses (count reset), so a region reused every
   frame stops allocating once it has grown. */
typedef struct cxDirtyRegion {
    cxRegionRect *rects;
    uint32_t count, capacity;
} cxDirtyRegion;

/* Makes the region of the live boxes (merged ones skipped) cut to the
   area (0, 0, width, height). Rows with the same spans share one
   rectangle: a box's rows become one rectangle where nothing else meets
   them. 0, or ERR_MEM with the region empty. */
int BuildDirtyRegion(cxDirtyRegion *region, const cxDirtyBox *boxes, uint32_t count, int32_t width, int32_t height);
void FreeDirtyRegion(cxDirtyRegion *region);

#ifdef __cplusplus
}
#endif
