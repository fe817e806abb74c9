// Anim saving as the rest of the player sees it: where the anim-saver
// plug-ins come from, and the list of anim streams.
#pragma once

#include "engine/runtime/objects.h"
#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The opened plug-ins in load order; the shell installs its list. Without
   it no plug-in saver is found (ERR_UNKNOWNANMOUT). */
typedef cxPluginNode *(*cxOpenedPluginsFunc)(void);
void SetAnimSaverPlugins(cxOpenedPluginsFunc list);

/* The object list of anim streams (kind 52). */
cxObjectList *GetAnimStreamList(void);

#ifdef __cplusplus
}
#endif
