// Amiga bitplanes: the IFF chunk search, the body readers (raw and
// ByteRun1), planar-to-chunky conversion, HAM decoding and palette mapping.
// The ILBM reader uses them, and so do the IFF ANIM and CDXL readers.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes in one row of one plane: whole 16-bit words. */
#define CX_PLANE_ROW_BYTES(width) ((((size_t)(width) + 15) >> 4) * 2)

/* Finds the four-character id from the stream's position on, wrapping once
   to offset 12 (just after the form type); 1 with the stream just after
   the id, or 0. */
int FindILBMChunk(cxStream *stream, const char *id);

/* Read a body into a plane buffer: for 1-8 planes plane after plane (plane
   p at p * height * bytes-per-row), for 24 planes row after row as stored.
   A mask plane (masking 1) is read and dropped. 1, or 0 on a short read. */
int ReadRawBitplanes(cxStream *stream, uint8_t *planes, uint32_t bodySize, int width, int height, int depth,
                     int masking);
int ReadByteRun1Bitplanes(cxStream *stream, uint8_t *planes, uint32_t bodySize, int width, int height, int depth,
                          int masking);

/* 1-8 planes: one index byte per pixel into output (rows width bytes apart,
   zeroed beforehand). 24 planes: 32-bit pixels with the bytes 0, R, G, B in
   memory, rows outputBytesPerRow apart. */
void ConvertBitplanes(const uint8_t *planes, int width, int height, int depth, size_t bytesPerPlaneRow,
                      void *output, size_t outputBytesPerRow);

/* HAM indices to 0x00RRGGBB words; every row starts from black. */
void DecodeHAM6(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width, int height);
void DecodeHAM8(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width, int height);
/* pixel = palette[index]. */
void MapPaletteIndices(const uint8_t *indices, uint32_t *pixels, const uint32_t *palette, int width, int height);

/* Extra-Half-Brite: entries 32-63 become entries 0-31 at half brightness. */
void ApplyExtraHalfBrite(uint32_t *palette);

#ifdef __cplusplus
}
#endif
