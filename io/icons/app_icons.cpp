// The application-icon slots and the list built from them.
#include "io/icons/app_icons.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "engine/runtime/console.h"
#include "images/formats/image_loader.h"
#include "io/icons/icons.h"
#include "streams/applet_record.h"
#include "streams/chunk_names.h"

namespace {

// The item type of the icon an applet declares.
constexpr uint32_t kAppletIconItem = 17;

struct Slot {
    char *file;             // owned, or null
    const uint32_t *pixels; // borrowed from the applet's icon entries
    uint32_t standard;
};

const int kSizes[10] = {16, 24, 32, 48, 64, 96, 128, 256, 512, 1024};

Slot g_slots[CX_APPICON_SLOT_COUNT];
cxIconEntry *g_appletEntries = nullptr;
cxAppIconImage *g_images = nullptr;

int SlotSize(int slot) { return kSizes[slot % 10]; }
bool IsSelectedSlot(int slot) { return slot >= 10; }

void SlotName(int slot, char *out, size_t size) {
    snprintf(out, size, "ic%dx%d%s", SlotSize(slot), SlotSize(slot), IsSelectedSlot(slot) ? "s" : "");
}

void FreeImageList(cxAppIconImage *list) {
    while (list) {
        cxAppIconImage *next = list->next;
        free(list->pixels);
        free(list);
        list = next;
    }
}

void ClearSlots() {
    for (Slot &s : g_slots) {
        free(s.file);
        s = Slot{};
    }
}

// A node with a copy of n pixels; null when memory runs out.
cxAppIconImage *NewImage(const uint32_t *pixels, int size, uint32_t flags) {
    auto *node = static_cast<cxAppIconImage *>(calloc(1, sizeof(cxAppIconImage)));
    const size_t bytes = static_cast<size_t>(size) * size * 4;
    if (node) node->pixels = static_cast<uint32_t *>(malloc(bytes));
    if (!node || !node->pixels) {
        free(node);
        return nullptr;
    }
    memcpy(node->pixels, pixels, bytes);
    node->width = node->height = size;
    node->flags = flags;
    return node;
}

// Loads a slot's file: exactly the slot's size, opaque without alpha.
int LoadSlotFile(int slot, cxAppIconImage **out) {
    *out = nullptr;
    const int size = SlotSize(slot);
    cxImageLoad load{};
    if (int err = LoadImageFile(g_slots[slot].file, nullptr, nullptr, nullptr, -1, 2, &load)) return err;
    if (load.width != size || load.height != size) {
        FreeImageLoad(&load);
        char detail[32];
        snprintf(detail, sizeof detail, "%dx%d", size, size);
        SetErrorDetail(detail);
        return ERR_ICONDIMS;
    }
    if (!load.hasAlpha && load.pen != -2)
        for (size_t i = 0; i < static_cast<size_t>(size) * size; i++) load.pixels[i] |= 0xFF000000u;
    uint32_t flags = (g_slots[slot].standard ? CX_APPICON_STANDARD : 0) |
                     (IsSelectedSlot(slot) ? CX_APPICON_SELECTED : 0);
    *out = NewImage(load.pixels, size, flags);
    FreeImageLoad(&load);
    return *out ? 0 : ERR_MEM;
}

} // namespace

extern "C" int SetAppIconSlotFile(const char *slot, const char *file) {
    for (int i = 0; i < CX_APPICON_SLOT_COUNT; i++) {
        char name[16];
        SlotName(i, name, sizeof name);
        if (!slot || strcasecmp(slot, name) != 0) continue;
        char *copy = nullptr;
        if (file && !(copy = strdup(file))) return ERR_MEM;
        free(g_slots[i].file);
        g_slots[i].file = copy;
        return 0;
    }
    return ERR_WRONGUSAGE;
}

extern "C" int LoadAppletIcon(const cxApplet *applet, const cxStartupOptions *) {
    const cxPreprocItem *item = nullptr;
    for (const cxPreprocItem *i = applet ? applet->items : nullptr; i && !item; i = i->next)
        if (i->type == kAppletIconItem && i->name && i->name[0]) item = i;
    if (item) {
        char chunk[512];
        const char *file = ResolveLinkedFileName(applet, item->name, 0, nullptr, chunk, sizeof chunk);
        PrintStatusMessage(GetMessageText(CX_MSG_LOADING_ICON), file, 1);
        FreeIconEntries(g_appletEntries);
        g_appletEntries = nullptr;
        if (int err = LoadIconFile(file, nullptr, nullptr, &g_appletEntries)) return err;
        PrintDoneMessage();
        // the declared icon replaces whatever files the slots named
        for (int s = 0; s < CX_APPICON_SLOT_COUNT; s++) {
            free(g_slots[s].file);
            g_slots[s] = Slot{};
            for (const cxIconEntry *e = g_appletEntries; e; e = e->next) {
                if (e->width != SlotSize(s) || e->height != SlotSize(s)) continue;
                g_slots[s].pixels = IsSelectedSlot(s) ? e->selPixels : e->pixels;
                g_slots[s].standard = e->standard;
                break;
            }
        }
    }
    return BuildAppIconImages(0);
}

extern "C" int BuildAppIconImages(int verbose) {
    cxAppIconImage *head = nullptr, **tail = &head;
    int err = 0;
    for (int s = 0; s < CX_APPICON_SLOT_COUNT && !err; s++) {
        cxAppIconImage *node = nullptr;
        if (g_slots[s].file) {
            if (verbose) PrintStatusMessage(GetMessageText(CX_MSG_LOADING_ICON), g_slots[s].file, 1);
            err = LoadSlotFile(s, &node);
            if (!err && verbose) PrintDoneMessage();
        } else if (g_slots[s].pixels) {
            uint32_t flags = (g_slots[s].standard ? CX_APPICON_STANDARD : 0) |
                             (IsSelectedSlot(s) ? CX_APPICON_SELECTED : 0);
            node = NewImage(g_slots[s].pixels, SlotSize(s), flags);
            if (!node) err = ERR_MEM;
        }
        if (node) {
            *tail = node;
            tail = &node->next;
        }
    }
    ClearSlots();
    FreeIconEntries(g_appletEntries);
    g_appletEntries = nullptr;
    if (err) {
        FreeImageList(head);
        return err;
    }
    FreeImageList(g_images);
    g_images = head;
    return 0;
}

extern "C" const cxAppIconImage *GetAppIconImages(void) { return g_images; }

extern "C" void FreeAppIcons(void) {
    FreeImageList(g_images);
    g_images = nullptr;
    ClearSlots();
    FreeIconEntries(g_appletEntries);
    g_appletEntries = nullptr;
}
