// Shared between the files of the plug-in host; not for other subsystems.
#pragma once

#include <functional>
#include <string>

#include "engine/vm/lua.h"
#include "shell/plugins/plugin_manager.h"

// Runs fn inside a protected call of the virtual machine, so that a script
// error raised while registering (out of memory, a plug-in's raise) comes
// back as its code. The answer is the raised code, or fn's result.
int PluginProtectedCall(lua_State *L, const std::function<int(lua_State *)> &fn);

// Progress lines on standard output unless quiet.
void PluginProgress(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Case-blind comparison in the script encoding.
bool SamePluginName(const char *a, const char *b);

// The name without a final ".cxp" (any case); the length is checked first.
std::string StripPluginExtension(const char *name);

struct cxStartupOptions;
// A copy of the start-up settings that the API's slots read, so that they
// stay valid whatever happens to the start-up record; null clears it.
void SetPluginStartupOptions(const cxStartupOptions *opts);
// An option's text: a value option's value (its default included), "1" for
// a flag that was given, else null. set (optional) tells whether the option
// was given.
const char *PluginStartupOption(int id, bool *set = nullptr);
// The program's path from the start-up record, or "".
const std::string &PluginProgramPath();

// The loaded library (its link map) that holds the code at address, or
// null; and the same for a dlopen handle. Timers are owned by these.
const void *PluginLibraryOf(const void *address);
const void *PluginLibraryOfHandle(void *library);
