#include "display/events/buttons.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "display/events/dispatcher.h"
#include "display/backend.h"
#include "display/display_record.h"
#include "errors/errors.h"
#include "errors/error_codes.h"
#include "engine/runtime/args.h"
#include "engine/vm/lauxlib.h"
#include "graphics/geometry/geometry.h"

namespace {

// Newest first, as the hit tests walk them.
std::map<const void *, cxBGPicButton *> g_lists;
cxLayerButtonHooks g_layerHooks{};
// The handler being called: CallEventCallback reads it before the call.
cxHandlerSlot g_slot = {-1, -1};

const char *const kKeys[CX_BUTTON_HANDLERS] = {"onmouseover",      "onmouseout",     "onmousedown",
                                               "onmouseup",        "onrightmousedown", "onrightmouseup",
                                               "onmidmousedown",   "onmidmouseup"};
const char *const kActions[CX_BUTTON_HANDLERS] = {"OnMouseOver",      "OnMouseOut",     "OnMouseDown",
                                                  "OnMouseUp",        "OnRightMouseDown", "OnRightMouseUp",
                                                  "OnMidMouseDown",   "OnMidMouseUp"};

const void *OwnerOf(const cxDisplay *d) { return d->bgpic ? static_cast<const void *>(d->bgpic) : d; }

void Release(lua_State *L, int32_t &ref) {
    if (ref != -1 && L) luaL_unref(L, LUA_REGISTRYINDEX, ref);
    ref = -1;
}

void FreeButton(lua_State *L, cxBGPicButton *b) {
    if (b->layer && g_layerHooks.bind) g_layerHooks.bind(b->layer, nullptr);
    for (int32_t &h : b->handlers) Release(L, h);
    Release(L, b->userData);
    free(b);
}

bool Hit(const cxDisplay *d, const cxBGPicButton *b, int32_t x, int32_t y) {
    int32_t px, py;
    WindowToPicture(d, x, y, &px, &py);
    if (b->type == CX_BUTTON_LAYER)
        return b->layer && g_layerHooks.hit && g_layerHooks.hit(b->layer, px, py, b->pixelExact ? 1 : 0);
    return px >= b->x1 && px <= b->x2 && py >= b->y1 && py <= b->y2;
}

// A layer button answers while its layer shows, or when told to while it
// is hidden.
bool Active(const cxBGPicButton *b) {
    if (!b->enabled) return false;
    if (b->type != CX_BUTTON_LAYER) return true;
    return b->activeHidden || !(g_layerHooks.hidden && g_layerHooks.hidden(b->layer));
}

int Call(cxDisplay *d, cxBGPicButton *b, int handler, cxEventMessage *msg) {
    g_slot = {b->handlers[handler], b->userData};
    *msg = cxEventMessage{};
    msg->type = CX_MSG_BUTTON;
    msg->display = d;
    msg->slot = &g_slot;
    msg->button = b;
    msg->id = b->id;
    msg->noticeUserData = -1;
    snprintf(msg->action, sizeof msg->action, "%s", kActions[handler]);
    return 1;
}

// The BGPic buttons are made for: the current display's, while drawing
// goes to the display or a BGPic.
int CurrentOwner(const void **owner, cxDisplay **display) {
    cxDisplay *d = GetCurrentDisplay();
    if (!d || (d->targetKind != CX_OBJECT_DISPLAY && d->targetKind != 1 && !d->doubleBufferState))
        return ERR_BGPICBUTTON;
    *owner = OwnerOf(d);
    if (display) *display = d;
    return 0;
}

cxBGPicButton *Find(const void *owner, cxObjectID id, cxBGPicButton ***link) {
    auto it = g_lists.find(owner);
    if (it == g_lists.end()) return nullptr;
    for (cxBGPicButton **p = &it->second; *p; p = &(*p)->next)
        if ((*p)->id.number == id.number && (*p)->id.pointer == id.pointer) {
            if (link) *link = p;
            return *p;
        }
    return nullptr;
}

int NotFound(cxObjectID id) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorNumber(id.number);
    return ERR_FINDBUTTON;
}

int Remove(lua_State *L, const void *owner, cxObjectID id) {
    cxBGPicButton **link = nullptr;
    cxBGPicButton *b = Find(owner, id, &link);
    if (!b) return NotFound(id);
    *link = b->next;
    FreeButton(L, b);
    return 0;
}

int SetEnabled(lua_State *L, uint32_t on) {
    CheckArgCount(L, 1, 1, 0, 0);
    const void *owner = nullptr;
    if (int err = CurrentOwner(&owner, nullptr)) return err;
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    cxBGPicButton *b = Find(owner, id, nullptr);
    if (!b) return NotFound(id);
    b->enabled = on;
    b->pressed[0] = b->pressed[1] = b->pressed[2] = 0;
    return 0;
}

}  // namespace

extern "C" void WindowToPicture(const cxDisplay *d, int32_t x, int32_t y, int32_t *px, int32_t *py) {
    const double sx = d->scaleX > 0 ? d->scaleX : 1.0, sy = d->scaleY > 0 ? d->scaleY : 1.0;
    *px = int32_t((x - d->scaleBorders[0]) / sx);
    *py = int32_t((y - d->scaleBorders[1]) / sy);
}

extern "C" cxBGPicButton *GetDisplayButtons(const cxDisplay *d) {
    auto it = g_lists.find(OwnerOf(d));
    return it == g_lists.end() ? nullptr : it->second;
}

extern "C" int ServeButtonPress(cxDisplay *d, uint32_t type, int pressed, int32_t x, int32_t y, cxEventMessage *msg) {
    const int index = type == 1 ? 0 : type == 2 ? 1 : 2;
    const int down = CX_BUTTON_ONMOUSEDOWN + 2 * index;
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next) {
        if (!Active(b) || !Hit(d, b, x, y)) continue;
        if (pressed) {
            b->pressed[index] = 1;
            return b->handlers[down] != -1 ? Call(d, b, down, msg) : 0;
        }
        if (!b->pressed[index]) continue;
        b->pressed[index] = 0;
        return b->handlers[down + 1] != -1 ? Call(d, b, down + 1, msg) : 0;
    }
    // A release that no button took: nothing stays pressed.
    if (!pressed)
        for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next)
            if (b->enabled) b->pressed[index] = 0;
    return 0;
}

extern "C" int ServeButtonOverOut(cxDisplay *d, cxEventMessage *msg) {
    cxBGPicButton *first = GetDisplayButtons(d);
    if (!first) return 0;
    // A closed display keeps the last position it was given.
    int32_t x = d->os.mouseX, y = d->os.mouseY;
    if (d->os.state != CX_DISPLAY_CLOSED) GetDisplayMousePos(d, &x, &y);
    cxBGPicButton *under = nullptr, *held = nullptr;
    for (cxBGPicButton *b = first; b; b = b->next) {
        if (!Active(b)) continue;
        if (!under && Hit(d, b, x, y)) under = b;
        if (!held && (b->pressed[0] || b->pressed[1] || b->pressed[2])) held = b;
    }
    for (cxBGPicButton *b = first; b; b = b->next) {
        if (!Active(b) || (held && b != held)) continue;
        if (b != under && b->over) {
            b->over = 0;
            if (b->handlers[CX_BUTTON_ONMOUSEOUT] != -1) return Call(d, b, CX_BUTTON_ONMOUSEOUT, msg);
        }
    }
    if (under && !under->over && (!held || held == under)) {
        under->over = 1;
        if (under->handlers[CX_BUTTON_ONMOUSEOVER] != -1) return Call(d, under, CX_BUTTON_ONMOUSEOVER, msg);
    }
    return 0;
}

extern "C" void ResetButtonStates(cxDisplay *d) {
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next) b->pressed[0] = b->pressed[1] = b->pressed[2] = 0;
}

extern "C" void FreeBGPicButtons(lua_State *L, const void *owner) {
    auto it = g_lists.find(owner);
    if (it == g_lists.end()) return;
    while (cxBGPicButton *b = it->second) {
        it->second = b->next;
        FreeButton(L, b);
    }
    g_lists.erase(it);
}

extern "C" void FreeAllButtons(lua_State *L) {
    while (!g_lists.empty()) FreeBGPicButtons(L, g_lists.begin()->first);
}

extern "C" void SetLayerButtonHooks(const cxLayerButtonHooks *hooks) {
    g_layerHooks = hooks ? *hooks : cxLayerButtonHooks{};
}

extern "C" void ReleaseLayerButton(lua_State *L, const void *bgpic, void *layer) {
    auto it = g_lists.find(bgpic);
    if (it == g_lists.end() || !layer) return;
    for (cxBGPicButton **p = &it->second; *p; p = &(*p)->next) {
        cxBGPicButton *b = *p;
        if (b->type != CX_BUTTON_LAYER || b->layer != layer) continue;
        *p = b->next;
        FreeButton(L, b);
        return;
    }
}

extern "C" void RebindLayerButton(cxBGPicButton *button, void *layer) {
    if (button) button->layer = layer;
}

extern "C" int CmdMakeButton(lua_State *L) {
    CheckArgCount(L, 6, 8, 0, 0);
    const void *owner = nullptr;
    cxDisplay *d = nullptr;
    if (int err = CurrentOwner(&owner, &d)) return err;
    cxOptionalNumber n;
    GetOptionalNumberArg(&n, L, 1);
    const int type = int(luaL_checknumber(L, 2));
    if (type != CX_BUTTON_SIMPLE && type != CX_BUTTON_LAYER) return ERR_WRONGUSAGE;
    // A simple button: x, y, width, height, the events (7) and user data
    // (8). A layer button: the layer, pixel exact, active while hidden,
    // the events (6) and user data (7).
    const bool layered = type == CX_BUTTON_LAYER;
    const int events = layered ? 6 : 7;
    int32_t x = 0, y = 0, width = 0, height = 0;
    void *layer = nullptr;
    uint32_t exact = 0, whileHidden = 0;
    if (layered) {
        if (!g_layerHooks.find) return ERR_NOLAYERS;
        if (int err = g_layerHooks.find(L, d, 3, &layer)) return err;
        exact = luaL_checknumber(L, 4) != 0 ? 1 : 0;
        whileHidden = luaL_checknumber(L, 5) != 0 ? 1 : 0;
        // One button a layer; the button of this ID is replaced below, so
        // it may be the one.
        auto it = g_lists.find(owner);
        for (cxBGPicButton *b = it == g_lists.end() ? nullptr : it->second; b; b = b->next)
            if (b->layer == layer && (n.wasNil || b->id.number != n.value || b->id.pointer)) return ERR_WRONGUSAGE;
    } else {
        if (lua_gettop(L) < 7) return ERR_MISSINGPARAMTR;
        width = int32_t(luaL_checknumber(L, 5)), height = int32_t(luaL_checknumber(L, 6));
        if (width <= 0 || height <= 0) return ERR_WRONGUSAGE;
        x = ResolveSpecialX(int32_t(luaL_checknumber(L, 3)), width, d->pictureWidth, 0.0);
        y = ResolveSpecialY(int32_t(luaL_checknumber(L, 4)), height, d->pictureHeight, 0.0);
    }
    if (lua_type(L, events) != LUA_TTABLE) return ERR_TABEXPECTED;
    // Read every field before anything changes, so a bad table leaves no
    // trace and the old button of that ID stays.
    int found = 0;
    for (const char *key : kKeys) {
        lua_pushstring(L, key);
        lua_gettable(L, events);
        const int t = lua_type(L, -1);
        lua_pop(L, 1);
        if (t == LUA_TNIL) continue;
        if (t != LUA_TFUNCTION) return ERR_FUNCEXPECTED;
        found++;
    }
    if (!found) return ERR_WRONGUSAGE;
    auto *b = static_cast<cxBGPicButton *>(calloc(1, sizeof(cxBGPicButton)));
    if (!b) return ERR_MEM;
    if (!n.wasNil) Remove(L, owner, cxObjectID{n.value, nullptr});
    b->id = n.wasNil ? cxObjectID{0, b} : cxObjectID{n.value, nullptr};
    b->type = uint32_t(type);
    if (!layered) {
        b->x1 = x;
        b->y1 = y;
        b->x2 = x + width - 1;
        b->y2 = y + height - 1;
    }
    b->enabled = 1;
    b->userData = -1;
    for (int i = 0; i < CX_BUTTON_HANDLERS; i++) {
        lua_pushstring(L, kKeys[i]);
        lua_gettable(L, events);
        b->handlers[i] = lua_isnil(L, -1) ? (lua_pop(L, 1), -1) : luaL_ref(L, LUA_REGISTRYINDEX);
    }
    if (lua_gettop(L) >= events + 1) {
        lua_pushvalue(L, events + 1);
        b->userData = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    if (layered) {
        b->layer = layer;
        b->pixelExact = exact;
        b->activeHidden = whileHidden;
        if (g_layerHooks.bind) g_layerHooks.bind(layer, b);
    }
    cxBGPicButton *&head = g_lists[owner];
    b->next = head;
    head = b;
    if (!n.wasNil) return 0;
    PushObjectID(L, b->id);
    return 1;
}

extern "C" int CmdDeleteButton(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const void *owner = nullptr;
    if (int err = CurrentOwner(&owner, nullptr)) return err;
    cxObjectID id;
    GetObjectIDArg(&id, L, 1);
    return Remove(L, owner, id);
}

extern "C" int CmdEnableButton(lua_State *L) { return SetEnabled(L, 1); }
extern "C" int CmdDisableButton(lua_State *L) { return SetEnabled(L, 0); }

extern "C" int CmdDumpButtons(lua_State *L) {
    CheckArgCount(L, 0, 0, 0, 0);
    const void *owner = nullptr;
    cxDisplay *d = nullptr;
    if (int err = CurrentOwner(&owner, &d)) return err;
    int count = 0;
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next) count++;
    const cxObjectHeader *h = d->bgpic ? reinterpret_cast<const cxObjectHeader *>(d->bgpic) : nullptr;
    printf("BUTTON SYSTEM INFO - BGPIC: %d (%p)\nsizeof(cxBGPicButton): %d\nButtons: %d\n", h ? h->idNumber : 0,
           owner, 100, count);
    int i = 1;
    for (cxBGPicButton *b = GetDisplayButtons(d); b; b = b->next, i++)
        printf("(%d) Type: %d - X1: %d - Y1: %d - X2: %d - Y2: %d\n", i, int(b->type), b->x1, b->y1, b->x2, b->y2);
    fflush(stdout);
    return 0;
}
