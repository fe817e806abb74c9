#include "engine/runtime/preferences.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/runtime/kernel.h"
#include "engine/vm/lauxlib.h"
#include "streams/applet_record.h"

namespace {

cxTableCodecHooks g_codec{};

const char kMagic[4] = {'P', 'R', 'F', 'S'};

const char *RunningIdentifier() {
    const cxApplet *applet = GetRunningApplet();
    return applet ? applet->identifier : nullptr;
}

// Creates one folder level; an existing folder is fine.
bool MakeFolder(const std::string &path) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWhole(const char *path, std::vector<unsigned char> *out) {
    cxStream *s = OpenFileStream(path, CX_STREAM_READ, nullptr);
    if (!s) return false;
    unsigned char block[16384];
    size_t n;
    while ((n = ReadStream(s, block, sizeof block)) > 0) out->insert(out->end(), block, block + n);
    CloseFileStream(s);
    return true;
}

}  // namespace

extern "C" void SetTableCodecHooks(const cxTableCodecHooks *hooks) { g_codec = hooks ? *hooks : cxTableCodecHooks{}; }

extern "C" const cxTableCodecHooks *GetTableCodecHooks(void) { return &g_codec; }

extern "C" int GetPrefsFilePath(const char *identifier, char *out, size_t size) {
    const char *home = getenv("HOME");
    if (!home || !*home || !identifier || !*identifier || strchr(identifier, '/')) return 0;
    // "." and ".." would name folders, not files.
    if (!strcmp(identifier, ".") || !strcmp(identifier, "..")) return 0;
    const int n = snprintf(out, size, "%s/.calyxtone-data/preferences/%s", home, identifier);
    return n > 0 && static_cast<size_t>(n) < size ? 1 : 0;
}

extern "C" int LoadPrefsFile(lua_State *L, const char *identifier) {
    if (!lua_checkstack(L, 1)) return ERR_STACK;
    if (!identifier) identifier = RunningIdentifier();
    char path[4096];
    std::vector<unsigned char> data;
    if (!g_codec.deserialize || !GetPrefsFilePath(identifier, path, sizeof path) || !ReadWhole(path, &data) ||
        data.size() < sizeof kMagic || memcmp(data.data(), kMagic, sizeof kMagic) != 0) {
        lua_newtable(L);
        return 0;
    }
    const int top = lua_gettop(L);
    const unsigned char *cursor = data.data() + sizeof kMagic;
    if (g_codec.deserialize(L, nullptr, &cursor, data.data() + data.size(), 0) != 0) {
        // A damaged file counts as none: the applet starts afresh.
        lua_settop(L, top);
        lua_newtable(L);
    }
    return 0;
}

extern "C" int SavePrefsFile(lua_State *L, int index, const char *identifier) {
    if (!identifier) identifier = RunningIdentifier();
    char path[4096];
    if (!g_codec.serialize || !GetPrefsFilePath(identifier, path, sizeof path)) return 0;
    if (index < 0 && index > LUA_REGISTRYINDEX) index = lua_gettop(L) + index + 1;
    const std::string file(path);
    const std::string prefs = file.substr(0, file.find_last_of('/'));
    const std::string data = prefs.substr(0, prefs.find_last_of('/'));
    if (!MakeFolder(data) || !MakeFolder(prefs)) {
        SetErrorDetail(prefs.c_str());
        return ERR_CREATEDIR;
    }
    // Written beside the file and renamed over it, so that a failed write
    // never leaves a half file where the last good one was.
    const std::string temp = file + ".new";
    cxStream *s = OpenFileStream(temp.c_str(), CX_STREAM_WRITE, nullptr);
    if (!s) {
        SetErrorDetail(temp.c_str());
        return ERR_WRITEFILE;
    }
    int err = WriteStream(s, kMagic, sizeof kMagic) == sizeof kMagic ? 0 : ERR_WRITE;
    if (!err) err = g_codec.serialize(L, index, s, nullptr, nullptr);
    if (!CloseFileStream(s) && !err) err = ERR_WRITE;
    if (!err && rename(temp.c_str(), file.c_str()) != 0) {
        SetErrorDetail(file.c_str());
        err = ERR_WRITEFILE;
    }
    if (err) unlink(temp.c_str());
    return err;
}
