// A display with the event library open and handler functions defined by
// a small assembled chunk, for tests of the dispatcher and the commands
// built on it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "display/events/dispatcher.h"
#include "display/events/event_library.h"
#include "display/events/event_sources.h"
#include "errors/error_codes.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "tests/display/displays/display_fixture.h"

namespace cxtest {

// Handlers: h stores its table in "lastmsg", calls Probe (which counts
// calls) and returns "a" and 7; w calls WaitEvent.
inline const char *const kScript = R"(
.function h
.params 1
        SETGLOBAL 0 "lastmsg"
        GETGLOBAL 1 "probe"
        CALL 1 1 1
        LOADK 1 "a"
        LOADK 2 #7
        RETURN 1 3
.end
.function w
.params 1
        GETGLOBAL 1 "waitevent"
        CALL 1 1 1
        RETURN 0 1
.end
        CLOSURE 0 h
        SETGLOBAL 0 "h"
        CLOSURE 0 w
        SETGLOBAL 0 "w"
        RETURN 0 1
)";

inline int g_udp, g_connect, g_data, g_close;
inline int FakeUdp(cxObjectID *id) { return g_udp ? (g_udp--, *id = {41, nullptr}, 1) : 0; }
inline int FakeConnect(cxObjectID *server, cxObjectID *client) {
    if (!g_connect) return 0;
    g_connect--;
    *server = {5, nullptr};
    *client = {6, nullptr};
    return 1;
}
inline int FakeData(cxObjectID *id) { return g_data ? (g_data--, *id = {42, nullptr}, 1) : 0; }
inline int FakeClose(cxObjectID *id) { return g_close ? (g_close--, *id = {43, nullptr}, 1) : 0; }

class Events : public cxtest::DisplayTest {
protected:
    cxDisplay *d = nullptr;
    int calls = 0;

    void SetUp() override {
        SetScriptLibraryOpener("event", OpenEventLibrary);
        cxtest::DisplayTest::SetUp();
        ASSERT_EQ(InitKernel(), 0);
        ASSERT_EQ(Create(1), 0);
        ASSERT_EQ(Cmd("SelectDisplay", {1}), 0);
        d = Display(1);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(RunAsm(kScript), 0);
        cxtest::ProbeBody() = [this](lua_State *) {
            calls++;
            return 0;
        };
        static const cxNetEventSource net = {FakeUdp, FakeConnect, FakeData, FakeClose};
        SetNetEventSource(&net);
        g_udp = g_connect = g_data = g_close = 0;
    }
    void TearDown() override {
        CleanupEvents(L);
        SetNetEventSource(nullptr);
        SetScriptLibraryOpener("event", nullptr);
        FreeEventQueue(L);
        cxtest::DisplayTest::TearDown();
    }
    // Installs the global function fn under each of the names.
    int Install(std::initializer_list<const char *> names, const char *fn = "h") {
        return Call("InstallEventHandler", [&] {
            lua_newtable(L);
            for (const char *n : names) {
                lua_pushstring(L, n);
                lua_pushstring(L, fn);
                lua_gettable(L, LUA_GLOBALSINDEX);
                lua_settable(L, -3);
            }
        });
    }
    std::string Field(int table, const char *key) {
        lua_pushstring(L, key);
        lua_gettable(L, table);
        std::string s = lua_isnil(L, -1) ? "<nil>" : lua_tostring(L, -1);
        lua_pop(L, 1);
        return s;
    }
    std::string Last(const char *key) {
        lua_pushstring(L, "lastmsg");
        lua_gettable(L, LUA_GLOBALSINDEX);
        std::string s = lua_istable(L, -1) ? Field(lua_gettop(L), key) : "<none>";
        lua_pop(L, 1);
        return s;
    }
    uint32_t Queued() {
        cxEventInfo info{};
        return FetchEvent(L, 0, &info, 0);
    }
    // CheckEvent's action, or "" when nothing ran.
    std::string CheckAction() {
        EXPECT_EQ(Call("CheckEvent"), 0);
        return Field(1, "action");
    }
};

}  // namespace cxtest
