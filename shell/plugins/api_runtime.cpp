// The runtime-library sub-table of the plug-in API: the C library, with
// file opening routed through the player's stream layer.
#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>

#include <mutex>
#include <unordered_map>

#include "engine/charset/charset.h"
#include "shell/plugins/api_tables.h"
#include "streams/stream.h"

namespace {

// Streams behind the FILEs that FOpen made, for FStat.
std::mutex g_filesLock;
std::unordered_map<FILE *, cxStream *> g_files;

cxStream *StreamOf(FILE *f) {
    std::lock_guard<std::mutex> lock(g_filesLock);
    auto it = g_files.find(f);
    return it == g_files.end() ? nullptr : it->second;
}

ssize_t CookieRead(void *cookie, char *buffer, size_t size) {
    return static_cast<ssize_t>(ReadStream(static_cast<cxStream *>(cookie), buffer, size));
}

ssize_t CookieWrite(void *cookie, const char *buffer, size_t size) {
    // A short count tells the C library that the write failed.
    return static_cast<ssize_t>(WriteStreamData(static_cast<cxStream *>(cookie), buffer, size));
}

int CookieSeek(void *cookie, off64_t *position, int whence) {
    auto *s = static_cast<cxStream *>(cookie);
    int mode = whence == SEEK_SET ? CX_SEEK_BEGINNING : whence == SEEK_END ? CX_SEEK_END : CX_SEEK_CURRENT;
    if (SeekFileStream(s, *position, mode) < 0) return -1;
    *position = SeekFileStream(s, 0, CX_SEEK_CURRENT);
    return 0;
}

int CookieClose(void *cookie) {
    auto *s = static_cast<cxStream *>(cookie);
    {
        // However the FILE is closed, its stream leaves the table here.
        std::lock_guard<std::mutex> lock(g_filesLock);
        for (auto it = g_files.begin(); it != g_files.end();) {
            if (it->second == s)
                it = g_files.erase(it);
            else
                ++it;
        }
    }
    return CloseFileStream(s) ? 0 : -1;
}

FILE *OpenThroughStreams(const char *name, const char *mode) {
    if (!name || !mode || !*mode) {
        errno = EINVAL;
        return nullptr;
    }
    const bool plus = strchr(mode, '+') != nullptr;
    int streamMode = 0;
    switch (mode[0]) {
    case 'r': streamMode = plus ? CX_STREAM_READWRITE : CX_STREAM_READ; break;
    case 'w': streamMode = plus ? CX_STREAM_READWRITE : CX_STREAM_WRITE; break;
    case 'a': streamMode = CX_STREAM_READWRITE; break;
    default: errno = EINVAL; return nullptr;
    }
    if (mode[0] == 'r' && plus) {
        // "r+" never creates the file.
        cxStream *probe = OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
        if (!probe) {
            errno = ENOENT;
            return nullptr;
        }
        CloseFileStream(probe);
    }
    cxStream *s = OpenFileStream(name, streamMode | CX_STREAM_ADAPTERS, nullptr);
    if (!s) {
        if (!errno) errno = ENOENT;
        return nullptr;
    }
    if (mode[0] == 'w' && plus) {
        // "w+" truncates: open once for writing to empty the file.
        CloseFileStream(s);
        cxStream *w = OpenFileStream(name, CX_STREAM_WRITE | CX_STREAM_ADAPTERS, nullptr);
        if (w) CloseFileStream(w);
        s = OpenFileStream(name, CX_STREAM_READWRITE | CX_STREAM_ADAPTERS, nullptr);
        if (!s) return nullptr;
    }
    if (mode[0] == 'a') SeekFileStream(s, 0, CX_SEEK_END);
    cookie_io_functions_t io{CookieRead, CookieWrite, CookieSeek, CookieClose};
    FILE *f = fopencookie(s, mode, io);
    if (!f) {
        CloseFileStream(s);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_filesLock);
    g_files[f] = s;
    return f;
}

void FillStat(const struct stat &st, cxPluginStat *out) {
    uint32_t flags = 0;
    if (S_ISDIR(st.st_mode)) flags |= CX_STAT_DIRECTORY;
    const struct {
        mode_t mode;
        uint32_t flag;
    } bits[] = {{S_IRUSR, CX_STAT_OWNER_READ},  {S_IWUSR, CX_STAT_OWNER_WRITE}, {S_IXUSR, CX_STAT_OWNER_EXEC},
                {S_IRGRP, CX_STAT_GROUP_READ},  {S_IWGRP, CX_STAT_GROUP_WRITE}, {S_IXGRP, CX_STAT_GROUP_EXEC},
                {S_IROTH, CX_STAT_OTHER_READ},  {S_IWOTH, CX_STAT_OTHER_WRITE}, {S_IXOTH, CX_STAT_OTHER_EXEC}};
    for (const auto &b : bits) {
        if (st.st_mode & b.mode) flags |= b.flag;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    out->flags = flags;
    out->sizeLow = static_cast<uint32_t>(size);
    out->sizeHigh = static_cast<uint32_t>(size >> 32);
    out->accessTime = st.st_atime;
    out->modifyTime = st.st_mtime;
    out->changeTime = st.st_ctime;
}

int StatFile(FILE *f, cxPluginStat *out) {
    if (!f || !out) return -1;
    if (cxStream *s = StreamOf(f)) {
        // A file of the stream layer: size and owner access are what is known.
        const uint64_t size = GetStreamSize(s);
        if (size == CX_STREAM_SIZE_UNKNOWN) return -1;
        out->flags = CX_STAT_OWNER_READ | CX_STAT_OWNER_WRITE;
        out->sizeLow = static_cast<uint32_t>(size);
        out->sizeHigh = static_cast<uint32_t>(size >> 32);
        out->accessTime = out->modifyTime = out->changeTime = 0;
        return 0;
    }
    struct stat st;
    int fd = fileno(f);
    if (fd < 0 || fstat(fd, &st) != 0) return -1;
    FillStat(st, out);
    return 0;
}

int StatName(const char *name, cxPluginStat *out) {
    struct stat st;
    if (!name || !out || stat(name, &st) != 0) return -1;
    FillStat(st, out);
    return 0;
}

int GetTimeOfDay(struct timeval *tv, void *) { return gettimeofday(tv, nullptr); }
void DiffTime(double *result, time_t end, time_t start) {
    if (result) *result = difftime(end, start);
}
int ToLower(int c) { return static_cast<int>(ToLowerChar(static_cast<uint32_t>(c))); }
int ToUpper(int c) { return static_cast<int>(ToUpperChar(static_cast<uint32_t>(c))); }
void SetErrno(int value) { errno = value; }
int GetErrno() { return errno; }
int *ErrnoLocation() { return &errno; }
FILE *StdIn() { return stdin; }
FILE *StdOut() { return stdout; }
FILE *StdErr() { return stderr; }

}  // namespace

// Exposed for the files table and the tests.
int PluginFileStat(FILE *f, cxPluginStat *out) { return StatFile(f, out); }
void FillPluginStat(const struct stat &st, cxPluginStat *out) { FillStat(st, out); }

const cxApiRuntime kApiRuntime = {
    .Malloc = malloc,
    .Calloc = calloc,
    .Realloc = realloc,
    .Free = free,
    .StrDup = strdup,
    .FOpen = OpenThroughStreams,
    .FClose = fclose,
    .FSeek = fseek,
    .FTell = ftell,
    .FRead = fread,
    .FWrite = fwrite,
    .FGetC = fgetc,
    .FPutC = fputc,
    .FError = ferror,
    .FEof = feof,
    .VFPrintf = vfprintf,
    .VSNPrintf = vsnprintf,
    .VPrintf = vprintf,
    .QSort = qsort,
    .VSScanf = vsscanf,
    .StrToD = strtod,
    .StrToL = strtol,
    .StrToUL = strtoul,
    .StrICmp = StrCompareNoCase,
    .StrNICmp = StrNCompareNoCase,
    .ToLower = ToLower,
    .ToUpper = ToUpper,
    .StrLwr = LowerCaseInPlace,
    .StrUpr = UpperCaseInPlace,
    .GetTimeOfDay = GetTimeOfDay,
    .Time = time,
    .LRint = lrint,
    .LocalTime = localtime,
    .GmTime = gmtime,
    .AscTime = asctime,
    .CTime = ctime,
    .MkTime = mktime,
    .StrFTime = strftime,
    .Clock = clock,
    .DiffTime = DiffTime,
    .FileNo = fileno,
    .ClearErr = clearerr,
    .FFlush = fflush,
    .FStat = StatFile,
    .Stat = StatName,
    .VFScanf = vfscanf,
    .UngetC = ungetc,
    .Rename = rename,
    .Remove = remove,
    .SetErrno = SetErrno,
    .GetErrno = GetErrno,
    .ErrnoLocation = ErrnoLocation,
    .StrError = strerror,
    .StdIn = StdIn,
    .StdOut = StdOut,
    .StdErr = StdErr,
    .ErrnoLocation2 = ErrnoLocation,
    .FPutS = fputs,
    .FGetS = fgets,
    .end = nullptr,
};
