// Icon images for plug-ins: every image of an icon, one image at a wanted
// size, and the application's icon images.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { CX_ICONIMAGE_STANDARD = 1, CX_ICONIMAGE_SELECTED = 2, CX_ICONIMAGE_OPAQUE = 4 };
/* Request flags of one image at a size. */
enum {
    CX_ICONREQ_SELECTED = 1, /* the selected image (the standard one when an entry has none) */
    CX_ICONREQ_NOSCALE = 2,  /* an entry of another size comes at its own size */
    CX_ICONREQ_EXACT = 4,    /* only an entry of exactly the wanted size */
    CX_ICONREQ_SMOOTH = 8    /* scale smoothly */
};

/* Every image of an icon: per entry its standard image, then its selected
   one. 0 with the list (copies) and its length, or the lookup's error. */
int GetIconImageList(cxObjectID id, cxPluginIconImage **list, int *count);
void FreeIconImageList(cxPluginIconImage *list);
/* One image of an icon: the reference entry (the standard size, else the
   first) times scale (scale null: the display's scale factor), taken from
   the entry of the closest width and scaled unless the flags say otherwise.
   0 and a one-node list, or an error (ERR_ICONENTRY when no entry fits). */
int GetIconImageAtScale(cxObjectID id, const double *scale, uint32_t flags, cxPluginIconImage **out);
/* The same for a wanted size given in pixels. */
int GetIconImageOfSize(cxObjectID id, int width, int height, uint32_t flags, cxPluginIconImage **out);
/* The application-icon images as a list of copies (this platform keeps no
   window icons of its own to merge them with). 0, or ERR_MEM. */
int GetAppIconImageList(cxPluginIconImage **list, int *count);

#ifdef __cplusplus
}
#endif
