// Console output of the player: messages, progress lines and "done".
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* printf-style output to standard output; flushed when the flush setting
   (kernel tag CX_KTAG_FORCEFLUSH) is on. */
void PrintMessage(const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
/* A progress line, unless quiet (kernel tag CX_KTAG_QUIET): text, whose one
   "%s" is filled with the file part of fileName (the linked file's own name
   for a ":::chunk" name) when a name is given, then "..." when ellipsis is
   set; no line end. */
void PrintStatusMessage(const char *text, const char *fileName, int ellipsis);
/* "done" (message 95) and a line end, unless quiet. */
void PrintDoneMessage(void);
/* Ends a progress line that is still open (its loading failed) with a line
   end, so that what follows starts a line of its own. */
void EndProgressLine(void);
/* The file part of a path: after the last "/" or "\", else after the first
   ":"; a ":::chunk" name gives the linked file's own name. Writes at most
   size - 1 bytes and a NUL; returns out. */
char *GetDisplayFilePart(const char *path, char *out, unsigned size);

#ifdef __cplusplus
}
#endif
