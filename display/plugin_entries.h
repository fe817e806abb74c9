// What a display adapter plug-in calls back: posting input through a
// listener, resizing and repainting displays, and asking their attributes.
// The plug-in interface's system table hands these out.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Input for the display holding the listener (null: the first display).
   Types: 0 close request, 1-3 left/right/middle button, 4 mouse move, 5
   key, 6 event 28, 7 event 14, 8 raw key. Any thread. */
void PostListenerEvent(void *listener, int type, const intptr_t *data);
/* 0, or ERR_FINDDISPLAY when no display holds the listener. */
int ResizeDisplayForListener(void *listener, int width, int height, const cxTagItem *tags);
int RefreshDisplayByHandle(void *handle);
/* The number of tags answered, -1 when no display matches. */
int GetDisplayAttrTags(void *listenerOrHandle, cxTagItem *tags);
/* The plug-in interface's listener entries (display record, callback as
   cxDisplayListenerFunc). */
void *PluginAddDisplayListener(void *display, cxPluginFunc callback, void *userData);
void PluginRemoveDisplayListener(void *listener);
/* The display record of an ID, the current display. */
void *PluginFindDisplay(const cxPluginObjectID *id);
void *PluginGetCurrentDisplay(void);

/* Main thread, for the entries that need the virtual machine. */
void SetPluginEntriesState(lua_State *L);

#ifdef __cplusplus
}
#endif
