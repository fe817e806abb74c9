// The largest picture the readers accept. Every reader checks the size it
// reads from a header against this before it allocates anything, so a
// tiny hostile file cannot ask for gigabytes.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The default: 2^28 pixels (1 GiB of 32-bit words), as for image handles. */
#define CX_IMAGE_PIXEL_LIMIT ((uint64_t)1 << 28)

/* 1 when width and height are both at least 1 and their product stays
   within the limit. */
int IsImageSizeAllowed(int64_t width, int64_t height);
uint64_t GetImagePixelLimit(void);
/* Lowers or raises the limit (tests and fuzzing use a smaller one); 0
   restores the default. */
void SetImagePixelLimit(uint64_t pixels);

#ifdef __cplusplus
}
#endif
