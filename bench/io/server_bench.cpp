// Servers: how many network events a script's WaitEvent loop serves, beside
// a Python echo server on the selectors module in the same run. The player
// runs an applet that creates a server and echoes what its OnReceiveData
// handler receives; clients on loopback send 32 bytes, wait for them to
// come back and send again.
//   round trips per second and the 50th and 95th percentile of one round
//   trip, with 1, 20 and 100 clients at once (best of three rounds);
//   connects per second: 1,000 connections opened one after the other,
//   each waiting until the server has echoed one message on it.
//   bench_io_server [seconds per round = 2] [clients: only this many]
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/io/net/net_peers.h"
#include "tests/shell/e2e/player_runner.h"

namespace {

using Clock = std::chrono::steady_clock;

double Now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The echo server as a script: CreateServer, three handlers, a WaitEvent loop.
const char *const kEchoApplet = R"(
.source "=echo.cxs"
        GETGLOBAL 0 "clargs"
        GETTABLE 1 0 "port"
        GETGLOBAL 2 "val"
        MOVE 3 1
        CALL 2 2 2
        GETGLOBAL 3 "createserver"
        LOADK 4 #1
        MOVE 5 2
        CALL 3 3 1
        GETGLOBAL 3 "installeventhandler"
        NEWTABLE 4 0 3
        CLOSURE 5 ondata
        SETTABLE 4 "onreceivedata" 5
        CLOSURE 5 onclose
        SETTABLE 4 "ondisconnect" 5
        CLOSURE 5 onconnect
        SETTABLE 4 "onconnect" 5
        CALL 3 2 1
loop:   GETGLOBAL 3 "waitevent"
        CALL 3 1 1
        JMP loop
        RETURN 0 1

.function ondata
.params 1
        GETGLOBAL 1 "receivedata"
        GETTABLE 2 0 "id"
        LOADK 3 #0
        LOADK 4 #0
        CALL 1 4 2
        GETGLOBAL 2 "senddata"
        GETTABLE 3 0 "id"
        MOVE 4 1
        CALL 2 3 1
        RETURN 0 1
.end

.function onclose
.params 1
        GETGLOBAL 1 "closeconnection"
        GETTABLE 2 0 "id"
        CALL 1 2 1
        RETURN 0 1
.end

.function onconnect
.params 1
        RETURN 0 1
.end
)";

bool Reachable(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// The player running the echo applet on a port of its own.
class PlayerServer {
public:
    explicit PlayerServer(const std::string &dir) {
        const std::string applet = dir + "/echo.cxa";
        cxe2e::WriteApplet(applet, kEchoApplet);
        port_ = nettest::FreePort();
        const std::string port = std::to_string(port_);
        pid_ = fork();
        if (pid_ == 0) {
            setenv("DISPLAY", "", 1);
            unsetenv("DISPLAY");
            execl(cxe2e::PlayerPath(), "player", applet.c_str(), "-QUIET", "-port", port.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && !Reachable(port_); i++) usleep(10000);
    }
    ~PlayerServer() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

class PythonServer {
public:
    PythonServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            execl("/usr/bin/python3", "python3", CX_SELECTORS_ECHO, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        FILE *f = fdopen(fds[0], "r");
        char line[64] = "";
        if (f && fgets(line, sizeof line, f)) sscanf(line, "PORT %d", &port_);
        if (f) fclose(f);
    }
    ~PythonServer() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

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
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

struct Result {
    double perSecond = 0;
    double p50 = 0, p95 = 0;  // ms
};

constexpr size_t kMessage = 32;

// n clients, each sending 32 bytes and waiting for them before the next.
Result RoundTrips(int port, int n, double seconds) {
    std::vector<int> fds;
    for (int i = 0; i < n; i++) {
        int fd = Connect(port);
        if (fd < 0) break;
        fcntl(fd, F_SETFL, O_NONBLOCK);
        fds.push_back(fd);
    }
    Result r;
    if (static_cast<int>(fds.size()) != n) {
        for (int fd : fds) close(fd);
        return r;
    }
    const std::string msg(kMessage, 'm');
    std::vector<double> sent(n);
    std::vector<size_t> got(n, 0);
    std::vector<double> trips;
    std::vector<pollfd> p(n);
    for (int i = 0; i < n; i++) {
        p[i] = {fds[i], POLLIN, 0};
        sent[i] = Now();
        (void)!send(fds[i], msg.data(), msg.size(), MSG_NOSIGNAL);
    }
    const double start = Now();
    const double end = start + seconds;
    char buf[4096];
    while (Now() < end) {
        if (poll(p.data(), p.size(), 50) <= 0) continue;
        for (int i = 0; i < n; i++) {
            if (!(p[i].revents & POLLIN)) continue;
            ssize_t k = recv(fds[i], buf, sizeof buf, 0);
            if (k <= 0) continue;
            got[i] += static_cast<size_t>(k);
            if (got[i] < kMessage) continue;
            got[i] = 0;
            const double t = Now();
            trips.push_back((t - sent[i]) * 1000.0);
            sent[i] = t;
            (void)!send(fds[i], msg.data(), msg.size(), MSG_NOSIGNAL);
        }
    }
    const double elapsed = Now() - start;
    for (int fd : fds) close(fd);
    if (trips.empty()) return r;
    r.perSecond = static_cast<double>(trips.size()) / elapsed;
    std::sort(trips.begin(), trips.end());
    r.p50 = trips[trips.size() / 2];
    r.p95 = trips[trips.size() * 95 / 100];
    return r;
}

// Connections opened one after the other, each used for one echo.
double Connects(int port, int count) {
    const std::string msg(kMessage, 'c');
    char buf[kMessage];
    const double start = Now();
    for (int i = 0; i < count; i++) {
        int fd = Connect(port);
        if (fd < 0) return 0;
        timeval tv{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        (void)!send(fd, msg.data(), msg.size(), MSG_NOSIGNAL);
        size_t have = 0;
        while (have < kMessage) {
            ssize_t k = recv(fd, buf, kMessage - have, 0);
            if (k <= 0) break;
            have += static_cast<size_t>(k);
        }
        close(fd);
        if (have < kMessage) return 0;
    }
    return count / (Now() - start);
}

Result Best(int port, int n, double seconds) {
    Result best;
    for (int round = 0; round < 3; round++) {
        Result r = RoundTrips(port, n, seconds);
        if (r.perSecond > best.perSecond) best = r;
    }
    return best;
}

}  // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 2.0;
    signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/cxserverbench.XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    PlayerServer player(dir);
    PythonServer python;
    if (!Reachable(player.port()) || python.port() <= 0) {
        fprintf(stderr, "a server did not start\n");
        return 1;
    }
    printf("| clients | player round trips/s | p50 / p95 ms | Python selectors round trips/s | p50 / p95 ms | "
           "player/Python |\n|---|---|---|---|---|---|\n");
    std::vector<int> counts = {1, 20, 100};
    if (argc > 2) counts = {atoi(argv[2])};
    for (int n : counts) {
        const Result ours = Best(player.port(), n, seconds);
        const Result peer = Best(python.port(), n, seconds);
        printf("| %d | %.0f | %.2f / %.2f | %.0f | %.2f / %.2f | %.2f |\n", n, ours.perSecond, ours.p50, ours.p95,
               peer.perSecond, peer.p50, peer.p95, peer.perSecond > 0 ? ours.perSecond / peer.perSecond : 0.0);
        fflush(stdout);
    }
    const int count = 1000;
    const double ours = Connects(player.port(), count);
    const double peer = Connects(python.port(), count);
    printf("| %d connects, one echo each | %.0f connects/s | | %.0f connects/s | | %.2f |\n", count, ours, peer,
           peer > 0 ? ours / peer : 0.0);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
