// Commands that look at a path without opening it: existence, kind and
// size, the parts of a path, joining, renaming, creating folders, volumes
// and pattern matching.
#include <cstring>
#include <memory>
#include <string>

#include "io/dos/dos_internal.h"
#include "streams/chunk_names.h"

namespace cxdos {

namespace {

// Examines a path of the operating system, or a ":::" name through a
// stream.
bool ExamineAny(const char *name, cxOsFileInfo *info) {
    if (!name || !*name) return false;
    if (strncmp(name, ":::", 3) == 0) {
        cxStream *s = OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
        if (!s) return false;
        const bool ok = StatStream(s, info) != 0;
        CloseFileStream(s);
        return ok;
    }
    return ExaminePath(name, info, 1) != 0;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Where the file part of a path starts: after the last separator, else
// after the first ":".
size_t FilePartStart(const char *path) {
    const char *last = nullptr;
    for (const char *p = path; *p; p++) {
        if (IsSeparator(*p)) last = p;
    }
    if (last) return static_cast<size_t>(last - path) + 1;
    const char *colon = strchr(path, ':');
    return colon ? static_cast<size_t>(colon - path) + 1 : 0;
}

}  // namespace

int Exists(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    cxOsFileInfo info;
    lua_pushnumber(L, ExamineAny(name, &info) ? 1 : 0);
    return 1;
}

int HaveVolume(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    cxOsFileInfo info;
    lua_pushnumber(L, ExamineAny(name, &info) ? 1 : 0);
    return 1;
}

int IsDirectory(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    cxOsFileInfo info;
    if (!ExamineAny(name, &info)) {
        SetErrorDetail(name);
        return ERR_STAT;
    }
    lua_pushnumber(L, info.isDirectory ? 1 : 0);
    return 1;
}

int FileSize(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    cxOsFileInfo info;
    if (!ExamineAny(name, &info) || info.isDirectory) lua_pushnumber(L, -1);
    else lua_pushnumber(L, static_cast<double>(info.size));
    return 1;
}

int MakeDirectory(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    if (!*path) return ERR_WRONGUSAGE;
    std::string prefix;
    const size_t n = strlen(path);
    for (size_t i = 0; i <= n; i++) {
        if (i < n && !IsSeparator(path[i])) continue;
        prefix.assign(path, i);
        if (prefix.empty()) continue;  // the root
        cxOsFileInfo info;
        if (OsExaminePath(prefix.c_str(), &info)) {
            if (info.isDirectory) continue;
        } else if (OsMakeDir(prefix.c_str()) == 0) {
            continue;
        }
        SetErrorDetail(path);
        return ERR_CREATEDIR;
    }
    return 0;
}

int Rename(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *from = luaL_checkstring(L, 1);
    const char *to = luaL_checkstring(L, 2);
    if (!*from || !*to || IsChunkName(from) || IsChunkName(to)) return ERR_WRONGUSAGE;
    const char *newPart = to + FilePartStart(to);
    if (!*newPart) return ERR_WRONGUSAGE;
    std::string target(from, FilePartStart(from));
    target += newPart;
    return OsRename(from, target.c_str()) ? 0 : ERR_RENAME;
}

int FilePart(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    auto out = std::make_unique<char[]>(CX_STREAM_NAME_MAX + 1);
    GetDisplayFilePart(path, out.get(), CX_STREAM_NAME_MAX + 1);
    lua_pushstring(L, out.get());
    return 1;
}

int PathPart(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    if (IsChunkName(path)) return ERR_WRONGUSAGE;
    lua_pushlstring(L, path, FilePartStart(path));
    return 1;
}

int FullPath(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *folder = luaL_checkstring(L, 1);
    const char *name = luaL_checkstring(L, 2);
    constexpr size_t kMax = 1023;
    std::string out(folder);
    if (out.size() > kMax) out.resize(kMax);
    if (!out.empty() && !IsSeparator(out.back())) {
        if (out.size() >= kMax) return ERR_MEM;
        out += '/';
    }
    out += name;
    if (out.size() > kMax) out.resize(kMax);
    lua_pushlstring(L, out.data(), out.size());
    return 1;
}

int MatchPattern(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *name = luaL_checkstring(L, 1);
    const char *list = luaL_checkstring(L, 2);
    lua_pushnumber(L, MatchPatternList(list, name));
    return 1;
}

int GetVolumeName(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    if (!*path) return ERR_WRONGUSAGE;
    char out[256];
    OsGetVolumeName(path, out, sizeof out);
    lua_pushstring(L, out);
    return 1;
}

int GetVolumeInfo(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    const int kind = luaL_checkint(L, 2);
    if (!*path) return ERR_WRONGUSAGE;
    uint64_t freeBytes = 0, usedBytes = 0;
    OsGetVolumeInfo(path, &freeBytes, &usedBytes);
    lua_pushnumber(L, static_cast<double>(kind == 1 ? freeBytes : usedBytes));
    return 1;
}

int GetAsset(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    luaL_checkstring(L, 1);
    lua_pushvalue(L, 1);
    return 1;
}

}  // namespace cxdos
