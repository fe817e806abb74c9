// File checksums: MD5 (the runtime's own routines) and CRC-32 (zlib).
#include <zlib.h>

#include <cstdio>
#include <memory>

#include "engine/runtime/md5.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

constexpr size_t kBlock = 65536;

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};

// Feeds the whole file to take(bytes, n); 0 or an error code.
template <typename Take>
int HashFile(lua_State *L, Take take) {
    const char *name = GetFileNameArg(L, 1, 0, nullptr);
    if (!*name) return ERR_WRONGUSAGE;
    std::unique_ptr<cxStream, StreamCloser> s(OpenFileStream(name, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr));
    if (!s) {
        SetErrorDetail(name);
        return ERR_READFILE;
    }
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlock]);
    if (!block) return ERR_MEM;
    for (;;) {
        size_t got = ReadStream(s.get(), block.get(), kBlock);
        if (got == 0) break;
        take(block.get(), got);
    }
    // A file that could not be read to its end has no checksum.
    if (!IsStreamEof(s.get())) {
        SetErrorDetail(name);
        return ERR_READ;
    }
    return 0;
}

}  // namespace

int MD5(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxMD5Context ctx;
    MD5Init(&ctx);
    if (int err = HashFile(L, [&](const unsigned char *p, size_t n) { MD5Update(&ctx, p, n); })) return err;
    uint8_t digest[16];
    MD5Final(&ctx, digest);
    char hex[33];
    for (int i = 0; i < 16; i++) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    lua_pushstring(L, hex);
    return 1;
}

int CRC32(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    uLong crc = crc32(0L, Z_NULL, 0);
    if (int err = HashFile(L, [&](const unsigned char *p, size_t n) { crc = crc32(crc, p, static_cast<uInt>(n)); }))
        return err;
    lua_pushnumber(L, static_cast<double>(crc));
    return 1;
}

}  // namespace cxdos
