// The Protracker replayer: "M.K." modules of four channels and 31 samples,
// rendered on demand into 16-bit stereo. The state is a pure function of
// what was rendered: the audio thread renders, the main thread only reads
// the song position and row and sets a pending position.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>

/* One unpacked pattern cell (12 bytes: 64 rows x 4 cells = 3,072 bytes a
   pattern). */
typedef struct cxModuleCell {
    uint32_t period;
    uint32_t sample;
    uint8_t effect, x, y, param;
} cxModuleCell;

/* Lengths and loop values in 18.14 fixed point (bytes x 16,384). */
typedef struct cxModuleSample {
    char name[23];
    int8_t *data;
    uint32_t length, loopStart, loopLength, loopEnd;
    uint8_t finetune; /* 0..15 */
    uint8_t volume;   /* 0..64 as stored */
} cxModuleSample;

typedef struct cxModuleChannel {
    const cxModuleSample *sample;
    const cxModuleSample *queued; /* a sample number without a note: takes over at the loop end */
    uint32_t position, step;      /* 18.14 */
    uint32_t on;
    int32_t period;               /* the note's period, moved by slides and portamento */
    int32_t outPeriod;            /* with vibrato or arpeggio */
    int32_t portaTarget, portaSpeed;
    int32_t slide;                /* per tick: negative up, positive down */
    int32_t volume;               /* 0..63 */
    int32_t outVolume;            /* with tremolo */
    int32_t volumeSlide;
    int32_t panning;              /* 0..255 */
    uint8_t vibSpeed, vibDepth, vibPos, vibWave;
    uint8_t tremSpeed, tremDepth, tremPos, tremWave;
    uint8_t finetune;
    uint8_t arpX, arpY, arpOn;
    int32_t cutCounter, retrigCounter, retrigReload;
    int32_t delayCounter;         /* a note held back by EDy */
    const cxModuleCell *delayed;
    int32_t loopRow, loopCount;
    uint8_t glissFunk;            /* low nibble glissando, high nibble funk speed */
    uint32_t funkAccumulator, funkOffset;
    uint32_t lastOffset;          /* 9xx in bytes */
    uint32_t flags;               /* 1 the row's first tick skips slides; 2 tone portamento; 4 vibrato; 8 tremolo */
} cxModuleChannel;

typedef struct cxModulePlayer {
    char title[21];
    uint16_t patternCount;
    uint16_t songLength;
    uint8_t order[128];
    cxModuleSample samples[31];
    cxModuleCell *patterns;
    cxModuleChannel channels[4];
    /* Read by the main thread while the audio thread plays. */
    std::atomic<uint32_t> songPosition;
    std::atomic<uint32_t> row;
    uint8_t speed, tempo;
    uint32_t internalRate;
    uint32_t masterVolume;
    uint32_t samplesPerTick;
    uint32_t tickCounter;
    uint32_t ticksLeft;
    uint32_t patternDelay;
    int32_t breakRow;        /* -1: none */
    int32_t jumpPosition;    /* -1: none */
    int32_t loopJumpRow;     /* -1: none */
    uint32_t songFlags;      /* bit 3: wrapped or jumped back */
    uint32_t started;        /* a row has been read */
    /* Set by the main thread: bit 31 pending, bits 8..15 song position,
       bits 0..7 row. */
    std::atomic<uint32_t> pending;
    unsigned char *file;
    uint32_t fileSize;
} cxModulePlayer;

/* Song flag of a song that wrapped or jumped back. */
#define CX_MOD_WRAPPED 8u

/* Without a state: the bytes the state needs (0 for a file that is no
   playable module: shorter than its patterns). With one (zeroed, of that
   size): fills it, keeps module as its file buffer, and returns 1 (0 when
   the file is refused). */
size_t InitModulePlayer(cxModulePlayer *state, unsigned char *module, uint32_t size, uint32_t outputRate);
/* Writes frames stereo frames of signed 16-bit samples (left, right); with
   no buffer only advances the replay. Never allocates. */
void RenderModuleBlock(cxModulePlayer *state, int16_t *buffer, uint32_t frames);
/* Query 1: the row, 2: the song position (-1 when the module plays on no
   channel); 0: makes {value, row 0} the pending position and gives 0. */
int QueryModulePosition(int playing, cxModulePlayer *state, int query, int value);
