#include "layers/core/dirty_region.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "errors/error_codes.h"

namespace {

// Exclusive right and bottom edges, in 64 bits while cutting.
struct Span {
    int32_t x1, x2;
};
struct Box {
    int32_t x1, y1, x2, y2;
};
// A rectangle still open at the bottom of the last band: it grows while
// the next band has the same span.
struct Open {
    int32_t x1, x2;
    uint32_t rect;
};

// Scratch kept between frames: a frame allocates nothing once these grew.
struct Scratch {
    std::vector<Box> boxes;
    std::vector<int32_t> edges;
    std::vector<uint32_t> active;
    std::vector<Span> spans;
    std::vector<Open> open, next;
};

bool Push(cxDirtyRegion *r, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (r->count == r->capacity) {
        const uint32_t cap = r->capacity ? r->capacity * 2 : 256;
        if (cap <= r->capacity || cap > UINT32_MAX / sizeof(cxRegionRect)) return false;
        void *p = realloc(r->rects, size_t(cap) * sizeof(cxRegionRect));
        if (!p) return false;
        r->rects = static_cast<cxRegionRect *>(p);
        r->capacity = cap;
    }
    r->rects[r->count++] = cxRegionRect{x, y, w, h};
    return true;
}

int Build(Scratch &s, cxDirtyRegion *r, const cxDirtyBox *in, uint32_t n, int32_t width, int32_t height) {
    s.boxes.clear();
    s.edges.clear();
    for (uint32_t i = 0; i < n; ++i) {
        const cxDirtyBox &b = in[i];
        if (b.x1 == CX_DIRTY_MERGED) continue;
        const int64_t x1 = std::max<int64_t>(b.x1, 0), y1 = std::max<int64_t>(b.y1, 0);
        const int64_t x2 = std::min<int64_t>(int64_t(b.x2) + 1, width), y2 = std::min<int64_t>(int64_t(b.y2) + 1, height);
        if (x2 <= x1 || y2 <= y1) continue;
        s.boxes.push_back(Box{int32_t(x1), int32_t(y1), int32_t(x2), int32_t(y2)});
        s.edges.push_back(int32_t(y1));
        s.edges.push_back(int32_t(y2));
    }
    if (s.boxes.empty()) return 0;
    std::sort(s.boxes.begin(), s.boxes.end(), [](const Box &a, const Box &b) { return a.y1 < b.y1; });
    std::sort(s.edges.begin(), s.edges.end());
    s.edges.erase(std::unique(s.edges.begin(), s.edges.end()), s.edges.end());

    s.active.clear();
    s.open.clear();
    size_t nextBox = 0;
    for (size_t e = 0; e + 1 < s.edges.size(); ++e) {
        const int32_t top = s.edges[e], bottom = s.edges[e + 1];
        // The boxes over this band: those ended drop out, those starting join.
        size_t keep = 0;
        for (uint32_t i : s.active)
            if (s.boxes[i].y2 > top) s.active[keep++] = i;
        s.active.resize(keep);
        // Kept in order of left edges, so that the spans come out sorted.
        while (nextBox < s.boxes.size() && s.boxes[nextBox].y1 <= top) {
            const int32_t x1 = s.boxes[nextBox].x1;
            auto at = std::upper_bound(s.active.begin(), s.active.end(), x1,
                                       [&](int32_t x, uint32_t i) { return x < s.boxes[i].x1; });
            s.active.insert(at, uint32_t(nextBox++));
        }

        s.spans.clear();
        for (uint32_t i : s.active) {
            const Box &b = s.boxes[i];
            if (!s.spans.empty() && b.x1 <= s.spans.back().x2) s.spans.back().x2 = std::max(s.spans.back().x2, b.x2);
            else s.spans.push_back(Span{b.x1, b.x2});
        }

        // Spans equal to one of the band above (both lists sorted) extend
        // its rectangle; the others start one.
        s.next.clear();
        size_t o = 0;
        for (const Span &sp : s.spans) {
            while (o < s.open.size() && s.open[o].x1 < sp.x1) ++o;
            const cxRegionRect *above = o < s.open.size() ? &r->rects[s.open[o].rect] : nullptr;
            if (above && s.open[o].x1 == sp.x1 && s.open[o].x2 == sp.x2 && above->y + above->height == top) {
                r->rects[s.open[o].rect].height += bottom - top;
                s.next.push_back(s.open[o]);
            } else {
                if (!Push(r, sp.x1, top, sp.x2 - sp.x1, bottom - top)) return ERR_MEM;
                s.next.push_back(Open{sp.x1, sp.x2, r->count - 1});
            }
        }
        s.open.swap(s.next);
    }
    return 0;
}

}  // namespace

extern "C" int BuildDirtyRegion(cxDirtyRegion *r, const cxDirtyBox *boxes, uint32_t count, int32_t width,
                                int32_t height) {
    if (!r) return ERR_MEM;
    r->count = 0;
    if (!boxes || !count || width < 1 || height < 1) return 0;
    static thread_local Scratch scratch;
    int err = 0;
    try {
        err = Build(scratch, r, boxes, count, width, height);
    } catch (const std::bad_alloc &) {
        err = ERR_MEM;
    }
    if (err) r->count = 0;
    return err;
}

extern "C" void FreeDirtyRegion(cxDirtyRegion *r) {
    if (!r) return;
    free(r->rects);
    *r = cxDirtyRegion{};
}
