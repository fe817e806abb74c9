#include "display/picture.h"

#include <algorithm>
#include <cstring>

#include "display/double_buffer.h"
#include "display/present.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/kernels/blit_kernels.h"
#include "graphics/kernels/kernel_guard.h"
#include "graphics/pixels/pixel_format.h"
#include "graphics/scale/scaler.h"

namespace {

int NoBGPics(lua_State *, cxObjectID id, cxBGPic **, cxBitmap **, int32_t *, int32_t *) {
    SetErrorNumber(id.number);
    return ERR_FINDBGPIC;
}

void SelectNothing(lua_State *, cxDisplay *) {}

const cxDisplayPictureHooks kBuiltIn = {
    MakeOwnDisplayPicture, FreeOwnDisplayPicture, NoBGPics, ResizeOwnDisplayPicture, PresentWholeDisplay,
    SelectNothing,
};
cxDisplayPictureHooks g_hooks = kBuiltIn;

// The colour of a vertical blend from the start to the end colour (the
// first two words of the gradient block) at row y of height.
uint32_t GradientRow(const cxDisplay *d, int32_t y, int32_t height) {
    uint32_t start, end;
    memcpy(&start, d->gradient, 4);
    memcpy(&end, d->gradient + 4, 4);
    const uint32_t t = height > 1 ? uint32_t(y) * 255u / uint32_t(height - 1) : 0;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t a = (start >> shift) & 0xFF, b = (end >> shift) & 0xFF;
        out |= ((a * (255 - t) + b * t) / 255) << shift;
    }
    return out;
}

}  // namespace

extern "C" void SetDisplayPictureHooks(const cxDisplayPictureHooks *hooks) {
    g_hooks = kBuiltIn;
    if (!hooks) return;
    if (hooks->makeOwnPicture) g_hooks.makeOwnPicture = hooks->makeOwnPicture;
    if (hooks->freeOwnPicture) g_hooks.freeOwnPicture = hooks->freeOwnPicture;
    if (hooks->findBGPic) g_hooks.findBGPic = hooks->findBGPic;
    if (hooks->resizePicture) g_hooks.resizePicture = hooks->resizePicture;
    if (hooks->refreshWholeDisplay) g_hooks.refreshWholeDisplay = hooks->refreshWholeDisplay;
    if (hooks->selectDrawTarget) g_hooks.selectDrawTarget = hooks->selectDrawTarget;
}

extern "C" const cxDisplayPictureHooks *GetDisplayPictureHooks(void) { return &g_hooks; }

extern "C" void FillBitmapRect(cxBitmap *bm, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    if (!bm || bm->kind != CX_BITMAP_COLOUR || bm->foreign) return;
    auto *s = static_cast<cxOsBitmap *>(bm->store);
    const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int32_t x1 = std::min(x + width, s->width), y1 = std::min(y + height, s->height);
    if (x1 <= x0 || y1 <= y0) return;
    const uint32_t pixel = ColorToPixel(colour & 0xFFFFFF, s->format, 0);
    const int32_t rowLength = int32_t(s->bytesPerRow / s->bytesPerPixel);
    const bool two = s->bytesPerPixel == 2;
    const cxFillJob job{s->pixels, x0, y0, x1 - x0, y1 - y0, rowLength, two ? 4u : 10u, pixel, 255};
    two ? FillPixels16(&job) : FillPixels32(&job);
}

extern "C" int MakeOwnDisplayPicture(lua_State *, cxDisplay *d) {
    cxBitmap *bm = AllocBitmap(d->os.width, d->os.height, 0, 0);
    if (!bm) return ERR_BITMAP;
    if (d->fillStyle == 2) {
        for (int32_t y = 0; y < d->os.height; ++y) FillBitmapRect(bm, 0, y, d->os.width, 1, GradientRow(d, y, d->os.height));
    } else {
        // Textures and pictures are the BGPic library's; the colour stands in.
        FillBitmapRect(bm, 0, 0, d->os.width, d->os.height, d->fillColor);
    }
    d->picture = bm;
    d->pictureWidth = d->os.width;
    d->pictureHeight = d->os.height;
    d->bgpic = nullptr;
    d->ownsBGPic = 1;
    d->clipX = d->clipY = 0;
    d->clipWidth = d->pictureWidth;
    d->clipHeight = d->pictureHeight;
    return 0;
}

extern "C" void FreeOwnDisplayPicture(lua_State *, cxDisplay *d) {
    FreeBitmap(d->picture);
    d->picture = nullptr;
    d->ownsBGPic = 0;
}

extern "C" int ResizeOwnDisplayPicture(lua_State *, cxDisplay *d, int32_t width, int32_t height, int smooth) {
    cxBitmap *bm = AllocBitmap(width, height, 0, 0);
    if (!bm) return ERR_BITMAP;
    if (d->picture) {
        auto *src = static_cast<cxOsBitmap *>(d->picture->store);
        auto *dst = static_cast<cxOsBitmap *>(bm->store);
        cxScaleJob job{};
        job.srcPixels = src->pixels;
        job.dstPixels = dst->pixels;
        job.srcWidth = src->width;
        job.srcHeight = src->height;
        job.dstWidth = width;
        job.dstHeight = height;
        job.srcRowLength = int32_t(src->bytesPerRow / src->bytesPerPixel);
        job.dstRowLength = int32_t(dst->bytesPerRow / dst->bytesPerPixel);
        job.smooth = smooth;
        job.pixelFormat = src->format;
        job.bytesPerPixel = int32_t(src->bytesPerPixel);
        if (int err = RunScaleJob(&job)) {
            FreeBitmap(bm);
            return err;
        }
        FreeBitmap(d->picture);
    }
    d->picture = bm;
    d->pictureWidth = width;
    d->pictureHeight = height;
    d->clipX = d->clipY = 0;
    d->clipWidth = width;
    d->clipHeight = height;
    return 0;
}

extern "C" int PresentWholeDisplay(lua_State *, cxDisplay *d, uint32_t) {
    if (!d->picture) return 0;
    ClearDisplayBorders(d);
    // While double buffering the window shows the front copy.
    if (GetDoubleBufferBitmap(d)) {
        PresentBackBuffer(d, 1, 0);
        return 0;
    }
    RefreshDisplayRectCore(d->picture, 0, 0, d, 0, 0, d->pictureWidth, d->pictureHeight, d->os.scaledWidth,
                           d->os.scaledHeight, 0, nullptr, nullptr, nullptr);
    return 0;
}
