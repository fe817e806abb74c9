#include "platform/os_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "errors/errors.h"

struct cxOsDirScan {
    DIR *dir = nullptr;
    std::string path;
    cxOsFileInfo info{};
};

namespace {

void FillInfo(const struct stat &st, cxOsFileInfo *info) {
    info->isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
    info->size = static_cast<int64_t>(st.st_size);
    info->protection = OsModeToProtection(st.st_mode);
    info->accessTime = static_cast<int64_t>(st.st_atim.tv_sec);
    info->modifyTime = static_cast<int64_t>(st.st_mtim.tv_sec);
}

void CopyPath(char *dst, size_t size, const char *src) {
    snprintf(dst, size, "%s", src);
}

}  // namespace

extern "C" uint32_t OsModeToProtection(uint32_t mode) {
    uint32_t p = 0;
    if (mode & S_IRUSR) p |= CX_FILEATTR_READ_USR;
    if (mode & S_IWUSR) p |= CX_FILEATTR_WRITE_USR | CX_FILEATTR_DELETE_USR;
    if (mode & S_IXUSR) p |= CX_FILEATTR_EXECUTE_USR;
    if (mode & S_IRGRP) p |= CX_FILEATTR_READ_GRP;
    if (mode & S_IWGRP) p |= CX_FILEATTR_WRITE_GRP;
    if (mode & S_IXGRP) p |= CX_FILEATTR_EXECUTE_GRP;
    if (mode & S_IROTH) p |= CX_FILEATTR_READ_OTH;
    if (mode & S_IWOTH) p |= CX_FILEATTR_WRITE_OTH;
    if (mode & S_IXOTH) p |= CX_FILEATTR_EXECUTE_OTH;
    return p;
}

extern "C" int OsResolvePath(const char *path, char *out, size_t size) {
    if (!path || !*path || !out || size == 0) return 0;
    char resolved[PATH_MAX];
    if (!realpath(path, resolved)) return 0;
    if (strlen(resolved) >= size) return 0;
    strcpy(out, resolved);
    return 1;
}

extern "C" int OsExaminePath(const char *path, cxOsFileInfo *info) {
    if (!path || !*path || !info) return 0;
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    memset(info, 0, sizeof *info);
    FillInfo(st, info);
    if (!OsResolvePath(path, info->path, sizeof info->path)) CopyPath(info->path, sizeof info->path, path);
    return 1;
}

extern "C" int OsExamineDescriptor(int fd, const char *path, cxOsFileInfo *info) {
    struct stat st;
    if (fd < 0 || !info || fstat(fd, &st) != 0) return 0;
    memset(info, 0, sizeof *info);
    FillInfo(st, info);
    if (!path || !OsResolvePath(path, info->path, sizeof info->path)) CopyPath(info->path, sizeof info->path, path ? path : "");
    return 1;
}

extern "C" cxOsDirScan *OsBeginDirScan(const char *path) {
    if (!path || !*path) return nullptr;
    auto *scan = new (std::nothrow) cxOsDirScan;
    if (!scan) return nullptr;
    scan->dir = opendir(path);
    if (!scan->dir) {
        delete scan;
        return nullptr;
    }
    try {
        scan->path = path;
        if (scan->path.back() != '/') scan->path += '/';
    } catch (const std::bad_alloc &) {
        OsEndDirScan(scan);
        return nullptr;
    }
    return scan;
}

extern "C" int OsNextDirEntry(cxOsDirScan *scan, const char **name, uint32_t *isDirectory, cxOsFileInfo *info) {
    if (!scan || !scan->dir) return 0;
    for (;;) {
        errno = 0;
        struct dirent *e = readdir(scan->dir);
        if (!e) return 0;
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        // An entry that vanished between the listing and the look is skipped.
        std::string full = scan->path + e->d_name;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
        if (name) *name = e->d_name;
        if (isDirectory) *isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
        if (info) {
            memset(info, 0, sizeof *info);
            FillInfo(st, info);
            CopyPath(info->path, sizeof info->path, full.c_str());
        }
        return 1;
    }
}

extern "C" int OsRewindDirScan(cxOsDirScan *scan) {
    if (!scan || !scan->dir) return -1;
    rewinddir(scan->dir);
    return 0;
}

extern "C" void OsEndDirScan(cxOsDirScan *scan) {
    if (!scan) return;
    if (scan->dir) closedir(scan->dir);
    delete scan;
}

extern "C" int OsMakeDir(const char *path) {
    if (!path || !*path) return ERR_CREATEDIR;
    return mkdir(path, 0755) == 0 ? 0 : ERR_CREATEDIR;
}

extern "C" int OsDeleteFile(const char *path) {
    if (!path || !*path) return 0;
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) return rmdir(path) == 0 ? 1 : 0;
    return unlink(path) == 0 ? 1 : 0;
}

extern "C" int OsRename(const char *from, const char *to) {
    if (!from || !to || !*from || !*to) return 0;
    if (strcmp(from, to) == 0) {
        struct stat st;
        return lstat(from, &st) == 0 ? 1 : 0;
    }
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 1;
    if (errno != EINVAL && errno != ENOSYS) return 0;
    // A file system that cannot refuse in the rename itself: a new link
    // refuses a name in use; folders are checked first.
    struct stat st;
    if (lstat(from, &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) {
        if (lstat(to, &st) == 0) return 0;
        return rename(from, to) == 0 ? 1 : 0;
    }
    if (link(from, to) != 0) return 0;
    unlink(from);
    return 1;
}

extern "C" int OsSetProtection(const char *path, uint32_t p) {
    return path && chmod(path, OsProtectionToMode(p)) == 0 ? 1 : 0;
}

extern "C" uint32_t OsProtectionToMode(uint32_t p) {
    mode_t mode = 0;
    if (p & CX_FILEATTR_NORMAL) {
        mode = 0644;
    } else {
        if (p & CX_FILEATTR_READ_USR) mode |= S_IRUSR;
        if (p & CX_FILEATTR_WRITE_USR) mode |= S_IWUSR;
        if (p & CX_FILEATTR_EXECUTE_USR) mode |= S_IXUSR;
        if (p & CX_FILEATTR_READ_GRP) mode |= S_IRGRP;
        if (p & CX_FILEATTR_WRITE_GRP) mode |= S_IWGRP;
        if (p & CX_FILEATTR_EXECUTE_GRP) mode |= S_IXGRP;
        if (p & CX_FILEATTR_READ_OTH) mode |= S_IROTH;
        if (p & CX_FILEATTR_WRITE_OTH) mode |= S_IWOTH;
        if (p & CX_FILEATTR_EXECUTE_OTH) mode |= S_IXOTH;
    }
    return mode;
}

extern "C" int OsSetFileDate(const char *path, const cxOsFileTimes *times) {
    if (!path || !times) return 0;
    struct timespec ts[2];
    for (int i = 0; i < 2; i++) {
        // A 32-bit time_t ends in 2038: a later date fails rather than wraps.
        ts[i].tv_sec = static_cast<time_t>(times->times[i]);
        if (ts[i].tv_sec != times->times[i]) return 0;
        ts[i].tv_nsec = 0;
    }
    return utimensat(AT_FDCWD, path, ts, 0) == 0 ? 1 : 0;
}

extern "C" void OsTimeToDate(const cxOsFileTimes *times, cxOsDate *out, int index) {
    time_t t = static_cast<time_t>(times->times[index ? 1 : 0]);
    struct tm tmv{};
    // Past a 32-bit time_t's range the date is all zero, as for a failure.
    if (t != times->times[index ? 1 : 0] || !localtime_r(&t, &tmv)) memset(&tmv, 0, sizeof tmv);
    out->sec = tmv.tm_sec;
    out->min = tmv.tm_min;
    out->hour = tmv.tm_hour;
    out->mday = tmv.tm_mday;
    out->month = tmv.tm_mon;
    out->year = tmv.tm_year + 1900;
}

extern "C" int OsDateToTime(const cxOsDate *date, cxOsFileTimes *times, int index) {
    if (!date || !times) return 0;
    if (date->month < 0 || date->month > 11 || date->mday < 1 || date->mday > 31) return 0;
    struct tm tmv{};
    tmv.tm_sec = date->sec;
    tmv.tm_min = date->min;
    tmv.tm_hour = date->hour;
    tmv.tm_mday = date->mday;
    tmv.tm_mon = date->month;
    tmv.tm_year = date->year - 1900;
    tmv.tm_isdst = -1;
    time_t t = mktime(&tmv);
    if (t == static_cast<time_t>(-1)) return 0;
    // A day that the month does not have (31 April) is refused rather than
    // rolled over into the next month.
    if (tmv.tm_mday != date->mday || tmv.tm_mon != date->month) return 0;
    times->times[index ? 1 : 0] = static_cast<int64_t>(t);
    return 1;
}

extern "C" int OsCreateTempFile(char *buffer, size_t size) { return OsCreateTempFileWithSuffix(buffer, size, ""); }

extern "C" int OsCreateTempFileWithSuffix(char *buffer, size_t size, const char *suffix) {
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    if (!suffix) suffix = "";
    int n = snprintf(buffer, size, "%s%scalyxtone.XXXXXX%s", dir, dir[strlen(dir) - 1] == '/' ? "" : "/", suffix);
    if (n < 0 || static_cast<size_t>(n) >= size) return -1;
    int fd = mkstemps(buffer, static_cast<int>(strlen(suffix)));
    if (fd < 0) return -1;
    close(fd);
    return 0;
}

extern "C" int OsGetVolumeName(const char *, char *out, size_t size) {
    if (out && size) snprintf(out, size, "%s", "unimplemented");
    return 0;
}

extern "C" int OsGetVolumeInfo(const char *, uint64_t *freeBytes, uint64_t *usedBytes) {
    if (freeBytes) *freeBytes = 0;
    if (usedBytes) *usedBytes = 0;
    return 0;
}

extern "C" unsigned OsStartDirMonitor(const char *, void *, int) { return 0; }
extern "C" void OsEndDirMonitor(void *) {}

extern "C" int OsCountOpenDescriptors(void) {
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    while (struct dirent *e = readdir(d)) {
        if (e->d_name[0] != '.') n++;
    }
    closedir(d);
    return n - 1;  // the scan's own descriptor
}
