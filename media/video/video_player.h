// The player behind a video object: the decoder binding, and while the
// video plays four threads (demultiplexer, video server, refresh, audio
// server) that read packets, decode and schedule pictures against the
// audio clock, present them through the main thread and feed the sound to
// the audio engine.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

struct cxVideoPlayer;

// Where a playing video's pictures go when it plays in a layer: the layer
// code installs a consumer; the refresh thread hands it an ARGB picture
// (width x height, rowLength pixels a row) which it must copy. Any thread.
typedef void (*cxVideoLayerSink)(void *layer, cxVideoPlayer *player, const uint32_t *argb, int32_t width,
                                 int32_t height, int32_t rowLength);
void SetVideoLayerSink(cxVideoLayerSink sink);

// Sees every picture the player presents, on the presenting thread (tests
// and benchmarks watch playback through it).
typedef void (*cxVideoPictureObserver)(cxVideoPlayer *player, const uint32_t *argb, int32_t width, int32_t height,
                                       int32_t rowLength, double pts);
void SetVideoPictureObserver(cxVideoPictureObserver observer);

// Told once from the refresh thread when the stream has ended.
typedef void (*cxVideoEndedFunc)(void *owner);

// 0, or ERR_LOADVIDEO (file name as detail), ERR_MEM.
int OpenVideoPlayer(const char *file, const char *loaders, const char *adapters, cxVideoPlayer **out, int32_t *width,
                    int32_t *height, uint32_t *duration, int *seekable, uintptr_t *loaderId);
void CloseVideoPlayer(cxVideoPlayer *p);

struct cxVideoStart {
    cxObjectID id;       // for the end notice
    cxDisplay *display;  // may be none for a layer
    int32_t x, y, width, height;
    uint32_t volume;
    int smooth;
    int channel;         // -1: any
    void *layer;         // none: straight to the display
    void *owner;         // handed to ended
    cxVideoEndedFunc ended;
};
// 0, or ERR_SEEKRANGE, ERR_THREAD, ERR_MEM, the audio engine's errors; the
// player is then stopped and ready for another start.
int StartVideoPlayback(lua_State *L, cxVideoPlayer *p, const cxVideoStart *start);
void StopVideoPlayer(cxVideoPlayer *p, int clearLayer);
// Both return once every thread has answered, or after a time-out.
void PauseVideoPlayer(cxVideoPlayer *p);
void ResumeVideoPlayer(cxVideoPlayer *p);
// 0, or ERR_SEEKRANGE when the decoder cannot go there.
int SeekVideoPlayer(cxVideoPlayer *p, uint32_t ms);
void SetVideoPlayerVolume(cxVideoPlayer *p, uint32_t volume);
void SetVideoPlayerGeometry(cxVideoPlayer *p, int32_t x, int32_t y, int32_t width, int32_t height, int smooth);
void SetVideoPlayerSuspended(cxVideoPlayer *p, int suspended);
void SetVideoPlayerLayer(cxVideoPlayer *p, void *layer);
void *GetVideoPlayerLayer(const cxVideoPlayer *p);
int IsVideoPlayerRunning(const cxVideoPlayer *p);
int HasVideoPlayerEnded(const cxVideoPlayer *p);
// Presents the last picture again (a paused or ended video after a repaint).
void RedrawVideoPlayer(cxVideoPlayer *p);

uint32_t GetVideoPlaybackTime(cxVideoPlayer *p);

// One ARGB frame of a stopped player: mode 0 a 0-based frame number, mode 1
// a time in ms. The pixels stay the player's until the next call. 0,
// ERR_VIDEOFRAME (frame number past the end), ERR_SEEKRANGE.
int GetVideoFrameAt(cxVideoPlayer *p, int64_t position, int mode, const uint32_t **pixels, int32_t *width,
                    int32_t *height);

// The decoder for export, which drives it without threads.
struct cxVideoDecoder *GetVideoPlayerDecoder(cxVideoPlayer *p);
// Rewinds the decoder when playback or frame access moved it.
void RewindVideoPlayer(cxVideoPlayer *p);
const char *GetVideoDecoderName(cxVideoPlayer *p);
int64_t GetVideoFrameCount(cxVideoPlayer *p);

// Statistics for tests and benchmarks.
struct cxVideoStats {
    uint32_t decoded, shown, dropped, skipped;
    double lastShownPts, masterClock;
    int32_t lastShownFrame; // pts / frame duration of the last picture shown
};
void GetVideoPlayerStats(cxVideoPlayer *p, cxVideoStats *out);

// Converts a decoded picture to ARGB words at width x height (nearest
// neighbour when the size differs).
void ConvertVideoPicture(const struct cxVideoFrame *f, int rgb, uint32_t *dst, int32_t dstRowLength, int32_t width,
                         int32_t height);
