// Empty stand-ins for subsystems that are not built yet (see
// later_subsystems.h). Each subsystem deletes its functions from this file
// when it brings the real ones.
#include "shell/later_subsystems.h"

#include "graphics/images/image_cache.h"

extern "C" {

// Display and input.
void FreeSharedMutexes(void) {}

// Graphics core.
// Only the image cache so far; the graphics library's objects come with it.
void FreeGraphicsLibrary(lua_State *) { ClearImageCache(); }
void FreeScalerTables(void) {}

// The system library's script timers and catalogs.
void FreeSystemLibrary(lua_State *) {}

}  // extern "C"
