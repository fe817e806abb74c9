#include "platform/os_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "platform/os_time.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Words of the text; false for an unbalanced quote.
bool SplitWords(const char *text, std::vector<std::string> *words) {
    const char *p = text ? text : "";
    for (;;) {
        while (IsBlank(*p)) p++;
        if (!*p) return true;
        std::string w;
        while (*p && !IsBlank(*p)) {
            if (*p == '\'') {
                const char *end = strchr(p + 1, '\'');
                if (!end) return false;
                w.append(p + 1, end);
                p = end + 1;
            } else if (*p == '"') {
                p++;
                while (*p && *p != '"') {
                    if (*p == '\\' && (p[1] == '"' || p[1] == '\\')) p++;
                    w += *p++;
                }
                if (!*p) return false;
                p++;
            } else if (*p == '\\' && p[1]) {
                w += p[1];
                p += 2;
            } else {
                w += *p++;
            }
        }
        words->push_back(std::move(w));
    }
}

int ExitStatusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

int WaitChild(pid_t pid, int *raw) {
    for (;;) {
        const pid_t r = waitpid(pid, raw, 0);
        if (r == pid) return 1;
        if (r < 0 && errno != EINTR) return 0;
    }
}

// Forks and executes. With detach the program runs as a grandchild, which
// the system reaps. The exec failure of the child travels back through a
// pipe that the exec closes.
int Spawn(const char *program, const char *args, bool detach, pid_t *out) {
    if (!program || !*program) return ERR_WRONGUSAGE;
    int err = 0;
    char **words = OsSplitArguments(args, &err);
    if (!words) return err;
    size_t n = 0;
    while (words[n]) n++;
    // Everything the child needs is built before the fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<char *> argv(n + 2, nullptr);
    argv[0] = const_cast<char *>(program);
    for (size_t i = 0; i < n; i++) argv[i + 1] = words[i];
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        free(words);
        return ERR_MEM;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        free(words);
        SetErrorDetail(program);
        return ERR_EXECUTE;
    }
    if (pid == 0) {
        close(fds[0]);
        if (detach) {
            const pid_t grandchild = fork();
            if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        }
        // Programs get the default signal handling, not the player's.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        execvp(program, argv.data());
        const int e = errno;
        (void)!write(fds[1], &e, sizeof e);
        _exit(127);
    }
    close(fds[1]);
    free(words);
    int childErrno = 0;
    ssize_t got;
    do {
        got = read(fds[0], &childErrno, sizeof childErrno);
    } while (got < 0 && errno == EINTR);
    close(fds[0]);
    if (detach) {
        int raw = 0;
        WaitChild(pid, &raw);
    }
    if (got == static_cast<ssize_t>(sizeof childErrno)) {
        if (!detach) {
            int raw = 0;
            WaitChild(pid, &raw);
        }
        // "Error executing %s!" says why: the program's name and the cause.
        std::string shown(program);
        struct stat st;
        if (childErrno == EACCES && stat(program, &st) == 0 && S_ISDIR(st.st_mode))
            shown += " (a folder)";
        else if (childErrno == ENOENT || childErrno == ENOTDIR)
            shown += " (not found)";
        else if (childErrno == EACCES || childErrno == ENOEXEC)
            shown += " (not executable)";
        else
            shown += std::string(" (") + strerror(childErrno) + ")";
        SetErrorDetail(shown.c_str());
        return ERR_EXECUTE;
    }
    *out = pid;
    return 0;
}

// The watching thread: polls the program so that a quit request is seen.
void ProgramThreadBody(void *argument) {
    cxOsThread *t = OsGetThreadHandle(argument);
    OsPrepareThread();
    auto *rec = static_cast<cxOsProgramThread *>(OsGetThreadUserData(t));
    OsSignalThreadStarted(t);
    bool ended = false;
    while (!OsCheckThreadQuit(t)) {
        const int64_t pid = __atomic_load_n(&rec->pid, __ATOMIC_ACQUIRE);
        if (pid > 0) {
            int raw = 0;
            const pid_t r = waitpid(static_cast<pid_t>(pid), &raw, WNOHANG);
            if (r == static_cast<pid_t>(pid) || (r < 0 && errno == ECHILD)) {
                rec->exitStatus = r == static_cast<pid_t>(pid) ? ExitStatusOf(raw) : -1;
                ended = true;
                break;
            }
        }
        OsDelayMs(10);
    }
    if (ended && rec->ended) rec->ended(rec);
    OsWaitThreadEnd(t);
}

}  // namespace

extern "C" char **OsSplitArguments(const char *text, int *error) {
    std::vector<std::string> words;
    if (!SplitWords(text, &words)) {
        if (error) *error = ERR_WRONGUSAGE;
        return nullptr;
    }
    size_t bytes = (words.size() + 1) * sizeof(char *);
    for (const std::string &w : words) bytes += w.size() + 1;
    auto **out = static_cast<char **>(malloc(bytes));
    if (!out) {
        if (error) *error = ERR_MEM;
        return nullptr;
    }
    char *store = reinterpret_cast<char *>(out + words.size() + 1);
    for (size_t i = 0; i < words.size(); i++) {
        memcpy(store, words[i].c_str(), words[i].size() + 1);
        out[i] = store;
        store += words[i].size() + 1;
    }
    out[words.size()] = nullptr;
    return out;
}

extern "C" int OsStartProgram(const char *program, const char *args, int64_t *pid) {
    pid_t p = 0;
    if (int err = Spawn(program, args, false, &p)) return err;
    if (pid) *pid = p;
    return 0;
}

extern "C" int OsRunCommand(const char *program, const char *args, int async, int *status) {
    pid_t pid = 0;
    if (int err = Spawn(program, args, async != 0, &pid)) return err;
    if (async) return 0;
    int raw = 0;
    const int s = WaitChild(pid, &raw) ? ExitStatusOf(raw) : -1;
    if (status) *status = s;
    return 0;
}

extern "C" int OsStartProgramThread(cxOsProgramThread *rec) {
    rec->thread = nullptr;
    rec->exitStatus = -1;
    __atomic_store_n(&rec->pid, 0, __ATOMIC_RELEASE);
    // The thread comes first: when it cannot be made, nothing has started.
    rec->thread = OsCreateThread("program", ProgramThreadBody, rec, 0, 0, 0);
    if (!rec->thread) return ERR_THREAD;
    pid_t pid = 0;
    if (int err = Spawn(rec->program, rec->args, false, &pid)) {
        OsEndThread(rec->thread);
        rec->thread = nullptr;
        return err;
    }
    __atomic_store_n(&rec->pid, static_cast<int64_t>(pid), __ATOMIC_RELEASE);
    return 0;
}

extern "C" void OsStopProgramThread(cxOsProgramThread *rec) {
    if (!rec || !rec->thread) return;
    OsEndThread(rec->thread);
    rec->thread = nullptr;
}
