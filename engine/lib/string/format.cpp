// FormatStr: printf-style formatting of script values. The format is
// parsed here and each conversion is handed to the C library with a
// conversion text built from checked parts only.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "engine/lib/string/string_internal.h"
#include "engine/runtime/runtime.h"

namespace cxstring {

namespace {

constexpr int kMaxWidth = 256;

// A number as a 64-bit integer, truncated toward zero: exact for every
// value that fits, saturated beyond, and 0 for NaN (a bare cast of these
// is undefined).
long long ToInt64Checked(double v) {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(v)) return 0;
    if (v >= kTwo63) return INT64_MAX;
    if (v < -kTwo63) return INT64_MIN;
    return static_cast<long long>(v);
}

// Appends a text padded to width ("-" pads on the right).
void Pad(std::string &out, const std::string &text, const std::string &flags, int width) {
    size_t w = width > 0 ? static_cast<size_t>(width) : 0;
    if (text.size() >= w) {
        out += text;
        return;
    }
    if (flags.find('-') != std::string::npos) {
        out += text;
        out.append(w - text.size(), ' ');
    } else {
        out.append(w - text.size(), ' ');
        out += text;
    }
}

} // namespace

// FormatStr(format, ...) -> string. Conversions: d i u o x X c e E f g G s
// and "%%", with the flags "-+ #0", a width and a precision (each at most
// 256).
int FormatStr(lua_State *L) {
    CheckArgCount(L, 1, 0, 0, 0);
    size_t flen;
    const char *f = luaL_checklstring(L, 1, &flen);
    const char *end = f + flen;
    int arg = 1;
    int top = lua_gettop(L);
    std::string out;
    for (const char *p = f; p < end; p++) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (++p >= end) return ERR_WRONGUSAGE;
        if (*p == '%') {
            out += '%';
            continue;
        }
        std::string flags;
        while (p < end && strchr("-+ #0", *p) && *p) flags += *p++;
        int width = -1, precision = -1;
        if (p < end && *p >= '0' && *p <= '9') {
            width = 0;
            while (p < end && *p >= '0' && *p <= '9') {
                width = width * 10 + (*p++ - '0');
                if (width > kMaxWidth) return ERR_WRONGUSAGE;
            }
        }
        if (p < end && *p == '.') {
            p++;
            precision = 0;
            while (p < end && *p >= '0' && *p <= '9') {
                precision = precision * 10 + (*p++ - '0');
                if (precision > kMaxWidth) return ERR_WRONGUSAGE;
            }
        }
        if (p >= end) return ERR_WRONGUSAGE;
        char conv = *p;
        if (!strchr("diuoxXceEfgGs", conv) || conv == 0) return ERR_WRONGUSAGE;
        if (++arg > top) return ERR_MISSINGPARAMTR;
        std::string conversion = "%" + flags;
        if (width >= 0) conversion += std::to_string(width);
        if (precision >= 0) conversion += "." + std::to_string(precision);
        char buf[kMaxWidth * 2 + 400];
        switch (conv) {
        case 'd':
        case 'i': {
            long long n = ToInt64Checked(luaL_checknumber(L, arg));
            snprintf(buf, sizeof buf, (conversion + "lld").c_str(), n);
            out += buf;
            break;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            unsigned n = static_cast<unsigned>(luaL_checkint(L, arg));
            snprintf(buf, sizeof buf, (conversion + conv).c_str(), n);
            out += buf;
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G': {
            double v = luaL_checknumber(L, arg);
            snprintf(buf, sizeof buf, (conversion + conv).c_str(), v);
            out += buf;
            break;
        }
        case 'c': {
            uint32_t code = static_cast<uint32_t>(luaL_checkint(L, arg));
            char ch[8] = {0};
            int n = 1;
            if (GetUtf8Mode() && code >= 0x80) {
                n = Utf8EncodeChar(ch, code);
                if (n == 0) return ERR_WRONGUSAGE;
            } else {
                if (code > 255) return ERR_WRONGUSAGE;
                ch[0] = static_cast<char>(code);
            }
            Pad(out, std::string(ch, static_cast<size_t>(n)), flags, width);
            break;
        }
        case 's': {
            size_t len;
            const char *s = luaL_checklstring(L, arg, &len);
            std::string text(s, len);
            if (precision >= 0 && static_cast<size_t>(precision) < text.size()) {
                size_t cut = static_cast<size_t>(precision);
                if (GetUtf8Mode()) {
                    // never split a UTF-8 character
                    const char *q = s;
                    for (;;) {
                        const char *next = Utf8SkipChar(q, s + len);
                        if (next == q || static_cast<size_t>(next - s) > cut) break;
                        q = next;
                    }
                    cut = static_cast<size_t>(q - s);
                }
                text.resize(cut);
            }
            Pad(out, text, flags, width);
            break;
        }
        }
    }
    lua_pushlstring(L, out.data(), out.size());
    return 1;
}

} // namespace cxstring
