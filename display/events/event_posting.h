// What plug-ins and back-ends call to hand events to the script: posting
// back-end events and events of registered types, the end of the run,
// menu selections and waking the main thread. The posting entries may be
// called from any thread; they only queue and wake.
#pragma once

#include <stdint.h>

#include "display/display.h"
#include "engine/vm/lua.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* While set (by the shell), the posting entries and adapter timer firing
   do nothing. */
void SetEventSuspension(int on);
int GetEventSuspension(void);

/* The virtual machine the entries without a state use (main thread). */
void SetPostingState(lua_State *L);

/* Back-end event codes. Their arguments are the tag words t0, t1, ...:
   the data of the tag items in order, up to the end tag (tag 0; words
   past it read as 0). t0 is the display's platform handle where a display
   is needed. */
enum {
    CX_SYSEV_QUIT = 0, CX_SYSEV_FUNCTION = 1, CX_SYSEV_WAKE = 2, CX_SYSEV_MOUSE = 3, CX_SYSEV_KEY = 4,
    CX_SYSEV_CLOSE = 5, CX_SYSEV_SIZE = 6, CX_SYSEV_MOVE = 7, CX_SYSEV_SHOW = 8, CX_SYSEV_ACTIVE = 9,
    CX_SYSEV_VANILLA = 10, CX_SYSEV_DROPFILES = 11, CX_SYSEV_RAWKEY = 12, CX_SYSEV_WHEEL = 13
};

/* Posts a back-end event: 0, ERR_FINDDISPLAY, ERR_MEM or ERR_ADDSYSEVENT.
   Code 1 takes {function (cxEventFunction's), argument}; the function runs
   on the main thread from the dispatcher with the queue mutex released.
   Codes from 32 post that registered type with tag word 0 as its data. */
int PostSystemEvent(lua_State *L, int code, const cxTagItem *tags);
int PostSystemEventNoState(int code, const cxTagItem *tags);
/* Sets the user-abort flag and posts the end-of-run event (type 23). */
int RequestQuit(void);
/* Posts a menu selection (type 26) with a copy of the item text (tag 2 of
   tags, else an empty string). */
int PostMenuSelection(cxDisplay *display, const cxTagItem *tags, uint32_t id);
/* Wakes the main thread's wait. */
void WakeMainThread(void);

#ifdef __cplusplus
}
#endif
