// DeleteFile and the per-file deleter that MoveFile shares. Links inside
// a tree are removed as links: a walk never leaves the tree through one.
#include <cstring>

#include "io/dos/file_walk.h"
#include "streams/chunk_names.h"
#include "platform/os_file_moves.h"
#include "platform/os_files.h"

namespace cxdos {

namespace {

// Actions of the callback.
enum { DELETEFILE_STATUS = 0, DELETEFILE_UNPROTECT = 1, MOVEFILE_UNPROTECT = 0, MOVEFILE_DELETE = 2 };

// The full path of a name without resolving its last level (a link stays
// the link).
std::string FullNameOf(const std::string &path) {
    const std::string folder = FolderPartOf(path);
    return JoinPath(AbsolutePath(folder.empty() ? "." : folder), FilePartOf(path));
}

}  // namespace

int DeleteOneFile(FileWalk &w, const std::string &path) {
    if (w.pattern && !MatchPatternList(w.pattern, FilePartOf(path).c_str())) return 0;
    const PathKind kind = KindOf(path);
    if (kind == PathKind::Missing) return ERR_DELETEFILE;
    const std::string full = FullNameOf(path);
    bool isProtected = false;
    if (kind != PathKind::Link) {
        cxOsFileInfo info;
        if (!OsExaminePath(path.c_str(), &info)) return ERR_DELETEFILE;
        isProtected = (info.protection & CX_FILEATTR_WRITE_USR) == 0;
    }
    double answer = 0;
    if (isProtected) {
        if (!w.callback) return 0;  // kept silently
        const int action = w.moving ? MOVEFILE_UNPROTECT : DELETEFILE_UNPROTECT;
        if (int err = CallFileCallback(w, action, {{"file", full.c_str(), 0}}, false, &answer)) return err;
        if (answer == -1) return kWalkAborted;
        if (answer == 0) return 0;
        if (!OsSetProtection(path.c_str(), CX_FILEATTR_NORMAL)) return ERR_DELETEFILE;
    }
    if (w.callback) {
        const int action = w.moving ? MOVEFILE_DELETE : DELETEFILE_STATUS;
        if (int err = CallFileCallback(w, action, {{"file", full.c_str(), 0}}, false, &answer)) return err;
        if (answer == 1) return kWalkAborted;
    }
    return OsDeleteFile(path.c_str()) ? 0 : ERR_DELETEFILE;
}

int DeleteFolder(FileWalk &w, const std::string &path, bool keep) {
    std::vector<std::string> names;
    if (!ListFolder(path, &names)) {
        SetErrorDetail(path.c_str());
        return ERR_LOCK2;
    }
    for (const std::string &name : names) {
        const std::string entry = JoinPath(path, name);
        int err = 0;
        switch (KindOf(entry)) {
        case PathKind::Missing: break;  // gone meanwhile
        case PathKind::Folder:
            if (w.pattern && w.filterFolders && !MatchPatternList(w.pattern, name.c_str())) break;
            err = DeleteFolder(w, entry, false);
            break;
        default: err = DeleteOneFile(w, entry); break;
        }
        if (err) return err;
    }
    return keep ? 0 : DeleteOneFile(w, path);
}

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
    bool keep = StripTrailingSeparator(&path);
    // The root stands for no name here: a trailing separator is removed
    // from every name, and nothing is deleted for what is left of "/".
    if (path.find_first_not_of("/\\") == std::string::npos || AbsolutePath(path) == "/") return 0;
    if (w.pattern) keep = true;  // patterns work inside the folder only
    PathKind kind = KindOf(path);
    // A link named with a trailing separator names the folder behind it;
    // without one, the link itself goes.
    if (kind == PathKind::Link) {
        cxOsFileInfo info;
        kind = keep && OsExaminePath(path.c_str(), &info) && info.isDirectory ? PathKind::Folder : PathKind::File;
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
        err = DeleteOneFile(w, path);
        break;
    }
    return err == kWalkAborted ? 0 : err;
}

}  // namespace cxdos
