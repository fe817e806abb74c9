#include "text/vector/path_brush.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "errors/error_codes.h"
#include "graphics/vector/path.h"
#include "graphics/vector/vector_engine.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_creation.h"
#include "text/vector/path_render.h"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};

} // namespace

extern "C" int PathToBrushCommand(lua_State *L, cxObjectID pathId, cxObjectID *brushId) {
    cxPath *path = nullptr;
    if (int err = FindPath(pathId, &path)) return err;
    if (!path->items) return ERR_EMPTYPATH;

    cxPathRender r{};
    r.items = path->items;
    r.capacity = uint32_t(PathUsedBytes(path) + 4);
    if (path->style) {
        r.style = *path->style;
    } else {
        r.style = *GetVectorStyle();
        r.style.drawStyle = *GetDrawStyle();
    }
    r.colour = 0; // as DrawPath without a colour
    r.engine = GetCurrentVectorEngine();
    cxPlugin *engine = r.engine ? r.engine : GetInbuiltVectorEngine();
    if (int err = BindPathTextItems(&r, engine)) return err;

    // A brush is drawn without the style's shadow and border, as a brush
    // blit adds its own.
    const cxDrawStyle &ds = r.style.drawStyle;
    const int fill = ds.fillStyle != CX_FILLNONE;
    const int32_t lineWidth = std::clamp(ds.lineWidth, 1, 10000);
    uint8_t *pixels = nullptr;
    int32_t bx = 0, by = 0, w = 0, h = 0;
    if (int err = RenderPathCoverage(&r, fill, lineWidth, nullptr, 0, 0, &pixels, &bx, &by, &w, &h)) return err;
    const std::unique_ptr<uint8_t, FreeDeleter> coverage(pixels);

    // The old brush goes only once the new one can be drawn, so a path that
    // fails leaves it in place.
    const bool automatic = brushId->pointer != nullptr;
    if (!automatic) {
        if (int err = FreeBrushByID(L, *brushId, 0)) return err;
    }
    cxBrush *b = nullptr;
    if (int err = CreateBlankBrush(brushId, w, h, 0, CX_BLANK_ALPHA | CX_BLANK_NOFILL, nullptr, &b)) return err;
    int err = FillPathImage(&r, b->bitmap, w, h);
    uint8_t *rows = reinterpret_cast<uint8_t *>(QueryBitmapAttribute(b->alpha, CX_BMATTR_ALPHA_PIXELS));
    const size_t pitch = size_t(QueryBitmapAttribute(b->alpha, CX_BMATTR_ALPHA_BYTESPERROW));
    if (!err && !rows) err = ERR_ALLOCALPHA;
    if (err) {
        DestroyBrush(L, b);
        return err;
    }
    for (int32_t j = 0; j < h; ++j)
        memcpy(rows + size_t(j) * pitch, coverage.get() + size_t(j) * size_t(w), size_t(w));
    return 0;
}
