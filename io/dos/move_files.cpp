// MoveFile: a rename where the file system allows it, else a copy that
// deletes each source file after it was copied.
#include "io/dos/file_walk.h"
#include "platform/os_file_moves.h"
#include "platform/os_files.h"

namespace cxdos {

int MoveFile(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    const char *src = luaL_checkstring(L, 1);
    const char *dst = luaL_checkstring(L, 2);
    if (!*src || !*dst) return ERR_WRONGUSAGE;
    // A move never overwrites.
    if (OsPathNameExists(dst)) return ERR_WRONGUSAGE;
    FileWalk w;
    w.L = L;
    w.moving = true;
    if (int err = ReadCallbackArg(L, 3, &w.callback)) return err;
    if (lua_gettop(L) > 3) w.userData = 4;

    const std::string source(src);
    const PathKind kind = KindOf(source);
    if (kind == PathKind::Missing) {
        SetErrorDetail(src);
        return ERR_READFILE;
    }
    if (kind != PathKind::Link && OsIsMountPoint(src)) return ERR_WRONGUSAGE;
    const std::string destName = FilePartOf(dst);
    if (destName.empty()) return ERR_WRONGUSAGE;
    std::string destFolder = FolderPartOf(dst);
    if (destFolder.empty()) destFolder = ".";
    if (KindOf(destFolder) != PathKind::Folder && !(KindOf(destFolder) == PathKind::Link)) {
        SetErrorDetail(dst);
        return ERR_LOCK2;
    }
    const std::string folderFull = AbsolutePath(destFolder);
    const std::string destFull = JoinPath(folderFull, destName);

    int err = OsMoveFile(src, destFull.c_str());
    if (err != ERR_WRONGUSAGE) return err;
    // Another device: copy, deleting as it goes.
    if (kind == PathKind::Link) {
        if (!OsCopySymbolicLink(src, destFull.c_str())) {
            SetErrorDetail(destFull.c_str());
            return ERR_WRITEFILE;
        }
        err = DeleteOneFile(w, source);
    } else if (kind == PathKind::Folder) {
        err = CopyFolder(w, source, destFull, true);
    } else {
        err = CopyOneFile(w, nullptr, source, folderFull, destName);
    }
    return err == kWalkAborted ? 0 : err;
}

}  // namespace cxdos
