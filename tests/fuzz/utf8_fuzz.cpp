// The UTF-8 walkers over arbitrary bytes: forward and backward steps stay
// inside the text and agree on the count of characters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *begin = text.data(), *end = begin + text.size();
    size_t forward = 0;
    for (const char *p = begin; p < end; forward++) {
        uint32_t c = 0;
        Utf8DecodeChar(p, end, &c);
        Utf8DecodeCharBounded(p, end, &c);
        const char *next = Utf8SkipChar(p, end);
        if (next <= p || next > end) abort();
        p = next;
    }
    size_t backward = 0;
    for (const char *p = end; p > begin; backward++) {
        const char *prev = Utf8PrevChar(begin, p);
        if (prev >= p || prev < begin) abort();
        p = prev;
    }
    size_t count = 0;
    const int valid = ValidateUtf8(begin, text.size(), &count);
    int invalid = 0;
    Utf8LenChecked(begin, text.size(), &invalid);
    if (valid && invalid) abort();
    std::string lower(begin, strnlen(begin, text.size()));
    Utf8LowerCaseInPlace(lower.data());
    Utf8UpperCaseInPlace(lower.data());
    (void)backward;
    return 0;
}
