// Attribute tables of paths and open files, and setting protection bits
// and dates.
#include <cstring>

#include "io/dos/dos_internal.h"
#include "streams/chunk_names.h"

namespace cxdos {

void PushAttributeFields(lua_State *L, const cxOsFileInfo &info, bool withSize) {
    SetTableNumber(L, "type", info.isDirectory ? 1 : 0);
    if (withSize && !info.isDirectory) SetTableDouble(L, "size", static_cast<double>(info.size));
    SetTableUnsigned(L, "flags", info.protection);
    SetTableString(L, "time", FormatFileDate(info.modifyTime).c_str());
    SetTableString(L, "lastaccesstime", FormatFileDate(info.accessTime).c_str());
}

int GetFileAttributes(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    char adapters[257] = "";
    if (!lua_isnoneornil(L, 2)) snprintf(adapters, sizeof adapters, "%s", luaL_checkstring(L, 2));
    cxOsFileInfo info;
    const bool chunk = IsChunkName(path);
    cxLock *lock = chunk ? nullptr : LockPath(path, CX_LOCK_SHARED | CX_LOCK_ADAPTERS, adapters);
    if (lock) {
        int err = ExamineLock(lock, &info);
        UnlockPath(lock);
        if (err) {
            SetErrorDetail(path);
            return err;
        }
    } else {
        cxStream *s = OpenFileStream(path, CX_STREAM_READ | CX_STREAM_ADAPTERS, adapters);
        if (!s) {
            SetErrorDetail(path);
            return ERR_READFILE;
        }
        const bool ok = StatStream(s, &info) != 0;
        CloseFileStream(s);
        if (!ok) {
            SetErrorDetail(path);
            return ERR_EXAMINE;
        }
    }
    lua_newtable(L);
    PushAttributeFields(L, info, true);
    SetTableString(L, "path", chunk ? path : info.path);
    SetTableNumber(L, "virtual", chunk ? 1 : 0);
    return 1;
}

int FileAttributes(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    cxOsFileInfo info;
    if (!StatStream(f->stream, &info)) return ERR_STAT;
    const unsigned flags = GetStreamAdapterFlags(f->stream);
    lua_newtable(L);
    PushAttributeFields(L, info, true);
    SetTableString(L, "path", info.path);
    SetTableNumber(L, "streaming", flags & CX_ADAPTER_STREAMING ? 1 : 0);
    SetTableNumber(L, "noseek", flags & CX_ADAPTER_NOSEEK ? 1 : 0);
    return 1;
}

int SetFileAttributes(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    luaL_checktable(L, 2);
    if (IsChunkName(path)) return ERR_WRONGUSAGE;
    cxLock *lock = LockPath(path, CX_LOCK_SHARED, nullptr);
    if (!lock) {
        SetErrorDetail(path);
        return ERR_LOCK2;
    }
    cxOsFileInfo info;
    int err = ExamineLock(lock, &info);
    UnlockPath(lock);
    if (err) {
        SetErrorDetail(path);
        return ERR_LOCK2;
    }

    // Every field is read and checked before anything changes, so that a
    // bad date does not leave the protection half set.
    uint32_t flags = 0;
    int haveFlags = 0;
    GetTableBool(L, 2, "flags", &flags, &haveFlags);
    cxOsFileTimes times{{info.accessTime, info.modifyTime}};
    bool haveTimes = false;
    const char *keys[2] = {"lastaccesstime", "time"};
    for (int i = 1; i >= 0; i--) {
        char text[64];
        int found = 0;
        GetTableString(L, 2, keys[i], text, sizeof text, &found);
        if (!found) continue;
        int64_t seconds;
        if (!ParseFileDate(text, &seconds)) return ERR_INVALIDDATE;
        times.times[i] = seconds;
        haveTimes = true;
    }
    if (haveFlags && !OsSetProtection(path, flags)) return ERR_SETFILEATTR;
    if (haveTimes && !OsSetFileDate(path, &times)) return ERR_SETFILEDATE;
    return 0;
}

}  // namespace cxdos
