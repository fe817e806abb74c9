// The vector engines: the inbuilt one on FreeType outlines and those of
// plug-ins with the vector capability, the current engine, and the two
// calls every measurement and drawing goes through.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "graphics/vector/path_style.h"
#include "include/calyxtone/cxvector.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The inbuilt engine's record: calling convention 0, vector flags 1, the
   slots of the FreeType engine. */
cxPlugin *GetInbuiltVectorEngine(void);
int IsInbuiltVectorEngine(const cxPlugin *engine);
/* The current engine (the inbuilt one until a script chooses another). */
cxPlugin *GetCurrentVectorEngine(void);
void SetCurrentVectorEngine(cxPlugin *engine);

/* Finds an opened plug-in with the vector capability by file name (any
   case, ".cxp" included). The plug-in manager registers it; without it
   only "default" is known. */
typedef cxPlugin *(*cxVectorPluginFinder)(const char *fileName);
void SetVectorPluginFinder(cxVectorPluginFinder finder);
/* "default" (any case): the inbuilt engine; another name gets ".cxp"
   appended unless it ends so. Null for an unknown name and for names of
   256 bytes or more. */
cxPlugin *FindVectorEngine(const char *name);

/* Measures items: the smallest and largest x and y of what the engine
   would draw. The outputs keep their values when nothing can be measured. */
void GetPathExtentsOf(const cxPlugin *engine, const void *items, const cxPathStyle *style, int fill,
                      int32_t lineWidth, const double *matrix, double *x1, double *y1, double *x2, double *y2,
                      double dx, double dy);
/* Rasterises items as coverage into pixels (width x height, bytesPerRow).
   The engine's result: non-zero on success. */
int DrawPathWithEngine(const cxPlugin *engine, const void *items, const cxPathStyle *style, int fill,
                       int32_t lineWidth, const double *matrix, uint8_t *pixels, int32_t bytesPerRow, int32_t width,
                       int32_t height, double dx, double dy, double ox, double oy);
/* The point where the next relative item of items would start. */
void GetPathCurrentPoint(const cxPlugin *engine, const void *items, const cxPathStyle *style, double *x, double *y);
/* Moves every absolute coordinate of items by (dx, dy) in place. */
void TranslatePathItems(const cxPlugin *engine, void *items, double dx, double dy);

#ifdef __cplusplus
}
#endif
