// The path of a move: the positions an object takes, step by step, from a
// start point to an end point along a straight line or one of the path
// shapes. Pure arithmetic: no state outside the record, no allocation.
//
// Straight shapes run along the major axis (x when |dx| >= |dy|), the
// minor coordinate following the Bresenham line through both points (and
// on beyond the end, where BOUNCE and DAMPED overshoot). Each position is
// computed from the distance travelled, so a path of any length costs the
// same. Coordinates are bounded to +-CX_MOVE_COORD_LIMIT and speeds to
// 1..CX_MOVE_SPEED_LIMIT, which keeps every product in 64 bits.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Path shapes ("fx"). Other values move straight. */
#define CX_MOVE_STRAIGHT 0
#define CX_MOVE_BOUNCE 1
#define CX_MOVE_SMOOTHOUT 2
#define CX_MOVE_DAMPED 3
#define CX_MOVE_SINE 4
#define CX_MOVE_BIGSINE 5
#define CX_MOVE_LOWERCURVE 6
#define CX_MOVE_UPPERCURVE 7

#define CX_MOVE_COORD_LIMIT (1 << 24)
#define CX_MOVE_SPEED_LIMIT (1 << 24)
#define CX_MOVE_SINE_STEPS 79

typedef struct cxMovePath {
    int32_t x1, y1, x2, y2;
    int32_t shape;
    int32_t speed;             /* pixels per step, s */
    /* Straight shapes. */
    int32_t xMajor;            /* 1: x is the major axis */
    int64_t length, minorLength; /* |d| along the major and the minor axis */
    int32_t majorSign, minorSign;
    int64_t travelled;         /* along the major axis; beyond length while overshooting */
    int64_t step;              /* the current step, signed */
    int32_t phase;             /* BOUNCE, DAMPED: the turning point aimed at */
    /* Wave shapes. */
    int32_t x;                 /* current x */
    int32_t index;             /* SINE, BIGSINE: the next table entry */
    double wave[CX_MOVE_SINE_STEPS];
    double angleStep;          /* the curves */
    int32_t done;
} cxMovePath;

/* Sets a path up. Coordinates and speed are bounded as said above; room
   is the height BIGSINE swings in (the BGPic's). The start is the
   position before the first step. */
void InitMovePath(cxMovePath *path, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t shape, int32_t speed,
                  int32_t room);
/* The next position. 1 when it is the last (the end point), 0 otherwise;
   after the last, the end point again. */
int NextMovePosition(cxMovePath *path, int32_t *x, int32_t *y);

/* The minor-axis offset of a Bresenham line of major length length and
   minor length minor, at major offset i (any sign). */
int64_t BresenhamMinor(int64_t i, int64_t length, int64_t minor);

/* A coordinate bounded as paths keep them. */
int32_t BoundMoveCoordinate(int64_t value);

#ifdef __cplusplus
}
#endif
