// Terminal prompts: the requesters' fallback.
#pragma once

#include <string>
#include <vector>

int TerminalSystemRequest(const char *title, const char *body, const char *buttons, int *result);
/* One line of text; an empty line takes the default text. */
int TerminalTextRequest(const char *title, const char *body, const char *text, std::string *answer, int *found);
int TerminalListRequest(const char *title, const char *body, const std::vector<std::string> &entries, int preselected,
                        int *index);
