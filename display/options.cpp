#include "display/options.h"

#include <cstring>
#include <strings.h>

#include "display/display_record.h"
#include "display/menus.h"
#include "display/monitors.h"
#include "display/picture.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/table_fields.h"
#include "streams/applet_record.h"

static_assert(sizeof(cxBackfillOptions) <= sizeof(((cxDisplay *)nullptr)->backfillOptions),
              "the backfill options fit the record's block");

namespace {

struct FlagOption {
    const char *name;
    uint32_t bit;
};

const FlagOption kFlags[] = {
    {"borderless", CX_DISPLAY_BORDERLESS},       {"sizeable", CX_DISPLAY_SIZEABLE},
    {"fixed", CX_DISPLAY_FIXED},                 {"nomodeswitch", CX_DISPLAY_NOMODESWITCH},
    {"hidepointer", CX_DISPLAY_HIDEPOINTER},     {"nohide", CX_DISPLAY_NOHIDE},
    {"smoothscale", CX_DISPLAY_SMOOTHSCALE},     {"active", CX_DISPLAY_ACTIVE},
    {"hidden", CX_DISPLAY_HIDDEN},               {"layers", CX_DISPLAY_LAYERS},
    {"usequartz", CX_DISPLAY_USEQUARTZ},         {"noclose", CX_DISPLAY_NOCLOSE},
    {"keepproportions", CX_DISPLAY_KEEPPROPORTIONS}, {"fitscale", CX_DISPLAY_FITSCALE},
    {"noliveresize", CX_DISPLAY_NOLIVERESIZE},   {"keepscreenon", CX_DISPLAY_KEEPSCREENON},
    {"hidefromtaskbar", CX_DISPLAY_HIDEFROMTASKBAR}, {"hideoptionsmenu", CX_DISPLAY_HIDEOPTIONSMENU},
    {"nohardwarescale", CX_DISPLAY_NOHARDWARESCALE}, {"alwaysontop", CX_DISPLAY_ALWAYSONTOP},
    {"singlemenu", CX_DISPLAY_SINGLEMENU},       {"disableblanker", CX_DISPLAY_DISABLEBLANKER},
    {"rememberposition", CX_DISPLAY_REMEMBERPOSITION}, {"maximized", CX_DISPLAY_MAXIMIZED},
    {"traprmb", CX_DISPLAY_TRAPRMB},             {"noscaleengine", CX_DISPLAY_NOSCALEENGINE},
    {"nativeunits", CX_DISPLAY_NATIVEUNITS},
};

int MonitorSize(const cxDisplay *d, int32_t *width, int32_t *height) {
    int32_t x, y;
    return GetDisplayMonitorInfo(d, &x, &y, width, height);
}

// One table of regions {"type", "x", "y", "width", "height"}, indexed from 0.
int ReadRegions(lua_State *L, int table, const char *key, cxDisplayRegion *out, uint32_t *count, int *found) {
    lua_pushstring(L, key);
    lua_gettable(L, table);
    const int list = lua_gettop(L);
    if (lua_isnil(L, list)) {
        lua_settop(L, list - 1);
        return 0;
    }
    *found = 1;
    if (!lua_istable(L, list)) {
        lua_settop(L, list - 1);
        return ERR_WRONGUSAGE;
    }
    uint32_t n = 0;
    int err = 0;
    for (int i = 0;; ++i) {
        lua_rawgeti(L, list, i);
        const int entry = lua_gettop(L);
        if (lua_isnil(L, entry)) break;
        // The record holds 64 regions; more are refused rather than lost.
        if (!lua_istable(L, entry) || n >= CX_MAX_DISPLAY_REGIONS) {
            err = ERR_WRONGUSAGE;
            break;
        }
        int type = 0, x = 0, y = 0, w = 0, h = 0;
        int have = GetTableInt(L, entry, "type", &type, nullptr) & GetTableInt(L, entry, "x", &x, nullptr) &
                   GetTableInt(L, entry, "y", &y, nullptr) & GetTableInt(L, entry, "width", &w, nullptr) &
                   GetTableInt(L, entry, "height", &h, nullptr);
        if (!have) {
            err = ERR_MISSINGPARAMTR;
            break;
        }
        if (type != 14 || x < 0 || y < 0 || w < 1 || h < 1) {
            err = ERR_WRONGUSAGE;
            break;
        }
        out[n++] = cxDisplayRegion{uint32_t(type), x, y, w, h};
        lua_settop(L, entry - 1);
    }
    lua_settop(L, list - 1);
    if (!err) *count = n;
    return err;
}

// A width or height: -110000 the monitor's size; below 1 refused. Sizes
// too large are the caller's to refuse, with both sides in the message.
int ReadSize(lua_State *L, int table, const char *key, const cxDisplay *d, bool horizontal, int32_t *out, int *found) {
    int v = 0;
    if (!GetTableInt(L, table, key, &v, nullptr)) return 0;
    *found = 1;
    if (v == CX_SIZE_MONITOR) {
        int32_t w, h;
        if (int err = MonitorSize(d, &w, &h)) return err;
        v = horizontal ? w : h;
    }
    if (v < 1) return ERR_WRONGUSAGE;
    *out = v;
    return 0;
}

// "scalewidth"/"scaleheight": a number, a percentage of the display's
// size, or -110000 for the monitor's size; 0 refused.
int ReadScaleSize(lua_State *L, int table, const char *key, const cxDisplay *d, bool horizontal, int32_t *out,
                  int *found) {
    int32_t v = 0;
    if (!GetTablePercent(L, table, key, 1, &v, nullptr)) return 0;
    *found = 1;
    if (v == 0) return ERR_WRONGUSAGE;
    if (v == CX_SIZE_MONITOR) {
        int32_t w, h;
        if (int err = MonitorSize(d, &w, &h)) return err;
        v = horizontal ? w : h;
    } else if (v < 0) {
        const int64_t base = horizontal ? d->os.width : d->os.height;
        v = int32_t(base * -int64_t(v) / 100);
        if (v < 1) v = 1;
    }
    if (v > CX_DISPLAY_MAX_SIDE) {
        SetDisplaySizeDetail(v, v);
        return ERR_DISPLAYSIZE;
    }
    *out = v;
    return 0;
}

bool IsShownByAnotherDisplay(const cxBGPic *bgpic, const cxDisplay *self) {
    for (cxDisplay *o = GetFirstDisplay(); o; o = GetNextDisplay(o))
        if (o->bgpic == bgpic && o != self && o->header.idNumber != self->header.idNumber) return true;
    return false;
}

}  // namespace

extern "C" int AppletIsAtLeast6(void) {
    const cxApplet *a = GetRunningApplet();
    return !a || CheckAppletVersion(a, 6, 0);
}

extern "C" uint32_t FindDisplayModeKeyword(const char *name) {
    for (uint32_t m = 1; m <= 8; ++m)
        if (strcasecmp(name, GetDisplayModeName(m)) == 0) return m;
    return 0;
}

extern "C" int ParseMonitorOption(lua_State *L, int table, cxDisplay *d, int *given) {
    int monitor = 0;
    if (!GetTableInt(L, table, "monitor", &monitor, nullptr)) return 0;
    *given = 1;
    if (monitor > 1 && !AppletIsAtLeast6()) return ERR_OLDAPPLET;
    if (monitor < 1 || monitor > CountMonitors()) {
        SetErrorNumber(monitor);
        return ERR_MONITORRANGE;
    }
    d->monitor = monitor - 1;
    return 0;
}

extern "C" int ParseDisplayOptions(lua_State *L, int table, cxDisplay *d, int creating, cxDisplayOptionResult *r) {
    int found = 0;
    uint32_t count = 0;
    if (int err = ReadRegions(L, table, "dragregion", d->dragRegionsUnscaled, &count, &found)) return err;
    if (found) {
        d->hasDragRegions = count > 0;
        d->os.dragCount = count;
        r->regionsGiven = 1;
    }
    found = 0;
    if (int err = ReadRegions(L, table, "sizeregion", d->sizeRegionsUnscaled, &count, &found)) return err;
    if (found) {
        d->hasSizeRegions = count > 0;
        d->os.sizeCount = count;
        r->regionsGiven = 1;
    }
    for (const FlagOption &f : kFlags) {
        int on = 0;
        if (GetTableTruth(L, table, f.name, &on, nullptr)) d->os.flags = on ? d->os.flags | f.bit : d->os.flags & ~f.bit;
    }
    int on = 0;
    if (GetTableTruth(L, table, "nocyclermenu", &on, nullptr)) d->flags2 = on ? d->flags2 | 1 : d->flags2 & ~1u;

    int v = 0;
    if (GetTableInt(L, table, "x", &v, nullptr)) {
        d->os.x = v;
        r->xGiven = 1;
    }
    if (GetTableInt(L, table, "y", &v, nullptr)) {
        d->os.y = v;
        r->yGiven = 1;
    }
    if (!creating && d->scaling) {
        // Script coordinates scale with the display.
        auto scale = [&](int32_t &c) {
            if (c > 0 && c != CX_POS_KEEP && c != CX_POS_KEEP_OR_CENTER) c = int32_t(c * d->scaleFactor);
        };
        if (r->xGiven) scale(d->os.x);
        if (r->yGiven) scale(d->os.y);
    }

    if (GetTableInt(L, table, "scalemode", &v, nullptr)) {
        r->scaleModeGiven = 1;
        d->os.flags &= ~uint32_t(CX_DISPLAY_SCALEMODE1 | CX_DISPLAY_SCALEMODE2);
        switch (v) {
        case 0:
            d->os.scaledWidth = d->os.scaledHeight = 0;
            memset(d->scaleBorders, 0, sizeof d->scaleBorders);
            break;
        case 1: d->os.flags |= CX_DISPLAY_SCALEMODE1; break;
        case 2: d->os.flags |= CX_DISPLAY_SCALEMODE2; break;
        default: return ERR_WRONGUSAGE;
        }
    }
    if (GetTableInt(L, table, "orientation", &v, nullptr)) {
        r->orientationChanged = v != d->orientation;
        d->orientation = v;
    }
    cxObjectID menuId{};
    if (GetTableObjectID(L, table, "menu", &menuId, nullptr)) {
        if (GetDisplayAdapter()) return ERR_DISPLAYADAPTERSUPPORT;
        r->menuGiven = 1;
        if (!menuId.pointer && menuId.number == 0) {
            d->menu = nullptr;
        } else {
            cxMenu *menu = nullptr;
            if (int err = FindMenu(menuId, &menu)) return err;
            d->menu = menu;
        }
    }
    int monitorGiven = 0;
    if (int err = ParseMonitorOption(L, table, d, &monitorGiven)) return err;
    if (monitorGiven) {
        r->monitorGiven = 1;
        if (!r->xGiven) {
            d->os.x = CX_POS_CENTER;
            d->xOnMonitor = 1;
        }
        if (!r->yGiven) {
            d->os.y = CX_POS_CENTER;
            d->yOnMonitor = 1;
        }
    }
    cxObjectID bgpicId{};
    if (GetTableObjectID(L, table, "bgpic", &bgpicId, nullptr)) {
        cxBGPic *bgpic = nullptr;
        cxBitmap *bitmap = nullptr;
        int32_t w = 0, h = 0;
        if (int err = GetDisplayPictureHooks()->findBGPic(L, bgpicId, &bgpic, &bitmap, &w, &h)) return err;
        if (IsShownByAnotherDisplay(bgpic, d)) return ERR_MULTIBGPIC;
        r->bgpicGiven = 1;
        if (w != d->os.width || h != d->os.height) r->sizeChanged = 1;
        d->bgpic = bgpic;
        d->picture = bitmap;
        d->os.width = d->pictureWidth = w;
        d->os.height = d->pictureHeight = h;
        d->ownsBGPic = 0;
    }
    if (!(creating && r->bgpicGiven)) {
        int32_t w = d->os.width, h = d->os.height;
        int wf = 0, hf = 0;
        if (int err = ReadSize(L, table, "width", d, true, &w, &wf)) return err;
        if (int err = ReadSize(L, table, "height", d, false, &h, &hf)) return err;
        if (w > CX_DISPLAY_MAX_SIDE || h > CX_DISPLAY_MAX_SIDE) {
            SetDisplaySizeDetail(w, h);
            return ERR_DISPLAYSIZE;
        }
        if (w != d->os.width || h != d->os.height) r->sizeChanged = 1;
        d->os.width = w;
        d->os.height = h;
    }
    // After the size: percentages count from the new size.
    int sw = 0, sh = 0;
    if (int err = ReadScaleSize(L, table, "scalewidth", d, true, &d->os.scaledWidth, &sw)) return err;
    if (int err = ReadScaleSize(L, table, "scaleheight", d, false, &d->os.scaledHeight, &sh)) return err;
    if (sw || sh) r->scaleSizeGiven = 1;
    if (!r->bgpicGiven && (creating || d->ownsBGPic)) {
        if (GetTableInt(L, table, "fillstyle", &v, nullptr)) {
            switch (v) {
            case 1: GetTableBool(L, table, "color", &d->fillColor, nullptr); break;
            case 2: {
                uint32_t start = 0, end = 0xFFFFFF;
                GetTableBool(L, table, "startcolor", &start, nullptr);
                GetTableBool(L, table, "endcolor", &end, nullptr);
                memcpy(d->gradient, &start, 4);
                memcpy(d->gradient + 4, &end, 4);
                break;
            }
            case 3:
                GetTableObjectID(L, table, "texturebrush", &d->textureBrush, nullptr);
                GetTableInt(L, table, "texturex", &d->textureX, nullptr);
                GetTableInt(L, table, "texturey", &d->textureY, nullptr);
                break;
            default: return ERR_WRONGUSAGE;
            }
            d->fillStyle = uint32_t(v);
        }
    }
    lua_pushstring(L, "title");
    lua_gettable(L, table);
    if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) {
        CopyDisplayTitle(d->os.title, lua_tostring(L, -1));
        r->titleGiven = 1;
    } else if (!lua_isnil(L, -1)) {
        lua_settop(L, -2);
        SetErrorDetail("title");
        return ERR_STRTABLEARG;
    }
    lua_settop(L, -2);
    char server[256];
    if (GetTableString(L, table, "xserver", server, sizeof server, nullptr)) {
        if (!AppletIsAtLeast6()) return ERR_OLDAPPLET;
        memcpy(d->os.xserver, server, sizeof server);
    }
    d->os.smooth = (d->os.flags & CX_DISPLAY_SMOOTHSCALE) ? 1 : 0;
    d->autoScale = (d->os.flags & CX_DISPLAY_SCALEMODE1) ? 1 : 0;
    d->layerScale = (d->os.flags & CX_DISPLAY_SCALEMODE2) ? 1 : 0;
    return 0;
}

extern "C" int ParseCreateOnlyOptions(lua_State *L, int table, cxDisplay *d, cxDisplayOptionResult *r) {
    double factor = 1.0;
    if (GetTableDouble(L, table, "scalefactor", &factor, nullptr)) {
        // NaN, zero and negative factors would give no window at all.
        if (!(factor > 0.0) || factor > 64.0) return ERR_WRONGUSAGE;
        d->scaleFactor = factor;
        r->scaleFactorGiven = 1;
    }
    int on = 0;
    if (GetTableTruth(L, table, "__backfill", &on, nullptr)) d->backfillWindow = on ? 1 : 0;
    if (GetTableTruth(L, table, "__resourcemonitor", &on, nullptr)) d->resourceMonitor = on ? 1 : 0;
    GetTableInt(L, table, "__restorewidth", &d->restoreWidth, nullptr);
    GetTableInt(L, table, "__restoreheight", &d->restoreHeight, nullptr);
    lua_pushstring(L, "__placement");
    lua_gettable(L, table);
    if (lua_type(L, -1) == LUA_TSTRING) {
        r->placement = lua_tostring(L, -1);
        r->placementLength = lua_strlen(L, -1);
    }
    lua_settop(L, -2);  // the string stays alive in the table
    return 0;
}

extern "C" int ParseDisplayModeOptions(lua_State *L, int table, cxDisplay *d) {
    lua_pushstring(L, "mode");
    lua_gettable(L, table);
    if (lua_type(L, -1) == LUA_TSTRING) {
        const uint32_t mode = FindDisplayModeKeyword(lua_tostring(L, -1));
        lua_settop(L, -2);
        if (!mode) return ERR_WRONGUSAGE;
        d->mode = mode;
    } else {
        const bool isNumber = lua_type(L, -1) == LUA_TNUMBER;
        const int number = isNumber ? int(lua_tonumber(L, -1)) : 0;
        lua_settop(L, -2);
        if (isNumber) {
            if (strcmp(GetDisplayModeName(uint32_t(number)), "(not found)") == 0) return ERR_WRONGUSAGE;
            d->mode = uint32_t(number);
        }
    }
    int found = 0;
    int32_t w = d->screenWidth, h = d->screenHeight;
    int v = 0;
    if (GetTableInt(L, table, "scrwidth", &v, nullptr)) {
        if (int err = (v == CX_SIZE_MONITOR) ? ReadSize(L, table, "scrwidth", d, true, &w, &found) : 0) return err;
        if (v != CX_SIZE_MONITOR) w = v;
    }
    if (GetTableInt(L, table, "scrheight", &v, nullptr)) {
        if (int err = (v == CX_SIZE_MONITOR) ? ReadSize(L, table, "scrheight", d, false, &h, &found) : 0) return err;
        if (v != CX_SIZE_MONITOR) h = v;
    }
    d->screenWidth = w;
    d->screenHeight = h;
    GetTableInt(L, table, "scrdepth", &d->screenDepth, nullptr);
    int on = 0;
    if (GetTableTruth(L, table, "desktop", &on, nullptr)) d->desktop = on ? 1 : 0;

    lua_pushstring(L, "backfill");
    lua_gettable(L, table);
    const int sub = lua_gettop(L);
    if (lua_istable(L, sub)) {
        cxBackfillOptions backfill;  // the record's block is not aligned for it
        memcpy(&backfill, d->backfillOptions, sizeof backfill);
        cxBackfillOptions *b = &backfill;
        lua_pushstring(L, "type");
        lua_gettable(L, sub);
        if (lua_type(L, -1) == LUA_TSTRING) {
            const char *name = lua_tostring(L, -1);
            uint32_t type = 0;
            for (uint32_t t = 1; t <= 4; ++t)
                if (strcasecmp(name, GetBackfillName(t)) == 0) type = t;
            if (!type) {
                lua_settop(L, sub - 1);
                return ERR_WRONGUSAGE;
            }
            b->type = type;
        } else if (lua_type(L, -1) == LUA_TNUMBER) {
            const int type = int(lua_tonumber(L, -1));
            if (type < 1 || type > 4) {
                lua_settop(L, sub - 1);
                return ERR_WRONGUSAGE;
            }
            b->type = uint32_t(type);
        }
        lua_settop(L, sub);
        GetTableBool(L, sub, "color", &b->color, nullptr);
        GetTableBool(L, sub, "startcolor", &b->startColor, nullptr);
        GetTableBool(L, sub, "endcolor", &b->endColor, nullptr);
        GetTableInt(L, sub, "x", &b->x, nullptr);
        GetTableInt(L, sub, "y", &b->y, nullptr);
        GetTableObjectID(L, sub, "brush", &b->brush, nullptr);
        GetTableBool(L, sub, "scalepicture", &b->scalePicture, nullptr);
        GetTableBool(L, sub, "hidetitlebar", &b->hideTitleBar, nullptr);
        GetTableBool(L, sub, "smoothscale", &b->smoothScale, nullptr);
        GetTableString(L, sub, "brushfile", b->brushFile, sizeof b->brushFile, nullptr);
        memcpy(d->backfillOptions, &backfill, sizeof backfill);
    }
    lua_settop(L, sub - 1);
    return 0;
}
