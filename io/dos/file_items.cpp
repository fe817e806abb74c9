// Item reads and writes: bytes, characters, 16- and 32-bit integers and
// floating-point numbers, big-endian unless the byte-order argument is set.
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/charset/charset.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

// Reads n bytes into an item in the order the script asked for (stored
// most significant byte first in out).
int ReadItem(cxFile *f, unsigned char *out, int n, int order) {
    if (int err = CheckReadable(f)) return err;
    if (ReadBytes(f->stream, out, static_cast<size_t>(n)) != static_cast<size_t>(n)) return ERR_READ;
    if (order && n > 1) {
        for (int i = 0; i < n / 2; i++) std::swap(out[i], out[n - 1 - i]);
    }
    return 0;
}

int WriteItem(cxFile *f, unsigned char *item, int n, int order) {
    if (int err = CheckWritable(f)) return err;
    if (order && n > 1) {
        for (int i = 0; i < n / 2; i++) std::swap(item[i], item[n - 1 - i]);
    }
    return WriteBytes(f->stream, item, static_cast<size_t>(n)) == static_cast<size_t>(n) ? 0 : ERR_WRITE;
}

uint64_t BigEndianValue(const unsigned char *b, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | b[i];
    return v;
}

void PutBigEndian(unsigned char *b, int n, uint64_t v) {
    for (int i = n - 1; i >= 0; i--) {
        b[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

// A script number as the 32-bit integer a write stores (wrapping, as a
// conversion to a signed 32-bit integer of a larger value does).
uint32_t ToInt32Bits(double v) {
    if (std::isnan(v) || std::isinf(v)) return 0;
    double t = std::trunc(v);
    if (std::fabs(t) < 9.2e18) return static_cast<uint32_t>(static_cast<int64_t>(t));
    return 0;
}

}  // namespace

int ReadByte(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b;
    if (int err = ReadItem(f, &b, 1, 0)) return err;
    lua_pushnumber(L, b);
    return 1;
}

int ReadChr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const int encoding = OptInt(L, 2, CurrentEncoding());
    unsigned char b[4];
    if (int err = ReadItem(f, b, 1, 0)) return err;
    if (encoding == 0) {
        lua_pushnumber(L, b[0]);
        return 1;
    }
    int n = 1;
    if ((b[0] & 0xE0) == 0xC0) n = 2;
    else if ((b[0] & 0xF0) == 0xE0) n = 3;
    else if ((b[0] & 0xF8) == 0xF0) n = 4;
    if (n > 1 && ReadBytes(f->stream, b + 1, static_cast<size_t>(n - 1)) != static_cast<size_t>(n - 1)) return ERR_READ;
    if (!ValidateUtf8(reinterpret_cast<const char *>(b), static_cast<size_t>(n), nullptr)) return ERR_INVALIDUTF8;
    uint32_t cp = 0;
    Utf8DecodeChar(reinterpret_cast<const char *>(b), reinterpret_cast<const char *>(b) + n, &cp);
    lua_pushnumber(L, cp);
    return 1;
}

int ReadShort(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b[2];
    if (int err = ReadItem(f, b, 2, OptInt(L, 2, 0))) return err;
    lua_pushnumber(L, static_cast<double>(BigEndianValue(b, 2)));
    return 1;
}

int ReadInt(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b[4];
    if (int err = ReadItem(f, b, 4, OptInt(L, 2, 0))) return err;
    lua_pushnumber(L, static_cast<double>(static_cast<int32_t>(BigEndianValue(b, 4))));
    return 1;
}

int ReadFloat(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const int size = OptInt(L, 2, 8);
    if (size != 4 && size != 8) return ERR_WRONGUSAGE;
    unsigned char b[8];
    if (int err = ReadItem(f, b, size, OptInt(L, 3, 0))) return err;
    uint64_t bits = BigEndianValue(b, size);
    lua_pushnumber(L, size == 4 ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                                : std::bit_cast<double>(bits));
    return 1;
}

int WriteByte(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b = static_cast<unsigned char>(ToInt32Bits(luaL_checknumber(L, 2)));
    return WriteItem(f, &b, 1, 0);
}

int WriteChr(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const uint32_t value = ToInt32Bits(luaL_checknumber(L, 2));
    const int encoding = OptInt(L, 3, CurrentEncoding());
    if (encoding == 0) {
        unsigned char b = static_cast<unsigned char>(value);
        return WriteItem(f, &b, 1, 0);
    }
    char utf8[8];
    int n = value == 0 ? 0 : Utf8EncodeChar(utf8, value);
    if (n == 0) return ERR_WRONGUSAGE;
    if (int err = CheckWritable(f)) return err;
    return WriteBytes(f->stream, utf8, static_cast<size_t>(n)) == static_cast<size_t>(n) ? 0 : ERR_WRITE;
}

int WriteShort(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b[2];
    PutBigEndian(b, 2, ToInt32Bits(luaL_checknumber(L, 2)) & 0xFFFF);
    return WriteItem(f, b, 2, OptInt(L, 3, 0));
}

int WriteInt(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    unsigned char b[4];
    PutBigEndian(b, 4, ToInt32Bits(luaL_checknumber(L, 2)));
    return WriteItem(f, b, 4, OptInt(L, 3, 0));
}

int WriteFloat(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const double value = luaL_checknumber(L, 2);
    const int size = OptInt(L, 3, 8);
    if (size != 4 && size != 8) return ERR_WRONGUSAGE;
    unsigned char b[8];
    if (size == 4) PutBigEndian(b, 4, std::bit_cast<uint32_t>(static_cast<float>(value)));
    else PutBigEndian(b, 8, std::bit_cast<uint64_t>(value));
    return WriteItem(f, b, size, OptInt(L, 4, 0));
}

}  // namespace cxdos
