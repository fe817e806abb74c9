// Directory objects, folder listings into tables, the folder iterator and
// folder monitors.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/runtime/kernel.h"
#include "io/dos/dos_internal.h"
#include "streams/chunk_names.h"

namespace cxdos {

namespace {

constexpr char kDirMeta[] = "DIR*";

struct cxDirectory {
    cxObjectHeader header;
    uint32_t endReached;
    uint32_t recursive;
    uint32_t virtualSub;
    cxLock *lock;
    cxOsDirScan *scan;
    unsigned monitor;
    cxVirtualEntry *entries;
    cxVirtualEntry *current;
    uint32_t walkStarted;
    uint32_t borrowed;
    int userDataRef;
    char *subPath;  // where a virtual sub-folder lies in its tree ("" at the top)
    cxVirtualEntry *root;  // the loader's tree the entries belong to
};

cxObjectList g_dirs = {CX_OBJ_DIRECTORY, ERR_FINDDIR, nullptr, nullptr};

// Entry trees of folders linked into the applet, as the loader handed them
// over: a light userdata is only ever taken for one of these.
std::vector<cxVirtualEntry *> g_virtualFolders;

bool IsVirtualFolder(const void *entries) {
    return std::find(g_virtualFolders.begin(), g_virtualFolders.end(), entries) != g_virtualFolders.end();
}

void FreeEntries(cxVirtualEntry *e) {
    while (e) {
        cxVirtualEntry *next = e->next;
        FreeEntries(e->children);
        free(e->name);
        free(e);
        e = next;
    }
}

void FreeDirectory(lua_State *L, cxDirectory *d) {
    RemoveObject(&g_dirs, &d->header);
    if (d->monitor) OsEndDirMonitor(d);
    if (d->userDataRef >= 0) luaL_unref(L, LUA_REGISTRYINDEX, d->userDataRef);
    OsEndDirScan(d->scan);
    UnlockPath(d->lock);
    if (!d->borrowed) FreeEntries(d->entries);
    free(d->subPath);
    FreeObjectDataList(L, d->header.data);
    free(d);
}

int FindDirArg(lua_State *L, int index, cxDirectory **out) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_dirs, id, &h)) return err;
    *out = reinterpret_cast<cxDirectory *>(h);
    return 0;
}

char Fold(char c) { return c == '\\' ? '/' : static_cast<char>(tolower(static_cast<unsigned char>(c))); }

bool SameName(const char *a, const char *b, size_t bn) {
    size_t i = 0;
    for (; a[i] && i < bn; i++) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return !a[i] && i == bn;
}

// The entry at a "/"-path inside a tree; null when there is none.
cxVirtualEntry *FindVirtual(cxVirtualEntry *list, const char *path) {
    while (*path == '/' || *path == '\\') path++;
    if (!*path) return nullptr;
    const char *end = path;
    while (*end && *end != '/' && *end != '\\') end++;
    for (cxVirtualEntry *e = list; e; e = e->next) {
        if (!SameName(e->name, path, static_cast<size_t>(end - path))) continue;
        const char *rest = end;
        while (*rest == '/' || *rest == '\\') rest++;
        if (!*rest) return e;
        return e->isFolder ? FindVirtual(e->children, rest) : nullptr;
    }
    return nullptr;
}

bool IsVirtual(const cxDirectory *d) { return !d->lock; }

// The path of an entry of a real folder named without regard to case and
// with "\\" read as "/", one level at a time, as virtual folders are
// searched: the entries' own names go into *out. false when a level has no
// such entry.
bool FindFolded(const char *folder, const char *name, std::string *out) {
    std::string path(folder);
    const char *p = name;
    for (;;) {
        while (*p == '/' || *p == '\\') p++;
        if (!*p) break;
        const char *end = p;
        while (*end && *end != '/' && *end != '\\') end++;
        cxOsDirScan *scan = OsBeginDirScan(path.c_str());
        if (!scan) return false;
        const char *entry = nullptr;
        bool found = false;
        while (OsNextDirEntry(scan, &entry, nullptr, nullptr)) {
            if (SameName(entry, p, static_cast<size_t>(end - p))) {
                if (!path.empty() && path.back() != '/') path += '/';
                path += entry;
                found = true;
                break;
            }
        }
        OsEndDirScan(scan);
        if (!found) return false;
        p = end;
    }
    *out = path;
    return true;
}

void PushVirtualEntry(lua_State *L, const cxDirectory *d, const cxVirtualEntry *e) {
    lua_newtable(L);
    SetTableString(L, "name", e->name);
    SetTableNumber(L, "type", e->isFolder ? 1 : 0);
    if (!e->isFolder) SetTableDouble(L, "size", e->length);
    if (d->virtualSub) {
        char now[256];
        FormatCurrentDate(now);
        SetTableNumber(L, "flags", 15);
        SetTableString(L, "time", now);
        SetTableString(L, "lastaccesstime", now);
    }
}

void PushRealEntry(lua_State *L, const char *name, const cxOsFileInfo &info) {
    lua_newtable(L);
    SetTableString(L, "name", name);
    PushAttributeFields(L, info, true);
}

// The next entry of a walk that the object's settings keep; false at the end.
bool NextReal(cxDirectory *d, const char **name, cxOsFileInfo *info) {
    uint32_t isDir = 0;
    while (NextLockEntry(d->lock, d->scan, name, &isDir, info)) {
        if (!d->recursive && isDir) continue;
        return true;
    }
    return false;
}

int Rewind(cxDirectory *d) {
    d->endReached = 0;
    d->walkStarted = 0;
    d->current = nullptr;
    return IsVirtual(d) ? 0 : RewindLock(d->scan);
}

// A new directory object under the ID argument 1 (a number in use closes
// its object first).
cxDirectory *NewDirectory(lua_State *L, const cxOptionalNumber &id) {
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(&g_dirs, cxObjectID{id.value, nullptr}))
            FreeDirectory(L, reinterpret_cast<cxDirectory *>(old));
    }
    auto *d = static_cast<cxDirectory *>(calloc(1, sizeof(cxDirectory)));
    if (!d) return nullptr;
    InitObjectHeader(&d->header, CX_OBJ_DIRECTORY, id.value, id.wasNil);
    d->recursive = 1;
    d->userDataRef = -1;
    return d;
}

int Finish(lua_State *L, cxDirectory *d, const cxOptionalNumber &id) {
    AddObject(&g_dirs, &d->header);
    if (id.wasNil) return PushObjectID(L, GetObjectID(&d->header));
    return 0;
}

// The userdata of DirectoryItems: the lock and the scan, released after
// the last entry or by the collector.
struct DirWalk {
    cxLock *lock;
    cxOsDirScan *scan;
};

void EndWalk(DirWalk *w) {
    OsEndDirScan(w->scan);
    UnlockPath(w->lock);
    w->scan = nullptr;
    w->lock = nullptr;
}

int CollectDirWalk(lua_State *L) {
    auto *w = static_cast<DirWalk *>(lua_touserdata(L, 1));
    if (w) EndWalk(w);
    return 0;
}

int NextItem(lua_State *L) {
    auto *w = static_cast<DirWalk *>(lua_touserdata(L, lua_upvalueindex(1)));
    if (!w || !w->scan) return 0;
    const char *name;
    uint32_t isDir;
    cxOsFileInfo info;
    if (!NextLockEntry(w->lock, w->scan, &name, &isDir, &info)) {
        EndWalk(w);
        return 0;
    }
    lua_pushstring(L, name);
    lua_newtable(L);
    PushAttributeFields(L, info, true);
    return 2;
}

// Locks a real folder and begins its scan; the path becomes the detail of
// an error.
int LockFolder(const char *path, const char *adapters, cxLock **lock, cxOsDirScan **scan) {
    *lock = LockPath(path, CX_LOCK_SHARED | CX_LOCK_ADAPTERS, adapters);
    if (!*lock) {
        SetErrorDetail(path);
        return ERR_LOCK2;
    }
    if (int err = CheckLockIsDirectory(*lock, scan)) {
        UnlockPath(*lock);
        *lock = nullptr;
        SetErrorDetail(path);
        return err;
    }
    return 0;
}

}  // namespace

void RegisterDirMetatable(lua_State *L) {
    luaL_newmetatable(L, kDirMeta);
    lua_pushstring(L, "__index");
    lua_pushvalue(L, -2);
    lua_settable(L, -3);
    lua_pushstring(L, "__gc");
    lua_pushcfunction(L, CollectDirWalk);
    lua_settable(L, -3);
    lua_pop(L, 1);
}

cxObjectList *DirectoryList() { return &g_dirs; }

void FreeAllDirectories(lua_State *L) {
    while (g_dirs.first) FreeDirectory(L, reinterpret_cast<cxDirectory *>(g_dirs.first));
}

int OpenDirectory(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *path = luaL_checkstring(L, 2);
    char adapters[257] = "";
    int recursive = 1, empty = 0;
    void *entries = nullptr;
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableString(L, 3, "adapter", adapters, sizeof adapters, nullptr);
        GetTableInt(L, 3, "recursive", &recursive, nullptr);
        GetTableInt(L, 3, "__emptydir", &empty, nullptr);
        lua_pushstring(L, "__direntries");
        lua_gettable(L, 3);
        if (lua_type(L, -1) == LUA_TLIGHTUSERDATA) entries = lua_touserdata(L, -1);
        lua_pop(L, 1);
        if (entries && !IsVirtualFolder(entries)) return ERR_WRONGUSAGE;
    }

    // ":::<number>,<path>": a sub-folder of another object's virtual folder.
    cxDirectory *parent = nullptr;
    const char *subPath = nullptr;
    if (strncmp(path, ":::", 3) == 0 && isdigit(static_cast<unsigned char>(path[3]))) {
        char *end = nullptr;
        long number = strtol(path + 3, &end, 10);
        if (end && *end == ',') {
            cxObjectHeader *h = nullptr;
            if (int err = FindObject(&g_dirs, cxObjectID{static_cast<int32_t>(number), nullptr}, &h)) return err;
            parent = reinterpret_cast<cxDirectory *>(h);
            subPath = end + 1;
            if (!IsVirtual(parent)) return ERR_WRONGUSAGE;
        }
    }

    cxVirtualEntry *subtree = nullptr;
    if (parent) {
        cxVirtualEntry *e = FindVirtual(parent->entries, subPath);
        if (!e || !e->isFolder) {
            SetErrorDetail(path);
            return ERR_NOTADIR;
        }
        subtree = e->children;
    }

    cxLock *lock = nullptr;
    cxOsDirScan *scan = nullptr;
    if (!parent && !entries && !empty) {
        if (int err = LockFolder(path, adapters, &lock, &scan)) return err;
    }
    cxDirectory *d = NewDirectory(L, id);
    char *sub = strdup(parent ? subPath : "");
    if (!d || !sub) {
        free(d);
        free(sub);
        OsEndDirScan(scan);
        UnlockPath(lock);
        return ERR_MEM;
    }
    d->recursive = recursive ? 1 : 0;
    d->lock = lock;
    d->scan = scan;
    d->subPath = sub;
    if (parent) {
        d->entries = subtree;
        d->root = parent->root;
        d->borrowed = 1;
        d->virtualSub = 1;
    } else if (entries) {
        d->entries = static_cast<cxVirtualEntry *>(entries);
        d->root = d->entries;
        d->borrowed = 1;  // the applet loader keeps the tree
        int preloading = 0;
        GetKernelTags(L, CX_KTAG_PRELOADING, &preloading, CX_KTAG_END);
        d->virtualSub = preloading ? 1 : 0;
    }
    return Finish(L, d, id);
}

int CloseDirectory(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxDirectory *d;
    if (int err = FindDirArg(L, 1, &d)) return err;
    FreeDirectory(L, d);
    return 0;
}

int NextDirectoryEntry(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxDirectory *d;
    if (int err = FindDirArg(L, 1, &d)) return err;
    if (d->monitor) return ERR_WRONGUSAGE;
    if (d->endReached) return 0;
    if (IsVirtual(d)) {
        cxVirtualEntry *e = d->walkStarted ? (d->current ? d->current->next : nullptr) : d->entries;
        d->walkStarted = 1;
        while (e && !d->recursive && e->isFolder) e = e->next;
        d->current = e;
        if (!e) {
            d->endReached = 1;
            return 0;
        }
        PushVirtualEntry(L, d, e);
        return 1;
    }
    const char *name;
    cxOsFileInfo info;
    if (!NextReal(d, &name, &info)) {
        d->endReached = 1;
        return 0;
    }
    PushRealEntry(L, name, info);
    return 1;
}

int GetDirectoryEntry(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxDirectory *d;
    if (int err = FindDirArg(L, 1, &d)) return err;
    const char *name = luaL_checkstring(L, 2);
    if (d->monitor) return ERR_WRONGUSAGE;
    if (!IsVirtual(d)) {
        char folder[CX_OS_PATH_MAX + 1];
        GetLockPath(d->lock, folder, sizeof folder);
        std::string full(folder);
        if (!full.empty() && full.back() != '/') full += '/';
        full += name;
        cxOsFileInfo info;
        if (!ExaminePath(full.c_str(), &info, 1) && !FindFolded(folder, name, &full)) {
            SetErrorDetail(name);
            return ERR_READFILE;
        }
        lua_pushstring(L, full.c_str());
        return 1;
    }
    cxVirtualEntry *e = FindVirtual(d->entries, name);
    if (!e) {
        SetErrorDetail(name);
        return ERR_READFILE;
    }
    std::string inner = d->subPath && *d->subPath ? std::string(d->subPath) + "/" + e->name : std::string(e->name);
    if (e->isFolder) {
        std::string out = ":::" + std::to_string(d->header.idNumber) + "," + inner;
        lua_pushstring(L, out.c_str());
        return 1;
    }
    const cxApplet *applet = GetRunningApplet();
    char out[CX_STREAM_NAME_MAX + 1];
    if (!MakeChunkName(inner.c_str(), out, sizeof out, e->offset, e->length,
                       applet ? static_cast<int64_t>(applet->base) : 0, applet ? applet->path : ""))
        return ERR_MEM;
    lua_pushstring(L, out);
    return 1;
}

int RewindDirectory(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxDirectory *d;
    if (int err = FindDirArg(L, 1, &d)) return err;
    if (d->monitor) return ERR_WRONGUSAGE;
    return Rewind(d);
}

int CountDirectoryEntries(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxDirectory *d;
    if (int err = FindDirArg(L, 1, &d)) return err;
    const int what = OptInt(L, 2, 0);
    if (d->monitor) return ERR_WRONGUSAGE;
    if (int err = Rewind(d)) return err;
    int count = 0;
    auto counts = [&](bool isDir) { return what == 2 || (what == 1) == isDir; };
    if (IsVirtual(d)) {
        for (cxVirtualEntry *e = d->entries; e; e = e->next) count += counts(e->isFolder != 0);
    } else {
        const char *name;
        uint32_t isDir;
        while (NextLockEntry(d->lock, d->scan, &name, &isDir, nullptr)) count += counts(isDir != 0);
    }
    if (int err = Rewind(d)) return err;
    lua_pushnumber(L, count);
    return 1;
}

int ReadDirectory(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    luaL_checktable(L, 2);
    luaL_checktable(L, 3);
    const int sort = OptInt(L, 4, 1);
    cxLock *lock;
    cxOsDirScan *scan;
    if (int err = LockFolder(path, nullptr, &lock, &scan)) return err;
    int files = 0, folders = 0;
    const char *name;
    uint32_t isDir;
    while (NextLockEntry(lock, scan, &name, &isDir, nullptr)) {
        lua_pushstring(L, name);
        lua_rawseti(L, isDir ? 3 : 2, isDir ? folders++ : files++);
    }
    OsEndDirScan(scan);
    UnlockPath(lock);
    lua_pushstring(L, "");
    lua_rawseti(L, 2, files);
    lua_pushstring(L, "");
    lua_rawseti(L, 3, folders);
    if (sort) {
        SortTableRange(L, 2, 0, 0, files - 1);
        SortTableRange(L, 3, 0, 0, folders - 1);
    }
    lua_pushnumber(L, files);
    lua_pushnumber(L, folders);
    return 2;
}

int DirectoryItems(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *path = luaL_checkstring(L, 1);
    auto *w = static_cast<DirWalk *>(lua_newuserdata(L, sizeof(DirWalk)));
    w->lock = nullptr;
    w->scan = nullptr;
    luaL_getmetatable(L, kDirMeta);
    lua_setmetatable(L, -2);
    if (int err = LockFolder(path, nullptr, &w->lock, &w->scan)) return err;
    lua_pushcclosure(L, NextItem, 1);
    return 1;
}

int MonitorDirectory(lua_State *L) {
    CheckArgCount(L, 2, 3, 8, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const char *path = luaL_checkstring(L, 2);
    int all = 0;
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableTruth(L, 3, "all", &all, nullptr);
    }
    cxDirectory *d = NewDirectory(L, id);
    if (!d) return ERR_MEM;
    d->monitor = OsStartDirMonitor(path, d, all);
    if (!d->monitor) {
        free(d);
        return ERR_MONITORDIR;
    }
    if (!lua_isnoneornil(L, 3)) {
        lua_pushstring(L, "userdata");
        lua_gettable(L, 3);
        d->userDataRef = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    return Finish(L, d, id);
}

}  // namespace cxdos

extern "C" void RegisterVirtualFolder(cxVirtualEntry *entries) {
    if (entries && !cxdos::IsVirtualFolder(entries)) cxdos::g_virtualFolders.push_back(entries);
}

extern "C" void ForgetVirtualFolder(cxVirtualEntry *entries) {
    auto &v = cxdos::g_virtualFolders;
    v.erase(std::remove(v.begin(), v.end(), entries), v.end());
    // Objects still listing the tree list nothing from now on.
    for (cxObjectHeader *h = cxdos::g_dirs.first; h; h = h->next) {
        auto *d = reinterpret_cast<cxdos::cxDirectory *>(h);
        if (!entries || d->root != entries) continue;
        d->entries = d->current = nullptr;
        d->root = nullptr;
        d->endReached = 1;
    }
}
