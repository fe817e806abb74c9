// A connected pair of pseudo-terminals made by socat, standing in for two
// serial ports joined by a null-modem cable. Bytes written to one arrive at
// the other.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace serialtest {

class PtyPair {
public:
    PtyPair() {
        int err[2];
        if (pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(err[1], 2);
            close(err[0]);
            close(err[1]);
            execlp("socat", "socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(err[1]);
        FILE *f = fdopen(err[0], "r");
        char line[512];
        // socat names both ends, then reports its transfer loop
        while (f && fgets(line, sizeof line, f)) {
            const char *p = strstr(line, "PTY is ");
            if (p) {
                std::string name(p + 7);
                while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
                (a_.empty() ? a_ : b_) = name;
            }
            if (strstr(line, "starting data transfer loop")) break;
        }
        if (f) fclose(f);
    }
    ~PtyPair() { stop(); }
    // Ends socat: both ends hang up.
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return !a_.empty() && !b_.empty(); }
    // The end the library opens, and the far end the test drives.
    const std::string &near() const { return a_; }
    const std::string &far() const { return b_; }

private:
    pid_t pid_ = -1;
    std::string a_, b_;
};

// "stty -F device -a", or "" when it fails.
inline std::string SttyAll(const std::string &device) {
    std::string cmd = "stty -F " + device + " -a 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return "";
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// True when the stty listing holds the word (a flag like "-parenb" or
// "cs7", or "speed 19200 baud"), matched as a whole word.
inline bool HasSttyWord(const std::string &listing, const std::string &word) {
    size_t at = 0;
    while ((at = listing.find(word, at)) != std::string::npos) {
        bool startOk = at == 0 || listing[at - 1] == ' ' || listing[at - 1] == '\n' || listing[at - 1] == ';';
        size_t end = at + word.size();
        bool endOk = end == listing.size() || listing[end] == ' ' || listing[end] == '\n' || listing[end] == ';';
        if (startOk && endOk) return true;
        at = end;
    }
    return false;
}

} // namespace serialtest
