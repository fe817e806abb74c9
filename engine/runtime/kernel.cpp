// Kernel settings of the command runtime.
#include "engine/runtime/kernel.h"
#include "engine/events/event_queue.h"

#include <cstdarg>
#include <cstring>

#include "engine/runtime/objects.h"
#include "streams/applet_record.h"

namespace {

struct Kernel {
    int quiet = 0;
    int forceFlush = 0;
    int maskMode = 0;
    int preloading = 0;
    int alphaIntensity = -1;
    int callbackNesting = 0;
    int onSampleLoop = 0;
    int onSampleEnd = 0;
    int onMusicEnd = 0;
    int onVideoEnd = 0;
    int runStarted = 0;
    int lineHookOff = 0;
    int eventsBlocked = 0;
    int singleMusic = 0;
    double startTime = 0;
    const cxApplet *applet = nullptr;
    cxStartupOptions *clargs = nullptr;
};

Kernel g_kernel;
volatile unsigned int g_userAbort = 0;

int *TagSlot(int tag) {
    switch (tag) {
    case CX_KTAG_QUIET: return &g_kernel.quiet;
    case CX_KTAG_FORCEFLUSH: return &g_kernel.forceFlush;
    case CX_KTAG_MASKMODE: return &g_kernel.maskMode;
    case CX_KTAG_PRELOADING: return &g_kernel.preloading;
    case CX_KTAG_ALPHAINTENSITY: return &g_kernel.alphaIntensity;
    case CX_KTAG_CALLBACKNESTING: return &g_kernel.callbackNesting;
    case CX_KTAG_ONSAMPLELOOP: return &g_kernel.onSampleLoop;
    case CX_KTAG_ONSAMPLEEND: return &g_kernel.onSampleEnd;
    case CX_KTAG_ONMUSICEND: return &g_kernel.onMusicEnd;
    case CX_KTAG_RUNSTARTED: return &g_kernel.runStarted;
    case CX_KTAG_ONVIDEOEND: return &g_kernel.onVideoEnd;
    case CX_KTAG_LINEHOOKOFF: return &g_kernel.lineHookOff;
    case CX_KTAG_EVENTSBLOCKED: return &g_kernel.eventsBlocked;
    default: return nullptr;
    }
}

} // namespace

extern "C" void SetKernelTags(lua_State *L, ...) {
    (void)L;
    va_list ap;
    va_start(ap, L);
    for (int tag = va_arg(ap, int); tag != CX_KTAG_END; tag = va_arg(ap, int)) {
        int value = va_arg(ap, int);
        if (tag == CX_KTAG_CALLBACKNESTING) {
            if (value)
                g_kernel.callbackNesting++;
            else if (g_kernel.callbackNesting > 0)
                g_kernel.callbackNesting--;
        } else if (tag == CX_KTAG_USERABORT) {
            __atomic_store_n(&g_userAbort, value ? 1u : 0u, __ATOMIC_RELAXED);
        } else if (int *slot = TagSlot(tag)) {
            *slot = value;
        }
    }
    va_end(ap);
}

extern "C" void GetKernelTags(lua_State *L, ...) {
    (void)L;
    va_list ap;
    va_start(ap, L);
    for (int tag = va_arg(ap, int); tag != CX_KTAG_END; tag = va_arg(ap, int)) {
        int *out = va_arg(ap, int *);
        if (!out) continue;
        if (tag == CX_KTAG_USERABORT)
            *out = static_cast<int>(__atomic_load_n(&g_userAbort, __ATOMIC_RELAXED));
        else if (int *slot = TagSlot(tag))
            *out = *slot;
    }
    va_end(ap);
}

extern "C" volatile unsigned int *GetUserAbortFlagAddress(void) { return &g_userAbort; }
// Posting entries set the flag from any thread: atomic stores and loads.
extern "C" void SetUserAbortFlag(int on) { __atomic_store_n(&g_userAbort, on ? 1u : 0u, __ATOMIC_RELAXED); }
extern "C" int GetUserAbortFlag(void) { return static_cast<int>(__atomic_load_n(&g_userAbort, __ATOMIC_RELAXED)); }

extern "C" void SetRunningApplet(const cxApplet *applet) { g_kernel.applet = applet; }
extern "C" const cxApplet *GetRunningApplet(void) { return g_kernel.applet; }

extern "C" int AppletVersionAtLeast(int major, int minor) {
    if (!g_kernel.applet) return 1;
    return CheckAppletVersion(g_kernel.applet, major, minor);
}

extern "C" void SetClargsRecord(cxStartupOptions *record) { g_kernel.clargs = record; }
extern "C" cxStartupOptions *GetClargsRecord(lua_State *L) {
    (void)L;
    return g_kernel.clargs;
}

extern "C" int LegacyControl(const char *name, int value) {
    if (!name || strcmp(name, "singlemusic") != 0) return -1;
    if (value != -1) g_kernel.singleMusic = value;
    return g_kernel.singleMusic;
}

extern "C" double GetRunStartTime(void) { return g_kernel.startTime; }
extern "C" void SetRunStartTime(double seconds) { g_kernel.startTime = seconds; }

extern "C" void FreeKernel(void) {
    FreeEventQueue(nullptr);
    g_kernel = Kernel{};
    g_userAbort = 0;
    ClearObjectListRegistry();
}
