// The graphics library's settings that display blits read: how a selected
// mask is written (the mask mode), the alpha intensity written into a
// selected alpha channel, and how alpha sources reach it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The alpha intensity that means a plain copy. */
#define CX_ALPHA_PLAIN 0xFFFFFFFFu

typedef struct cxBlitSettings {
    int32_t maskMode;        /* CX_MASK* (graphics/blit/mask_alpha_rect.h), 0 at start */
    uint32_t alphaIntensity; /* 0-255, or CX_ALPHA_PLAIN (the start) */
    int32_t alphaOutputMode; /* 0-2, set when an alpha channel is selected as output */
} cxBlitSettings;

cxBlitSettings *GetBlitSettings(void);
void ResetBlitSettings(void);

#ifdef __cplusplus
}
#endif
