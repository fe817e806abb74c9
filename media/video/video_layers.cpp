#include "media/video/video_layers.h"

#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "display/display_record.h"
#include "display/present.h"
#include "errors/errors.h"
#include "images/bgpics/bgpic.h"
#include "images/core/argb_bitmaps.h"
#include "images/core/display_core.h"
#include "layers/core/layer.h"
#include "layers/core/layer_content.h"
#include "layers/core/layer_image.h"
#include "layers/core/layer_list.h"
#include "layers/ops/layer_frames.h"
#include "media/video/video_display.h"
#include "media/video/video_internal.h"

namespace {

// The newest picture of each player that plays into a layer: the refresh
// thread writes it, the main thread puts it into the layer.
struct LayerPicture {
    cxDisplay *display = nullptr;
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
    bool fresh = false;
    bool posted = false;
};
std::mutex g_mutex;
std::unordered_map<cxVideoPlayer *, LayerPicture> g_pictures;

bool SameID(cxObjectID a, cxObjectID b) { return a.number == b.number && a.pointer == b.pointer; }

template <class F>
void ForEachListedLayer(F f) {
    auto walk = [&](const cxBGPic *b) {
        for (int32_t i = 1, n = b ? CountLayers(b) : 0; i <= n; ++i) f(GetLayerByPos(b, i));
    };
    for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) walk(b);
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->ownsBGPic) walk(d->bgpic);
}

// The layers that show the video, and whether this one does.
int LayersShowing(const cxVideo *v, const void *which = nullptr, bool *found = nullptr) {
    const cxObjectID id = GetObjectID(&v->header);
    int n = 0;
    ForEachListedLayer([&](cxLayer *l) {
        if (l && l->type == CX_LAYER_VIDEO && SameID(l->source, id)) {
            ++n;
            if (found && l == which) *found = true;
        }
    });
    return n;
}

bool IsListed(const void *layer) {
    bool listed = false;
    ForEachListedLayer([&](cxLayer *l) { listed |= l == layer; });
    return listed;
}

cxVideo *OfLayer(lua_State *, void *layer) {
    if (!layer || !IsListed(layer)) return nullptr;
    const auto *l = static_cast<const cxLayer *>(layer);
    if (l->type != CX_LAYER_VIDEO) return nullptr;
    for (cxVideo *v = GetFirstVideo(); v; v = NextVideo(v))
        if (SameID(GetObjectID(&v->header), l->source)) return v;
    return nullptr;
}

void Forget(cxVideoPlayer *p) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pictures.erase(p);
}

// Refresh thread: keeps the picture and asks the main thread to show it.
void Sink(void *, cxVideoPlayer *player, const uint32_t *argb, int32_t width, int32_t height, int32_t rowLength) {
    cxDisplay *post = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_pictures.find(player);
        if (it == g_pictures.end()) return;
        LayerPicture &lp = it->second;
        lp.pixels.resize(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            memcpy(lp.pixels.data() + size_t(y) * width, argb + size_t(y) * rowLength, size_t(width) * 4);
        lp.width = width, lp.height = height;
        lp.fresh = true;
        if (!lp.posted) post = lp.display, lp.posted = true;
    }
    if (post && PostDisplayCall(post, ApplyVideoLayerPictures) != 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_pictures.find(player);
        if (it != g_pictures.end()) it->second.posted = false;
    }
}

// Puts a picture into the layer that shows the video and redraws its box.
int ShowInLayer(lua_State *L, cxLayer *layer, const uint32_t *argb, int32_t w, int32_t h) {
    cxBitmap *b = nullptr;
    if (int err = MakeBitmapFromARGB(argb, -1, w, h, w, &b, nullptr)) return err;
    cxLayerImageContent *c = NewImageContent(b, nullptr, nullptr, w, h);
    if (!c) {
        FreeBitmap(b);
        return ERR_MEM;
    }
    FreeLayerOwnContent(CX_LAYER_VIDEO, layer->content);
    layer->content = c;
    return RenderLayerImage(L, layer, CX_RENDER_PREVIOUSBOX);
}

// Main thread, after a wake-up: the newest pictures into their layers; a
// video whose layer went stops (and goes, when only layers kept it).
void ApplyPictures(lua_State *L, cxDisplay *) {
    for (cxVideo *v = GetFirstVideo(); v;) {
        cxVideo *next = NextVideo(v);
        if (v->isLayer && IsVideoActive(v)) {
            void *layer = GetVideoPlayerLayer(v->player);
            bool shows = false;
            if (layer) LayersShowing(v, layer, &shows);
            if (!shows) {
                StopVideoPlayback(L, v, nullptr, 0, 1);
                Forget(v->player);
                if (v->pendingFree && LayersShowing(v) == 0) FreeVideo(L, v);
            } else {
                std::vector<uint32_t> px;
                int32_t w = 0, h = 0;
                {
                    std::lock_guard<std::mutex> lock(g_mutex);
                    auto it = g_pictures.find(v->player);
                    if (it != g_pictures.end()) {
                        it->second.posted = false;
                        if (it->second.fresh) {
                            px.swap(it->second.pixels);
                            w = it->second.width, h = it->second.height;
                            it->second.fresh = false;
                        }
                    }
                }
                if (!px.empty()) ShowInLayer(L, static_cast<cxLayer *>(layer), px.data(), w, h);
            }
        }
        v = next;
    }
}

// A picture of the video's size (the caller's still) as a VIDEO layer at (x, y) with the
// display options of the table; the new layer in *out.
// With ready layer options (InsertLayer) instead of an options table.
int AddVideoLayer(lua_State *L, cxVideo *v, cxBitmap *bitmap, int32_t x, int32_t y, int optionsIndex, cxLayer **out,
                  cxLayerOptions *ready = nullptr) {
    *out = nullptr;
    const cxObjectID id = GetObjectID(&v->header);
    cxDrawRequest r{};
    r.kind = CX_OBJ_VIDEO;
    r.id = id;
    r.bitmap = bitmap;
    r.objectWidth = v->sourceWidth, r.objectHeight = v->sourceHeight;
    r.x = x, r.y = y;
    r.optionsIndex = optionsIndex;
    r.flags = CX_DRAW_NOSHORTCUT;
    cxTransformOptions t;
    if (ready) {
        InitTransformOptions(&t);
        r.transform = &t;
        r.layerOptions = ready;
    }
    if (int err = DrawBitmapCore(L, &r)) return err;
    if (!(r.flags & CX_DRAW_LAYERADDED)) return ERR_NOLAYERS;
    const cxBGPic *bgpic = GetLayerOutputBGPic();
    for (int32_t i = CountLayers(bgpic); i >= 1; --i) {
        cxLayer *l = GetLayerByPos(bgpic, i);
        if (l->type == CX_LAYER_VIDEO && SameID(l->source, id)) {
            *out = l;
            return 0;
        }
    }
    return ERR_LAYERRANGE;
}

// The video itself, or a second copy when it is busy elsewhere.
int Usable(lua_State *L, cxVideo *v, cxVideo **out) {
    const uint32_t s = VideoState(v);
    if (s == CX_VIDEO_PLAYING || s == CX_VIDEO_PAUSED || LayersShowing(v) > 0) {
        cxObjectID id{0, reinterpret_cast<void *>(1)};
        return OpenVideoObject(L, &id, v->fileName, v->loader, v->adapter, 1, out);
    }
    *out = v;
    return 0;
}

int StartInLayer(lua_State *L, cxVideo *v, cxLayer *layer, int channel) {
    cxDisplay *d = GetCurrentDisplay();
    v->isLayer = 1;
    v->display = d;
    v->displayX = v->displayY = 0;
    v->displayWidth = v->sourceWidth;
    v->displayHeight = v->sourceHeight;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        LayerPicture &lp = g_pictures[v->player];
        lp = LayerPicture{};
        lp.display = d;
    }
    if (int err = StartVideoOnDisplay(L, v, channel, layer)) {
        v->isLayer = 0;
        Forget(v->player);
        return err;
    }
    return 0;
}

int Control(lua_State *L, void *layer, int op, int32_t value) {
    switch (op) {
    case CX_LAYERVIDEO_PLAY: return PlayVideoLayer(L, layer);
    case CX_LAYERVIDEO_STOP: return StopVideoPlayback(L, nullptr, layer, 0, 0);
    case CX_LAYERVIDEO_PAUSE: return PauseVideoPlayback(L, nullptr, layer);
    case CX_LAYERVIDEO_RESUME: return ResumeVideoPlayback(L, nullptr, layer);
    case CX_LAYERVIDEO_SEEK: return SeekVideoPlayback(L, nullptr, layer, value);
    case CX_LAYERVIDEO_VOLUME: return SetVideoPlaybackVolume(L, nullptr, layer, value);
    default: return ERR_WRONGUSAGE;
    }
}

int IsPlaying(const void *layer) {
    cxVideo *v = OfLayer(nullptr, const_cast<void *>(layer));
    return v && VideoState(v) == CX_VIDEO_PLAYING ? 1 : 0;
}

}  // namespace

int VideoShownByLayers(const cxVideo *v) { return LayersShowing(v); }

void RetargetVideoLayers(cxObjectID from, cxObjectID to) {
    ForEachListedLayer([&](cxLayer *l) {
        if (l && l->type == CX_LAYER_VIDEO && SameID(l->source, from)) l->source = to;
    });
}

int PlayVideoInLayer(lua_State *L, cxVideo *v, int channel, int optionsIndex) {
    cxVideo *use = nullptr;
    if (int err = Usable(L, v, &use)) return err;
    cxBitmap *black = nullptr;
    std::vector<uint32_t> px(size_t(use->sourceWidth) * size_t(use->sourceHeight), 0xFF000000u);
    if (int err = MakeBitmapFromARGB(px.data(), -1, use->sourceWidth, use->sourceHeight, use->sourceWidth, &black,
                                     nullptr))
        return err;
    // At the position PlayVideo was given (the video's own), or the table's.
    int32_t x = v->x, y = v->y;
    if (optionsIndex) {
        ReadPositionOptions(L, optionsIndex, &x, &y);
        if (x == CX_POSITION_ABSENT) x = v->x;
        if (y == CX_POSITION_ABSENT) y = v->y;
    }
    cxLayer *layer = nullptr;
    // The layer takes a copy of the picture.
    const int err = AddVideoLayer(L, use, black, x, y, optionsIndex, &layer);
    FreeBitmap(black);
    if (err) {
        if (use != v) FreeVideo(L, use);
        return err;
    }
    return StartInLayer(L, use, layer, channel);
}

int PlayVideoLayer(lua_State *L, void *layer) {
    cxVideo *v = OfLayer(L, layer);
    if (!v) return ERR_WRONGUSAGE;
    if (VideoState(v) == CX_VIDEO_ENDED) StopVideoPlayback(L, v, nullptr, 0, 0);
    const uint32_t s = VideoState(v);
    if (s == CX_VIDEO_PLAYING || s == CX_VIDEO_SUSPENDED) return ERR_VIDPLAYING;
    if (s == CX_VIDEO_PAUSED) return ERR_VIDPAUSED;
    return StartInLayer(L, v, static_cast<cxLayer *>(layer), -1);
}

static int FrameLayer(lua_State *L, cxVideo *v, int64_t ms, int32_t x, int32_t y, int optionsIndex, cxLayerOptions *ready) {
    if (VideoState(v) == CX_VIDEO_ENDED) StopVideoPlayback(L, v, nullptr, 0, 0);
    cxVideo *use = nullptr;
    if (int err = Usable(L, v, &use)) return err;
    use->isLayer = 1;
    const uint32_t *px = nullptr;
    int32_t w = 0, h = 0;
    int err = GetVideoFrameAt(use->player, ms, 1, &px, &w, &h);
    cxBitmap *b = nullptr;
    if (!err) err = MakeBitmapFromARGB(px, -1, w, h, w, &b, nullptr);
    cxLayer *layer = nullptr;
    if (!err) {
        err = AddVideoLayer(L, use, b, x, y, optionsIndex, &layer, ready);
        FreeBitmap(b);  // the layer has its own copy
    }
    if (err && use != v) FreeVideo(L, use);
    return err;
}

int DisplayVideoFrameLayer(lua_State *L, cxVideo *v, int64_t ms, int32_t x, int32_t y, int optionsIndex) {
    return FrameLayer(L, v, ms, x, y, optionsIndex, nullptr);
}

namespace {

// InsertLayer of a video: its first picture as a layer at the list
// position, which PlayLayer can then set playing.
int Insert(lua_State *L, cxObjectID id, int32_t x, int32_t y, int32_t position, int hidden) {
    cxVideo *v = nullptr;
    if (int err = FindVideo(L, id, &v, 0)) return err;
    cxLayerOptions lo;
    InitLayerOptions(&lo);
    lo.name[0] = 0;
    lo.insertPos = position;
    lo.hidden = hidden ? 1u : 0u;
    return FrameLayer(L, v, 0, x, y, 0, &lo);
}

}  // namespace

void InstallVideoLayerHooks(void) {
    SetVideoLayerSink(Sink);
    SetVideoOfLayerFunc(OfLayer);
    cxLayerVideoHooks h{};
    h.insert = Insert;
    h.control = Control;
    h.isPlaying = IsPlaying;
    SetLayerVideoHooks(&h);
}

// Main-thread consumer of the pictures the sink keeps.
void ApplyVideoLayerPictures(lua_State *L, cxDisplay *d) { ApplyPictures(L, d); }
