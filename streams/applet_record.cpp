#include "streams/applet_record.h"

#include <cstdint>
#include <cstdlib>

#include "streams/memory_name.h"

namespace {

template <typename T>
void FreeList(T *node, void (*freeNode)(T *)) {
    while (node) {
        T *next = node->next;
        freeNode(node);
        node = next;
    }
}

void FreeTag(cxPreprocTag *t) {
    free(t->key);
    free(t->text);
    free(t);
}
}  // namespace

extern "C" {

void FreePreprocItem(cxPreprocItem *i) {
    FreeList(i->tags, FreeTag);
    free(i->name);
    free(i);
}
void FreeAppletLabel(cxAppletLabel *l) {
    free(l->name);
    free(l);
}
void FreeIncludeRun(cxIncludeRun *r) {
    free(r->file);
    free(r);
}

}  // extern "C"

namespace {

void FreeLinked(cxLinkedFile *f) {
    free(f->name);
    free(f);
}

void ClearSectionsOf(cxApplet *a) {
    FreeList(a->items, FreePreprocItem);
    FreeList(a->files, FreeLinked);
    FreeList(a->fonts, FreeLinked);
    FreeList(a->labels, FreeAppletLabel);
    FreeList(a->includes, FreeIncludeRun);
    a->items = nullptr;
    a->files = a->fonts = nullptr;
    a->labels = nullptr;
    a->includes = nullptr;
    free(a->identifier);
    a->identifier = nullptr;
    // A ":::memory" name made for the chunk must not outlive it.
    if (a->chunkData) ReleaseMemoryName(a->chunkData, a->chunkSize);
    free(a->chunkData);
    a->chunkData = nullptr;
    a->chunkSize = 0;
    a->hasMainChunk = 0;
    a->chunkOffset = a->chunkLength = 0;
    a->versionMajor = 8;
    a->versionMinor = 0;
}


}  // namespace

extern "C" {

cxApplet *NewApplet(void) {
    auto *a = static_cast<cxApplet *>(calloc(1, sizeof(cxApplet)));
    if (!a) return nullptr;
    a->versionMajor = 8;
    a->versionMinor = 0;
    return a;
}

void FreeApplet(cxApplet *applet) {
    if (!applet) return;
    ClearSectionsOf(applet);
    free(applet);
}

void ClearAppletSections(cxApplet *applet) {
    if (applet) ClearSectionsOf(applet);
}

int CheckAppletVersion(const cxApplet *applet, int major, int minor) {
    if (!applet) return 0;
    if (applet->versionMajor != major) return applet->versionMajor > major ? 1 : 0;
    return applet->versionMinor >= minor ? 1 : 0;
}

int MapIncludeLine(const cxApplet *applet, int line, const char **file, int *ownLine) {
    if (file) *file = nullptr;
    if (ownLine) *ownLine = line;
    if (!applet || line < 0) return 0;
    uint64_t l = static_cast<uint64_t>(line);
    for (const cxIncludeRun *r = applet->includes; r; r = r->next) {
        if (l >= r->firstLine && l - r->firstLine < r->lineCount) {
            if (file) *file = r->file;
            uint64_t own = uint64_t{r->ownFirstLine} + (l - r->firstLine);
            if (ownLine) *ownLine = own > INT32_MAX ? INT32_MAX : static_cast<int>(own);
            return 1;
        }
    }
    return 0;
}

}  // extern "C"
