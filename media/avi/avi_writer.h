// Writing AVI files frame by frame: one silent PCM stream and one Motion
// JPEG stream, in the OpenDML layout (a first "RIFF" "AVI " part with a
// legacy idx1 index, "AVIX" parts when the file grows past 1 GB, super
// indexes in the header and standard indexes every 2,044 frames).
#pragma once

#include <stdint.h>

#include "graphics/bitmap/bitmap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxAviWriter cxAviWriter;

/* Flags of BeginAviWriter. */
#define CX_AVIWRITER_SIDEFILE 4u /* write a side text file at the end */

/* The header's fixed sizes and the index capacities. */
#define CX_AVI_SUPERINDEX_ENTRIES 1022
#define CX_AVI_STDINDEX_ENTRIES 2044
#define CX_AVI_INDEX_CHUNK 16384

/* Opens the file. fps 1..44,100 (the sound's rate must divide by it):
   others ERR_WRONGUSAGE. pointer draws the mouse pointer of the current
   display over every frame. Errors: ERR_WRONGUSAGE, ERR_MEM,
   ERR_WRITEFILE (detail: file), ERR_LOADPICTURE2 (detail "(internal)")
   when the pointer images cannot be made. */
int BeginAviWriter(const char *file, int32_t fps, uint32_t flags, int32_t width, int32_t height, int32_t quality,
                   int smooth, int pointer, const char *title, const char *sideFile, cxAviWriter **writer);
/* One frame: the bitmap (scaled to the writer's size when it differs), or
   null to repeat the previous frame. 0, ERR_LOCKBMAP, ERR_MEM, ERR_WRITE
   (also when the super index is full); a failed frame leaves the writer
   usable. */
int WriteAviFrame(cxAviWriter *writer, cxBitmap *bitmap, int32_t width, int32_t height, int keep);
/* The same from 0xAARRGGBB words (rowLength pixels per row) of the
   writer's size. */
int WriteAviFrameARGB(cxAviWriter *writer, const uint32_t *pixels, int32_t rowLength);
/* Finishes the file (indexes, sizes, header) and frees the writer. 0 or
   ERR_WRITE. */
int FinishAviWriter(cxAviWriter *writer);
/* Frees the writer without finishing: the temporary index goes, the output
   is closed as it stands. */
void FreeAviWriter(cxAviWriter *writer);

/* Frames written so far. */
uint32_t GetAviWriterFrames(const cxAviWriter *writer);
/* The sample rate and samples per frame a frame rate gives (0 when none
   fits). */
void GetAviAudioRate(int32_t fps, uint32_t *sampleRate, uint32_t *samplesPerFrame);

/* For tests: the size at which a part is closed (first part, later parts);
   0 restores 1,000,000,000 and 2,000,000,000. */
void SetAviWriterPartLimits(uint64_t first, uint64_t later);

#ifdef __cplusplus
}
#endif
