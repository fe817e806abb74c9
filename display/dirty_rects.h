// Dirty-rectangle arrays: boxes of a display that changed since its last
// frame, kept as inclusive corners. A double-buffered display and a BGPic
// drawn into in layers mode collect their boxes here; the frame copies or
// redraws only what they cover.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* x1 of a box that was merged into another; readers skip it. */
#define CX_DIRTY_MERGED 100000
/* Boxes of a new array, and the step by which a growing array grows. */
#define CX_DIRTY_CAPACITY 1024

typedef struct cxDirtyBox {
    int32_t x1, y1, x2, y2; /* inclusive corners */
} cxDirtyBox;

/* count == capacity means "more changed than the array holds": the reader
   refreshes the whole picture. */
typedef struct cxDirtyRects {
    cxDirtyBox *boxes;
    uint32_t count;
    uint32_t capacity;
} cxDirtyRects;

/* Allocates room for capacity boxes, count 0. 0 or ERR_MEM (the array is
   then left empty). */
int InitDirtyRects(cxDirtyRects *rects, uint32_t capacity);
void FreeDirtyRects(cxDirtyRects *rects);

/* Appends {x, y, x + width - 1, y + height - 1}; empty boxes are ignored.
   A full array drops the box (count stays at capacity, which asks for a
   whole refresh) unless grow is set, when it grows by CX_DIRTY_CAPACITY
   boxes; a failed growth drops the box too. 1 when the box was kept. */
int AddDirtyRect(cxDirtyRects *rects, int32_t x, int32_t y, int32_t width, int32_t height, int grow);

/* 1 when the array asks for a whole refresh (it is full). */
int DirtyRectsFull(const cxDirtyRects *rects);

/* Merges boxes that overlap or lie at most one pixel apart into their
   union until no two live boxes touch, and compacts the live boxes to the
   front (count shrinks). The boxes left are disjoint, so their area never
   exceeds the picture's. Runs in about n log n for boxes spread over the
   picture: candidates are found through a grid, not by testing all pairs. */
void MergeDirtyRects(cxDirtyRects *rects);

#ifdef __cplusplus
}
#endif
