// Console output: messages, progress lines and "done".
#include "engine/runtime/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/text_utils.h"
#include "streams/chunk_names.h"

namespace {

int Setting(int tag) {
    int v = 0;
    GetKernelTags(nullptr, tag, &v, CX_KTAG_END);
    return v;
}

// A progress line was printed and no line end has followed it yet.
bool g_lineOpen = false;

void MaybeFlush() {
    if (Setting(CX_KTAG_FORCEFLUSH)) fflush(stdout);
}

// Fills the first "%s" of text with value; every other character is copied,
// so a text from a catalog cannot act as a format.
void PrintFilled(const char *text, const char *value) {
    const char *s = value ? strstr(text, "%s") : nullptr;
    if (!s) {
        fputs(text, stdout);
        return;
    }
    fwrite(text, 1, static_cast<size_t>(s - text), stdout);
    fputs(value, stdout);
    fputs(s + 2, stdout);
}

} // namespace

extern "C" void PrintMessage(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    const int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        // Only whether the message ends its line is kept.
        std::string text(size_t(n) + 1, '\0');
        vsnprintf(text.data(), text.size(), format, ap);
        fwrite(text.data(), 1, size_t(n), stdout);
        if (text[size_t(n) - 1] == '\n') g_lineOpen = false;
    }
    va_end(ap);
    MaybeFlush();
}

extern "C" char *GetDisplayFilePart(const char *path, char *out, unsigned size) {
    if (!out || size == 0) return out;
    out[0] = 0;
    if (!path) return out;
    if (IsChunkName(path)) {
        cxChunkName cn;
        StrCopySafe(out, size, ParseChunkName(path, &cn) ? cn.display : "unknown");
        return out;
    }
    const char *part = nullptr;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') part = p + 1;
    if (!part) {
        const char *colon = strchr(path, ':');
        part = colon ? colon + 1 : path;
    }
    StrCopySafe(out, size, part);
    return out;
}

extern "C" void PrintStatusMessage(const char *text, const char *fileName, int ellipsis) {
    if (Setting(CX_KTAG_QUIET) || !text) return;
    if (fileName) {
        char part[CX_STREAM_NAME_MAX + 1];
        PrintFilled(text, GetDisplayFilePart(fileName, part, sizeof part));
    } else {
        fputs(text, stdout);
    }
    if (ellipsis) fputs("...", stdout);
    g_lineOpen = true;
    MaybeFlush();
}

extern "C" void PrintDoneMessage(void) {
    if (Setting(CX_KTAG_QUIET)) return;
    const char *done = GetMessageText(CX_MSG_DONE);
    fputs(done ? done : "done", stdout);
    fputc('\n', stdout);
    g_lineOpen = false;
    MaybeFlush();
}

extern "C" void EndProgressLine(void) {
    if (!g_lineOpen) return;
    g_lineOpen = false;
    fputc('\n', stdout);
    MaybeFlush();
}
