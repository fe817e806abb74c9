// Locks on paths: a path resolved once and held while a command examines it
// or walks the folder it names. Windows into other files (":::chunk" names)
// and memory names are examined through a stream instead.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "streams/stream.h"
#include "platform/os_files.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { CX_LOCK_SHARED = 1, CX_LOCK_ADAPTERS = 4 };

typedef struct cxLock cxLock;

/* Null when the path does not exist or cannot be examined. */
cxLock *LockPath(const char *path, int mode, const char *adapters);
void UnlockPath(cxLock *lock);
/* 0, or ERR_EXAMINE. */
int ExamineLock(cxLock *lock, cxOsFileInfo *info);
/* The full path into buffer (cut to size). */
void GetLockPath(cxLock *lock, char *buffer, size_t size);
/* 0 and a new scan for a folder; ERR_NOTADIR (path as detail) otherwise. */
int CheckLockIsDirectory(cxLock *lock, cxOsDirScan **scan);
/* 1 when an entry was read. */
int NextLockEntry(cxLock *lock, cxOsDirScan *scan, const char **name, uint32_t *isDirectory, cxOsFileInfo *info);
/* 0, or ERR_REWINDDIR. */
int RewindLock(cxOsDirScan *scan);

/* 1 when the path exists and was examined. */
int ExaminePath(const char *path, cxOsFileInfo *info, int useAdapters);
/* Fills info for an open stream: a file of the operating system from its
   descriptor; windows, memory blocks and adapter files with their size,
   read and write bits for the owner and the current time. 1 on success. */
int StatStream(cxStream *stream, cxOsFileInfo *info);

#ifdef __cplusplus
}
#endif
