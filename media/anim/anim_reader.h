// One handle over every kind of anim file: anim-loader plug-ins first, then
// the built-in IFF ANIM, GIF and AVI readers (and the platform's own
// decoder, which Linux does not have). Anims, anim saving and playback read
// frames only through it.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxAnimReader cxAnimReader;

enum cxAnimReaderType {
    CX_ANIMREADER_IFF = 1,
    CX_ANIMREADER_GIF = 2,
    CX_ANIMREADER_AVI = 3,
    CX_ANIMREADER_NATIVE = 4,
    CX_ANIMREADER_PLUGIN = 5
};

/* The loader word for the platform's own decoder in *loader. */
#define CX_ANIM_NATIVE_LOADER ((cxPlugin *)(uintptr_t)1)

/* Opens an anim file. loaders and adapters are "|"-lists ("" for any);
   deinterlace 1 doubles the fields of interlaced IFF ANIMs; transparency
   asks for the file's own transparent pen. On success *reader, the size,
   the frame count, whether frames carry alpha, and *loader (the plug-in,
   null for the built-in readers, CX_ANIM_NATIVE_LOADER for the native
   decoder). Errors: ERR_READFILE (detail: file), ERR_SEEKFILE, ERR_READ,
   ERR_MEM, ERR_OPENANIM2 (detail: file) for no known anim format. */
int OpenAnimFile(const char *file, const char *loaders, const char *adapters, int deinterlace, int transparency,
                 cxAnimReader **reader, int *width, int *height, int *frames, int *hasAlpha, cxPlugin **loader);
/* Frame n (0-based) as width x height 0xAARRGGBB words, or null.
   *hasTransparency (may be null): the frame has a transparent pen. Release
   with FreeAnimReaderFrame. */
uint32_t *ReadAnimReaderFrame(cxAnimReader *reader, int frame, int alphaWanted, int *hasTransparency);
void FreeAnimReaderFrame(cxAnimReader *reader, uint32_t *pixels);
/* The frame's delay as the format gives it (milliseconds; AVI 0). */
int GetAnimReaderDelay(cxAnimReader *reader, int frame);
void CloseAnimReader(cxAnimReader *reader);
/* 1 when the file opens as an anim and is not a GIF of one frame. Never
   an error. */
int IsAnimFile(const char *file, const char *loaders, const char *adapters);
int IsIFFAnimReader(const cxAnimReader *reader);
int GetAnimReaderType(const cxAnimReader *reader);

#ifdef __cplusplus
}
#endif
