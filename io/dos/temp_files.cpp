// Temporary files handed out during the run (GetTempFileName, programs
// copied out of the applet), deleted at its end.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "io/dos/dos_internal.h"
#include "platform/os_files.h"

namespace cxdos {

namespace {

struct TempFile {
    TempFile *next;
    char *linkedName; // the linked file it was copied from, or null
    char path[1];
};
TempFile *g_tempFiles = nullptr;

// Appends, so that the list keeps the order of creation.
int AddEntry(const char *path, const char *linkedName) {
    const size_t n = strlen(path);
    auto *t = static_cast<TempFile *>(malloc(sizeof(TempFile) + n));
    if (!t) return ERR_MEM;
    memcpy(t->path, path, n + 1);
    t->linkedName = nullptr;
    if (linkedName && !(t->linkedName = strdup(linkedName))) {
        free(t);
        return ERR_MEM;
    }
    t->next = nullptr;
    TempFile **tail = &g_tempFiles;
    while (*tail) tail = &(*tail)->next;
    *tail = t;
    return 0;
}

// The extension of a name's file part with its ".", or "".
std::string ExtensionOf(const char *name) {
    const char *base = name;
    for (const char *p = name; *p; p++)
        if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
    const char *dot = strrchr(base, '.');
    if (!dot || dot == base || !dot[1]) return {};
    return dot;
}

}  // namespace

int CreateTempFileName(const char *linkedName, char *out, size_t size) {
    const std::string ext = linkedName ? ExtensionOf(linkedName) : std::string();
    // The extension goes behind the random part of the template, so the
    // name is as unique as one without it.
    if (OsCreateTempFileWithSuffix(out, size, ext.c_str()) != 0) {
        SetErrorDetail("calyxtone.XXXXXX");
        return ERR_WRITEFILE;
    }
    if (int err = AddEntry(out, linkedName)) {
        unlink(out);
        return err;
    }
    return 0;
}

const char *FindExtractedFile(const char *linkedName) {
    for (TempFile *t = g_tempFiles; t; t = t->next)
        if (t->linkedName && strcmp(t->linkedName, linkedName) == 0) return t->path;
    return nullptr;
}

void ForgetTempFile(const char *path) {
    for (TempFile **link = &g_tempFiles; *link; link = &(*link)->next) {
        TempFile *t = *link;
        if (strcmp(t->path, path) != 0) continue;
        *link = t->next;
        unlink(t->path);
        free(t->linkedName);
        free(t);
        return;
    }
}

int GetTempFileName(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    char name[CX_OS_PATH_MAX];
    if (int err = CreateTempFileName(nullptr, name, sizeof name)) return err;
    lua_pushstring(L, name);
    return 1;
}

}  // namespace cxdos

extern "C" int AddTemporaryFile(const char *path) {
    if (!path) return ERR_WRONGUSAGE;
    return cxdos::AddEntry(path, nullptr);
}

extern "C" void DeleteTemporaryFiles(void) {
    using namespace cxdos;
    while (TempFile *t = g_tempFiles) {
        g_tempFiles = t->next;
        unlink(t->path);
        free(t->linkedName);
        free(t);
    }
}
