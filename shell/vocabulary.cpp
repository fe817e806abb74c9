#include "shell/vocabulary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "shell/preload.h"

namespace {

int WriteLines(const char *path, const std::vector<std::string> &lines) {
    FILE *f = path ? fopen(path, "wb") : nullptr;
    if (!f) {
        SetErrorDetail(path);
        return ERR_WRITEFILE;
    }
    bool ok = true;
    for (const std::string &line : lines) {
        if (fwrite(line.data(), 1, line.size(), f) != line.size() || fputc('\n', f) == EOF) ok = false;
    }
    if (fclose(f) != 0) ok = false;
    if (!ok) {
        SetErrorDetail(path);
        return ERR_WRITEFILE;
    }
    return 0;
}

}  // namespace

extern "C" int ExportCommandNames(const char *path) {
    std::vector<std::string> lines;
    try {
        for (const cxCommandLibrary *lib = GetCommandLibraries(); lib; lib = lib->next) {
            for (const luaL_reg *r = lib->commands; r && r->name; r++)
                lines.push_back(std::string(lib->name ? lib->name : "") + "\t" + r->name);
        }
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return WriteLines(path, lines);
}

extern "C" int ExportConstantNames(lua_State *L, const char *path) {
    std::vector<std::string> lines;
    try {
        // The constants live under lower-cased names; constants are written
        // in upper case by convention.
        lua_pushstring(L, "constants");
        lua_rawget(L, LUA_REGISTRYINDEX);
        if (lua_istable(L, -1)) {
            lua_pushnil(L);
            while (lua_next(L, -2)) {
                lua_pop(L, 1);
                if (lua_type(L, -1) == LUA_TSTRING) {
                    std::string name(lua_tostring(L, -1), lua_strlen(L, -1));
                    for (char &c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
                    lines.push_back(std::move(name));
                }
            }
        }
        lua_pop(L, 1);
        std::sort(lines.begin(), lines.end());
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return WriteLines(path, lines);
}

extern "C" int ExportPreprocessorNames(const char *path) {
    std::vector<std::string> lines;
    try {
        for (size_t i = 0; const char *name = GetPreloadCommandName(i); i++) lines.push_back(std::string("@") + name);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return WriteLines(path, lines);
}
