// The plug-in manager: the list of known plug-in files, scanning folders,
// opening on demand, registering what plug-ins offer with the virtual
// machine, requiring plug-ins by name and version, the capability lists and
// the choice of loaders and adapters, the information dump, and the
// clean-up at exit.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "engine/vm/lua.h"
#include "engine/plugins/plugin_registry.h"
#include "shell/plugins/plugin_loader.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CX_PLUGIN_NAME_MAX 256
#define CX_PLUGIN_PATH_MAX 1024

/* One known plug-in file, in load order. */
typedef struct cxPluginEntry {
    struct cxPluginEntry *next;
    uint32_t capabilities;
    cxPluginHandle *handle;          /* null until the file is opened */
    char name[CX_PLUGIN_NAME_MAX];   /* file name with extension, leading "_" removed */
    char path[CX_PLUGIN_PATH_MAX];   /* full path */
    uint32_t required;               /* RequirePlugin has been called */
    uint32_t registered;             /* RegisterPluginFormats has run */
    uint32_t librariesRegistered;    /* the command libraries are registered */
} cxPluginEntry;

/* A help text attached to a plug-in record: the three strings live in the
   same allocation, behind the node. */
struct cxPluginHelpText {
    struct cxPluginHelpText *next;
    cxPlugin *owner;
    const char *name;
    const char *second; /* null when none */
    const char *text;
    uint32_t flags;
    intptr_t value;     /* kept when flags has bit 1 */
};

/* ---- scanning and opening ---- */

/* Scans the temporary plug-in folder of linked mode first (when one was
   made), then the folder "Plugins" beside the program (or the program's
   folder itself, see SetPluginsBesideProgram). skipList: null, or names
   each ended by a NUL, the list ended by an empty name. With count the
   files are only counted. A program path without a folder part ends the
   scan with 0. */
int ScanPlugins(const char *programPath, const char *skipList, int *count);
int ScanPluginDir(const char *folder, const char *skipList, int *count);
void SetPluginsBesideProgram(int on);
void SetPluginQuiet(int quiet);
int IsPluginQuiet(void);
/* 0 when it opened the plug-in (*entry set), 1003 when the plug-in was
   known already (*entry set), else the loader's error code. */
int FindOrOpenPlugin(const char *path, int openNow, cxPluginEntry **entry);

/* ---- registration with the virtual machine ---- */

/* The plug-in's command libraries (unless deferred by its library
   extension word) and its saver formats. Runs once per entry. */
int RegisterPluginFormats(lua_State *L, cxPluginEntry *entry);
int RegisterPluginLibrary(lua_State *L, cxPluginHandle *handle, int withCommands, int callInit);

/* Flags of LoadRequiredPlugin. */
enum {
    CX_REQUIRE_CALLHOOK = 1,  /* call RequirePlugin once */
    CX_REQUIRE_LIBRARIES = 2, /* register deferred command libraries now */
    CX_REQUIRE_EXTRA = 4      /* extra is handed to RequirePlugin as tag 2 */
};
/* Opens (when needed) and checks the plug-in name (".cxp" optional) of at
   least version.revision. 0, the hook's result, 1494 (detail "name.cxp v.r",
   or the name alone for 0.0) or an error of opening. result, when given,
   is handed to RequirePlugin as tag 1. */
int LoadRequiredPlugin(lua_State *L, const char *name, int version, int revision, int flags, int *result,
                       intptr_t extra);

/* ---- the list ---- */

cxPluginEntry *GetPluginList(void);
cxPluginEntry *FindPluginEntry(const cxPlugin *plugin);
/* The opened plug-ins as {next, record} nodes in load order (the API's
   plug-in list); null when none is open. Valid until the next plug-in is
   opened or closed. */
cxPluginNode *GetOpenedPluginNodes(void);

void SetPluginDisabled(cxPlugin *plugin, int disabled);
int IsPluginDisabled(const cxPlugin *plugin);
void SetPluginOnlyWhenNamed(cxPlugin *plugin, int on);
int IsPluginOnlyWhenNamed(const cxPlugin *plugin);

/* Appends a help text to the record's list. 0 or 1000. */
int AddPluginHelpText(cxPlugin *plugin, const char *name, const char *second, const char *text, uint32_t flags,
                      intptr_t value);

/* ---- choice of adapters ---- */

/* Adds the plug-ins the list names to the capability's list, marked
   serve-only-when-named. 0 or 1000. */
int AddNamedAdapters(const char *list, uint32_t capability);

/* ---- progress ---- */


/* ---- listing and clean-up ---- */

/* The information dump of every opened plug-in; a malloc'd text (free()),
   or null when memory runs out. */
char *DumpPluginInfo(lua_State *L, int withHelp);
/* For each opened plug-in: FreeLibrary when its library was initialised,
   then ClosePlugin. Called while the virtual machine is still open. */
void ClosePlugins(lua_State *L);
/* Frees the help texts and saver formats, closes every plug-in, frees the
   list and the capability lists, and forgets the adapters. */
void FreePlugins(void);

#ifdef __cplusplus
}
#endif
