#include "text/library/text_options.h"

#include <cmath>

#include "engine/runtime/runtime.h"

extern "C" void MakeTextMatrix(double sx, double sy, double angle, double m[4]) {
    const double r = angle * M_PI / 180.0, c = std::cos(r), s = std::sin(r);
    // Screen y grows downward: a positive angle turns counter-clockwise as seen.
    m[0] = c * sx;
    m[1] = s * sy;
    m[2] = -s * sx;
    m[3] = c * sy;
}

extern "C" int ReadTextDisplayOptions(lua_State *L, int index, cxTextDrawOptions *o) {
    InitTextDrawOptions(o);
    double ax = 0, ay = 0, angle = 0, sx = 1, sy = 1;
    int smooth = 1;
    GetTableDouble(L, index, "anchorx", &ax, nullptr);
    GetTableDouble(L, index, "anchory", &ay, nullptr);
    GetTableDouble(L, index, "rotate", &angle, nullptr);
    GetTableDouble(L, index, "scalex", &sx, nullptr);
    GetTableDouble(L, index, "scaley", &sy, nullptr);
    GetTableInt(L, index, "smoothscale", &smooth, nullptr);
    if (!(ax >= 0 && ax <= 1 && ay >= 0 && ay <= 1) || !std::isfinite(angle) || !(std::fabs(sx) > 0 && std::fabs(sx) < 1000) ||
        !(std::fabs(sy) > 0 && std::fabs(sy) < 1000))
        return ERR_WRONGUSAGE;
    o->anchorX = ax;
    o->anchorY = ay;
    o->smooth = smooth;
    MakeTextMatrix(sx, sy, std::fmod(angle, 360.0), o->matrix);
    if (std::fmod(angle, 360.0) == 0 && sx == 1 && sy == 1) InitTextDrawOptions(o), o->anchorX = ax, o->anchorY = ay;
    return 0;
}
