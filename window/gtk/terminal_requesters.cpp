// Terminal prompts standing in for the dialogs when GTK is missing.
#include "window/gtk/terminal_requesters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ReadLine(std::string *out) {
    char line[4096];
    fflush(stdout);
    if (!fgets(line, sizeof line, stdin)) return false;
    size_t n = strlen(line);
    while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
    *out = line;
    return true;
}

void Header(const char *title, const char *body) {
    printf("\n*** %s ***\n", title && *title ? title : "Calyxtone");
    if (body && *body) printf("%s\n", body);
}

}  // namespace

int TerminalSystemRequest(const char *title, const char *body, const char *buttons, int *result) {
    Header(title, body);
    std::vector<std::string> choices;
    for (const char *p = buttons;;) {
        const char *bar = strchr(p, '|');
        choices.emplace_back(p, bar ? size_t(bar - p) : strlen(p));
        if (!bar) break;
        p = bar + 1;
    }
    for (size_t i = 0; i < choices.size(); ++i) printf("  %zu: %s\n", i + 1, choices[i].c_str());
    printf("Choice: ");
    std::string line;
    *result = 0;
    if (!ReadLine(&line)) return 0;
    const long n = strtol(line.c_str(), nullptr, 10);
    if (n >= 1 && size_t(n) <= choices.size()) *result = size_t(n) == choices.size() ? 0 : int(n);
    return 0;
}

int TerminalTextRequest(const char *title, const char *body, const char *text, std::string *answer, int *found) {
    Header(title, body);
    if (text && *text) printf("[%s] ", text);
    printf("> ");
    *found = 0;
    std::string line;
    if (!ReadLine(&line)) return 0;
    *answer = line.empty() && text ? std::string(text) : line;
    *found = 1;
    return 0;
}

int TerminalListRequest(const char *title, const char *body, const std::vector<std::string> &entries, int preselected,
                        int *index) {
    Header(title, body);
    for (size_t i = 0; i < entries.size(); ++i)
        printf("%c %zu: %s\n", int(i) == preselected ? '*' : ' ', i + 1, entries[i].c_str());
    printf("Choice: ");
    *index = -1;
    std::string line;
    if (!ReadLine(&line)) return 0;
    if (line.empty()) {
        *index = preselected;
        return 0;
    }
    const long n = strtol(line.c_str(), nullptr, 10);
    if (n >= 1 && size_t(n) <= entries.size()) *index = int(n - 1);
    return 0;
}
