// The plug-in package appended to a linked executable (docs/plugin-package.md):
// unpacked at start-up into a private temporary folder as ".cxp" files,
// scanned before any other folder, and removed at exit.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CX_PACKAGE_MAGIC "CXP!"
#define CX_PACKAGE_VERSION 1u
#define CX_PACKAGE_HEADER_SIZE 16u
/* Longest entry name in bytes. */
#define CX_PACKAGE_NAME_MAX 255u
/* Largest unpacked plug-in the player accepts. */
#define CX_PACKAGE_ENTRY_MAX (256u * 1024u * 1024u)
/* The packed data of each entry: a CXPK item with this magic. */
#define CX_PACKAGE_ENTRY_MAGIC "CXPK"

/* 1 when the length bytes at name are an acceptable entry name: a plain
   file name ending in ".cxp" (any case), without "/", "\\", "..", control
   characters or NUL, at most CX_PACKAGE_NAME_MAX bytes. */
int IsValidPackageEntryName(const char *name, size_t length);

/* Unpacks the package that starts at packageOffset in the program file
   into a new folder "cxplugins-XXXXXX" made with mkdtemp under tempRoot
   (null or "" for "/tmp"). On success *appletOffset (optional) receives
   where the applet behind the package begins and the folder is what
   GetPluginTempDir answers. On failure nothing is left on disk.
   0, 1045 (program file does not open), 1009 (cut short), 1577 (not a
   package, or sizes that do not fit), 1578 (a refused entry name, or one
   given twice; the name is the detail), 1084 (the folder cannot be made),
   1052/1005 (an entry cannot be created/written), 1000, or the unpacker's
   codes (1306-1309 zlib, 1310 wrong magic; 1309 also for a checksum
   mismatch). */
int ExtractAppendedPlugins(const char *programPath, uint64_t packageOffset, const char *tempRoot,
                           uint64_t *appletOffset);

/* The folder made by ExtractAppendedPlugins, or null. */
const char *GetPluginTempDir(void);

/* Deletes every file in the temporary plug-in folder and the folder itself,
   without changing the current folder. Does nothing when no folder was
   made; safe to call more than once. 0, or 1143 when something stayed. */
int RemoveAppendedPlugins(void);
/* The same from a signal handler (async-signal-safe, no report): the run
   is ending at once and must not leave the unpacked plug-ins behind. */
void RemoveAppendedPluginsFromSignal(void);

#ifdef __cplusplus
}
#endif
