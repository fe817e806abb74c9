// The video object and what the video library's files share.
#pragma once

#include <stdint.h>

#include <atomic>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "media/video/video_player.h"

enum { CX_VIDEO_STOPPED = 0, CX_VIDEO_PLAYING = 1, CX_VIDEO_PAUSED = 2, CX_VIDEO_SUSPENDED = 3, CX_VIDEO_ENDED = 4 };

// FindVideo flags.
enum { CX_VIDEO_WRITE = 1u, CX_VIDEO_PENDING = 2u, CX_VIDEO_NOCOPY = 4u };

struct cxVideo {
    cxObjectHeader header;
    cxVideoPlayer *player;
    struct cxBitmap *frameBitmap;
    int32_t x, y;
    int32_t displayX, displayY;
    int32_t sourceWidth, sourceHeight;
    int32_t width, height;
    int32_t displayWidth, displayHeight;
    uint32_t smooth;
    uint32_t duration;
    uint32_t state;          // read and written through VideoState / SetVideoState
    uint32_t previousState;
    cxDisplay *display;
    uint32_t volume;
    uint32_t seekable;
    uint32_t isLayer;
    uint32_t pendingFree;
    uint32_t locked;
    char fileName[1024];
    char adapter[256];
    char loader[256];
    uintptr_t loaderId;
    void *spriteNode;
    int32_t layerUses;       // layers that show the video
};

// The refresh thread ends a video: the state crosses threads.
inline uint32_t VideoState(const cxVideo *v) {
    return std::atomic_ref<const uint32_t>(v->state).load(std::memory_order_acquire);
}
inline void SetVideoState(cxVideo *v, uint32_t s) {
    std::atomic_ref<uint32_t>(v->state).store(s, std::memory_order_release);
}
// Moves the state from one value to another unless the refresh thread has
// changed it meanwhile (to 4); true when it moved.
inline bool SwapVideoState(cxVideo *v, uint32_t from, uint32_t to) {
    return std::atomic_ref<uint32_t>(v->state).compare_exchange_strong(from, to, std::memory_order_acq_rel);
}
inline bool IsVideoActive(const cxVideo *v) {
    const uint32_t s = VideoState(v);
    return s == CX_VIDEO_PLAYING || s == CX_VIDEO_PAUSED || s == CX_VIDEO_ENDED || s == CX_VIDEO_SUSPENDED;
}

cxObjectList *GetVideoList(void);
cxVideo *GetFirstVideo(void);
inline cxVideo *NextVideo(const cxVideo *v) { return reinterpret_cast<cxVideo *>(v->header.next); }

int FindVideo(lua_State *L, cxObjectID id, cxVideo **out, uint32_t flags);
int OpenVideoObject(lua_State *L, cxObjectID *id, const char *file, const char *loaders, const char *adapters,
                    int pendingFree, cxVideo **out);
int CloseVideoObject(lua_State *L, cxObjectID id);
void FreeVideo(lua_State *L, cxVideo *v);
void FreeDeferredVideos(lua_State *L);

// Playback on a record, or on the layer that shows one (record null).
int BeginVideoPlayback(lua_State *L, cxVideo *v, void *layer, int channel, int useLayer, int optionsIndex);
int StopVideoPlayback(lua_State *L, cxVideo *v, void *layer, int refresh, int clearLayer);
int PauseVideoPlayback(lua_State *L, cxVideo *v, void *layer);
int ResumeVideoPlayback(lua_State *L, cxVideo *v, void *layer);
int SeekVideoPlayback(lua_State *L, cxVideo *v, void *layer, int64_t ms);
int SetVideoPlaybackVolume(lua_State *L, cxVideo *v, void *layer, int32_t volume);

// The video a layer shows (installed by the layer glue; null without).
cxVideo *VideoOfLayer(lua_State *L, void *layer);
void SetVideoOfLayerFunc(cxVideo *(*f)(lua_State *L, void *layer));

// Export (DumpVideo).
int ExportVideoFrames(lua_State *L, cxVideoPlayer *p, cxDisplay *d, int32_t x, int32_t y, const char *base,
                      int format, const char *extension);

// The most sound data a WAVE file of DumpVideo takes (0: what its header
// can count, just under 4 GiB); tests lower it.
void SetVideoWaveLimit(uint64_t bytes);

// The loader list OpenVideo starts from (ForceVideoDriver).
const char *GetDefaultVideoLoaders(void);
void SetDefaultVideoLoaders(const char *list);

extern "C" {
int CmdOpenVideo(lua_State *L);
int CmdCloseVideo(lua_State *L);
int CmdPlayVideo(lua_State *L);
int CmdStopVideo(lua_State *L);
int CmdPauseVideo(lua_State *L);
int CmdResumeVideo(lua_State *L);
int CmdSeekVideo(lua_State *L);
int CmdIsVideo(lua_State *L);
int CmdSetVideoSize(lua_State *L);
int CmdSetVideoPosition(lua_State *L);
int CmdSetVideoVolume(lua_State *L);
int CmdGetVideoFrame(lua_State *L);
int CmdIsVideoPlaying(lua_State *L);
int CmdForceVideoMode(lua_State *L);
int CmdForceVideoDriver(lua_State *L);
int CmdDumpVideo(lua_State *L);
int CmdDisplayVideoFrame(lua_State *L);
}
