// The platform's requesters: GTK 2 dialogs when libgtk-x11-2.0 can be
// loaded at run time and an X server is reachable; otherwise prompts on the
// terminal (standard output and input). A prompt that reads the end of its
// input counts as cancelled.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

/* buttons: choices separated by "|". *result: 1 for the first choice, 2
   for the second ..., 0 for the last one (and for a cancel). */
int OsSystemRequest(const char *title, const char *body, const char *buttons, int icon, int *result);
/* answer: a full name, or (mode 1) full names each ended by a NUL and the
   list by an empty name; empty when cancelled. */
int OsFileRequest(const char *title, const char *pattern, const char *path, const char *file, uint32_t flags, int mode,
                  std::string *answer);
int OsPathRequest(const char *title, const char *path, uint32_t flags, std::string *answer, int *found);
int OsStringRequest(const char *title, const char *body, const char *text, uint32_t flags, std::string *answer,
                    int *found);
int OsListRequest(const char *title, const char *body, const std::vector<std::string> &entries, int preselected,
                  uint32_t flags, int *index);
/* answer: "name|size|0". */
int OsFontRequest(const char *title, const char *font, uint32_t flags, std::string *answer, int *found);
/* *out: 0xRRGGBB, -1 when cancelled. */
int OsColorRequest(const char *title, int32_t colour, int32_t *out);

/* 1 when the GTK dialogs are in use. */
int OsHasGtkRequesters(void);
/* Tests: 1 keeps GTK out (terminal prompts only). */
void OsSetGtkDisabled(int disabled);
