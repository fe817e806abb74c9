// Shared pieces of the plug-in tests: where the test plug-ins are built, the
// log they write, and a fixture that gives each test a fresh manager and
// virtual machine.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "shell/plugins/plugin_manager.h"
#include "shell/plugins/plugin_package.h"
#include "tests/shell/test_files.h"

namespace cxtest {

// A test plug-in built by the project: cxp/<case>/<file>.
inline std::string CxpPath(const std::string &testCase, const std::string &file) {
    return std::string(CX_TEST_CXP_DIR) + "/" + testCase + "/" + file;
}

// The events the test plug-ins log (probe_log.h), one "event:detail" a line.
class ProbeLogFile {
public:
    ProbeLogFile() : path_(dir_.Path("probe.log")) { setenv("CX_PROBE_LOG", path_.c_str(), 1); }
    ~ProbeLogFile() { unsetenv("CX_PROBE_LOG"); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream f(path_);
        for (std::string line; std::getline(f, line);) lines.push_back(line);
        return lines;
    }
    int Count(const std::string &line) const {
        int n = 0;
        for (const std::string &l : Lines()) n += l == line;
        return n;
    }

private:
    TempDir dir_;
    std::string path_;
};

struct PluginFixture : ::testing::Test {
    lua_State *L = nullptr;
    ProbeLogFile log;

    void SetUp() override {
        SetPluginQuiet(1);
        L = lua_open();
        ASSERT_NE(L, nullptr);
    }
    void TearDown() override {
        ClosePlugins(L);
        FreeCommandLibraries();
        FreePlugins();
        RemoveAppendedPlugins();
        lua_close(L);
        SetPluginApplet(nullptr);
        SetPluginStartupPhase(0);
    }

    // Pushes a global, or a field of a global table.
    void PushCommand(const char *table, const char *name) {
        if (table) {
            lua_pushstring(L, table);
            lua_gettable(L, LUA_GLOBALSINDEX);
            lua_pushstring(L, name);
            lua_gettable(L, -2);
            lua_remove(L, -2);
        } else {
            lua_pushstring(L, name);
            lua_gettable(L, LUA_GLOBALSINDEX);
        }
    }
    // The value of a constant registered with luaL_openconstants.
    bool Constant(const char *lowerName, double *number, std::string *text = nullptr) {
        lua_pushstring(L, "constants");
        lua_rawget(L, LUA_REGISTRYINDEX);
        if (!lua_istable(L, -1)) {
            lua_pop(L, 1);
            return false;
        }
        lua_pushstring(L, lowerName);
        lua_rawget(L, -2);
        bool found = !lua_isnil(L, -1);
        if (found && number && lua_type(L, -1) == LUA_TNUMBER) *number = lua_tonumber(L, -1);
        if (found && text && lua_type(L, -1) == LUA_TSTRING) *text = lua_tostring(L, -1);
        lua_pop(L, 2);
        return found;
    }
};

}  // namespace cxtest
