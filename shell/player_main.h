// The player's main sequence: from the process entry to the exit status.
// PlayerMain runs the start-up stages in their fixed order; every stage's
// failure, and the end of the run, go through CleanupAndExit, which undoes
// everything in a fixed order and reports the error.
#pragma once

#include "engine/vm/lua.h"
#include "shell/applet.h"
#include "shell/options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Exit statuses of the process. A run that ends normally - the main chunk
   returned, or the run ended with "User abort!" (1003) - exits 0; any
   failure, "Not enough memory." included, exits CX_EXIT_FAILURE. */
#define CX_EXIT_SUCCESS 0
#define CX_EXIT_FAILURE 1

/* Keeps the process arguments and resolves the program's own path (the
   running executable, else argv[0] through realpath); the appended data of
   a linked executable is read through that path. */
void SetPlayerArguments(int argc, char **argv);
const char *GetPlayerProgramPath(void);

/* The whole run; returns the process exit status. */
int PlayerMain(int argc, char **argv);

/* Loads the applet's main chunk into the virtual machine through the
   applet's chunk reader and keeps it for RunMainChunk. 0, or 1034 (no main
   chunk), 1213, 1009 (the chunk ends early), the loader's codes 1198-1205,
   1000. */
int LoadScriptChunk(lua_State *L, const cxApplet *applet);
/* Runs the main chunk: through a display adapter's AdapterMainLoop when
   one is installed and offers it, else in a protected call. 0 or the
   error code (1003 when the run was ended by the user). */
int RunMainChunk(lua_State *L);
/* Forgets the loaded main chunk (its registry reference). */
void ReleaseScriptChunk(lua_State *L);

/* Undoes the run in its fixed order, reports code (unless it is 0 or 1003)
   and frees both records. L may be null (no virtual machine yet). Returns
   the exit status for code. */
int CleanupAndExit(int code, lua_State *L, cxStartupOptions *opts, cxApplet *applet);

/* 1 once CleanupAndExit has begun: callbacks of other subsystems use it to
   know that the run is ending. */
int IsPlayerExiting(void);
/* The exit status of the last CleanupAndExit. */
int GetPlayerExitStatus(void);
/* Forgets the exiting flag and the exit status (tests that run the
   sequence more than once). */
void ResetPlayerState(void);

#ifdef __cplusplus
}
#endif
