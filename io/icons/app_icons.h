// The application's own icon: twenty fixed slots (a normal and a selected
// image for each of ten square sizes) filled from the icon the applet
// declares or from image files named for the slots, and turned into the
// list of images the platform gives its windows and plug-ins ask for.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cxApplet;
struct cxStartupOptions;

enum { CX_APPICON_STANDARD = 1, CX_APPICON_SELECTED = 2 };
#define CX_APPICON_SLOT_COUNT 20

/* A node of the application-icon list: 0xAARRGGBB pixels, owned. */
typedef struct cxAppIconImage {
    struct cxAppIconImage *next;
    uint32_t *pixels;
    int32_t width;
    int32_t height;
    uint32_t flags; /* CX_APPICON_STANDARD, CX_APPICON_SELECTED */
} cxAppIconImage;

/* Names an image file for a slot ("ic16x16" ... "ic1024x1024", with "s"
   appended for the selected images; case-blind). 0, or ERR_WRONGUSAGE for
   an unknown slot name. A null file clears the slot's name. */
int SetAppIconSlotFile(const char *slot, const char *file);

/* At start-up: reads the icon the applet declares (an item of type 17; a
   linked file through its chunk name) into the slots, then builds the
   application-icon list. 0 or an error code. */
int LoadAppletIcon(const struct cxApplet *applet, const struct cxStartupOptions *opts);
/* Builds the application-icon list from the slots: a slot with a file name
   loads it (it must be exactly the slot's size: ERR_ICONDIMS with "WxH" as
   detail), a slot with pixels from the applet's icon takes those. The
   slots are emptied and the applet's icon entries freed. 0 or an error. */
int BuildAppIconImages(int verbose);
/* The application-icon list (null when empty). */
const cxAppIconImage *GetAppIconImages(void);
/* Frees the list, the slots' names and the applet's icon entries. */
void FreeAppIcons(void);

#ifdef __cplusplus
}
#endif
