// The transitionfx commands. Each fills an effect instance from its
// arguments, positional (type, speed, parameter after the object) or a
// table as the last argument, and runs it, again while the engine asks for
// a restart (the picture changed size during a layer effect).
#include "layers/transitions/transitionfx_library.h"

#include <cmath>
#include <vector>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_display.h"
#include "images/core/display_core.h"
#include "layers/core/layer_list.h"
#include "layers/transitions/effect_engine.h"
#include "layers/transitions/effect_traits.h"

namespace {

constexpr int32_t kInvalidEffect = -1000;
// A display resized again and again would restart an effect for ever.
constexpr int kMaxRestarts = 64;

int32_t Saturate(double v, int32_t invalid) {
    if (std::isnan(v)) return invalid;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(std::trunc(v));
}

cxEffectInstance NewInstance(lua_State *L, int32_t target) {
    cxEffectInstance fx{};
    fx.L = L;
    fx.target = target;
    fx.effect = CX_FX_RANDOM;
    fx.speed = CX_SPEED_NORMAL;
    fx.parameter = CX_FX_RANDOMPARAMETER;
    fx.undoLevel = 1;
    fx.posX = fx.posY = CX_POSITION_ABSENT;
    fx.reverse = target == CX_FXTARGET_HIDELAYER || target == CX_FXTARGET_REMOVELAYER;
    return fx;
}

// The table form: a table as the last argument, right after the object's.
bool TableForm(lua_State *L, int first) { return lua_gettop(L) == first && lua_istable(L, first); }

// The positional settings from argument first on.
void ReadPositional(lua_State *L, int first, cxEffectInstance *fx) {
    const int32_t e = Saturate(luaL_optnumber(L, first, CX_FX_RANDOM), kInvalidEffect);
    fx->effect = (e < 0 || e > CX_FX_RANDOM) ? kInvalidEffect : e;
    fx->speed = Saturate(luaL_optnumber(L, first + 1, CX_SPEED_NORMAL), CX_SPEED_NORMAL);
    fx->parameter = Saturate(luaL_optnumber(L, first + 2, CX_FX_RANDOMPARAMETER), CX_FX_RANDOMPARAMETER);
}

void ReadSettings(lua_State *L, int first, cxEffectInstance *fx) {
    if (TableForm(L, first)) ReadFXOptions(L, first, fx);
    else ReadPositional(L, first, fx);
}

int Run(cxEffectInstance *fx) {
    if (fx->effect == kInvalidEffect) return ERR_WRONGUSAGE;
    for (int round = 0;; ++round) {
        const int r = RunTransitionEffect(fx);
        if (r >= 1000 || !fx->restart || round >= kMaxRestarts) return r;
    }
}

int32_t Coordinate(lua_State *L, int index) { return Saturate(luaL_checknumber(L, index), 0); }

// A layer argument of the layer commands: its position in the BGPic that
// layer commands work on.
int LayerArgument(lua_State *L, int index, cxEffectInstance *fx) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    const cxBGPic *b = d->layersOn ? GetDisplayLayerBGPic(d) : nullptr;
    if (!b && lua_type(L, index) == LUA_TSTRING) return ERR_NOLAYERS;
    int32_t position = 0;
    if (int err = FindLayer(L, index, b, &position)) return err;
    fx->source = cxObjectID{position, nullptr};
    return 0;
}

int LayerCommand(lua_State *L, int32_t target) {
    CheckArgCount(L, 1, 4, 0, 0);
    cxEffectInstance fx = NewInstance(L, target);
    if (int err = LayerArgument(L, 1, &fx)) return err;
    if (TableForm(L, 2)) {
        ReadFXOptions(L, 2, &fx);
        if (target == CX_FXTARGET_LAYER) {
            int emu = 0;
            GetTableTruth(L, 2, "bgpicemu", &emu, nullptr);
            if (emu) {
                int found = 0;
                GetTableObjectID(L, 2, "bgpic", &fx.emuBGPic, &found);
                if (!found) return ERR_MISSINGPARAMTR;
                cxBGPic *b = nullptr;
                if (int err = FindBGPic(L, fx.emuBGPic, &b, 0)) return err;
                fx.bgpicEmu = 1;
                ClearLayersChanged(b);
            }
        }
    } else {
        ReadPositional(L, 2, &fx);
    }
    return Run(&fx);
}

// Brushes and text objects: id, x, y, then the settings.
int ObjectCommand(lua_State *L, int32_t target) {
    CheckArgCount(L, 3, 6, 0, 0);
    cxEffectInstance fx = NewInstance(L, target);
    GetObjectIDArg(&fx.source, L, 1);
    fx.dx = Coordinate(L, 2);
    fx.dy = Coordinate(L, 3);
    ReadSettings(L, 4, &fx);
    return Run(&fx);
}

}  // namespace

extern "C" int CmdDisplayTransitionFX(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    cxEffectInstance fx = NewInstance(L, CX_FXTARGET_BGPIC);
    GetObjectIDArg(&fx.source, L, 1);
    if (TableForm(L, 2)) {
        ReadFXOptions(L, 2, &fx);
        if (fx.async) return ERR_WRONGUSAGE;
        ReadPositionOptions(L, 2, &fx.posX, &fx.posY);
    } else {
        ReadPositional(L, 2, &fx);
    }
    return Run(&fx);
}

extern "C" int CmdShowLayerFX(lua_State *L) { return LayerCommand(L, CX_FXTARGET_LAYER); }
extern "C" int CmdHideLayerFX(lua_State *L) { return LayerCommand(L, CX_FXTARGET_HIDELAYER); }
extern "C" int CmdRemoveLayerFX(lua_State *L) { return LayerCommand(L, CX_FXTARGET_REMOVELAYER); }
extern "C" int CmdDisplayBrushFX(lua_State *L) { return ObjectCommand(L, CX_FXTARGET_BRUSH); }
extern "C" int CmdDisplayTextObjectFX(lua_State *L) { return ObjectCommand(L, CX_FXTARGET_TEXTOBJECT); }

extern "C" int CmdDisplayBGPicPartFX(lua_State *L) {
    CheckArgCount(L, 5, 11, 0, 0);
    cxEffectInstance fx = NewInstance(L, CX_FXTARGET_BGPICPART);
    GetObjectIDArg(&fx.source, L, 1);
    fx.srcX = Coordinate(L, 2);
    fx.srcY = Coordinate(L, 3);
    fx.width = Coordinate(L, 4);
    fx.height = Coordinate(L, 5);
    fx.dx = fx.srcX, fx.dy = fx.srcY;
    if (TableForm(L, 6)) {
        ReadFXOptions(L, 6, &fx);
    } else {
        ReadPositional(L, 6, &fx);
        fx.dx = Saturate(luaL_optnumber(L, 9, fx.srcX), fx.srcX);
        fx.dy = Saturate(luaL_optnumber(L, 10, fx.srcY), fx.srcY);
        fx.layersFlag = luaL_optnumber(L, 11, 0) != 0 ? 1 : 0;
    }
    if (fx.layersFlag) {
        cxDisplay *d = GetCurrentDisplay();
        if (!d || !d->layersOn) return ERR_WRONGUSAGE;
    }
    return Run(&fx);
}

extern "C" int CmdUndoFX(lua_State *L) {
    CheckArgCount(L, 2, 6, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    cxBGPic *b = d->layersOn ? GetDisplayLayerBGPic(d) : nullptr;
    if (!b) return ERR_NOLAYERS;
    const int32_t kind = Saturate(luaL_checknumber(L, 1), -1);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 2);
    cxEffectInstance fx = NewInstance(L, CX_FXTARGET_REMOVELAYER);
    if (TableForm(L, 3)) {
        ReadFXOptions(L, 3, &fx);
    } else {
        ReadPositional(L, 3, &fx);
        fx.undoLevel = Saturate(luaL_optnumber(L, 6, 1), 1);
    }
    // The level-th layer, from the front, made by displaying the object.
    int32_t position = CountLayers(b), found = 0;
    for (cxLayer *l = LayerOfNode(b->layers.tail); l; l = PrevLayer(l), --position) {
        if (l->type != kind || l->origin.number != id.number || l->origin.pointer != id.pointer) continue;
        if (++found == fx.undoLevel) break;
    }
    if (found != fx.undoLevel || fx.undoLevel < 1 || position < 1) return ERR_FINDARRAY;
    fx.source = cxObjectID{position, nullptr};
    return Run(&fx);
}

extern "C" int CmdClearScreen(lua_State *L) {
    CheckArgCount(L, 1, 4, 0, 0);
    cxDisplay *d = GetCurrentDisplay();
    if (!d) {
        SetErrorNumber(0);
        return ERR_FINDDISPLAY;
    }
    cxEffectInstance fx = NewInstance(L, CX_FXTARGET_BGPIC);
    const int32_t e = Saturate(luaL_checknumber(L, 1), kInvalidEffect);
    fx.effect = (e < 0 || e > CX_FX_RANDOM) ? kInvalidEffect : e;
    const uint32_t colour = uint32_t(int64_t(luaL_optnumber(L, 2, 0))) & 0xFFFFFFu;
    if (TableForm(L, 3)) {
        ReadFXOptions(L, 3, &fx);
        if (fx.async) return ERR_WRONGUSAGE;
    } else {
        fx.speed = Saturate(luaL_optnumber(L, 3, CX_SPEED_NORMAL), CX_SPEED_NORMAL);
        fx.parameter = Saturate(luaL_optnumber(L, 4, CX_FX_RANDOMPARAMETER), CX_FX_RANDOMPARAMETER);
    }
    if (fx.effect == kInvalidEffect) return ERR_WRONGUSAGE;
    const cxBGPic *shown = d->bgpic;
    const int32_t w = shown ? shown->currentWidth : d->pictureWidth, h = shown ? shown->currentHeight : d->pictureHeight;
    // The temporary BGPic goes by an automatic ID only this command knows.
    cxObjectID temp{0, reinterpret_cast<void *>(1)};
    if (int err = CreateColorBGPic(&temp, w, h, colour)) return err;
    fx.source = temp;
    const int r = Run(&fx);
    // Freed whatever the result; while it is on show it goes once another
    // picture replaces it.
    FreeBGPicByID(L, temp, 0);
    return r;
}

extern "C" int CmdGetRandomFX(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const double v = luaL_checknumber(L, 1);
    lua_pushnumber(L, PickRandomEffect(v != 0 ? 1 : 0));
    return 1;
}

namespace {

const luaL_reg kCommands[] = {
    {"DisplayBrushFX", CmdDisplayBrushFX},
    {"DisplayTextObjectFX", CmdDisplayTextObjectFX},
    {"DisplayTransitionFX", CmdDisplayTransitionFX},
    {"DisplayBGPicPartFX", CmdDisplayBGPicPartFX},
    {"UndoFX", CmdUndoFX},
    {"ShowLayerFX", CmdShowLayerFX},
    {"HideLayerFX", CmdHideLayerFX},
    {"RemoveLayerFX", CmdRemoveLayerFX},
    {"GetRandomFX", CmdGetRandomFX},
    {"ClearScreen", CmdClearScreen},
    {nullptr, nullptr},
};

// The effect names from the traits table, the four second names of the
// scroll effects, RANDOMEFFECT and RANDOMPARAMETER: 145 rows.
std::vector<luaL_Const> Constants() {
    std::vector<luaL_Const> rows;
    rows.reserve(146);
    for (int32_t n = 0; n < CX_FX_COUNT; ++n) {
        const cxEffectTraits *t = GetEffectTraits(n);
        if (t->name) rows.push_back({t->name, nullptr, double(n)});
    }
    rows.push_back({"SCROLLWEST", nullptr, 47});
    rows.push_back({"SCROLLEAST", nullptr, 48});
    rows.push_back({"SCROLLNORTH", nullptr, 49});
    rows.push_back({"SCROLLSOUTH", nullptr, 50});
    rows.push_back({"RANDOMEFFECT", nullptr, CX_FX_RANDOM});
    rows.push_back({"RANDOMPARAMETER", nullptr, CX_FX_RANDOMPARAMETER});
    rows.push_back({nullptr, nullptr, 0});
    return rows;
}

}  // namespace

extern "C" int OpenTransitionLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "transitionfx")) return err;
    std::vector<luaL_Const> rows;
    try {
        rows = Constants();
    } catch (...) {
        return ERR_MEM;
    }
    luaL_openconstants(L, rows.data(), 0);
    InstallEffectHooks();
    return 0;
}

extern "C" void FreeTransitionLibraryState(lua_State *L) {
    FreeAllEffects(L);
    RemoveEffectHooks();
}
