// The plug-in stages of the player's main sequence, driven by the start-up
// record: the linked package, the scans, the options REQUIREPLUGINS,
// REQUIRETAGS and SKIPPLUGINS, and the clean-up.
//
// Order in the main sequence:
//   linked mode:      ExtractLinkedPlugins (then read the applet at the
//                     offset it answers)
//   stand-alone mode: CountPlugins (the first scan only counts)
//   both:             InitPlugins
//   at exit:          ClosePlugins (while the VM is open), FreePlugins,
//                     RemoveAppendedPlugins - also when a stage failed.
// Once the applet record is read, SetPluginApplet hands it to the API's
// version checks and file-name resolution; set it back to null before the
// record is freed.
#pragma once

#include <stdint.h>

#include "engine/vm/lua.h"
#include "shell/options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ExtractAppendedPlugins for the program and package offset of the
   start-up record, under its TEMPDIR setting. */
int ExtractLinkedPlugins(const cxStartupOptions *opts, uint64_t *appletOffset);

/* Counts the plug-in files that a scan would see. */
int CountPlugins(const cxStartupOptions *opts, int *count);

/* Scans the plug-in folders (SKIPPLUGINS names are only listed), registers
   what every opened plug-in offers, then requires each plug-in that
   REQUIREPLUGINS names (its RequirePlugin hook gets the REQUIRETAGS text as
   tag 2). Adapters may be registered only while this runs. Progress lines
   follow the QUIET option. 0 or the first error. */
int InitPlugins(lua_State *L, const cxStartupOptions *opts);

/* A list of names as the scan takes it: each name ended by a NUL, the
   list ended by an empty name. Names in text are separated by "|", ",",
   ";" or blanks. Null for a null or empty text or when memory runs out;
   free() it. */
char *MakePluginNameList(const char *text);

#ifdef __cplusplus
}
#endif
