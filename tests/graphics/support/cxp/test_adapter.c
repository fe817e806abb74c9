/* A display adapter plug-in for the graphics tests. Its behaviour is chosen
   at build time:
     ADAPTER_MODULE      module name
     ADAPTER_FLAGS       display-adapter flags (16 video bitmaps, 32 owns bitmaps, 128 inverted alpha)
     ADAPTER_FORMAT      pixel format of its bitmaps
     ADAPTER_DRAWFLAGS   drawing flags
     ADAPTER_CALLCONV    calling-convention word
   It keeps every bitmap in plain memory with rows padded to 16 bytes and
   logs what it is asked (AdapterLog). */
#include <stdlib.h>
#include <string.h>

#include "include/calyxtone/cxplugin.h"
#include "tests/graphics/support/adapter_log.h"

#ifndef ADAPTER_DRAWFLAGS
#define ADAPTER_DRAWFLAGS 0
#endif
#ifndef ADAPTER_CALLCONV
#define ADAPTER_CALLCONV 0
#endif

static TestAdapterLog g_log;

CX_PLUGIN_EXPORT TestAdapterLog *AdapterLog(void) { return &g_log; }

static uint32_t BytesPerPixel(uint32_t format) { return format < 8 ? 2 : format < 10 ? 3 : 4; }

static TestStore *NewStore(uint32_t kind, int32_t w, int32_t h, int clear, uint32_t bytesPerRow, void *pixels) {
    TestStore *s = (TestStore *)calloc(1, sizeof(TestStore));
    if (!s) return NULL;
    s->magic = TEST_STORE_MAGIC;
    s->kind = kind;
    s->width = w;
    s->height = h;
    s->bytesPerRow = bytesPerRow;
    if (pixels) {
        s->pixels = (uint8_t *)pixels;
    } else {
        s->pixels = (uint8_t *)(clear ? calloc(bytesPerRow, (size_t)h) : malloc((size_t)bytesPerRow * (size_t)h));
        s->owned = 1;
        if (!s->pixels) {
            free(s);
            return NULL;
        }
    }
    g_log.liveStores++;
    return s;
}

static void DropStore(TestStore *s) {
    if (!s) return;
    if (s->owned) free(s->pixels);
    s->magic = 0;
    free(s);
    g_log.liveStores--;
}

CX_PLUGIN_EXPORT void *AllocBitMap(uint32_t kind, int32_t w, int32_t h, int clear, const cxTagItem *tags) {
    void *pixels = NULL;
    uint32_t given = 0;
    const TestStore *forStore = NULL;
    int n = 0;
    g_log.allocs++;
    g_log.lastAllocKind = kind;
    g_log.lastAllocClear = clear;
    memset(g_log.lastTags, 0, sizeof g_log.lastTags);
    for (; tags && tags->tag; tags++) {
        if (n < 4) g_log.lastTags[n] = *tags;
        n++;
        if (tags->tag == CX_BMTAG_FORBITMAP) forStore = (const TestStore *)tags->data;
        if (tags->tag == CX_BMTAG_PIXELS) pixels = (void *)tags->data;
        if (tags->tag == CX_BMTAG_ROWLENGTH) given = (uint32_t)tags->data;
    }
    g_log.lastTagCount = n;
    if (w < 1 || h < 1) return NULL;
    uint32_t bpr;
    if (pixels) bpr = given;
    else if (kind == CX_BITMAPKIND_COLOUR) bpr = ((uint32_t)w * BytesPerPixel(ADAPTER_FORMAT) + 15) & ~15u;
    else if (kind == CX_BITMAPKIND_ALPHA) bpr = ((uint32_t)w + 15) & ~15u;
    else {
        uint32_t rowPixels = (uint32_t)w;
        if (forStore) rowPixels = forStore->bytesPerRow / BytesPerPixel(ADAPTER_FORMAT);
        bpr = ((rowPixels + 15) >> 3) & ~1u;
    }
    TestStore *s = NewStore(kind, w, h, clear, bpr, pixels);
    if (s) s->forStore = (void *)forStore;
    return s;
}

CX_PLUGIN_EXPORT void FreeBitMap(void *store) {
    g_log.frees++;
    DropStore((TestStore *)store);
}

CX_PLUGIN_EXPORT uintptr_t LockBitMap(void *store, uint32_t flags, cxAdapterBitMapLock *out, void *reserved) {
    TestStore *s = (TestStore *)store;
    (void)reserved;
    g_log.lockCalls++;
    g_log.lastLockFlags = (int)flags;
    if (!s || s->magic != TEST_STORE_MAGIC) return 0;
    s->locks++;
    out->pixels = s->pixels;
    out->rowLength = s->kind == CX_BITMAPKIND_COLOUR ? s->bytesPerRow / BytesPerPixel(ADAPTER_FORMAT) : s->bytesPerRow;
    out->width = s->width;
    out->height = s->height;
    /* A handle that is not the store's address: the player must keep it. */
    return (uintptr_t)s + 1;
}

CX_PLUGIN_EXPORT void UnLockBitMap(uintptr_t handle) {
    TestStore *s = (TestStore *)(handle - 1);
    g_log.unlocks++;
    if (s->magic == TEST_STORE_MAGIC) s->locks--;
}

CX_PLUGIN_EXPORT uintptr_t GetBitMapAttr(void *store, uint32_t attribute, void *reserved) {
    const TestStore *s = (const TestStore *)store;
    (void)reserved;
    g_log.attrCalls++;
    switch (attribute) {
    case CX_BMATTR_ADAPTER_WIDTH: return (uintptr_t)s->width;
    case CX_BMATTR_ADAPTER_HEIGHT: return (uintptr_t)s->height;
    case CX_BMATTR_ADAPTER_BYTESPERROW: return s->bytesPerRow;
    default: return 0;
    }
}

/* Video bitmaps hold 0xAARRGGBB words. */
CX_PLUGIN_EXPORT void *AllocVideoBitMap(int32_t w, int32_t h, uint32_t flags, uint32_t *outFlags, uint32_t hint) {
    (void)hint;
    g_log.videoAllocs++;
    if (w < 1 || h < 1) return NULL;
    TestStore *s = NewStore(0, w, h, (int)(flags & 1), (uint32_t)w * 4, NULL);
    if (s) s->video = 1;
    *outFlags = 0;
    return s;
}

CX_PLUGIN_EXPORT void FreeVideoBitMap(void *store) {
    g_log.videoFrees++;
    DropStore((TestStore *)store);
}

CX_PLUGIN_EXPORT int DoVideoBitMapMethod(void *store, uint32_t method, uintptr_t argument) {
    (void)store;
    g_log.methodCalls++;
    g_log.lastMethod = method;
    g_log.lastMethodArg = argument;
    return 1;
}

CX_PLUGIN_EXPORT uint32_t *ReadVideoPixels(void *store, int32_t w, int32_t h, uint32_t *outFlags) {
    const TestStore *s = (const TestStore *)store;
    g_log.readPixelsCalls++;
    if (!s || s->width != w || s->height != h) return NULL;
    uint32_t *argb = (uint32_t *)malloc((size_t)w * (size_t)h * 4);
    if (!argb) return NULL;
    memcpy(argb, s->pixels, (size_t)w * (size_t)h * 4);
    *outFlags = CX_VIDEOPIXELS_ALPHA;
    return argb;
}

CX_PLUGIN_EXPORT void FreeVideoPixels(uint32_t *pixels) {
    g_log.freePixelsCalls++;
    free(pixels);
}

CX_PLUGIN_EXPORT int BltBitMap(void *src, void *dst, cxBltRecord *record, uint32_t flags) {
    g_log.bltCalls++;
    g_log.bltSrc = src;
    g_log.bltDst = dst;
    g_log.bltRecord = *record;
    g_log.bltFlags = flags;
    return 1;
}

CX_PLUGIN_EXPORT int RectFill(void *target, cxRectFillRecord *record) {
    g_log.fillCalls++;
    g_log.fillTarget = target;
    g_log.fillRecord = *record;
    return 1;
}

/* The rest of the display adapter's slots: not used by these tests. */
#define UNUSED_SLOT(name) \
    CX_PLUGIN_EXPORT int name(void) { return 0; }
UNUSED_SLOT(HandleEvents)
UNUSED_SLOT(WaitEvents)
UNUSED_SLOT(ForceEventLoopIteration)
UNUSED_SLOT(Sleep)
UNUSED_SLOT(VWait)
UNUSED_SLOT(DetermineBorderSizes)
UNUSED_SLOT(OpenDisplay)
UNUSED_SLOT(CloseDisplay)
UNUSED_SLOT(ChangeBufferSize)
UNUSED_SLOT(ShowHideDisplay)
UNUSED_SLOT(SizeMoveDisplay)
UNUSED_SLOT(SetDisplayTitle)
UNUSED_SLOT(ActivateDisplay)
UNUSED_SLOT(SetDisplayAttributes)
UNUSED_SLOT(CreatePointer)
UNUSED_SLOT(FreePointer)
UNUSED_SLOT(SetPointer)
UNUSED_SLOT(ShowHidePointer)
UNUSED_SLOT(MovePointer)
UNUSED_SLOT(GetMousePos)
UNUSED_SLOT(GetQualifiers)
UNUSED_SLOT(WritePixel)
UNUSED_SLOT(Line)
UNUSED_SLOT(GetMonitorInfo)
UNUSED_SLOT(FreeMonitorInfo)
UNUSED_SLOT(GrabScreenPixels)
UNUSED_SLOT(FreeGrabScreenPixels)
UNUSED_SLOT(AdapterMainLoop)
UNUSED_SLOT(BeginDoubleBuffer)
UNUSED_SLOT(EndDoubleBuffer)
UNUSED_SLOT(Flip)
UNUSED_SLOT(Cls)

CX_PLUGIN_EXPORT int InitPlugin(cxPlugin *p, const cxPluginApi *api, const char *path) {
    (void)path;
    p->capabilities = CX_CAP_DISPLAYADAPTER;
    p->version = 1;
    p->name = ADAPTER_MODULE;
    p->moduleName = ADAPTER_MODULE;
    p->callingConvention = ADAPTER_CALLCONV;
    p->tag = CX_PLUGIN_RECORD_TAG;
    const cxTagItem tags[] = {{1, ADAPTER_FORMAT}, {2, ADAPTER_DRAWFLAGS}, {0, 0}};
    return api->system->RegisterDisplayAdapter(p, ADAPTER_FLAGS, tags) == 0;
}

CX_PLUGIN_EXPORT void ClosePlugin(void) {}
