// Icon entry lists and the entry table that CreateIcon and AddIconImage
// read.
#include <cstdlib>
#include <memory>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "graphics/images/image_handle.h"
#include "io/icons/icon_sources.h"
#include "io/icons/icons.h"

namespace {

enum { kTypeBrush = CX_OBJ_BRUSH, kTypeFile = CX_OBJ_FILE };

bool HasEntryOfSize(const cxIconEntry *list, int w, int h) {
    for (const cxIconEntry *e = list; e; e = e->next)
        if (e->width == w && e->height == h) return true;
    return false;
}

bool HasVectorEntry(const cxIconEntry *list) {
    for (const cxIconEntry *e = list; e; e = e->next)
        if (e->vector) return true;
    return false;
}

bool HasStandardEntry(const cxIconEntry *list) {
    for (const cxIconEntry *e = list; e; e = e->next)
        if (e->standard) return true;
    return false;
}

// The entry's standard image: a vector image only on an icon without
// entries; a raster image only in a size the icon does not have yet.
int CheckImage(const cxIconEntry *list, const cxIconSource &s) {
    if (s.vector) return list ? ERR_ICONVECTOR : 0;
    if (HasEntryOfSize(list, s.width, s.height)) return ERR_ICONSIZE;
    if (HasVectorEntry(list)) return ERR_ICONVECTOR;
    return 0;
}

// Frees a source however the command leaves (table readers raise errors).
struct SourceHolder {
    cxIconSource s{};
    ~SourceHolder() { FreeIconSource(&s); }
};

// Reads "image" or "selimage" of the entry table into a source. 0 with
// *found clear when the field is absent.
struct EntryFiles {
    char loader[256] = "";
    char adapter[256] = "";
};

int ReadSource(lua_State *L, int table, const char *key, int type, int deferred, const EntryFiles &files,
               cxIconSource *out, int *found) {
    *found = 0;
    if (type == kTypeBrush) {
        cxObjectID id{};
        if (!GetTableObjectID(L, table, key, &id, found)) return 0;
        return GetBrushIconImage(L, id, deferred, out);
    }
    char *file = nullptr;
    if (!GetTableStringAlloc(L, table, key, 1, nullptr, &file, nullptr, found) || !file) return 0;
    std::unique_ptr<char, decltype(&free)> owned(file, free);
    return LoadFileIconImage(file, files.loader, files.adapter, out);
}

} // namespace

extern "C" void FreeIconEntry(cxIconEntry *entry) {
    if (!entry) return;
    free(entry->pixels);
    free(entry->selPixels);
    if (entry->vector) ReleaseImageHandle(entry->vector);
    if (entry->selVector) ReleaseImageHandle(entry->selVector);
    free(entry);
}

extern "C" void FreeIconEntries(cxIconEntry *list) {
    while (list) {
        cxIconEntry *next = list->next;
        FreeIconEntry(list);
        list = next;
    }
}

extern "C" int InsertIconEntry(cxIconEntry **list, cxIconEntry *entry) {
    int position = 1;
    cxIconEntry **at = list;
    while (*at && (*at)->width <= entry->width) {
        at = &(*at)->next;
        position++;
    }
    entry->next = *at;
    *at = entry;
    return position;
}

extern "C" int CountIconEntries(const cxIconEntry *list) {
    int n = 0;
    for (; list; list = list->next) n++;
    return n;
}

extern "C" int AddIconEntry(lua_State *L, int table, cxIconEntry **list, int deferred, int *position) {
    int type = kTypeBrush, standard = 0;
    GetTableInt(L, table, "type", &type, nullptr);
    GetTableInt(L, table, "standard", &standard, nullptr);
    if (standard && HasStandardEntry(*list)) return ERR_ICONSTANDARD;
    if (type != kTypeBrush && type != kTypeFile) return ERR_WRONGUSAGE;
    EntryFiles files;
    if (type == kTypeFile) {
        GetTableString(L, table, "loader", files.loader, sizeof files.loader, nullptr);
        GetTableString(L, table, "adapter", files.adapter, sizeof files.adapter, nullptr);
    }
    SourceHolder held, heldSel;
    cxIconSource &image = held.s, &selected = heldSel.s;
    int found = 0;
    if (int err = ReadSource(L, table, "image", type, deferred, files, &image, &found)) return err;
    if (!found) {
        SetErrorDetail("Image");
        return ERR_MISSINGFIELD;
    }
    if (int err = CheckImage(*list, image)) return err;
    if (int err = ReadSource(L, table, "selimage", type, deferred, files, &selected, &found)) return err;
    if (found && (selected.width != image.width || selected.height != image.height ||
                  selected.transparent != image.transparent || !selected.vector != !image.vector))
        return ERR_ICONPARMS;
    auto *e = static_cast<cxIconEntry *>(calloc(1, sizeof(cxIconEntry)));
    if (!e) return ERR_MEM;
    e->width = image.width;
    e->height = image.height;
    e->transparent = image.transparent;
    // a vector image is the icon's only entry and so its standard size
    e->standard = standard || image.vector ? 1 : 0;
    e->pixels = image.pixels;
    e->selPixels = selected.pixels;
    e->vector = image.vector;
    e->selVector = selected.vector;
    image = cxIconSource{};
    selected = cxIconSource{};
    *position = InsertIconEntry(list, e);
    return 0;
}
