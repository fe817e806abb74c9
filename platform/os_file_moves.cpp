#include "platform/os_file_moves.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "errors/errors.h"
#include "platform/os_files.h"

extern "C" int OsMoveFile(const char *source, const char *destination) {
    if (!source || !destination || !*source || !*destination) return ERR_MOVEFILE;
    if (rename(source, destination) == 0) return 0;
    return errno == EXDEV ? ERR_WRONGUSAGE : ERR_MOVEFILE;
}

extern "C" int OsIsMountPoint(const char *path) {
    char resolved[CX_OS_PATH_MAX + 1];
    if (!path || !OsResolvePath(path, resolved, sizeof resolved)) return 1;
    std::string self(resolved);
    if (self == "/") return 1;
    const size_t slash = self.find_last_of('/');
    const std::string parent = slash == 0 ? "/" : self.substr(0, slash);
    struct stat a, b;
    if (stat(self.c_str(), &a) != 0 || stat(parent.c_str(), &b) != 0) return 1;
    return a.st_dev != b.st_dev ? 1 : 0;
}

extern "C" int OsIsSymbolicLink(const char *path) {
    struct stat st;
    return path && lstat(path, &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
}

extern "C" int OsPathNameExists(const char *path) {
    struct stat st;
    return path && *path && lstat(path, &st) == 0 ? 1 : 0;
}

extern "C" int OsCopySymbolicLink(const char *source, const char *destination) {
    std::string target(4096, '\0');
    const ssize_t n = readlink(source, target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return 0;
    target.resize(static_cast<size_t>(n));
    return symlink(target.c_str(), destination) == 0 ? 1 : 0;
}

extern "C" int OsIsSameFile(const char *a, const char *b) {
    struct stat sa, sb;
    if (!a || !b || stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino ? 1 : 0;
}
