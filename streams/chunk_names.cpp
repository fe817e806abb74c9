#include "streams/chunk_names.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char kChunkPrefix[] = ":::chunk";

// Reads a decimal number of at most 32 bits; false on no digits or overflow.
bool ReadU32(const char *&p, uint32_t *out) {
    if (!isdigit(static_cast<unsigned char>(*p))) return false;
    uint64_t v = 0;
    while (isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX) return false;
        p++;
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

bool CopyPart(char *dst, size_t size, const char *src, size_t n) {
    if (n >= size) return false;
    memcpy(dst, src, n);
    dst[n] = 0;
    return true;
}

char Fold(char c) {
    if (c == '\\') return '/';
    return static_cast<char>(tolower(static_cast<unsigned char>(c)));
}

bool SameLinkedName(const char *a, const char *b) {
    for (; *a && *b; a++, b++) {
        if (Fold(*a) != Fold(*b)) return false;
    }
    return *a == *b;
}

const cxLinkedFile *FindLinked(const cxLinkedFile *list, const char *name) {
    for (; list; list = list->next) {
        if (list->name && SameLinkedName(list->name, name)) return list;
    }
    return nullptr;
}

}  // namespace

extern "C" {

int IsChunkName(const char *name) {
    return name && strncmp(name, kChunkPrefix, sizeof kChunkPrefix - 1) == 0;
}

int ParseChunkName(const char *name, cxChunkName *out) {
    if (!IsChunkName(name) || !out) return 0;
    memset(out, 0, sizeof *out);
    const char *p = name + sizeof kChunkPrefix - 1;
    if (*p == 'S') {
        out->memory = 1;
        p++;
        bool negative = *p == '-';
        if (negative) p++;
        uint32_t ref;
        if (!ReadU32(p, &ref) || ref > (negative ? 0x80000000u : 0x7fffffffu)) return 0;
        out->reference = negative ? static_cast<int32_t>(-static_cast<int64_t>(ref)) : static_cast<int32_t>(ref);
    } else if (!ReadU32(p, &out->offset)) {
        return 0;
    }
    if (*p++ != ':') return 0;
    if (!ReadU32(p, &out->length)) return 0;
    if (*p++ != '*') return 0;
    const char *q = strchr(p, '?');
    if (!q) return 0;
    if (!CopyPart(out->display, sizeof out->display, p, static_cast<size_t>(q - p))) return 0;
    if (!CopyPart(out->source, sizeof out->source, q + 1, strlen(q + 1))) return 0;

    const char *file = out->display;
    for (const char *s = out->display; *s; s++) {
        if (*s == '/' || *s == '\\' || *s == ':') file = s + 1;
    }
    const char *dot = strrchr(file, '.');
    if (dot && !CopyPart(out->extension, sizeof out->extension, dot + 1, strlen(dot + 1))) return 0;
    return 1;
}

int MakeChunkName(const char *display, char *out, size_t size, int64_t offset, uint32_t length,
                  int64_t baseOrReference, const char *source) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (!display) display = "";
    if (!source) source = "";
    if (strchr(display, '?')) return 0;
    int n;
    if (offset >= 0) {
        if (baseOrReference < 0) return 0;
        uint64_t at = static_cast<uint64_t>(baseOrReference) + static_cast<uint64_t>(offset);
        if (at > UINT32_MAX || at < static_cast<uint64_t>(offset)) return 0;
        n = snprintf(out, size, "%s%" PRIu64 ":%" PRIu32 "*%s?%s", kChunkPrefix, at, length, display, source);
    } else {
        if (baseOrReference < INT32_MIN || baseOrReference > INT32_MAX) return 0;
        n = snprintf(out, size, "%sS%" PRId64 ":%" PRIu32 "*%s?%s", kChunkPrefix, baseOrReference, length,
                     display, source);
    }
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

const char *ResolveLinkedFileName(const cxApplet *applet, const char *name, int font, int *isFont, char *out,
                                  size_t size) {
    if (isFont) *isFont = 0;
    if (!applet || !name || !*name || !out) return name;
    const cxLinkedFile *hit = FindLinked(applet->files, name);
    bool fromFonts = false;
    if (!hit && font) {
        hit = FindLinked(applet->fonts, name);
        fromFonts = hit != nullptr;
    }
    if (!hit || hit->offset > static_cast<uint64_t>(INT64_MAX)) return name;
    if (!MakeChunkName(hit->name, out, size, static_cast<int64_t>(hit->offset), hit->length,
                       static_cast<int64_t>(applet->base), applet->path)) {
        return name;
    }
    if (isFont && fromFonts) *isFont = 1;
    return out;
}

const char *ResolveFileNameArg(const cxApplet *applet, const char *name, char *out, size_t size) {
    if (!name || strncmp(name, ":::", 3) == 0) return name;
    return ResolveLinkedFileName(applet, name, 0, nullptr, out, size);
}

}  // extern "C"
