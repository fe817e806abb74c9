#include "engine/runtime/number_literal.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "errors/error_codes.h"

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits of the radix from p; the value grows as a double so that long
// literals lose precision instead of wrapping.
const char *ReadRadix(const char *p, int radix, double *value) {
    double v = 0;
    while (DigitValue(*p) < radix) {
        v = v * radix + DigitValue(*p);
        p++;
    }
    *value = v;
    return p;
}

}  // namespace

extern "C" double ParseNumberLiteral(const char *text, size_t *consumed, int *error) {
    if (consumed) *consumed = 0;
    if (error) *error = 0;
    auto fail = [&](int code) {
        if (error) *error = code;
        return 0.0;
    };
    if (!text) return fail(ERR_VALUEEXPECTED);
    const char *p = text;
    bool negative = *p == '-';
    if (negative) p++;

    int radix = 0;
    if (*p == '$') {
        radix = 16;
        p++;
    } else if (*p == '%') {
        radix = 2;
        p++;
    } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        radix = 16;
        p += 2;
    }

    double value;
    if (radix) {
        const char *end = ReadRadix(p, radix, &value);
        if (end == p) return fail(ERR_SYNTAXERROR);
        p = end;
    } else {
        const char *start = p;
        if (!IsDigit(*p)) return fail(ERR_VALUEEXPECTED);
        while (IsDigit(*p)) p++;
        if (*p == '.' && IsDigit(p[1])) {
            p++;
            while (IsDigit(*p)) p++;
        }
        if (*p == 'e' || *p == 'E') {
            const char *q = p + 1;
            if (*q == '+' || *q == '-') q++;
            if (IsDigit(*q)) {
                while (IsDigit(*q)) q++;
                p = q;
            }
        }
        // from_chars ignores the locale, which the platform may have set.
        auto res = std::from_chars(start, p, value, std::chars_format::general);
        if (res.ec == std::errc::result_out_of_range) {
            const char *e = static_cast<const char *>(memchr(start, 'e', static_cast<size_t>(p - start)));
            if (!e) e = static_cast<const char *>(memchr(start, 'E', static_cast<size_t>(p - start)));
            value = e && e[1] == '-' ? 0.0 : HUGE_VAL;
        } else if (res.ec != std::errc()) {
            return fail(ERR_VALUEEXPECTED);
        }
    }
    if (consumed) *consumed = static_cast<size_t>(p - text);
    return negative ? -value : value;
}
