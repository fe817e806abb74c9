// The "anim" script library: its commands in their order, its constants,
// the hooks through which lower layers reach anims, declared anims and the
// clean-up at exit.
#include "media/anim/anim_library.h"

#include <strings.h>

#include <cstdio>

#include "engine/runtime/runtime.h"
#include "errors/errors.h"
#include "media/anim/anim_internal.h"
#include "media/anim/anim_play.h"
#include "media/anim/anim_save.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"

namespace {

lua_State *g_state = nullptr;

const luaL_reg kCommands[] = {
    {"PlayAnim", CmdPlayAnim},
    {"FreeAnim", CmdFreeAnim},
    {"ScaleAnim", CmdScaleAnim},
    {"PlayAnimDisk", CmdPlayAnimDisk},
    {"LoadAnimFrame", CmdLoadAnimFrame},
    {"LoadAnim", CmdLoadAnim},
    {"IsAnim", CmdIsAnim},
    {"CreateAnim", CmdCreateAnim},
    {"CopyAnim", CmdCopyAnim},
    {"GetAnimFrame", CmdGetAnimFrame},
    {"DisplayAnimFrame", CmdDisplayAnimFrame},
    {"ModifyAnimFrames", CmdModifyAnimFrames},
    {"SelectAnim", CmdSelectAnim},
    {"SaveAnim", CmdSaveAnim},
    {"BeginAnimStream", CmdBeginAnimStream},
    {"WriteAnimFrame", CmdWriteAnimFrame},
    {"FinishAnimStream", CmdFinishAnimStream},
    {"SetAnimFrameDelay", CmdSetAnimFrameDelay},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"DEINTERLACE_DEFAULT", nullptr, CX_DEINTERLACE_DEFAULT},
    {"DEINTERLACE_DOUBLE", nullptr, CX_DEINTERLACE_DOUBLE},
    {"ANMFMT_GIF", nullptr, 0},
    {"ANMFMT_MJPEG", nullptr, 1},
    // The speeds anims share with moves and transition effects.
    {"NORMALSPEED", nullptr, -1},
    {"FASTSPEED", nullptr, -2},
    {"SLOWSPEED", nullptr, -3},
    {"DEFAULTSPEED", nullptr, -4},
    {nullptr, nullptr, 0},
};

// LoadSprite's road into the shared loader.
int LoadFrames(lua_State *L, int kind, cxObjectID *id, const char *file, int optionsIndex) {
    cxAnimLoadOptions o;
    InitAnimLoadOptions(&o);
    ReadAnimLoadOptions(L, optionsIndex, &o);
    return LoadAnimCore(L, kind, id, file, &o, nullptr);
}

// Anims for the move engine.
int FindForMoves(lua_State *L, cxObjectID id, void **record, int32_t *width, int32_t *height, int32_t *frames) {
    cxAnim *a = nullptr;
    if (int err = FindAnim(L, id, &a, 0)) return err;
    *record = a;
    *width = a->width, *height = a->height, *frames = a->frames;
    return 0;
}

int FrameForMoves(void *record, int32_t frame, cxBitmap **bitmap, cxBitmap **mask, cxBitmap **alpha, int *owned) {
    auto *a = static_cast<cxAnim *>(record);
    *owned = a->diskBased != 0;
    return GetAnimFrameBitmaps(a, frame, 0, 0, bitmap, mask, alpha);
}

int32_t DelayForMoves(void *record, int32_t frame) { return GetAnimFrameDelay(static_cast<cxAnim *>(record), frame); }

void LockForMoves(void *record, int delta) {
    // (At exit the anim may have gone first.)
    cxAnim *a = GetFirstAnim();
    while (a && a != record) a = reinterpret_cast<cxAnim *>(a->header.next);
    if (!a) return;
    if (delta > 0) a->lockCount++;
    else if (a->lockCount > 0) a->lockCount--;
}

}  // namespace

extern "C" int OpenAnimLibrary(lua_State *L) {
    g_state = L;
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "anim")) return err;
    luaL_openconstants(L, kConstants, 0);
    GetAnimList();
    GetAnimStreamList();
    const cxAnimHooks hooks{BuildFrames,   LoadFrames,    AnimFrameTarget, FindForMoves,
                            FrameForMoves, DelayForMoves, LockForMoves};
    SetAnimHooks(&hooks);
    InstallAnimLayerHooks();
    return 0;
}

extern "C" void FreeAnimObjects(void) {
    FreeAllAnims(g_state);
    FreeAllAnimStreams();
}

extern "C" int PreloadAnimItem(lua_State *L, const cxPreprocItem *item) {
    cxAnimLoadOptions o;
    InitAnimLoadOptions(&o);
    for (const cxPreprocTag *t = item->tags; t; t = t->next) {
        if (!t->key) continue;
        const int32_t n = t->kind == CX_TAG_NUMBER ? int32_t(t->number) : 0;
        const bool text = t->kind == CX_TAG_STRING && t->text;
        if (strcasecmp(t->key, "transparency") == 0) o.transparentColour = n;
        else if (strcasecmp(t->key, "loadalpha") == 0) o.loadAlpha = n != 0;
        else if (strcasecmp(t->key, "loadtransparency") == 0) o.loadTransparency = n != 0;
        else if (strcasecmp(t->key, "x") == 0) o.x = n;
        else if (strcasecmp(t->key, "y") == 0) o.y = n;
        else if (strcasecmp(t->key, "width") == 0) o.width = n;
        else if (strcasecmp(t->key, "height") == 0) o.height = n;
        else if (strcasecmp(t->key, "fpr") == 0) o.framesPerRow = n;
        else if (strcasecmp(t->key, "frames") == 0) o.frames = n;
        else if (strcasecmp(t->key, "fromdisk") == 0) o.fromDisk = n != 0;
        else if (strcasecmp(t->key, "skiploopframes") == 0) o.skipLoopFrames = n != 0;
        else if (strcasecmp(t->key, "deinterlace") == 0) o.deinterlace = n;
        else if (strcasecmp(t->key, "loader") == 0 && text) snprintf(o.loaders, sizeof o.loaders, "%s", t->text);
        else if (strcasecmp(t->key, "adapter") == 0 && text) snprintf(o.adapters, sizeof o.adapters, "%s", t->text);
        else if (strcasecmp(t->key, "cache") == 0 && text) snprintf(o.cache, sizeof o.cache, "%s", t->text);
        else if (strcasecmp(t->key, "cachedload") == 0 && text)
            snprintf(o.cachedLoad, sizeof o.cachedLoad, "%s", t->text);
    }
    if (o.loadAlpha) o.cacheAlpha = 0;
    // A file linked into the applet is read from there.
    char window[1024];
    const char *file = ResolveLinkedFileName(GetRunningApplet(), item->name ? item->name : "", 0, nullptr, window,
                                             sizeof window);
    cxObjectID id{item->id, nullptr};
    return LoadAnimCore(L, CX_LOAD_ANIM, &id, file, &o, nullptr);
}
