// A stand-in for the player's main sequence in linked mode, until the real
// one exists: it reads its own appended-data marker, unpacks the plug-in
// package behind its image, initialises the plug-ins, calls a plug-in
// command, reads the applet that follows the package, and cleans up.
// Prints one line per stage for the test that links and runs it.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "engine/vm/lauxlib.h"
#include "shell/applet.h"
#include "shell/chunk_reader.h"
#include "shell/options.h"
#include "shell/plugins/plugin_manager.h"
#include "shell/plugins/plugin_package.h"
#include "shell/plugins/plugin_startup.h"

int main(int argc, char **argv) {
    cxStartupOptions opts;
    InitStartupOptions(&opts);
    if (ParseArguments(&opts, argc, argv) != 0 || !realpath("/proc/self/exe", opts.programPath)) {
        FreeStartupOptions(&opts);
        return 3;
    }
    opts.appendedOffset = GetAppendedDataOffset();
    opts.linked = opts.appendedOffset != CX_APPENDED_NONE;
    if (!opts.linked) {
        puts("standalone");
        FreeStartupOptions(&opts);
        return 2;
    }
    uint64_t appletOffset = 0;
    int err = ExtractLinkedPlugins(&opts, &appletOffset);
    printf("extract %d\n", err);
    const std::string folder = GetPluginTempDir() ? GetPluginTempDir() : "";

    lua_State *L = lua_open();
    cxApplet *applet = NewApplet();
    if (!err) err = InitPlugins(L, &opts);
    printf("init %d\n", err);
    if (!err) {
        lua_pushstring(L, "libtest");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushstring(L, "add");
        lua_gettable(L, -2);
        lua_pushnumber(L, 20);
        lua_pushnumber(L, 22);
        int call = lua_pcall(L, 2, 1, 0);
        printf("add %d %g\n", call, call ? 0.0 : lua_tonumber(L, -1));
        lua_settop(L, 0);
        err = ReadAppletHeader(applet, opts.programPath, appletOffset, 0);
        printf("applet %d %s\n", err, applet->info[0]);
    }
    if (!err) err = LoadApplet(applet);
    if (!err) {
        // The applet's main chunk calls the plug-in's commands.
        cxChunkReader *reader = nullptr;
        err = OpenMainChunkReader(applet, &reader);
        if (!err) {
            auto read = [](lua_State *, void *ud, size_t *size) { return ReadChunkBlock(ud, size); };
            err = lua_load(L, read, reader, "=linked");
            CloseChunkReader(reader);
        }
        if (!err) err = lua_pcall(L, 0, 0, 0);
        lua_pushstring(L, "sum");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushstring(L, "word");
        lua_gettable(L, LUA_GLOBALSINDEX);
        printf("run %d sum %g word %s\n", err, lua_tonumber(L, -2), lua_isstring(L, -1) ? lua_tostring(L, -1) : "-");
        lua_settop(L, 0);
    }

    // The clean-up of the main sequence, run whatever failed above.
    ClosePlugins(L);
    FreeCommandLibraries();
    FreePlugins();
    lua_close(L);
    FreeApplet(applet);
    RemoveAppendedPlugins();
    struct stat st;
    printf("folder %s\n", !folder.empty() && stat(folder.c_str(), &st) == 0 ? "kept" : "removed");
    FreeStartupOptions(&opts);
    return err ? 1 : 0;
}
