#include "platform/os_environment.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "errors/errors.h"

namespace {

bool ValidName(const char *name) { return name && *name && !strchr(name, '='); }

}  // namespace

extern "C" char *OsGetEnv(const char *name) {
    if (!ValidName(name)) return nullptr;
    const char *v = getenv(name);
    return v ? strdup(v) : nullptr;
}

extern "C" int OsSetEnv(const char *name, const char *value) {
    if (!ValidName(name) || !value) return ERR_SETENV;
    return setenv(name, value, 1) == 0 ? 0 : ERR_SETENV;
}

extern "C" int OsUnsetEnv(const char *name) {
    if (!ValidName(name)) return ERR_UNSETENV;
    return unsetenv(name) == 0 ? 0 : ERR_UNSETENV;
}

extern "C" char *OsGetCurrentDir(void) { return getcwd(nullptr, 0); }

extern "C" char *OsChangeDir(const char *path) {
    if (!path || !*path) return nullptr;
    char *previous = getcwd(nullptr, 0);
    if (!previous) return nullptr;
    if (chdir(path) != 0) {
        free(previous);
        return nullptr;
    }
    return previous;
}
