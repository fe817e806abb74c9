// Running external programs: Execute waits, Run returns at once and tells
// the script's "RunFinished" handler when the program has ended. Programs
// linked into the applet are copied out into a temporary file once a run.
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/backend.h"
#include "display/events/dispatcher.h"
#include "display/events/event_notices.h"
#include "display/display_record.h"
#include "engine/events/event_queue.h"
#include "engine/vm/lauxlib.h"
#include "io/dos/dos_internal.h"
#include "streams/chunk_names.h"
#include "platform/os_process.h"
#include "platform/os_wake.h"

namespace cxdos {

namespace {

// One program started by Run. The strings live behind the record.
struct Program {
    Program *next;
    cxOsProgramThread os;
    uint64_t serial;      // names the record in its end event
    const char *name;     // as the command line gave it
    const char *args;     // or null
    int32_t userDataRef;  // -1 when Run had no third argument
};

Program *g_programs = nullptr;
uint64_t g_nextSerial = 1;

Program *FindProgram(uint64_t serial) {
    for (Program *p = g_programs; p; p = p->next)
        if (p->serial == serial) return p;
    return nullptr;
}

void FreeProgram(lua_State *L, Program *p) {
    OsStopProgramThread(&p->os);
    if (p->userDataRef != -1) luaL_unref(L, LUA_REGISTRYINDEX, p->userDataRef);
    free(p);
}

void RemoveProgram(lua_State *L, Program *p) {
    for (Program **link = &g_programs; *link; link = &(*link)->next) {
        if (*link == p) {
            *link = p->next;
            break;
        }
    }
    FreeProgram(L, p);
}

// On the main thread, from the queue: the program has ended. Its notice
// takes the user-data reference along to the "RunFinished" handler; the
// record goes now, so that nothing waits for the handler to run.
int ServeProgramEnd(lua_State *L, void *argument) {
    const auto serial = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(argument));
    Program *p = FindProgram(serial);
    if (!p) return 0;  // freed by the clean-up meanwhile
    if (PostRunFinished(p->name, p->args, p->userDataRef) == 0) p->userDataRef = -1;
    RemoveProgram(L, p);
    return 0;
}

// On the program's thread: queue the end for the main thread and wake it.
void ProgramEnded(cxOsProgramThread *os) {
    auto *f = static_cast<cxEventFunction *>(malloc(sizeof(cxEventFunction)));
    if (!f) return;
    f->function = ServeProgramEnd;
    f->argument = os->userData;
    if (PostEvent(nullptr, 24, 0, 0, 0, f) != 1) {
        free(f);
        return;
    }
    OsWakeMainThread();
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Program name and argument text of a command line: a name in double
// quotes runs to the closing quote, else to the first blank.
int SplitCommandLine(const char *line, std::string *name, std::string *args, bool *hasArgs) {
    const char *p = line;
    if (*p == '"') {
        const char *end = strchr(p + 1, '"');
        if (!end) return ERR_WRONGUSAGE;
        name->assign(p + 1, end);
        p = end + 1;
    } else {
        const char *end = p;
        while (*end && !IsBlank(*end)) end++;
        name->assign(p, end);
        p = end;
    }
    while (IsBlank(*p)) p++;
    args->assign(p);
    *hasArgs = !args->empty();
    return name->empty() ? ERR_WRONGUSAGE : 0;
}

// Copies a linked program into a temporary file, once per run; *path gets
// the file to execute.
int ExtractLinkedProgram(const char *name, const char *chunkName, std::string *path) {
    if (const char *done = FindExtractedFile(name)) {
        *path = done;
        return 0;
    }
    char temp[CX_OS_PATH_MAX];
    if (int err = CreateTempFileName(name, temp, sizeof temp)) return err;
    int err = 0;
    cxStream *in = OpenFileStream(chunkName, CX_STREAM_READ, nullptr);
    cxStream *out = nullptr;
    if (!in) {
        SetErrorDetail(name);
        err = ERR_READFILE;
    } else if (!(out = OpenFileStream(temp, CX_STREAM_WRITE, nullptr))) {
        SetErrorDetail(temp);
        err = ERR_WRITEFILE;
    }
    if (!err) {
        std::string block(16384, '\0');
        size_t n;
        while (!err && (n = ReadStream(in, block.data(), block.size())) > 0)
            if (WriteStreamData(out, block.data(), n) != n) err = ERR_WRITE;
    }
    if (out && !CloseFileStream(out) && !err) err = ERR_WRITE;
    if (in) CloseFileStream(in);
    // Only the owner may run it; a copy that failed is not kept for reuse.
    if (!err && !OsSetProtection(temp, CX_FILEATTR_READ_USR | CX_FILEATTR_WRITE_USR | CX_FILEATTR_EXECUTE_USR)) {
        SetErrorDetail(temp);
        err = ERR_WRITEFILE;
    }
    if (err) {
        ForgetTempFile(temp);
        return err;
    }
    *path = temp;
    return 0;
}

int StartWatched(lua_State *L, const std::string &name, const std::string &exec, const char *args,
                 int userDataIndex) {
    const size_t argsLen = args ? strlen(args) + 1 : 0;
    const size_t bytes = sizeof(Program) + name.size() + 1 + exec.size() + 1 + argsLen;
    auto *p = static_cast<Program *>(calloc(1, bytes));
    if (!p) return ERR_MEM;
    char *store = reinterpret_cast<char *>(p + 1);
    memcpy(store, name.c_str(), name.size() + 1);
    p->name = store;
    store += name.size() + 1;
    memcpy(store, exec.c_str(), exec.size() + 1);
    p->os.program = store;
    store += exec.size() + 1;
    if (args) {
        memcpy(store, args, argsLen);
        p->args = p->os.args = store;
    }
    p->serial = g_nextSerial++;
    p->os.ended = ProgramEnded;
    p->os.userData = reinterpret_cast<void *>(static_cast<uintptr_t>(p->serial));
    p->userDataRef = -1;
    if (userDataIndex) {
        lua_pushvalue(L, userDataIndex);
        p->userDataRef = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    int err = OsStartProgramThread(&p->os);
    if (err == ERR_THREAD) {
        // Nothing watches it then: the program still runs, without an end
        // notice.
        FreeProgram(L, p);
        return OsRunCommand(exec.c_str(), args, 1, nullptr);
    }
    if (err) {
        FreeProgram(L, p);
        return err;
    }
    Program **tail = &g_programs;
    while (*tail) tail = &(*tail)->next;
    *tail = p;
    return 0;
}

int RunProgram(lua_State *L, const char *line, bool async, bool resetInput, int userDataIndex) {
    if (!line || !*line) return ERR_WRONGUSAGE;
    std::string name, args;
    bool hasArgs = false;
    if (int err = SplitCommandLine(line, &name, &args, &hasArgs)) return err;
    std::string exec = name;
    char chunk[CX_STREAM_NAME_MAX + 1];
    const char *resolved = ResolveLinkedFileName(GetRunningApplet(), name.c_str(), 0, nullptr, chunk, sizeof chunk);
    if (resolved == chunk)
        if (int err = ExtractLinkedProgram(name.c_str(), chunk, &exec)) return err;
    const char *argText = hasArgs ? args.c_str() : nullptr;
    int err = async ? StartWatched(L, name, exec, argText, userDataIndex)
                    : OsRunCommand(exec.c_str(), argText, 0, nullptr);
    if (resetInput)
        if (cxDisplay *d = GetCurrentDisplay()) ResetDisplayInputState(d);
    return err;
}

}  // namespace

int Execute(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *line = luaL_checkstring(L, 1);
    return RunProgram(L, line, false, OptInt(L, 2, 0) != 0, 0);
}

int Run(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    const char *line = luaL_checkstring(L, 1);
    const bool reset = OptInt(L, 2, 0) != 0;
    return RunProgram(L, line, true, reset, lua_gettop(L) >= 3 ? 3 : 0);
}

void FreeAllPrograms(lua_State *L) {
    while (Program *p = g_programs) {
        g_programs = p->next;
        FreeProgram(L, p);
    }
}

int CountRunningPrograms() {
    int n = 0;
    for (Program *p = g_programs; p; p = p->next) n++;
    return n;
}

}  // namespace cxdos
