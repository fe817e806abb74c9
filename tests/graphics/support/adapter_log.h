/* What the test display adapter (cxp/test_adapter.c) saw, read by the tests
   through its exported AdapterLog(). Plain C: shared by the plug-in and the
   tests. */
#ifndef CX_TEST_ADAPTER_LOG_H
#define CX_TEST_ADAPTER_LOG_H

#include <stdint.h>

#include "include/calyxtone/cxadapterbitmap.h"

/* The adapter's stores: plain memory it owns (or wraps). */
typedef struct TestStore {
    uint32_t magic; /* TEST_STORE_MAGIC */
    uint32_t kind;  /* 0 colour, 1 alpha, 2 mask */
    int32_t width, height;
    uint32_t bytesPerRow;
    uint8_t *pixels;
    int owned;
    int video;
    int locks; /* outstanding */
    void *forStore; /* tag 1 of a mask */
} TestStore;
#define TEST_STORE_MAGIC 0x54535452u

typedef struct TestAdapterLog {
    int allocs, frees, videoAllocs, videoFrees;
    int lockCalls, unlocks, lastLockFlags;
    int attrCalls;
    int methodCalls;
    uint32_t lastMethod;
    uintptr_t lastMethodArg;
    int bltCalls;
    void *bltSrc, *bltDst;
    cxBltRecord bltRecord;
    uint32_t bltFlags;
    int fillCalls;
    void *fillTarget;
    cxRectFillRecord fillRecord;
    int readPixelsCalls, freePixelsCalls;
    uint32_t lastAllocKind;
    int lastAllocClear;
    int lastTagCount;
    cxTagItem lastTags[4];
    int liveStores;
} TestAdapterLog;

#endif
