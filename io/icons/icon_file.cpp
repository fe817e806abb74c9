// The icon file: an ARGB image whose rows carry a magic, then a descriptor
// row and the pixel rows of each entry. Any image format with an alpha
// channel can hold it; icons are written as PNG.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "images/formats/image_loader.h"
#include "images/formats/image_saver.h"
#include "io/icons/icons.h"

namespace {

// "CAL", "YXT", "ONE": three letters a pixel as red, green and blue.
constexpr uint32_t kMagic[3] = {0x0043414Cu, 0x00595854u, 0x004F4E45u};

// Copies a block of rows columns [x, x + w) into a w-wide buffer.
void CopyBlock(const uint32_t *image, int imageWidth, int row, int x, int w, int h, uint32_t *out) {
    for (int y = 0; y < h; y++)
        memcpy(out + static_cast<size_t>(y) * w, image + static_cast<size_t>(row + y) * imageWidth + x,
               static_cast<size_t>(w) * 4);
}

} // namespace

extern "C" int ParseIconContainer(const uint32_t *pixels, int width, int height, int hasAlpha, cxIconEntry **out) {
    *out = nullptr;
    if (!pixels || width < 3 || height < 1 || !hasAlpha) return ERR_LOADICON;
    if (memcmp(pixels, kMagic, sizeof kMagic) != 0) return ERR_LOADICON;
    cxIconEntry *head = nullptr, **tail = &head;
    uint32_t previous = 0;
    bool sawStandard = false;
    int err = 0;
    for (int row = 1; row < height;) {
        const uint32_t *d = pixels + static_cast<size_t>(row) * width;
        const uint32_t w = d[0], h = d[1], flags = d[2];
        const uint32_t left = static_cast<uint32_t>(height - row - 1);
        // Besides the stated rules (fits the image, widths grow), an entry
        // must have pixels, its selected image must lie inside the image and
        // only one entry may be the standard size: a file breaking these was
        // not written by an icon saver.
        if (w == 0 || h == 0 || w > static_cast<uint32_t>(width) || h > left || (head && w <= previous) ||
            ((flags & CX_ICONFILE_SELECTED) && 2ull * w > static_cast<uint32_t>(width)) ||
            ((flags & CX_ICONFILE_STANDARD) && sawStandard)) {
            err = ERR_LOADICON;
            break;
        }
        auto *e = static_cast<cxIconEntry *>(calloc(1, sizeof(cxIconEntry)));
        const size_t count = static_cast<size_t>(w) * h;
        if (e) e->pixels = static_cast<uint32_t *>(malloc(count * 4));
        if (e && (flags & CX_ICONFILE_SELECTED)) e->selPixels = static_cast<uint32_t *>(malloc(count * 4));
        if (!e || !e->pixels || ((flags & CX_ICONFILE_SELECTED) && !e->selPixels)) {
            FreeIconEntry(e);
            err = ERR_MEM;
            break;
        }
        e->width = static_cast<int32_t>(w);
        e->height = static_cast<int32_t>(h);
        e->transparent = (flags & CX_ICONFILE_TRANSPARENT) ? 1 : 0;
        e->standard = (flags & CX_ICONFILE_STANDARD) ? 1 : 0;
        CopyBlock(pixels, width, row + 1, 0, e->width, e->height, e->pixels);
        if (e->selPixels) CopyBlock(pixels, width, row + 1, e->width, e->width, e->height, e->selPixels);
        *tail = e;
        tail = &e->next;
        sawStandard = sawStandard || e->standard;
        previous = w;
        row += 1 + e->height;
    }
    if (err) {
        FreeIconEntries(head);
        return err;
    }
    *out = head;
    return 0;
}

extern "C" int BuildIconContainer(const cxIconEntry *list, uint32_t **pixels, int *width, int *height) {
    *pixels = nullptr;
    uint64_t w = 3, h = 1;
    for (const cxIconEntry *e = list; e; e = e->next) {
        uint64_t cols = static_cast<uint64_t>(e->width) * (e->selPixels ? 2 : 1);
        if (cols > w) w = cols;
        h += static_cast<uint64_t>(e->height) + 1;
    }
    if (w > INT_MAX || h > INT_MAX || w * h > SIZE_MAX / 4 / 2) return ERR_MEM;
    auto *image = static_cast<uint32_t *>(calloc(w * h, 4));
    if (!image) return ERR_MEM;
    memcpy(image, kMagic, sizeof kMagic);
    size_t row = 1;
    for (const cxIconEntry *e = list; e; e = e->next) {
        uint32_t *d = image + row * w;
        d[0] = static_cast<uint32_t>(e->width);
        d[1] = static_cast<uint32_t>(e->height);
        d[2] = (e->selPixels ? CX_ICONFILE_SELECTED : 0) | (e->transparent ? CX_ICONFILE_TRANSPARENT : 0) |
               (e->standard ? CX_ICONFILE_STANDARD : 0);
        for (int y = 0; y < e->height; y++) {
            uint32_t *line = image + (row + 1 + y) * w;
            memcpy(line, e->pixels + static_cast<size_t>(y) * e->width, static_cast<size_t>(e->width) * 4);
            if (e->selPixels)
                memcpy(line + e->width, e->selPixels + static_cast<size_t>(y) * e->width,
                       static_cast<size_t>(e->width) * 4);
        }
        row += 1 + static_cast<size_t>(e->height);
    }
    *pixels = image;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return 0;
}

extern "C" int LoadIconFile(const char *file, const char *loaders, const char *adapters, cxIconEntry **out) {
    *out = nullptr;
    cxImageLoad load{};
    if (int err = LoadImageFile(file, loaders, adapters, nullptr, -1, 2, &load)) return err;
    int err = ParseIconContainer(load.pixels, load.width, load.height, load.hasAlpha, out);
    FreeImageLoad(&load);
    if (err == ERR_LOADICON) SetErrorDetail(file);
    return err;
}

extern "C" int SaveIconFile(const cxIconEntry *list, const char *file) {
    for (const cxIconEntry *e = list; e; e = e->next) {
        if (e->vector) return ERR_WRONGUSAGE;
        // A file holds each width once, growing (the list is in order of
        // width): what LoadIconFile would refuse is not written.
        if (e->next && e->next->width == e->width) return ERR_ICONSIZE;
    }
    uint32_t *image = nullptr;
    int w = 0, h = 0;
    if (int err = BuildIconContainer(list, &image, &w, &h)) return err;
    int err = SaveImage(CX_SAVE_PNG, image, w, h, file, 1, 0, 0, 0);
    free(image);
    return err;
}
