// Lines, strings and byte runs.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "engine/charset/charset.h"
#include "io/dos/dos_internal.h"

namespace cxdos {

namespace {

// Drops carriage returns in place; returns the new length.
size_t DropCarriageReturns(char *p, size_t n) {
    char *cr = static_cast<char *>(memchr(p, '\r', n));
    if (!cr) return n;
    char *w = cr;
    for (char *r = cr; r < p + n; r++) {
        if (*r != '\r') *w++ = *r;
    }
    return static_cast<size_t>(w - p);
}

// The rest of the stream from its position; CX_STREAM_SIZE_UNKNOWN when the
// size is unknown.
uint64_t Remaining(cxStream *s) {
    uint64_t size = GetStreamSize(s);
    if (size == CX_STREAM_SIZE_UNKNOWN) return size;
    int64_t pos = SeekFileStream(s, 0, CX_SEEK_CURRENT);
    if (pos < 0 || static_cast<uint64_t>(pos) >= size) return 0;
    return size - static_cast<uint64_t>(pos);
}

// Reads exactly n bytes into a new string on the stack; fewer (the end of
// the data) give ERR_READ with the position where the data ended. Memory
// grows with what arrives: a length far beyond the end of a file costs only
// what the file holds.
int PushBytes(lua_State *L, cxStream *s, uint64_t n) {
    if (n > (1ull << 31)) return ERR_MEM;
    constexpr uint64_t kPiece = 1 << 20;
    const uint64_t rest = Remaining(s);
    uint64_t want = rest == CX_STREAM_SIZE_UNKNOWN ? std::min(n, kPiece) : std::min(n, rest);
    std::string out;
    try {
        for (;;) {
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(want));
            const size_t got = ReadBytes(s, out.data() + at, static_cast<size_t>(want));
            out.resize(at + got);
            if (got < want || out.size() >= n) break;
            // a file that grew, or one of unknown size: on in pieces
            want = std::min(n - out.size(), kPiece);
        }
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    if (out.size() != n) return ERR_READ;
    lua_pushlstring(L, out.data(), out.size());
    return 0;
}

// Reads to the end of a stream of unknown size.
int PushRest(lua_State *L, cxStream *s) {
    std::string all;
    char piece[16384];
    for (;;) {
        size_t got = ReadBytes(s, piece, sizeof piece);
        all.append(piece, got);
        if (got < sizeof piece) break;
    }
    lua_pushlstring(L, all.data(), all.size());
    return 0;
}

// count characters of UTF-8 from the stream, byte order marks skipped.
int PushUtf8Chars(lua_State *L, cxStream *s, int64_t count) {
    std::string out;
    for (int64_t i = 0; i < count;) {
        unsigned char b[4];
        if (ReadBytes(s, b, 1) != 1) return ERR_READ;
        int n = 1;
        if ((b[0] & 0xE0) == 0xC0) n = 2;
        else if ((b[0] & 0xF0) == 0xE0) n = 3;
        else if ((b[0] & 0xF8) == 0xF0) n = 4;
        if (n > 1 && ReadBytes(s, b + 1, static_cast<size_t>(n - 1)) != static_cast<size_t>(n - 1)) return ERR_READ;
        if (!ValidateUtf8(reinterpret_cast<const char *>(b), static_cast<size_t>(n), nullptr)) return ERR_INVALIDUTF8;
        if (n == 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) continue;
        out.append(reinterpret_cast<const char *>(b), static_cast<size_t>(n));
        i++;
    }
    lua_pushlstring(L, out.data(), out.size());
    return 0;
}

int ReadRun(lua_State *L, bool isString) {
    CheckArgCount(L, 1, isString ? 3 : 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const double wanted = lua_isnone(L, 2) ? 0 : luaL_checknumber(L, 2);
    const int encoding = isString ? OptInt(L, 3, CurrentEncoding()) : 0;
    if (int err = CheckReadable(f)) return err;
    if (wanted < 0) {
        lua_pushstring(L, "");
        return 1;
    }
    int err;
    if (wanted >= 1) {
        if (wanted > 2147483647.0) return ERR_MEM;
        const auto length = static_cast<int64_t>(wanted);
        err = encoding == 1 ? PushUtf8Chars(L, f->stream, length) : PushBytes(L, f->stream, static_cast<uint64_t>(length));
    } else {
        const uint64_t rest = Remaining(f->stream);
        if (rest == CX_STREAM_SIZE_UNKNOWN) {
            err = PushRest(L, f->stream);
        } else if (rest == 0) {
            lua_pushstring(L, "");
            return 1;
        } else {
            err = PushBytes(L, f->stream, rest);
        }
        if (!err && encoding == 1) {
            size_t n = lua_strlen(L, -1);
            const char *p = lua_tostring(L, -1);
            if (n >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
                lua_pushlstring(L, p + 3, n - 3);
                lua_remove(L, -2);
            }
        }
    }
    return err ? err : 1;
}

int WriteRun(lua_State *L, bool isString) {
    CheckArgCount(L, 2, isString ? 4 : 3, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    const int encoding = isString ? OptInt(L, 4, CurrentEncoding()) : 0;
    const bool utf8 = encoding == 1;
    size_t length = 0, bytes = 0;
    const char *data = GetStringArgChecked(L, 2, &length, utf8 ? 1 : 0, &bytes);
    const double wanted = lua_isnone(L, 3) ? 0 : luaL_checknumber(L, 3);
    if (int err = CheckWritable(f)) return err;
    size_t n = bytes;
    if (wanted >= 1) {
        if (wanted > static_cast<double>(length)) return ERR_STRTOOSHORT;
        const auto count = static_cast<size_t>(wanted);
        n = utf8 ? Utf8CharToByteOffset(data, static_cast<ptrdiff_t>(count)) : count;
        if (n > bytes) n = bytes;
    }
    if (n == 0) return 0;
    return WriteBytes(f->stream, data, n) == n ? 0 : ERR_WRITE;
}

}  // namespace

// One line of at most limit bytes (0: no limit) without its line feed and
// carriage returns, appended to out. 1 when anything was read (a line or
// the line feed alone), 0 at the end of the data; -1 on a read failure.
int ReadOneLine(cxStream *s, size_t limit, std::string &out) {
    const bool buffered = GetSwitches().ioMode == 0;
    char piece[4096];
    bool any = false;
    size_t taken = 0;
    for (;;) {
        size_t want = sizeof piece;
        if (limit && limit - taken < want) want = limit - taken;
        size_t got = ReadStreamUntil(s, piece, want, '\n', buffered);
        if (got == 0) {
            if (!any && !IsStreamEof(s)) return -1;
            return any ? 1 : 0;
        }
        any = true;
        taken += got;
        const bool ended = piece[got - 1] == '\n';
        size_t keep = ended ? got - 1 : got;
        keep = DropCarriageReturns(piece, keep);
        out.append(piece, keep);
        if (ended || (limit && taken >= limit)) return 1;
    }
}

int ReadLine(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    if (int err = CheckReadable(f)) return err;
    // Most lines fit the first piece: build those without a std::string.
    const bool buffered = GetSwitches().ioMode == 0;
    char piece[512];
    size_t got = ReadStreamUntil(f->stream, piece, sizeof piece, '\n', buffered);
    if (got == 0) {
        if (!IsStreamEof(f->stream)) return ERR_READ;
        lua_pushlstring(L, "", 0);
        return 1;
    }
    if (piece[got - 1] == '\n' || got < sizeof piece) {
        size_t keep = piece[got - 1] == '\n' ? got - 1 : got;
        keep = DropCarriageReturns(piece, keep);
        lua_pushlstring(L, piece, keep);
        return 1;
    }
    std::string line(piece, DropCarriageReturns(piece, got));
    if (ReadOneLine(f->stream, 0, line) < 0) return ERR_READ;
    lua_pushlstring(L, line.data(), line.size());
    return 1;
}

int WriteLine(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    cxFile *f;
    if (int err = FindFileArg(L, 1, &f)) return err;
    size_t n = 0;
    const char *text = luaL_checklstring(L, 2, &n);
    if (int err = CheckWritable(f)) return err;
    if (n && WriteBytes(f->stream, text, n) != n) return ERR_WRITE;
    const char *end = GetSwitches().carriageReturn ? "\r\n" : "\n";
    const size_t k = strlen(end);
    return WriteBytes(f->stream, end, k) == k ? 0 : ERR_WRITE;
}

int ReadString(lua_State *L) { return ReadRun(L, true); }
int ReadBytesCmd(lua_State *L) { return ReadRun(L, false); }
int WriteString(lua_State *L) { return WriteRun(L, true); }
int WriteBytesCmd(lua_State *L) { return WriteRun(L, false); }

}  // namespace cxdos
