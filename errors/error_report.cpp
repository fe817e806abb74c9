// The error report: where the error happened, the requester body, and the
// console lines printed at exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors/bounded_text.h"
#include "errors/errors.h"

namespace {

using cx::BoundedWriter;

int g_positionReporting = 1;
cxErrorLineMapper g_lineMapper;
cxErrorRequester g_requester;

constexpr char kNoCommand[] = "----";

const char *Word(unsigned id, const char *fallback) {
    const char *text = GetMessageText(id);
    return text ? text : fallback;
}

// The recorded position of the last error, mapped back to the author's own
// file; false when reporting is off or nothing was recorded.
bool ReportedPosition(lua_State *L, const char **source, int *line) {
    if (!g_positionReporting) return false;
    const cxErrorPosition *position = GetErrorPosition();
    if (!position->source[0]) return false;
    *source = position->source;
    *line = position->line;
    if (g_lineMapper) g_lineMapper(L, source, line);
    return *source != nullptr;
}

}  // namespace

extern "C" void SetErrorPositionReporting(int on) { g_positionReporting = on != 0; }
extern "C" int GetErrorPositionReporting(void) { return g_positionReporting; }
extern "C" void SetErrorLineMapper(cxErrorLineMapper hook) { g_lineMapper = hook; }
extern "C" void SetErrorRequester(cxErrorRequester hook) { g_requester = hook; }

extern "C" char *GetErrorInfo(lua_State *L, int code, char *buffer, size_t size,
                              const char **source, int *line) {
    GetErrorText(code, buffer, size);
    const char *where = nullptr;
    int at = 0;
    if (!ReportedPosition(L, &where, &at)) {
        where = nullptr;
        at = 0;
    }
    if (source) *source = where;
    if (line) *line = at;
    return buffer;
}

extern "C" size_t BuildErrorReport(lua_State *L, const char *message, int plain, char *out,
                                   size_t size) {
    BoundedWriter w{out, size < CX_REPORT_BODY_MAX + 1 ? size : CX_REPORT_BODY_MAX + 1};
    w.Put(message ? message : "");
    const char *source = nullptr;
    int line = 0;
    if (!plain && ReportedPosition(L, &source, &line)) {
        char number[16];
        snprintf(number, sizeof number, "%d", line);
        w.Put("\n");
        w.Put(Word(CX_MSG_FILE, "File"));
        w.Put(": ");
        w.Put(source);
        w.Put(" (");
        w.Put(Word(CX_MSG_CURRENT_LINE, "current line"));
        w.Put(": ");
        w.Put(number);
        const char *command = GetErrorPosition()->command;
        if (command[0] && strcmp(command, kNoCommand) != 0) {
            w.Put(" - ");
            w.Put(Word(CX_MSG_IN_FUNCTION, "In function"));
            w.Put(": ");
            w.Put(command);
        }
        w.Put(")");
    }
    return w.Finish();
}

extern "C" int ShowErrorReport(lua_State *L, const char *message, int plain, int flags) {
    char body[CX_REPORT_BODY_MAX + 1];
    BuildErrorReport(L, message, plain, body, sizeof body);
    if (g_requester) return g_requester(L, CX_REPORT_TITLE, body, flags);
    fputs(body, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    return 0;
}

extern "C" size_t FormatConsoleError(const char *source, int line, const char *message,
                                     char *out, size_t size) {
    BoundedWriter w{out, size};
    if (source && source[0]) {
        char number[16];
        snprintf(number, sizeof number, "%d", line);
        w.Put(source);
        w.Put(":");
        w.Put(number);
        w.Put(": ");
    } else {
        w.Put("Error: ");
    }
    w.Put(message ? message : "");
    w.Put("\n");
    return w.Finish();
}

extern "C" void PrintConsoleError(const char *source, int line, const char *message) {
    // The message is an argument, never the format: it may hold any "%".
    if (source && source[0])
        printf("%s:%d: %s\n", source, line, message ? message : "");
    else
        printf("%s: %s\n", "Error", message ? message : "");
    fflush(stdout);
}

extern "C" char *EscapePercentSigns(const char *text) {
    if (!text || !text[0]) return nullptr;
    size_t percents = 0, len = 0;
    for (; text[len]; ++len) percents += text[len] == '%';
    if (!percents) return nullptr;
    char *copy = static_cast<char *>(malloc(len + percents + 1));
    if (!copy) return nullptr;
    char *q = copy;
    for (const char *p = text; *p; ++p) {
        *q++ = *p;
        if (*p == '%') *q++ = '%';
    }
    *q = 0;
    return copy;
}
