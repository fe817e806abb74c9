// Convolution effects: Gaussian blur (separable), sharpen, emboss and edge
// detection over a locked pixel rectangle and its optional alpha channel,
// with the image's edge pixels repeated beyond its borders.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_CONVOLVE_BLUR 98     /* 'b' */
#define CX_CONVOLVE_EMBOSS 101  /* 'e' */
#define CX_CONVOLVE_EDGE 103    /* 'g' */
#define CX_CONVOLVE_SHARPEN 115 /* 's' */

/* Widest kernels accepted: a 1-D blur of radius 512, a 2-D window of
   radius 64. Wider ones are refused before anything is allocated. */
#define CX_MAX_KERNEL_1D 1025
#define CX_MAX_KERNEL_2D 129

typedef struct cxConvolveJob {
    void *pixels; /* null: the alpha channel alone */
    int32_t width, height;
    int32_t rowLength; /* pixels */
    uint32_t pixelFormat;
    int32_t bytesPerPixel; /* 2, 3 or 4 */
    uint8_t *alpha;        /* or null */
    int32_t alphaRowLength; /* bytes */
    double radius;          /* below 0 taken as 0 */
    double sigma;
    int32_t kind; /* CX_CONVOLVE_* */
    int32_t result; /* out: 0, ERR_MEM, or ERR_WRONGUSAGE for a refused kernel */
} cxConvolveJob;

/* A positive radius gives 2 * ceil(radius) + 1; |sigma| <= 1e-10 gives 1;
   otherwise the first odd width from 5 up at which the outermost weight of
   the normalised Gaussian falls below 1/255, minus 2. Widths beyond the
   limits above come back as CX_MAX_KERNEL_1D + 2 so that callers refuse
   them; non-finite arguments too. */
int32_t KernelWidth1D(double radius, double sigma);
int32_t KernelWidth2D(double radius, double sigma);

/* Convolves in place. An allocation failure or a refused kernel leaves the
   pixels unchanged and says so in job->result. */
void ConvolvePixels(cxConvolveJob *job);

#ifdef __cplusplus
}
#endif
