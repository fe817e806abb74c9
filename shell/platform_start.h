// The start and stop of the platform for the player's main sequence, and
// the break signals.
//
// Without an X server: the X11 back-end is still initialised, but the run
// goes on without a connection. Scripts that open no display (console
// scripts) run as usual; opening a display fails when it is asked for (the
// display library reports ERR_XDISPLAY). Error reports then take their
// console form, as no requester can be shown.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxApplet;
struct cxStartupOptions;

/* The wake-up pipe, the X11 back-end and a check that an X server (the
   XSERVER option's, else $DISPLAY) can be reached. 0, or ERR_PIPE. */
int OsStartPlatform(const struct cxStartupOptions *opts);
/* 1 when OsStartPlatform reached an X server. */
int OsIsXAvailable(void);
/* Hands the applet's information strings to the platform (window classes,
   application name). 0 or an error code. */
int OsApplyAppInfo(const struct cxApplet *applet, const struct cxStartupOptions *opts);
/* Before the libraries are cleaned up, and the end of console output. */
void OsPrepareShutdown(void);
void OsEndConsoleOutput(void);
/* Runs the main chunk: X11 has no loop of its own, so this calls run once
   and returns its result. */
int OsRunMainLoop(lua_State *L, int (*run)(lua_State *L));
/* Stops the timer thread, the X11 back-end and closes the wake-up pipe.
   Safe to call when the platform was never started. */
void OsShutdownPlatform(void);

/* SIGINT and SIGTERM end the run as a user abort (1003): the user-abort
   flag and the virtual machine's stop flag are set and the main thread is
   woken, so that the clean-up still runs (a linked executable's temporary
   plug-in folder is removed). A second signal ends the process at once.
   The state may be null (only the flag is set then); abortFlag is the
   kernel's user-abort flag. */
void OsInstallBreakHandler(lua_State *L, volatile unsigned int *abortFlag);
/* The handler no longer touches the state (before it is closed). */
void OsForgetBreakState(void);

#ifdef __cplusplus
}
#endif
