// Whole-file helpers: a file as a string and back, an iterator over its
// lines, and byte patches.
#include <cmath>
#include <memory>
#include <string>

#include "display/events/event_pump.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

int ReadOneLine(cxStream *s, size_t limit, std::string &out);

namespace {

constexpr char kFileMeta[] = "FILE*";
constexpr size_t kLinePiece = 1024;

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

// The userdata an iterator holds: the stream, closed at the end of the
// loop or by the collector when the loop is left early.
struct LineFile {
    cxStream *stream;
};

int CollectLineFile(lua_State *L) {
    auto *lf = static_cast<LineFile *>(lua_touserdata(L, 1));
    if (lf && lf->stream) {
        CloseFileStream(lf->stream);
        lf->stream = nullptr;
    }
    return 0;
}

int NextLine(lua_State *L) {
    auto *lf = static_cast<LineFile *>(lua_touserdata(L, lua_upvalueindex(1)));
    if (!lf || !lf->stream) return 0;
    std::string line;
    int r = ReadOneLine(lf->stream, kLinePiece, line);
    if (r <= 0) {
        CloseFileStream(lf->stream);
        lf->stream = nullptr;
        return r < 0 ? ERR_READ : 0;
    }
    lua_pushlstring(L, line.data(), line.size());
    return 1;
}

}  // namespace

void RegisterFileMetatable(lua_State *L) {
    luaL_newmetatable(L, kFileMeta);
    lua_pushstring(L, "__index");
    lua_pushvalue(L, -2);
    lua_settable(L, -3);
    lua_pushstring(L, "__gc");
    lua_pushcfunction(L, CollectLineFile);
    lua_settable(L, -3);
    lua_pop(L, 1);
}

int FileToString(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    StreamPtr s(OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr));
    if (!s) {
        SetErrorDetail(name);
        return ERR_READFILE;
    }
    std::string all;
    const uint64_t size = GetStreamSize(s.get());
    try {
        if (size != CX_STREAM_SIZE_UNKNOWN && size < (1ull << 31)) all.reserve(static_cast<size_t>(size));
        char block[16384];
        for (;;) {
            size_t got = ReadStreamData(s.get(), block, sizeof block);
            all.append(block, got);
            if (got < sizeof block) break;
        }
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    if (!IsStreamEof(s.get())) {
        SetErrorDetail(name);
        return ERR_READ;
    }
    lua_pushlstring(L, all.data(), all.size());
    lua_pushnumber(L, static_cast<double>(all.size()));
    return 2;
}

int StringToFile(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    size_t n = 0;
    const char *data = luaL_checklstring(L, 1, &n);
    const char *name = luaL_checkstring(L, 2);
    // The new data replaces the old file only once all of it is written: a
    // full disk must not cost the script the file it had.
    cxStream *s = OpenFileStream(name, CX_STREAM_WRITE | CX_STREAM_REPLACE | CX_STREAM_ADAPTERS, nullptr);
    if (!s) {
        SetErrorDetail(name);
        return ERR_WRITEFILE;
    }
    if (n && WriteStreamData(s, data, n) != n) {
        DiscardFileStream(s);
        SetErrorDetail(name);
        return ERR_WRITE;
    }
    if (!CloseFileStream(s)) {
        SetErrorDetail(name);
        return ERR_WRITE;
    }
    return 0;
}

int FileLines(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    auto *lf = static_cast<LineFile *>(lua_newuserdata(L, sizeof(LineFile)));
    lf->stream = nullptr;
    luaL_getmetatable(L, kFileMeta);
    lua_setmetatable(L, -2);
    lf->stream = OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
    if (!lf->stream) {
        SetErrorDetail(name);
        return ERR_READFILE;
    }
    lua_pushcclosure(L, NextLine, 1);
    return 1;
}

int ApplyPatch(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    cxFile *src, *patch, *dst;
    if (int err = FindFileArg(L, 1, &src)) return err;
    if (int err = FindFileArg(L, 2, &patch)) return err;
    if (int err = FindFileArg(L, 3, &dst)) return err;
    const bool callback = lua_type(L, 4) == LUA_TFUNCTION;
    if (int err = CheckReadable(src)) return err;
    if (int err = CheckReadable(patch)) return err;
    if (int err = CheckWritable(dst)) return err;
    const uint64_t size = GetStreamSize(src->stream);
    const uint64_t patchSize = GetStreamSize(patch->stream);
    if (size == CX_STREAM_SIZE_UNKNOWN || size == 0) return 0;
    const uint64_t patchBytes = patchSize == CX_STREAM_SIZE_UNKNOWN ? 0 : patchSize;

    const double step = 100.0 / static_cast<double>(size);
    double progress = 0;
    long shown = 0;
    unsigned char in[16384], pb[16384], out[16384];
    uint64_t done = 0;
    while (done < size) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof in, size - done));
        if (ReadBytes(src->stream, in, n) != n) return ERR_READ;
        size_t fromPatch = 0;
        if (done < patchBytes) {
            fromPatch = static_cast<size_t>(std::min<uint64_t>(n, patchBytes - done));
            if (ReadBytes(patch->stream, pb, fromPatch) != fromPatch) return ERR_READ;
        }
        for (size_t i = 0; i < n; i++) out[i] = i < fromPatch ? in[i] ^ pb[i] : static_cast<unsigned char>(~in[i]);
        if (WriteBytes(dst->stream, out, n) != n) return ERR_WRITE;
        for (size_t i = 0; i < n; i++) {
            progress += step;
            const long whole = static_cast<long>(progress);
            if (whole == shown) continue;
            shown = whole;
            if (callback) {
                lua_pushvalue(L, 4);
                lua_newtable(L);
                SetTableNumber(L, "progress", static_cast<int32_t>(whole));
                SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_END);
                int err = lua_pcall(L, 1, 0, 0);
                SetKernelTags(L, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
                if (err) return err;
            }
            int code = 0;
            if (ProcessEvents(L, 2, 0, &code)) return code ? code : ERR_USERABORT;
        }
        done += n;
    }
    return 0;
}

}  // namespace cxdos
