// The audio engine: a fixed array of output channels, fed from samples in
// memory, music streams decoded a second ahead, Protracker modules and the
// sound of playing videos, played by an audio-adapter plug-in (which pulls
// through the engine's fill callback) or, without one, by the ALSA driver
// (one PCM per channel, pulled by its mixer thread through the same fill).
#pragma once

#include <stdint.h>

#include <atomic>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"
#include "media/sound/sound_stream.h"
#include "platform/os_threads.h"

struct cxModulePlayer;

/* The two halves of a music stream and the thread that refills them. */
struct cxMusicBuffer {
    unsigned char *halves[2];
    uint32_t halfFrames; /* the stream's rate: one second */
    uint32_t bytesPerFrame;
    /* The fill side (the thread that plays). */
    uint32_t framesLeft;
    uint32_t playing;
    uint32_t lastHalf;
    /* Shared: a half is ready once decoded; finalFrames >= 0 marks the
       half in which the music ends. */
    std::atomic<uint32_t> ready[2];
    std::atomic<int32_t> finalFrames[2];
    /* The refilling thread's side. */
    cxOsThread *thread;
    cxOsMutex *mutex;
    cxOsCondition *condition;
    std::atomic<uint32_t> quit;
    uint32_t decodeEnded;
    uint32_t pass;
    uint32_t times;
    uint32_t startFrame;
    cxSoundStream *stream;
};

/* Audio event types queued for the main thread. */
enum { CX_AEV_SAMPLEEND = 5, CX_AEV_SAMPLELOOP = 6, CX_AEV_MUSICEND = 7, CX_AEV_VIDEOEND = 8 };

/* ---- engine life ---- */
int InitAudioLocks(void);
/* 0, or ERR_OPENAUDIO / ERR_THREAD / ERR_MEM. Nothing when already open. */
int OpenAudioEngine(lua_State *L, const char *device);
void CloseAudioEngine(void);
/* At exit: closes an open engine and destroys the locks. */
extern "C" void FreeAudioEngine(void);
int IsAudioEngineOpen(void);
uint32_t GetAudioChannelCount(void);
/* The channel count the engine opens with when no adapter says otherwise
   (NUMCHANNELS; negative counts refuse to open). */
void SetDefaultChannelCount(int32_t count);
uint32_t GetDefaultChannelCount(void);
/* 1 while an audio adapter plays. */
int HasAudioAdapter(void);

/* ---- channels (indices from 0) ---- */
void LockAudioChannels(void);
void UnlockAudioChannels(void);
cxAudioChannel *GetAudioChannel(int index);
int ClaimChannel(lua_State *L, uint32_t kind, cxObjectID id, int *index, cxAudioChannel **out);
int PlaySampleOnChannel(lua_State *L, cxSampleData *sample, cxObjectID id, int code, uint32_t pitch, uint32_t volume,
                        uint32_t panning, int32_t time, uint32_t times, int index);
int StartMusicChannel(lua_State *L, int kind, void *source, cxObjectID id, uint32_t times, uint32_t pass,
                      uint32_t volume, int index, void *owner);
void StartPreparedChannels(void);
/* objectKind: 2 sample, 33 music, 50 video, 7 free. With holdMutex the
   call returns with the channel mutex held (the caller unlocks). 0 or
   ERR_CHANNELRANGE. */
int GetChannelState(int index, int *objectKind, cxObjectID *id, int holdMutex);
int GetFirstFreeChannel(void); /* -1 when none */
void StopAllChannels(lua_State *L);
void ReleaseFinishedChannels(void);
void FreeChannel(int index);
void StopSampleChannels(const cxSampleData *sample, int index);
int IsSampleDataPlaying(const cxSampleData *sample);
int GetSamplePlayPosition(const cxSampleData *sample, uint32_t *ms, uint32_t *pass);
void SetSampleChannelAttributes(const cxSampleData *sample, int32_t pitch, int32_t volume, int32_t panning, int index);
void SetSourceVolume(int kind, void *source, uint32_t volume, int index);
void ApplyChannelAttributes(int index, int32_t pitch, int32_t volume, int32_t panning);
int StopMusicSource(int kind, void *source, int pause, uint32_t *pass, uint32_t *position);
/* The channel playing a music source, or -1. */
int FindSourceChannel(int kind, const void *source);
void StopStreamChannel(cxSoundStream *stream, int index, int pause, uint32_t *pass, uint32_t *frame);

/* ---- the fill callback ---- */
int32_t FillChannelBuffer(intptr_t word1, intptr_t word2, void *buffer, int32_t frames, cxAudioChannel *channel);
/* The fill without the adapter's padding: frames given, *ended at the end. */
int32_t PullChannel(cxAudioChannel *channel, unsigned char *out, int32_t frames, int *ended);

/* ---- events ---- */
void SetAudioEventHook(const char *name, int value);
int GetAudioEventHook(int type);
/* Takes the handler flags from the kernel (main thread). */
void SyncAudioEventHooks(void);
void QueueAudioEvent(uint32_t type, cxObjectID id, uint32_t length, uint32_t count, uint32_t offset, int wake);

/* Music channels (music_channels.cpp). */
int StartStreamChannel(lua_State *L, cxAudioChannel *ch, cxSoundStream *stream);
int StartModuleChannel(cxAudioChannel *ch, cxModulePlayer *module);
int32_t FillMusic(cxAudioChannel *ch, unsigned char *out, int32_t frames, int *ended);
void FreeMusicBuffer(cxMusicBuffer *music);

/* Engine internals shared by its files. */
int OpenChannelPcm(cxAudioChannel *ch, int code, uint32_t rate);
/* The ALSA mixer starts pulling the channel's PCM. */
void AttachChannelPcm(cxAudioChannel *ch);
void ClearChannel(cxAudioChannel *ch);
uint64_t NowMicroseconds(void);
cxPlugin *GetEngineAdapter(void **handle);

/* What the sound library provides to the engine. */
int StopChannelObject(lua_State *L, int index);
/* A music whose channel ended on its own. */
void OnMusicChannelEnded(void *owner);
/* Calls the script's FillMusicBuffer handler for a callback music. */
int RequestMusicFill(lua_State *L, void *owner, uint32_t frames);
