// What the player's main sequence calls of subsystems that are built later:
// the applet's icon at start-up and the clean-ups at exit (CleanupAndExit,
// shell/cleanup.cpp), in the order of the exit. Until its subsystem exists
// each is an empty function in shell/later_subsystems.cpp; a subsystem that
// brings the real one deletes the empty one there (the linker refuses two
// definitions).
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct cxApplet;
struct cxStartupOptions;

/* Sets the applet's declared icon. 0 or an error code. */
int LoadAppletIcon(const struct cxApplet *applet, const struct cxStartupOptions *opts);

/* The library clean-ups, in the order of the exit. */
void StopAllPlayback(lua_State *L);          /* audio channels and video sound */
void CleanupDisplays(lua_State *L);          /* every display and its resources */
void FreeNetworkObjects(lua_State *L);       /* connections, servers, UDP objects */
void FreeGraphicsLibrary(lua_State *L);      /* graphics library objects, image cache */
void FreeDrawLibraryBuffers(lua_State *L);   /* the draw library's buffers (display/draw/draw_library.h) */
void FreeIconObjects(lua_State *L);          /* icons and the applet's icon entries */
void FreeAllBrushes(lua_State *L);
void FreeAllBGPics(lua_State *L);
void FreeAllVideos(lua_State *L);
void FreeAllPaths(lua_State *L);             /* vector paths */
void FreeAllSprites(lua_State *L);
void FreeSerialPorts(lua_State *L);
void FreeSystemLibrary(lua_State *L);        /* script timers and catalogs */
int FreeTextLibrary(lua_State *L);           /* text objects, fonts, the font layer */
void FreeAnimObjects(void);                  /* anims and anim streams */
void FreeLayerLibraryState(lua_State *L);    /* move lists, layer state, box array */
void FreeDosObjects(lua_State *L);           /* files, directories, started programs */
/* (memory blocks: FreeMemBlocks, engine/lib/memblock/memblock.h) */
void CleanupEvents(lua_State *L);            /* handlers, intervals, timeouts, event types */
void FreeAllSoundObjects(lua_State *L);      /* samples, music, the audio output */

/* Later in the exit. */
void FreeSharedMutexes(void);                /* the global mutexes of the display and audio code */
void FreeScalerTables(void);
void FreeAudioEngine(void);                  /* the audio engine's lists */
void DeleteTemporaryFiles(void);             /* the dos library's temporary-file list */

#ifdef __cplusplus
}
#endif
