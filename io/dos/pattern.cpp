// Wildcard patterns: "*" any run, "?" any one character, "#" one digit,
// "[...]" a set (ranges, "!" inverts), everything else itself.
//
// Every element but "*" matches exactly one character, so on a mismatch it
// is enough to let the last "*" take one more character: the match runs in
// time proportional to name length x pattern length, whatever the pattern.
#include <cstring>

#include "io/dos/dos.h"

namespace {

// Matches one character against the element at p (not "*"); *next receives
// the element's end.
bool MatchOne(const char *p, const char *end, unsigned char c, const char **next) {
    switch (*p) {
    case '?':
        *next = p + 1;
        return true;
    case '#':
        *next = p + 1;
        return c >= '0' && c <= '9';
    case '[': {
        const char *q = p + 1;
        bool invert = false;
        if (q < end && *q == '!') {
            invert = true;
            q++;
        }
        const char *close = static_cast<const char *>(memchr(q, ']', static_cast<size_t>(end - q)));
        if (!close) break;  // no end: the bracket stands for itself
        bool hit = false;
        for (const char *s = q; s < close; s++) {
            const auto lo = static_cast<unsigned char>(*s);
            if (s + 2 < close && s[1] == '-' && lo < static_cast<unsigned char>(s[2])) {
                if (c >= lo && c <= static_cast<unsigned char>(s[2])) hit = true;
                s += 2;
            } else if (c == lo) {
                hit = true;
            }
        }
        *next = close + 1;
        return hit != invert;
    }
    default:
        break;
    }
    *next = p + 1;
    return static_cast<unsigned char>(*p) == c;
}

}  // namespace

extern "C" int MatchWildcard(const char *pattern, size_t patternLength, const char *name) {
    const char *p = pattern, *end = pattern + patternLength;
    const char *n = name;
    const char *starP = nullptr, *starN = nullptr;
    while (*n) {
        if (p < end && *p == '*') {
            // Runs of "*" fold into one.
            while (p < end && *p == '*') p++;
            starP = p;
            starN = n;
            continue;
        }
        const char *next;
        if (p < end && MatchOne(p, end, static_cast<unsigned char>(*n), &next)) {
            p = next;
            n++;
            continue;
        }
        if (!starP) return 0;
        p = starP;
        n = ++starN;
    }
    while (p < end && *p == '*') p++;
    return p == end ? 1 : 0;
}

extern "C" int MatchPatternList(const char *list, const char *name) {
    if (!list || !name || !*list) return 0;
    for (const char *p = list;;) {
        const char *semi = strchr(p, ';');
        const size_t len = semi ? static_cast<size_t>(semi - p) : strlen(p);
        if (MatchWildcard(p, len, name)) return 1;
        if (!semi) return 0;
        p = semi + 1;
    }
}
