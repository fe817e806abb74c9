// CDXL: a sequence of equally sized chunks, each a 32-byte header, a
// palette of 12-bit colours, bitplane picture data (palette colours, HAM6
// or HAM8) and 8-bit mono sound. The video player reads it through this
// plain interface, packet by packet as a demultiplexer delivers them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxCdxlReader cxCdxlReader;

/* What the file's first chunk tells. */
typedef struct cxCdxlInfo {
    int32_t width, height;
    uint32_t durationMs;   /* frames / rate x 1000, truncated */
    int32_t audioRate;     /* sound bytes per chunk x rate, truncated */
    int32_t audioChannels; /* 1 when the chunks carry sound, else 0 */
    uint32_t seekable;     /* the file can be positioned */
    int32_t frames;
    int32_t planes;
    uint32_t ham;
    double frameRate;      /* frames per second, from the chunk size */
} cxCdxlInfo;

enum { CX_CDXL_VIDEO = 0, CX_CDXL_AUDIO = 1 };

/* One packet: a frame's picture data or its sound. Allocated by
   ReadCdxlPacket in one block; release it with free(). */
typedef struct cxCdxlPacket {
    int32_t type;             /* CX_CDXL_VIDEO or CX_CDXL_AUDIO */
    int32_t frame;            /* 0-based frame number */
    double time;              /* presentation time in seconds */
    uint8_t header[32];       /* the chunk's header as stored (video packets) */
    uint32_t palette[256];    /* 0x00RRGGBB, unused entries 0 (video packets) */
    uint8_t *video;           /* planar picture data, videoBytes long */
    uint8_t *chunky;          /* width x height index bytes, filled by DecodeCdxlVideo */
    uint8_t *sound;           /* soundBytes signed 8-bit samples (audio packets) */
    uint32_t videoBytes;
    uint32_t soundBytes;
} cxCdxlPacket;

/* A decoded picture: the caller's buffer of height rows of rowBytes. */
typedef struct cxCdxlFrame {
    uint8_t *pixels;  /* 4 bytes a pixel: 0, R, G, B */
    int32_t rowBytes; /* at least width x 4 */
    double time;      /* the packet's time */
    double time2;     /* -1.0 */
} cxCdxlFrame;

/* Opens a CDXL file (through the file adapters of the list, null for any).
   Null when the file is no CDXL this reader can play: the first byte must
   be 1, the file larger than one chunk, the second chunk of the same size,
   and the sizes must fit the chunk (1 to 8 planes, a palette of at most 256
   colours, data that fits between header and chunk end). */
cxCdxlReader *OpenCdxlFile(const char *file, const char *adapters, cxCdxlInfo *info);
void CloseCdxlFile(cxCdxlReader *reader);
/* The next packet: 0, -1 at the end or on a short read, -2 out of
   memory. A chunk with sound gives its video packet, then its audio
   packet. */
int ReadCdxlPacket(cxCdxlReader *reader, cxCdxlPacket **packet);
/* The packet's picture into frame->pixels. 0, or -1 for an audio packet
   or a buffer too small. */
int DecodeCdxlVideo(cxCdxlReader *reader, cxCdxlPacket *packet, cxCdxlFrame *frame);
/* The packet's sound as 16-bit samples (each byte the high byte) into
   samples, which holds capacity samples. *bytes receives 2 x the sound
   bytes and *more 1. 0, or -1 for a video packet or too small a buffer. */
int DecodeCdxlAudio(cxCdxlReader *reader, cxCdxlPacket *packet, int16_t *samples, size_t capacity, size_t *bytes,
                    int *more);
/* Moves to the frame shown at ms milliseconds (at most the last frame).
   0, or -1 when the file cannot be positioned. */
int SeekCdxl(cxCdxlReader *reader, int64_t ms);
/* Nothing is buffered between packets: the flushes do nothing. */
void FlushCdxlAudio(cxCdxlReader *reader);
void FlushCdxlVideo(cxCdxlReader *reader);
int32_t GetCdxlFrameCount(const cxCdxlReader *reader);
/* "CDXL". */
const char *GetCdxlFormatName(void);

/* The frame rate of a chunk size: 153,600, 307,200 or 614,400 bytes a
   second for chunks up to 13,000, up to 40,000 and larger. */
double CdxlFrameRate(uint32_t chunkSize);

#ifdef __cplusplus
}
#endif
