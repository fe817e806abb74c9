// The kernel settings of the command runtime: numbered tags that the shell
// and the libraries read and write, the running applet and the command-line
// record, and the compatibility settings.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Kernel tags. Every value is an int. */
enum cxKernelTag {
    CX_KTAG_END = 0,
    CX_KTAG_QUIET = 1,          /* progress output suppressed */
    CX_KTAG_FORCEFLUSH = 2,     /* console output flushed after each print */
    CX_KTAG_MASKMODE = 4,       /* mask mode for drawing into a selected mask */
    CX_KTAG_PRELOADING = 5,     /* declared objects load before a display exists */
    CX_KTAG_ALPHAINTENSITY = 6, /* alpha intensity; -1 (all ones) copies plainly */
    CX_KTAG_CALLBACKNESTING = 10, /* set: nonzero raises, 0 lowers; get: the count */
    CX_KTAG_ONSAMPLELOOP = 12,  /* handler installed flags */
    CX_KTAG_ONSAMPLEEND = 13,
    CX_KTAG_ONMUSICEND = 18,
    CX_KTAG_RUNSTARTED = 22,    /* the main chunk runs */
    CX_KTAG_ONVIDEOEND = 23,
    CX_KTAG_LINEHOOKOFF = 33,   /* the line hook does not pump events */
    CX_KTAG_EVENTSBLOCKED = 39, /* CheckEvent(s) do nothing */
    CX_KTAG_USERABORT = 40      /* the user-abort flag; set 0 to clear it */
};

/* (L, tag, value, tag, value, ..., 0). Unknown tags are skipped. */
void SetKernelTags(lua_State *L, ...);
/* (L, tag, int *out, tag, int *out, ..., 0). Unknown tags leave *out. */
void GetKernelTags(lua_State *L, ...);
/* The user-abort flag itself, for lua_setabortflag and the event pump. */
volatile unsigned int *GetUserAbortFlag(void);

/* The running applet (shell/applet.h); null while none is known, which
   counts as an applet of unknown version. */
struct cxApplet;
void SetRunningApplet(const struct cxApplet *applet);
const struct cxApplet *GetRunningApplet(void);
/* 1 when the running applet was compiled by major.minor or later, or its
   version is unknown. */
int AppletVersionAtLeast(int major, int minor);

/* The command-line record (shell/options.h), kept for the libraries. */
struct cxStartupOptions;
void SetClargsRecord(struct cxStartupOptions *record);
struct cxStartupOptions *GetClargsRecord(lua_State *L);

/* Compatibility settings by name: "singlemusic" (1 from the system
   library's open on). value -1 reads; any other value sets. Returns the
   value in force, or -1 for an unknown name. */
int LegacyControl(const char *name, int value);

/* The start time of the run in seconds (for "timestamp" fields). */
double GetRunStartTime(void);
void SetRunStartTime(double seconds);

/* Puts every kernel setting back to its start-up value and forgets the
   registered object lists (clean-up at the end of a run). */
void FreeKernel(void);

#ifdef __cplusplus
}
#endif
