// Test peers on loopback: the scripted Python peer (net_peer.py) and an
// nginx serving a folder. Each is started on an ephemeral port and killed
// when the object goes.
#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace nettest {

class Peer {
public:
    // Starts "/usr/bin/python3 net_peer.py args..." and reads its port.
    explicit Peer(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<std::string> all = {"/usr/bin/python3", CX_NET_PEER_SCRIPT};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char *> argv;
            for (auto &a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        FILE *f = fdopen(fds[0], "r");
        char line[64] = "";
        if (f && fgets(line, sizeof line, f)) sscanf(line, "PORT %d", &port_);
        if (f) fclose(f);
    }
    ~Peer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A port that was free a moment ago.
inline int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

// nginx serving root on loopback.
class Nginx {
public:
    explicit Nginx(const std::string &root, const std::string &work) {
        port_ = FreePort();
        std::string conf = work + "/nginx.conf";
        std::ofstream(conf) << "daemon off; master_process off; worker_processes 1; pid " << work
                            << "/nginx.pid; error_log " << work << "/error.log;\n"
                            << "events { worker_connections 64; }\n"
                            << "http { access_log off; sendfile on; client_body_temp_path " << work
                            << "; proxy_temp_path " << work << "; fastcgi_temp_path " << work
                            << "; uwsgi_temp_path " << work << "; scgi_temp_path " << work << ";\n"
                            << "  server { listen 127.0.0.1:" << port_ << "; root " << root << "; } }\n";
        pid_ = fork();
        if (pid_ == 0) {
            execl("/usr/sbin/nginx", "nginx", "-c", conf.c_str(), "-p", work.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // wait until it listens
        for (int i = 0; i < 200; i++) {
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(port_));
            bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            close(fd);
            if (ok) return;
            usleep(20000);
        }
    }
    ~Nginx() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace nettest
