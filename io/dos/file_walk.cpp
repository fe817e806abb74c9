// The pieces the copy, move and delete walks share.
#include "io/dos/file_walk.h"

#include <algorithm>
#include <cstring>

#include "engine/vm/lauxlib.h"
#include "platform/os_file_moves.h"
#include "platform/os_files.h"

namespace cxdos {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

int CallFileCallback(FileWalk &w, int action, std::initializer_list<CallbackField> fields, bool needNumber,
                     double *result) {
    lua_State *L = w.L;
    *result = 0;
    if (!lua_checkstack(L, 4)) return ERR_STACK;
    lua_pushvalue(L, w.callback);
    lua_newtable(L);
    SetTableNumber(L, "action", action);
    for (const CallbackField &f : fields) {
        lua_pushstring(L, f.key);
        if (f.text) lua_pushstring(L, f.text);
        else lua_pushnumber(L, f.number);
        lua_settable(L, -3);
    }
    if (w.userData) {
        lua_pushstring(L, "userdata");
        lua_pushvalue(L, w.userData);
        lua_settable(L, -3);
    }
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_END);
    const int err = lua_pcall(L, 1, 1, 0);
    SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
    if (err) return err;
    if (lua_type(L, -1) == LUA_TNUMBER) {
        *result = lua_tonumber(L, -1);
    } else if (needNumber) {
        lua_pop(L, 1);
        return ERR_NUMCALLBACK;
    } else {
        *result = 0x7fffffff;
    }
    lua_pop(L, 1);
    return GetUserAbortFlag() ? kWalkAborted : 0;
}

PathKind KindOf(const std::string &path) {
    if (!OsPathNameExists(path.c_str())) return PathKind::Missing;
    if (OsIsSymbolicLink(path.c_str())) return PathKind::Link;
    cxOsFileInfo info;
    if (!OsExaminePath(path.c_str(), &info)) return PathKind::Missing;
    return info.isDirectory ? PathKind::Folder : PathKind::File;
}

std::string FilePartOf(const std::string &path) {
    size_t i = path.size();
    while (i > 0 && !IsSeparator(path[i - 1])) i--;
    return path.substr(i);
}

std::string FolderPartOf(const std::string &path) {
    size_t i = path.size();
    while (i > 0 && !IsSeparator(path[i - 1])) i--;
    if (i == 0) return {};
    if (i == 1) return path.substr(0, 1);  // the root
    return path.substr(0, i - 1);
}

std::string JoinPath(const std::string &folder, const std::string &name) {
    if (folder.empty()) return name;
    if (IsSeparator(folder.back())) return folder + name;
    return folder + "/" + name;
}

bool StripTrailingSeparator(std::string *path) {
    if (path->size() > 1 && IsSeparator(path->back())) {
        path->pop_back();
        return true;
    }
    return false;
}

std::string AbsolutePath(const std::string &path) {
    std::string existing = path.empty() ? "." : path;
    std::string rest;
    char resolved[CX_OS_PATH_MAX + 1];
    for (;;) {
        if (OsResolvePath(existing.c_str(), resolved, sizeof resolved)) break;
        std::string part = FilePartOf(existing);
        std::string up = FolderPartOf(existing);
        rest = rest.empty() ? part : JoinPath(part, rest);
        if (up.empty()) {
            existing = ".";
            if (!OsResolvePath(existing.c_str(), resolved, sizeof resolved)) return path;
            break;
        }
        if (up == existing) return path;
        existing = up;
    }
    return rest.empty() ? std::string(resolved) : JoinPath(resolved, rest);
}

bool ListFolder(const std::string &path, std::vector<std::string> *names) {
    cxOsDirScan *scan = OsBeginDirScan(path.c_str());
    if (!scan) return false;
    const char *name = nullptr;
    uint32_t isDir = 0;
    while (OsNextDirEntry(scan, &name, &isDir, nullptr)) names->emplace_back(name);
    OsEndDirScan(scan);
    // Names are taken first and sorted: the walk changes the folder it
    // reads, and a fixed order makes callbacks predictable.
    std::sort(names->begin(), names->end());
    return true;
}

int MakeFolderPath(const std::string &path) {
    for (size_t i = 0; i <= path.size(); i++) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        const std::string prefix = path.substr(0, i);
        if (prefix.empty()) continue;  // the root
        cxOsFileInfo info;
        if (OsExaminePath(prefix.c_str(), &info)) {
            if (info.isDirectory) continue;
        } else if (OsMakeDir(prefix.c_str()) == 0) {
            continue;
        }
        SetErrorDetail(path.c_str());
        return ERR_CREATEDIR;
    }
    return 0;
}

int ReadCallbackArg(lua_State *L, int index, int *out) {
    *out = 0;
    if (lua_gettop(L) < index || lua_isnil(L, index)) return 0;
    if (lua_type(L, index) != LUA_TFUNCTION) {
        SetErrorNumber(index);
        return ERR_FUNCEXPECTED;
    }
    *out = index;
    return 0;
}

}  // namespace cxdos
