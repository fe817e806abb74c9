// The wildcard matcher against a plain backtracking matcher on short
// inputs: "pattern list\nname". Long inputs only have to finish.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/dos/dos.h"

namespace {

// One element of a pattern at p: true and its end when c matches it.
bool One(const char *p, const char *end, unsigned char c, const char **next) {
    if (*p == '?') return *next = p + 1, true;
    if (*p == '#') return *next = p + 1, c >= '0' && c <= '9';
    if (*p == '[') {
        const char *q = p + 1;
        bool inv = q < end && *q == '!';
        if (inv) q++;
        const char *close = q;
        while (close < end && *close != ']') close++;
        if (close < end) {
            bool hit = false;
            for (const char *s = q; s < close; s++) {
                unsigned char lo = static_cast<unsigned char>(*s);
                if (s + 2 < close && s[1] == '-' && lo < static_cast<unsigned char>(s[2])) {
                    hit |= c >= lo && c <= static_cast<unsigned char>(s[2]);
                    s += 2;
                } else {
                    hit |= c == lo;
                }
            }
            *next = close + 1;
            return hit != inv;
        }
    }
    *next = p + 1;
    return static_cast<unsigned char>(*p) == c;
}

bool Slow(const char *p, const char *end, const char *n) {
    if (p == end) return !*n;
    if (*p == '*') {
        for (const char *k = n;; k++) {
            if (Slow(p + 1, end, k)) return true;
            if (!*k) return false;
        }
    }
    const char *next;
    return *n && One(p, end, static_cast<unsigned char>(*n), &next) && Slow(next, end, n + 1);
}

bool SlowList(const std::string &list, const char *name) {
    if (list.empty()) return false;
    size_t at = 0;
    for (;;) {
        size_t semi = list.find(';', at);
        std::string one = list.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
        if (Slow(one.data(), one.data() + one.size(), name)) return true;
        if (semi == std::string::npos) return false;
        at = semi + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    const size_t nl = text.find('\n');
    if (nl == std::string::npos) return 0;
    const std::string list = text.substr(0, nl), name = text.substr(nl + 1);
    const int fast = MatchPatternList(list.c_str(), name.c_str());
    size_t stars = 0;
    for (char c : list) stars += c == '*';
    if (list.size() <= 24 && name.size() <= 24 && stars <= 4 && fast != (SlowList(list, name.c_str()) ? 1 : 0)) abort();
    return 0;
}
