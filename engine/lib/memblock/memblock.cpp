// The "memblock" library. Every bound check is made in 64 bits on values
// read from the script without wrapping, so no offset or length can pass a
// check by overflow.
#include "engine/lib/memblock/memblock.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "engine/runtime/runtime.h"
#include "streams/chunk_names.h"

namespace {

cxObjectList g_blocks = {CX_OBJ_MEMORY, ERR_FINDMEMBLK, nullptr, nullptr};
cxFileObjectFinder g_fileFinder = nullptr;
cxVirtualBlockResolver g_virtualResolver = nullptr;

const int kItemSizes[13] = {0, 4, 0, 0, 0, 0, 2, 1, 0, 0, 0, 4, 8};

// A script number as a 64-bit integer, truncated toward zero; far-out
// values saturate well inside the range so that sums cannot overflow.
int64_t ToInt64(double v) {
    if (std::isnan(v)) return 0;
    const double limit = 9007199254740992.0; // 2^53
    if (v >= limit) return static_cast<int64_t>(limit);
    if (v <= -limit) return -static_cast<int64_t>(limit);
    return static_cast<int64_t>(v);
}

int64_t ArgInt64(lua_State *L, int index, int64_t def) {
    if (lua_isnone(L, index)) return def;
    return ToInt64(luaL_checknumber(L, index));
}

int ArgInt(lua_State *L, int index, int def) {
    if (lua_isnone(L, index)) return def;
    return luaL_checkint(L, index);
}

bool Sized(const cxMemBlock *b) { return b->size > 0; }

void ToOrder(unsigned char *p, int n, int byteOrder) {
    // the bytes are prepared most significant first; turn them as asked
    bool little = byteOrder == CX_LITTLEENDIAN || (byteOrder == CX_NATIVEENDIAN && std::endian::native == std::endian::little);
    if (little)
        for (int i = 0; i < n / 2; i++) std::swap(p[i], p[n - 1 - i]);
}

uint64_t Bits(const unsigned char *p, int n, int byteOrder) {
    unsigned char b[8];
    memcpy(b, p, static_cast<size_t>(n));
    ToOrder(b, n, byteOrder); // the same turn reads them back
    uint64_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | b[i];
    return v;
}

void PutBits(unsigned char *p, int n, uint64_t v, int byteOrder) {
    unsigned char b[8];
    for (int i = n - 1; i >= 0; i--) {
        b[i] = static_cast<unsigned char>(v & 0xFF);
        v >>= 8;
    }
    ToOrder(b, n, byteOrder);
    memcpy(p, b, static_cast<size_t>(n));
}

// The machine's own order, or the other one.
int TableOrder(int endianSwitch) {
    bool little = std::endian::native == std::endian::little;
    if (endianSwitch) little = !little;
    return little ? CX_LITTLEENDIAN : CX_BIGENDIAN;
}

double LoadItem(const unsigned char *p, int type, int byteOrder, bool isSigned) {
    int n = kItemSizes[type];
    uint64_t bits = Bits(p, n, byteOrder);
    switch (type) {
    case CX_TYPE_FLOAT: return std::bit_cast<float>(static_cast<uint32_t>(bits));
    case CX_TYPE_DOUBLE: return std::bit_cast<double>(bits);
    case CX_TYPE_LONG: return isSigned ? static_cast<double>(static_cast<int32_t>(bits)) : static_cast<double>(bits);
    case CX_TYPE_SHORT: return isSigned ? static_cast<double>(static_cast<int16_t>(bits)) : static_cast<double>(bits);
    default: return isSigned ? static_cast<double>(static_cast<int8_t>(bits)) : static_cast<double>(bits);
    }
}

// Is there room for [offset, offset + length) in a block of known size?
bool Fits(const cxMemBlock *b, int64_t offset, int64_t length) {
    return !Sized(b) || offset + length <= static_cast<int64_t>(b->size);
}

// The virtual string file a block lies over; null for other blocks and
// once the file is gone.
cxVirtualBlock *VirtualSource(const cxMemBlock *b) {
    if (b->virtualRef < 0 || !g_virtualResolver) return nullptr;
    cxVirtualBlock *vb = g_virtualResolver(b->virtualRef);
    return vb && vb->serial == b->virtualSerial ? vb : nullptr;
}

int FindBlockArg(lua_State *L, int index, cxMemBlock **out) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    if (int err = FindMemBlock(id, out)) return err;
    cxMemBlock *b = *out;
    if (b->virtualRef >= 0) {
        // The file's bytes may have moved since the last command.
        cxVirtualBlock *vb = VirtualSource(b);
        if (!vb) return ERR_WRONGUSAGE;
        b->data = vb->data;
    }
    return 0;
}

void FreeBlock(lua_State *L, cxMemBlock *b) {
    if (cxVirtualBlock *vb = VirtualSource(b)) vb->users--;
    RemoveObject(&g_blocks, &b->header);
    if (!b->notOwned) free(b->data);
    FreeObjectDataList(L, b->header.data);
    free(b);
}

// Creates a block under the ID argument at index 1 (a number in use frees
// its block first) and pushes the automatic ID when Nil was given.
int NewBlock(lua_State *L, unsigned char *data, int32_t size, int notOwned, cxMemBlock **made = nullptr) {
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    cxMemBlock *b = static_cast<cxMemBlock *>(calloc(1, sizeof(cxMemBlock)));
    if (!b) {
        if (!notOwned) free(data);
        return ERR_MEM;
    }
    if (!id.wasNil) {
        cxObjectID old{id.value, nullptr};
        if (cxObjectHeader *h = LookupObject(&g_blocks, old)) FreeBlock(L, reinterpret_cast<cxMemBlock *>(h));
    }
    InitObjectHeader(&b->header, CX_OBJ_MEMORY, id.value, id.wasNil);
    b->size = size;
    b->data = data;
    b->notOwned = notOwned;
    b->virtualRef = -1;
    AddObject(&g_blocks, &b->header);
    if (made) *made = b;
    if (id.wasNil) return PushObjectID(L, GetObjectID(&b->header));
    return 0;
}

// ---- commands ----

int AllocMem(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int64_t size = ToInt64(luaL_checknumber(L, 2));
    if (size <= 0 || size > INT32_MAX) return ERR_MEM;
    unsigned char *data = static_cast<unsigned char *>(malloc(static_cast<size_t>(size)));
    if (!data) return ERR_MEM;
    return NewBlock(L, data, static_cast<int32_t>(size), 0);
}

int AllocMemFromPointer(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    luaL_checktype(L, 2, LUA_TLIGHTUSERDATA);
    int64_t size = ToInt64(luaL_checknumber(L, 3));
    if (size < 0 || size > INT32_MAX) return ERR_WRONGUSAGE;
    return NewBlock(L, static_cast<unsigned char *>(lua_touserdata(L, 2)), static_cast<int32_t>(size), 1);
}

int AllocMemFromVirtualFile(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *name = luaL_checkstring(L, 2);
    cxChunkName cn;
    if (!IsChunkName(name) || !ParseChunkName(name, &cn) || !cn.memory || !g_virtualResolver) return ERR_WRONGUSAGE;
    cxVirtualBlock *vb = g_virtualResolver(cn.reference);
    // An empty file would make a block of size 0, which has no bounds.
    if (!vb || !vb->data || vb->length == 0 || vb->length > INT32_MAX) return ERR_WRONGUSAGE;
    const auto size = static_cast<int32_t>(vb->length);
    if (!vb->owned) {
        // The script's own string, shared by every equal string of the
        // applet: the block gets a copy to change.
        auto *copy = static_cast<unsigned char *>(malloc(vb->length));
        if (!copy) return ERR_MEM;
        memcpy(copy, vb->data, vb->length);
        return NewBlock(L, copy, size, 0);
    }
    // The file's own bytes: the block follows them (FindBlockArg) and keeps
    // the file from being undefined while it exists.
    cxMemBlock *b = nullptr;
    const int r = NewBlock(L, vb->data, size, 1, &b);
    if (b) {
        b->virtualRef = cn.reference;
        b->virtualSerial = vb->serial;
        vb->users++;
    }
    return r;
}

int FreeMem(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    FreeBlock(L, b);
    return 0;
}

int Peek(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int64_t offset = ArgInt64(L, 2, 0);
    int type = ArgInt(L, 3, CX_TYPE_LONG);
    if (offset < 0) return ERR_MEMRANGE;
    if (type == CX_TYPE_STRING) {
        int64_t length = ArgInt64(L, 4, 0);
        if (length < 0) return ERR_WRONGUSAGE;
        const char *p = reinterpret_cast<const char *>(b->data) + offset;
        if (length > 0) {
            if (!Fits(b, offset, length)) return ERR_MEMRANGE;
            lua_pushlstring(L, p, static_cast<size_t>(length));
            return 1;
        }
        if (Sized(b) && offset >= b->size) return ERR_MEMRANGE;
        int64_t n = 0;
        while (!Sized(b) || offset + n < b->size) {
            unsigned char c = static_cast<unsigned char>(p[n]);
            bool keep = (c < 128 && (isprint(c) || c == ' ')) || c == '\t' || c == '\n' || c == '\r';
            if (!keep) break;
            n++;
        }
        lua_pushlstring(L, p, static_cast<size_t>(n));
        return 1;
    }
    int order = ArgInt(L, 4, CX_BIGENDIAN);
    if (type < 1 || type > 12 || kItemSizes[type] == 0 || order < 0 || order > 2) return ERR_WRONGUSAGE;
    if (!Fits(b, offset, kItemSizes[type])) return ERR_MEMRANGE;
    lua_pushnumber(L, LoadItem(b->data + offset, type, order, false));
    return 1;
}

int Poke(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int64_t offset = ArgInt64(L, 2, 0);
    int type = ArgInt(L, 4, CX_TYPE_LONG);
    int order = ArgInt(L, 5, CX_BIGENDIAN);
    if (offset < 0) return ERR_MEMRANGE;
    if (type == CX_TYPE_STRING) {
        size_t len = 0;
        const char *s = luaL_checklstring(L, 3, &len);
        // the string and its NUL must fit
        if (Sized(b) && offset + static_cast<int64_t>(len) >= b->size) return ERR_MEMRANGE;
        memcpy(b->data + offset, s, len);
        b->data[offset + static_cast<int64_t>(len)] = 0;
        return 0;
    }
    if (type < 1 || type > 12 || kItemSizes[type] == 0 || order < 0 || order > 2) return ERR_WRONGUSAGE;
    double value = luaL_checknumber(L, 3);
    if (!Fits(b, offset, kItemSizes[type])) return ERR_MEMRANGE;
    return StoreMemItem(b->data + offset, type, value, order);
}

int FillMem(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    uint32_t value = static_cast<uint32_t>(luaL_checkint(L, 2));
    int64_t count = ToInt64(luaL_checknumber(L, 3));
    int64_t offset = ArgInt64(L, 4, 0);
    int type = ArgInt(L, 5, CX_TYPE_BYTE);
    if (count < 1) return 0;
    if (offset < 0 || !Fits(b, offset, count)) return ERR_MEMRANGE;
    unsigned char *p = b->data + offset;
    switch (type) {
    case CX_TYPE_BYTE: memset(p, static_cast<int>(value & 0xFF), static_cast<size_t>(count)); return 0;
    case CX_TYPE_SHORT:
        if (count % 2 || offset % 2) return ERR_WRONGUSAGE;
        for (int64_t i = 0; i < count; i += 2) PutBits(p + i, 2, value & 0xFFFF, CX_BIGENDIAN);
        return 0;
    case CX_TYPE_LONG:
        if (count % 4 || offset % 4) return ERR_WRONGUSAGE;
        for (int64_t i = 0; i < count; i += 4) PutBits(p + i, 4, value, CX_BIGENDIAN);
        return 0;
    default: return ERR_WRONGUSAGE;
    }
}

int CopyMem(lua_State *L) {
    CheckArgCount(L, 3, 5, 0, 0);
    cxMemBlock *src, *dst;
    if (int err = FindBlockArg(L, 1, &src)) return err;
    if (int err = FindBlockArg(L, 2, &dst)) return err;
    int64_t length = ToInt64(luaL_checknumber(L, 3));
    int64_t srcOffset = ArgInt64(L, 4, 0);
    int64_t dstOffset = ArgInt64(L, 5, 0);
    if (length <= 0) return 0;
    if (srcOffset < 0 || dstOffset < 0) return ERR_MEMRANGE;
    if (src == dst) return ERR_WRONGUSAGE;
    if (!Fits(src, srcOffset, length) || !Fits(dst, dstOffset, length)) return ERR_MEMRANGE;
    // two blocks may still share bytes (blocks made from pointers)
    memmove(dst->data + dstOffset, src->data + srcOffset, static_cast<size_t>(length));
    return 0;
}

// ReadMem and WriteMem: (file id, block id, length, offset).
int TransferMem(lua_State *L, bool reading) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxObjectID fileId;
    GetObjectIDArg(&fileId, L, 1);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 2, &b)) return err;
    int64_t length = ToInt64(luaL_checknumber(L, 3));
    int64_t offset = ArgInt64(L, 4, 0);
    cxFileAccess file{};
    int err = g_fileFinder ? g_fileFinder(fileId, &file) : (fileId.pointer ? ERR_FINDARRAY : ERR_FINDFILE);
    if (err) {
        if (!fileId.pointer) SetErrorNumber(fileId.number);
        return err;
    }
    if (offset < 0 || length < 0) return ERR_WRONGUSAGE;
    if (reading && file.openMode == 2) return ERR_WRITEONLY;
    if (!reading && file.openMode == 1) return ERR_READONLY;
    if (!Fits(b, offset, length)) return ERR_MEMRANGE;
    if (length == 0) return 0;
    size_t n = static_cast<size_t>(length);
    unsigned char *p = b->data + offset;
    if (reading) {
        size_t got = file.unbuffered ? ReadStream(file.stream, p, n) : ReadStreamData(file.stream, p, n);
        return got < n ? ERR_READ : 0;
    }
    size_t put = file.unbuffered ? WriteStreamData(file.stream, p, n) : WriteStream(file.stream, p, n);
    return put < n ? ERR_WRITE : 0;
}

int ReadMem(lua_State *L) { return TransferMem(L, true); }
int WriteMem(lua_State *L) { return TransferMem(L, false); }

int DumpMem(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int64_t length = ArgInt64(L, 2, 0);
    int64_t offset = ArgInt64(L, 3, 0);
    if (offset < 0) return ERR_WRONGUSAGE;
    if (length > 0) {
        if (!Fits(b, offset, length)) return ERR_MEMRANGE;
    } else {
        if (!Sized(b)) return ERR_WRONGUSAGE;
        if (offset > b->size) return ERR_MEMRANGE;
        length = b->size - offset;
    }
    std::string out;
    char cell[16];
    for (int64_t row = 0; row < length; row += 16) {
        int64_t n = length - row < 16 ? length - row : 16;
        const unsigned char *p = b->data + offset + row;
        snprintf(cell, sizeof cell, "%.8x: ", static_cast<unsigned>(offset + row));
        out += cell;
        for (int64_t i = 0; i < n; i++) {
            snprintf(cell, sizeof cell, "%.2x ", p[i]);
            out += cell;
        }
        for (int64_t i = n; i < 16; i++) out += "   ";
        for (int64_t i = 0; i < n; i++) out += (p[i] < 128 && (isprint(p[i]) || p[i] == ' ')) ? static_cast<char>(p[i]) : '.';
        out += '\n';
    }
    PrintMessage("%s", out.c_str());
    return 0;
}

int GetMemPointer(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int64_t offset = ArgInt64(L, 2, 0);
    if (offset < 0 || (Sized(b) && offset >= b->size)) return ERR_WRONGUSAGE;
    lua_pushlightuserdata(L, b->data + offset);
    return 1;
}

int GetMemString(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int64_t offset = ArgInt64(L, 2, 0);
    int64_t length = ArgInt64(L, 3, 0);
    if (offset < 0 || length < 0) return ERR_WRONGUSAGE;
    if (Sized(b)) {
        if (offset >= b->size || length > b->size - offset) return ERR_WRONGUSAGE;
        if (length == 0) length = b->size - offset;
    } else if (length == 0) {
        return ERR_WRONGUSAGE;
    }
    lua_pushlstring(L, reinterpret_cast<const char *>(b->data + offset), static_cast<size_t>(length));
    return 1;
}

int MemToTable(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 1, &b)) return err;
    int type = luaL_checkint(L, 2);
    int items = 0, offsetArg = 0, endianSwitch = 0, isSigned = 0;
    if (!lua_isnoneornil(L, 3)) {
        luaL_checktable(L, 3);
        GetTableInt(L, 3, "items", &items, nullptr);
        GetTableInt(L, 3, "offset", &offsetArg, nullptr);
        GetTableTruth(L, 3, "endianswitch", &endianSwitch, nullptr);
        GetTableTruth(L, 3, "signed", &isSigned, nullptr);
    }
    int64_t offset = offsetArg;
    if (offset < 0 || type < 1 || type > 12 || kItemSizes[type] == 0 || items < 0) return ERR_WRONGUSAGE;
    int size = kItemSizes[type];
    int64_t count = items;
    if (count == 0) count = Sized(b) ? b->size / size : 0;
    if (count == 0) return ERR_WRONGUSAGE;
    if (!Fits(b, offset, count * size)) return ERR_MEMRANGE;
    int order = TableOrder(endianSwitch);
    lua_createtable(L, static_cast<int>(count), 0);
    for (int64_t i = 0; i < count; i++) {
        lua_pushnumber(L, LoadItem(b->data + offset + i * size, type, order, isSigned != 0));
        lua_rawseti(L, -2, static_cast<int>(i));
    }
    return 1;
}

int TableToMem(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    luaL_checktable(L, 1);
    cxMemBlock *b;
    if (int err = FindBlockArg(L, 2, &b)) return err;
    int type = luaL_checkint(L, 3);
    int offsetArg = 0, endianSwitch = 0;
    if (!lua_isnoneornil(L, 4)) {
        luaL_checktable(L, 4);
        GetTableInt(L, 4, "offset", &offsetArg, nullptr);
        GetTableTruth(L, 4, "endianswitch", &endianSwitch, nullptr);
    }
    int64_t offset = offsetArg;
    if (offset < 0 || type < 1 || type > 12 || kItemSizes[type] == 0) return ERR_WRONGUSAGE;
    // without a size nothing bounds the writes
    if (!Sized(b) || offset > b->size) return ERR_MEMRANGE;
    int size = kItemSizes[type];
    int order = TableOrder(endianSwitch);
    for (int64_t i = 0; i <= INT32_MAX; i++) {
        lua_rawgeti(L, 1, static_cast<int>(i));
        if (lua_isnil(L, -1)) break;
        if (lua_type(L, -1) != LUA_TNUMBER) return ERR_NUMBEREXPECTED;
        double v = lua_tonumber(L, -1);
        lua_pop(L, 1);
        int64_t at = offset + i * size;
        if (!Fits(b, at, size)) return ERR_MEMRANGE;
        StoreMemItem(b->data + at, type, v, order);
    }
    return 0;
}

const luaL_reg kCommands[] = {
    {"AllocMem", AllocMem},
    {"AllocMemFromPointer", AllocMemFromPointer},
    {"AllocMemFromVirtualFile", AllocMemFromVirtualFile},
    {"FreeMem", FreeMem},
    {"Peek", Peek},
    {"Poke", Poke},
    {"FillMem", FillMem},
    {"CopyMem", CopyMem},
    {"ReadMem", ReadMem},
    {"WriteMem", WriteMem},
    {"DumpMem", DumpMem},
    {"GetMemPointer", GetMemPointer},
    {"GetMemString", GetMemString},
    {"MemToTable", MemToTable},
    {"TableToMem", TableToMem},
    {nullptr, nullptr},
};

const luaL_Const kConstants[] = {
    {"BIGENDIAN", nullptr, CX_BIGENDIAN},
    {"NATIVEENDIAN", nullptr, CX_NATIVEENDIAN},
    {"LITTLEENDIAN", nullptr, CX_LITTLEENDIAN},
    {nullptr, nullptr, 0},
};

} // namespace

extern "C" int GetItemSize(int type) { return type >= 1 && type <= 12 ? kItemSizes[type] : 0; }

extern "C" int StoreMemItem(unsigned char *dest, int type, double value, int byteOrder) {
    int n = GetItemSize(type);
    if (n == 0 || byteOrder < 0 || byteOrder > 2) return ERR_WRONGUSAGE;
    uint64_t bits;
    if (type == CX_TYPE_FLOAT)
        bits = std::bit_cast<uint32_t>(static_cast<float>(value));
    else if (type == CX_TYPE_DOUBLE)
        bits = std::bit_cast<uint64_t>(value);
    else
        bits = static_cast<uint32_t>(luaL_numbertoint(value));
    if (n < 8) bits &= (uint64_t{1} << (8 * n)) - 1;
    PutBits(dest, n, bits, byteOrder);
    return 0;
}

extern "C" void SetFileObjectFinder(cxFileObjectFinder finder) { g_fileFinder = finder; }
extern "C" cxFileObjectFinder GetFileObjectFinder(void) { return g_fileFinder; }
extern "C" void SetMemBlockVirtualResolver(cxVirtualBlockResolver resolver) { g_virtualResolver = resolver; }
extern "C" cxObjectList *GetMemBlockList(void) { return &g_blocks; }

extern "C" int FindMemBlock(cxObjectID id, cxMemBlock **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(&g_blocks, id, &h);
    *out = reinterpret_cast<cxMemBlock *>(h);
    return err;
}

extern "C" void FreeMemBlocks(lua_State *L) {
    while (g_blocks.first) FreeBlock(L, reinterpret_cast<cxMemBlock *>(g_blocks.first));
}

extern "C" int OpenMemBlockLibrary(lua_State *L) {
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "memblock")) return err;
    luaL_openconstants(L, kConstants, 0);
    RegisterObjectList(&g_blocks);
    return 0;
}
