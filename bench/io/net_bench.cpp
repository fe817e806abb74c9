// Network throughput as a script sees it, beside curl in the same run: a
// large download from a local nginx, many small requests, and TCP echo
// round trips against a loopback peer. Best of three alternating rounds.
//   bench_io_net [download MB]
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/runtime/runtime.h"
#include "io/net/net_objects.h"
#include "tests/io/net/net_peers.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()> &f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

int Call(lua_State *L, const char *name, const std::function<void()> &push) {
    lua_settop(L, 0);
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    push();
    return lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
}

int Download(lua_State *L, const std::string &url, const char *file) {
    return Call(L, "downloadfile", [&] {
        lua_pushstring(L, url.c_str());
        lua_newtable(L);
        if (file) {
            lua_pushstring(L, "file");
            lua_pushstring(L, file);
            lua_settable(L, -3);
        }
    });
}

} // namespace

int main(int argc, char **argv) {
    const int mb = argc > 1 ? atoi(argv[1]) : 200;
    char tmpl[] = "/tmp/cxnetbench.XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string root = dir + "/www";
    mkdir(root.c_str(), 0755);
    {
        std::ofstream big(root + "/big.bin", std::ios::binary);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<char>(i * 2654435761u >> 24);
        for (int i = 0; i < mb; i++) big.write(block.data(), static_cast<std::streamsize>(block.size()));
        std::ofstream(root + "/small.txt") << std::string(100, 'x');
    }
    nettest::Nginx nginx(root, dir);
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.port());

    lua_State *L = lua_open();
    if (OpenScriptLibraries(L) || OpenNetworkLibrary(L)) {
        fprintf(stderr, "cannot open the libraries\n");
        return 1;
    }
    SetNetworkTimeoutMs(20000);

    // 1. one large download, to /dev/null on both sides
    double ours = 1e9, curl = 1e9;
    std::string curlBig = "curl -s -o /dev/null " + base + "/big.bin";
    for (int round = 0; round < 3; round++) {
        ours = std::min(ours, Seconds([&] {
                            if (Download(L, base + "/big.bin", "/dev/null")) fprintf(stderr, "download failed\n");
                        }));
        curl = std::min(curl, Seconds([&] {
                            if (std::system(curlBig.c_str()) != 0) fprintf(stderr, "curl failed\n");
                        }));
    }
    printf("download %d MB: player %.0f MB/s, curl %.0f MB/s, player/curl throughput %.2f\n", mb, mb / ours,
           mb / curl, curl / ours);

    // 2. 1,000 sequential small requests, each on its own connection
    const int n = 1000;
    std::string config = dir + "/curl.cfg";
    {
        std::ofstream cfg(config);
        cfg << "silent\nheader = \"Connection: close\"\n";
        for (int i = 0; i < n; i++) cfg << "url = \"" << base << "/small.txt\"\noutput = \"/dev/null\"\n";
    }
    std::string curlSmall = "curl -K " + config;
    ours = curl = 1e9;
    for (int round = 0; round < 3; round++) {
        ours = std::min(ours, Seconds([&] {
                            for (int i = 0; i < n; i++)
                                if (Download(L, base + "/small.txt", nullptr)) fprintf(stderr, "request failed\n");
                        }));
        curl = std::min(curl, Seconds([&] {
                            if (std::system(curlSmall.c_str()) != 0) fprintf(stderr, "curl failed\n");
                        }));
    }
    printf("%d small requests: player %.0f/s, curl %.0f/s\n", n, n / ours, n / curl);

    // 3. TCP echo round trips of 32 bytes
    {
        nettest::Peer echo({"tcpecho"});
        Call(L, "openconnection", [&] {
            lua_pushnumber(L, 1);
            lua_pushstring(L, "127.0.0.1");
            lua_pushnumber(L, echo.port());
        });
        const int trips = 20000;
        const std::string msg(32, 'e');
        double best = 1e9;
        for (int round = 0; round < 3; round++) {
            best = std::min(best, Seconds([&] {
                                for (int i = 0; i < trips; i++) {
                                    Call(L, "senddata", [&] {
                                        lua_pushnumber(L, 1);
                                        lua_pushlstring(L, msg.data(), msg.size());
                                    });
                                    Call(L, "receivedata", [&] {
                                        lua_pushnumber(L, 1);
                                        lua_pushnumber(L, 1);
                                        lua_pushnumber(L, 32);
                                    });
                                }
                            }));
        }
        printf("TCP echo: %.0f round trips/s\n", trips / best);
    }
    FreeNetworkObjects(L);
    lua_close(L);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
