#include "images/editing/brush_edit.h"

#include "display/display_record.h"
#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "images/output/output_redirect.h"

namespace cx::edit {

NewImage::~NewImage() {
    FreeBitmap(bitmap);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
}

bool IsActiveBrush(cxObjectID id) {
    const cxDisplay *d = GetCurrentDisplay();
    if (!d) return false;
    if (d->targetKind != 3 && d->targetKind != 28 && d->targetKind != 30) return false;
    cxObjectID selected{};
    return GetSelectedBrushID(&selected) && selected.number == id.number && selected.pointer == id.pointer;
}

int FindForEdit(lua_State *L, cxObjectID id, uint32_t flags, cxBrush **out) {
    *out = nullptr;
    if ((flags & CX_FIND_WRITE) && IsActiveBrush(id)) return ERR_MODIFYABR;
    return FindBrush(L, id, out, flags);
}

void ReplaceBrushImage(cxBrush *brush, NewImage &image) {
    // A video bitmap replaced by an ordinary one: the brush is no longer
    // the display adapter's.
    if (brush->bitmap && brush->bitmap->foreign && image.bitmap && !image.bitmap->foreign) {
        brush->hardware = 0;
        brush->hardwareLayout = 0;
        brush->displayID = cxObjectID{};
        brush->display = nullptr;
    }
    FreeBitmap(brush->bitmap);
    FreeMask(brush->mask);
    FreeAlphaChannel(brush->alpha);
    brush->bitmap = image.bitmap;
    brush->mask = image.mask;
    brush->alpha = image.alpha;
    brush->width = image.width;
    brush->height = image.height;
    image.bitmap = image.mask = image.alpha = nullptr;
}

cxObjectID BrushArg(lua_State *L) {
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    return id;
}

uint32_t ColourArg(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (!Finite(v) || v < -4294967296.0 || v > 4294967295.0) return 0;
    return uint32_t(int64_t(v));
}

double LevelArg(lua_State *L, int index) { return GetNumberOrPercentArg(L, index, 255.0, 0, nullptr); }

}  // namespace cx::edit
