#include "layers/ops/move_lists.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "display/display_record.h"
#include "engine/runtime/runtime.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/geometry/geometry.h"
#include "images/bgpics/bgpic.h"
#include "layers/core/async_draw.h"
#include "layers/core/compositor.h"
#include "layers/core/layer_insert.h"
#include "layers/core/layer_list.h"
#include "layers/core/layer_position.h"
#include "layers/ops/layer_frames.h"
#include "layers/ops/layer_remove.h"
#include "layers/ops/layer_style.h"

namespace {

cxObjectList g_lists = {CX_OBJ_MOVELIST, ERR_FINDMOVE, nullptr, nullptr};

int32_t Sat(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v); }

bool SameID(cxObjectID a, cxObjectID b) { return a.number == b.number && a.pointer == b.pointer; }

// A number argument: truncated and saturated; NaN is refused. Absent: 0.
int NumberArg(lua_State *L, int index, int32_t *out) {
    *out = 0;
    if (lua_gettop(L) < index || lua_isnil(L, index)) return 0;
    const double v = luaL_checknumber(L, index);
    if (std::isnan(v)) return ERR_WRONGUSAGE;
    *out = v <= INT32_MIN ? INT32_MIN : v >= INT32_MAX ? INT32_MAX : int32_t(v);
    return 0;
}

bool IsLayerOperation(int32_t type) {
    return type == CX_MOVEOP_LAYER || type == CX_MOVEOP_HIDELAYER || type == CX_MOVEOP_REMOVELAYER ||
           type == CX_MOVEOP_NEXTFRAME2;
}

// The box (x, y, w, h) becomes the entry's when it lies at least partly on
// the output BGPic.
bool OnBGPic(int32_t x, int32_t y, int32_t w, int32_t h) {
    const cxBGPic *b = GetLayerOutputBGPic();
    return b && w > 0 && h > 0 && RectsOverlapWH(x, y, w, h, 0, 0, b->currentWidth, b->currentHeight);
}

void SetBox(cxMoveList *m, int32_t i, int32_t x, int32_t y, int32_t w, int32_t h) {
    m->hasBox[i] = 1;
    m->x1[i] = x, m->y1[i] = y;
    m->x2[i] = Sat(int64_t(x) + w - 1), m->y2[i] = Sat(int64_t(y) + h - 1);
}

void LayerBox(lua_State *L, cxLayer *l, int32_t box[4]) { GetLayerBounds(L, l, l->display, &box[0], &box[1], &box[2], &box[3]); }

// Merges the boxes until no two overlap, then redraws each once.
void RedrawBoxes(lua_State *L, cxMoveList *m) {
    for (bool merged = true; merged;) {
        merged = false;
        for (int32_t i = 0; i < m->count; ++i) {
            if (!m->hasBox[i]) continue;
            for (int32_t j = 0; j < m->count; ++j) {
                if (j == i || !m->hasBox[j] ||
                    !RectsOverlap(m->x1[i], m->y1[i], m->x2[i], m->y2[i], m->x1[j], m->y1[j], m->x2[j], m->y2[j]))
                    continue;
                m->x1[i] = std::min(m->x1[i], m->x1[j]), m->y1[i] = std::min(m->y1[i], m->y1[j]);
                m->x2[i] = std::max(m->x2[i], m->x2[j]), m->y2[i] = std::max(m->y2[i], m->y2[j]);
                m->hasBox[j] = 0;
                merged = true;
            }
        }
    }
    for (int32_t i = 0; i < m->count; ++i)
        if (m->hasBox[i])
            MarkRectDirty(L, m->x1[i], m->y1[i], Sat(int64_t(m->x2[i]) - m->x1[i] + 1),
                          Sat(int64_t(m->y2[i]) - m->y1[i] + 1));
}

// The frame count of an anim layer's anim.
int AnimFrames(lua_State *L, cxLayer *l, int32_t *frames) {
    if (l->type != CX_LAYER_ANIM) return ERR_WRONGUSAGE;
    return MakeAnimFrameContent(L, l->source, 0, nullptr, nullptr, nullptr, frames);
}

// NEXTFRAME and NEXTFRAME2: the frame (1-based, 0 keeps it) and the move,
// with the box the layer covered before either.
int FrameAndMove(lua_State *L, cxLayer *l, cxMoveList *m, int32_t i, int32_t frame) {
    int32_t old[4];
    LayerBox(L, l, old);
    if (int err = SetLayerPosFrame(L, l, CX_LAYER_KEEP, CX_LAYER_KEEP, frame, 1)) return err;
    MoveLayerForMoveList(L, l, m, i, 0, old);
    return 0;
}

// A layer made hidden at a place of the list, then shown: DoMove draws it
// with the rest.
int InsertQuietly(lua_State *L, cxBGPic *b, int32_t position, int32_t kind, cxObjectID id, int32_t x, int32_t y,
                  cxLayer **out) {
    const int32_t count = CountLayers(b);
    if (position == 0 || position > count + 1) position = count + 1;
    if (int err = InsertLayerAt(L, position, kind, id, x, y, 1)) return err;
    *out = GetLayerByPos(b, position);
    if (!*out) return ERR_LAYERRANGE;
    (*out)->hidden = 0;
    MarkLayersChanged(b);
    return 0;
}

int FirstPass(lua_State *L, cxBGPic *b, cxMoveList *m) {
    for (int32_t i = 0; i < m->count; ++i) {
        const int32_t type = m->type[i];
        cxLayer *l = nullptr;
        if (IsLayerOperation(type) && !(l = GetLayerByPos(b, m->id[i].number))) return ERR_LAYERRANGE;
        switch (type) {
        case CX_MOVEOP_UNDO: {
            if (m->b[i] == 0) m->b[i] = 1;
            int32_t box[4] = {0, 0, 0, 0};
            if (int err = FindLayerOfObject(L, m->a[i], m->id[i], m->b[i], 1, box, nullptr)) return err;
            if (OnBGPic(box[0], box[1], box[2], box[3])) SetBox(m, i, box[0], box[1], box[2], box[3]);
            m->done[i] = 1;
            break;
        }
        case CX_MOVEOP_REMOVELAYER: {
            if (IsAsyncDrawObject(l)) return ERR_REMADLAYER;
            int32_t box[4] = {0, 0, 0, 0};
            const bool drawn = !l->hidden && !l->suppressed;
            UnlinkLayer(L, l, 1, box, nullptr, 1);
            if (drawn && OnBGPic(box[0], box[1], box[2], box[3])) SetBox(m, i, box[0], box[1], box[2], box[3]);
            m->done[i] = 1;
            break;
        }
        case CX_MOVEOP_LAYER: MoveLayerForMoveList(L, l, m, i, 0, nullptr); break;
        case CX_MOVEOP_INSERTBRUSH: {
            cxLayer *made = nullptr;
            if (int err = InsertQuietly(L, b, m->c[i], CX_OBJ_BRUSH, m->id[i], m->a[i], m->b[i], &made)) return err;
            RecordLayerBoxForMoveList(L, made, m, i);
            break;
        }
        case CX_MOVEOP_HIDELAYER:
            RecordLayerBoxForMoveList(L, l, m, i);
            l->hidden = 1;
            MarkLayersChanged(b);
            break;
        case CX_MOVEOP_NEXTFRAME2: {
            int32_t frames = 0;
            if (int err = AnimFrames(L, l, &frames)) return err;
            if (int err = FrameAndMove(L, l, m, i, m->c[i])) return err;
            break;
        }
        default: break;
        }
    }
    return 0;
}

// Entries for objects already shown take the first layer (from the back)
// that shows them.
int SecondPass(lua_State *L, cxBGPic *b, cxMoveList *m) {
    for (cxLayer *l = LayerOfNode(b->layers.head); l; l = NextLayer(l)) {
        for (int32_t i = 0; i < m->count; ++i) {
            if (m->done[i] || !SameID(m->id[i], l->origin)) continue;
            const int32_t type = m->type[i];
            if ((type == CX_MOVEOP_BRUSH || type == CX_MOVEOP_TEXTOBJECT) && l->type == type) {
                MoveLayerForMoveList(L, l, m, i, 0, nullptr);
            } else if (type == CX_MOVEOP_HIDEBRUSH && l->type == CX_LAYER_BRUSH) {
                RecordLayerBoxForMoveList(L, l, m, i);
                l->hidden = 1;
                MarkLayersChanged(b);
            } else if (type == CX_MOVEOP_NEXTFRAME && l->type == CX_LAYER_ANIM) {
                int32_t frames = 0, next = 0;
                if (int err = AnimFrames(L, l, &frames)) return err;
                if (int err = NextAnimFrame(l->base->partX, frames, m->c[i], &next)) return err;
                if (int err = FrameAndMove(L, l, m, i, next)) return err;
            }
        }
    }
    return 0;
}

// Entries whose object is not shown yet: a new layer at the front.
int ThirdPass(lua_State *L, cxBGPic *b, cxMoveList *m) {
    for (int32_t i = 0; i < m->count; ++i) {
        if (m->done[i]) continue;
        const int32_t type = m->type[i];
        if (type != CX_MOVEOP_TEXTOBJECT && type != CX_MOVEOP_NEXTFRAME && type != CX_MOVEOP_BRUSH)
            return ERR_WRONGUSAGE;
        int32_t frame = 0;
        if (type == CX_MOVEOP_NEXTFRAME) {
            int32_t frames = 0;
            if (int err = MakeAnimFrameContent(L, m->id[i], 0, nullptr, nullptr, nullptr, &frames)) return err;
            const int32_t c = m->c[i];
            if (c == 0) frame = frames > 1 ? 2 : 1;
            else if (c == -1) frame = frames;
            else if (c >= 1 && c <= frames) frame = c;
            else return ERR_ANIMFRAME;
        }
        const int32_t kind = type == CX_MOVEOP_NEXTFRAME ? CX_OBJ_ANIM : type;
        cxLayer *made = nullptr;
        if (int err = InsertQuietly(L, b, 0, kind, m->id[i], m->a[i], m->b[i], &made)) return err;
        if (frame > 1) {
            if (int err = SetLayerPosFrame(L, made, CX_LAYER_KEEP, CX_LAYER_KEEP, frame, 1)) return err;
        }
        RecordLayerBoxForMoveList(L, made, m, i);
    }
    return 0;
}

}  // namespace

extern "C" int FindMoveList(cxObjectID id, cxMoveList **out) {
    *out = nullptr;
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_lists, id, &h)) return err;
    *out = reinterpret_cast<cxMoveList *>(h);
    return 0;
}

extern "C" void MoveLayerForMoveList(lua_State *L, cxLayer *l, cxMoveList *m, int32_t i, int applyHidden,
                                     const int32_t *oldBox) {
    int32_t old[4];
    if (oldBox) std::copy(oldBox, oldBox + 4, old);
    else LayerBox(L, l, old);
    const cxBGPic *b = GetLayerBGPic(l);
    const int32_t roomW = b ? b->currentWidth : 0, roomH = b ? b->currentHeight : 0;
    const int32_t x = ResolveSpecialX(m->a[i], l->base->srcWidth, roomW, l->anchorX);
    const int32_t y = ResolveSpecialY(m->b[i], l->base->srcHeight, roomH, l->anchorY);
    UpdateLayerPosition(L, l, nullptr, x, y, 1, 0, nullptr);
    const uint32_t hidden = applyHidden && (m->c[i] == 0 || m->c[i] == 1) ? uint32_t(m->c[i]) : applyHidden ? l->hidden : 0;
    if (hidden != l->hidden && b) MarkLayersChanged(const_cast<cxBGPic *>(b));
    l->hidden = hidden;
    int32_t now[4];
    LayerBox(L, l, now);
    if (!l->hidden && OnBGPic(now[0], now[1], now[2], now[3])) {
        UnionRect(&now[0], &now[1], &now[2], &now[3], old[0], old[1], old[2], old[3]);
        SetBox(m, i, now[0], now[1], now[2], now[3]);
    } else if (OnBGPic(old[0], old[1], old[2], old[3])) {
        SetBox(m, i, old[0], old[1], old[2], old[3]);
    }
    m->done[i] = 1;
}

extern "C" void RecordLayerBoxForMoveList(lua_State *L, cxLayer *l, cxMoveList *m, int32_t i) {
    int32_t box[4];
    LayerBox(L, l, box);
    if (OnBGPic(box[0], box[1], box[2], box[3])) SetBox(m, i, box[0], box[1], box[2], box[3]);
    m->done[i] = 1;
}

extern "C" int CarryOutMoveList(lua_State *L, cxObjectID id) {
    cxBGPic *b = nullptr;
    if (int err = CheckLayerCommand(nullptr, &b)) return err;
    cxMoveList *m = nullptr;
    if (int err = FindMoveList(id, &m)) return err;
    MarkLayersChanged(b);
    for (int32_t i = 0; i < m->count; ++i) m->done[i] = 0, m->hasBox[i] = 0;
    int err = FirstPass(L, b, m);
    if (!err) err = SecondPass(L, b, m);
    if (!err) err = ThirdPass(L, b, m);
    // What was done shows, an error or not.
    RedrawBoxes(L, m);
    return err;
}

extern "C" void FreeAllMoveLists(void) {
    while (cxObjectHeader *h = g_lists.first) {
        RemoveObject(&g_lists, h);
        free(h);
    }
}

extern "C" int CmdAddMove(lua_State *L) {
    CheckArgCount(L, 3, 6, 0, 0);
    int32_t type = 0, a = 0, b = 0, c = 0;
    if (int err = NumberArg(L, 2, &type)) return err;
    cxObjectID object{};
    // Every argument is read before anything changes.
    if (type == CX_MOVEOP_UNDO) {
        if (lua_gettop(L) >= 4) GetObjectIDArg(&object, L, 4);
        if (int err = NumberArg(L, 3, &a)) return err;
    } else {
        if (IsLayerOperation(type)) {
            if (int err = FindLayer(L, 3, GetLayerOutputBGPic(), &object.number)) return err;
        } else {
            GetObjectIDArg(&object, L, 3);
        }
        if (int err = NumberArg(L, 4, &a)) return err;
    }
    if (int err = NumberArg(L, 5, &b)) return err;
    if (type == CX_MOVEOP_INSERTBRUSH) {
        if (lua_gettop(L) >= 6 && !lua_isnil(L, 6)) {
            if (int err = FindLayer(L, 6, GetLayerOutputBGPic(), &c)) return err;
        }
    } else if (int err = NumberArg(L, 6, &c)) {
        return err;
    }

    cxMoveList *m = nullptr;
    const bool automatic = lua_isnil(L, 1);
    if (!automatic) {
        cxObjectID id{};
        GetObjectIDArg(&id, L, 1);
        const int err = FindMoveList(id, &m);
        // A number names a new list; an automatic ID must be one that exists.
        if (err && id.pointer) return err;
        if (err) {
            if (!(m = static_cast<cxMoveList *>(calloc(1, sizeof(cxMoveList))))) return ERR_MEM;
            InitObjectHeader(&m->header, CX_OBJ_MOVELIST, id.number, 0);
            AddObject(&g_lists, &m->header);
        }
    } else {
        if (!(m = static_cast<cxMoveList *>(calloc(1, sizeof(cxMoveList))))) return ERR_MEM;
        InitObjectHeader(&m->header, CX_OBJ_MOVELIST, 0, 1);
        AddObject(&g_lists, &m->header);
    }
    if (m->count >= CX_MOVELIST_ENTRIES) return ERR_INTERNAL;
    const int32_t i = m->count++;
    m->type[i] = type, m->id[i] = object;
    m->a[i] = a, m->b[i] = b, m->c[i] = c;
    m->done[i] = 0, m->hasBox[i] = 0;
    return automatic ? PushObjectID(L, GetObjectID(&m->header)) : 0;
}

extern "C" int CmdClearMove(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    cxMoveList *m = nullptr;
    if (int err = FindMoveList(id, &m)) return err;
    RemoveObject(&g_lists, &m->header);
    free(m);
    return 0;
}

extern "C" int CmdDoMove(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxObjectID id{};
    GetObjectIDArg(&id, L, 1);
    return CarryOutMoveList(L, id);
}
