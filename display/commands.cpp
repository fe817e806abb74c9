// The "display" library's commands.
#include "display/commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/backend.h"
#include "display/display_record.h"
#include "display/menus.h"
#include "display/monitors.h"
#include "display/open.h"
#include "display/options.h"
#include "display/placement.h"
#include "display/picture.h"
#include "display/present.h"
#include "display/size.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/runtime/table_fields.h"
#include "graphics/bitmap/bitmap.h"
#include "window/x11/x11_window.h"
#include "window/x11/x11_window_ops.h"

namespace {

int FindArgDisplay(lua_State *L, int index, cxDisplay **out) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    return FindDisplay(id, out);
}

cxDisplay *Current() { return GetCurrentDisplay(); }

// The steps of CreateDisplay after the options were read into the scratch
// record: scale state, the picture, the window record, the mutex.
int FinishNewDisplay(lua_State *L, cxDisplay *d, const cxDisplayOptionResult &r) {
    if (d->mode == CX_MODE_SYSTEMSCALE) {
        double system = 1.0;
        OsGetDisplayScale(&system);
        d->scaleFactor *= system;
        d->systemScaled = 1;
        d->mode = CX_MODE_WINDOWED;
    }
    if (d->scaleFactor != 1.0) {
        d->scaling = 1;
        d->os.scaledWidth = int32_t(d->scaleFactor * d->os.width);
        d->os.scaledHeight = int32_t(d->scaleFactor * d->os.height);
        if (d->os.scaledWidth < 1 || d->os.scaledHeight < 1 || d->os.scaledWidth > CX_DISPLAY_MAX_SIDE ||
            d->os.scaledHeight > CX_DISPLAY_MAX_SIDE) {
            SetDisplaySizeDetail(d->os.scaledWidth, d->os.scaledHeight);
            return ERR_DISPLAYSIZE;
        }
        if (!d->layerScale) {
            d->autoScale = 1;
            d->os.flags |= CX_DISPLAY_SCALEMODE1;
        }
        ScaleDisplayCoords(d, &d->os.x, &d->os.y, 1, 1);
    }
    if (d->restoreWidth < 0) d->restoreWidth = int32_t(int64_t(d->os.width) * -d->restoreWidth / 100);
    if (d->restoreHeight < 0) d->restoreHeight = int32_t(int64_t(d->os.height) * -d->restoreHeight / 100);
    int32_t placedWidth = 0, placedHeight = 0;
    RestoreDisplayPlacement(L, d, &placedWidth, &placedHeight);
    if (d->desktop) {
        int32_t mx, my, mw, mh;
        if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
        if (r.bgpicGiven) return ERR_DISPLAYDESKTOP;
        d->os.width = mw;
        d->os.height = mh;
    }
    if (d->backfillWindow || d->resourceMonitor) d->os.flags |= CX_DISPLAY_HIDEFROMTASKBAR;
    if (d->mode == CX_MODE_FULLSCREENSCALE) {
        int32_t mx, my, mw, mh;
        if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
        if (d->os.flags & CX_DISPLAY_NOSCALEENGINE) {
            d->restoreWidth = mw;
            d->restoreHeight = mh;
        } else {
            d->os.flags |= CX_DISPLAY_BORDERLESS | CX_DISPLAY_FIXED | CX_DISPLAY_SCALEMODE1;
            d->autoScale = 1;
            d->os.scaledWidth = mw;
            d->os.scaledHeight = mh;
        }
        d->fullscreenScale = 1;
        d->mode = CX_MODE_WINDOWED;
    }
    d->layersOn = (d->layerScale || (d->os.flags & CX_DISPLAY_LAYERS)) ? 1 : 0;
    if (!d->autoScale && !d->layerScale) {
        d->os.scaledWidth = d->os.scaledHeight = 0;
        memset(d->scaleBorders, 0, sizeof d->scaleBorders);
    } else if (d->os.scaledWidth <= 0 || d->os.scaledHeight <= 0) {
        // A scale mode without a scaled size shows the picture at its size.
        d->os.scaledWidth = d->os.width;
        d->os.scaledHeight = d->os.height;
    }
    if (!r.bgpicGiven) {
        if (int err = GetDisplayPictureHooks()->makeOwnPicture(L, d)) return err;
    }
    d->clipX = d->clipY = 0;
    d->clipWidth = d->pictureWidth;
    d->clipHeight = d->pictureHeight;
    if (d->autoScale || d->layerScale) FitScaledSize(d, d->os.scaledWidth, d->os.scaledHeight);
    // The size the window was left at, now that the picture exists; when
    // that fails the declared size stays.
    if (placedWidth > 0 && (placedWidth != d->os.width || placedHeight != d->os.height))
        ResizeDisplay(L, d, CX_POS_KEEP, CX_POS_KEEP, placedWidth, placedHeight, d->os.smooth, 0, 0,
                      CX_RESIZE_CLOSED);
    ResetTextCursor(d);
    OsGetFontResolution(&d->fontResX, &d->fontResY);
    if (!HasDisplayAdapter())
        if (int err = OsAllocWindowRecord(&d->os)) return err;
    d->refreshMutex = OsCreateMutex();
    if (!d->refreshMutex) return ERR_SEMAPHORE;
    if (r.placement) {
        free(d->placement);  // the script's own wins over a stored one
        d->placement = static_cast<uint8_t *>(malloc(r.placementLength + 1));
        if (!d->placement) return ERR_MEM;
        memcpy(d->placement, r.placement, r.placementLength + 1);
        d->placementLength = uint32_t(r.placementLength);
    }
    return 0;
}

// Makes a display current; activates it unless told not to.
void MakeCurrent(lua_State *L, cxDisplay *d, int activate) {
    if (d == Current()) return;
    if (activate && d->os.state == CX_DISPLAY_SHOWN) ActivateDisplayWindow(d, 1);
    SetCurrentDisplayRecord(d);
    GetDisplayPictureHooks()->selectDrawTarget(L, d);
}

int CheckNotRecording() { return IsRecordingVideo() ? ERR_WRONGCMDRECVIDEO : 0; }

}  // namespace

extern "C" int CmdCreateDisplay(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (IsRecordingVideo()) return ERR_VIDRECMULTI;
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const bool hasTable = lua_gettop(L) >= 2 && lua_istable(L, 2);
    if (lua_gettop(L) >= 2 && !hasTable && !lua_isnil(L, 2)) return ERR_TABLEORNIL;
    // Read everything into a scratch record the virtual machine owns: a
    // reader that raises leaves nothing behind.
    cxDisplay *defaults = NewDisplayRecord();
    if (!defaults) return ERR_MEM;
    auto *scratch = static_cast<cxDisplay *>(lua_newuserdata(L, sizeof(cxDisplay)));
    *scratch = *defaults;
    free(defaults);
    scratch->os.owner = nullptr;
    cxDisplayOptionResult r{};
    if (hasTable) {
        if (int err = ParseDisplayOptions(L, 2, scratch, 1, &r)) return err;
        if (int err = ParseCreateOnlyOptions(L, 2, scratch, &r)) return err;
        if (int err = ParseDisplayModeOptions(L, 2, scratch)) return err;
    }
    if (!id.wasNil) FreeDisplayCore(L, cxObjectID{id.value, nullptr}, 0);
    auto *d = static_cast<cxDisplay *>(malloc(sizeof(cxDisplay)));
    if (!d) return ERR_MEM;
    *d = *scratch;
    d->os.owner = d;
    // The ID first: a remembered placement is found by it.
    InitObjectHeader(&d->header, CX_OBJECT_DISPLAY, id.value, id.wasNil);
    if (int err = FinishNewDisplay(L, d, r)) {
        FreeDisplayResources(L, d, 0);
        free(d);
        return err;
    }
    LinkDisplay(d);
    return id.wasNil ? PushObjectID(L, GetObjectID(&d->header)) : 0;
}

extern "C" int CmdFreeDisplay(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return FreeDisplayCore(L, id, 1);
}

extern "C" int CmdOpenDisplay(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = nullptr;
    if (int err = FindArgDisplay(L, 1, &d)) return err;
    if (d->os.state != CX_DISPLAY_CLOSED) return ERR_WRONGUSAGE;
    int noSelect = 0;
    if (lua_gettop(L) >= 2 && lua_istable(L, 2)) {
        auto *next = static_cast<cxDisplay *>(lua_newuserdata(L, sizeof(cxDisplay)));
        *next = *d;
        GetTableTruth(L, 2, "noselect", &noSelect, nullptr);
        char server[256];
        if (GetTableString(L, 2, "xserver", server, sizeof server, nullptr)) {
            if (!AppletIsAtLeast6()) return ERR_OLDAPPLET;
            memcpy(next->os.xserver, server, sizeof server);
        }
        int monitorGiven = 0;
        const int32_t oldMonitor = next->monitor;
        if (int err = ParseMonitorOption(L, 2, next, &monitorGiven)) return err;
        if (monitorGiven && next->monitor != oldMonitor) {
            next->os.x = next->os.y = CX_POS_CENTER;
            next->xOnMonitor = next->yOnMonitor = 1;
        }
        if (int err = ParseDisplayModeOptions(L, 2, next)) return err;
        int v = 0;
        if (GetTableInt(L, 2, "x", &v, nullptr)) {
            next->os.x = v;
            next->xOnMonitor = 1;
        }
        if (GetTableInt(L, 2, "y", &v, nullptr)) {
            next->os.y = v;
            next->yOnMonitor = 1;
        }
        next->os.owner = d;
        *d = *next;
    } else if (lua_gettop(L) >= 2 && !lua_isnil(L, 2)) {
        noSelect = int(lua_tonumber(L, 2)) != 0;
    }
    if (d->mode == CX_MODE_FULLSCREENSCALE) {
        int32_t mx, my, mw, mh;
        if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
        d->os.flags |= CX_DISPLAY_BORDERLESS | CX_DISPLAY_FIXED | CX_DISPLAY_SCALEMODE1;
        d->autoScale = 1;
        FitScaledSize(d, mw, mh);
        d->fullscreenScale = 1;
        d->mode = CX_MODE_WINDOWED;
    }
    if (int err = RealizeDisplay(L, d, 0)) return err;
    if (!noSelect) MakeCurrent(L, d, 0);
    return 0;
}

extern "C" int CmdCloseDisplay(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = nullptr;
    if (int err = FindArgDisplay(L, 1, &d)) return err;
    if (d->os.state == CX_DISPLAY_CLOSED) return ERR_WRONGUSAGE;
    if (d->doubleBuffer2 || (Current() && Current()->doubleBuffer3)) return ERR_HWDBFREEDISP;
    return CloseDisplayWindow(L, d, CX_CLOSE_FREEBACKFILL);
}

extern "C" int CmdSelectDisplay(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = nullptr;
    if (int err = FindArgDisplay(L, 1, &d)) return err;
    const int noActivate = lua_gettop(L) >= 2 ? int(lua_tonumber(L, 2)) : 0;
    MakeCurrent(L, d, !noActivate);
    return 0;
}

extern "C" int CmdActivateDisplay(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxDisplay *d = nullptr;
    if (int err = FindArgDisplay(L, 1, &d)) return err;
    if (d->os.state == CX_DISPLAY_CLOSED) return ERR_CLOSEDDISPLAY;
    const int flag = lua_gettop(L) >= 2 ? int(lua_tonumber(L, 2)) : 0;
    ActivateDisplayWindow(d, flag == 0);
    return 0;
}

extern "C" int CmdShowDisplay(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = Current();
    if (!d || d->os.state != CX_DISPLAY_MINIMISED) return ERR_WRONGUSAGE;
    ShowHideDisplayWindow(d, 0);
    d->os.state = CX_DISPLAY_SHOWN;
    d->os.flags &= ~uint32_t(CX_DISPLAY_HIDDEN);
    RefreshWholeDisplay(L, d, 0);
    return 0;
}

extern "C" int CmdHideDisplay(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = Current();
    if (!d || d->os.state != CX_DISPLAY_SHOWN) return ERR_WRONGUSAGE;
    ShowHideDisplayWindow(d, 1);
    d->os.state = CX_DISPLAY_MINIMISED;
    return 0;
}

extern "C" int CmdMoveDisplay(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxDisplay *d = Current();
    if (!d) return ERR_WRONGUSAGE;
    int32_t x = int32_t(lua_tonumber(L, 1)), y = int32_t(lua_tonumber(L, 2));
    ScaleDisplayCoords(d, &x, &y, 1, 1);
    d->os.x = x;
    d->os.y = y;
    d->hasSaved = 0;
    d->xOnMonitor = d->yOnMonitor = 1;
    if (d->os.state != CX_DISPLAY_CLOSED) {
        ResolveDisplayPosition(d);
        MoveDisplayWindow(d);
    }
    return 0;
}

extern "C" int CmdSetTitle(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxDisplay *d = Current();
    const char *title = GetStringArgChecked(L, 1, nullptr, 0, nullptr);
    if (!d) return ERR_WRONGUSAGE;
    CopyDisplayTitle(d->os.title, title);
    if (d->os.state != CX_DISPLAY_CLOSED) SetDisplayTitle(d);
    return 0;
}

extern "C" int CmdSetDisplayAttributes(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (!lua_istable(L, 1)) return ERR_TABLEORNIL;
    cxDisplay *d = Current();
    if (!d) return ERR_WRONGUSAGE;
    return ApplyDisplayAttributes(L, 1, d, 0);
}

extern "C" int CmdChangeDisplaySize(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxDisplay *d = Current();
    if (!d) return ERR_WRONGUSAGE;
    const int32_t pw = d->pictureWidth, ph = d->pictureHeight;
    double w = 0, h = 0;
    if (lua_type(L, 1) == LUA_TNUMBER && lua_tonumber(L, 1) == CX_SIZE_MONITOR) w = CX_SIZE_MONITOR;
    else w = GetNumberOrPercentArg(L, 1, pw, 1, nullptr);
    if (lua_type(L, 2) == LUA_TNUMBER && lua_tonumber(L, 2) == CX_SIZE_MONITOR) h = CX_SIZE_MONITOR;
    else h = GetNumberOrPercentArg(L, 2, ph, 1, nullptr);
    int32_t x = CX_POS_KEEP, y = CX_POS_KEEP;
    uint32_t smooth = d->os.smooth;
    if (lua_gettop(L) >= 3) {
        if (lua_istable(L, 3)) {
            int s = 0;
            if (GetTableTruth(L, 3, "smooth", &s, nullptr)) smooth = s ? 1 : 0;
            GetTableInt(L, 3, "x", &x, nullptr);
            GetTableInt(L, 3, "y", &y, nullptr);
        } else {
            smooth = lua_tonumber(L, 3) != 0;
        }
    }
    if (!std::isfinite(w) || !std::isfinite(h)) return ERR_WRONGUSAGE;
    int32_t width = int32_t(w), height = int32_t(h);
    if (width == CX_SIZE_MONITOR || height == CX_SIZE_MONITOR) {
        int32_t mx, my, mw, mh;
        if (int err = GetDisplayMonitorInfo(d, &mx, &my, &mw, &mh)) return err;
        if (width == CX_SIZE_MONITOR) width = mw;
        if (height == CX_SIZE_MONITOR) height = mh;
    }
    if (width == CX_SIZE_KEEPASPECT && height == CX_SIZE_KEEPASPECT) return ERR_WRONGUSAGE;
    if (width == CX_SIZE_KEEPASPECT && ph > 0) width = int32_t(int64_t(height) * pw / ph);
    if (height == CX_SIZE_KEEPASPECT && pw > 0) height = int32_t(int64_t(width) * ph / pw);
    if (x == CX_POS_KEEP_OR_CENTER) x = CX_POS_CENTER;
    if (y == CX_POS_KEEP_OR_CENTER) y = CX_POS_CENTER;
    ScaleDisplayCoords(d, &x, &y, 1, 1);
    uint32_t flags = d->scaling ? CX_RESIZE_PICTURE : CX_RESIZE_PLACE;
    if (d->scaling && (x != CX_POS_KEEP || y != CX_POS_KEEP)) flags |= CX_RESIZE_PLACE;
    if (d->os.state == CX_DISPLAY_CLOSED) flags |= CX_RESIZE_CLOSED;
    if (int err = ResizeDisplay(L, d, x, y, width, height, smooth, 0, 0, flags)) return err;
    d->hasSaved = 0;
    return 0;
}

extern "C" int CmdChangeDisplayMode(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    if (int err = CheckNotRecording()) return err;
    cxDisplay *d = Current();
    if (!d) return ERR_WRONGUSAGE;
    if (d->os.state == CX_DISPLAY_CLOSED) return ERR_CLOSEDDISPLAY;
    uint32_t mode = 0;
    if (lua_type(L, 1) == LUA_TSTRING) mode = FindDisplayModeKeyword(lua_tostring(L, 1));
    else mode = uint32_t(lua_tonumber(L, 1));
    if (mode != CX_MODE_WINDOWED && mode != CX_MODE_FULLSCREEN) return ERR_WRONGUSAGE;
    if (mode == CX_MODE_WINDOWED && !d->os.fullscreen) return 0;
    auto *next = static_cast<cxDisplay *>(lua_newuserdata(L, sizeof(cxDisplay)));
    *next = *d;
    int32_t width = d->os.width, height = d->os.height;
    if (lua_gettop(L) >= 2 && !lua_isnil(L, 2)) width = int32_t(lua_tonumber(L, 2));
    if (lua_gettop(L) >= 3 && !lua_isnil(L, 3)) height = int32_t(lua_tonumber(L, 3));
    if (lua_gettop(L) >= 4 && lua_istable(L, 4)) {
        int given = 0;
        const int32_t before = next->monitor;
        if (int err = ParseMonitorOption(L, 4, next, &given)) return err;
        if (given && before != next->monitor && d->os.fullscreen) next->previousMonitor = before + 1;
        if (int err = ParseDisplayModeOptions(L, 4, next)) return err;
        next->mode = d->mode;
    }
    if (mode == CX_MODE_FULLSCREEN) {
        if (width == CX_SIZE_MONITOR || height == CX_SIZE_MONITOR) {
            int32_t mx, my, mw, mh;
            if (int err = GetDisplayMonitorInfo(next, &mx, &my, &mw, &mh)) return err;
            if (width == CX_SIZE_MONITOR) width = mw;
            if (height == CX_SIZE_MONITOR) height = mh;
        }
        if (width < 1 || height < 1 || width < d->os.width || height < d->os.height) return ERR_WRONGUSAGE;
        next->screenWidth = width;
        next->screenHeight = height;
    } else if (next->previousMonitor > 0) {
        next->monitor = next->previousMonitor - 1;
        next->previousMonitor = 0;
    }
    next->mode = mode;
    const cxDisplay old = *d;
    *d = *next;
    if (int err = RealizeDisplay(L, d, CX_REALIZE_SWITCH)) {
        // The window could not be made in the new mode: back to the old one.
        const cxDisplay failed = *d;
        *d = old;
        d->os.state = CX_DISPLAY_CLOSED;
        d->os.handle = failed.os.handle;
        d->adapterHandle = failed.adapterHandle;
        RealizeDisplay(L, d, 0);
        return err;
    }
    return 0;
}

extern "C" int CmdGetDisplayModes(lua_State *L) {
    CheckArgCount(L, 0, 1, 0, 0);
    int monitor = lua_gettop(L) >= 1 ? int(lua_tonumber(L, 1)) : 1;
    if (monitor < 1 || monitor > CountMonitors()) {
        SetErrorNumber(monitor);
        return ERR_MONITORRANGE;
    }
    cxDisplay probe{};
    if (Current()) memcpy(probe.os.xserver, Current()->os.xserver, sizeof probe.os.xserver);
    probe.monitor = monitor - 1;
    cxDisplayModeEntry *modes = nullptr;
    int count = 0;
    if (int err = GetDisplayModeList(&probe, &modes, &count)) return err;
    lua_newtable(L);
    for (int i = 0; i < count; ++i) {
        lua_newtable(L);
        SetTableNumber(L, "width", modes[i].width);
        SetTableNumber(L, "height", modes[i].height);
        lua_rawseti(L, -2, i);
    }
    free(modes);
    return 1;
}

extern "C" int CmdGetMonitors(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    cxOsMonitor *list = GetMonitorList(Current());
    if (!list) return ERR_MEM;
    lua_newtable(L);
    int i = 0;
    for (cxOsMonitor *m = list; m; m = m->next, ++i) {
        lua_newtable(L);
        SetTableNumber(L, "x", m->x);
        SetTableNumber(L, "y", m->y);
        SetTableNumber(L, "width", m->width);
        SetTableNumber(L, "height", m->height);
        lua_rawseti(L, -2, i);
    }
    OsFreeMonitorList(list);
    return 1;
}

extern "C" int CmdUnsupportedScreenCommand(lua_State *) { return ERR_UNSUPPORTEDFEAT; }
