// The sound of a playing video: the video player's audio server thread
// decodes blocks into a ring; the channel's fill (an adapter's thread or
// the ALSA mixer) takes them from the front. The video library reaches the
// engine only through these functions and the hooks it installs.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"
#include "platform/os_threads.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxVideoSoundRing cxVideoSoundRing;

/* The ring's fixed data area. */
#define CX_VIDEO_RING_BYTES 384000u

/* Decodes up to frames frames of 16-bit signed sound into buffer; answers
   the frames given, or a negative value at the end of the video's sound
   (which FeedVideoSound hands back). */
typedef int32_t (*cxVideoSoundReader)(void *player, void *buffer, uint32_t frames);

/* What the engine asks of the video library (installed by it). */
typedef struct cxVideoSoundHooks {
    /* Stops the video that owns a channel (StopChannel, a channel taken
       over). 0 or an error code. */
    int (*stopVideo)(lua_State *L, void *player);
    /* Stops every playing video (CloseAudio, the exit). */
    void (*stopAllVideos)(lua_State *L);
    /* SetChannelVolume on a channel that plays a video. */
    void (*setVideoVolume)(void *player, uint32_t volume);
} cxVideoSoundHooks;
void SetVideoSoundHooks(const cxVideoSoundHooks *hooks);
const cxVideoSoundHooks *GetVideoSoundHooks(void);

/* Claims a channel (index from 0, or -1 for the first free) for the
   video's sound: 16-bit signed, channels 1 or 2, at rate. Without an
   adapter the ALSA PCM is opened now. 0 and *outIndex, or ERR_NOCHANNEL,
   ERR_CHANNELRANGE, ERR_OPENAUDIO, ERR_ALSAPCM. */
int OpenVideoSoundChannel(lua_State *L, cxObjectID video, int index, uint32_t channels, uint32_t rate,
                          uint32_t volume, void *player, int *outIndex);
/* The ring for the channel: blocks of blockFrames frames; capacity two
   blocks (at most CX_VIDEO_RING_BYTES). Null when out of memory. */
cxVideoSoundRing *CreateVideoSoundRing(int index, uint32_t blockFrames, cxVideoSoundReader reader, void *player);
/* One turn of the video's audio server thread: the first call fills a
   block and starts the channel (ERR_ALLOCCHANNEL when an adapter refuses
   it); later calls keep the ring topped up. Sleeps 1 ms. Answers the
   reader's result, 0 when nothing was needed, -1 when the thread was asked
   to quit, or an error code of 1000 or more. */
int FeedVideoSound(cxOsThread *thread, cxVideoSoundRing *ring);
/* The channel stops (its adapter channel or PCM is closed). */
void ReleaseVideoSoundChannel(cxVideoSoundRing *ring);
/* Releases the channel if that was not done and frees the ring. */
void FreeVideoSoundRing(cxVideoSoundRing *ring);
void SetVideoSoundVolume(int index, uint32_t volume);
/* Bytes waiting in the ring (tests). */
uint32_t GetVideoRingFill(cxVideoSoundRing *ring);

#ifdef __cplusplus
}

/* Engine side. */
int32_t FillVideoRing(cxAudioChannel *ch, unsigned char *out, int32_t frames);
void MarkVideoRingReleased(cxVideoSoundRing *ring);
#endif
