// The start-up stages of the player in their fixed order.
#include "shell/player_main.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/display_hooks.h"
#include "display/events/event_library.h"
#include "display/events/event_sources.h"
#include "display/draw/draw_library.h"
#include "display/frame_limiter.h"
#include "display/events/event_pump.h"
#include "display/initial_displays.h"
#include "display/events/legacy_events.h"
#include "display/library.h"
#include "display/placement.h"
#include "display/plugin_entries.h"
#include "display/present.h"
#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "engine/events/event_queue.h"
#include "engine/runtime/runtime.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush_creation.h"
#include "images/brushes/brush_library.h"
#include "images/editing/brush_commands.h"
#include "images/output/output_redirect.h"
#include "images/moves/move_library.h"
#include "images/sprites/sprite.h"
#include "images/sprites/sprite_library.h"
#include "platform/os_linegate.h"
#include "io/net/net_objects.h"
#include "layers/library/layers_library.h"
#include "layers/transitions/transitionfx_library.h"
#include "io/dos/dos.h"
#include "io/serial/serial_ports.h"
#include "io/arexx/arexx_library.h"
#include "io/icons/icons.h"
#include "media/sound/sound_library.h"
#include "media/video/video_library.h"
#include "streams/chunk_names.h"
#include "shell/chunk_reader.h"
#include "shell/later_subsystems.h"
#include "shell/platform_start.h"
#include "text/library/font_cache.h"
#include "text/library/text_library.h"
#include "shell/plugins/plugin_loader.h"
#include "shell/plugins/plugin_manager.h"
#include "shell/plugins/plugin_package.h"
#include "shell/plugins/plugin_startup.h"
#include "shell/preload.h"
#include "shell/startup_requests.h"
#include "shell/vocabulary.h"
#include "shell/vector_engines.h"
#include "text/vector/vector_library.h"
#include "media/anim/anim.h"
#include "media/anim/anim_library.h"
#include "media/anim/anim_save.h"

namespace {

char g_programPath[CX_STARTUP_PATH_MAX + 1];
int g_mainRef = LUA_NOREF;
int g_adapterRunResult = 0;

// ---- stages in a protected call ----

// Stages that touch the virtual machine run inside a protected call, so that
// an error raised inside them (a plug-in's library, a loader) ends the run
// through the clean-up instead of the panic handler.
int StageTrampoline(lua_State *L) {
    auto *stage = static_cast<std::function<int()> *>(lua_touserdata(L, lua_upvalueindex(1)));
    return (*stage)();
}

int RunProtected(lua_State *L, std::function<int()> stage) {
    lua_pushlightuserdata(L, &stage);
    lua_pushcclosure(L, StageTrampoline, 1);
    return lua_pcall(L, 0, 0, 0);
}

// ---- error positions ----

// Reports name the file the author wrote: a line of an included file is
// mapped through the applet's include list, and the marks that chunk
// source names carry ("=name", "@path") are dropped.
void MapErrorLine(lua_State *, const char **source, int *line) {
    const cxApplet *applet = GetRunningApplet();
    const char *file = nullptr;
    int own = 0;
    if (applet && *line > 0 && MapIncludeLine(applet, *line, &file, &own) && file) {
        *source = file;
        *line = own;
        return;
    }
    if (*source && (**source == '=' || **source == '@')) ++*source;
}

int ResolveChunkDisplayName(const char *chunkName, char *out, size_t size) {
    auto name = std::make_unique<cxChunkName>();
    if (!ParseChunkName(chunkName, name.get()) || !name->display[0] || size == 0) return 0;
    snprintf(out, size, "%s", name->display);
    return 1;
}

// ---- the rest of the command line: the virtual machine's share ----

void SetGlobalString(lua_State *L, const char *name, const char *value) {
    lua_pushstring(L, name);
    lua_pushstring(L, value);
    lua_settable(L, LUA_GLOBALSINDEX);
}

// "clargs": the dashed options the option table does not know, by name as
// given (without the dash), each with the token that followed it ("" when
// none did).
void PushClargs(lua_State *L, const cxStartupOptions *opts) {
    lua_pushstring(L, "clargs");
    lua_newtable(L);
    for (const cxUnknownOption *o = opts->unknown; o; o = o->next) {
        lua_pushstring(L, o->name);
        lua_pushstring(L, o->value);
        lua_settable(L, -3);
    }
    lua_settable(L, LUA_GLOBALSINDEX);
}

// The applet's own icon (item 17) is read by LoadAppletIcon before the
// preloader runs; declared icons load like LoadIcon.
int PreloadAppletIcon(lua_State *, const cxPreprocItem *, const cxApplet *, const cxStartupOptions *) { return 0; }
int PreloadIcon(lua_State *L, const cxPreprocItem *item, const cxApplet *applet, const cxStartupOptions *) {
    char chunk[512];
    return LoadIconObject(L, item->id, ResolveLinkedFileName(applet, item->name, 0, nullptr, chunk, sizeof chunk),
                          "", "");
}

// Declared samples and music load like LoadSample and OpenMusic.
template <int (*Load)(lua_State *, int32_t, const char *, const char *, const char *)>
int PreloadSound(lua_State *L, const cxPreprocItem *item, const cxApplet *applet, const cxStartupOptions *) {
    char chunk[512], loaders[256] = "", adapters[256] = "";
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key || t->kind != CX_TAG_STRING || !t->text) continue;
        if (!strcasecmp(t->key, "loader")) snprintf(loaders, sizeof loaders, "%s", t->text);
        if (!strcasecmp(t->key, "adapter")) snprintf(adapters, sizeof adapters, "%s", t->text);
    }
    return Load(L, item->id, ResolveLinkedFileName(applet, item->name ? item->name : "", 0, nullptr, chunk, sizeof chunk),
                loaders, adapters);
}

// A sample format that a sample-saver plug-in registered.
int SaveSampleThroughPlugin(int format, const char *file, cxSampleRequest *request) {
    for (cxPluginNode *n = GetOpenedPluginNodes(); n; n = n->next) {
        cxPlugin *p = n->plugin;
        if (!p || p->disabled || !(p->capabilities & CX_CAP_SAMPLESAVER) || !p->sampleFormats) continue;
        for (const cxSaverFormat *f = p->sampleFormats; f->name || f->format; f++) {
            if (f->format != format) continue;
            return CallPluginEntry(p, p->SaveSample, file, request, static_cast<const cxTagItem *>(nullptr))
                       ? 0 : ERR_SAVESAMPLE;
        }
    }
    return ERR_UNKNOWNSMPOUT;
}

// NOSOUND, FORCESOUND, NUMCHANNELS and AUDIODEVICE reach the sound library.
void FeedSoundSettings(const cxStartupOptions *opts) {
    SoundSettingsListener(2, IsOptionSet(opts, CX_OPT_NOSOUND));
    SoundSettingsListener(33, IsOptionSet(opts, CX_OPT_FORCESOUND));
    const char *device = GetOptionValue(opts, CX_OPT_AUDIODEVICE);
    SoundSettingsListener(3, reinterpret_cast<intptr_t>(device && *device ? device : "default"));
    const char *channels = GetOptionValue(opts, CX_OPT_NUMCHANNELS);
    if (IsOptionSet(opts, CX_OPT_NUMCHANNELS) && channels) SoundSettingsListener(89, atoi(channels));
}

int OpenLibrariesAndGlobals(lua_State *L, const cxStartupOptions *opts) {
    SetScriptLibraryOpener("dos", OpenDosLibrary);
    SetScriptLibraryOpener("draw", OpenDrawLibrary);
    SetScriptLibraryOpener("text", OpenTextLibrary);
    SetScriptLibraryOpener("brush", OpenBrushLibrary);
    AddBrushCommandTable(GetBrushEditingCommands());
    InstallOutputRedirection();
    SetScriptLibraryOpener("bgpic", OpenBGPicLibrary);
    RegisterPreloadKind(CX_OBJ_BRUSH, "BRUSH", [](lua_State *L, const cxPreprocItem *item, const cxApplet *,
                                                  const cxStartupOptions *) { return PreloadBrushItem(L, item); });
    RegisterPreloadKind(CX_OBJ_BGPIC, "BGPIC", [](lua_State *L, const cxPreprocItem *item, const cxApplet *,
                                                  const cxStartupOptions *) { return PreloadBGPicItem(L, item); });
    SetScriptLibraryOpener("sprite", OpenSpriteLibrary);
    RegisterPreloadKind(CX_OBJ_SPRITE, "SPRITE", [](lua_State *L, const cxPreprocItem *item, const cxApplet *,
                                                    const cxStartupOptions *) { return PreloadSpriteItem(L, item); });
    SetScriptLibraryOpener("moveobject", OpenMoveObjectLibrary);
    SetScriptLibraryOpener("vectorgraphics", OpenVectorGraphicsLibrary);
    SetScriptLibraryOpener("layers", OpenLayersLibrary);
    SetScriptLibraryOpener("transitionfx", OpenTransitionLibrary);
    InstallVectorPluginFinder();
    SetScriptLibraryOpener("anim", OpenAnimLibrary);
    RegisterPreloadKind(CX_OBJ_ANIM, "ANIM", [](lua_State *L, const cxPreprocItem *item, const cxApplet *,
                                                const cxStartupOptions *) { return PreloadAnimItem(L, item); });
    SetAnimSaverPlugins(GetOpenedPluginNodes);
    SetScriptLibraryOpener("sound", OpenSoundLibrary);
    RegisterPreloadKind(CX_OBJ_SAMPLE, "SAMPLE", PreloadSound<PreloadSample>);
    RegisterPreloadKind(CX_OBJ_MUSIC, "MUSIC", PreloadSound<PreloadMusic>);
    SetPluginSampleSaver(SaveSampleThroughPlugin);
    SetScriptLibraryOpener("video", OpenVideoLibrary);
    RegisterPreloadKind(CX_OBJ_VIDEO, "VIDEO", [](lua_State *L, const cxPreprocItem *item, const cxApplet *,
                                                  const cxStartupOptions *) { return PreloadVideoItem(L, item); });
    FeedSoundSettings(opts);
    if (int err = OpenScriptLibraries(L)) return err;
    SetGlobalString(L, "applet", opts->appletPath);
    PushClargs(L, opts);
    lua_pushstring(L, "inclevels");
    lua_newtable(L);
    lua_settable(L, LUA_GLOBALSINDEX);
    return 0;
}

// Settings that follow the command line, the platform, the libraries and
// the script globals (the command-line stage's share that needs the
// virtual machine).
int StartRuntime(lua_State *L, cxStartupOptions *opts, cxApplet *applet) {
    SetKernelTags(L, CX_KTAG_QUIET, IsOptionSet(opts, CX_OPT_QUIET), CX_KTAG_FORCEFLUSH,
                  IsOptionSet(opts, CX_OPT_FORCEFLUSH), CX_KTAG_END);
    SetUtf8Mode(opts->encoding == CX_ENCODING_UTF8);
    SetDisplayPlacementRestore(!IsOptionSet(opts, CX_OPT_OVERRIDEPLACEMENT));
    SetRunningApplet(applet);
    SetClargsRecord(opts);
    SetPluginApplet(applet);
    SetErrorLineMapper(MapErrorLine);
    SetChunkNameResolver(ResolveChunkDisplayName);
    if (int err = InitKernel()) return err;
    InstallDisplayHooks();
    SetFrameLimiter(LimitFrameRate);
    SetNamedAdapterHook(AddNamedAdapters);
    SetScriptLibraryOpener("network", OpenNetworkLibrary);
    SetScriptLibraryOpener("display", OpenDisplayLibrary);
    SetScriptLibraryOpener("event", OpenEventLibrary);
    SetScriptLibraryOpener("serial", OpenSerialLibrary);
    SetScriptLibraryOpener("arexx", OpenARexxLibrary);
    SetScriptLibraryOpener("icon", OpenIconLibrary);
    RegisterPreloadKind(17, "APPICON", PreloadAppletIcon);
    RegisterPreloadKind(CX_OBJ_ICON, "ICON", PreloadIcon);
    static const cxNetEventSource netEvents = {CheckUdpData, CheckServerConnect, CheckConnectionData,
                                               CheckConnectionClose};
    SetNetEventSource(&netEvents);
    SetPluginEntriesState(L);
    if (int err = OsStartPlatform(opts)) return err;
    return RunProtected(L, [&] { return OpenLibrariesAndGlobals(L, opts); });
}

// The applet's labels: positions in the main chunk that gosubs and legacy
// event labels jump to. A label named after a window event or an ALL
// switch is an event of its own; it is added once the displays are open,
// so that a CLOSEWINDOW label keeps the window's close from ending the run.
int RegisterAppletLabels(lua_State *L, const cxApplet *applet) {
    for (const cxAppletLabel *label = applet->labels; label; label = label->next) {
        if (!label->name) continue;
        luaL_setlabel(L, label->name, label->position);
        if (int err = AddLegacyEventByName(L, label->name)) return err;
    }
    return 0;
}

int RunExports(lua_State *L, const cxStartupRequests &requests) {
    if (!requests.vocabCommands.empty()) {
        if (int err = ExportCommandNames(requests.vocabCommands.c_str())) return err;
    }
    if (!requests.vocabConstants.empty()) {
        if (int err = RunProtected(L, [&] { return ExportConstantNames(L, requests.vocabConstants.c_str()); }))
            return err;
    }
    if (!requests.vocabPreproc.empty()) {
        if (int err = ExportPreprocessorNames(requests.vocabPreproc.c_str())) return err;
    }
    return 0;
}

int ListPlugins(lua_State *L, const cxStartupOptions *opts) {
    if (int err = RunProtected(L, [&] { return InitPlugins(L, opts); })) return err;
    char *text = DumpPluginInfo(L, 0);
    if (!text) return ERR_MEM;
    fputs(text, stdout);
    free(text);
    return 0;
}

// The applet: appended to the program (linked mode, behind the plug-in
// package) or the file the command line names.
int ReadApplet(cxStartupOptions *opts, cxApplet *applet) {
    uint64_t base = 0;
    const char *file = opts->appletPath;
    if (opts->linked) {
        if (int err = ExtractLinkedPlugins(opts, &base)) return err;
        file = opts->programPath;
    } else if (!opts->appletPath[0]) {
        // No requester can ask for an applet on a console: say how to name one.
        printf("Usage: player <applet> [options]   (-HELP lists the options)\n");
        return ERR_ARGS;
    }
    if (int err = ReadAppletHeader(applet, file, base, opts->skipInfoBlock)) return err;
    if (int err = OsApplyAppInfo(applet, opts)) return err;
    if (!opts->linked) {
        int count = 0;
        if (int err = CountPlugins(opts, &count)) return err;
    }
    return 0;
}

const char *ReadBlock(lua_State *, void *ud, size_t *size) { return ReadChunkBlock(ud, size); }

int RunChunkCallback(lua_State *L) {
    g_adapterRunResult = 0;
    if (g_mainRef == LUA_NOREF) return g_adapterRunResult = ERR_EMPTYSCRIPT;
    lua_rawgeti(L, LUA_REGISTRYINDEX, g_mainRef);
    g_adapterRunResult = lua_pcall(L, 0, 0, 0);
    return g_adapterRunResult;
}

int RunSequence(lua_State *L, cxStartupOptions *opts, cxApplet *applet, int argc, char **argv) {
    auto end = [&](int code) { return CleanupAndExit(code, L, opts, applet); };

    cxStartupRequests requests;
    std::vector<char *> args;
    if (int err = ExtractStartupRequests(argc, argv, &requests, &args)) return end(err);
    opts->compile = requests.compile;
    if (int err = ParseCommandLine(opts, static_cast<int>(args.size()) - 1, args.data(), stdout)) return end(err);
    if (int err = StartRuntime(L, opts, applet)) return end(err);

    if (requests.WantsExport() || requests.pluginInfo) {
        if (int err = RunExports(L, requests)) return end(err);
        if (requests.pluginInfo) return end(ListPlugins(L, opts));
        return end(0);
    }

    if (int err = ReadApplet(opts, applet)) return end(err);
    if (int err = RunProtected(L, [&] { return InitPlugins(L, opts); })) return end(err);
    if (int err = LoadApplet(applet)) return end(err);
    if (int err = LoadScriptChunk(L, applet)) return end(err);
    if (int err = LoadAppletIcon(applet, opts)) return end(err);
    if (int err = CheckCompileRequest(opts)) return end(err);

    // Scripts that never wait still let events in through the line hook; the
    // virtual machine ends the run with 1003 when the user-abort flag is set
    // after a hook.
    lua_setabortflag(L, GetUserAbortFlagAddress());
    lua_sethook(L, EventLineHook, LUA_MASKLINE, 0);
    // The hook is called only when the gate opens: each pump interval, or at
    // once for a wake-up. Lines in between cost the interpreter one load.
    lua_sethookgate(L, OsLineHookGate());
    OsStartLineHookPulse(CX_LINEHOOK_INTERVAL_MS);

    if (int err = RunProtected(L, [&] { return PreloadObjects(L, applet, opts); })) return end(err);
    if (int err = RunProtected(L, [&] { return OpenInitialDisplays(L, applet, opts); })) return end(err);
    // Declared brushes, BGPics and colour fonts get their bitmaps once
    // displays exist.
    if (int err = RunProtected(L, [&] { return RealizePendingBGPics(L); })) return end(err);
    if (int err = RunProtected(L, [&] { return RealizePendingBrushes(L); })) return end(err);
    if (int err = RunProtected(L, [&] { return RealizePendingAnims(L); })) return end(err);
    if (int err = RunProtected(L, [&] { return RealizePendingSprites(L); })) return end(err);
    if (int err = RealizeFontBitmaps()) return end(err);
    if (int err = RunProtected(L, [&] { return RegisterAppletLabels(L, applet); })) return end(err);

    SetKernelTags(L, CX_KTAG_RUNSTARTED, 1, CX_KTAG_END);
    ResetErrorPosition();
    const int result = OsRunMainLoop(L, RunMainChunk);
    return end(result == ERR_USERABORT ? 0 : result);
}

void PrintNoMemory() {
    const char *text = GetMessageText(CX_MSG_NOT_ENOUGH_MEMORY);
    printf("%s\n", text ? text : "Not enough memory.");
    fflush(stdout);
}

}  // namespace

extern "C" void SetPlayerArguments(int argc, char **argv) {
    g_programPath[0] = 0;
    // The running executable first: argv[0] may be a bare name found
    // through PATH, which realpath would resolve against the current folder.
    char resolved[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", resolved, PATH_MAX);
    if (n > 0) {
        resolved[n] = 0;
    } else if (!(argc > 0 && argv && argv[0] && realpath(argv[0], resolved))) {
        return;
    }
    if (strlen(resolved) <= CX_STARTUP_PATH_MAX) strcpy(g_programPath, resolved);
}

extern "C" const char *GetPlayerProgramPath(void) { return g_programPath; }

extern "C" int PlayerMain(int argc, char **argv) {
    auto *opts = static_cast<cxStartupOptions *>(calloc(1, sizeof(cxStartupOptions)));
    cxApplet *applet = NewApplet();
    if (!opts || !applet) {
        PrintNoMemory();
        free(opts);
        FreeApplet(applet);
        return CX_EXIT_FAILURE;
    }
    InitStartupOptions(opts);
    memcpy(opts->programPath, g_programPath, sizeof g_programPath);

    lua_State *L = lua_open();
    if (!L) {
        PrintNoMemory();
        FreeStartupOptions(opts);
        free(opts);
        FreeApplet(applet);
        return CX_EXIT_FAILURE;
    }
    OsInstallBreakHandler(L, GetUserAbortFlagAddress());
    ResetErrorPosition();
    return RunSequence(L, opts, applet, argc, argv);
}

extern "C" int LoadScriptChunk(lua_State *L, const cxApplet *applet) {
    ReleaseScriptChunk(L);
    cxChunkReader *reader = nullptr;
    if (int err = OpenMainChunkReader(applet, &reader)) return err;
    // A chunk whose main function has no source name is named after the
    // applet file.
    const char *slash = strrchr(applet->path, '/');
    std::string name = std::string("=") + (slash ? slash + 1 : applet->path);
    int err = lua_load(L, ReadBlock, reader, name.c_str());
    const int readErr = GetChunkReaderError(reader);
    CloseChunkReader(reader);
    if (readErr) {
        // The loader only saw a cut chunk: the read failure is the cause.
        if (!err) lua_pop(L, 1);
        return readErr;
    }
    if (err) return err;
    g_mainRef = luaL_ref(L, LUA_REGISTRYINDEX);
    return 0;
}

extern "C" void ReleaseScriptChunk(lua_State *L) {
    if (L && g_mainRef != LUA_NOREF) luaL_unref(L, LUA_REGISTRYINDEX, g_mainRef);
    g_mainRef = LUA_NOREF;
}

extern "C" int RunMainChunk(lua_State *L) {
    cxPlugin *adapter = GetDisplayAdapter();
    // An adapter that cannot be called here would never run the chunk.
    if (adapter && adapter->AdapterMainLoop && adapter->callingConvention != CX_CALLCONV_UNCALLABLE) {
        g_adapterRunResult = 0;
        const int r = adapter->AdapterMainLoop(L, RunChunkCallback, L);
        return r ? r : g_adapterRunResult;
    }
    if (g_mainRef == LUA_NOREF) return ERR_EMPTYSCRIPT;
    lua_rawgeti(L, LUA_REGISTRYINDEX, g_mainRef);
    return lua_pcall(L, 0, 0, 0);
}
