// The "video" library's commands.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "display/display_record.h"
#include "display/present.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/runtime.h"
#include "engine/runtime/table_fields.h"
#include "errors/errors.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "images/brushes/brush.h"
#include "images/core/argb_bitmaps.h"
#include "images/core/new_id.h"
#include "images/core/render_target.h"
#include "media/video/video_display.h"
#include "media/video/video_internal.h"
#include "media/video/video_layers.h"

namespace {

int32_t Int(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return 0;
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(std::trunc(v));
}

int64_t Int64(lua_State *L, int index) {
    const double v = luaL_checknumber(L, index);
    if (!std::isfinite(v)) return -1;
    return v < -1e15 ? int64_t(-1e15) : v > 1e15 ? int64_t(1e15) : int64_t(std::trunc(v));
}

cxVideo *Arg(lua_State *L, int index, uint32_t flags, int *err) {
    cxObjectID id{};
    GetObjectIDArg(&id, L, index);
    cxVideo *v = nullptr;
    *err = FindVideo(L, id, &v, flags);
    return v;
}

int RepaintDisplay(lua_State *L, cxDisplay *d) {
    if (!d) return 0;
    const int err = RefreshWholeDisplay(L, d, 0);
    RedrawDisplayVideos(d);
    return err;
}

}  // namespace

int BeginVideoPlayback(lua_State *L, cxVideo *v, void *layer, int channel, int useLayer, int optionsIndex) {
    if (!v) {
        if (!layer) return ERR_WRONGUSAGE;
        return PlayVideoLayer(L, layer);
    }
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    if (!d->layersOn) {
        if (d->os.state == CX_DISPLAY_CLOSED && !d->listeners) return ERR_WRONGUSAGE;
        // Pictures go straight to the window, which a see-through
        // background would show through.
        if ((d->bgpic && d->bgpic->transparentColour != CX_NO_TRANSPARENT_COLOUR) || d->shapeMask || d->shapeAlpha)
            return ERR_VIDEOTRANS;
        if (useLayer) return ERR_NOLAYERS;
    }
    if (IsRecordingVideo()) return ERR_WRONGCMDRECVIDEO;
    if (VideoState(v) == CX_VIDEO_ENDED) StopVideoPlayback(L, v, nullptr, 0, 0);
    // A busy video plays in a layer as a second copy of itself.
    if (useLayer) return PlayVideoInLayer(L, v, channel, optionsIndex);
    const uint32_t s = VideoState(v);
    if (s == CX_VIDEO_PLAYING || s == CX_VIDEO_SUSPENDED) return ERR_VIDPLAYING;
    if (s == CX_VIDEO_PAUSED) return ERR_VIDPAUSED;
    if (VideoShownByLayers(v) > 0) return ERR_DBVIDEOLAYER;
    ComputeVideoGeometry(v, d);
    v->display = d;
    v->isLayer = 0;
    return StartVideoOnDisplay(L, v, channel, nullptr);
}

extern "C" int CmdOpenVideo(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    NewID n = ReadNewID(L, 1);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    char loader[256], adapter[256] = "";
    snprintf(loader, sizeof loader, "%s", GetDefaultVideoLoaders());
    if (lua_gettop(L) >= 3 && lua_istable(L, 3)) {
        GetTableString(L, 3, "loader", loader, sizeof loader, nullptr);
        GetTableString(L, 3, "adapter", adapter, sizeof adapter, nullptr);
    }
    if (int err = OpenVideoObject(L, &n.id, file, loader, adapter, 0, nullptr)) return err;
    return NewIDResult(L, n);
}

extern "C" int CmdCloseVideo(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    return CloseVideoObject(L, id);
}

extern "C" int CmdPlayVideo(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    cxDisplay *d = GetCurrentDisplay();
    if (int e = RefuseRedirectedOutput(d)) return e;
    const int top = lua_gettop(L);
    int table = 0;
    if (top >= 4 && lua_istable(L, 4)) table = 4;
    else if (top == 2 && lua_istable(L, 2)) table = 2;
    int useLayer = 0, channel = 0;
    if (table) {
        GetTableInt(L, table, "uselayer", &useLayer, nullptr);
        GetTableInt(L, table, "channel", &channel, nullptr);
        if (useLayer && !AppletVersionAtLeast(6, 0)) return ERR_OLDAPPLET;
    }
    const bool hasPosition = top >= 3 && !lua_istable(L, 2);
    if (hasPosition && d) {
        v->x = ResolveSpecialX(Int(L, 2), v->width, d->pictureWidth, 0);
        v->y = ResolveSpecialY(Int(L, 3), v->height, d->pictureHeight, 0);
    }
    return BeginVideoPlayback(L, v, nullptr, channel - 1, useLayer, table);
}

extern "C" int CmdStopVideo(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    return StopVideoPlayback(L, v, nullptr, 1, 0);
}

extern "C" int CmdPauseVideo(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    return PauseVideoPlayback(L, v, nullptr);
}

extern "C" int CmdResumeVideo(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    return ResumeVideoPlayback(L, v, nullptr);
}

extern "C" int CmdSeekVideo(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    return SeekVideoPlayback(L, v, nullptr, Int64(L, 2));
}

extern "C" int CmdIsVideo(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *file = GetFileNameArg(L, 1, 0, nullptr);
    char loader[256] = "", adapter[256] = "";
    if (lua_gettop(L) >= 2 && lua_istable(L, 2)) {
        GetTableString(L, 2, "loader", loader, sizeof loader, nullptr);
        GetTableString(L, 2, "adapter", adapter, sizeof adapter, nullptr);
    }
    cxVideoPlayer *p = nullptr;
    const int err = OpenVideoPlayer(file, loader, adapter, &p, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (err) SetErrorDetail(nullptr);
    CloseVideoPlayer(p);
    lua_pushnumber(L, err ? 0 : 1);
    return 1;
}

extern "C" int CmdSetVideoSize(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, CX_VIDEO_WRITE, &err);
    if (err) return err;
    if (v->isLayer) return ERR_VIDLAYERFUNC;
    auto side = [&](int index, int32_t base) {
        const double d = GetNumberOrPercentArg(L, index, base, 1, nullptr);
        return std::isfinite(d) && d >= INT32_MIN && d <= INT32_MAX ? int32_t(d) : 0;
    };
    int32_t w = side(2, v->sourceWidth), h = side(3, v->sourceHeight);
    const uint32_t smooth = lua_gettop(L) >= 4 ? Int(L, 4) != 0 : 0;
    if (int e = ApplyKeepAspectRatio(v->sourceWidth, v->sourceHeight, &w, &h)) return e;
    if (w < 1 || h < 1) return ERR_BADDIMENSIONS;
    if (w == v->width && h == v->height && smooth == v->smooth) return 0;
    v->width = w, v->height = h, v->smooth = smooth;
    if (IsVideoActive(v) && !v->isLayer) {
        ComputeVideoGeometry(v, v->display);
        SetVideoPlayerGeometry(v->player, v->displayX, v->displayY, v->displayWidth, v->displayHeight, int(smooth));
        return RepaintDisplay(L, v->display);
    }
    ComputeVideoGeometry(v, nullptr);
    return 0;
}

extern "C" int CmdSetVideoPosition(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, CX_VIDEO_WRITE, &err);
    if (err) return err;
    if (v->isLayer) return ERR_VIDLAYERFUNC;
    cxDisplay *d = v->display ? v->display : GetCurrentDisplay();
    const int32_t room = d ? d->pictureWidth : 0, roomY = d ? d->pictureHeight : 0;
    v->x = ResolveSpecialX(Int(L, 2), v->width, room, 0);
    v->y = ResolveSpecialY(Int(L, 3), v->height, roomY, 0);
    ComputeVideoGeometry(v, d);
    if (IsVideoActive(v)) {
        SetVideoPlayerGeometry(v->player, v->displayX, v->displayY, v->displayWidth, v->displayHeight, int(v->smooth));
        return RepaintDisplay(L, v->display);
    }
    return 0;
}

extern "C" int CmdSetVideoVolume(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    const double vol = GetNumberOrPercentArg(L, 2, 64, 1, nullptr);
    return SetVideoPlaybackVolume(L, v, nullptr, std::isfinite(vol) ? int32_t(std::clamp(vol, -1.0, 65.0)) : 0);
}

extern "C" int CmdGetVideoFrame(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    NewID n = ReadNewID(L, 1);
    const int64_t frame = Int64(L, 2);
    int err = 0;
    cxVideo *v = Arg(L, 3, 0, &err);
    if (err) return err;
    const int mode = lua_gettop(L) >= 4 ? Int(L, 4) : 0;
    if (VideoState(v) != CX_VIDEO_STOPPED) return ERR_FGRABVIDSTATE;
    if (VideoShownByLayers(v) > 0) return ERR_WRONGUSAGE;
    if (mode == 0) {
        if (frame < 1) return ERR_VIDEOFRAME;
    } else if (mode == 1) {
        if (!v->seekable) return ERR_SEEKFORMAT;
        if (frame < 0 || frame >= int64_t(v->duration)) return ERR_SEEKRANGE;
    } else {
        return ERR_WRONGUSAGE;
    }
    if (!n.automatic) {
        if (int e = FreeBrushByID(L, n.id, 0)) return e;
    }
    const uint32_t *px = nullptr;
    int32_t w = 0, h = 0;
    if (int e = GetVideoFrameAt(v->player, mode == 0 ? frame - 1 : frame, mode, &px, &w, &h)) return e;
    cxBitmap *b = nullptr;
    if (int e = MakeBitmapFromARGB(px, -1, w, h, w, &b, nullptr)) return e;
    if (int e = AddBrushRecord(&n.id, CX_BRUSH_BITMAP, w, h, w, 0, nullptr, b, -1, nullptr, nullptr, nullptr,
                               nullptr)) {
        FreeBitmap(b);
        return e;
    }
    return NewIDResult(L, n);
}

extern "C" int CmdIsVideoPlaying(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    lua_pushnumber(L, VideoState(v) == CX_VIDEO_PLAYING ? 1 : 0);
    return 1;
}

extern "C" int CmdForceVideoMode(lua_State *) { return ERR_UNSUPPORTEDFEAT; }

extern "C" int CmdForceVideoDriver(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const int32_t driver = Int(L, 1);
    if (driver == 0) SetDefaultVideoLoaders("native");
    else if (driver == 1) SetDefaultVideoLoaders("inbuilt|plugin");
    return 0;
}

extern "C" int CmdDumpVideo(lua_State *L) {
    CheckArgCount(L, 1, 5, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    const int top = lua_gettop(L);
    int32_t x = top >= 2 ? Int(L, 2) : 0, y = top >= 3 ? Int(L, 3) : 0;
    const char *base = top >= 4 && !lua_isnil(L, 4) ? luaL_checkstring(L, 4) : nullptr;
    const int32_t format = top >= 5 ? Int(L, 5) : 0;
    if (VideoState(v) != CX_VIDEO_STOPPED || uint32_t(format) > 4) return ERR_WRONGUSAGE;
    static const char *const kExtensions[] = {"bmp", "png", "jpg", "gif", "iff"};
    cxDisplay *d = GetCurrentDisplay();
    if (!d) return ERR_WRONGUSAGE;
    x = ResolveSpecialX(x, v->sourceWidth, d->pictureWidth, 0);
    y = ResolveSpecialY(y, v->sourceHeight, d->pictureHeight, 0);
    return ExportVideoFrames(L, v->player, d, x, y, base, format, kExtensions[format]);
}

extern "C" int CmdDisplayVideoFrame(lua_State *L) {
    CheckArgCount(L, 4, 5, 0, 0);
    int err = 0;
    cxVideo *v = Arg(L, 1, 0, &err);
    if (err) return err;
    const int64_t ms = Int64(L, 2);
    const int32_t x = Int(L, 3), y = Int(L, 4);
    cxDisplay *d = GetCurrentDisplay();
    if (int e = RefuseRedirectedOutput(d)) return e;
    if (!d || !d->layersOn) return ERR_NOLAYERS;
    if (ms != 0 && !v->seekable) return ERR_SEEKFORMAT;
    if (ms < 0 || (ms != 0 && ms > int64_t(v->duration) - 1)) return ERR_SEEKRANGE;
    return DisplayVideoFrameLayer(L, v, ms, x, y, lua_gettop(L) >= 5 ? 5 : 0);
}
