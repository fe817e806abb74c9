// Conversion between ISO-8859-1 and UTF-8.
#include <cstdlib>
#include <cstring>

#include "engine/charset/charset.h"
#include "engine/charset/charset_internal.h"

using cx::charset::IsContinuation;

extern "C" void Latin1ToUtf8(const char *source, char *destination) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(source);
    unsigned char *d = reinterpret_cast<unsigned char *>(destination);
    for (; *s; ++s) {
        if (*s < 0x80) {
            *d++ = *s;
        } else if (*s < 0xC0) {
            *d++ = 0xC2;
            *d++ = *s;
        } else {
            *d++ = 0xC3;
            *d++ = static_cast<unsigned char>(*s - 0x40);
        }
    }
    *d = 0;
}

extern "C" char *Latin1ToUtf8Alloc(const char *source) {
    size_t size = 1;
    for (const unsigned char *s = reinterpret_cast<const unsigned char *>(source); *s; ++s) size += *s < 0x80 ? 1 : 2;
    char *out = static_cast<char *>(std::malloc(size));
    if (out) Latin1ToUtf8(source, out);
    return out;
}

extern "C" void Utf8ToLatin1Tracked(const char *source, char *destination, ptrdiff_t byteCount,
                                    const char **position) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(source);
    const unsigned char *end = s + (byteCount > 0 ? byteCount : 0);
    unsigned char *d = reinterpret_cast<unsigned char *>(destination);
    // The position is replaced once; afterwards it points into the
    // destination and must not be matched against the source again.
    bool tracking = position != nullptr;
    auto track = [&] {
        if (tracking && *position == reinterpret_cast<const char *>(s)) {
            *position = reinterpret_cast<const char *>(d);
            tracking = false;
        }
    };
    while (s < end) {
        track();
        if (*s < 0x80) {
            *d++ = *s++;
        } else if ((*s == 0xC2 || *s == 0xC3) && end - s > 1 && IsContinuation(s[1])) {
            *d++ = static_cast<unsigned char>(*s == 0xC2 ? s[1] : s[1] + 0x40);
            s += 2;
        } else {
            *d++ = '?';
            ++s;
            for (int n = 0; n < 5 && s < end && IsContinuation(*s); ++n) ++s;
        }
    }
    track();  // a position at the end of the source maps to the end of the result
    *d = 0;
}

extern "C" char *Utf8ToLatin1TrackedAlloc(const char *source, const char **position) {
    const size_t length = std::strlen(source);
    char *out = static_cast<char *>(std::malloc(length + 1));
    if (out) Utf8ToLatin1Tracked(source, out, static_cast<ptrdiff_t>(length), position);
    return out;
}

extern "C" void Utf8ToLatin1N(const char *source, char *destination, ptrdiff_t byteCount) {
    Utf8ToLatin1Tracked(source, destination, byteCount, nullptr);
}

extern "C" void Utf8ToLatin1(const char *source, char *destination) {
    Utf8ToLatin1Tracked(source, destination, static_cast<ptrdiff_t>(std::strlen(source)), nullptr);
}

extern "C" char *Utf8ToLatin1Alloc(const char *source) { return Utf8ToLatin1TrackedAlloc(source, nullptr); }

extern "C" char *ConvertEncodingAlloc(const char *text, int fromEncoding, int toEncoding) {
    if (fromEncoding == ENCODING_ISO8859_1 && toEncoding == ENCODING_UTF8) return Latin1ToUtf8Alloc(text);
    if (fromEncoding == ENCODING_UTF8 && toEncoding == ENCODING_ISO8859_1) return Utf8ToLatin1Alloc(text);
    return nullptr;
}
