// Copies of an image padded on every side with its nearest edge pixels, so
// that a kernel of a given width can read its whole window without bounds
// tests.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A copy of width x height pixels (rows rowLength entries apart) padded by
   kernelWidth / 2 on every side with the nearest edge pixel. Padded rows
   hold width + 2 * (kernelWidth / 2) entries rounded up to a multiple of 4,
   reported in *paddedRowLength; the copy has height + 2 * (kernelWidth / 2)
   rows. With buffer null the copy is allocated (release it with free) and
   null is returned when memory runs out or the sizes are not usable; a given
   buffer must hold PaddedBufferEntries(width, height, kernelWidth) entries. */
uint32_t *PadPixels32(const uint32_t *pixels, int32_t width, int32_t height, int32_t rowLength, int32_t kernelWidth,
                      uint32_t *buffer, int32_t *paddedRowLength);
uint16_t *PadPixels16(const uint16_t *pixels, int32_t width, int32_t height, int32_t rowLength, int32_t kernelWidth,
                      uint16_t *buffer, int32_t *paddedRowLength);
uint8_t *PadAlphaBytes(const uint8_t *bytes, int32_t width, int32_t height, int32_t rowLength, int32_t kernelWidth,
                       uint8_t *buffer, int32_t *paddedRowLength);

/* Entries the padded copy needs; 0 for unusable sizes. */
int64_t PaddedBufferEntries(int32_t width, int32_t height, int32_t kernelWidth);

#ifdef __cplusplus
}
#endif
