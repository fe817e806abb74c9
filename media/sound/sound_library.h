// The "sound" script library: samples, music, Protracker modules and the
// audio channels, and what the player and plug-ins reach of it.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the commands, constants and object lists, creates the audio
   engine's locks and hooks the engine into the event pump and dispatcher.
   0, ERR_MEM or ERR_SEMAPHORE. */
int OpenSoundLibrary(lua_State *L);

/* The player's settings. Selectors: 2 no sound (NOSOUND), 3 the audio
   device (value: a string), 33 force sound (FORCESOUND), 89 the channel
   count (NUMCHANNELS; 0 keeps 8), 12, 13, 18 and 23 whether the
   "onsampleloop", "onsampleend", "onmusicend" and "onvideoend" handlers
   exist. 1 when the selector is one of these. */
int SoundSettingsListener(int selector, intptr_t value);

/* Attribute query of a sample (kind 2) or music (kind 33) by selector:
   pushes the value (two for a playing sample's position) and answers how
   many; 0 when the object does not exist or the selector is not one of
   its kind. */
int PushSoundAttribute(lua_State *L, int kind, cxObjectID id, int selector);

/* Declared samples and music, loaded before the main chunk runs. */
int PreloadSample(lua_State *L, int32_t id, const char *file, const char *loaders, const char *adapters);
int PreloadMusic(lua_State *L, int32_t id, const char *file, const char *loaders, const char *adapters);

/* Saving through a sample-saver plug-in: the shell installs the function
   that finds the plug-in that registered the format. It answers 0,
   ERR_UNKNOWNSMPOUT or ERR_SAVESAMPLE. */
typedef int (*cxPluginSampleSaver)(int format, const char *file, struct cxSampleRequest *request);
void SetPluginSampleSaver(cxPluginSampleSaver saver);
int SavePluginSample(int format, const char *file, struct cxSampleRequest *request);

/* A sample's data for other libraries: 1 when found. */
int GetSampleInfo(cxObjectID id, int32_t *code, const void **data, uint32_t *bytes, uint32_t *pitch);

/* The audio table of the plug-in interface. ReplaceSampleData: new signed
   PCM (8 or 16 bits, 1 or 2 channels) for a sample; 0 or an error code.
   OpenSoundStream: a sound file opened for reading (null when it does not
   open) with its format filled. ReadSoundStream: frames decoded into
   buffer; a null buffer closes the stream. */
int ApiReplaceSampleData(lua_State *L, const cxPluginObjectID *id, const void *data, int frames, int channels, int bits,
                         int rate);
void *ApiOpenSoundStream(const char *file, const char *loaders, struct cxSoundFormat *format);
int ApiReadSoundStream(void *stream, void *buffer, int frames);

/* Clean-ups at exit, in the player's order. */
void StopAllPlayback(lua_State *L);     /* videos, then every channel */
void FreeAllSoundObjects(lua_State *L); /* samples, music, then the audio output */
void FreeAudioEngine(void);             /* the engine's lists and locks */

/* Tests: the library's state back to that of a new run (the engine must be
   closed). */
void ResetSoundLibrary(void);

#ifdef __cplusplus
}
#endif
