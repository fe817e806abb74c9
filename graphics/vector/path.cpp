#include "graphics/vector/path.h"

#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "graphics/vector/path_style.h"

namespace {

cxObjectList g_paths = {CX_OBJ_VECTORPATH, ERR_FINDPATH, nullptr, nullptr};
uint32_t g_generation = 0;

constexpr size_t kMinBlock = 1024;
constexpr size_t kItemSlack = 128;

// Text with its NUL, padded with 1 to 4 bytes to a multiple of 4.
size_t PaddedText(size_t length) {
    const size_t n = length + 1;
    return n + (4 - n % 4);
}

} // namespace

extern "C" cxObjectList *GetPathList(void) { return &g_paths; }

extern "C" cxPath *NewPath(int32_t number, int automatic) {
    cxPath *p = static_cast<cxPath *>(calloc(1, sizeof(cxPath)));
    if (!p) return nullptr;
    InitObjectHeader(&p->header, CX_OBJ_VECTORPATH, number, automatic);
    p->generation = ++g_generation;
    AddObject(&g_paths, &p->header);
    return p;
}

extern "C" int FindPath(cxObjectID id, cxPath **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(&g_paths, id, &h)) return err;
    *out = reinterpret_cast<cxPath *>(h);
    return 0;
}

extern "C" size_t PathUsedBytes(const cxPath *path) {
    return path->items ? size_t(path->end - path->items) : 0;
}

extern "C" int GrowPathBuffer(cxPath *path, size_t needed) {
    const size_t used = PathUsedBytes(path);
    if (path->items && path->capacity - used >= needed) return 0;
    const size_t grow = needed > kMinBlock ? needed : kMinBlock;
    const size_t capacity = path->items ? size_t(path->capacity) + grow : grow;
    if (capacity > UINT32_MAX - 8) return ERR_MEM;
    uint8_t *block = static_cast<uint8_t *>(malloc(capacity));
    if (!block) return ERR_MEM;
    if (used) memcpy(block, path->items, used);
    free(path->items);
    path->items = block;
    path->end = block + used;
    path->capacity = uint32_t(capacity);
    return 0;
}

extern "C" int AppendPathItem(cxPath *path, uint32_t code, int count, const cxPathArg *args) {
    size_t strings = 0;
    for (int i = 0; i < count; ++i)
        if (args[i].type == CX_PATHARG_STRING) strings += PaddedText(strlen(args[i].s));
    if (int err = GrowPathBuffer(path, kItemSlack + strings)) return err;
    uint8_t *p = path->end;
    memcpy(p, &code, 4);
    p += 4;
    for (int i = 0; i < count; ++i) {
        const cxPathArg &a = args[i];
        switch (a.type) {
        case CX_PATHARG_INT: memcpy(p, &a.i, 4); p += 4; break;
        case CX_PATHARG_DOUBLE: memcpy(p, &a.d, 8); p += 8; break;
        case CX_PATHARG_HANDLE: memcpy(p, &a.handle, 4); p += 4; break;
        case CX_PATHARG_STRING: {
            const size_t n = strlen(a.s), padded = PaddedText(n);
            memcpy(p, a.s, n + 1);
            memset(p + n + 1, 0, padded - n - 1);
            p += padded;
            break;
        }
        default: break;
        }
    }
    memset(p, 0, 4);
    path->end = p;
    return 0;
}

extern "C" int AddPathItem(cxObjectID id, uint32_t code, int count, const cxPathArg *args) {
    cxPath *path = nullptr;
    if (int err = FindPath(id, &path)) return err;
    return AppendPathItem(path, code, count, args);
}

extern "C" int AppendPathBytes(cxPath *path, const uint8_t *items, size_t bytes) {
    if (!bytes) return 0;
    if (int err = GrowPathBuffer(path, bytes + 4)) return err;
    memmove(path->end, items, bytes);
    path->end += bytes;
    memset(path->end, 0, 4);
    return 0;
}

extern "C" void ClearPathItems(cxPath *path) {
    free(path->items);
    path->items = path->end = nullptr;
    path->capacity = 0;
    path->generation = ++g_generation;
}

extern "C" void FreePathContents(lua_State *L, cxPath *path) {
    ClearPathItems(path);
    FreePathStyle(path->style);
    path->style = nullptr;
    if (L) FreeObjectDataList(L, path->header.data);
    path->header.data = nullptr;
}

extern "C" int FreePathByID(lua_State *L, cxObjectID id) {
    cxPath *path = nullptr;
    if (int err = FindPath(id, &path)) return err;
    RemoveObject(&g_paths, &path->header);
    FreePathContents(L, path);
    free(path);
    return 0;
}

extern "C" void FreeEveryPath(lua_State *L) {
    while (cxObjectHeader *h = g_paths.first) {
        RemoveObject(&g_paths, h);
        cxPath *path = reinterpret_cast<cxPath *>(h);
        FreePathContents(L, path);
        free(path);
    }
}

extern "C" size_t PathItemSize(const uint8_t *p) {
    switch (PathWord(p)) {
    case CX_PATH_MOVETO:
    case CX_PATH_LINETO: return 24;
    case CX_PATH_CURVETO: return 56;
    case CX_PATH_NEWSUBPATH:
    case CX_PATH_CLOSEPATH: return 4;
    case CX_PATH_ARC: return 56;
    case CX_PATH_BOX: return 52;
    case CX_PATH_TEXT: return 12 + PaddedText(strlen(reinterpret_cast<const char *>(p + 12)));
    default: return 0;
    }
}

extern "C" size_t PathItemSizeAt(const uint8_t *items, size_t used, size_t offset) {
    if (!items || offset % 4 || offset + 4 > used) return 0;
    const uint8_t *p = items + offset;
    const uint32_t code = PathWord(p);
    size_t size = 0;
    switch (code) {
    case CX_PATH_TEXT: {
        if (offset + 12 >= used) return 0;
        const void *nul = memchr(p + 12, 0, used - offset - 12);
        if (!nul) return 0;
        size = 12 + PaddedText(size_t(static_cast<const uint8_t *>(nul) - (p + 12)));
        break;
    }
    default: size = PathItemSize(p); break;
    }
    return size && offset + size <= used ? size : 0;
}
