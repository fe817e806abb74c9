#include "platform/gtk/os_requesters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gtk/terminal_requesters.h"

namespace {
int g_disabled = 0;
}  // namespace

void OsSetGtkDisabled(int disabled) { g_disabled = disabled != 0; }
int OsHasGtkRequesters(void) { return 0; }

int OsSystemRequest(const char *title, const char *body, const char *buttons, int, int *result) {
    return TerminalSystemRequest(title, body, buttons, result);
}

int OsFileRequest(const char *title, const char *, const char *path, const char *file, uint32_t, int mode,
                  std::string *answer) {
    answer->clear();
    std::string start = path ? path : "";
    if (file && *file) start += (start.empty() || start.back() == '/' ? "" : "/") + std::string(file);
    std::string line;
    int found = 0;
    TerminalTextRequest(title, mode == 1 ? "File names (separated by blanks):" : "File name:", start.c_str(), &line,
                        &found);
    if (!found || line.empty()) return 0;
    if (mode != 1) {
        *answer = line;
        return 0;
    }
    for (const char *p = line.c_str(); *p;) {
        while (*p == ' ') ++p;
        const char *end = strchr(p, ' ');
        const size_t n = end ? size_t(end - p) : strlen(p);
        if (n) answer->append(p, n).push_back('\0');
        p += n;
    }
    answer->push_back('\0');
    return 0;
}

int OsPathRequest(const char *title, const char *path, uint32_t, std::string *answer, int *found) {
    return TerminalTextRequest(title, "Folder:", path, answer, found);
}

int OsStringRequest(const char *title, const char *body, const char *text, uint32_t, std::string *answer, int *found) {
    return TerminalTextRequest(title, body, text, answer, found);
}

int OsListRequest(const char *title, const char *body, const std::vector<std::string> &entries, int preselected,
                  uint32_t, int *index) {
    return TerminalListRequest(title, body, entries, preselected, index);
}

int OsFontRequest(const char *title, const char *font, uint32_t, std::string *answer, int *found) {
    std::string line;
    TerminalTextRequest(title, "Font name and size (name|size):", font, &line, found);
    if (*found) *answer = line + (strchr(line.c_str(), '|') ? "|0" : "|12|0");
    return 0;
}

int OsColorRequest(const char *title, int32_t colour, int32_t *out) {
    char start[16] = "";
    if (colour >= 0) snprintf(start, sizeof start, "%06X", unsigned(colour));
    std::string line;
    int found = 0;
    TerminalTextRequest(title, "Colour (RRGGBB):", start, &line, &found);
    *out = found && !line.empty() ? int32_t(strtoul(line.c_str(), nullptr, 16) & 0xFFFFFF) : -1;
    return 0;
}
