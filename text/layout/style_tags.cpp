#include "text/layout/style_tags.h"

#include <cctype>
#include <cstring>
#include <string_view>

#include "errors/error_codes.h"
#include "engine/runtime/calls.h"
#include "engine/runtime/number_literal.h"

namespace {

struct Cursor {
    const char *p, *end;
    bool AtEnd() const { return p >= end; }
    char Peek() const { return p < end ? *p : '\0'; }
    void SkipBlanks() {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
    }
};

// A value: a number literal or a "#" constant holding a number.
int ParseTagNumber(lua_State *L, Cursor &c, double *out) {
    c.SkipBlanks();
    if (c.Peek() == '"' || c.Peek() == '\'') return ERR_VALUEEXPECTED;
    // The literal parsers read up to a NUL: copy the value's bytes.
    char buf[128];
    size_t n = 0;
    while (c.p + n < c.end && n + 1 < sizeof buf && c.p[n] != ',' && c.p[n] != ']' && c.p[n] != ' ' && c.p[n] != '\t')
        ++n;
    memcpy(buf, c.p, n);
    buf[n] = '\0';
    size_t used = 0;
    if (buf[0] == '#') {
        if (!L) return ERR_FINDCST;
        int type = 0;
        if (int err = ParseConstantName(L, buf, &used, &type, out)) return err;
        if (type != LUA_TNUMBER) return ERR_VALUEEXPECTED;
    } else {
        int err = 0;
        *out = ParseNumberLiteral(buf, &used, &err);
        if (err) return err;
    }
    if (used != n) return ERR_SQBRACKETCLOSE;
    c.p += used;
    return 0;
}

// Up to count values after "=", separated by ","; *got receives how many.
int ParseValues(lua_State *L, Cursor &c, double *values, int count, int *got) {
    *got = 0;
    for (int i = 0; i < count; ++i) {
        if (int err = ParseTagNumber(L, c, &values[i])) return err;
        *got = i + 1;
        c.SkipBlanks();
        if (c.Peek() != ',') break;
        ++c.p;
    }
    return 0;
}

// Colours wrap like the integers scripts pass; values beyond 32 bits
// would be undefined to convert.
uint32_t ToColour(double v) {
    if (!(v > -4294967296.0 && v < 4294967296.0)) return 0;
    return uint32_t(int64_t(v));
}

int Close(Cursor &c) {
    c.SkipBlanks();
    if (c.Peek() != ']') return ERR_SQBRACKETCLOSE;
    ++c.p;
    return 0;
}

} // namespace

int ParseStyleTag(lua_State *L, const char *text, size_t length, cxTextStyle *style, std::vector<uint32_t> &colours,
                  size_t *consumed) {
    Cursor c{text + 1, text + length};
    c.SkipBlanks();
    const bool closing = c.Peek() == '/';
    if (closing) {
        ++c.p;
        c.SkipBlanks();
    }
    const char *word = c.p;
    while (!c.AtEnd() && isalpha(static_cast<unsigned char>(*c.p))) ++c.p;
    const std::string_view key(word, size_t(c.p - word));
    auto is = [&](const char *name) {
        const size_t n = strlen(name);
        if (key.size() != n) return false;
        for (size_t i = 0; i < n; ++i)
            if (tolower(static_cast<unsigned char>(key[i])) != name[i]) return false;
        return true;
    };
    int err = 0;
    if (key.size() == 1) {
        // A one-letter tag ends at "]", a blank, a tab or the text's end.
        const char next = c.Peek();
        if (!(c.AtEnd() || next == ']' || next == ' ' || next == '\t')) return ERR_UNKTEXTFMT;
        uint32_t bit = 0;
        if (is("b")) bit = CX_TEXT_BOLD;
        else if (is("i")) bit = CX_TEXT_ITALIC;
        else if (is("u")) bit = CX_TEXT_UNDERLINED;
        else return ERR_UNKTEXTFMT;
        if ((err = Close(c))) return err;
        style->flags = closing ? style->flags & ~bit : style->flags | bit;
    } else if (is("color")) {
        if (closing) {
            if ((err = Close(c))) return err;
            if (colours.empty()) return ERR_TEXTSYNTAX;
            style->colour = colours.back();
            colours.pop_back();
        } else {
            c.SkipBlanks();
            if (c.Peek() != '=') return ERR_TEXTARG;
            ++c.p;
            double v = 0;
            if ((err = ParseTagNumber(L, c, &v))) return err;
            if ((err = Close(c))) return err;
            colours.push_back(style->colour);
            style->colour = ToColour(v);
        }
    } else if (is("shadow") || is("edge")) {
        const bool shadow = key.size() == 6;
        const uint32_t bit = shadow ? CX_TEXT_SHADOW : CX_TEXT_EDGE;
        if (closing) {
            if ((err = Close(c))) return err;
            style->flags &= ~bit;
        } else {
            c.SkipBlanks();
            double v[3] = {0, 0, 0};
            int got = 0;
            if (c.Peek() == '=') {
                ++c.p;
                if ((err = ParseValues(L, c, v, shadow ? 3 : 2, &got))) return err;
            }
            if ((err = Close(c))) return err;
            const double maxSize = shadow ? CX_TEXT_MAX_EFFECT : CX_TEXT_MAX_TAG_EDGE;
            if (got >= 2 && !(v[1] >= 1 && v[1] <= maxSize)) return ERR_WRONGUSAGE;
            if (shadow) {
                if (got >= 1) style->shadowColour = ToColour(v[0]);
                if (got >= 2) style->shadowSize = int32_t(v[1]);
                if (got >= 3) style->shadowDir = int32_t(v[2] >= 0 && v[2] <= 7 ? v[2] : 3);
            } else {
                if (got >= 1) style->edgeColour = ToColour(v[0]);
                if (got >= 2) style->edgeSize = int32_t(v[1]);
            }
            style->flags |= bit;
            ClampTextEffects(style);
        }
    } else {
        if (c.AtEnd() && !key.empty()) return ERR_SQBRACKETCLOSE;
        return ERR_UNKTEXTFMT;
    }
    *consumed = size_t(c.p - text);
    return 0;
}
