#include "shell/plugins/plugin_loader.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "engine/charset/charset.h"
#include "display/events/plugin_timers.h"
#include "errors/errors.h"
#include "shell/plugins/elf_check.h"
#include "shell/plugins/plugin_internal.h"
#include "shell/plugins/plugin_manager.h"

namespace {

constexpr size_t kFullPathMax = 1024;

const char *const kReservedNames[] = {"default", "standard", "inbuilt", "calyxtone", "system", "native"};

const char *FilePartOf(const char *path) {
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

bool SameNoCase(const char *a, const char *b) { return a && b && StrCompareNoCase(a, b) == 0; }

// The path made absolute (resolved when the file exists); empty when it does
// not fit.
std::string FullPath(const char *path) {
    char resolved[PATH_MAX];
    std::string full;
    if (realpath(path, resolved)) {
        full = resolved;
    } else if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) full = std::string(cwd) + "/" + path;
        else full = path;
    } else {
        full = path;
    }
    if (full.size() >= kFullPathMax) full.clear();
    return full;
}

// The file part of the full path without its extension (the last four
// characters), or "" when the file part is too short to carry one.
std::string BaseName(const std::string &full) {
    std::string file = FilePartOf(full.c_str());
    if (file.size() <= 4) return std::string();
    return file.substr(0, file.size() - 4);
}

bool NameMatchesFile(const std::string &base, const char *module) {
    if (!module || base.empty()) return false;
    if (base[0] == '_' && SameNoCase(base.c_str() + 1, module)) return true;
    return SameNoCase(base.c_str(), module) && !IsReservedPluginName(module);
}

// Everything OpenPlugin holds until it hands the handle over.
struct Opening {
    cxPluginHandle *handle = nullptr;
    cxPlugin *plugin = nullptr;
    void *library = nullptr;
    bool initialised = false;

    ~Opening() {
        if (plugin) {
            if (initialised) CallPluginEntry(plugin, plugin->ClosePlugin);
            RemovePluginHooks(plugin);
        }
        // Timers its InitPlugin started must not call into unmapped code.
        if (library) FreePluginTimersOf(PluginLibraryOfHandle(library));
        if (library) dlclose(library);
        free(plugin);
        free(handle);
    }

    void Release() {
        handle = nullptr;
        plugin = nullptr;
        library = nullptr;
    }
};

template <class F>
bool Resolve(void *library, const char *name, F &slot) {
    void *sym = dlsym(library, name);
    if (!sym) {
        SetErrorDetail(name);
        return false;
    }
    slot = reinterpret_cast<F>(sym);
    return true;
}

#define CX_RESOLVE(field)                                          \
    do {                                                           \
        if (!Resolve(library, #field, p->field)) return false;     \
    } while (0)

// Resolves each capability's entry points, in the loader's order of groups.
bool ResolveEntryPoints(void *library, cxPlugin *p) {
    const uint32_t caps = p->capabilities;
    const uint32_t libExt = p->extensions[1];
    if (caps & CX_CAP_VECTORGRAPHICS) {
        CX_RESOLVE(GetPathExtents);
        CX_RESOLVE(DrawPath);
        CX_RESOLVE(TranslatePath);
        CX_RESOLVE(GetCurrentPoint);
        CX_RESOLVE(CreateVectorFont);
        CX_RESOLVE(FreeVectorFont);
        CX_RESOLVE(OpenFont);
        CX_RESOLVE(CloseFont);
    }
    if (caps & CX_CAP_VIDEO) {
        CX_RESOLVE(OpenVideo);
        CX_RESOLVE(CloseVideo);
        CX_RESOLVE(NextPacket);
        CX_RESOLVE(FreePacket);
        CX_RESOLVE(DecodeVideoFrame);
        CX_RESOLVE(DecodeAudioFrame);
        CX_RESOLVE(SeekVideo);
        CX_RESOLVE(FlushAudio);
        CX_RESOLVE(FlushVideo);
        CX_RESOLVE(GetVideoFrames);
        CX_RESOLVE(GetVideoFormat);
    }
    if (caps & CX_CAP_LIBRARY) {
        CX_RESOLVE(GetBaseTable);
        CX_RESOLVE(GetCommands);
        CX_RESOLVE(GetConstants);
        CX_RESOLVE(InitLibrary);
        CX_RESOLVE(FreeLibrary);
        if (libExt & CX_EXT_LIBRARY_MULTI) {
            CX_RESOLVE(GetLibraryCount);
            CX_RESOLVE(SetCurrentLibrary);
        }
        if (libExt & CX_EXT_LIBRARY_HELP) CX_RESOLVE(GetHelpStrings);
        if (libExt & CX_EXT_LIBRARY_UPVALUES) CX_RESOLVE(PushUpvalues);
    }
    if (caps & CX_CAP_SCRIPT) {
        CX_RESOLVE(GetScript);
        CX_RESOLVE(FreeScript);
    }
    if (caps & CX_CAP_IMAGELOADER) {
        CX_RESOLVE(IsImage);
        CX_RESOLVE(LoadImage);
        CX_RESOLVE(GetImage);
        CX_RESOLVE(FreeImage);
        CX_RESOLVE(TransformImage);
    }
    if (caps & CX_CAP_ANIMLOADER) {
        CX_RESOLVE(OpenAnim);
        CX_RESOLVE(LoadFrame);
        CX_RESOLVE(FreeFrame);
        CX_RESOLVE(GetFrameDelay);
        CX_RESOLVE(CloseAnim);
    }
    if (caps & CX_CAP_SOUNDLOADER) {
        CX_RESOLVE(OpenStream);
        CX_RESOLVE(CloseStream);
        CX_RESOLVE(SeekStream);
        CX_RESOLVE(StreamSamples);
        CX_RESOLVE(GetFormatName);
    }
    if (caps & CX_CAP_IMAGESAVER) {
        CX_RESOLVE(RegisterImageSaver);
        CX_RESOLVE(SaveImage);
    }
    if (caps & CX_CAP_ANIMSAVER) {
        CX_RESOLVE(RegisterAnimSaver);
        CX_RESOLVE(BeginAnimStream);
        CX_RESOLVE(WriteAnimFrame);
        CX_RESOLVE(FinishAnimStream);
    }
    if (caps & CX_CAP_SAMPLESAVER) {
        CX_RESOLVE(RegisterSampleSaver);
        CX_RESOLVE(SaveSample);
    }
    if (caps & CX_CAP_REQUIREHOOK) CX_RESOLVE(RequirePlugin);
    if (caps & CX_CAP_DISPLAYADAPTER) {
        CX_RESOLVE(HandleEvents);
        CX_RESOLVE(WaitEvents);
        CX_RESOLVE(ForceEventLoopIteration);
        CX_RESOLVE(Sleep);
        CX_RESOLVE(VWait);
        CX_RESOLVE(DetermineBorderSizes);
        CX_RESOLVE(OpenDisplay);
        CX_RESOLVE(CloseDisplay);
        CX_RESOLVE(ChangeBufferSize);
        CX_RESOLVE(ShowHideDisplay);
        CX_RESOLVE(SizeMoveDisplay);
        CX_RESOLVE(SetDisplayTitle);
        CX_RESOLVE(ActivateDisplay);
        CX_RESOLVE(SetDisplayAttributes);
        CX_RESOLVE(CreatePointer);
        CX_RESOLVE(FreePointer);
        CX_RESOLVE(SetPointer);
        CX_RESOLVE(ShowHidePointer);
        CX_RESOLVE(MovePointer);
        CX_RESOLVE(GetMousePos);
        CX_RESOLVE(GetQualifiers);
        CX_RESOLVE(BltBitMap);
        CX_RESOLVE(RectFill);
        CX_RESOLVE(WritePixel);
        CX_RESOLVE(Line);
        CX_RESOLVE(GetMonitorInfo);
        CX_RESOLVE(FreeMonitorInfo);
        CX_RESOLVE(GrabScreenPixels);
        CX_RESOLVE(FreeGrabScreenPixels);
        CX_RESOLVE(AdapterMainLoop);
        CX_RESOLVE(BeginDoubleBuffer);
        CX_RESOLVE(EndDoubleBuffer);
        CX_RESOLVE(Flip);
        CX_RESOLVE(Cls);
        CX_RESOLVE(AllocVideoBitMap);
        CX_RESOLVE(FreeVideoBitMap);
        CX_RESOLVE(ReadVideoPixels);
        CX_RESOLVE(FreeVideoPixels);
        CX_RESOLVE(DoVideoBitMapMethod);
        CX_RESOLVE(AllocBitMap);
        CX_RESOLVE(FreeBitMap);
        CX_RESOLVE(LockBitMap);
        CX_RESOLVE(UnLockBitMap);
        CX_RESOLVE(GetBitMapAttr);
    }
    if (caps & CX_CAP_TIMERADAPTER) {
        CX_RESOLVE(RegisterTimer);
        CX_RESOLVE(FreeTimer);
    }
    if (caps & CX_CAP_REQUESTERADAPTER) {
        CX_RESOLVE(SystemRequest);
        CX_RESOLVE(FileRequest);
        CX_RESOLVE(PathRequest);
        CX_RESOLVE(StringRequest);
        CX_RESOLVE(ListRequest);
        CX_RESOLVE(FontRequest);
        CX_RESOLVE(ColorRequest);
        CX_RESOLVE(FreeRequest);
    }
    if (caps & CX_CAP_FILEADAPTER) {
        CX_RESOLVE(FOpen);
        CX_RESOLVE(FClose);
        CX_RESOLVE(FRead);
        CX_RESOLVE(FGetC);
        CX_RESOLVE(FWrite);
        CX_RESOLVE(FPutC);
        CX_RESOLVE(FSeek);
        CX_RESOLVE(FFlush);
        CX_RESOLVE(FEof);
        CX_RESOLVE(FStat);
        CX_RESOLVE(Stat);
    }
    if (caps & CX_CAP_DIRADAPTER) {
        CX_RESOLVE(OpenDir);
        CX_RESOLVE(CloseDir);
        CX_RESOLVE(NextDirEntry);
        if (p->extensions[15] & CX_EXT_DIR_REWIND) CX_RESOLVE(RewindDir);
    }
    if (caps & CX_CAP_AUDIOADAPTER) {
        CX_RESOLVE(OpenAudio);
        CX_RESOLVE(CloseAudio);
        CX_RESOLVE(AllocAudioChannel);
        CX_RESOLVE(FreeAudioChannel);
        CX_RESOLVE(SetChannelAttributes);
    }
    if (caps & CX_CAP_NETWORKADAPTER) {
        CX_RESOLVE(OpenConnection);
        CX_RESOLVE(CloseConnection);
        CX_RESOLVE(GetConnectionInfo);
        CX_RESOLVE(ReceiveData);
        CX_RESOLVE(SendData);
    }
    return true;
}

#undef CX_RESOLVE

constexpr uint32_t kKnownCapabilities = 0x7FFFFu;

// The loader kinds that join their capability list when opened.
constexpr struct {
    uint32_t bit;
    int number;
} kListedLoaders[] = {{CX_CAP_IMAGELOADER, 2}, {CX_CAP_ANIMLOADER, 3}, {CX_CAP_SOUNDLOADER, 4}, {CX_CAP_VIDEO, 6}};

}  // namespace

extern "C" int IsReservedPluginName(const char *name) {
    for (const char *reserved : kReservedNames) {
        if (SameNoCase(name, reserved)) return 1;
    }
    return 0;
}

extern "C" int OpenPlugin(const char *path, uint32_t *capabilities, cxPluginHandle **out) {
    if (out) *out = nullptr;
    if (!path || !*path) {
        SetErrorDetail("");
        return ERR_LOADPLUGIN;
    }
    Opening o;
    o.handle = static_cast<cxPluginHandle *>(calloc(1, sizeof(cxPluginHandle)));
    if (!o.handle) return ERR_MEM;

    const std::string full = FullPath(path);
    if (full.empty()) {
        SetErrorDetail(FilePartOf(path));
        return ERR_LOADPLUGIN;
    }
    // dlopen wants the name as the system spells it: UTF-8.
    std::unique_ptr<char, decltype(&free)> utf8(nullptr, free);
    if (!GetUtf8Mode()) {
        utf8.reset(Latin1ToUtf8Alloc(full.c_str()));
        if (!utf8) return ERR_MEM;
    }
    const char *osName = utf8 ? utf8.get() : full.c_str();
    if (std::string why; !CheckSharedObjectFile(osName, &why)) {
        SetErrorDetail(why.c_str());
        return ERR_DLOPEN;
    }
    dlerror();
    o.library = dlopen(utf8 ? utf8.get() : full.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!o.library) {
        const char *why = dlerror();
        SetErrorDetail(why ? why : full.c_str());
        return ERR_DLOPEN;
    }

    o.plugin = static_cast<cxPlugin *>(calloc(1, sizeof(cxPlugin)));
    if (!o.plugin) return ERR_MEM;
    cxPlugin *p = o.plugin;
    const char *filePart = FilePartOf(full.c_str());
    void *init = dlsym(o.library, "InitPlugin");
    void *close = dlsym(o.library, "ClosePlugin");
    if (!init || !close) {
        SetErrorDetail(filePart);
        return ERR_LOADPLUGIN;
    }
    p->InitPlugin = reinterpret_cast<cxInitPluginFunc>(init);
    p->ClosePlugin = reinterpret_cast<cxClosePluginFunc>(close);

    p->apiVersion = CX_PLUGIN_API_VERSION;
    p->apiRevision = CX_PLUGIN_API_REVISION;
    if (!p->InitPlugin(p, GetPluginApi(), full.c_str())) {
        SetErrorDetail(filePart);
        return ERR_LOADPLUGIN;
    }
    o.initialised = true;

    if (!NameMatchesFile(BaseName(full), p->moduleName)) {
        SetErrorDetail(filePart);
        return ERR_LOADPLUGIN;
    }

    if (p->apiVersion > CX_PLUGIN_API_VERSION ||
        (p->apiVersion == CX_PLUGIN_API_VERSION && p->apiRevision > CX_PLUGIN_API_REVISION)) {
        char detail[32];
        snprintf(detail, sizeof detail, "%d.%d", p->apiVersion, p->apiRevision);
        SetErrorDetail(detail);
        return ERR_NEWCXPLUGIN;
    }

    if (p->capabilities & CX_CAP_EXTENSIONS) {
        if (!Resolve(o.library, "GetExtensions", p->GetExtensions)) return ERR_PLUGINSYMBOL;
        for (int n = 0; n < 32; n++) {
            const uint32_t bit = 1u << n;
            if (bit == CX_CAP_EXTENSIONS || !(p->capabilities & bit)) continue;
            p->extensions[n] = CallPluginEntry(p, p->GetExtensions, bit, 0u);
        }
    }

    if (!ResolveEntryPoints(o.library, p)) return ERR_PLUGINSYMBOL;

    for (const auto &loader : kListedLoaders) {
        if (!(p->capabilities & loader.bit) || (p->extensions[loader.number] & CX_EXT_LOADER_NAMEDONLY)) continue;
        int err = AddCapabilityEntry(p, loader.bit);
        if (err == ERR_PLUGINARCH) SetErrorDetail("Linux");
        if (err) return err;
    }

    if (!(p->capabilities & kKnownCapabilities)) {
        char detail[16];
        snprintf(detail, sizeof detail, "%x", p->capabilities);
        SetErrorDetail(detail);
        return ERR_PLUGINTYPE;
    }

    o.handle->capabilities = p->capabilities;
    o.handle->plugin = p;
    o.handle->library = o.library;
    if (capabilities) *capabilities = p->capabilities;
    if (out) *out = o.handle;
    o.Release();
    return 0;
}

extern "C" void CallClosePlugin(cxPluginHandle *handle) {
    if (!handle || !handle->plugin || handle->closed) return;
    handle->closed = 1;
    CallPluginEntry(handle->plugin, handle->plugin->ClosePlugin);
}

extern "C" void ClosePluginHandle(cxPluginHandle *handle) {
    if (!handle) return;
    CallClosePlugin(handle);
    if (handle->plugin) RemovePluginHooks(handle->plugin);
    if (handle->library) {
        FreePluginTimersOf(PluginLibraryOfHandle(handle->library));
        dlclose(handle->library);
    }
    free(handle->plugin);
    free(handle);
}

const void *PluginLibraryOf(const void *address) {
    Dl_info info;
    link_map *map = nullptr;
    if (!address || !dladdr1(address, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP)) return nullptr;
    return map;
}

const void *PluginLibraryOfHandle(void *library) {
    link_map *map = nullptr;
    if (!library || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
    return map;
}

extern "C" cxPlugin *GetPluginInfo(cxPluginHandle *handle) { return handle ? handle->plugin : nullptr; }
