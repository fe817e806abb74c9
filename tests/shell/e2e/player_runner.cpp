#include "tests/shell/e2e/player_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tools/cxasm/asm_text.h"

extern char **environ;

namespace cxe2e {

const char *PlayerPath() { return CX_PLAYER_PATH; }

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::vector<std::string> ChildEnvironment(bool withDisplay) {
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
        if (!withDisplay && strncmp(*e, "DISPLAY=", 8) == 0) continue;
        env.emplace_back(*e);
    }
    return env;
}

}  // namespace

RunResult RunPlayer(const std::vector<std::string> &args, const RunOptions &options) {
    RunResult result;
    const std::string program = options.program.empty() ? PlayerPath() : options.program;
    std::vector<std::string> env = ChildEnvironment(options.withDisplay);
    // Programs of a cross build run under the build's emulator.
    std::string emulator = CX_TEST_EMULATOR;
    std::vector<char *> argv;
    if (!emulator.empty()) argv.push_back(emulator.data());
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    bool notified = options.waitFor.empty();
    const double deadline = Now() + options.timeoutSeconds;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const double left = deadline - Now();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        int n = poll(fds, 2, int(left * 1000) + 1);
        if (n < 0 && errno == EINTR) continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, size_t(got));
        }
        if (!notified && result.out.find(options.waitFor) != std::string::npos) {
            notified = true;
            if (options.onOutput) options.onOutput(pid);
        }
    }
    for (pollfd &p : fds)
        if (p.fd >= 0) close(p.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

cxtools::Bytes BuildApplet(const std::string &source, const std::vector<cxtools::DeclaredItem> &items) {
    std::vector<uint8_t> chunk = cxasm::assembleText(source);
    cxtools::AppletWriter writer;
    for (const cxtools::DeclaredItem &item : items) writer.AddItem(item);
    writer.AddMainChunk(cxtools::Bytes(chunk.begin(), chunk.end()));
    return writer.Build();
}

void WriteApplet(const std::string &path, const std::string &source, const std::vector<cxtools::DeclaredItem> &items) {
    cxtools::Bytes bytes = BuildApplet(source, items);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ShowString(int reg) {
    const std::string s = std::to_string(reg), a = std::to_string(reg + 1), b = std::to_string(reg + 2),
                      c = std::to_string(reg + 3), d = std::to_string(reg + 4), e = std::to_string(reg + 5),
                      f = std::to_string(reg + 6);
    return "        GETGLOBAL " + a + " \"strlen\"\n"
           "        MOVE " + b + " " + s + "\n"
           "        CALL " + a + " 2 2\n"
           "        GETGLOBAL " + b + " \"allocmem\"\n"
           "        LOADK " + c + " #99\n"
           "        ADD " + d + " " + a + " #1\n"
           "        CALL " + b + " 3 1\n"
           "        GETGLOBAL " + b + " \"poke\"\n"
           "        LOADK " + c + " #99\n"
           "        LOADK " + d + " #0\n"
           "        MOVE " + e + " " + s + "\n"
           "        LOADK " + f + " #3\n"
           "        CALL " + b + " 5 1\n"
           "        GETGLOBAL " + b + " \"dumpmem\"\n"
           "        LOADK " + c + " #99\n"
           "        MOVE " + d + " " + a + "\n"
           "        CALL " + b + " 3 1\n"
           "        GETGLOBAL " + b + " \"freemem\"\n"
           "        LOADK " + c + " #99\n"
           "        CALL " + b + " 2 1\n";
}

}  // namespace cxe2e
