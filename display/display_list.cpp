// The display list (an object list of kind 21 in creation order), its
// mutex, the current display and lookups.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display_record.h"
#include "errors/error_codes.h"
#include "errors/errors.h"
#include "engine/plugins/plugin_registry.h"

namespace {
cxObjectList g_displays = {CX_OBJECT_DISPLAY, ERR_FINDDISPLAY, nullptr, nullptr};
cxOsMutex *g_listMutex = nullptr;
cxDisplay *g_current = nullptr;
int g_recordingVideo = 0;
}  // namespace

extern "C" int InitDisplayRecords(void) {
    if (!g_listMutex) {
        g_listMutex = OsCreateMutex();
        if (!g_listMutex) return ERR_SEMAPHORE;
    }
    RegisterObjectList(&g_displays);
    return 0;
}

extern "C" void FreeDisplayRecords(void) {
    UnregisterObjectList(&g_displays);
    if (g_listMutex) OsFreeMutex(g_listMutex);
    g_listMutex = nullptr;
    g_current = nullptr;
}

extern "C" void LockDisplayList(void) {
    if (g_listMutex) OsLockMutex(g_listMutex);
}
extern "C" void UnlockDisplayList(void) {
    if (g_listMutex) OsUnlockMutex(g_listMutex);
}
extern "C" cxObjectList *GetDisplayObjectList(void) { return &g_displays; }

extern "C" cxDisplay *GetFirstDisplay(void) { return reinterpret_cast<cxDisplay *>(g_displays.first); }

extern "C" cxDisplay *GetNextDisplay(const cxDisplay *d) {
    return d ? reinterpret_cast<cxDisplay *>(d->header.next) : nullptr;
}

extern "C" void LinkDisplay(cxDisplay *d) {
    d->header.kind = CX_OBJECT_DISPLAY;
    d->header.next = nullptr;
    LockDisplayList();
    AddObject(&g_displays, &d->header);
    UnlockDisplayList();
}

extern "C" void UnlinkDisplay(cxDisplay *d) {
    LockDisplayList();
    RemoveObject(&g_displays, &d->header);
    UnlockDisplayList();
    d->header.next = nullptr;
    if (g_current == d) g_current = nullptr;
}

extern "C" cxDisplay *GetCurrentDisplay(void) { return g_current; }
extern "C" void SetCurrentDisplayRecord(cxDisplay *d) { g_current = d; }

extern "C" int FindDisplay(cxObjectID id, cxDisplay **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_displays, id, &h)) return err;
    *out = reinterpret_cast<cxDisplay *>(h);
    return 0;
}

extern "C" void *GetDisplayHandle(const cxDisplay *d) {
    if (!d) return nullptr;
    return GetDisplayAdapter() ? d->adapterHandle : static_cast<void *>(d->os.handle);
}

extern "C" cxDisplay *FindDisplayByHandle(const void *handle) {
    if (!handle) return nullptr;
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (GetDisplayHandle(d) == handle) return d;
    return nullptr;
}

extern "C" int IsRecordingVideo(void) { return g_recordingVideo; }
extern "C" void SetRecordingVideo(int on) { g_recordingVideo = on != 0; }

extern "C" cxDisplay *NewDisplayRecord(void) {
    auto *d = static_cast<cxDisplay *>(calloc(1, sizeof(cxDisplay)));
    if (!d) return nullptr;
    d->header.kind = CX_OBJECT_DISPLAY;
    d->os.owner = d;
    d->os.width = CX_DISPLAY_DEFAULT_WIDTH;
    d->os.height = CX_DISPLAY_DEFAULT_HEIGHT;
    d->os.x = d->os.y = CX_POS_CENTER;
    d->os.state = CX_DISPLAY_CLOSED;
    snprintf(d->os.title, sizeof d->os.title, "%s", "Calyxtone");
    d->scaleX = d->scaleY = 1.0;
    d->scaleFactor = 1.0;
    d->xOnMonitor = d->yOnMonitor = 1;
    for (cxHandlerSlot &h : d->handlers) h = {-1, -1};
    d->mode = CX_MODE_WINDOWED;
    d->targetKind = CX_OBJECT_DISPLAY;
    d->fillStyle = 1;
    return d;
}

extern "C" void ResetTextCursor(cxDisplay *d) {
    memset(&d->textCursor, 0, sizeof d->textCursor);
    const int32_t width = d->picture ? d->pictureWidth : d->os.width;
    d->textCursor.rightMargin = width - 1;
}

extern "C" void SaveDisplayRenderState(cxDisplay *d, int mode, int32_t targetWidth) {
    cxSavedRenderState &s = d->savedRender;
    if (s.saved) return;
    s.saved = 1;
    s.layersOn = d->layersOn;
    if (mode != 1) d->layersOn = 0;
    s.cursorX = d->textCursor.cursorX;
    s.cursorY = d->textCursor.cursorY;
    s.leftMargin = d->textCursor.leftMargin;
    s.rightMargin = d->textCursor.rightMargin;
    d->textCursor.rightMargin = targetWidth - 1;
    d->textCursor.cursorX = d->textCursor.cursorY = d->textCursor.leftMargin = 0;
}

extern "C" void RestoreDisplayRenderState(cxDisplay *d) {
    cxSavedRenderState &s = d->savedRender;
    s.saved = 0;
    d->layersOn = s.layersOn;
    d->textCursor.cursorX = s.cursorX;
    d->textCursor.cursorY = s.cursorY;
    d->textCursor.leftMargin = s.leftMargin;
    d->textCursor.rightMargin = s.rightMargin;
}

extern "C" void SetDisplaySizeDetail(int32_t width, int32_t height) {
    char text[32];
    snprintf(text, sizeof text, "%dx%d", int(width), int(height));
    SetErrorDetail(text);
}

extern "C" void CopyDisplayTitle(char out[256], const char *title) {
    size_t n = strnlen(title, 255);
    // A cut inside a multi-byte sequence would hand the window system an
    // invalid name: back up to the sequence's first byte.
    if (title[n] != 0)
        while (n > 0 && (static_cast<unsigned char>(title[n]) & 0xC0) == 0x80) --n;
    memcpy(out, title, n);
    out[n] = 0;
}
