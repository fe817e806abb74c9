// The ALSA output driver: libasound loaded at run time, one PCM per sound
// channel on the audio device, and one mixer thread that pulls each PCM's
// sound from its owner, scales it by the channel volume and writes it.
//
// The mixer never writes further ahead of the wall clock than one PCM
// buffer, so a sink that never blocks (a file PCM over the null
// device) is paced like a sound card and a sound that loops forever cannot
// run away. When a source says it has ended, the mixer lets the frames
// already written play out and then reports the end to the owner.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Sample layout of a PCM. flags: bit 0 (1) 16-bit samples are big-endian,
   bit 1 (2) samples are signed (16-bit samples always are). */
typedef struct cxOsAlsaFormat {
    uint32_t bits; /* 8 or 16 */
    uint32_t bytesPerFrame;
    uint32_t channels;
    uint32_t flags;
} cxOsAlsaFormat;

enum { CX_ALSA_BIGENDIAN = 1, CX_ALSA_SIGNED = 2 };

typedef struct cxOsAlsaPcm cxOsAlsaPcm;

/* Fills up to frames frames into buffer and returns how many it gave.
   *ended is set when the source has nothing more (fewer frames without it
   only mean "nothing more yet"). Called on the mixer thread with the
   driver's mutex held: it must not take the channel mutex. */
typedef int32_t (*cxOsAlsaPull)(void *user, void *buffer, int32_t frames, int *ended);
/* The frames of an ended source have played out. Mixer thread, driver's
   mutex held. */
typedef void (*cxOsAlsaEnded)(void *user);

/* The driver's mutex: 0, or ERR_SEMAPHORE (1298). */
int OsInitAlsaLock(void);
void OsFreeAlsaLock(void);

/* Loads libasound (once): 1 when it is there with every function. */
int OsLoadAlsa(void);
/* Tests: the library file names tried instead of libasound's (a null-ended
   list; null restores the default). Unloads a loaded library. */
void OsSetAlsaLibraryNames(const char *const *names);

/* Starts the mixer thread on the device (null or "" means "default"; the
   name is copied) after checking that a PCM opens there. Nothing when it
   runs already. 0; ERR_OPENAUDIO (1267) without libasound or when the
   device does not open; ERR_THREAD (1287) when the thread cannot start. The
   thread runs with SCHED_RR priority 25 where allowed, unless real-time
   scheduling is off. */
int StartAlsaMixerThread(const char *device);
/* Ends the mixer thread (every PCM should be closed first). */
void OsStopAlsaMixer(void);
/* Real-time scheduling of the audio threads (on by default): the mixer
   asks for it at its start, and OsGetAlsaThreadPriority gives 0 when off. */
void OsSetAlsaRealtime(int on);
int OsGetAlsaThreadPriority(int wanted);
/* Tests and benchmarks: how fast the mixer may run ahead of the wall clock
   (1 real time, 4 four times faster; 0 lets every PCM take all it can). */
void OsSetAlsaPacing(double factor);

/* Opens and configures a PCM for the format at the rate on the mixer's
   device. 0 and *out; ERR_OPENAUDIO when it does not open or no mixer
   runs, ERR_ALSAPCM from the configuration, ERR_MEM. */
int OsOpenAlsaPcm(const cxOsAlsaFormat *format, uint32_t rate, cxOsAlsaPcm **out);
/* Configures an open PCM (a snd_pcm_t): interleaved read-write access,
   U8/S8 or U16/S16 in the byte order of the flags, the channels, the
   nearest rate, a buffer near 100 ms, then prepares it. 0, ERR_MEM when the
   parameter block cannot be had, or ERR_ALSAPCM with the failing step
   (1 to 8) as error number. */
int OsConfigureAlsaPcm(void *pcm, const cxOsAlsaFormat *format, uint32_t rate, uint32_t *bufferFrames);
/* Hands the PCM to the mixer, which starts pulling at once. */
void OsStartAlsaPcm(cxOsAlsaPcm *p, cxOsAlsaPull pull, cxOsAlsaEnded ended, void *user);
/* The volume (0..64) the mixer scales by from now on. Any thread. */
void OsSetAlsaPcmVolume(cxOsAlsaPcm *p, uint32_t volume);
/* Takes the PCM from the mixer (no pull runs after this returns), drops
   what it holds, closes and frees it. Null is ignored. */
void OsCloseAlsaPcm(cxOsAlsaPcm *p);

#ifdef __cplusplus
}
#endif
