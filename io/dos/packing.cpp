// Packing and unpacking whole files in the CXPK container.
#include "streams/cxpk/cxpk.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {
constexpr char kMagic[] = "CXPK";
}

int CompressFile(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *source = GetFileNameArg(L, 1, 0, nullptr);
    const char *target = luaL_checkstring(L, 2);
    int64_t packed = 0;
    if (int err = PackCxpk(kMagic, source, target, nullptr, &packed)) return err;
    lua_pushnumber(L, static_cast<double>(packed));
    return 1;
}

int DecompressFile(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    const char *source = GetFileNameArg(L, 1, 0, nullptr);
    const char *target = luaL_checkstring(L, 2);
    uint64_t written = 0;
    if (int err = UnpackCxpk(kMagic, source, target, nullptr, 0, &written, nullptr, nullptr, 0)) return err;
    lua_pushnumber(L, static_cast<double>(written));
    return 1;
}

}  // namespace cxdos
