// Sound streams: every sound the player reads (a sample loaded whole, a
// music played block by block, a Protracker module, a stream a script
// fills itself) is opened as one cxSoundStream. The built-in formats are
// IFF 8SVX and 16SV and RIFF WAVE; sound-loader plug-ins come first.
#pragma once

#include <stdint.h>

#include <atomic>

#include "include/calyxtone/cxplugin.h"
#include "platform/os_threads.h"
#include "platform/os_time.h"
#include "streams/stream.h"

/* Sample format codes, one numbering for the whole sound subsystem. */
enum {
    CX_SMP_UNKNOWN = -1,
    CX_SMP_MONO8U = 0,
    CX_SMP_STEREO8U = 1,
    CX_SMP_MONO8S = 2,
    CX_SMP_STEREO8S = 3,
    CX_SMP_MONO16 = 4,
    CX_SMP_STEREO16 = 5
};

/* Stream flags. */
enum { CX_SND_BIGENDIAN = 1, CX_SND_SIGNED = 2 };

/* Stream types. */
enum {
    CX_SST_8SVX = 1,
    CX_SST_16SV = 2,
    CX_SST_WAVE = 3,
    CX_SST_NATIVE = 4,
    CX_SST_PLUGIN = 5,
    CX_SST_CUSTOM = 6,
    CX_SST_MODULE = 8
};

/* Music source kinds. */
enum { CX_MUSIC_STREAM = 1, CX_MUSIC_MODULE = 2 };

#define CX_SND_UNKNOWN_LENGTH 0xFFFFFFFFu

/* A block a script queued on a custom stream (FillMusicBuffer). data null
   marks the end of the music. */
typedef struct cxCustomBlock {
    struct cxCustomBlock *next;
    void *data;
    uint32_t readPos; /* frames */
    uint32_t frames;
    std::atomic<uint32_t> consumed;
} cxCustomBlock;

typedef struct cxCustomFormat {
    uint32_t rate, bits, channels, bytesPerFrame;
    int32_t formatCode;
} cxCustomFormat;

struct cxSoundStream {
    void *handle; /* cxStream, or the plug-in's handle (type 5) */
    uint32_t bits;
    uint32_t bytesPerFrame;
    uint32_t channels;
    uint32_t flags;
    uint32_t rate;
    uint32_t compression;
    uint32_t dataLength;
    uint32_t length;   /* frames; CX_SND_UNKNOWN_LENGTH for a custom stream */
    uint32_t endFrame; /* the music feeder plays up to it */
    uint32_t position; /* the next frame to decode */
    uint32_t dataOffset;
    uint32_t transferUnit;
    uint32_t framesPerUnit;
    uint32_t lastBytes, lastFrames;
    uint32_t type;
    int32_t formatCode;
    uint32_t bitRate;
    unsigned char *scratch;
    uint32_t scratchSize;
    /* Where the latest seek put the stream, and when playback started
       (microseconds on the wall clock, 0 when not playing): the feeding
       thread sets the start, the main thread reads it. */
    cxOsTimeVal positionTime;
    std::atomic<int64_t> playStartUs;
    uint32_t playPosition; /* milliseconds played before the latest pause */
    uint32_t streaming;
    uint32_t seekable;
    uint32_t subsongCount;
    /* Custom streams: the owning state, the lock over the block list. */
    void *userValue;
    cxOsMutex *mutex;
    cxCustomBlock *blocks;
    cxCustomFormat custom;
    std::atomic<uint32_t> queuedFrames;
    uint32_t firstFillPending;
    cxPlugin *plugin;
};

/* A whole sample in memory. 8-bit data is unsigned unless the signed flag
   says otherwise; 16-bit data keeps the byte order of its source. */
struct cxSampleData {
    unsigned char *buffer;
    uint32_t bits;
    uint32_t bytesPerFrame;
    uint32_t channels;
    uint32_t flags;
    uint32_t frames;
    int32_t formatCode;
    uint32_t rate;
};

int GetSampleFormatCode(uint32_t bits, uint32_t channels, uint32_t flags);
uint32_t GetBytesPerFrame(int code);

/* Recognises and opens a sound file. loader: 0 built-in, 1 native, else
   the plug-in. 0 or ERR_MEM, ERR_READFILE, ERR_OPENSOUND2 (the file name as
   detail). */
int OpenSoundFile(const char *name, const char *loaders, const char *adapters, int subsong, int streaming,
                  cxSoundStream **out, uintptr_t *loader);
/* Frames delivered; *ended (may be null) when the request reached past the
   end. */
uint32_t DecodeSoundStream(cxSoundStream *s, void *buffer, uint32_t frames, int *ended);
void SeekSoundStream(cxSoundStream *s, uint32_t frame);
/* As SeekSoundStream, keeping the stream's time fields (a music looping
   or resuming). */
void RewindSoundStream(cxSoundStream *s, uint32_t frame);
void SeekStreamMs(cxSoundStream *s, uint32_t ms);
const char *GetStreamFormatName(cxSoundStream *s);
void CloseSoundStream(cxSoundStream *s);

/* 1 when the file opens as a sample. */
int IsSampleFile(const char *name, const char *loaders, const char *adapters);
int LoadSampleData(const char *name, const char *loaders, const char *adapters, cxSampleData **out,
                   uint32_t *bytes, uint32_t *rate, int32_t *code, uintptr_t *loader);
/* Takes ownership of data (malloc) of codes 2..5 (signed). */
int WrapSampleData(void *data, uint32_t frames, uint32_t rate, int code, cxSampleData **out, int32_t *outCode);
int CopySampleData(const cxSampleData *record, cxSampleData **out);
void FreeSampleData(cxSampleData *record);
/* Frees the old buffer and installs data (malloc) of frames frames of the
   code, with the flags (CX_SND_*). */
void ReplaceSampleData(cxSampleData *record, void *data, uint32_t frames, int code, uint32_t flags);

/* Custom streams (filled by FillMusicBuffer). */
int CreateCustomStream(void *owner, uint32_t rate, int code, int *kind, cxSoundStream **out);
/* Appends a block (data malloc'd or null for the end) after dropping the
   consumed blocks at the head; the queued count grows by frames. 0 or
   ERR_MEM (data is then freed). */
int QueueCustomBlock(cxSoundStream *s, void *data, uint32_t frames);
/* Frees every block and clears the queued count. */
void ClearCustomBlocks(cxSoundStream *s);
/* Frames held by blocks not yet consumed. */
uint32_t GetUnconsumedFrames(cxSoundStream *s);
/* The decoder of a custom stream (the feeding thread). */
uint32_t DecodeCustomStream(cxSoundStream *s, unsigned char *out, uint32_t frames, int *ended);

/* Music sources. */
int OpenMusicSource(const char *name, const char *loaders, const char *adapters, int subsong, int *kind,
                    void **source, uint32_t *seekable, uint32_t *subsongs, uintptr_t *loader);
void FreeMusicSource(int kind, void *source);
/* Frames delivered; a module renders every frame and never ends. */
uint32_t DecodeMusicSource(int kind, void *source, void *buffer, uint32_t frames, int *ended);
int ProbeMusicFormat(const char *name, const char *loaders, const char *adapters, const char **formatName);

/* Attribute values of a music source. */
enum {
    CX_MATTR_DURATION = 0,
    CX_MATTR_POSITION = 1,
    CX_MATTR_FORMATNAME = 2,
    CX_MATTR_FORMAT = 3,
    CX_MATTR_RATE = 4,
    CX_MATTR_BITRATE = 5
};
/* Numeric attributes (-1 when not known); CX_MATTR_FORMATNAME gives 0 and
   sets *text. */
int64_t GetMusicAttribute(int attribute, int kind, void *source, const char **text);
/* The play position of a stream in milliseconds. */
uint32_t GetStreamPositionMs(cxSoundStream *s);
