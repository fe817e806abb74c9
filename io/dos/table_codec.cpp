// Table bodies and function records. Reading treats the bytes as hostile:
// every length is checked against the data that is really there before it
// grows a buffer, and nesting is bounded.
#include "io/dos/table_codec.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "errors/error_codes.h"
#include "engine/runtime/base64.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

enum Tag : unsigned char { TAG_END = 0, TAG_NUMBER = 2, TAG_STRING = 3, TAG_TABLE = 4, TAG_FUNCTION = 5 };

constexpr size_t kReadStep = 65536;

void AppendNumber(std::string &out, double v) {
    out += static_cast<char>(TAG_NUMBER);
    uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

int AppendString(lua_State *L, int index, std::string &out) {
    const size_t n = lua_strlen(L, index);
    if (n > UINT32_MAX) return ERR_WRONGUSAGE;
    out += static_cast<char>(TAG_STRING);
    AppendU32(out, static_cast<uint32_t>(n));
    out.append(lua_tostring(L, index), n);
    return 0;
}

int AppendFunctionRecord(lua_State *L, int index, std::string &out) {
    std::string chunk;
    if (int err = DumpFunction(L, index, chunk)) return err;
    if (chunk.size() > UINT32_MAX) return ERR_WRONGUSAGE;
    AppendU32(out, static_cast<uint32_t>(chunk.size()));
    out += chunk;
    return 0;
}

// The tables on the path from the root, to refuse cycles.
using Path = std::vector<const void *>;

int EncodeBody(lua_State *L, int index, std::string &out, Path &path) {
    if (static_cast<int>(path.size()) > kMaxTableDepth) return ERR_STACK;
    if (!lua_checkstack(L, 3)) return ERR_STACK;
    if (index < 0 && index > LUA_REGISTRYINDEX) index = lua_gettop(L) + index + 1;
    for (const void *p : path) {
        if (p == lua_topointer(L, index)) {
            SetErrorReason(ERR_WRONGUSAGE, "The table holds itself (a cycle), which a table file cannot store.");
            return ERR_WRONGUSAGE;
        }
    }
    path.push_back(lua_topointer(L, index));
    lua_pushnil(L);
    while (lua_next(L, index)) {
        const int key = lua_gettop(L) - 1, value = key + 1;
        const int valueType = lua_type(L, value);
        int err = 0;
        if (valueType == LUA_TBOOLEAN || valueType == LUA_TTHREAD || valueType == LUA_TNIL) {
            lua_pop(L, 1);
            continue;
        }
        const int keyType = lua_type(L, key);
        if (keyType == LUA_TNUMBER) AppendNumber(out, lua_tonumber(L, key));
        else if (keyType == LUA_TSTRING) err = AppendString(L, key, out);
        else err = ERR_WRONGUSAGE;
        if (!err) {
            switch (valueType) {
            case LUA_TNUMBER: AppendNumber(out, lua_tonumber(L, value)); break;
            case LUA_TSTRING: err = AppendString(L, value, out); break;
            case LUA_TTABLE:
                out += static_cast<char>(TAG_TABLE);
                err = EncodeBody(L, value, out, path);
                break;
            case LUA_TFUNCTION:
                out += static_cast<char>(TAG_FUNCTION);
                err = AppendFunctionRecord(L, value, out);
                break;
            default: AppendNumber(out, 0); break;  // userdata: no meaning in a file
            }
        }
        if (err) {
            lua_pop(L, 2);
            path.pop_back();
            return err;
        }
        lua_pop(L, 1);
    }
    out += static_cast<char>(TAG_END);
    path.pop_back();
    return 0;
}

bool ReadU32(ItemSource &src, uint32_t *out) {
    unsigned char b[4];
    if (!src.Read(b, 4)) return false;
    *out = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    return true;
}

bool ReadDouble(ItemSource &src, double *out) {
    unsigned char b[8];
    if (!src.Read(b, 8)) return false;
    uint64_t bits = 0;
    for (unsigned char c : b) bits = (bits << 8) | c;
    *out = std::bit_cast<double>(bits);
    return true;
}

int PushString(lua_State *L, ItemSource &src) {
    uint32_t n;
    if (!ReadU32(src, &n)) return ERR_READ;
    std::string s;
    if (!src.ReadInto(s, n)) return ERR_READ;
    lua_pushlstring(L, s.data(), s.size());
    return 0;
}

int DecodeBody(lua_State *L, ItemSource &src, bool pushed, int depth) {
    if (depth > kMaxTableDepth || !lua_checkstack(L, 3)) return ERR_STACK;
    if (!pushed) lua_newtable(L);
    const int table = lua_gettop(L);
    for (;;) {
        unsigned char tag;
        if (!src.Read(&tag, 1)) return ERR_READ;
        if (tag == TAG_END) return 0;
        if (tag == TAG_NUMBER) {
            double k;
            if (!ReadDouble(src, &k)) return ERR_READ;
            if (std::isnan(k)) return ERR_FILEFORMAT;  // no table can hold it
            lua_pushnumber(L, k);
        } else if (tag == TAG_STRING) {
            if (int err = PushString(L, src)) return err;
        } else {
            return ERR_FILEFORMAT;
        }
        if (!src.Read(&tag, 1)) return ERR_READ;
        int err = 0;
        switch (tag) {
        case TAG_NUMBER: {
            double v;
            if (!ReadDouble(src, &v)) err = ERR_READ;
            else lua_pushnumber(L, v);
            break;
        }
        case TAG_STRING: err = PushString(L, src); break;
        case TAG_TABLE: err = DecodeBody(L, src, false, depth + 1); break;
        case TAG_FUNCTION: err = ReadBinaryFunctionRecord(L, src); break;
        default: err = ERR_FILEFORMAT; break;
        }
        if (err) return err;
        lua_rawset(L, table);
    }
}

}  // namespace

bool ItemSource::Read(void *out, size_t n) {
    if (!stream_) {
        if (static_cast<size_t>(end_ - at_) < n) return false;
        memcpy(out, at_, n);
        at_ += n;
        return true;
    }
    return n == 0 || ReadBytes(stream_, out, n) == n;
}

bool ItemSource::ReadInto(std::string &out, size_t n) {
    if (!stream_) {
        if (static_cast<size_t>(end_ - at_) < n) return false;
        out.append(reinterpret_cast<const char *>(at_), n);
        at_ += n;
        return true;
    }
    while (n > 0) {
        const size_t step = n < kReadStep ? n : kReadStep;
        const size_t old = out.size();
        out.resize(old + step);
        if (ReadBytes(stream_, out.data() + old, step) != step) return false;
        n -= step;
    }
    return true;
}

void AppendU32(std::string &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

int DumpFunction(lua_State *L, int index, std::string &chunk) {
    auto writer = [](lua_State *, const void *p, size_t size, void *ud) -> int {
        static_cast<std::string *>(ud)->append(static_cast<const char *>(p), size);
        return 0;
    };
    return lua_dump(L, index, writer, &chunk);
}

int LoadFunction(lua_State *L, const std::string &chunk) {
    struct Once {
        const std::string *chunk;
        bool given;
    } once{&chunk, false};
    auto reader = [](lua_State *, void *ud, size_t *size) -> const char * {
        auto *o = static_cast<Once *>(ud);
        if (o->given) {
            *size = 0;
            return nullptr;
        }
        o->given = true;
        *size = o->chunk->size();
        return o->chunk->data();
    };
    return lua_load(L, reader, &once, nullptr);
}

int EncodeTableBody(lua_State *L, int index, std::string &out) {
    Path path;
    return EncodeBody(L, index, out, path);
}

int DecodeTableBody(lua_State *L, ItemSource &src, bool pushed) { return DecodeBody(L, src, pushed, 0); }

int ReadBinaryFunctionRecord(lua_State *L, ItemSource &src) {
    uint32_t n;
    if (!ReadU32(src, &n)) return ERR_READ;
    std::string chunk;
    if (!src.ReadInto(chunk, n)) return ERR_READ;
    if (!lua_checkstack(L, 1)) return ERR_STACK;
    return LoadFunction(L, chunk);
}

std::string EncodeBase64Text(const std::string &data, bool lineBreaks, bool crlf) {
    std::string plain = EncodeBase64(data.data(), data.size());
    if (!lineBreaks) return plain;
    constexpr size_t kLine = 72;
    std::string out;
    out.reserve(plain.size() + plain.size() / kLine * 2);
    for (size_t i = 0; i < plain.size(); i += kLine) {
        if (i > 0) out += crlf ? "\r\n" : "\n";
        out.append(plain, i, kLine);
    }
    return out;
}

bool ParseHexLength(const unsigned char text[8], uint32_t *out) {
    uint32_t v = 0;
    for (int i = 0; i < 8; i++) {
        const unsigned char c = text[i];
        uint32_t d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = (v << 4) | d;
    }
    *out = v;
    return true;
}

}  // namespace cxdos

extern "C" int SerializeTable(lua_State *L, int index, cxStream *stream, unsigned char **cursor, size_t *size) {
    using namespace cxdos;
    std::string body;
    if (int err = EncodeTableBody(L, index, body)) return err;
    if (size) *size += body.size();
    if (cursor && *cursor) {
        memcpy(*cursor, body.data(), body.size());
        *cursor += body.size();
    }
    if (stream && WriteBytes(stream, body.data(), body.size()) != body.size()) return ERR_WRITE;
    return 0;
}

extern "C" int DeserializeTable(lua_State *L, cxStream *stream, const unsigned char **cursor, const unsigned char *end,
                                int pushed) {
    using namespace cxdos;
    const int top = lua_gettop(L);
    int err;
    if (stream) {
        ItemSource src(stream);
        err = DecodeTableBody(L, src, pushed != 0);
    } else {
        if (!cursor || !*cursor || !end || end < *cursor) return ERR_WRONGUSAGE;
        ItemSource src(*cursor, static_cast<size_t>(end - *cursor));
        err = DecodeTableBody(L, src, pushed != 0);
        *cursor = src.Cursor();
    }
    // A half-read table is of no use to the caller.
    if (err) lua_settop(L, top);
    return err;
}
