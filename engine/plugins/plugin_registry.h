// What the opened plug-ins offer, as every subsystem sees it: the lists of
// plug-ins by capability (loaders and adapters), the display, requester
// and timer adapters, the rules that choose a loader or adapter from a
// "loader" or "adapter" option, and calling a plug-in's entry points. The
// shell's plug-in manager fills it; subsystems only read it.
#pragma once

#include <stdint.h>

#include "include/calyxtone/cxplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- capability lists ---- */

/* The list of image loaders (0x4), anim loaders (0x8), sound loaders (0x10),
   video decoders (0x40), file (0x4000), directory (0x8000) or network
   adapters (0x40000); null for any other bit. */
cxPluginNode *GetCapabilityList(uint32_t capability);
/* 0, 1000, or 1055 for a bit without a list. Adding twice is harmless. */
int AddCapabilityEntry(cxPlugin *plugin, uint32_t capability);
int RemoveCapabilityEntry(cxPlugin *plugin, uint32_t capability);
int HasCapabilityEntry(const cxPlugin *plugin, uint32_t capability);
/* Out of every capability list and adapter slot. */
void RemovePluginHooks(cxPlugin *plugin);
/* Empties every list and forgets the adapters (once every plug-in is closed). */
void ForgetCapabilityLists(void);

/* ---- choice of loaders and adapters ---- */

int MatchLoaderList(const char *list, const char *name, int allowPluginKeyword);
int IsLoaderNamed(const char *list, const char *name);
/* 0 "inbuilt", 1 "native", any other value is a cxPlugin record: its module
   name. */
const char *GetLoaderName(uintptr_t loader);
/* 1 for an absent list, "" or "default" (no restriction). */
int IsDefaultLoaderList(const char *list);
/* 1 for the words "native", "inbuilt" and "plugin". */
int IsLoaderKeyword(const char *name);

/* Adds the plug-ins a "|"-list names to a capability's list and marks them
   as serving only when named. The plug-in manager (shell) knows the open
   plug-ins and installs the function; without it nothing is added. 0 or
   1000. */
typedef int (*cxNamedAdapterHook)(const char *list, uint32_t capability);
void SetNamedAdapterHook(cxNamedAdapterHook hook);
int AddNamedAdapterList(const char *list, uint32_t capability);

/* ---- adapters ---- */

/* The applet record the adapter registration checks versions against (null:
   treat the applet as version 8.0). */
struct cxApplet;
void SetPluginApplet(const struct cxApplet *applet);
const struct cxApplet *GetPluginApplet(void);
/* While set, adapters may be registered. */
void SetPluginStartupPhase(int on);
int IsPluginStartupPhase(void);
int RegisterDisplayAdapter(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags);
int RegisterRequesterAdapter(cxPlugin *plugin, uint32_t flags);
int RegisterTimerAdapter(cxPlugin *plugin, uint32_t flags);
/* The audio adapter (capability 0x10000): flag 1 keeps later adapters
   out; tag 1 sets its buffer frames (default 2048), tag 2 its channel
   count (default the player's, SetDefaultAudioChannels). With flag 2 an
   adapter already registered changes only its buffer frames. 1566 for an
   applet older than 6.0, 1055 without the capability or for a channel
   count below 1, 1518 outside the start-up or beside an exclusive one. */
int RegisterAudioAdapter(cxPlugin *plugin, uint32_t flags, const cxTagItem *tags);
cxPlugin *GetAudioAdapter(uint32_t *bufferFrames, uint32_t *channels);
void SetDefaultAudioChannels(uint32_t channels);
cxPlugin *GetDisplayAdapter(void);
cxPlugin *GetRequesterAdapter(void);
cxPlugin *GetTimerAdapter(void);

/* ---- calling entry points ---- */

/* Stands in for an entry point of a plug-in whose calling-convention word
   is 2: such functions cannot be called on this platform. Does nothing and
   answers 0. */
intptr_t OsCallPluginStub(cxPluginFunc entry, ...);

#ifdef __cplusplus
}

#include <type_traits>
#include <utility>

// Calls an entry point of a plug-in record: through OsCallPluginStub (which
// answers 0) when the plug-in cannot be called, and also answers 0 for an
// empty slot.
template <class R, class... P, class... A>
R CallPluginEntry(const cxPlugin *plugin, R (*entry)(P...), A &&...args) {
    if (!entry || !plugin || plugin->callingConvention == CX_CALLCONV_UNCALLABLE) {
        OsCallPluginStub(reinterpret_cast<cxPluginFunc>(entry));
        if constexpr (std::is_void_v<R>)
            return;
        else
            return R{};
    }
    return entry(std::forward<A>(args)...);
}
#endif
