// The six commands that drive the video a VIDEO layer shows: they find and
// check the layer and hand it to the video library's playback.
#include <cmath>

#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "layers/core/layer.h"
#include "layers/core/layer_list.h"
#include "layers/library/layer_ops_commands.h"
#include "layers/ops/layer_frames.h"

namespace {

// Arguments beyond the layer: 0 or 1 (the position or the volume).
int Drive(lua_State *L, int op, int args) {
    CheckArgCount(L, 1 + args, 1 + args, 6, 0);
    cxDisplay *d = nullptr;
    cxBGPic *bgpic = nullptr;
    int32_t position = 0;
    if (int err = CheckLayerCommand(&d, &bgpic)) return err;
    if (int err = FindLayer(L, 1, bgpic, &position)) return err;
    int32_t value = 0;
    if (op == CX_LAYERVIDEO_SEEK) {
        const double v = luaL_checknumber(L, 2);
        value = std::isfinite(v) && v >= -2147483648.0 && v <= 2147483647.0 ? int32_t(v) : -1;
    } else if (op == CX_LAYERVIDEO_VOLUME) {
        const double v = GetNumberOrPercentArg(L, 2, 64, 1, nullptr);
        value = std::isfinite(v) ? int32_t(v < -1 ? -1 : v > 65 ? 65 : v) : 0;
    }
    cxLayer *layer = GetLayerByPos(bgpic, position);
    if (!layer) return ERR_LAYERRANGE;
    if (layer->type != CX_LAYER_VIDEO) return ERR_BADLAYERTYPE;
    const cxLayerVideoHooks *h = GetLayerVideoHooks();
    if (!h->control) return ERR_BADLAYERTYPE;
    return h->control(L, layer, op, value);
}

}  // namespace

extern "C" int CmdPlayLayer(lua_State *L) { return Drive(L, CX_LAYERVIDEO_PLAY, 0); }
extern "C" int CmdStopLayer(lua_State *L) { return Drive(L, CX_LAYERVIDEO_STOP, 0); }
extern "C" int CmdPauseLayer(lua_State *L) { return Drive(L, CX_LAYERVIDEO_PAUSE, 0); }
extern "C" int CmdResumeLayer(lua_State *L) { return Drive(L, CX_LAYERVIDEO_RESUME, 0); }
extern "C" int CmdSeekLayer(lua_State *L) { return Drive(L, CX_LAYERVIDEO_SEEK, 1); }
extern "C" int CmdSetLayerVolume(lua_State *L) { return Drive(L, CX_LAYERVIDEO_VOLUME, 1); }
