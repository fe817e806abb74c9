#include "display/dirty_rects.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "errors/error_codes.h"

namespace {

// Boxes within one pixel of each other count as touching: copying their
// union costs no more than copying both.
bool Touch(const cxDirtyBox &a, const cxDirtyBox &b) {
    return int64_t(a.x1) <= int64_t(b.x2) + 1 && int64_t(b.x1) <= int64_t(a.x2) + 1 &&
           int64_t(a.y1) <= int64_t(b.y2) + 1 && int64_t(b.y1) <= int64_t(a.y2) + 1;
}

cxDirtyBox Union(const cxDirtyBox &a, const cxDirtyBox &b) {
    return {std::min(a.x1, b.x1), std::min(a.y1, b.y1), std::max(a.x2, b.x2), std::max(a.y2, b.y2)};
}

struct DisjointSets {
    std::vector<uint32_t> parent;
    explicit DisjointSets(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    uint32_t Find(uint32_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    bool Join(uint32_t a, uint32_t b) {
        a = Find(a);
        b = Find(b);
        if (a == b) return false;
        parent[std::max(a, b)] = std::min(a, b);
        return true;
    }
};

// One round: every pair of touching boxes joins one set, found through a
// grid of about as many cells as boxes; each set becomes its union. False
// when nothing touched.
bool MergeRound(std::vector<cxDirtyBox> &boxes) {
    const size_t n = boxes.size();
    int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
    for (const cxDirtyBox &b : boxes) {
        minX = std::min<int64_t>(minX, b.x1);
        minY = std::min<int64_t>(minY, b.y1);
        maxX = std::max<int64_t>(maxX, int64_t(b.x2) + 1);
        maxY = std::max<int64_t>(maxY, int64_t(b.y2) + 1);
    }
    const int64_t spanX = maxX - minX + 1, spanY = maxY - minY + 1;
    const int64_t side = std::max<int64_t>(1, int64_t(std::sqrt(double(n))));
    const int64_t cellW = std::max<int64_t>(1, (spanX + side - 1) / side);
    const int64_t cellH = std::max<int64_t>(1, (spanY + side - 1) / side);
    const int64_t cols = (spanX + cellW - 1) / cellW, rows = (spanY + cellH - 1) / cellH;
    // Each cell is a list through entries: two allocations per round.
    std::vector<int32_t> heads(size_t(cols * rows), -1);
    struct Entry {
        int32_t next;
        uint32_t box;
    };
    std::vector<Entry> entries;
    entries.reserve(n * 4);
    DisjointSets sets(n);
    bool joined = false;
    for (uint32_t i = 0; i < n; i++) {
        const cxDirtyBox &b = boxes[i];
        // The cells the box reaches with its one-pixel margin.
        const int64_t c1 = (b.x1 - minX) / cellW, c2 = (int64_t(b.x2) + 1 - minX) / cellW;
        const int64_t r1 = (b.y1 - minY) / cellH, r2 = (int64_t(b.y2) + 1 - minY) / cellH;
        for (int64_t r = r1; r <= r2; r++)
            for (int64_t c = c1; c <= c2; c++) {
                int32_t &head = heads[size_t(r * cols + c)];
                for (int32_t e = head; e >= 0; e = entries[size_t(e)].next) {
                    const uint32_t j = entries[size_t(e)].box;
                    if (Touch(b, boxes[j]) && sets.Join(i, j)) joined = true;
                }
                entries.push_back({head, i});
                head = int32_t(entries.size() - 1);
            }
    }
    if (!joined) return false;
    std::vector<cxDirtyBox> merged;
    std::vector<int64_t> slot(n, -1);
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t root = sets.Find(i);
        if (slot[root] < 0) {
            slot[root] = int64_t(merged.size());
            merged.push_back(boxes[i]);
        } else {
            merged[size_t(slot[root])] = Union(merged[size_t(slot[root])], boxes[i]);
        }
    }
    boxes.swap(merged);
    return true;
}

}  // namespace

extern "C" int InitDirtyRects(cxDirtyRects *rects, uint32_t capacity) {
    FreeDirtyRects(rects);
    rects->boxes = static_cast<cxDirtyBox *>(calloc(capacity ? capacity : 1, sizeof(cxDirtyBox)));
    if (!rects->boxes) return ERR_MEM;
    rects->capacity = capacity;
    return 0;
}

extern "C" void FreeDirtyRects(cxDirtyRects *rects) {
    free(rects->boxes);
    *rects = cxDirtyRects{};
}

extern "C" int AddDirtyRect(cxDirtyRects *rects, int32_t x, int32_t y, int32_t width, int32_t height, int grow) {
    if (width < 1 || height < 1 || !rects->boxes) return 0;
    if (rects->count >= rects->capacity) {
        if (!grow) return 0;
        const uint32_t capacity = rects->capacity + CX_DIRTY_CAPACITY;
        auto *boxes = static_cast<cxDirtyBox *>(calloc(capacity, sizeof(cxDirtyBox)));
        if (!boxes) return 0;
        memcpy(boxes, rects->boxes, sizeof(cxDirtyBox) * rects->count);
        free(rects->boxes);
        rects->boxes = boxes;
        rects->capacity = capacity;
    }
    const int64_t x2 = int64_t(x) + width - 1, y2 = int64_t(y) + height - 1;
    rects->boxes[rects->count++] = {x, y, int32_t(std::min<int64_t>(x2, INT32_MAX)),
                                    int32_t(std::min<int64_t>(y2, INT32_MAX))};
    return 1;
}

extern "C" int DirtyRectsFull(const cxDirtyRects *rects) {
    return rects->capacity && rects->count >= rects->capacity ? 1 : 0;
}

extern "C" void MergeDirtyRects(cxDirtyRects *rects) {
    if (!rects->boxes) return;
    std::vector<cxDirtyBox> boxes;
    boxes.reserve(rects->count);
    for (uint32_t i = 0; i < rects->count; i++) {
        const cxDirtyBox &b = rects->boxes[i];
        if (b.x1 != CX_DIRTY_MERGED && b.x2 >= b.x1 && b.y2 >= b.y1) boxes.push_back(b);
    }
    // A union may reach boxes that neither part touched: repeat until the
    // boxes are apart.
    while (boxes.size() > 1 && MergeRound(boxes)) {
    }
    std::copy(boxes.begin(), boxes.end(), rects->boxes);
    rects->count = uint32_t(boxes.size());
}
