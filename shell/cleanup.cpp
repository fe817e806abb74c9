// The end of every run: the clean-up in its fixed order and the error
// report.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "engine/runtime/console.h"
#include "engine/charset/collate.h"
#include "errors/errors.h"
#include "engine/lib/memblock/memblock.h"
#include "engine/runtime/runtime.h"
#include "layers/transitions/transitionfx_library.h"
#include "shell/catalog.h"
#include "shell/later_subsystems.h"
#include "shell/platform_start.h"
#include "shell/player_main.h"
#include "shell/plugins/plugin_manager.h"
#include "shell/plugins/plugin_package.h"

namespace {

bool g_exiting = false;
int g_exitStatus = CX_EXIT_SUCCESS;

// The report is composed before anything is cleaned up, so that a
// clean-up that sets an error detail of its own cannot change the text of
// the error being reported.
struct PendingReport {
    bool active = false;
    char message[2048] = {};
    std::string source;
    bool hasSource = false;
    int line = 0;
    cxErrorPosition position{};
};

void ComposeReport(PendingReport &r, lua_State *L, int code) {
    r.active = true;
    const char *source = nullptr;
    GetErrorInfo(L, code, r.message, sizeof r.message, &source, &r.line);
    if (source) {
        r.hasSource = true;
        r.source = source;
    }
    r.position = *GetErrorPosition();
}

// A requester when one can be shown (the player reaches an X server), else
// the console form "file:line: message" or "Error: message".
void ShowReport(PendingReport &r, lua_State *L) {
    // A load that failed left its progress line open: the report starts
    // a line of its own.
    EndProgressLine();
    if (OsIsXAvailable()) {
        SetErrorPosition(r.position.line, r.position.source, r.position.command);
        ShowErrorReport(L, r.message, 0, 0);
    } else {
        PrintConsoleError(r.hasSource ? r.source.c_str() : nullptr, r.line, r.message);
    }
    fflush(stdout);
}

void CleanupLibraries(lua_State *L) {
    StopAllPlayback(L);
    CleanupDisplays(L);
    FreeNetworkObjects(L);
    FreeGraphicsLibrary(L);
    FreeDrawLibraryBuffers(L);
    FreeIconObjects(L);
    FreeAllBrushes(L);
    FreeAllBGPics(L);
    FreeAllVideos(L);
    FreeAllPaths(L);
    FreeAllSprites(L);
    FreeSerialPorts(L);
    FreeSystemLibrary(L);
    FreeTextLibrary(L);
    FreeAnimObjects();
    FreeTransitionLibraryState(L);
    FreeLayerLibraryState(L);
    FreeDosObjects(L);
    FreeMemBlocks(L);
    CleanupEvents(L);
    FreeAllSoundObjects(L);
}

}  // namespace

extern "C" int IsPlayerExiting(void) { return g_exiting; }
extern "C" int GetPlayerExitStatus(void) { return g_exitStatus; }

extern "C" void ResetPlayerState(void) {
    g_exiting = false;
    g_exitStatus = CX_EXIT_SUCCESS;
}

extern "C" int CleanupAndExit(int code, lua_State *L, cxStartupOptions *opts, cxApplet *applet) {
    PendingReport report;
    if (code > 0 && code != ERR_USERABORT) ComposeReport(report, L, code);

    // 1. Callbacks of other subsystems see from now on that the run ends.
    g_exiting = true;
    OsForgetBreakState();

    // 2. Kernel settings for the clean-up, and the platform's preparation.
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_QUIET, IsOptionSet(opts, CX_OPT_QUIET), CX_KTAG_END);
    OsPrepareShutdown();
    OsEndConsoleOutput();

    // 3. The libraries, in their fixed order. No line hook may pump events
    // into libraries that are half cleaned up.
    if (L) {
        lua_sethook(L, nullptr, 0, 0);
        CleanupLibraries(L);
    }

    // 4. The command-line record's lists and strings.
    SetClargsRecord(nullptr);
    if (opts) FreeStartupOptions(opts);

    // 5. The error report; never for a normal end.
    if (report.active) ShowReport(report, L);

    // 6. The kernel's lists and the registered error codes.
    FreeKernel();
    FreeCommandLibraries();
    FreeCustomErrors();

    // 7. The applet record.
    SetRunningApplet(nullptr);
    SetPluginApplet(nullptr);
    FreeApplet(applet);

    // 9. Every initialised plug-in's ClosePlugin, while the virtual machine
    // is still open.
    if (L) ClosePlugins(L);

    // 10. The virtual machine, then the plug-in manager's lists (which
    // unloads the plug-ins).
    if (L) {
        ReleaseScriptChunk(L);
        lua_close(L);
    }
    FreePlugins();

    // 11. The temporary plug-in folder of linked mode.
    RemoveAppendedPlugins();

    // 12. Shared mutexes, tables, the start-up record, the player's catalog
    // and the audio engine's lists.
    FreeSharedMutexes();
    FreeScalerTables();
    free(opts);
    ClosePlayerCatalog();
    FreeAudioEngine();

    // 13. Temporary files, the collation tables.
    DeleteTemporaryFiles();
    FreeCollationTables();

    // 14. The platform.
    OsShutdownPlatform();
    fflush(stdout);

    g_exitStatus = (code == 0 || code == ERR_USERABORT) ? CX_EXIT_SUCCESS : CX_EXIT_FAILURE;
    return g_exitStatus;
}
