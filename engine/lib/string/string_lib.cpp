// The "string" library: the first library opened, 65 commands on strings,
// characters and raw byte strings. Commands that work on characters take
// an optional encoding (default: the current UTF-8 mode); in UTF-8 they
// count and cut in characters and refuse invalid UTF-8 with
// ERR_INVALIDUTF8ARG, in ISO-8859-1 they work on bytes. Positions count
// from 0.
#include <zlib.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/runtime/base64.h"
#include "engine/charset/charset.h"
#include "engine/charset/collate.h"
#include "engine/lib/memblock/memblock.h"
#include "engine/runtime/md5.h"
#include "engine/lib/string/string_internal.h"
#include "engine/runtime/runtime.h"
#include "engine/runtime/number_literal.h"

namespace cxstring {

int EncodingArg(lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) return GetStringDefaultEncoding();
    int e = luaL_checkint(L, index);
    if (e != ENCODING_UTF8 && e != ENCODING_ISO8859_1) {
        SetErrorNumber(index);
        luaG_runerror(L, ERR_BADENCODING);
    }
    return e;
}

namespace {

// A string argument in an encoding: bytes, and characters in UTF-8.
struct Text {
    const char *s;
    size_t bytes;
    size_t chars;
    bool utf8;

    // The byte offset of a character position (clamped to the end).
    size_t ByteOf(size_t position) const {
        if (!utf8) return position < bytes ? position : bytes;
        const char *p = s, *end = s + bytes;
        for (size_t i = 0; i < position && p < end; i++) p = Utf8SkipChar(p, end);
        return static_cast<size_t>(p - s);
    }
    size_t CharOf(size_t byteOffset) const { return utf8 ? Utf8CountChars(s, s + byteOffset) : byteOffset; }
    size_t CharLength(const char *p) const {
        const char *end = s + bytes;
        if (p >= end) return 0;
        return utf8 ? static_cast<size_t>(Utf8SkipChar(p, end) - p) : 1;
    }
};

// Reads a string argument; in UTF-8 it must be valid.
Text TextArg(lua_State *L, int index, bool utf8) {
    Text t;
    t.utf8 = utf8;
    t.s = GetStringArgChecked(L, index, &t.chars, utf8 ? 1 : 0, &t.bytes);
    return t;
}

bool Utf8Encoding(lua_State *L, int index) { return EncodingArg(L, index) == ENCODING_UTF8; }

// A count or position argument: a number truncated toward zero, saturated
// far inside size_t so that sums stay exact.
int64_t IntArg(lua_State *L, int index) {
    double v = luaL_checknumber(L, index);
    if (std::isnan(v)) return 0;
    if (v > 4e15) return static_cast<int64_t>(4e15);
    if (v < -4e15) return -static_cast<int64_t>(4e15);
    return static_cast<int64_t>(v);
}

int64_t OptIntArg(lua_State *L, int index, int64_t def) { return lua_isnoneornil(L, index) ? def : IntArg(L, index); }

// Truth of an optional flag argument by the script rule.
bool FlagArg(lua_State *L, int index, bool def) {
    switch (lua_type(L, index)) {
    case LUA_TNONE:
    case LUA_TNIL: return def;
    case LUA_TBOOLEAN: return lua_toboolean(L, index) != 0;
    case LUA_TNUMBER: return lua_tonumber(L, index) != 0;
    case LUA_TSTRING: return lua_strlen(L, index) != 0;
    default: return true;
    }
}

int PushString(lua_State *L, const std::string &s) {
    lua_pushlstring(L, s.data(), s.size());
    return 1;
}

int PushBytes(lua_State *L, const char *s, size_t n) {
    lua_pushlstring(L, s, n);
    return 1;
}

// ---- case mapping and comparing characters ----

std::string MapCase(const char *s, size_t n, bool utf8, bool upper) {
    std::string out;
    out.reserve(n);
    if (!utf8) {
        for (size_t i = 0; i < n; i++)
            out += static_cast<char>(upper ? ToUpperLatin1(static_cast<unsigned char>(s[i]))
                                           : ToLowerLatin1(static_cast<unsigned char>(s[i])));
        return out;
    }
    const char *p = s, *end = s + n;
    while (p < end) {
        uint32_t c;
        int len = Utf8DecodeChar(p, end, &c);
        uint32_t m = upper ? UnicodeToUpper(c) : UnicodeToLower(c);
        char enc[8];
        int elen = m < 0x110000 ? Utf8EncodeChar(enc, m) : 0;
        // a mapping of another byte length leaves the character as it is
        if (elen == len && len > 1)
            out.append(enc, static_cast<size_t>(elen));
        else if (len == 1 && c < 0x80 && m < 0x80)
            out += static_cast<char>(m);
        else
            out.append(p, static_cast<size_t>(len));
        p += len;
    }
    return out;
}

// The end of needle matched at p without regard to case, or null.
const char *MatchNoCase(const char *p, const char *end, const char *n, const char *nend, bool utf8) {
    while (n < nend) {
        if (p >= end) return nullptr;
        if (utf8) {
            const char *pn = Utf8SkipChar(p, end);
            const char *nn = Utf8SkipChar(n, nend);
            if (Utf8CompareRangesNoCase(p, n, pn, nn) != 0) return nullptr;
            p = pn;
            n = nn;
        } else {
            if (ToUpperLatin1(static_cast<unsigned char>(*p)) != ToUpperLatin1(static_cast<unsigned char>(*n)))
                return nullptr;
            p++;
            n++;
        }
    }
    return p;
}

// Finds needle in the text from byte offset from; returns the byte offset
// of the match (or -1) and its end in *matchEnd. Case-sensitive searches
// scan bytes: every position whose byte is the needle's first byte is
// compared in full until fewer bytes remain than the needle holds.
int64_t Search(const Text &t, size_t from, const char *needle, size_t nlen, bool caseSensitive, size_t *matchEnd) {
    if (nlen == 0 || t.bytes == 0) return -1;
    const char *end = t.s + t.bytes;
    if (caseSensitive) {
        for (size_t i = from; i < t.bytes && t.bytes - i >= nlen; i++) {
            if (t.s[i] == needle[0] && memcmp(t.s + i, needle, nlen) == 0) {
                *matchEnd = i + nlen;
                return static_cast<int64_t>(i);
            }
        }
        return -1;
    }
    for (const char *p = t.s + from; p < end; p += t.CharLength(p)) {
        if (const char *e = MatchNoCase(p, end, needle, needle + nlen, t.utf8)) {
            *matchEnd = static_cast<size_t>(e - t.s);
            return p - t.s;
        }
    }
    return -1;
}

// ---- commands ----

int LowerStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    return PushString(L, MapCase(s, n, Utf8Encoding(L, 2), false));
}

int UpperStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    return PushString(L, MapCase(s, n, Utf8Encoding(L, 2), true));
}

// Val(s) -> the number at the start of s (blanks skipped) in the system's
// literal syntax, and the bytes it used (0 and 0 when there is none).
int Val(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    const char *s = luaL_checkstring(L, 1);
    const char *p = s;
    while (*p == ' ' || *p == '\t') p++;
    size_t used = 0;
    int err = 0;
    double v = ParseNumberLiteral(p, &used, &err);
    if (err || used == 0) {
        lua_pushnumber(L, 0);
        lua_pushnumber(L, 0);
        return 2;
    }
    lua_pushnumber(L, v);
    lua_pushnumber(L, static_cast<double>(p - s) + static_cast<double>(used));
    return 2;
}

// StrStr(number[, decimals]) -> the number as text.
int StrStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    double v = luaL_checknumber(L, 1);
    char buf[400];
    if (lua_isnoneornil(L, 2)) {
        snprintf(buf, sizeof buf, "%.14g", v);
    } else {
        int64_t d = IntArg(L, 2);
        if (d < 0 || d > 50) return ERR_WRONGUSAGE;
        snprintf(buf, sizeof buf, "%.*f", static_cast<int>(d), v);
    }
    lua_pushstring(L, buf);
    return 1;
}

// LeftStr, RightStr, UnleftStr, UnrightStr: (s, count, encoding).
int Cut(lua_State *L, bool right, bool keep) {
    CheckArgCount(L, 2, 3, 0, 0);
    bool utf8 = Utf8Encoding(L, 3);
    Text t = TextArg(L, 1, utf8);
    int64_t n = IntArg(L, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    size_t count = static_cast<size_t>(n) < t.chars ? static_cast<size_t>(n) : t.chars;
    // the characters kept from the left
    size_t left = keep ? (right ? t.chars - count : count) : (right ? t.chars - count : count);
    size_t at = t.ByteOf(left);
    if (keep == right) return PushBytes(L, t.s + at, t.bytes - at);
    return PushBytes(L, t.s, at);
}

int LeftStr(lua_State *L) { return Cut(L, false, true); }
int RightStr(lua_State *L) { return Cut(L, true, true); }
int UnleftStr(lua_State *L) { return Cut(L, false, false); }
int UnrightStr(lua_State *L) { return Cut(L, true, false); }

// MidStr(s, position[, length][, encoding]): length below 0 or absent
// takes the rest.
int MidStr(lua_State *L) {
    CheckArgCount(L, 2, 4, 0, 0);
    bool utf8 = Utf8Encoding(L, 4);
    Text t = TextArg(L, 1, utf8);
    int64_t pos = IntArg(L, 2);
    int64_t len = OptIntArg(L, 3, -1);
    if (pos < 0) return ERR_WRONGUSAGE;
    size_t a = t.ByteOf(static_cast<size_t>(pos));
    size_t b = len < 0 ? t.bytes : t.ByteOf(static_cast<size_t>(pos) + static_cast<size_t>(len));
    return PushBytes(L, t.s + a, b - a);
}

// UnmidStr(s, position, length[, encoding]) -> s without that range.
int UnmidStr(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    bool utf8 = Utf8Encoding(L, 4);
    Text t = TextArg(L, 1, utf8);
    int64_t pos = IntArg(L, 2);
    int64_t len = IntArg(L, 3);
    if (pos < 0 || len < 0) return ERR_WRONGUSAGE;
    size_t a = t.ByteOf(static_cast<size_t>(pos));
    size_t b = t.ByteOf(static_cast<size_t>(pos) + static_cast<size_t>(len));
    std::string out(t.s, a);
    out.append(t.s + b, t.bytes - b);
    return PushString(L, out);
}

// InsertStr(s, insert, position[, encoding]).
int InsertStr(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    bool utf8 = Utf8Encoding(L, 4);
    Text t = TextArg(L, 1, utf8);
    Text ins = TextArg(L, 2, utf8);
    int64_t pos = IntArg(L, 3);
    if (pos < 0 || static_cast<uint64_t>(pos) > t.chars) return ERR_WRONGUSAGE;
    size_t at = t.ByteOf(static_cast<size_t>(pos));
    std::string out(t.s, at);
    out.append(ins.s, ins.bytes);
    out.append(t.s + at, t.bytes - at);
    return PushString(L, out);
}

// Chr(code[, encoding]) -> the character as a string.
int Chr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    int64_t code = IntArg(L, 1);
    bool utf8 = Utf8Encoding(L, 2);
    if (code < 0 || code > (utf8 ? 0x10FFFF : 0xFF)) return ERR_WRONGUSAGE;
    char buf[8];
    if (!utf8 || code < 0x80) {
        buf[0] = static_cast<char>(code);
        return PushBytes(L, buf, 1);
    }
    int n = Utf8EncodeChar(buf, static_cast<uint32_t>(code));
    return PushBytes(L, buf, static_cast<size_t>(n));
}

// Asc(s[, encoding]) -> the code of the first character (0 for "").
int Asc(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    bool utf8 = Utf8Encoding(L, 2);
    Text t = TextArg(L, 1, utf8);
    uint32_t c = 0;
    if (t.bytes > 0) {
        if (utf8)
            Utf8DecodeChar(t.s, t.s + t.bytes, &c);
        else
            c = static_cast<unsigned char>(t.s[0]);
    }
    lua_pushnumber(L, c);
    return 1;
}

// The arguments of FindStr and CountStr: (s, find[, caseSensitive = True][,
// start = 0][, encoding]). False for a negative start.
struct SearchArgs {
    Text t, n;
    bool cs;
    size_t from;
};
bool ReadSearchArgs(lua_State *L, SearchArgs *a) {
    CheckArgCount(L, 2, 5, 0, 0);
    bool utf8 = Utf8Encoding(L, 5);
    a->t = TextArg(L, 1, utf8);
    a->n = TextArg(L, 2, utf8);
    a->cs = FlagArg(L, 3, true);
    int64_t start = OptIntArg(L, 4, 0);
    a->from = a->t.ByteOf(static_cast<size_t>(start));
    return start >= 0;
}

// FindStr -> the position of the first match from start, or -1.
int FindStr(lua_State *L) {
    SearchArgs a;
    if (!ReadSearchArgs(L, &a)) return ERR_WRONGUSAGE;
    size_t end;
    int64_t at = Search(a.t, a.from, a.n.s, a.n.bytes, a.cs, &end);
    lua_pushnumber(L, at < 0 ? -1.0 : static_cast<double>(a.t.CharOf(static_cast<size_t>(at))));
    return 1;
}

// CountStr -> the number of matches that do not overlap.
int CountStr(lua_State *L) {
    SearchArgs a;
    if (!ReadSearchArgs(L, &a)) return ERR_WRONGUSAGE;
    double count = 0;
    size_t end;
    for (size_t from = a.from; Search(a.t, from, a.n.s, a.n.bytes, a.cs, &end) >= 0; from = end) count++;
    lua_pushnumber(L, count);
    return 1;
}

// ReplaceStr(s, find, replacement[, caseSensitive = True][, max = -1][,
// start = 0]) -> the new string and the number of replacements.
int ReplaceStr(lua_State *L) {
    CheckArgCount(L, 3, 6, 0, 0);
    bool utf8 = GetUtf8Mode() != 0;
    Text t = TextArg(L, 1, utf8);
    Text n = TextArg(L, 2, utf8);
    size_t rlen;
    const char *r = luaL_checklstring(L, 3, &rlen);
    bool cs = FlagArg(L, 4, true);
    int64_t max = OptIntArg(L, 5, -1);
    int64_t start = OptIntArg(L, 6, 0);
    if (start < 0) return ERR_WRONGUSAGE;
    size_t from = t.ByteOf(static_cast<size_t>(start)), end;
    std::string out(t.s, from);
    double count = 0;
    for (int64_t at; (max < 0 || count < static_cast<double>(max)) &&
                     (at = Search(t, from, n.s, n.bytes, cs, &end)) >= 0;) {
        out.append(t.s + from, static_cast<size_t>(at) - from);
        out.append(r, rlen);
        from = end;
        count++;
    }
    out.append(t.s + from, t.bytes - from);
    PushString(L, out);
    lua_pushnumber(L, count);
    return 2;
}

int AddStr(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    size_t a, b;
    const char *sa = luaL_checklstring(L, 1, &a);
    const char *sb = luaL_checklstring(L, 2, &b);
    std::string out(sa, a);
    out.append(sb, b);
    return PushString(L, out);
}

// HexStr(value) -> "$" and the 32-bit value in upper-case hexadecimal.
int HexStr(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    char buf[16];
    snprintf(buf, sizeof buf, "$%X", static_cast<unsigned>(luaL_checkint(L, 1)));
    lua_pushstring(L, buf);
    return 1;
}

// BinStr(value[, digits = 32]) -> "%" and the low digits binary digits.
int BinStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    uint32_t v = static_cast<uint32_t>(luaL_checkint(L, 1));
    int64_t digits = OptIntArg(L, 2, 32);
    if (digits < 1 || digits > 32) return ERR_WRONGUSAGE;
    std::string out = "%";
    for (int64_t i = digits - 1; i >= 0; i--) out += (v >> i) & 1 ? '1' : '0';
    return PushString(L, out);
}

int StrLen(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    Text t = TextArg(L, 1, Utf8Encoding(L, 2));
    lua_pushnumber(L, static_cast<double>(t.chars));
    return 1;
}

int ByteLen(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    luaL_checklstring(L, 1, &n);
    lua_pushnumber(L, static_cast<double>(n));
    return 1;
}

// SplitStr(s, separator) -> a table of the parts (from index 0) and their
// count.
int SplitStr(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    size_t n, sn;
    const char *s = luaL_checklstring(L, 1, &n);
    const char *sep = luaL_checklstring(L, 2, &sn);
    if (sn == 0) return ERR_WRONGUSAGE;
    lua_newtable(L);
    int count = 0;
    size_t from = 0;
    for (;;) {
        size_t at = from;
        while (at + sn <= n && memcmp(s + at, sep, sn) != 0) at++;
        if (at + sn > n) at = n;
        lua_pushlstring(L, s + from, at - from);
        lua_rawseti(L, -2, count++);
        if (at >= n) break;
        from = at + sn;
    }
    lua_pushnumber(L, count);
    return 2;
}

// PadNum(value, length) -> the integer with leading zeros up to length.
int PadNum(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    int v = luaL_checkint(L, 1);
    int64_t len = IntArg(L, 2);
    if (len < 0 || len > 256) return ERR_WRONGUSAGE;
    char buf[300];
    snprintf(buf, sizeof buf, "%0*d", static_cast<int>(len), v);
    lua_pushstring(L, buf);
    return 1;
}

// StrToArray(s[, encoding]) -> a table of the characters and their count.
int StrToArray(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    bool utf8 = Utf8Encoding(L, 2);
    Text t = TextArg(L, 1, utf8);
    lua_createtable(L, static_cast<int>(t.chars < INT32_MAX ? t.chars : INT32_MAX), 0);
    int i = 0;
    for (const char *p = t.s; p < t.s + t.bytes; i++) {
        size_t len = t.CharLength(p);
        lua_pushlstring(L, p, len);
        lua_rawseti(L, -2, i);
        p += len;
    }
    lua_pushnumber(L, i);
    return 2;
}

// ArrayToStr(table) -> the entries from index 0 joined.
int ArrayToStr(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    luaL_checktable(L, 1);
    std::string out;
    for (int i = 0;; i++) {
        lua_rawgeti(L, 1, i);
        int t = lua_type(L, -1);
        if (t == LUA_TNIL) break;
        if (t != LUA_TSTRING && t != LUA_TNUMBER) return ERR_WRONGUSAGE;
        out.append(lua_tostring(L, -1), lua_strlen(L, -1));
        lua_pop(L, 1);
    }
    return PushString(L, out);
}

// TrimStr(s, character[, right = False]) -> s without the leading (or,
// with right set, trailing) run of that character.
int TrimStr(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    bool utf8 = GetUtf8Mode() != 0;
    Text t = TextArg(L, 1, utf8);
    Text c = TextArg(L, 2, utf8);
    bool right = FlagArg(L, 3, false);
    if (c.chars != 1) return ERR_WRONGUSAGE;
    size_t a = 0, b = t.bytes;
    if (!right) {
        while (b - a >= c.bytes && memcmp(t.s + a, c.s, c.bytes) == 0) a += c.bytes;
    } else {
        while (b - a >= c.bytes && memcmp(t.s + b - c.bytes, c.s, c.bytes) == 0) b -= c.bytes;
    }
    return PushBytes(L, t.s + a, b - a);
}

bool IsSpaceByte(unsigned char c) { return isspace(c) != 0; }

int StripStr(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    size_t a = 0, b = n;
    while (a < b && IsSpaceByte(static_cast<unsigned char>(s[a]))) a++;
    while (b > a && IsSpaceByte(static_cast<unsigned char>(s[b - 1]))) b--;
    return PushBytes(L, s + a, b - a);
}

int EmptyStr(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    size_t i = 0;
    while (i < n && IsSpaceByte(static_cast<unsigned char>(s[i]))) i++;
    lua_pushnumber(L, i == n ? 1 : 0);
    return 1;
}

// ToString(value) -> its text; a "__tostring" metamethod is honoured.
int ToString(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (luaL_callmeta(L, 1, "__tostring")) {
        if (!lua_isstring(L, -1)) return ERR_STRINGEXPECTED;
        return 1;
    }
    char buf[64];
    switch (lua_type(L, 1)) {
    case LUA_TNUMBER:
    case LUA_TSTRING: lua_pushvalue(L, 1); lua_tostring(L, -1); return 1;
    case LUA_TNIL: lua_pushstring(L, "nil"); return 1;
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, 1) ? "true" : "false"); return 1;
    case LUA_TTABLE: snprintf(buf, sizeof buf, "Table: %p", lua_topointer(L, 1)); break;
    case LUA_TFUNCTION: snprintf(buf, sizeof buf, "Function: %p", lua_topointer(L, 1)); break;
    case LUA_TTHREAD: snprintf(buf, sizeof buf, "Thread: %p", lua_topointer(L, 1)); break;
    default: snprintf(buf, sizeof buf, "UserData: %p", lua_touserdata(L, 1)); break;
    }
    lua_pushstring(L, buf);
    return 1;
}

// ToNumber(s[, base = 10]) -> the number. Base 10 reads a decimal number
// (blanks around it allowed); bases 2 to 36 read an integer in that base.
int ToNumber(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    int64_t base = OptIntArg(L, 2, 10);
    if (base < 2 || base > 36) return ERR_WRONGUSAGE;
    if (base == 10 && lua_type(L, 1) == LUA_TNUMBER) {
        lua_pushvalue(L, 1);
        return 1;
    }
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    std::string text(s, n);
    const char *p = text.c_str();
    while (isspace(static_cast<unsigned char>(*p))) p++;
    double v = 0;
    const char *e = p;
    if (base == 10) {
        size_t used = ParseDecimalPrefix(p, &v);
        e = p + used;
        if (used && (*e == 'e' || *e == 'E')) {
            char *end2;
            v = strtod(p, &end2);
            e = end2;
        }
        if (!used) e = p;
    } else {
        bool neg = *e == '-';
        if (*e == '-' || *e == '+') e++;
        const char *digits = e;
        while (*e) {
            int d = isdigit(static_cast<unsigned char>(*e)) ? *e - '0'
                    : isalpha(static_cast<unsigned char>(*e)) ? tolower(static_cast<unsigned char>(*e)) - 'a' + 10
                                                               : 99;
            if (d >= base) break;
            v = v * static_cast<double>(base) + d;
            e++;
        }
        if (e == digits) e = p;
        if (neg) v = -v;
    }
    const char *rest = e;
    while (isspace(static_cast<unsigned char>(*rest))) rest++;
    if (e == p || *rest || text.size() != strlen(text.c_str())) {
        SetErrorNumber(1);
        return ERR_NUMEXPECTED;
    }
    lua_pushnumber(L, v);
    return 1;
}

// RepeatStr(s, count).
int RepeatStr(lua_State *L) {
    CheckArgCount(L, 2, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    int64_t count = IntArg(L, 2);
    if (count < 0) return ERR_WRONGUSAGE;
    // The result's size decides the work: an empty one costs nothing, one
    // past the string limit is refused before anything is built.
    if (n == 0 || count == 0) return PushString(L, std::string());
    if (static_cast<uint64_t>(count) > (uint64_t{1} << 31) / n) return ERR_MEM;
    const size_t total = n * static_cast<size_t>(count);
    std::string out;
    out.reserve(total);
    out.append(s, n);
    while (out.size() < total) out.append(out, 0, std::min(out.size(), total - out.size()));
    return PushString(L, out);
}

int CRC32Str(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    uLong crc = crc32(0L, Z_NULL, 0);
    const Bytef *p = reinterpret_cast<const Bytef *>(s);
    while (n > 0) {
        uInt step = n > 0x40000000u ? 0x40000000u : static_cast<uInt>(n);
        crc = crc32(crc, p, step);
        p += step;
        n -= step;
    }
    lua_pushnumber(L, static_cast<double>(crc & 0xFFFFFFFFu));
    return 1;
}

// Base64Str(s[, decode = False]).
int Base64Str(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    if (!FlagArg(L, 2, false)) return PushString(L, EncodeBase64(s, n));
    std::string out;
    if (int err = DecodeBase64(s, n, out)) return err;
    return PushString(L, out);
}

// ToUserData(address) -> a light userdata for an address given as text in
// hexadecimal ("0x...", "$..." or as ToString writes a userdata); a light
// userdata is returned as it is.
int ToUserData(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    if (lua_type(L, 1) == LUA_TLIGHTUSERDATA) {
        lua_pushvalue(L, 1);
        return 1;
    }
    const char *s = luaL_checkstring(L, 1);
    if (strncmp(s, "UserData: ", 10) == 0) s += 10;
    if (s[0] == '$')
        s++;
    else if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s += 2;
    if (!isxdigit(static_cast<unsigned char>(*s))) return ERR_WRONGUSAGE;
    char *end;
    unsigned long long v = strtoull(s, &end, 16);
    if (*end) return ERR_WRONGUSAGE;
    lua_pushlightuserdata(L, reinterpret_cast<void *>(static_cast<uintptr_t>(v)));
    return 1;
}

// ByteOffset(s, position[, encoding]) -> the byte offset of a character.
int ByteOffset(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    bool utf8 = Utf8Encoding(L, 3);
    Text t = TextArg(L, 1, utf8);
    int64_t pos = IntArg(L, 2);
    if (pos < 0 || static_cast<uint64_t>(pos) >= t.chars) return ERR_WRONGUSAGE;
    lua_pushnumber(L, static_cast<double>(t.ByteOf(static_cast<size_t>(pos))));
    return 1;
}

// CharOffset(s, byteOffset[, encoding]) -> the number of characters that
// begin before that byte offset.
int CharOffset(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    bool utf8 = Utf8Encoding(L, 3);
    Text t = TextArg(L, 1, utf8);
    int64_t off = IntArg(L, 2);
    if (off < 0 || static_cast<uint64_t>(off) > t.bytes) return ERR_WRONGUSAGE;
    lua_pushnumber(L, static_cast<double>(t.CharOf(static_cast<size_t>(off))));
    return 1;
}

// CharWidth(code[, encoding]) -> the bytes the character takes.
int CharWidth(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    int64_t code = IntArg(L, 1);
    bool utf8 = Utf8Encoding(L, 2);
    if (code < 0 || code > (utf8 ? 0x10FFFF : 0xFF)) return ERR_WRONGUSAGE;
    int width = !utf8 || code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    lua_pushnumber(L, width);
    return 1;
}

// ValidateStr(s[, encoding]) -> 1 or 0, and the character count that the
// validator reports (the valid prefix for an invalid string); -1 when no
// count is made (ISO-8859-1).
int ValidateStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    if (!Utf8Encoding(L, 2)) {
        lua_pushnumber(L, 1);
        lua_pushnumber(L, -1);
        return 2;
    }
    size_t count = 0;
    int ok = ValidateUtf8(s, n, &count);
    lua_pushnumber(L, ok);
    lua_pushnumber(L, static_cast<double>(count));
    return 2;
}

// ConvertStr(s, from, to).
int ConvertStr(lua_State *L) {
    CheckArgCount(L, 3, 3, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    int from = luaL_checkint(L, 2), to = luaL_checkint(L, 3);
    if (from == to) {
        lua_pushvalue(L, 1);
        return 1;
    }
    if (!((from == ENCODING_ISO8859_1 && to == ENCODING_UTF8) || (from == ENCODING_UTF8 && to == ENCODING_ISO8859_1)))
        return ERR_TEXTCONVERT;
    std::string in(s, n), out;
    // the converters stop at a NUL: convert the pieces between them
    size_t at = 0;
    for (;;) {
        char *piece = ConvertEncodingAlloc(in.c_str() + at, from, to);
        if (!piece) return ERR_MEM;
        out += piece;
        free(piece);
        at += strlen(in.c_str() + at);
        if (at >= n) break;
        out += '\0';
        at++;
    }
    return PushString(L, out);
}

// ReverseStr(s[, encoding]): whole characters in UTF-8.
int ReverseStr(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    bool utf8 = Utf8Encoding(L, 2);
    std::string out(n, '\0');
    size_t w = n;
    for (const char *p = s; p < s + n;) {
        size_t len = utf8 ? static_cast<size_t>(Utf8SkipChar(p, s + n) - p) : 1;
        w -= len;
        memcpy(&out[w], p, len);
        p += len;
    }
    return PushString(L, out);
}

// The character class tests: (s[, encoding]) -> 1 when the first
// character of s is in the class, else 0 (also for "").
enum class Class { AlNum, Alpha, Cntrl, Digit, Graph, Lower, Print, Punct, Space, Upper, XDigit };

bool InClass(uint32_t c, Class k, bool utf8) {
    if (utf8) {
        switch (k) {
        case Class::AlNum: return IsUnicodeAlNum(c);
        case Class::Alpha: return IsUnicodeAlpha(c);
        case Class::Cntrl: return IsUnicodeCntrl(c);
        case Class::Digit: return IsUnicodeDigit(c);
        case Class::Graph: return IsUnicodeGraph(c);
        case Class::Lower: return IsUnicodeLower(c);
        case Class::Print: return IsUnicodePrint(c);
        case Class::Punct: return IsUnicodePunct(c);
        case Class::Space: return IsUnicodeSpace(c);
        case Class::Upper: return IsUnicodeUpper(c);
        case Class::XDigit: return IsUnicodeXDigit(c);
        }
        return false;
    }
    int b = static_cast<int>(c & 0xFF);
    switch (k) {
    case Class::AlNum: return IsAlNumLatin1(c);
    case Class::Alpha: return IsAlphaLatin1(c);
    case Class::Cntrl: return iscntrl(b) != 0;
    case Class::Digit: return isdigit(b) != 0;
    case Class::Graph: return IsGraphLatin1(c);
    case Class::Lower: return IsLowerLatin1(c);
    case Class::Print: return c == 0x20 || IsGraphLatin1(c);
    case Class::Punct: return ispunct(b) != 0;
    case Class::Space: return isspace(b) != 0;
    case Class::Upper: return IsUpperLatin1(c);
    case Class::XDigit: return isxdigit(b) != 0;
    }
    return false;
}

template <Class K>
int IsClass(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    bool utf8 = Utf8Encoding(L, 2);
    int r = 0;
    if (n > 0) {
        uint32_t c;
        if (utf8)
            Utf8DecodeChar(s, s + n, &c);
        else
            c = static_cast<unsigned char>(s[0]);
        r = InClass(c, K, utf8) ? 1 : 0;
    }
    lua_pushnumber(L, r);
    return 1;
}

// CompareStr(a, b[, caseSensitive = True]) -> -1, 0 or 1 by collation.
int CompareStr(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    const char *a = luaL_checkstring(L, 1);
    const char *b = luaL_checkstring(L, 2);
    int r = CompareStrings(a, b, FlagArg(L, 3, true) ? 1 : 0);
    lua_pushnumber(L, r < 0 ? -1 : r > 0 ? 1 : 0);
    return 1;
}

// ByteAsc(s) -> the first byte (0 for "").
int ByteAsc(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    lua_pushnumber(L, n ? static_cast<unsigned char>(s[0]) : 0);
    return 1;
}

int ByteChr(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    int64_t code = IntArg(L, 1);
    if (code < 0 || code > 255) return ERR_WRONGUSAGE;
    char c = static_cast<char>(code);
    return PushBytes(L, &c, 1);
}

// StartsWith / EndsWith (s, part[, caseSensitive = True]) -> 1 or 0.
int Affix(lua_State *L, bool atEnd) {
    CheckArgCount(L, 2, 3, 0, 0);
    bool utf8 = GetUtf8Mode() != 0;
    size_t n, pn;
    const char *s = luaL_checklstring(L, 1, &n);
    const char *p = luaL_checklstring(L, 2, &pn);
    bool cs = FlagArg(L, 3, true);
    bool r;
    if (cs) {
        r = pn <= n && memcmp(atEnd ? s + n - pn : s, p, pn) == 0;
    } else if (!atEnd) {
        r = MatchNoCase(s, s + n, p, p + pn, utf8) != nullptr;
    } else {
        // try the character starts from the end
        r = pn == 0;
        for (const char *q = s + n; !r;) {
            const char *e = MatchNoCase(q, s + n, p, p + pn, utf8);
            if (e == s + n) r = true;
            if (q == s) break;
            q = utf8 ? Utf8PrevChar(s, q) : q - 1;
        }
    }
    lua_pushnumber(L, r ? 1 : 0);
    return 1;
}

int StartsWith(lua_State *L) { return Affix(L, false); }
int EndsWith(lua_State *L) { return Affix(L, true); }

// ByteVal(s[, type = LONG][, byteOrder = BIGENDIAN]) -> the number stored
// in the first bytes of s as a memory-block item.
int ByteVal(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    int type = luaL_optint(L, 2, CX_TYPE_LONG);
    int order = luaL_optint(L, 3, CX_BIGENDIAN);
    int size = GetItemSize(type);
    if (size == 0 || order < 0 || order > 2) return ERR_WRONGUSAGE;
    if (n < static_cast<size_t>(size)) return ERR_STRTOOSHORT;
    // read back through the store: compare bytes in the asked order
    unsigned char b[8];
    memcpy(b, s, static_cast<size_t>(size));
    bool little = order == CX_LITTLEENDIAN || (order == CX_NATIVEENDIAN && std::endian::native == std::endian::little);
    uint64_t v = 0;
    for (int i = 0; i < size; i++) v = (v << 8) | b[little ? size - 1 - i : i];
    double r;
    if (type == CX_TYPE_FLOAT)
        r = std::bit_cast<float>(static_cast<uint32_t>(v));
    else if (type == CX_TYPE_DOUBLE)
        r = std::bit_cast<double>(v);
    else
        r = static_cast<double>(v);
    lua_pushnumber(L, r);
    return 1;
}

// ByteStrStr(value[, type = LONG][, byteOrder = BIGENDIAN]) -> the raw
// bytes of value stored as a memory-block item.
int ByteStrStr(lua_State *L) {
    CheckArgCount(L, 1, 3, 0, 0);
    double v = luaL_checknumber(L, 1);
    int type = luaL_optint(L, 2, CX_TYPE_LONG);
    int order = luaL_optint(L, 3, CX_BIGENDIAN);
    int size = GetItemSize(type);
    if (size == 0) return ERR_WRONGUSAGE;
    unsigned char b[8];
    if (int err = StoreMemItem(b, type, v, order)) return err;
    return PushBytes(L, reinterpret_cast<char *>(b), static_cast<size_t>(size));
}

const luaL_reg kCommands[] = {
    {"LowerStr", LowerStr},
    {"UpperStr", UpperStr},
    {"Val", Val},
    {"StrStr", StrStr},
    {"UnrightStr", UnrightStr},
    {"UnleftStr", UnleftStr},
    {"Chr", Chr},
    {"MidStr", MidStr},
    {"RightStr", RightStr},
    {"LeftStr", LeftStr},
    {"FindStr", FindStr},
    {"AddStr", AddStr},
    {"HexStr", HexStr},
    {"Asc", Asc},
    {"StrLen", StrLen},
    {"ReplaceStr", ReplaceStr},
    {"BinStr", BinStr},
    {"SplitStr", SplitStr},
    {"PadNum", PadNum},
    {"StrToArray", StrToArray},
    {"TrimStr", TrimStr},
    {"ToString", ToString},
    {"ToNumber", ToNumber},
    {"UnmidStr", UnmidStr},
    {"CountStr", CountStr},
    {"InsertStr", InsertStr},
    {"RepeatStr", RepeatStr},
    {"MD5Str", MD5Str},
    {"CRC32Str", CRC32Str},
    {"FormatStr", FormatStr},
    {"PatternFindStr", PatternFindStr},
    {"PatternReplaceStr", PatternReplaceStr},
    {"Eval", Eval},
    {"PatternFindStrDirect", PatternFindStrDirect},
    {"PatternFindStrShort", PatternFindStrShort},
    {"ArrayToStr", ArrayToStr},
    {"Base64Str", Base64Str},
    {"ToUserData", ToUserData},
    {"ByteOffset", ByteOffset},
    {"CharOffset", CharOffset},
    {"CharWidth", CharWidth},
    {"ValidateStr", ValidateStr},
    {"ConvertStr", ConvertStr},
    {"ReverseStr", ReverseStr},
    {"ByteLen", ByteLen},
    {"IsAlNum", IsClass<Class::AlNum>},
    {"IsAlpha", IsClass<Class::Alpha>},
    {"IsCntrl", IsClass<Class::Cntrl>},
    {"IsDigit", IsClass<Class::Digit>},
    {"IsGraph", IsClass<Class::Graph>},
    {"IsLower", IsClass<Class::Lower>},
    {"IsPrint", IsClass<Class::Print>},
    {"IsPunct", IsClass<Class::Punct>},
    {"IsSpace", IsClass<Class::Space>},
    {"IsUpper", IsClass<Class::Upper>},
    {"IsXDigit", IsClass<Class::XDigit>},
    {"CompareStr", CompareStr},
    {"ByteAsc", ByteAsc},
    {"ByteChr", ByteChr},
    {"StartsWith", StartsWith},
    {"EndsWith", EndsWith},
    {"StripStr", StripStr},
    {"EmptyStr", EmptyStr},
    {"ByteVal", ByteVal},
    {"ByteStrStr", ByteStrStr},
    {nullptr, nullptr},
};

} // namespace

// MD5Str(s) -> the digest in 32 lower-case hexadecimal digits.
int MD5Str(lua_State *L) {
    CheckArgCount(L, 1, 1, 0, 0);
    size_t n;
    const char *s = luaL_checklstring(L, 1, &n);
    cxMD5Context ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, s, n);
    uint8_t digest[16];
    MD5Final(&ctx, digest);
    char hex[33];
    for (int i = 0; i < 16; i++) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    lua_pushstring(L, hex);
    return 1;
}

const luaL_reg *GetStringCommands() { return kCommands; }

} // namespace cxstring

extern "C" int OpenStringLibrary(lua_State *L) {
    const luaL_reg *commands = cxstring::GetStringCommands();
    luaL_openlib(L, nullptr, commands, 0);
    return AddCommandLibrary(commands, "string");
}
