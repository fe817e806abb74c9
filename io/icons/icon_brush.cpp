// Icon images taken from brushes. Brushes are not built yet: until the
// brush library exists every brush lookup fails as it would for a brush
// that is not there. This is the one place that will read brush records.
#include "engine/errors/errors.h"
#include "io/icons/icon_sources.h"

int GetBrushIconImage(lua_State *L, cxObjectID brush, int deferred, cxIconSource *out) {
    (void)L;
    (void)deferred;
    *out = cxIconSource{};
    if (brush.pointer) return ERR_FINDARRAY;
    SetErrorNumber(brush.number);
    return ERR_FINDBRUSH;
}
