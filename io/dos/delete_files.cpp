// DeleteFile and the per-file deleter that MoveFile shares. A tree is
// walked by descriptors, as rm -r does: each folder is entered once, by a
// name that is not a link, and what lies inside it is examined and removed
// through its descriptor. Links inside a tree are removed as links, and a
// folder swapped for a link while the walk is inside it cannot lead the
// walk out of the tree.
#include <errno.h>

#include <algorithm>
#include <cstring>

#include "io/dos/file_walk.h"
#include "streams/chunk_names.h"
#include "platform/os_file_moves.h"
#include "platform/os_files.h"

namespace cxdos {

namespace {

// Actions of the callback.
enum { DELETEFILE_STATUS = 0, DELETEFILE_UNPROTECT = 1, MOVEFILE_UNPROTECT = 0, MOVEFILE_DELETE = 2 };

// An open folder, closed when it goes.
class FolderFd {
public:
    explicit FolderFd(int fd) : fd_(fd) {}
    ~FolderFd() { OsCloseFolder(fd_); }
    FolderFd(const FolderFd &) = delete;
    FolderFd &operator=(const FolderFd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// 1143, naming the file and why ("Could not delete file!" cannot).
int DeleteError(const std::string &full) {
    const int cause = errno;
    SetErrorDetail(full.c_str());
    SetErrorReason(ERR_DELETEFILE, (full + ": " + strerror(cause)).c_str());
    return ERR_DELETEFILE;
}

// The per-file deleter on a name inside an open folder; folderPath is that
// folder's full path, for the callback and the error.
int DeleteEntryAt(FileWalk &w, int folder, const std::string &folderPath, const std::string &name) {
    if (w.pattern && !MatchPatternList(w.pattern, name.c_str())) return 0;
    const std::string full = JoinPath(folderPath, name);
    uint32_t protection = 0;
    const int kind = OsExamineAt(folder, name.c_str(), &protection);
    if (kind == CX_ENTRY_MISSING) return DeleteError(full);
    const bool isProtected = kind != CX_ENTRY_LINK && (protection & CX_FILEATTR_WRITE_USR) == 0;
    double answer = 0;
    if (isProtected) {
        if (!w.callback) return 0;  // kept silently
        const int action = w.moving ? MOVEFILE_UNPROTECT : DELETEFILE_UNPROTECT;
        if (int err = CallFileCallback(w, action, {{"file", full.c_str(), 0}}, false, &answer)) return err;
        if (answer == -1) return kWalkAborted;
        if (answer == 0) return 0;
        if (!OsSetProtectionAt(folder, name.c_str(), CX_FILEATTR_NORMAL)) return DeleteError(full);
    }
    if (w.callback) {
        const int action = w.moving ? MOVEFILE_DELETE : DELETEFILE_STATUS;
        if (int err = CallFileCallback(w, action, {{"file", full.c_str(), 0}}, false, &answer)) return err;
        if (answer == 1) return kWalkAborted;
    }
    // Looked at again: the callback may have run for a while, and a link
    // put in the place of a folder is removed as a link.
    const int now = OsExamineAt(folder, name.c_str(), nullptr);
    if (now == CX_ENTRY_MISSING) return DeleteError(full);
    return OsDeleteAt(folder, name.c_str(), now == CX_ENTRY_FOLDER) ? 0 : DeleteError(full);
}

void AddName(void *user, const char *name) { static_cast<std::vector<std::string> *>(user)->emplace_back(name); }

// The contents of an open folder.
int DeleteContentsAt(FileWalk &w, int folder, const std::string &path) {
    std::vector<std::string> names;
    if (!OsListFolderAt(folder, AddName, &names)) {
        SetErrorDetail(path.c_str());
        return ERR_LOCK2;
    }
    // Names are taken first and sorted: the walk changes the folder it
    // reads, and a fixed order makes callbacks predictable.
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        int err = 0;
        switch (OsExamineAt(folder, name.c_str(), nullptr)) {
        case CX_ENTRY_MISSING: break;  // gone meanwhile
        case CX_ENTRY_FOLDER: {
            if (w.pattern && w.filterFolders && !MatchPatternList(w.pattern, name.c_str())) break;
            FolderFd sub(OsOpenFolderAt(folder, name.c_str()));
            if (sub.get() >= 0) {
                err = DeleteContentsAt(w, sub.get(), JoinPath(path, name));
            } else if (OsExamineAt(folder, name.c_str(), nullptr) == CX_ENTRY_FOLDER) {
                SetErrorDetail(JoinPath(path, name).c_str());
                err = ERR_LOCK2;
                break;
            }
            // The folder itself (or what now stands in its place).
            if (!err) err = DeleteEntryAt(w, folder, path, name);
            break;
        }
        default: err = DeleteEntryAt(w, folder, path, name); break;
        }
        if (err) return err;
    }
    return 0;
}

// The per-file deleter on a path: its folder is opened as named.
int DeleteNamed(FileWalk &w, const std::string &path) {
    const std::string folder = FolderPartOf(path);
    const std::string folderFull = AbsolutePath(folder.empty() ? "." : folder);
    FolderFd fd(OsOpenFolder(folder.empty() ? "." : folder.c_str()));
    if (fd.get() < 0) return DeleteError(JoinPath(folderFull, FilePartOf(path)));
    return DeleteEntryAt(w, fd.get(), folderFull, FilePartOf(path));
}

// A folder named by its resolved path: its contents and, unless keep, the
// folder itself.
int DeleteFolder(FileWalk &w, const std::string &resolved, bool keep) {
    {
        FolderFd fd(OsOpenFolder(resolved.c_str()));
        if (fd.get() < 0) {
            SetErrorDetail(resolved.c_str());
            return ERR_LOCK2;
        }
        if (int err = DeleteContentsAt(w, fd.get(), resolved)) return err;
    }
    return keep ? 0 : DeleteNamed(w, resolved);
}

}  // namespace

int DeleteOneFile(FileWalk &w, const std::string &path) { return DeleteNamed(w, path); }

int DeleteFile(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    if (!*name || IsChunkName(name)) return ERR_WRONGUSAGE;
    FileWalk w;
    w.L = L;
    if (int err = ReadCallbackArg(L, 2, &w.callback)) return err;
    if (lua_gettop(L) > 2) w.userData = 3;
    if (lua_gettop(L) >= 4 && !lua_isnil(L, 4)) {
        const char *pattern = luaL_checkstring(L, 4);
        if (*pattern) w.pattern = pattern;
    }
    w.filterFolders = OptInt(L, 5, 1) != 0;

    std::string path(name);
    const bool trailing = StripTrailingSeparator(&path);
    // The root stands for no name here: a trailing separator is removed
    // from every name, and nothing is deleted for what is left of "/".
    if (path.find_first_not_of("/\\") == std::string::npos || AbsolutePath(path) == "/") return 0;
    const bool keep = trailing || w.pattern;  // patterns work inside the folder only
    PathKind kind = KindOf(path);
    // A link named with a trailing separator names the folder behind it;
    // without one it is the link itself, which goes (and which a pattern
    // list cannot search).
    if (kind == PathKind::Link) {
        cxOsFileInfo info;
        kind = trailing && OsExaminePath(path.c_str(), &info) && info.isDirectory ? PathKind::Folder : PathKind::File;
    }
    int err = 0;
    switch (kind) {
    case PathKind::Missing: return 0;
    case PathKind::Folder: {
        // The folder is named once, by its resolved path: a name that goes
        // through ".." (or a link) would otherwise mean something else as
        // soon as the walk removed what it passes through.
        char resolved[CX_OS_PATH_MAX + 1];
        if (!OsResolvePath(path.c_str(), resolved, sizeof resolved)) {
            SetErrorDetail(path.c_str());
            return ERR_LOCK2;
        }
        if (strcmp(resolved, "/") == 0) return 0;
        err = DeleteFolder(w, resolved, keep);
        break;
    }
    default:
        if (w.pattern) return ERR_NODIRPATTERN;
        err = DeleteNamed(w, path);
        break;
    }
    return err == kWalkAborted ? 0 : err;
}

}  // namespace cxdos
