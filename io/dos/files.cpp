// File objects: opening, closing, finding, positions and the two switches.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/charset/charset.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

cxObjectList g_files = {CX_OBJ_FILE, ERR_FINDFILE, nullptr, nullptr};
Switches g_switches;

// false when data of the file was lost (CloseFileStream).
bool FreeFile(lua_State *L, cxFile *f) {
    RemoveObject(&g_files, &f->header);
    const bool closed = CloseFileStream(f->stream) != 0;
    FreeObjectDataList(L, f->header.data);
    free(f);
    return closed;
}

}  // namespace

Switches &GetSwitches() { return g_switches; }
cxObjectList *FileList() { return &g_files; }

int CurrentEncoding() { return GetUtf8Mode() ? 1 : 0; }

int OptInt(lua_State *L, int index, int def) {
    if (lua_isnone(L, index)) return def;
    return luaL_checkint(L, index);
}

int FindFileArg(lua_State *L, int index, cxFile **out) {
    cxObjectID id;
    GetObjectIDArg(&id, L, index);
    return FindFileObject(id, out);
}

int CheckReadable(const cxFile *f) {
    if (f->streamMode == CX_STREAM_WRITE) return ERR_WRITEONLY;
    // A read of a file open for both first writes what waits in the buffer:
    // when that fails, the read reports it.
    return f->streamMode == CX_STREAM_READWRITE ? WritePendingData(f->stream) : 0;
}
int CheckWritable(const cxFile *f) { return f->streamMode == CX_STREAM_READ ? ERR_READONLY : 0; }

size_t ReadBytes(cxStream *s, void *buffer, size_t n) {
    return g_switches.ioMode ? ReadStream(s, buffer, n) : ReadStreamData(s, buffer, n);
}

size_t WriteBytes(cxStream *s, const void *buffer, size_t n) {
    if (n == 0) return 0;
    return g_switches.ioMode ? WriteStreamData(s, buffer, n) : WriteStream(s, buffer, n);
}

void CloseAllFiles(lua_State *L) {
    while (g_files.first) FreeFile(L, reinterpret_cast<cxFile *>(g_files.first));
    g_switches = Switches{};
}

int OpenFile(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxOptionalNumber id;
    GetOptionalNumberArg(&id, L, 1);
    const int mode = OptInt(L, 3, MODE_READ);
    char adapters[257] = "";
    if (!lua_isnoneornil(L, 4)) {
        luaL_checktable(L, 4);
        GetTableString(L, 4, "adapter", adapters, sizeof adapters, nullptr);
    }
    const char *name = mode == MODE_READ ? GetFileNameArg(L, 2, 0, nullptr) : luaL_checkstring(L, 2);
    if (!*name) return ERR_WRONGUSAGE;
    int streamMode;
    switch (mode) {
    case MODE_READ: streamMode = CX_STREAM_READ; break;
    case MODE_WRITE: streamMode = CX_STREAM_WRITE; break;
    case MODE_READWRITE: streamMode = CX_STREAM_READWRITE; break;
    default: return ERR_WRONGUSAGE;
    }
    // A number in use closes its file first, even when the new open fails.
    if (!id.wasNil) {
        if (cxObjectHeader *old = LookupObject(&g_files, cxObjectID{id.value, nullptr}))
            FreeFile(L, reinterpret_cast<cxFile *>(old));
    }
    PrintStatusMessage(GetMessageText(CX_MSG_OPENING_FILE), name, 1);
    cxStream *s = OpenFileStream(name, streamMode | CX_STREAM_ADAPTERS, adapters);
    if (!s) {
        SetErrorDetail(name);
        return mode == MODE_READ ? ERR_READFILE : ERR_WRITEFILE;
    }
    PrintDoneMessage();
    auto *f = static_cast<cxFile *>(calloc(1, sizeof(cxFile)));
    if (!f) {
        CloseFileStream(s);
        return ERR_MEM;
    }
    InitObjectHeader(&f->header, CX_OBJ_FILE, id.value, id.wasNil);
    f->scriptMode = static_cast<uint32_t>(mode);
    f->streamMode = static_cast<uint32_t>(streamMode);
    f->stream = s;
    AddObject(&g_files, &f->header);
    if (id.wasNil) return PushObjectID(L, GetObjectID(&f->header));
    return 0;
}

int CloseFile(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    // Data that could not be written, now or by any earlier command, is
    // reported, not silently dropped.
    return FreeFile(L, f) ? 0 : ERR_WRITE;
}

int Seek(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    double pos = luaL_checknumber(L, 2);
    int mode = OptInt(L, 3, CX_SEEK_BEGINNING);
    if (std::isnan(pos) || std::fabs(pos) > 9.0e18) return ERR_SEEKFILE;
    int64_t offset = static_cast<int64_t>(pos);
    if (mode == CX_SEEK_BEGINNING && offset == -1) {
        offset = 0;
        mode = CX_SEEK_END;
    }
    if (mode != CX_SEEK_BEGINNING && mode != CX_SEEK_CURRENT && mode != CX_SEEK_END) return ERR_SEEKFILE;
    if (int err = WritePendingData(f->stream)) return err;
    if (SeekFileStream(f->stream, offset, mode) < 0) return ERR_SEEKFILE;
    return 0;
}

int FilePos(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = WritePendingData(f->stream)) return err;
    lua_pushnumber(L, static_cast<double>(SeekFileStream(f->stream, 0, CX_SEEK_CURRENT)));
    return 1;
}

int FileLength(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = WritePendingData(f->stream)) return err;
    uint64_t size = GetStreamSize(f->stream);
    lua_pushnumber(L, size == CX_STREAM_SIZE_UNKNOWN ? -1.0 : static_cast<double>(size));
    return 1;
}

int Eof(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = WritePendingData(f->stream)) return err;
    lua_pushnumber(L, IsStreamEof(f->stream) ? 1 : 0);
    return 1;
}

int FlushFile(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    return FlushStream(f->stream);
}

int SetIOMode(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int mode = luaL_checkint(L, 1);
    if (mode != 0 && mode != 1) return ERR_WRONGUSAGE;
    g_switches.ioMode = static_cast<uint32_t>(mode);
    return 0;
}

int UseCarriageReturn(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    g_switches.carriageReturn = lua_toboolean(L, 1) && !(lua_isnumber(L, 1) && lua_tonumber(L, 1) == 0) ? 1 : 0;
    return 0;
}

}  // namespace cxdos

extern "C" int FindFileObject(cxObjectID id, cxFile **out) {
    cxObjectHeader *h = nullptr;
    if (int err = FindObject(cxdos::FileList(), id, &h)) return err;
    *out = reinterpret_cast<cxFile *>(h);
    return 0;
}
