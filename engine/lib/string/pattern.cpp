// The pattern matcher of the pattern commands. Its syntax is the classic
// one of the scripting language this engine grew from: single characters,
// "." for any character, "%" classes and escapes, sets in "[...]", the
// quantifiers "*", "+", "-" and "?", captures in "(...)" and position
// captures "()", back-references "%1" to "%9", balanced matches "%bxy",
// frontiers "%f[set]" and the anchors "^" and "$". In UTF-8 mode the
// matcher steps by whole characters and classes test code points; positions
// handed to scripts count characters from 0 then, and bytes otherwise.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "engine/lib/string/string_internal.h"
#include "engine/runtime/runtime.h"

namespace cxstring {
namespace {

constexpr int kMaxCaptures = 32;
constexpr int kMaxDepth = 200;
constexpr ptrdiff_t kUnfinished = -1;
constexpr ptrdiff_t kPosition = -2;
// Backtracking can take time exponential in the pattern: the work of one
// matcher is bounded by its subject and pattern sizes, generously for
// every pattern that does not backtrack wildly.
constexpr uint64_t kBaseSteps = 400000;
constexpr uint64_t kStepsPerPair = 64;
// How often a long match looks at the user's stop request.
constexpr uint64_t kAbortCheckMask = 0xFFFF;

struct PatternError {
    int code;
};

[[noreturn]] void Fail(int code) { throw PatternError{code}; }

class Matcher {
public:
    Matcher(const char *src, size_t srcLen, const char *pat, size_t patLen, bool utf8)
        : src_(src), srcEnd_(src + srcLen), patEnd_(pat + patLen), utf8_(utf8),
          budget_(kBaseSteps + kStepsPerPair * (uint64_t{srcLen} + 1) * (uint64_t{patLen} + 1)) {}

    // The end of a match of pattern p starting at s, or null.
    const char *MatchAt(const char *s, const char *p) {
        level_ = 0;
        depth_ = 0;
        return Match(s, p);
    }

    int Level() const { return level_; }

    // Pushes capture i (or the whole match when there are none and i is 0).
    void PushCapture(lua_State *L, int i, const char *s, const char *e) {
        if (i >= level_) {
            if (i != 0) Fail(ERR_INVCAPIDX);
            lua_pushlstring(L, s, static_cast<size_t>(e - s));
            return;
        }
        ptrdiff_t len = captures_[i].len;
        if (len == kUnfinished) Fail(ERR_UNFINISHEDCAPTURE);
        if (len == kPosition)
            lua_pushnumber(L, static_cast<double>(Position(captures_[i].start)));
        else
            lua_pushlstring(L, captures_[i].start, static_cast<size_t>(len));
    }

    // Pushes every capture (the whole match when there are none).
    int PushCaptures(lua_State *L, const char *s, const char *e, bool wholeIfNone) {
        int n = (level_ == 0 && wholeIfNone) ? 1 : level_;
        if (!lua_checkstack(L, n)) Fail(ERR_STACK);
        for (int i = 0; i < n; i++) PushCapture(L, i, s, e);
        return n;
    }

    // A position for scripts: characters in UTF-8 mode, else bytes.
    size_t Position(const char *p) const {
        return utf8_ ? Utf8CountChars(src_, p) : static_cast<size_t>(p - src_);
    }
    // The byte pointer of a script position (clamped to the end).
    const char *At(size_t position) const {
        const char *p = src_;
        if (!utf8_) return position < static_cast<size_t>(srcEnd_ - src_) ? src_ + position : srcEnd_;
        for (size_t i = 0; i < position && p < srcEnd_; i++) p = Utf8SkipChar(p, srcEnd_);
        return p;
    }
    // The byte length of the character at p.
    size_t CharLength(const char *p) const {
        if (p >= srcEnd_) return 0;
        return utf8_ ? static_cast<size_t>(Utf8SkipChar(p, srcEnd_) - p) : 1;
    }

private:
    struct Capture {
        const char *start;
        ptrdiff_t len;
    };

    const char *src_;
    const char *srcEnd_;
    const char *patEnd_;
    bool utf8_;
    int level_ = 0;
    int depth_ = 0;
    uint64_t steps_ = 0;
    uint64_t budget_;
    Capture captures_[kMaxCaptures];

    // One unit of work: refused past the budget, and ended when the user
    // asks the run to stop.
    void Step() {
        if (++steps_ > budget_) Fail(ERR_COMPLEXPATTERN);
        if ((steps_ & kAbortCheckMask) == 0 && GetUserAbortFlag()) Fail(ERR_USERABORT);
    }

    // Reads one character of the pattern or the subject.
    int Read(const char *p, const char *end, uint32_t *c) const {
        if (p >= end) {
            *c = 0;
            return 0;
        }
        if (!utf8_) {
            *c = static_cast<unsigned char>(*p);
            return 1;
        }
        return Utf8DecodeChar(p, end, c);
    }

    bool ClassTest(uint32_t c, uint32_t cl) const {
        bool result;
        uint32_t lower = cl < 128 ? static_cast<uint32_t>(tolower(static_cast<int>(cl))) : cl;
        if (utf8_) {
            switch (lower) {
            case 'a': result = IsUnicodeAlpha(c); break;
            case 'c': result = IsUnicodeCntrl(c); break;
            case 'd': result = IsUnicodeDigit(c); break;
            case 'g': result = IsUnicodeGraph(c); break;
            case 'l': result = IsUnicodeLower(c); break;
            case 'p': result = IsUnicodePunct(c); break;
            case 's': result = IsUnicodeSpace(c); break;
            case 'u': result = IsUnicodeUpper(c); break;
            case 'w': result = IsUnicodeAlNum(c); break;
            case 'x': result = IsUnicodeXDigit(c); break;
            case 'z': result = c == 0; break;
            default: return cl == c;
            }
        } else {
            int b = static_cast<int>(c & 0xFF);
            switch (lower) {
            case 'a': result = IsAlphaLatin1(c); break;
            case 'c': result = iscntrl(b) != 0; break;
            case 'd': result = isdigit(b) != 0; break;
            case 'g': result = IsGraphLatin1(c); break;
            case 'l': result = IsLowerLatin1(c); break;
            case 'p': result = ispunct(b) != 0; break;
            case 's': result = isspace(b) != 0; break;
            case 'u': result = IsUpperLatin1(c); break;
            case 'w': result = IsAlNumLatin1(c); break;
            case 'x': result = isxdigit(b) != 0; break;
            case 'z': result = c == 0; break;
            default: return cl == c;
            }
        }
        if (cl < 128 && isupper(static_cast<int>(cl))) result = !result;
        return result;
    }

    // The end of the single-character item at p.
    const char *ItemEnd(const char *p) const {
        uint32_t c;
        int n = Read(p, patEnd_, &c);
        p += n;
        if (c == '%') {
            if (p >= patEnd_) Fail(ERR_MALFORMPAT1);
            return p + Read(p, patEnd_, &c);
        }
        if (c == '[') {
            if (p < patEnd_ && *p == '^') p++;
            // the first character of a set is taken literally, "]" too
            do {
                if (p >= patEnd_) Fail(ERR_MALFORMPAT2);
                uint32_t d;
                int m = Read(p, patEnd_, &d);
                p += m;
                if (d == '%') {
                    if (p >= patEnd_) Fail(ERR_MALFORMPAT2);
                    p += Read(p, patEnd_, &d);
                }
            } while (p >= patEnd_ || *p != ']');
            return p + 1;
        }
        return p;
    }

    // Does c belong to the set [p, ec) where p is at "[" and ec at "]"?
    bool SetTest(uint32_t c, const char *p, const char *ec) const {
        bool negate = false;
        p++; // "["
        if (*p == '^') {
            negate = true;
            p++;
        }
        ec--; // at "]"
        while (p < ec) {
            uint32_t a;
            p += Read(p, ec, &a);
            if (a == '%' && p < ec) {
                uint32_t cl;
                p += Read(p, ec, &cl);
                if (ClassTest(c, cl)) return !negate;
                continue;
            }
            if (p < ec && *p == '-' && p + 1 < ec) {
                uint32_t b;
                p++;
                p += Read(p, ec, &b);
                if (a <= c && c <= b) return !negate;
                continue;
            }
            if (a == c) return !negate;
        }
        return negate;
    }

    // Does the character at s match the single item [p, ep)?
    bool SingleMatch(const char *s, const char *p, const char *ep) const {
        if (s >= srcEnd_) return false;
        uint32_t c, pc;
        Read(s, srcEnd_, &c);
        int n = Read(p, ep, &pc);
        switch (pc) {
        case '.': return true;
        case '%': {
            uint32_t cl;
            Read(p + n, ep, &cl);
            return ClassTest(c, cl);
        }
        case '[': return SetTest(c, p, ep);
        default: return pc == c;
        }
    }

    const char *Next(const char *s) const { return s + CharLength(s); }

    const char *Balance(const char *s, const char *p) {
        if (p >= patEnd_) Fail(ERR_UNBALANCEDPAT);
        uint32_t open, close;
        int n = Read(p, patEnd_, &open);
        if (p + n >= patEnd_) Fail(ERR_UNBALANCEDPAT);
        Read(p + n, patEnd_, &close);
        if (s >= srcEnd_) return nullptr;
        uint32_t c;
        Read(s, srcEnd_, &c);
        if (c != open) return nullptr;
        int count = 1;
        for (s = Next(s); s < srcEnd_; s = Next(s)) {
            Read(s, srcEnd_, &c);
            if (c == close) {
                if (--count == 0) return Next(s);
            } else if (c == open) {
                count++;
            }
        }
        return nullptr;
    }

    const char *MaxExpand(const char *s, const char *p, const char *ep) {
        // count how far the item repeats, then back off one character at a
        // time until the rest matches
        if (!utf8_) {
            // Bytes step back by one: no list of stops to build.
            const char *q = s;
            while (SingleMatch(q, p, ep)) {
                Step();
                q = Next(q);
            }
            for (;; q--) {
                if (const char *r = Match(q, ep + 1)) return r;
                if (q == s) return nullptr;
            }
        }
        std::vector<const char *> stops;
        const char *q = s;
        stops.push_back(q);
        while (SingleMatch(q, p, ep)) {
            Step();
            q = Next(q);
            stops.push_back(q);
        }
        for (size_t i = stops.size(); i-- > 0;) {
            if (const char *r = Match(stops[i], ep + 1)) return r;
        }
        return nullptr;
    }

    const char *MinExpand(const char *s, const char *p, const char *ep) {
        for (;;) {
            Step();
            if (const char *r = Match(s, ep + 1)) return r;
            if (!SingleMatch(s, p, ep)) return nullptr;
            s = Next(s);
        }
    }

    const char *StartCapture(const char *s, const char *p, ptrdiff_t what) {
        if (level_ >= kMaxCaptures) Fail(ERR_TOOMANYCAPTURES);
        captures_[level_].start = s;
        captures_[level_].len = what;
        level_++;
        const char *r = Match(s, p);
        if (!r) level_--;
        return r;
    }

    const char *EndCapture(const char *s, const char *p) {
        int l = -1;
        for (int i = level_ - 1; i >= 0; i--) {
            if (captures_[i].len == kUnfinished) {
                l = i;
                break;
            }
        }
        if (l < 0) Fail(ERR_INVPATCAP);
        captures_[l].len = s - captures_[l].start;
        const char *r = Match(s, p);
        if (!r) captures_[l].len = kUnfinished;
        return r;
    }

    const char *BackReference(const char *s, uint32_t digit) {
        int l = static_cast<int>(digit) - '1';
        if (l < 0 || l >= level_ || captures_[l].len == kUnfinished) Fail(ERR_INVCAPIDX);
        size_t len = captures_[l].len == kPosition ? 0 : static_cast<size_t>(captures_[l].len);
        if (static_cast<size_t>(srcEnd_ - s) >= len && memcmp(captures_[l].start, s, len) == 0) return s + len;
        return nullptr;
    }

    const char *Match(const char *s, const char *p) {
        if (++depth_ > kMaxDepth) Fail(ERR_COMPLEXPATTERN);
        Step();
        struct Leave {
            int &d;
            ~Leave() { d--; }
        } leave{depth_};
        for (;;) {
            if (p >= patEnd_) return s;
            switch (*p) {
            case '(':
                if (p + 1 < patEnd_ && p[1] == ')') return StartCapture(s, p + 2, kPosition);
                return StartCapture(s, p + 1, kUnfinished);
            case ')': return EndCapture(s, p + 1);
            case '$':
                if (p + 1 == patEnd_) return s == srcEnd_ ? s : nullptr;
                break;
            case '%':
                if (p + 1 >= patEnd_) Fail(ERR_MALFORMPAT1);
                if (p[1] == 'b') {
                    uint32_t open;
                    const char *q = p + 2;
                    s = Balance(s, q);
                    if (!s) return nullptr;
                    q += Read(q, patEnd_, &open);
                    q += Read(q, patEnd_, &open);
                    p = q;
                    continue;
                }
                if (p[1] == 'f') {
                    p += 2;
                    if (p >= patEnd_ || *p != '[') Fail(ERR_MISSINGOPBRACK);
                    const char *ep = ItemEnd(p);
                    uint32_t prev = 0, cur = 0;
                    if (s > src_) Read(Utf8Or(s), srcEnd_, &prev);
                    Read(s, srcEnd_, &cur);
                    if (SetTest(prev, p, ep) || !SetTest(cur, p, ep)) return nullptr;
                    p = ep;
                    continue;
                }
                if (isdigit(static_cast<unsigned char>(p[1]))) {
                    s = BackReference(s, static_cast<unsigned char>(p[1]));
                    if (!s) return nullptr;
                    p += 2;
                    continue;
                }
                break;
            default: break;
            }
            const char *ep = ItemEnd(p);
            bool m = SingleMatch(s, p, ep);
            char q = ep < patEnd_ ? *ep : 0;
            switch (q) {
            case '?': {
                if (m) {
                    if (const char *r = Match(Next(s), ep + 1)) return r;
                }
                p = ep + 1;
                continue;
            }
            case '*': return MaxExpand(s, p, ep);
            case '+': return m ? MaxExpand(Next(s), p, ep) : nullptr;
            case '-': return MinExpand(s, p, ep);
            default:
                if (!m) return nullptr;
                s = Next(s);
                p = ep;
                continue;
            }
        }
    }

    // The start of the character before s.
    const char *Utf8Or(const char *s) const { return utf8_ ? Utf8PrevChar(src_, s) : s - 1; }
};

// A start position argument (characters in UTF-8 mode, else bytes; from 0).
size_t StartArg(lua_State *L, int index) {
    if (lua_isnoneornil(L, index)) return 0;
    double v = luaL_checknumber(L, index);
    return v <= 0 ? 0 : static_cast<size_t>(v < 1e15 ? v : 1e15);
}

bool Utf8Mode() { return GetUtf8Mode() != 0; }

// Runs body and turns a pattern failure into its error code.
template <class F>
int Guard(F body) {
    try {
        return body();
    } catch (const PatternError &e) {
        return e.code;
    }
}

// Searches from init; returns the match start (null when none) and *end.
const char *Search(Matcher &m, const char *subject, size_t len, const char *pat, size_t plen, const char *init,
                   const char **end) {
    bool anchor = plen > 0 && pat[0] == '^';
    const char *p = anchor ? pat + 1 : pat;
    const char *s = init;
    const char *srcEnd = subject + len;
    for (;;) {
        if (const char *e = m.MatchAt(s, p)) {
            *end = e;
            return s;
        }
        if (anchor || s >= srcEnd) return nullptr;
        s += m.CharLength(s);
    }
}

int FindIterator(lua_State *L) {
    size_t len, plen;
    const char *s = lua_tostring(L, lua_upvalueindex(1));
    len = lua_strlen(L, lua_upvalueindex(1));
    const char *p = lua_tostring(L, lua_upvalueindex(2));
    plen = lua_strlen(L, lua_upvalueindex(2));
    size_t at = static_cast<size_t>(lua_tonumber(L, lua_upvalueindex(3)));
    bool utf8 = lua_tonumber(L, lua_upvalueindex(4)) != 0;
    if (at > len) return 0;
    return Guard([&] {
        Matcher m(s, len, p, plen, utf8);
        for (const char *from = s + at; from <= s + len;) {
            if (const char *e = m.MatchAt(from, p)) {
                size_t next = static_cast<size_t>(e - s);
                if (e == from) next += m.CharLength(e) ? m.CharLength(e) : 1; // step over an empty match
                lua_pushnumber(L, static_cast<double>(next));
                lua_replace(L, lua_upvalueindex(3));
                return m.PushCaptures(L, from, e, true);
            }
            if (from == s + len) break;
            from += m.CharLength(from);
        }
        lua_pushnumber(L, static_cast<double>(len + 1));
        lua_replace(L, lua_upvalueindex(3));
        return 0;
    });
}

void AddReplacement(lua_State *L, Matcher &m, luaL_Buffer *b, const char *s, const char *e, const char *repl,
                    size_t rlen) {
    for (size_t i = 0; i < rlen; i++) {
        if (repl[i] != '%') {
            luaL_putchar(b, repl[i]);
            continue;
        }
        i++;
        if (i >= rlen) Fail(ERR_ESCREPLACE);
        char c = repl[i];
        if (c == '%') {
            luaL_putchar(b, '%');
        } else if (c >= '0' && c <= '9') {
            if (c == '0') {
                luaL_addlstring(b, s, static_cast<size_t>(e - s));
            } else {
                m.PushCapture(L, c - '1', s, e);
                if (lua_type(L, -1) == LUA_TNUMBER) lua_tostring(L, -1);
                luaL_addvalue(b);
            }
        } else {
            Fail(ERR_ESCREPLACE);
        }
    }
}

} // namespace

// PatternFindStr(s, pattern[, start]) -> iterator for a generic For: each
// call gives the captures (or the whole match) of the next match.
int PatternFindStr(lua_State *L) {
    CheckArgCount(L, 2, 3, 0, 0);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    luaL_checkstring(L, 2);
    bool utf8 = Utf8Mode();
    size_t start = StartArg(L, 3);
    Matcher m(s, len, "", 0, utf8);
    size_t at = static_cast<size_t>(m.At(start) - s);
    lua_settop(L, 2);
    lua_pushnumber(L, static_cast<double>(at));
    lua_pushnumber(L, utf8 ? 1 : 0);
    lua_pushcclosure(L, FindIterator, 4);
    return 1;
}

namespace {

// (s, pattern[, start]): finds the first match and hands it to `answer`
// (begin and end of the match, both null when there is none).
template <class Answer>
int FirstMatch(lua_State *L, Answer answer) {
    CheckArgCount(L, 2, 3, 0, 0);
    size_t len, plen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *p = luaL_checklstring(L, 2, &plen);
    size_t start = StartArg(L, 3);
    return Guard([&] {
        Matcher m(s, len, p, plen, Utf8Mode());
        const char *e = nullptr;
        const char *b = Search(m, s, len, p, plen, m.At(start), &e);
        return answer(m, b, e);
    });
}

} // namespace

// PatternFindStrDirect(s, pattern[, start]) -> first and last position of
// the match (both -1 when none), then the captures.
int PatternFindStrDirect(lua_State *L) {
    return FirstMatch(L, [L](Matcher &m, const char *b, const char *e) {
        if (!b) {
            lua_pushnumber(L, -1);
            lua_pushnumber(L, -1);
            return 2;
        }
        lua_pushnumber(L, static_cast<double>(m.Position(b)));
        lua_pushnumber(L, static_cast<double>(m.Position(e)) - 1);
        return 2 + m.PushCaptures(L, b, e, false);
    });
}

// PatternFindStrShort(s, pattern[, start]) -> the captures of the first
// match (the whole match without captures), or Nil.
int PatternFindStrShort(lua_State *L) {
    return FirstMatch(L, [L](Matcher &m, const char *b, const char *e) {
        if (!b) {
            lua_pushnil(L);
            return 1;
        }
        return m.PushCaptures(L, b, e, true);
    });
}

// PatternReplaceStr(s, pattern, replacement[, max]) -> the new string and
// the number of replacements. The replacement is a string ("%0" the match,
// "%1".."%9" captures, "%%" a percent sign), a table looked up with the
// first capture, or a function called with the captures; Nil or False from
// those keeps the match.
int PatternReplaceStr(lua_State *L) {
    CheckArgCount(L, 3, 4, 0, 0);
    size_t len, plen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *p = luaL_checklstring(L, 2, &plen);
    int rt = lua_type(L, 3);
    if (rt != LUA_TNUMBER && rt != LUA_TSTRING && rt != LUA_TTABLE && rt != LUA_TFUNCTION) {
        SetErrorNumber(3);
        return ERR_INVREPLACE;
    }
    double maxArg = lua_isnoneornil(L, 4) ? -1 : luaL_checknumber(L, 4);
    return Guard([&] {
        Matcher m(s, len, p, plen, Utf8Mode());
        bool anchor = plen > 0 && p[0] == '^';
        const char *pat = anchor ? p + 1 : p;
        const char *end = s + len;
        luaL_Buffer b;
        luaL_buffinit(L, &b);
        double count = 0;
        const char *at = s;
        while (maxArg < 0 || count < maxArg) {
            const char *e = m.MatchAt(at, pat);
            if (e) {
                count++;
                if (rt == LUA_TSTRING || rt == LUA_TNUMBER) {
                    size_t rlen;
                    const char *repl = lua_tostring(L, 3);
                    rlen = lua_strlen(L, 3);
                    AddReplacement(L, m, &b, at, e, repl, rlen);
                } else {
                    if (rt == LUA_TFUNCTION) {
                        lua_pushvalue(L, 3);
                        int n = m.PushCaptures(L, at, e, true);
                        lua_call(L, n, 1);
                    } else {
                        m.PushCapture(L, 0, at, e);
                        lua_gettable(L, 3);
                    }
                    int vt = lua_type(L, -1);
                    if (vt == LUA_TNIL || (vt == LUA_TBOOLEAN && !lua_toboolean(L, -1))) {
                        lua_pop(L, 1);
                        luaL_addlstring(&b, at, static_cast<size_t>(e - at));
                    } else if (vt == LUA_TSTRING || vt == LUA_TNUMBER) {
                        lua_tostring(L, -1);
                        luaL_addvalue(&b);
                    } else {
                        Fail(ERR_INVREPLACE);
                    }
                }
            }
            if (e && e > at) {
                at = e;
            } else {
                if (at >= end) break;
                size_t n = m.CharLength(at);
                luaL_addlstring(&b, at, n);
                at += n;
            }
            if (anchor) break;
        }
        luaL_addlstring(&b, at, static_cast<size_t>(end - at));
        luaL_pushresult(&b);
        lua_pushnumber(L, count);
        return 2;
    });
}

} // namespace cxstring
