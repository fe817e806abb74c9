// A script's server in its WaitEvent loop: the wait wakes as soon as a
// client connects, sends or closes (the sockets are in the wait's set, the
// shared tick is not needed), every ready client is served before any is
// served twice, and a socket whose news is waiting to be read never makes
// the wait spin.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "display/events/event_library.h"
#include "display/events/event_sources.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/kernel.h"
#include "io/net/net_commands.h"
#include "io/net/net_objects.h"
#include "platform/os_timers.h"
#include "platform/os_wake.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

// h(msg): remembers the message and lets the test act (Probe).
const char *const kHandlers = R"(
.function h
.params 1
        SETGLOBAL 0 "lastmsg"
        GETGLOBAL 1 "probe"
        MOVE 2 0
        CALL 1 2 1
        RETURN 0 1
.end
        CLOSURE 0 h
        SETGLOBAL 0 "h"
        RETURN 0 1
)";

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

class ServerEvents : public cxtest::VmTest {
protected:
    int port = 0;
    std::vector<std::string> actions;  // of the handler calls
    std::vector<void *> ids;
    std::function<void(void *id)> onData;

    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(InitKernel(), 0);
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenNetworkLibrary(L), 0);
        ASSERT_EQ(OpenEventLibrary(L), 0);
        ASSERT_TRUE(OsCreateWakePipe(nullptr, nullptr));
        static const cxNetEventSource checks = {CheckUdpData, CheckServerConnect, CheckConnectionData,
                                                CheckConnectionClose};
        SetNetEventSource(&checks);
        ASSERT_EQ(RunAsm(kHandlers), 0);
        cxtest::ProbeBody() = [this](lua_State *L) {
            lua_pushstring(L, "action");
            lua_gettable(L, 1);
            actions.push_back(lua_tostring(L, -1));
            lua_pushstring(L, "id");
            lua_gettable(L, 1);
            ids.push_back(lua_touserdata(L, -1));
            lua_pop(L, 2);
            if (actions.back() == "OnReceiveData" && onData) onData(ids.back());
            return 0;
        };
        ASSERT_EQ(Call("CreateServer", [&] {
                      lua_pushnumber(L, 1);
                      lua_pushnumber(L, 0);
                  }),
                  0);
        ASSERT_EQ(Call("GetLocalPort", [&] {
                      lua_pushnumber(L, 1);
                      lua_pushnumber(L, 115);
                  }),
                  0);
        port = static_cast<int>(Num(1));
    }
    void TearDown() override {
        FreeNetworkObjects(L);
        CleanupEvents(L);
        SetNetEventSource(nullptr);
        OsFreeTimers();
        VmTest::TearDown();
    }
    int Install(std::initializer_list<const char *> names) {
        int err = Call("InstallEventHandler", [&] {
            lua_newtable(L);
            for (const char *n : names) {
                lua_pushstring(L, n);
                lua_pushstring(L, "h");
                lua_gettable(L, LUA_GLOBALSINDEX);
                lua_settable(L, -3);
            }
        });
        // Only the sockets may wake the wait: the shared tick goes.
        OsReleaseTickInterval(L, 0);
        return err;
    }
    // WaitEvent while act() runs on another thread a moment later; false
    // when nothing but the watchdog (3 s) ended the wait.
    bool WaitFor(const std::function<void()> &act) {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::atomic<bool> fired{false};
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(m);
            if (!cv.wait_for(lock, std::chrono::seconds(3), [&] { return done; })) {
                fired = true;
                OsPostWakeMessage(CX_WAKE_PLAIN, 0);
            }
        });
        std::thread actor([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            act();
        });
        const int err = Call("WaitEvent");
        {
            std::lock_guard<std::mutex> lock(m);
            done = true;
        }
        cv.notify_one();
        watchdog.join();
        actor.join();
        EXPECT_EQ(err, 0);
        return !fired;
    }
    // The epoll set (or whatever the network gives the wait) is quiet.
    bool WaitWouldSleep() {
        cxOsWaitItem items[64];
        const int n = NetWaitItems(items, 64);
        if (n < 0) return false;
        std::vector<pollfd> fds;
        for (int i = 0; i < n; i++) fds.push_back({items[i].fd, items[i].events, 0});
        return poll(fds.data(), fds.size(), 0) == 0;
    }
};

TEST_F(ServerEvents, TheWaitWakesForConnectsDataAndCloses) {
    ASSERT_EQ(Install({"onconnect", "onreceivedata", "ondisconnect"}), 0);
    int client = -1;
    ASSERT_TRUE(WaitFor([&] { client = Connect(port); }));
    ASSERT_EQ(actions.back(), "OnConnect");
    ASSERT_GE(client, 0);
    ASSERT_TRUE(WaitFor([&] { (void)!send(client, "ping", 4, 0); }));
    ASSERT_EQ(actions.back(), "OnReceiveData");
    void *id = ids.back();
    ASSERT_EQ(Call("ReceiveData", [&] {
                  lua_pushlightuserdata(L, id);
                  lua_pushnumber(L, CX_RECEIVEALL);
                  lua_pushnumber(L, 0);
              }),
              0);
    EXPECT_EQ(Str(1), "ping");
    ASSERT_TRUE(WaitFor([&] { close(client); }));
    EXPECT_EQ(actions.back(), "OnDisconnect");
    EXPECT_EQ(ids.back(), id);
}

// Each handler reads what came and its client sends again at once: the
// other ready clients still get their turn before it is served again.
TEST_F(ServerEvents, EveryReadyClientIsServedBeforeAnyTwice) {
    ASSERT_EQ(Install({"onconnect", "onreceivedata"}), 0);
    std::vector<int> clients;
    for (int i = 0; i < 4; i++) {
        clients.push_back(Connect(port));
        ASSERT_TRUE(WaitFor([] {}));
        ASSERT_EQ(actions.back(), "OnConnect");
    }
    // Client k sends "k"; the handler reads it and client k sends again.
    onData = [&](void *id) {
        lua_pushstring(L, "receivedata");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushlightuserdata(L, id);
        lua_pushnumber(L, CX_RECEIVEALL);
        lua_pushnumber(L, 0);
        ASSERT_EQ(lua_pcall(L, 3, 1, 0), 0);
        const std::string got = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_pop(L, 1);
        ASSERT_FALSE(got.empty());
        (void)!send(clients[static_cast<size_t>(got[0] - '0')], got.data(), 1, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // it has arrived
    };
    for (size_t i = 0; i < clients.size(); i++) {
        const char c = static_cast<char>('0' + i);
        (void)!send(clients[i], &c, 1, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    actions.clear();
    ids.clear();
    for (size_t i = 0; i < clients.size(); i++) ASSERT_TRUE(WaitFor([] {}));
    for (const std::string &a : actions) EXPECT_EQ(a, "OnReceiveData");
    EXPECT_EQ(std::set<void *>(ids.begin(), ids.end()).size(), clients.size());
    for (int fd : clients) close(fd);
}

// News that was reported and not read, and a close nobody listens for,
// leave the wait asleep.
TEST_F(ServerEvents, UnreadNewsNeverWakesTheWaitAgain) {
    ASSERT_EQ(Install({"onconnect", "onreceivedata"}), 0);
    int client = -1;
    ASSERT_TRUE(WaitFor([&] { client = Connect(port); }));
    ASSERT_TRUE(WaitFor([&] { (void)!send(client, "unread", 6, 0); }));
    ASSERT_EQ(actions.back(), "OnReceiveData");
    EXPECT_TRUE(WaitWouldSleep());
    // Read it: the connection is watched again; the client goes without an
    // OnDisconnect handler.
    void *id = ids.back();
    ASSERT_EQ(Call("ReceiveData", [&] {
                  lua_pushlightuserdata(L, id);
                  lua_pushnumber(L, CX_RECEIVEALL);
                  lua_pushnumber(L, 0);
              }),
              0);
    close(client);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cxObjectID none{};
    EXPECT_EQ(CheckConnectionData(&none), 0);  // looks once: the close is no data
    EXPECT_TRUE(WaitWouldSleep());
}

}  // namespace
