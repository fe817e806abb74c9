#include "text/library/text_options.h"

#include <cmath>

#include "engine/runtime/runtime.h"
#include "graphics/geometry/geometry.h"
#include "images/core/display_options.h"
#include "text/library/text_state.h"

extern "C" void MakeTextMatrix(double sx, double sy, double angle, double m[4]) {
    MakeTransformMatrix(m, 0, 0, 0, 0, sx, sy, angle);
}

extern "C" int ReadTextDisplayOptions(lua_State *L, int index, cxTextDrawOptions *o) {
    InitTextDrawOptions(o);
    cxTransformOptions t;
    cxLayerOptions &l = o->layer;
    // Text has no size before it is laid out: the size keys do not apply.
    const uint32_t smooth = (GetTextStyle()->flags & CX_TEXT_ANTIALIAS) ? 1 : 0;
    if (int err = ReadDisplayOptions(L, index, 1, 1, 0, 0, smooth, &t, &l, CX_DOPT_INIT | CX_DOPT_NOSIZE)) return err;
    if (!(t.anchorX >= 0 && t.anchorX <= 1 && t.anchorY >= 0 && t.anchorY <= 1)) return ERR_WRONGUSAGE;
    for (double v : t.matrix)
        if (!std::isfinite(v)) return ERR_WRONGUSAGE;
    o->anchorX = t.anchorX;
    o->anchorY = t.anchorY;
    o->smooth = int32_t(t.smoothScale);
    for (int i = 0; i < 4; ++i) o->matrix[i] = t.matrix[i];
    o->effects = HasActiveFilters(&l) || l.transparency > 0;
    if (IsIdentityMatrix(o->matrix)) o->matrix[0] = o->matrix[3] = 1, o->matrix[1] = o->matrix[2] = 0;
    return 0;
}
