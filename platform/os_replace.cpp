#include "platform/os_replace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::atomic<int> g_unnamedAllowed{1};
std::atomic<unsigned> g_partialCounter{0};

constexpr char kPartialMark[] = ".cxcopy";

bool Fits(const std::string &s) { return s.size() <= CX_OS_PATH_MAX; }

std::string FolderOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process id in a partial name ".NAME.cxcopyPID-N", or 0.
pid_t PartialOwner(const char *entry) {
    if (entry[0] != '.') return 0;
    const char *mark = nullptr;
    for (const char *p = strstr(entry, kPartialMark); p; p = strstr(p + 1, kPartialMark)) mark = p;
    if (!mark) return 0;
    const char *digits = mark + sizeof kPartialMark - 1;
    char *end = nullptr;
    const long pid = strtol(digits, &end, 10);
    if (end == digits || *end != '-' || pid <= 0) return 0;
    const char *counter = end + 1;
    if (!*counter) return 0;
    for (const char *c = counter; *c; c++)
        if (*c < '0' || *c > '9') return 0;
    return static_cast<pid_t>(pid);
}

// Removes partial files whose process is gone: what a copy killed before
// it could clean up left behind.
void RemoveStalePartials(const std::string &folder) {
    DIR *dir = opendir(folder.c_str());
    if (!dir) return;
    const pid_t self = getpid();
    while (dirent *e = readdir(dir)) {
        const pid_t owner = PartialOwner(e->d_name);
        if (owner == 0 || owner == self) continue;
        if (kill(owner, 0) == 0 || errno != ESRCH) continue;
        unlinkat(dirfd(dir), e->d_name, 0);
    }
    closedir(dir);
}

std::string PartialName(const std::string &target) {
    return FolderOf(target) + "/." + NameOf(target) + kPartialMark + std::to_string(getpid()) + "-" +
           std::to_string(++g_partialCounter);
}

bool Store(char *out, const std::string &s) {
    if (!Fits(s)) {
        errno = ENAMETOOLONG;
        return false;
    }
    memcpy(out, s.c_str(), s.size() + 1);
    return true;
}

int OpenInPlace(cxOsReplacement *r, int access) {
    r->kind = CX_REPLACE_INPLACE;
    r->partial[0] = 0;
    r->fd = open(r->target, access | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return r->fd >= 0 ? 1 : 0;
}

bool ProcFdUsable() {
    static const bool usable = access("/proc/self/fd", X_OK) == 0;
    return usable;
}

}  // namespace

extern "C" void OsSetUnnamedFilesAllowed(int allowed) { g_unnamedAllowed = allowed ? 1 : 0; }

extern "C" int OsBeginReplacement(const char *path, int flags, cxOsReplacement *r) {
    r->fd = -1;
    r->kind = CX_REPLACE_INPLACE;
    r->partial[0] = 0;
    if (!path || !*path) {
        errno = ENOENT;
        return 0;
    }
    if (!Store(r->target, path)) return 0;
    const int access = (flags & CX_REPLACE_READABLE) ? O_RDWR : O_WRONLY;

    struct stat st;
    bool exists = lstat(path, &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        if (flags & CX_REPLACE_NOFOLLOW) {
            st.st_mode = S_IFREG | 0666;  // the link goes; the new file gets default bits
            exists = false;
        } else {
            // As opening would: the file the link leads to is replaced.
            char resolved[PATH_MAX];
            if (!realpath(path, resolved) || stat(resolved, &st) != 0) return OpenInPlace(r, access);
            if (!Store(r->target, resolved)) return 0;
        }
    }
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return 0;
        }
        // Devices and pipes are written where they are.
        if (!S_ISREG(st.st_mode)) return OpenInPlace(r, access);
        // A file that could not be opened for writing is not replaced either.
        if (::access(r->target, W_OK) != 0) return 0;
    }
    const std::string target(r->target);
    const std::string folder = FolderOf(target);
    const mode_t bits = st.st_mode & 07777;

    if (g_unnamedAllowed && ProcFdUsable()) {
        r->fd = open(folder.c_str(), O_TMPFILE | access | O_CLOEXEC, 0666);
        if (r->fd >= 0) {
            r->kind = CX_REPLACE_UNNAMED;
            if (exists) fchmod(r->fd, bits);
            return 1;
        }
    }
    RemoveStalePartials(folder);
    for (int attempt = 0; attempt < 100; attempt++) {
        if (!Store(r->partial, PartialName(target))) return OpenInPlace(r, access);
        r->fd = open(r->partial, access | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (r->fd >= 0) {
            r->kind = CX_REPLACE_PARTIAL;
            if (exists) fchmod(r->fd, bits);
            return 1;
        }
        if (errno != EEXIST) break;
    }
    // A folder where nothing new can be made, but whose file may be written:
    // written where it is, as before.
    return OpenInPlace(r, access);
}

extern "C" int OsFinishReplacement(cxOsReplacement *r) {
    if (r->fd < 0) return 0;
    bool ok = true;
    switch (r->kind) {
    case CX_REPLACE_UNNAMED: {
        char proc[64];
        snprintf(proc, sizeof proc, "/proc/self/fd/%d", r->fd);
        if (linkat(AT_FDCWD, proc, AT_FDCWD, r->target, AT_SYMLINK_FOLLOW) == 0) break;
        if (errno != EEXIST) {
            ok = false;
            break;
        }
        // The name is taken: link beside it, then rename over it in one step.
        ok = false;
        for (int attempt = 0; attempt < 100 && !ok; attempt++) {
            const std::string partial = PartialName(r->target);
            if (!Fits(partial)) break;
            if (linkat(AT_FDCWD, proc, AT_FDCWD, partial.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) continue;
                break;
            }
            ok = rename(partial.c_str(), r->target) == 0;
            if (!ok) unlink(partial.c_str());
            break;
        }
        break;
    }
    case CX_REPLACE_PARTIAL:
        // Closed first, so that an error the close reports keeps the old file.
        if (close(r->fd) != 0) ok = false;
        r->fd = -1;
        if (ok && rename(r->partial, r->target) != 0) ok = false;
        if (!ok) unlink(r->partial);
        return ok ? 1 : 0;
    default:
        break;
    }
    if (close(r->fd) != 0) ok = false;
    r->fd = -1;
    return ok ? 1 : 0;
}

extern "C" void OsAbandonReplacement(cxOsReplacement *r) {
    if (r->fd >= 0) close(r->fd);
    r->fd = -1;
    if (r->kind == CX_REPLACE_PARTIAL && r->partial[0]) unlink(r->partial);
}
