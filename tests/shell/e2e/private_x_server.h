// An X server of the test's own (Xvfb), started with the server's default
// of resetting when its last client leaves, as xvfb-run, CI containers and
// kiosks start one for a single program.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace cxe2e {

class PrivateXServer {
public:
    explicit PrivateXServer(const char *screen = "640x480x24") {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number once it accepts clients.
        char buf[16] = {};
        size_t got = 0;
        while (got < sizeof buf - 1) {
            const ssize_t n = read(fds[0], buf + got, sizeof buf - 1 - got);
            if (n <= 0) break;
            got += size_t(n);
            if (buf[got - 1] == '\n') break;
        }
        close(fds[0]);
        if (got > 0 && buf[0] >= '0' && buf[0] <= '9') display_ = ":" + std::string(buf, buf + got - 1);
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;
    // ":N", or empty when no server could be started.
    const std::string &display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace cxe2e
