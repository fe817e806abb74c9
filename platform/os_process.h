// External programs: starting them with fork and execvp, waiting for them,
// and the thread that watches a program started without waiting and
// reports its end.
#pragma once

#include <stdint.h>

#include "platform/os_threads.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Splits an argument text into words the way a shell would, without any
   expansion: blanks separate words, double and single quotes group, a
   backslash outside single quotes takes the next character literally.
   Returns a null-terminated array of words in one allocation (release with
   free), or null with *error set: ERR_WRONGUSAGE for an unbalanced quote,
   ERR_MEM. A null or blank text gives an empty array. */
char **OsSplitArguments(const char *text, int *error);

/* Starts program (looked up in PATH when it holds no "/") with the words of
   args as its arguments. 0 and *pid, or ERR_EXECUTE with the program as
   detail when it cannot be run (missing, not executable), ERR_WRONGUSAGE
   for an unbalanced quote, ERR_MEM. The child is not waited for. */
int OsStartProgram(const char *program, const char *args, int64_t *pid);

/* Runs a program. Synchronous: waits and stores the exit status (128 +
   the signal for a program ended by a signal) in *status when given.
   Asynchronous: returns at once; the program is detached so that nothing
   has to wait for it. 0 or an error of OsStartProgram. */
int OsRunCommand(const char *program, const char *args, int async, int *status);

/* A program started by Run: the watching thread calls ended (on its own
   thread) once the program has ended, with the record. The caller owns the
   record and fills program, args, ended and userData; the rest belongs to
   the platform. */
typedef struct cxOsProgramThread cxOsProgramThread;
typedef void (*cxOsProgramEnded)(cxOsProgramThread *record);
struct cxOsProgramThread {
    const char *program;
    const char *args; /* or null */
    cxOsProgramEnded ended;
    void *userData;
    /* Filled by the platform. */
    cxOsThread *thread;
    int64_t pid;
    int exitStatus; /* valid once ended was called */
};

/* Starts a thread and then the program it waits for. 0; ERR_THREAD when
   the thread cannot be made, or an error of OsStartProgram: nothing was
   started then. */
int OsStartProgramThread(cxOsProgramThread *record);
/* Ends the watching thread (the program itself keeps running when it has
   not ended). Safe on a record whose thread never started. */
void OsStopProgramThread(cxOsProgramThread *record);

#ifdef __cplusplus
}
#endif
