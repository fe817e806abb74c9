// Notices from the subsystems that work beside the script: sound and video
// ends, finished programs, changed directories. Their threads post here;
// the dispatcher serves one notice per call after the fired timers.
#pragma once

#include <stdint.h>

#include "engine/runtime/objects.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    CX_NOTICE_SAMPLEEND = 5,
    CX_NOTICE_SAMPLELOOP = 6,
    CX_NOTICE_MUSICEND = 7,
    CX_NOTICE_VIDEOEND = 8,
    CX_NOTICE_RUNFINISHED = 10,
    CX_NOTICE_DIRECTORYCHANGED = 11
};

typedef struct cxEventNotice {
    uint32_t kind;
    cxObjectID id;    /* the sample, music, video or directory monitor */
    uint32_t time;    /* sound notices: position in milliseconds */
    uint32_t starts;  /* sound notices: the pass */
    const char *text; /* RunFinished: the program; DirectoryChanged: the directory */
    const char *args; /* RunFinished: its arguments (null: none) */
    /* A registry reference handed to the handler as "runuserdata" or
       "monitoruserdata" (-1: none). With ownsUserData the dispatcher
       releases it once the notice is served or dropped (on the main
       thread); otherwise it stays the poster's. */
    int32_t userData;
    uint32_t ownsUserData;
} cxEventNotice;

/* Queues a copy of the notice (its texts copied) and wakes the main
   thread. Any thread. 0, or ERR_MEM. */
int PostEventNotice(const cxEventNotice *notice);
/* The oldest notice, removed from the list into *out: 1, or 0 when none.
   The texts in *out are the caller's until ReleaseEventNotice. */
int TakeEventNotice(cxEventNotice *out);
/* Frees a taken notice's texts and, when owned, its reference. */
void ReleaseEventNotice(lua_State *L, cxEventNotice *notice);
/* Drops every queued notice (clean-up). */
void FreeEventNotices(lua_State *L);

/* The finished-program notice of the dos library's Run: program and
   arguments as the script gave them, userData owned as above. */
int PostRunFinished(const char *program, const char *args, int32_t userData);

#ifdef __cplusplus
}
#endif
