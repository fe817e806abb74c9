#include "media/video/video_library.h"

#include <stdio.h>
#include <strings.h>

#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "media/sound/video_sound.h"
#include "media/video/video_display.h"
#include "media/video/video_internal.h"
#include "media/video/video_layers.h"
#include "streams/chunk_names.h"

namespace {

const luaL_reg kCommands[] = {
    {"OpenVideo", CmdOpenVideo},
    {"CloseVideo", CmdCloseVideo},
    {"PlayVideo", CmdPlayVideo},
    {"StopVideo", CmdStopVideo},
    {"PauseVideo", CmdPauseVideo},
    {"ResumeVideo", CmdResumeVideo},
    {"SeekVideo", CmdSeekVideo},
    {"IsVideo", CmdIsVideo},
    {"SetVideoSize", CmdSetVideoSize},
    {"SetVideoPosition", CmdSetVideoPosition},
    {"SetVideoVolume", CmdSetVideoVolume},
    {"GetVideoFrame", CmdGetVideoFrame},
    {"IsVideoPlaying", CmdIsVideoPlaying},
    {"ForceVideoMode", CmdForceVideoMode},
    {"ForceVideoDriver", CmdForceVideoDriver},
    {"DumpVideo", CmdDumpVideo},
    {"DisplayVideoFrame", CmdDisplayVideoFrame},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"VIDDRV_OS", nullptr, 0},
    {"VIDDRV_CALYXTONE", nullptr, 1},
    {"PLUGINCAPS_VIDEO", nullptr, 64},
    {"FILETYPE_VIDEO", nullptr, 3},
    {nullptr, nullptr, 0},
};

cxVideo *OwnerOf(void *player) {
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v))
        if (v->player == player) return v;
    return nullptr;
}

int StopForSound(lua_State *L, void *player) {
    cxVideo *v = OwnerOf(player);
    if (!v || !IsVideoActive(v)) return 0;
    return StopVideoPlayback(L, v, nullptr, 1, 0);
}

void StopAllForSound(lua_State *L) { StopDisplayVideos(L, nullptr); }

void VolumeForSound(void *player, uint32_t volume) {
    if (cxVideo *v = OwnerOf(player)) v->volume = volume > 64 ? 64 : volume;
}

}  // namespace

extern "C" int OpenVideoLibrary(lua_State *L) {
    if (int err = CreateVideoMutex()) return err;
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "video")) return err;
    luaL_openconstants(L, kConstants, 0);
    GetVideoList();
    const cxVideoSoundHooks sound{StopForSound, StopAllForSound, VolumeForSound};
    SetVideoSoundHooks(&sound);
    InstallVideoDisplayHooks();
    InstallVideoLayerHooks();
    return 0;
}

extern "C" void FreeAllVideos(lua_State *L) {
    FreeAllVideoRecords(L);
    FreeVideoMutex();
    SetDefaultVideoLoaders("");
}

extern "C" int PreloadVideoItem(lua_State *L, const cxPreprocItem *item) {
    char loader[256], adapter[256] = "";
    snprintf(loader, sizeof loader, "%s", GetDefaultVideoLoaders());
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key || t->kind != CX_TAG_STRING || !t->text) continue;
        if (strcasecmp(t->key, "loader") == 0) snprintf(loader, sizeof loader, "%s", t->text);
        else if (strcasecmp(t->key, "adapter") == 0) snprintf(adapter, sizeof adapter, "%s", t->text);
    }
    char window[1024];
    const char *file = ResolveLinkedFileName(GetRunningApplet(), item->name ? item->name : "", 0, nullptr, window,
                                             sizeof window);
    cxObjectID id{item->id, nullptr};
    return OpenVideoObject(L, &id, file, loader, adapter, 0, nullptr);
}
