// WriteTable, ReadTable, WriteFunction and ReadFunction: tables and
// functions in open files, binary ("CXT0", "CXF0") or as Base64 text
// ("CXT1", "CXF1"). Each item is composed in memory and written in one
// piece, so a refused table leaves nothing behind in the file.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/runtime/base64.h"
#include "io/dos/dos_internal.h"
#include "io/dos/table_codec.h"

namespace cxdos {

namespace {

constexpr char kTableBinary[] = "CXT0";
constexpr char kTableText[] = "CXT1";
constexpr char kFunctionBinary[] = "CXF0";
constexpr char kFunctionText[] = "CXF1";

int WriteAll(cxFile *f, const std::string &bytes) {
    return WriteBytes(f->stream, bytes.data(), bytes.size()) == bytes.size() ? 0 : ERR_WRITE;
}

// magic, "%.8x" of the text's length, then the Base64 text of payload.
int ComposeText(const char *magic, const std::string &payload, bool lineBreaks, std::string &out) {
    const std::string text = EncodeBase64Text(payload, lineBreaks, GetSwitches().carriageReturn != 0);
    if (text.size() > UINT32_MAX) return ERR_WRONGUSAGE;
    char length[9];
    snprintf(length, sizeof length, "%.8x", static_cast<unsigned>(text.size()));
    out = magic;
    out.append(length, 8);
    out += text;
    return 0;
}

// The Base64 text after a text-form magic, decoded.
int ReadTextPayload(ItemSource &src, std::string &decoded, int badLength) {
    unsigned char hex[8];
    if (!src.Read(hex, 8)) return ERR_READ;
    uint32_t n;
    if (!ParseHexLength(hex, &n)) return badLength;
    std::string text;
    if (!src.ReadInto(text, n)) return ERR_READ;
    return DecodeBase64(text.data(), text.size(), decoded);
}

int ReadTableAt(lua_State *L, ItemSource &src) {
    char magic[4];
    if (!src.Read(magic, 4)) return ERR_READ;
    if (memcmp(magic, kTableBinary, 4) == 0) return DecodeTableBody(L, src, false);
    if (memcmp(magic, kTableText, 4) != 0) return ERR_READTABLE;
    std::string decoded;
    if (int err = ReadTextPayload(src, decoded, ERR_READTABLE)) return err;
    // Each wrapping shrinks the payload, so this ends.
    ItemSource inner(reinterpret_cast<const unsigned char *>(decoded.data()), decoded.size());
    return ReadTableAt(L, inner);
}

}  // namespace

int WriteTable(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    luaL_checktable(L, 2);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = CheckWritable(f)) return err;
    const bool text = OptInt(L, 3, 0) != 0;
    const bool lineBreaks = OptInt(L, 4, 0) == 0;
    std::string binary = kTableBinary;
    if (int err = EncodeTableBody(L, 2, binary)) return err;
    if (!text) return WriteAll(f, binary);
    std::string out;
    if (int err = ComposeText(kTableText, binary, lineBreaks, out)) return err;
    return WriteAll(f, out);
}

int ReadTable(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = CheckReadable(f)) return err;
    ItemSource src(f->stream);
    if (int err = ReadTableAt(L, src)) return err;
    return 1;
}

int WriteFunction(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    luaL_checkfunction(L, 2);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = CheckWritable(f)) return err;
    const bool text = OptInt(L, 3, 0) != 0;
    const bool lineBreaks = OptInt(L, 4, 0) == 0;
    std::string chunk;
    if (int err = DumpFunction(L, 2, chunk)) return err;
    if (chunk.size() > UINT32_MAX) return ERR_WRONGUSAGE;
    std::string out;
    if (text) {
        if (int err = ComposeText(kFunctionText, chunk, lineBreaks, out)) return err;
    } else {
        out = kFunctionBinary;
        AppendU32(out, static_cast<uint32_t>(chunk.size()));
        out += chunk;
    }
    return WriteAll(f, out);
}

int ReadFunction(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = CheckReadable(f)) return err;
    ItemSource src(f->stream);
    char magic[4];
    if (!src.Read(magic, 4)) return ERR_READ;
    if (memcmp(magic, kFunctionBinary, 4) == 0) {
        if (int err = ReadBinaryFunctionRecord(L, src)) return err;
        return 1;
    }
    if (memcmp(magic, kFunctionText, 4) != 0) return ERR_READFUNC;
    std::string chunk;
    if (int err = ReadTextPayload(src, chunk, ERR_READFUNC)) return err;
    if (int err = LoadFunction(L, chunk)) return err;
    return 1;
}

}  // namespace cxdos
