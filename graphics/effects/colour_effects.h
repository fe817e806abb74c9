// Per-pixel colour effects over a rectangle of locked pixels: solarize,
// gamma tables, contrast, HSL modulation, sepia tone, the levels stretch,
// monochrome stores and the oil-paint filter. Members named 16 take formats
// 0-7, members named 32 formats 8-13; any other format changes nothing.
// Channels are worked on as 8-bit values (short channels with their low bits
// zero) and stored back from their top bits; bits outside the colour
// channels are kept.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Luminance 0.299 R + 0.587 G + 0.114 B, in double precision. */
double Luminance(uint32_t r, uint32_t g, uint32_t b);

/* Each channel above the threshold becomes 255 - channel. */
void SolarizePixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                      int32_t threshold);
void SolarizePixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                      int32_t threshold);

/* Channel c becomes table[c]: red when flags & 1, green & 2, blue & 4. */
void GammaPixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                   const uint8_t red[256], const uint8_t green[256], const uint8_t blue[256], uint32_t flags);
void GammaPixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                   const uint8_t red[256], const uint8_t green[256], const uint8_t blue[256], uint32_t flags);

/* Moves the HSB brightness b by sign * 0.5 * (0.5 * (sin(pi * (b - 0.5)) + 1) - b),
   limited to 0..1. */
void ContrastColor(int32_t sign, uint8_t *red, uint8_t *green, uint8_t *blue);
/* Each pixel through ContrastColor, times times in a row (a pixel that no
   longer changes is left early). */
void ContrastPixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, int32_t sign,
                      int32_t times);
void ContrastPixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, int32_t sign,
                      int32_t times);

/* HSL of 8-bit channels, each 0..1. */
void ColorToHSL(uint32_t r, uint32_t g, uint32_t b, double *h, double *s, double *l);
/* Brightness, saturation and hue in percent (100 = unchanged); the hue turns
   by (hue / 100 - 1) / 2 of a full turn. Non-finite arguments leave the
   colour unchanged. */
void ModulateColor(double brightness, double saturation, double hue, uint8_t *red, uint8_t *green, uint8_t *blue);
void ModulatePixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                      double brightness, double saturation, double hue);
void ModulatePixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                      double brightness, double saturation, double hue);

void SepiaPixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                   int32_t threshold);
void SepiaPixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                   int32_t threshold);

/* Black point: first level whose cumulative count from 0 exceeds
   blackCount; white point: first level from 255 down whose cumulative count
   from the top exceeds width * height - whiteCount; 0 when none. */
void FindLevelPoints(const uint32_t histogram[256], double blackCount, double whiteCount, int32_t width,
                     int32_t height, int32_t *black, int32_t *white);
/* Stretches every channel so that the luminance levels between the black
   and the white point span 0..255; nothing when they are equal. */
void StretchLevels(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                   double blackCount, double whiteCount);

/* Index 0 stores black, any other index white; indices are width bytes per
   row. */
void StoreMonochrome16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                       const uint8_t *indices);
void StoreMonochrome32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format,
                       const uint8_t *indices);

/* Oil paint: each pixel becomes the first pixel of its window whose
   luminance is the most frequent one. The window is KernelWidth2D(radius,
   0.5) pixels wide over a copy padded with the edge pixels. Returns 0, or
   ERR_MEM (nothing changed) when the copy cannot be made, or ERR_WRONGUSAGE
   for a radius that is not a number or gives a window wider than
   CX_MAX_KERNEL_2D. */
int OilPaintPixels16(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, double radius);
int OilPaintPixels32(void *pixels, int32_t width, int32_t height, int32_t rowLength, uint32_t format, double radius);

#ifdef __cplusplus
}
#endif
