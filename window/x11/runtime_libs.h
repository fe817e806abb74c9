// Optional libraries loaded at run time. A missing library leaves its
// functions null and the features that need them off; a missing function is
// reported and left null.
#pragma once

#include <X11/Xlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One function to look up: its name and where its address goes. */
typedef struct cxLibFunction {
    const char *name;
    void **slot;
} cxLibFunction;

/* Opens the first of the file names that loads (the list ends with a null)
   and fills the slots; prints "WARNING: Library function %s not found in
   %s!\n" for each missing function. Returns the dlopen handle or null. */
void *OsLoadLibraryFunctions(const char *const *fileNames, const cxLibFunction *functions, int count);

/* The libXfixes functions the X11 back-end uses. */
typedef struct cxXfixesApi {
    void *handle;
    Bool (*QueryExtension)(Display *, int *eventBase, int *errorBase);
    int (*QueryVersion)(Display *, int *major, int *minor);
    void (*SelectSelectionInput)(Display *, Window, Atom selection, unsigned long mask);
    unsigned long (*CreateRegion)(Display *, XRectangle *rects, int count);
    void (*DestroyRegion)(Display *, unsigned long region);
    void (*SetWindowShapeRegion)(Display *, Window, int shapeKind, int x, int y, unsigned long region);
} cxXfixesApi;

extern cxXfixesApi g_cxXfixes;

/* Loads every optional library of the X11 back-end (libXfixes so far). */
void OsLoadRuntimeLibraries(void);
void OsFreeRuntimeLibraries(void);

#ifdef __cplusplus
}
#endif
