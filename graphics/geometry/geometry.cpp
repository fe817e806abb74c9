#include "graphics/geometry/geometry.h"

#include <cmath>

#include "errors/error_codes.h"
#include "graphics/transform/transform.h"

namespace {

// The offset of v from the special value base, when v lies in its window.
bool Near(int32_t v, int32_t base, int32_t *offset) {
    const int64_t off = int64_t(v) - base;
    if (off < -CX_SPECIAL_OFFSET_RANGE || off >= CX_SPECIAL_OFFSET_RANGE) return false;
    *offset = int32_t(off);
    return true;
}

int32_t Resolve(int32_t v, int32_t size, int32_t room, double anchor, int32_t low, int32_t high, int32_t lowOut,
                int32_t highOut) {
    int32_t off = 0;
    int64_t at;
    if (Near(v, CX_SPECIAL_CENTER, &off))
        at = (int64_t(room) - size) / 2;
    else if (Near(v, low, &off))
        at = 0;
    else if (Near(v, high, &off))
        at = int64_t(room) - size;
    else if (Near(v, lowOut, &off))
        at = -int64_t(size);
    else if (Near(v, highOut, &off))
        at = room;
    else
        return v;
    return int32_t(at + off + int64_t(size * anchor));
}

bool IsSpecial(int32_t v, int32_t low, int32_t high, int32_t lowOut, int32_t highOut) {
    int32_t off;
    return Near(v, CX_SPECIAL_CENTER, &off) || Near(v, low, &off) || Near(v, high, &off) || Near(v, lowOut, &off) ||
           Near(v, highOut, &off);
}

}  // namespace

extern "C" int32_t ResolveSpecialX(int32_t x, int32_t size, int32_t room, double anchor) {
    return Resolve(x, size, room, anchor, CX_SPECIAL_LEFT, CX_SPECIAL_RIGHT, CX_SPECIAL_LEFTOUT, CX_SPECIAL_RIGHTOUT);
}

extern "C" int32_t ResolveSpecialY(int32_t y, int32_t size, int32_t room, double anchor) {
    return Resolve(y, size, room, anchor, CX_SPECIAL_TOP, CX_SPECIAL_BOTTOM, CX_SPECIAL_TOPOUT, CX_SPECIAL_BOTTOMOUT);
}

extern "C" int IsSpecialX(int32_t x) {
    return IsSpecial(x, CX_SPECIAL_LEFT, CX_SPECIAL_RIGHT, CX_SPECIAL_LEFTOUT, CX_SPECIAL_RIGHTOUT);
}

extern "C" int IsSpecialY(int32_t y) {
    return IsSpecial(y, CX_SPECIAL_TOP, CX_SPECIAL_BOTTOM, CX_SPECIAL_TOPOUT, CX_SPECIAL_BOTTOMOUT);
}

extern "C" int ApplyKeepAspectRatio(int32_t srcWidth, int32_t srcHeight, int32_t *width, int32_t *height) {
    const bool keepW = *width == CX_KEEPASPRAT, keepH = *height == CX_KEEPASPRAT;
    if (keepW && keepH) return ERR_WRONGUSAGE;
    if (keepW || keepH) {
        if (srcWidth < 1 || srcHeight < 1) return ERR_BADDIMENSIONS;
        // Computed in doubles: the product of two sizes can pass 31 bits.
        const double v = keepW ? double(*height) * srcWidth / srcHeight : double(*width) * srcHeight / srcWidth;
        const double r = std::floor(v + 0.5);
        const int32_t out = r > 2147483647.0 ? 2147483647 : int32_t(r);
        (keepW ? *width : *height) = out;
    }
    if (*width < 1 || *height < 1) return ERR_BADDIMENSIONS;
    return 0;
}

extern "C" void MakeTransformMatrix(double m[4], int32_t newWidth, int32_t newHeight, int32_t srcWidth,
                                    int32_t srcHeight, double scaleX, double scaleY, double angle) {
    if (newWidth && srcWidth) scaleX = double(newWidth) / srcWidth;
    if (newHeight && srcHeight) scaleY = double(newHeight) / srcHeight;
    double a = std::fmod(angle, 360.0);
    if (a < 0) a += 360.0;
    double c, s;
    if (a == 0.0) c = 1, s = 0;
    else if (a == 90.0) c = 0, s = 1;
    else if (a == 180.0) c = -1, s = 0;
    else if (a == 270.0) c = 0, s = -1;
    else {
        const double rad = a * M_PI / 180.0;
        c = std::cos(rad);
        s = std::sin(rad);
    }
    // y grows downwards: a counter-clockwise turn on the screen.
    m[0] = c * scaleX;
    m[1] = s * scaleY;
    m[2] = -s * scaleX;
    m[3] = c * scaleY;
}

extern "C" int IsIdentityMatrix(const double m[4]) { return m[0] == 1.0 && m[1] == 0.0 && m[2] == 0.0 && m[3] == 1.0; }

extern "C" int IsPlainScaleMatrix(const double m[4]) { return m[1] == 0.0 && m[2] == 0.0 && m[0] >= 0.0 && m[3] >= 0.0; }

extern "C" int GetTransformedBounds(const double m[4], int32_t width, int32_t height, int32_t *x, int32_t *y,
                                    int32_t *outWidth, int32_t *outHeight) {
    double minX = 0, minY = 0;
    if (int err = GetTransformedSize(m, width, height, outWidth, outHeight, &minX, &minY)) return err;
    *x = int32_t(std::lround(minX));
    *y = int32_t(std::lround(minY));
    return 0;
}
