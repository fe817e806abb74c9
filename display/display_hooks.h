// What the display library registers with the layers below it at start-up:
// the X11 back-end's hooks (window updates, repaints, mode switches and
// resizes asked for by the user, handler presence) and the event queue's
// size-event filter and payload freer.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Installs the hooks; safe to call again. */
void InstallDisplayHooks(void);
/* Removes them (the back-end and the queue fall back to their defaults). */
void RemoveDisplayHooks(void);

#ifdef __cplusplus
}
#endif
