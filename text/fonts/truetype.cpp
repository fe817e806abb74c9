// The TrueType engine's faces: FreeType's start, opening a face from a
// file, an applet window or a built-in face, sizing it, transforms and
// closing.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/charset/charset.h"
#include "errors/error_codes.h"
#include "streams/chunk_names.h"
#include "text/fonts/font_catalogue.h"
#include "text/fonts/truetype_engine.h"

namespace {

FT_Library g_library = nullptr;

// The block of the face holding offset, read on a miss into the least
// recently used slot; null when the file cannot be read there.
const uint8_t *FaceBlock(cxTrueTypeFont *e, uint64_t offset, uint32_t *length, uint64_t *start) {
    cxFaceBlocks &b = e->blocks;
    const uint64_t first = offset >> CX_FACE_BLOCK_BITS << CX_FACE_BLOCK_BITS;
    int slot = 0;
    for (int i = 0; i < CX_FACE_BLOCKS; ++i) {
        if (b.data[i] && b.start[i] == first) {
            b.used[i] = ++b.clock;
            *length = b.length[i];
            *start = first;
            return b.data[i];
        }
        if (b.used[i] < b.used[slot]) slot = i;
    }
    if (!b.data[slot] && !(b.data[slot] = static_cast<uint8_t *>(malloc(size_t(1) << CX_FACE_BLOCK_BITS))))
        return nullptr;
    const uint64_t want = std::min<uint64_t>(uint64_t(1) << CX_FACE_BLOCK_BITS, e->faceLength - first);
    if (SeekFileStream(e->file, int64_t(e->faceOffset + first), CX_SEEK_BEGINNING) < 0) return nullptr;
    b.length[slot] = uint32_t(ReadStreamData(e->file, b.data[slot], size_t(want)));
    b.start[slot] = first;
    b.used[slot] = ++b.clock;
    *length = b.length[slot];
    *start = first;
    return b.data[slot];
}

unsigned long ReadFaceData(FT_Stream stream, unsigned long offset, unsigned char *buffer, unsigned long count) {
    auto *e = static_cast<cxTrueTypeFont *>(stream->descriptor.pointer);
    // Count 0 only moves: FreeType wants 0 for success.
    if (count == 0) return offset <= e->faceLength ? 0 : 1;
    unsigned long done = 0;
    while (done < count && offset + done < e->faceLength) {
        uint32_t length;
        uint64_t start;
        const uint8_t *block = FaceBlock(e, offset + done, &length, &start);
        const uint64_t in = offset + done - start;
        if (!block || in >= length) break;
        const unsigned long n = (unsigned long)std::min<uint64_t>(length - in, count - done);
        memcpy(buffer + done, block + in, n);
        done += n;
    }
    return done;
}

bool EndsWithNoCase(const char *name, const char *suffix) {
    const size_t n = strlen(name), m = strlen(suffix);
    return n >= m && Latin1CompareNoCase(name + n - m, suffix) == 0;
}

// Pixel mode: the face is sized so that the tallest and the deepest of its
// Latin-1 glyphs together span the size asked for.
bool SetPixelSize(cxTrueTypeFont *e, int32_t size) {
    FT_Face f = e->face;
    e->xRes = e->yRes = 72;
    if (FT_Set_Char_Size(f, 100 * 64, 0, 72, 72)) return false;
    int32_t ascent = 0, descent = 0;
    for (FT_ULong c = 33; c <= 255; ++c) {
        const FT_UInt g = FT_Get_Char_Index(f, c);
        if (!g || FT_Load_Glyph(f, g, FT_LOAD_NO_AUTOHINT) || FT_Render_Glyph(f->glyph, FT_RENDER_MODE_NORMAL))
            continue;
        ascent = std::max<int32_t>(ascent, f->glyph->bitmap_top);
        descent = std::max<int32_t>(descent, int32_t(f->glyph->bitmap.rows) - f->glyph->bitmap_top);
    }
    if (ascent + descent <= 0) return false;
    const int32_t pixels = 100 * size / (ascent + descent);
    e->faceSize = std::max<int32_t>(1, pixels - 1);
    return FT_Set_Pixel_Sizes(f, 0, FT_UInt(e->faceSize)) == 0;
}

bool SetPointSize(cxTrueTypeFont *e, int32_t size, cxOsFont *font) {
    FT_Face f = e->face;
    e->xRes = e->yRes = 72; // the platform's font resolution on Linux
    e->faceSize = size;
    if (FT_Set_Char_Size(f, FT_F26Dot6(size) * 64, 0, e->xRes, e->yRes)) return false;
    font->height = int32_t((FT_MulFix(f->height, f->size->metrics.y_scale) + 32) / 64);
    font->baseline = int32_t((FT_MulFix(f->ascender, f->size->metrics.y_scale) + 32) / 64);
    return true;
}

} // namespace

extern "C" {

FT_Library TrueTypeLibrary(void) { return g_library; }
cxFTLibrary GetFreeTypeLibrary(void) { return g_library; }

int StartFreeType(void) {
    if (g_library) return 0;
    return FT_Init_FreeType(&g_library) ? (g_library = nullptr, ERR_FT2) : 0;
}

void StopFreeType(void) {
    if (g_library) FT_Done_FreeType(g_library);
    g_library = nullptr;
}

int32_t MeasureBaseline(cxTrueTypeFont *e, int32_t height) {
    int32_t top = 0, depth = 0;
    bool any = false;
    for (FT_ULong c : {0x41ul, 0xC0ul, 0xC4ul, 0x71ul}) {
        const FT_UInt g = FT_Get_Char_Index(e->face, c);
        if (!g || FT_Load_Glyph(e->face, g, FT_LOAD_NO_AUTOHINT) ||
            FT_Render_Glyph(e->face->glyph, FT_RENDER_MODE_NORMAL))
            continue;
        const int32_t t = e->face->glyph->bitmap_top, d = int32_t(e->face->glyph->bitmap.rows) - t;
        top = any ? std::max(top, t) : t;
        depth = any ? std::max(depth, d) : d;
        any = true;
    }
    return any ? (top + height + 1 - depth) / 2 : height * 3 / 4;
}

int OpenFontByName(const char *name, int32_t size, int glyphCache, cxOsFont *font) {
    if (!g_library) return 0;
    auto *e = static_cast<cxTrueTypeFont *>(calloc(1, sizeof(cxTrueTypeFont)));
    if (!e) return 0;
    const uint8_t *data;
    size_t dataSize;
    FT_Error err;
    if (FindBuiltInFace(name, &data, &dataSize)) {
        err = FT_New_Memory_Face(g_library, data, FT_Long(dataSize), 0, &e->face);
    } else {
        const char *path = name;
        char found[sizeof e->tempPath];
        uint32_t offset = 0, length = 0;
        int temporary = 0;
        if (!IsChunkName(name) && !EndsWithNoCase(name, ".ttf") && !EndsWithNoCase(name, ".otf")) {
            path = FindAvailableFont(name, -1, -1, 0, &offset, &length, &temporary, found, sizeof found);
            if (!path) {
                free(e);
                return 0;
            }
            if (temporary) {
                e->temporary = 1;
                strcpy(e->tempPath, found);
            }
        }
        e->file = OpenFileStream(path, CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr);
        if (!e->file) {
            CloseTrueTypeFont(e);
            return 0;
        }
        e->faceOffset = offset;
        e->faceLength = length ? length : GetStreamSize(e->file);
        if (e->faceLength == CX_STREAM_SIZE_UNKNOWN || e->faceLength > 0x7FFFFFFFu) {
            CloseTrueTypeFont(e);
            return 0;
        }
        e->stream.size = (unsigned long)e->faceLength;
        e->stream.descriptor.pointer = e;
        if (e->faceLength <= CX_FACE_WHOLE_MAX) {
            e->faceData = static_cast<uint8_t *>(malloc(size_t(e->faceLength) + 1));
            if (!e->faceData || SeekFileStream(e->file, int64_t(offset), CX_SEEK_BEGINNING) < 0 ||
                ReadStreamData(e->file, e->faceData, size_t(e->faceLength)) != e->faceLength) {
                CloseTrueTypeFont(e);
                return 0;
            }
            e->stream.base = e->faceData; // no read function: FreeType reads the memory
            CloseFileStream(e->file);
            e->file = nullptr;
        } else {
            e->stream.read = ReadFaceData;
        }
        FT_Open_Args args{};
        args.flags = FT_OPEN_STREAM;
        args.stream = &e->stream;
        err = FT_Open_Face(g_library, &args, 0, &e->face);
    }
    if (err) {
        e->face = nullptr;
        CloseTrueTypeFont(e);
        return 0;
    }
    bool sized = !font->usePoints && SetPixelSize(e, size);
    if (sized) {
        font->height = size;
        font->baseline = MeasureBaseline(e, size);
    } else {
        sized = SetPointSize(e, size, font);
    }
    if (!sized) {
        CloseTrueTypeFont(e);
        return 0;
    }
    font->kind = CX_FONT_TRUETYPE;
    font->size = size;
    font->designHeight = font->height;
    font->designBaseline = font->baseline;
    font->engineData = e;
    font->outline = 1;
    font->transformable = 1;
    e->glyphCache = glyphCache ? 1 : 0;
    const char *family = e->face->family_name ? e->face->family_name : "";
    const char *style = e->face->style_name ? e->face->style_name : "";
    if (style[0] && !IsRegularStyleName(style)) snprintf(font->name, sizeof font->name, "%s %s", family, style);
    else snprintf(font->name, sizeof font->name, "%s", family);
    return 1;
}

void SetTrueTypeTransform(cxOsFont *font, double scaleX, double scaleY) {
    auto *e = static_cast<cxTrueTypeFont *>(font->engineData);
    FlushGlyphCaches(e);
    FT_Matrix m{FT_Fixed(scaleX * 65536.0), 0, 0, FT_Fixed(scaleY * 65536.0)};
    FT_Set_Transform(e->face, &m, nullptr);
    font->baseline = MeasureBaseline(e, font->height);
}

void CloseTrueTypeFont(cxTrueTypeFont *e) {
    if (!e) return;
    FlushGlyphCaches(e);
    for (uint8_t *block : e->blocks.data) free(block);
    if (e->face) FT_Done_Face(e->face);
    if (e->file) CloseFileStream(e->file);
    free(e->faceData);
    if (e->temporary) unlink(e->tempPath);
    free(e);
}

cxFTFace GetFreeTypeFace(cxOsFont *font) {
    if (!font || font->kind != CX_FONT_TRUETYPE || !font->engineData) return nullptr;
    return static_cast<cxTrueTypeFont *>(font->engineData)->face;
}

} // extern "C"
