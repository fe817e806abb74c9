// CopyFile and the per-file and folder copiers that MoveFile shares. A
// file is copied into a new file without a name beside its destination
// (platform/os_replace.h) that takes the name at the end, so that a failed,
// aborted or killed copy leaves neither a partial file nor a damaged
// previous one.
#include <errno.h>

#include <cstdlib>
#include <cstring>

#include "io/dos/file_walk.h"
#include "streams/chunk_names.h"
#include "platform/os_file_moves.h"
#include "platform/os_files.h"

namespace cxdos {

namespace {

enum { COPYFILE_STATUS = 0, COPYFILE_OVERWRITE = 1, COPYFILE_UNPROTECT = 2, MOVEFILE_COPY = 1 };

constexpr size_t kBlock = 16384;

// Asks about an existing destination. 0 to overwrite, 1 to skip, or an
// error / kWalkAborted.
int DecideOverwrite(FileWalk &w, const std::string &sourceFull, const std::string &dest) {
    cxOsFileInfo info;
    const bool isProtected = OsExaminePath(dest.c_str(), &info) && (info.protection & CX_FILEATTR_WRITE_USR) == 0;
    if (!w.callback) return isProtected ? 1 : 0;
    double answer = 0;
    if (int err = CallFileCallback(w, COPYFILE_OVERWRITE,
                                   {{"source", sourceFull.c_str(), 0}, {"destination", dest.c_str(), 0}}, false,
                                   &answer))
        return err;
    if (answer == -1) return kWalkAborted;
    if (answer == 0) return 1;
    if (!isProtected) return 0;
    if (int err = CallFileCallback(w, COPYFILE_UNPROTECT, {{"destination", dest.c_str(), 0}}, false, &answer))
        return err;
    if (answer == -1) return kWalkAborted;
    if (answer == 0) return 1;
    OsSetProtection(dest.c_str(), CX_FILEATTR_NORMAL);
    return 0;
}

// 1005, naming the destination and why (the message cannot).
int WriteError(const std::string &dest, int cause) {
    SetErrorDetail(dest.c_str());
    SetErrorReason(ERR_WRITE, (dest + ": " + strerror(cause ? cause : EIO)).c_str());
    return ERR_WRITE;
}

// Moves the bytes; 0, an error or kWalkAborted.
int CopyBytes(FileWalk &w, cxStream *in, cxStream *out, const std::string &sourceFull, const std::string &dest) {
    auto *block = static_cast<unsigned char *>(malloc(kBlock));
    if (!block) return ERR_MEM;
    const uint64_t size = GetStreamSize(in);
    const double fileSize = size == CX_STREAM_SIZE_UNKNOWN ? -1 : static_cast<double>(size);
    uint64_t copied = 0;
    int err = 0;
    size_t n;
    while (!err && (n = ReadStream(in, block, kBlock)) > 0) {
        if (WriteStreamData(out, block, n) != n) {
            err = WriteError(dest, errno);
            break;
        }
        copied += n;
        if (w.callback) {
            double answer = 0;
            err = CallFileCallback(w, w.moving ? MOVEFILE_COPY : COPYFILE_STATUS,
                                   {{"source", sourceFull.c_str(), 0},
                                    {"destination", dest.c_str(), 0},
                                    {"copied", nullptr, static_cast<double>(copied)},
                                    {"filesize", nullptr, fileSize}},
                                   true, &answer);
            if (!err && answer == 1) err = kWalkAborted;
        } else if (GetUserAbortFlag()) {
            err = kWalkAborted;
        }
    }
    free(block);
    if (err) return err;
    if (size != CX_STREAM_SIZE_UNKNOWN ? copied != size : !IsStreamEof(in)) return ERR_READ;
    return 0;
}

}  // namespace

int CopyOneFile(FileWalk &w, cxStream *source, const std::string &sourcePath, const std::string &destFolder,
                const std::string &newName) {
    const std::string part = FilePartOf(sourcePath);
    if (w.pattern && !MatchPatternList(w.pattern, part.c_str())) return 0;
    const std::string dest = JoinPath(destFolder, newName.empty() ? part : newName);
    const std::string sourceFull = source ? sourcePath : AbsolutePath(sourcePath);
    if (OsPathNameExists(dest.c_str())) {
        // Copying a file onto itself would empty it.
        if (!source && OsIsSameFile(sourcePath.c_str(), dest.c_str())) return ERR_WRONGUSAGE;
        const int decision = DecideOverwrite(w, sourceFull, dest);
        if (decision == 1) return 0;
        if (decision) return decision;
    }
    cxStream *in = source;
    if (!in && !(in = OpenFileStream(sourcePath.c_str(), CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr))) {
        SetErrorDetail(sourcePath.c_str());
        return ERR_READFILE;
    }
    // A link in the destination's place is replaced, never written through.
    cxStream *out = OpenFileStream(dest.c_str(), CX_STREAM_WRITE | CX_STREAM_REPLACE | CX_STREAM_NOFOLLOW, nullptr);
    int err = 0;
    if (!out) {
        SetErrorDetail(dest.c_str());
        err = ERR_WRITEFILE;
    } else {
        err = CopyBytes(w, in, out, sourceFull, dest);
        if (err) {
            DiscardFileStream(out);
        } else if (!CloseFileStream(out)) {
            err = WriteError(dest, errno);
        }
    }
    if (!source) CloseFileStream(in);
    if (err) return err;
    if (!source) {
        cxOsFileInfo info;
        if (OsExaminePath(sourcePath.c_str(), &info)) {
            const cxOsFileTimes times{{info.accessTime, info.modifyTime}};
            OsSetFileDate(dest.c_str(), &times);
            OsSetProtection(dest.c_str(), info.protection);
        }
    }
    return w.moving ? DeleteOneFile(w, sourcePath) : 0;
}

int CopyFolder(FileWalk &w, const std::string &source, const std::string &dest, bool topLevel) {
    cxOsFileInfo info;
    if (!OsExaminePath(source.c_str(), &info)) {
        SetErrorDetail(source.c_str());
        return ERR_LOCK2;
    }
    if (!info.isDirectory) {
        SetErrorDetail(source.c_str());
        return ERR_EXAMINE;
    }
    const std::string target = topLevel ? dest : JoinPath(dest, FilePartOf(source));
    if (int err = MakeFolderPath(target)) return err;
    std::vector<std::string> names;
    if (!ListFolder(source, &names)) {
        SetErrorDetail(source.c_str());
        return ERR_LOCK2;
    }
    for (const std::string &name : names) {
        const std::string entry = JoinPath(source, name);
        const PathKind kind = KindOf(entry);
        cxOsFileInfo entryInfo;
        const bool folderLink =
            kind == PathKind::Link && (!OsExaminePath(entry.c_str(), &entryInfo) || entryInfo.isDirectory);
        int err = 0;
        if (kind == PathKind::Folder || folderLink) {
            if (w.pattern && w.filterFolders && !MatchPatternList(w.pattern, name.c_str())) continue;
        }
        if (kind == PathKind::Folder) {
            err = CopyFolder(w, entry, target, false);
        } else if (folderLink) {
            // Links to folders (and dangling ones) are copied as links: a
            // walk through them could leave the tree or never end.
            const std::string copy = JoinPath(target, name);
            if (!OsPathNameExists(copy.c_str())) {
                if (!OsCopySymbolicLink(entry.c_str(), copy.c_str())) {
                    SetErrorDetail(copy.c_str());
                    err = ERR_WRITEFILE;
                } else if (w.moving) {
                    err = DeleteOneFile(w, entry);
                }
            }
        } else if (kind != PathKind::Missing) {
            err = CopyOneFile(w, nullptr, entry, target, "");
        }
        if (err) return err;
    }
    const cxOsFileTimes times{{info.accessTime, info.modifyTime}};
    OsSetFileDate(target.c_str(), &times);
    OsSetProtection(target.c_str(), info.protection);
    return w.moving ? DeleteOneFile(w, source) : 0;
}

int CopyFile(lua_State *L) {
    CheckArgCount(L, 2, 7, 0, 0);
    const char *src = luaL_checkstring(L, 1);
    const char *dst = luaL_checkstring(L, 2);
    if (!*src || !*dst) return ERR_WRONGUSAGE;
    std::string newName;
    if (lua_gettop(L) >= 3 && !lua_isnil(L, 3)) newName = luaL_checkstring(L, 3);
    FileWalk w;
    w.L = L;
    if (int err = ReadCallbackArg(L, 4, &w.callback)) return err;
    if (lua_gettop(L) > 4) w.userData = 5;
    if (lua_gettop(L) >= 6 && !lua_isnil(L, 6)) {
        const char *pattern = luaL_checkstring(L, 6);
        if (*pattern) w.pattern = pattern;
    }
    w.filterFolders = OptInt(L, 7, 1) != 0;
    std::string source(src);
    if (w.pattern) StripTrailingSeparator(&source);
    const std::string destFolder(dst);
    cxOsFileInfo info;
    const bool located = OsExaminePath(source.c_str(), &info) != 0;
    if (located && info.isDirectory) {
        // A folder copied into itself would grow while it is read; refused
        // before anything is created.
        const std::string from = AbsolutePath(source);
        const std::string to = AbsolutePath(destFolder);
        if (from == "/" || to == from || to.compare(0, from.size() + 1, from + "/") == 0) return ERR_WRONGUSAGE;
    }
    if (KindOf(destFolder) == PathKind::Missing)
        if (int err = MakeFolderPath(destFolder)) return err;
    const std::string destFull = AbsolutePath(destFolder);

    int err = 0;
    if (!located) {
        // Only reachable as a stream: a file linked into the applet, an
        // adapter's file.
        char resolved[CX_STREAM_NAME_MAX + 1];
        const char *name = ResolveFileNameArg(GetRunningApplet(), src, resolved, sizeof resolved);
        cxStream *s = OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
        if (!s) {
            SetErrorDetail(src);
            return ERR_READFILE;
        }
        if (w.pattern) {
            CloseFileStream(s);
            return ERR_NODIRPATTERN;
        }
        err = CopyOneFile(w, s, source, destFull, newName);
        CloseFileStream(s);
    } else if (!info.isDirectory) {
        if (w.pattern) return ERR_NODIRPATTERN;
        err = CopyOneFile(w, nullptr, source, destFull, newName);
    } else {
        if (!newName.empty()) return ERR_WRONGUSAGE;
        err = CopyFolder(w, source, destFull, true);
    }
    return err == kWalkAborted ? 0 : err;
}

}  // namespace cxdos
