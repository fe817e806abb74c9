// Pixel formats 0-13 and every conversion between them and script colours.
// All format knowledge lives in one table (pixel_format_table.h); the
// functions here and the kernels read it, nothing else converts by hand.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Formats 0-13 are colour formats; lock records also use 14 and 15. */
#define CX_PIXFMT_COUNT 14
#define CX_PIXFMT_ALPHA 14
#define CX_PIXFMT_MASK 15
#define CX_PIXFMT_DEFAULT 10 /* 0xAARRGGBB */

/* 2 for formats 0-7, 3 for 8 and 9, 4 for 10-13, 0 otherwise. */
uint32_t GetBytesPerPixel(uint32_t format);
/* 15, 16, 24 or 32; 0 above 13. */
uint32_t GetFormatDepth(uint32_t format);

/* Script colour 0xAARRGGBB to a pixel value. 15/16-bit formats keep the top
   5 (6 for 565 green) bits of each channel; alpha reaches formats 10-13 only
   with keepAlpha. Formats above 13 give 0. */
uint32_t ColorToPixel(uint32_t colour, uint32_t format, int keepAlpha);
/* Pixel value to 0xAARRGGBB: short channels are widened with zero low bits;
   alpha (formats 10-13) only with keepAlpha. Formats above 13 give 0. */
uint32_t PixelToColor(uint32_t pixel, uint32_t format, int keepAlpha);

/* 32-bit working form 0x00RRGGBB: formats 11-13 are converted with their
   alpha dropped, any other value is returned unchanged. */
uint32_t FormatToRGB(uint32_t format, uint32_t pixel);
/* Inverse of FormatToRGB: 11 gives 0xBBGGRR00, 12 0xRRGGBB00, 13 0x00BBGGRR,
   other formats return the value unchanged. Alpha is never carried. */
uint32_t RGBToFormat(uint32_t format, uint32_t rgb);
/* 16-bit working form RGB 5-6-5 for formats 0-7 (5-5-5 green widened by one
   zero bit); format 4 and the rest unchanged. */
uint32_t FormatToRGB565(uint32_t format, uint32_t pixel);
/* Inverse of FormatToRGB565 (5-5-5 formats take the top 5 bits of green). */
uint32_t RGB565ToFormat(uint32_t format, uint32_t rgb565);

/* One pixel in memory (2, 3 or 4 bytes in the format's storage order) to
   {red, green, blue, alpha} bytes; alpha is 0 in formats without one.
   Formats above 13 write nothing. */
void UnpackPixel(const void *pixel, uint32_t format, uint8_t rgba[4]);
/* {red, green, blue, alpha} to one pixel in memory; alpha is stored only by
   formats 10-13. Formats above 13 write nothing. */
void PackPixel(void *pixel, uint32_t format, const uint8_t rgba[4]);

/* Raw pixel value at an address (24-bit values read high byte first) and the
   inverse store. Formats above 13 read 0 and write nothing. */
uint32_t LoadPixelValue(const void *pixel, uint32_t format);
void StorePixelValue(void *pixel, uint32_t format, uint32_t value);

/* Converts count pixels from one format to another through 0xAARRGGBB:
   colour channels by their meaning, alpha carried between formats 10-13 and
   0 in a 32-bit target whose source has none. Same format: a plain copy.
   Returns 0 when either format is unknown, else 1. */
int ConvertPixelRow(const void *src, uint32_t srcFormat, void *dst, uint32_t dstFormat, int32_t count);

/* count pixels of a format to 0xAARRGGBB words, and back. */
int PixelRowToARGB(const void *src, uint32_t format, uint32_t *argb, int32_t count);
int ARGBToPixelRow(const uint32_t *argb, void *dst, uint32_t format, int32_t count);

#ifdef __cplusplus
}
#endif
