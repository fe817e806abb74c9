// Files and folders of the operating system: examining paths, folder scans,
// creating, deleting and renaming, protection bits, file dates and their
// local-time form, temporary files, volumes and folder watching.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Protection bits as scripts see them (the FILEATTR_ constants). */
enum {
    CX_FILEATTR_READ_USR = 1,
    CX_FILEATTR_WRITE_USR = 2,
    CX_FILEATTR_DELETE_USR = 4,
    CX_FILEATTR_EXECUTE_USR = 8,
    CX_FILEATTR_PURE = 16,
    CX_FILEATTR_ARCHIVE = 32,
    CX_FILEATTR_SCRIPT = 64,
    CX_FILEATTR_HIDDEN = 128,
    CX_FILEATTR_SYSTEM = 256,
    CX_FILEATTR_READ_GRP = 512,
    CX_FILEATTR_WRITE_GRP = 1024,
    CX_FILEATTR_EXECUTE_GRP = 2048,
    CX_FILEATTR_READ_OTH = 4096,
    CX_FILEATTR_WRITE_OTH = 8192,
    CX_FILEATTR_EXECUTE_OTH = 16384,
    CX_FILEATTR_READONLY = 32768,
    CX_FILEATTR_NORMAL = 65536
};

#define CX_OS_PATH_MAX 1024

/* What examining a path tells. Times are seconds since 1970. */
typedef struct cxOsFileInfo {
    uint32_t isDirectory;
    int64_t size;
    uint32_t protection;
    int64_t accessTime;
    int64_t modifyTime;
    char path[CX_OS_PATH_MAX + 1];
} cxOsFileInfo;

/* A broken-down local date. */
typedef struct cxOsDate {
    int sec, min, hour, mday, month /* 0..11 */, year /* full */;
} cxOsDate;

/* The two times of a file, for reading and setting dates (index 0 access,
   1 modification). */
typedef struct cxOsFileTimes {
    int64_t times[2];
} cxOsFileTimes;

/* 1 and info filled when the path exists and could be examined (links are
   followed); 0 otherwise. info->path is the path made absolute. */
int OsExaminePath(const char *path, cxOsFileInfo *info);
/* Fills info from an open descriptor; path is stored as given. 1 or 0. */
int OsExamineDescriptor(int fd, const char *path, cxOsFileInfo *info);
/* Protection bits of a mode_t. */
uint32_t OsModeToProtection(uint32_t mode);
/* The mode_t of protection bits (FILEATTR_NORMAL: 0644). */
uint32_t OsProtectionToMode(uint32_t protection);
/* The absolute, resolved form of path into out; 1, or 0 when it cannot be
   resolved or does not fit. */
int OsResolvePath(const char *path, char *out, size_t size);

/* Folder scans. Open returns null when the path is not a folder that can
   be read. Next returns 1 with the entry's name (and, when info is given,
   its examined information) or 0 after the last entry; "." and ".." are
   never returned. */
typedef struct cxOsDirScan cxOsDirScan;
cxOsDirScan *OsBeginDirScan(const char *path);
int OsNextDirEntry(cxOsDirScan *scan, const char **name, uint32_t *isDirectory, cxOsFileInfo *info);
/* 0, or -1 when the scan cannot be restarted. */
int OsRewindDirScan(cxOsDirScan *scan);
void OsEndDirScan(cxOsDirScan *scan);

/* 0 or ERR_CREATEDIR; mode 0755; the parent must exist. */
int OsMakeDir(const char *path);
/* 1 on success. */
int OsDeleteFile(const char *path);
/* Renames; a name that is in use is never replaced (0). */
int OsRename(const char *from, const char *to);
/* The FILEATTR bits as a mode: NORMAL gives 0644. 1 on success. */
int OsSetProtection(const char *path, uint32_t protection);
/* Sets both times (seconds). 1 on success. */
int OsSetFileDate(const char *path, const cxOsFileTimes *times);

/* Local-time conversion of one of the times. */
void OsTimeToDate(const cxOsFileTimes *times, cxOsDate *out, int index);
/* 1 and times->times[index] set, or 0 when the date is no valid local time. */
int OsDateToTime(const cxOsDate *date, cxOsFileTimes *times, int index);

/* Creates a new empty file in the temporary folder ($TMPDIR, else /tmp)
   named "calyxtone." and six random characters; its path goes into buffer.
   0, or -1 on failure. */
int OsCreateTempFile(char *buffer, size_t size);
/* As OsCreateTempFile with suffix (for example ".sh") after the random
   characters, so that the name stays unique with an extension. */
int OsCreateTempFileWithSuffix(char *buffer, size_t size, const char *suffix);

/* "unimplemented" on this platform. 0. */
int OsGetVolumeName(const char *path, char *out, size_t size);
/* Free and used bytes; both 0 on this platform. 0. */
int OsGetVolumeInfo(const char *path, uint64_t *freeBytes, uint64_t *usedBytes);

/* Folder watching is not possible on this platform: the handle is always 0. */
unsigned OsStartDirMonitor(const char *path, void *record, int all);
void OsEndDirMonitor(void *record);

/* Open descriptors of the process (for leak checks); -1 when unknown. */
int OsCountOpenDescriptors(void);

#ifdef __cplusplus
}
#endif
