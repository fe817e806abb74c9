// The video list: records, lookup, opening and closing, and the playback
// operations that script commands and layer commands share.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "display/display_record.h"
#include "display/present.h"
#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "media/video/video_display.h"
#include "media/video/video_internal.h"
#include "media/video/video_layers.h"
#include "platform/os_threads.h"

namespace {

cxObjectList g_videos = {CX_OBJ_VIDEO, ERR_FINDVIDEO, nullptr, nullptr};
cxOsMutex *g_mutex = nullptr;
char g_defaultLoaders[256] = "";
cxVideo *(*g_videoOfLayer)(lua_State *L, void *layer) = nullptr;

void Link(cxVideo *v) {
    if (g_mutex) OsLockMutex(g_mutex);
    AddObject(&g_videos, &v->header);
    if (g_mutex) OsUnlockMutex(g_mutex);
}

void Unlink(cxVideo *v) {
    if (g_mutex) OsLockMutex(g_mutex);
    RemoveObject(&g_videos, &v->header);
    if (g_mutex) OsUnlockMutex(g_mutex);
}

void Ended(void *owner) { SetVideoState(static_cast<cxVideo *>(owner), CX_VIDEO_ENDED); }

// The record of a call that names a record or a layer.
int Resolve(lua_State *L, cxVideo **v, void *layer) {
    if (*v) return 0;
    if (!layer) return ERR_WRONGUSAGE;
    *v = VideoOfLayer(L, layer);
    return *v ? 0 : ERR_WRONGUSAGE;
}

}  // namespace

int CreateVideoMutex() {
    if (!g_mutex) g_mutex = OsCreateMutex();
    return g_mutex ? 0 : ERR_SEMAPHORE;
}

void FreeVideoMutex() {
    if (g_mutex) OsFreeMutex(g_mutex);
    g_mutex = nullptr;
}

cxObjectList *GetVideoList(void) {
    RegisterObjectList(&g_videos);
    return &g_videos;
}

cxVideo *GetFirstVideo(void) { return reinterpret_cast<cxVideo *>(g_videos.first); }

const char *GetDefaultVideoLoaders(void) { return g_defaultLoaders; }
void SetDefaultVideoLoaders(const char *list) { snprintf(g_defaultLoaders, sizeof g_defaultLoaders, "%s", list); }

cxVideo *VideoOfLayer(lua_State *L, void *layer) { return g_videoOfLayer ? g_videoOfLayer(L, layer) : nullptr; }
void SetVideoOfLayerFunc(cxVideo *(*f)(lua_State *L, void *layer)) { g_videoOfLayer = f; }

int FindVideo(lua_State *, cxObjectID id, cxVideo **out, uint32_t flags) {
    *out = nullptr;
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v)) {
        if (!ObjectHasID(&v->header, id)) continue;
        if (v->pendingFree && !(flags & CX_VIDEO_PENDING)) continue;
        if ((flags & CX_VIDEO_WRITE) && v->locked) return ERR_LOCKEDOBJ;
        *out = v;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDVIDEO;
}

int OpenVideoObject(lua_State *L, cxObjectID *id, const char *file, const char *loaders, const char *adapters,
                    int pendingFree, cxVideo **out) {
    if (out) *out = nullptr;
    const bool automatic = id->pointer != nullptr;
    if (!automatic) {
        cxVideo *old = nullptr;
        if (FindVideo(L, *id, &old, 0) == 0) {
            if (int err = CloseVideoObject(L, *id)) return err;
        }
    }
    printf("Loading video %s\n", file);
    cxVideoPlayer *p = nullptr;
    int32_t w = 0, h = 0;
    uint32_t duration = 0;
    int seekable = 0;
    uintptr_t loaderId = 0;
    if (int err = OpenVideoPlayer(file, loaders, adapters, &p, &w, &h, &duration, &seekable, &loaderId)) return err;
    auto *v = static_cast<cxVideo *>(calloc(1, sizeof(cxVideo)));
    if (!v) {
        CloseVideoPlayer(p);
        return ERR_MEM;
    }
    InitObjectHeader(&v->header, CX_OBJ_VIDEO, id->number, automatic);
    if (automatic) *id = GetObjectID(&v->header);
    v->player = p;
    v->sourceWidth = v->width = v->displayWidth = w;
    v->sourceHeight = v->height = v->displayHeight = h;
    v->duration = duration;
    v->seekable = seekable != 0;
    v->loaderId = loaderId;
    v->volume = 64;
    v->pendingFree = pendingFree != 0;
    snprintf(v->fileName, sizeof v->fileName, "%s", file);
    snprintf(v->adapter, sizeof v->adapter, "%s", adapters ? adapters : "");
    snprintf(v->loader, sizeof v->loader, "%s", loaders ? loaders : "");
    Link(v);
    if (out) *out = v;
    return 0;
}

void FreeVideo(lua_State *L, cxVideo *v) {
    if (IsVideoActive(v)) StopVideoPlayback(L, v, nullptr, 0, 1);
    Unlink(v);
    CloseVideoPlayer(v->player);
    FreeObjectDataList(L, v->header.data);
    v->header.data = nullptr;
    free(v);
}

int CloseVideoObject(lua_State *L, cxObjectID id) {
    cxVideo *v = nullptr;
    if (int err = FindVideo(L, id, &v, 0)) return err;
    if (VideoShownByLayers(v) > 0) {
        // The layers keep it: out of the script's sight, playing on, under
        // an ID of its own so that the number is free again.
        const cxObjectID old = GetObjectID(&v->header);
        v->header.idNumber = 0;
        v->header.idPointer = v;
        v->pendingFree = 1;
        RetargetVideoLayers(old, GetObjectID(&v->header));
        return 0;
    }
    FreeVideo(L, v);
    return 0;
}

void FreeDeferredVideos(lua_State *L) {
    for (cxVideo *v = GetFirstVideo(); v;) {
        cxVideo *next = NextVideo(v);
        if (v->pendingFree && VideoShownByLayers(v) == 0) FreeVideo(L, v);
        v = next;
    }
}

void FreeAllVideoRecords(lua_State *L) {
    while (cxVideo *v = GetFirstVideo()) {
        v->layerUses = 0;
        FreeVideo(L, v);
    }
}

// ---- playback operations ----

int StartVideoOnDisplay(lua_State *L, cxVideo *v, int channel, void *layer) {
    cxVideoStart s{};
    s.id = GetObjectID(&v->header);
    s.display = v->display;
    s.x = v->displayX;
    s.y = v->displayY;
    s.width = v->displayWidth;
    s.height = v->displayHeight;
    s.volume = v->volume;
    s.smooth = int(v->smooth);
    s.channel = channel;
    s.layer = layer;
    s.owner = v;
    s.ended = Ended;
    SetVideoState(v, CX_VIDEO_PLAYING);
    if (int err = StartVideoPlayback(L, v->player, &s)) {
        SetVideoState(v, CX_VIDEO_STOPPED);
        v->display = nullptr;
        return err;
    }
    return 0;
}

int StopVideoPlayback(lua_State *L, cxVideo *v, void *layer, int refresh, int clearLayer) {
    if (int err = Resolve(L, &v, layer)) return err;
    if (!IsVideoActive(v)) {
        if (clearLayer) SetVideoPlayerLayer(v->player, nullptr);
        return ERR_VIDSTOPPED;
    }
    cxDisplay *d = v->display;
    StopVideoPlayer(v->player, clearLayer);
    SetVideoState(v, CX_VIDEO_STOPPED);
    v->display = nullptr;
    if (refresh && d && d == GetCurrentDisplay() && !v->isLayer) RefreshWholeDisplay(L, d, 0);
    return 0;
}

int PauseVideoPlayback(lua_State *L, cxVideo *v, void *layer) {
    if (int err = Resolve(L, &v, layer)) return err;
    if (VideoState(v) != CX_VIDEO_PLAYING) return ERR_VIDNOTPLAYING;
    PauseVideoPlayer(v->player);
    if (!SwapVideoState(v, CX_VIDEO_PLAYING, CX_VIDEO_PAUSED)) {
        // It ended while the threads answered: it stays ended.
        ResumeVideoPlayer(v->player);
        return ERR_VIDNOTPLAYING;
    }
    return 0;
}

int ResumeVideoPlayback(lua_State *L, cxVideo *v, void *layer) {
    if (int err = Resolve(L, &v, layer)) return err;
    // The state first: the rest may end at once.
    if (!SwapVideoState(v, CX_VIDEO_PAUSED, CX_VIDEO_PLAYING)) return ERR_VIDNOTPAUSED;
    ResumeVideoPlayer(v->player);
    return 0;
}

int SeekVideoPlayback(lua_State *L, cxVideo *v, void *layer, int64_t ms) {
    if (int err = Resolve(L, &v, layer)) return err;
    if (!v->seekable) return ERR_SEEKFORMAT;
    if (ms < 0 || v->duration == 0 || uint64_t(ms) > uint64_t(v->duration) - 1) return ERR_SEEKRANGE;
    // A seek from the end plays on from there (the state first: the rest
    // may end before the seek returns).
    const uint32_t s = VideoState(v);
    if (s == CX_VIDEO_ENDED) SetVideoState(v, CX_VIDEO_PLAYING);
    const int err = SeekVideoPlayer(v->player, uint32_t(ms));
    if (err && s != CX_VIDEO_STOPPED && !IsVideoPlayerRunning(v->player)) {
        // The player could not go on from there: the video stands stopped.
        SetVideoState(v, CX_VIDEO_STOPPED);
        v->display = nullptr;
    }
    return err;
}

int SetVideoPlaybackVolume(lua_State *L, cxVideo *v, void *layer, int32_t volume) {
    if (int err = Resolve(L, &v, layer)) return err;
    v->volume = uint32_t(volume < 0 ? 0 : volume > 64 ? 64 : volume);
    if (IsVideoActive(v)) SetVideoPlayerVolume(v->player, v->volume);
    return 0;
}
