// The plug-in loader: opens one ".cxp" file, lets the plug-in describe
// itself in its record, checks the description and resolves the entry
// points of its capabilities (include/calyxtone/cxplugin.h).
#pragma once

#include <stdint.h>

#include "engine/plugins/plugin_registry.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the manager keeps of an opened plug-in. */
typedef struct cxPluginHandle {
    uint32_t capabilities; /* copied from the record after InitPlugin */
    cxPlugin *plugin;
    void *library;         /* the dlopen handle */
    uint32_t closed;       /* ClosePlugin has been called */
} cxPluginHandle;

/* Opens the plug-in at path. On success *handle and *capabilities receive
   the handle and the plug-in's capability bits and the result is 0. Errors
   (detail set): 1000, 1520 (dlopen failed: its message), 1459 (no
   InitPlugin/ClosePlugin, refused by InitPlugin, or a name that does not
   match the file or is reserved: the file part of the path), 1400 (needs a
   newer interface: "8.1"), 1521 (a missing entry point: its name), 1402
   (detail "Linux"), 1483 (no known capability: the bits in hex). Nothing
   stays open after a failure. */
int OpenPlugin(const char *path, uint32_t *capabilities, cxPluginHandle **handle);

/* Calls ClosePlugin unless it ran already (or the plug-in is uncallable),
   takes the plug-in out of the capability lists, unloads the library and
   frees the record and the handle. A null handle is ignored. */
void ClosePluginHandle(cxPluginHandle *handle);

/* Calls the plug-in's ClosePlugin once (through the stub for calling
   convention 2); later calls do nothing. */
void CallClosePlugin(cxPluginHandle *handle);

/* The record of an opened plug-in (null for a null handle). */
cxPlugin *GetPluginInfo(cxPluginHandle *handle);

/* The API table handed to every plug-in. */
const cxPluginApi *GetPluginApi(void);

/* The reserved module names that only a "_" file may carry. */
int IsReservedPluginName(const char *name);

#ifdef __cplusplus
}
#endif
