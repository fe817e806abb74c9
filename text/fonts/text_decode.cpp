// Text to code points for the TrueType engine. UTF-8 is decoded by the
// lead byte's count of leading ones; anything that does not decode makes
// the whole text fall back to its bytes.
#include <cstdlib>

#include "errors/error_codes.h"
#include "text/fonts/font.h"

extern "C" int DecodeTextCodePoints(const char *text, size_t length, int utf8, uint32_t *buffer, size_t bufferCount,
                                    uint32_t **out, size_t *count, int *allocated) {
    *allocated = 0;
    *count = 0;
    if (!utf8) return ERR_USERABORT;
    const auto *p = reinterpret_cast<const uint8_t *>(text);
    // Never more code points than bytes.
    uint32_t *cp = buffer;
    if (length > bufferCount || !buffer) {
        cp = static_cast<uint32_t *>(malloc((length ? length : 1) * sizeof(uint32_t)));
        if (!cp) return ERR_MEM;
    }
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        const uint32_t lead = p[i];
        int ones = 0;
        while (ones < 8 && (lead & (0x80u >> ones))) ++ones;
        if (ones == 0) {
            cp[n++] = lead;
            ++i;
            continue;
        }
        if (ones < 2 || ones > 5 || length - i < size_t(ones)) {
            if (cp != buffer) free(cp);
            return ERR_USERABORT;
        }
        uint32_t c = lead & (0x7Fu >> ones);
        for (int k = 1; k < ones; ++k) {
            const uint32_t b = p[i + k];
            if (!(b & 0x80u)) {
                if (cp != buffer) free(cp);
                return ERR_USERABORT;
            }
            c = c << 6 | (b & 0x3Fu);
        }
        cp[n++] = c;
        i += size_t(ones);
    }
    *out = cp;
    *count = n;
    *allocated = cp != buffer;
    return 0;
}
