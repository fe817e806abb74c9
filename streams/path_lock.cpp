#include "streams/path_lock.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "errors/errors.h"

struct cxLock {
    cxOsFileInfo info;
};

extern "C" cxLock *LockPath(const char *path, int, const char *) {
    if (!path || !*path) return nullptr;
    auto *lock = new (std::nothrow) cxLock;
    if (!lock) return nullptr;
    if (!OsExaminePath(path, &lock->info)) {
        delete lock;
        return nullptr;
    }
    return lock;
}

extern "C" void UnlockPath(cxLock *lock) { delete lock; }

extern "C" int ExamineLock(cxLock *lock, cxOsFileInfo *info) {
    if (!lock || !info) return ERR_EXAMINE;
    // Fresh figures: the file may have changed since it was locked.
    if (!OsExaminePath(lock->info.path, info)) *info = lock->info;
    return 0;
}

extern "C" void GetLockPath(cxLock *lock, char *buffer, size_t size) {
    if (buffer && size) snprintf(buffer, size, "%s", lock ? lock->info.path : "");
}

extern "C" int CheckLockIsDirectory(cxLock *lock, cxOsDirScan **scan) {
    if (scan) *scan = nullptr;
    if (!lock) return ERR_NOTADIR;
    cxOsDirScan *s = lock->info.isDirectory ? OsBeginDirScan(lock->info.path) : nullptr;
    if (!s) {
        SetErrorDetail(lock->info.path);
        return ERR_NOTADIR;
    }
    if (scan) *scan = s;
    else OsEndDirScan(s);
    return 0;
}

extern "C" int NextLockEntry(cxLock *, cxOsDirScan *scan, const char **name, uint32_t *isDirectory,
                             cxOsFileInfo *info) {
    return OsNextDirEntry(scan, name, isDirectory, info);
}

extern "C" int RewindLock(cxOsDirScan *scan) { return OsRewindDirScan(scan) == 0 ? 0 : ERR_REWINDDIR; }

extern "C" int ExaminePath(const char *path, cxOsFileInfo *info, int) {
    cxOsFileInfo local;
    return OsExaminePath(path, info ? info : &local);
}

extern "C" int StatStream(cxStream *stream, cxOsFileInfo *info) {
    if (!stream || !info) return 0;
    const char *name = GetStreamName(stream);
    int fd = GetStreamDescriptor(stream);
    if (fd >= 0) {
        // Pending writes count towards the size.
        FlushStream(stream);
        return OsExamineDescriptor(fd, name, info);
    }
    uint64_t size = GetStreamSize(stream);
    memset(info, 0, sizeof *info);
    info->size = size == CX_STREAM_SIZE_UNKNOWN ? -1 : static_cast<int64_t>(size);
    info->protection = CX_FILEATTR_READ_USR | CX_FILEATTR_WRITE_USR;
    info->accessTime = info->modifyTime = static_cast<int64_t>(time(nullptr));
    snprintf(info->path, sizeof info->path, "%s", name);
    return 1;
}
