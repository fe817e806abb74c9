// The draw library's output while a display itself is the output target:
// the display's picture, presented in the window after each shape. The
// libraries that select other outputs (brushes, masks, alpha channels, the
// BGPic with its layers) install hooks of their own.
#include "display/draw/display_output.h"

#include <algorithm>

#include "display/display_record.h"
#include "display/double_buffer.h"
#include "display/picture.h"
#include "display/present.h"
#include "errors/errors.h"

namespace {

cxDisplay *DisplayOf(const cxDrawOutput *out) { return static_cast<cxDisplay *>(out->display); }

int GetOutput(lua_State *, cxDrawOutput *out) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d || !d->picture) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    // A double-buffered display draws into its back buffer; Flip shows it.
    if (cxBitmap *back = GetDoubleBufferBitmap(d)) {
        const cxDoubleBuffer *s = GetDisplayDoubleBuffer(d);
        out->target = cxDrawTarget{back, nullptr, nullptr, std::min(s->width, back->width),
                                   std::min(s->height, back->height), 255, 0};
        out->kind = CX_OUTPUT_IMAGE;
        out->display = d;
        out->layersOn = 0;
        out->skipPrepare = 1;
        return 0;
    }
    // Brushes, masks and alpha channels are selected by the brush library,
    // whose hooks replace these.
    if (d->targetKind != CX_OBJECT_DISPLAY) return ERR_SELECTBRUSH;
    out->target = cxDrawTarget{d->picture, nullptr, nullptr, d->pictureWidth, d->pictureHeight, 255, 0};
    out->kind = CX_OBJECT_DISPLAY;
    out->display = d;
    out->layersOn = d->layersOn == 1;
    return 0;
}

void Present(lua_State *, const cxDrawOutput *out, const cxDrawRect *r) {
    cxDisplay *d = DisplayOf(out);
    if (out->kind == CX_OUTPUT_IMAGE) {
        QueueDoubleBufferRect(d, r->x, r->y, r->width, r->height);
        return;
    }
    RefreshDisplayRectCore(d->picture, r->x, r->y, d, r->x, r->y, r->width, r->height, d->os.scaledWidth,
                           d->os.scaledHeight, 0, nullptr, nullptr, nullptr);
}

// Without a BGPic library a display's own picture is its background: it is
// made again from the backfill.
int ClearToBackground(lua_State *L, const cxDrawOutput *out) {
    cxDisplay *d = DisplayOf(out);
    const cxDisplayPictureHooks *p = GetDisplayPictureHooks();
    if (d->ownsBGPic && !d->bgpic) {
        p->freeOwnPicture(L, d);
        if (int err = p->makeOwnPicture(L, d)) return err;
    }
    return RefreshWholeDisplay(L, d, 0);
}

} // namespace

extern "C" const cxDrawOutputHooks *GetDisplayDrawOutput(void) {
    static const cxDrawOutputHooks hooks = {GetOutput, Present, nullptr, nullptr, ClearToBackground, nullptr, nullptr};
    return &hooks;
}
