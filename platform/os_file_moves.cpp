#include "platform/os_file_moves.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
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

extern "C" int OsOpenFolder(const char *path) {
    if (!path || !*path) return -1;
    return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

extern "C" int OsOpenFolderAt(int folder, const char *name) {
    if (folder < 0 || !name || !*name) return -1;
    return openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

extern "C" void OsCloseFolder(int folder) {
    if (folder >= 0) close(folder);
}

extern "C" int OsExamineAt(int folder, const char *name, uint32_t *protection) {
    struct stat st;
    if (folder < 0 || !name || fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return CX_ENTRY_MISSING;
    if (protection) *protection = OsModeToProtection(st.st_mode);
    if (S_ISLNK(st.st_mode)) return CX_ENTRY_LINK;
    return S_ISDIR(st.st_mode) ? CX_ENTRY_FOLDER : CX_ENTRY_FILE;
}

extern "C" int OsListFolderAt(int folder, void (*add)(void *user, const char *name), void *user) {
    // The listing reads through a descriptor of its own, so the caller's
    // stays where it was.
    const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return 0;
    }
    while (dirent *e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        add(user, e->d_name);
    }
    closedir(dir);
    return 1;
}

extern "C" int OsDeleteAt(int folder, const char *name, int isFolder) {
    if (folder < 0 || !name || !*name) return 0;
    return unlinkat(folder, name, isFolder ? AT_REMOVEDIR : 0) == 0 ? 1 : 0;
}

extern "C" int OsSetProtectionAt(int folder, const char *name, uint32_t protection) {
    // Opened without following a link (O_PATH), then changed through the
    // descriptor: a link put in its place meanwhile is not followed.
    const int fd = openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    int ok = 0;
    if (fstat(fd, &st) == 0 && !S_ISLNK(st.st_mode)) {
        char proc[64];
        snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        ok = chmod(proc, OsProtectionToMode(protection)) == 0;
    }
    close(fd);
    return ok;
}
