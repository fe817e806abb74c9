#include "engine/runtime/base64.h"

#include <cstdint>
#include <cstring>

#include "errors/error_codes.h"

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string EncodeBase64(const void *data, size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    for (size_t i = 0; i < n; i += 3) {
        uint32_t v = uint32_t{p[i]} << 16;
        if (i + 1 < n) v |= uint32_t{p[i + 1]} << 8;
        if (i + 2 < n) v |= p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < n ? kAlphabet[v & 63] : '=';
    }
    return out;
}

int DecodeBase64(const char *s, size_t n, std::string &out) {
    uint32_t group = 0;
    int have = 0;
    for (size_t i = 0; i < n; i++) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 33) continue;
        if (c == '=') {
            // "=" in the third place ends with one byte ("=="), in the fourth
            // with two ("="); only blanks may follow the padding.
            int pads = 0;
            for (size_t j = i; j < n; j++) {
                const unsigned char t = static_cast<unsigned char>(s[j]);
                if (t == '=') pads++;
                else if (t >= 33) return ERR_BADBASE64;
            }
            if (have == 2 && pads == 2) {
                out += static_cast<char>(group >> 4);
            } else if (have == 3 && pads == 1) {
                out += static_cast<char>(group >> 10);
                out += static_cast<char>((group >> 2) & 0xFF);
            } else {
                return ERR_BADBASE64;
            }
            return 0;
        }
        const char *at = strchr(kAlphabet, c);
        if (!at) return ERR_BADBASE64;
        group = (group << 6) | static_cast<uint32_t>(at - kAlphabet);
        if (++have == 4) {
            out += static_cast<char>(group >> 16);
            out += static_cast<char>((group >> 8) & 0xFF);
            out += static_cast<char>(group & 0xFF);
            group = 0;
            have = 0;
        }
    }
    return have == 0 ? 0 : ERR_BADBASE64;
}
