#include "images/moves/move_path.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kSineStep = 0.08;
constexpr int64_t kSineAmplitude = 50;
constexpr double kCurveHeight = 150;

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

bool StraightShape(int32_t shape) {
    return shape != CX_MOVE_SINE && shape != CX_MOVE_BIGSINE && shape != CX_MOVE_LOWERCURVE &&
           shape != CX_MOVE_UPPERCURVE;
}

// The turning points of BOUNCE, as multiples of s beyond the end (each
// aimed at with the step turned).
constexpr int64_t kBounce[] = {16, -8, 4, -2, 1, 0};

void StraightPoint(const cxMovePath *p, int32_t *x, int32_t *y) {
    const int64_t major = p->travelled, minor = BresenhamMinor(major, p->length, p->minorLength);
    const int64_t mx = p->xMajor ? major : minor, my = p->xMajor ? minor : major;
    const int32_t sx = p->xMajor ? p->majorSign : p->minorSign, sy = p->xMajor ? p->minorSign : p->majorSign;
    *x = int32_t(p->x1 + sx * mx);
    *y = int32_t(p->y1 + sy * my);
}

// Moves along the line; 1 on the last step.
int StraightStep(cxMovePath *p) {
    const int64_t s = p->speed, end = p->length;
    switch (p->shape) {
    case CX_MOVE_SMOOTHOUT:
        if (end - p->travelled <= 6 * s) p->step = std::max<int64_t>(1, p->step - std::max<int64_t>(1, (s + 5) / 10));
        p->travelled += p->step;
        if (p->travelled < end) return 0;
        p->travelled = end;
        return 1;
    case CX_MOVE_BOUNCE: {
        p->travelled += p->step;
        const int64_t target = end + kBounce[p->phase] * s;
        if (p->step > 0 ? p->travelled < target : p->travelled > target) return 0;
        p->travelled = target;
        if (++p->phase == int32_t(sizeof kBounce / sizeof kBounce[0])) return 1;
        p->step = -p->step;
        return 0;
    }
    case CX_MOVE_DAMPED:
        p->travelled += p->step;
        if (p->phase == 0) {
            // Past the end the step loses a quarter and runs on.
            if (p->travelled >= end) {
                p->step = std::max<int64_t>(1, p->step - std::max<int64_t>(1, p->step / 4));
                p->phase = 1;
            }
            return 0;
        }
        if (p->phase == 1) {
            if (p->travelled < end + 8 * s) return 0;
            p->travelled = end + 8 * s;
            p->step = -std::max<int64_t>(1, p->step / 2);
            p->phase = 2;
            return 0;
        }
        if (p->travelled > end) return 0;
        p->travelled = end;
        return 1;
    default:
        p->travelled += p->step;
        if (p->travelled < end) return 0;
        p->travelled = end;
        return 1;
    }
}

// Moves along x with the wave or the arc; 1 on the last step.
int WaveStep(cxMovePath *p, int32_t *y) {
    const int64_t dx = int64_t(p->x2) - p->x1;
    const int64_t next = int64_t(p->x) + (dx >= 0 ? p->speed : -int64_t(p->speed));
    if (dx == 0 || (dx > 0 ? next >= p->x2 : next <= p->x2)) return 1;
    p->x = int32_t(next);
    if (p->shape == CX_MOVE_SINE || p->shape == CX_MOVE_BIGSINE) {
        *y = int32_t(std::trunc(p->wave[p->index]));
        p->index = (p->index + 1) % CX_MOVE_SINE_STEPS;
    } else {
        const int64_t d = std::llabs(int64_t(p->x) - p->x1);
        const int64_t rise = int64_t(std::trunc(kCurveHeight * std::sin(double(d + 1) * p->angleStep)));
        *y = int32_t(p->shape == CX_MOVE_LOWERCURVE ? p->y1 + rise : p->y1 - rise);
    }
    return 0;
}

}  // namespace

extern "C" int32_t BoundMoveCoordinate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, -CX_MOVE_COORD_LIMIT, CX_MOVE_COORD_LIMIT));
}

extern "C" int64_t BresenhamMinor(int64_t i, int64_t length, int64_t minor) {
    // The line's error term e = 2 minor - major, with a minor step whenever
    // it is positive, puts the minor coordinate at step i at
    // ceil((2 i minor - length) / (2 length)).
    if (length <= 0) return 0;
    return -FloorDiv(-(2 * i * minor - length), 2 * length);
}

extern "C" void InitMovePath(cxMovePath *p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t shape,
                             int32_t speed, int32_t room) {
    *p = cxMovePath{};
    p->x1 = BoundMoveCoordinate(x1), p->y1 = BoundMoveCoordinate(y1);
    p->x2 = BoundMoveCoordinate(x2), p->y2 = BoundMoveCoordinate(y2);
    p->shape = shape;
    p->speed = std::clamp<int32_t>(speed, 1, CX_MOVE_SPEED_LIMIT);
    const int64_t dx = int64_t(p->x2) - p->x1, dy = int64_t(p->y2) - p->y1;
    p->xMajor = std::llabs(dx) >= std::llabs(dy);
    p->length = p->xMajor ? std::llabs(dx) : std::llabs(dy);
    p->minorLength = p->xMajor ? std::llabs(dy) : std::llabs(dx);
    const int64_t major = p->xMajor ? dx : dy, minor = p->xMajor ? dy : dx;
    p->majorSign = major < 0 ? -1 : 1;
    p->minorSign = minor < 0 ? -1 : 1;
    p->step = p->speed;
    p->x = p->x1;
    const double amplitude = shape == CX_MOVE_BIGSINE ? double(std::max(room, 0) / 2) : double(kSineAmplitude);
    for (int i = 0; i < CX_MOVE_SINE_STEPS; ++i) p->wave[i] = p->y1 + amplitude * std::sin((i + 1) * kSineStep);
    p->angleStep = dx ? M_PI / double(std::llabs(dx)) : 0;
}

extern "C" int NextMovePosition(cxMovePath *p, int32_t *x, int32_t *y) {
    if (!p->done) {
        if (StraightShape(p->shape)) {
            if (p->length == 0) p->done = 1;
            else p->done = StraightStep(p);
            StraightPoint(p, x, y);
            if (!p->done) return 0;
        } else if (!(p->done = WaveStep(p, y))) {
            *x = p->x;
            return 0;
        }
    }
    *x = p->x2, *y = p->y2;
    return 1;
}
