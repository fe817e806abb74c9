#include "media/video/video_display.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "display/present.h"
#include "display/video_hooks.h"
#include "media/video/video_internal.h"

namespace {

bool OnDisplay(const cxVideo *v, const cxDisplay *d) {
    return IsVideoActive(v) && !v->isLayer && (!d || v->display == d);
}

}  // namespace

void ComputeVideoGeometry(cxVideo *v, cxDisplay *) {
    // Positions and sizes are display coordinates: the display scales the
    // picture as a whole when it presents it.
    v->displayX = v->x;
    v->displayY = v->y;
    v->displayWidth = v->width;
    v->displayHeight = v->height;
}

void UpdateDisplayVideos(lua_State *L, cxDisplay *d, uint32_t) {
    bool any = false;
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (!OnDisplay(v, d)) continue;
        ComputeVideoGeometry(v, d);
        SetVideoPlayerGeometry(v->player, v->displayX, v->displayY, v->displayWidth, v->displayHeight, int(v->smooth));
        any = true;
    }
    if (any) {
        RefreshWholeDisplay(L, d, 0);
        RedrawDisplayVideos(d);
    }
}

void StopDisplayVideos(lua_State *L, cxDisplay *d) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (!IsVideoActive(v)) continue;
        // Layer videos of the display go too: their pictures reach it.
        if (d && v->display != d) continue;
        StopVideoPlayback(L, v, nullptr, 0, 0);
    }
}

void SuspendDisplayVideos(lua_State *, cxDisplay *d) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (!OnDisplay(v, d) || VideoState(v) == CX_VIDEO_SUSPENDED) continue;
        v->previousState = VideoState(v);
        SetVideoState(v, CX_VIDEO_SUSPENDED);
        SetVideoPlayerSuspended(v->player, 1);
    }
}

void ResumeDisplayVideos(lua_State *, cxDisplay *d) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (v->display != d || VideoState(v) != CX_VIDEO_SUSPENDED) continue;
        SetVideoState(v, v->previousState);
        SetVideoPlayerSuspended(v->player, 0);
        RedrawVideoPlayer(v->player);
    }
}

int IsVideoOnDisplay(cxDisplay *d, int countLayers) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (OnDisplay(v, d)) return 1;
        if (countLayers && v->isLayer && IsVideoActive(v) && v->display == d) return 1;
    }
    return 0;
}

int IsPointOnVideo(cxDisplay *d, int32_t x, int32_t y) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v))
        if (OnDisplay(v, d) && x >= v->displayX && y >= v->displayY && x < v->displayX + v->displayWidth &&
            y < v->displayY + v->displayHeight)
            return 1;
    return 0;
}

uint8_t *BuildVideoAreaMask(cxDisplay *d, int32_t *bytesPerRow) {
    if (!IsVideoOnDisplay(d, 0)) return nullptr;
    const int32_t w = d->pictureWidth, h = d->pictureHeight;
    if (w < 1 || h < 1) return nullptr;
    const int32_t bpr = (w + 7) / 8;
    auto *mask = static_cast<uint8_t *>(calloc(size_t(bpr) * size_t(h), 1));
    if (!mask) return nullptr;
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (!OnDisplay(v, d)) continue;
        const int32_t x0 = std::max(v->displayX, 0), y0 = std::max(v->displayY, 0);
        const int32_t x1 = std::min(v->displayX + v->displayWidth, w), y1 = std::min(v->displayY + v->displayHeight, h);
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x) mask[size_t(y) * bpr + x / 8] |= uint8_t(0x80 >> (x % 8));
    }
    *bytesPerRow = bpr;
    return mask;
}

void RedrawDisplayVideos(cxDisplay *d) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        const uint32_t s = VideoState(v);
        if (OnDisplay(v, d) && (s == CX_VIDEO_PAUSED || s == CX_VIDEO_ENDED)) RedrawVideoPlayer(v->player);
    }
}

void InstallVideoDisplayHooks(void) {
    const cxDisplayVideoHooks h{StopDisplayVideos, SuspendDisplayVideos, ResumeDisplayVideos, UpdateDisplayVideos,
                                [](cxDisplay *d) { return IsVideoOnDisplay(d, 0); }, BuildVideoAreaMask};
    SetDisplayVideoHooks(&h);
}
