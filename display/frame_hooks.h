// What the display library tells the libraries above it of a display's
// life: each frame it presents and its end. The layers library installs
// these (its asynchronous draws step once per frame and go with their
// display); until then nothing is told.
#pragma once

#include "display/display.h"
#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cxDisplayFrameHooks {
    /* The display's frame, after its frame wait (WaitDisplayFrame). */
    void (*frame)(lua_State *L, cxDisplay *d);
    /* The display's resources are about to be freed (closing for good). */
    void (*freed)(lua_State *L, cxDisplay *d);
} cxDisplayFrameHooks;

/* Installs the hooks (copied); null removes them. */
void SetDisplayFrameHooks(const cxDisplayFrameHooks *hooks);
const cxDisplayFrameHooks *GetDisplayFrameHooks(void);

#ifdef __cplusplus
}
#endif
