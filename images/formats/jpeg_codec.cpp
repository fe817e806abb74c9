// libjpeg reports fatal errors by calling error_exit, which must not return:
// ours long-jumps back to the function that set the recovery point. Those
// functions keep only trivially destructible locals, and what must be freed
// after a jump lives in records reached through pointers set before setjmp.
#include "images/formats/jpeg_codec.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <jerror.h>
#include <jpeglib.h>

#include "errors/error_codes.h"
#include "images/formats/image_limits.h"
#include "streams/stream.h"

namespace {

constexpr size_t kBufferSize = 4096;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr J_COLOR_SPACE kWordSpace = JCS_EXT_XRGB;  // 0xAARRGGBB words in memory
constexpr J_COLOR_SPACE kArgbBytesSpace = JCS_EXT_XRGB;
constexpr uint32_t kRgbMask = 0x00FFFFFFu;
#else
constexpr J_COLOR_SPACE kWordSpace = JCS_EXT_BGRX;
constexpr J_COLOR_SPACE kArgbBytesSpace = JCS_EXT_XRGB;
constexpr uint32_t kRgbMask = 0x00FFFFFFu;
#endif

// Clears the alpha byte the library fills in, four words at a time.
void ClearAlpha(uint32_t *p, int n) {
    typedef uint32_t Words __attribute__((vector_size(16)));
    const Words mask = {kRgbMask, kRgbMask, kRgbMask, kRgbMask};
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        Words v;
        memcpy(&v, p + x, sizeof v);
        v &= mask;
        memcpy(p + x, &v, sizeof v);
    }
    for (; x < n; x++) p[x] &= kRgbMask;
}

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void ErrorExit(j_common_ptr cinfo) {
    ErrorManager *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    longjmp(err->jump, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char *buffer) { buffer[0] = 0; }
void ResetErrorManager(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void InstallErrorManager(ErrorManager *err) {
    jpeg_std_error(&err->pub);
    err->pub.error_exit = ErrorExit;
    err->pub.emit_message = EmitMessage;
    err->pub.output_message = OutputMessage;
    err->pub.format_message = FormatMessage;
    err->pub.reset_error_mgr = ResetErrorManager;
}

// ---- source ----

struct SourceManager {
    jpeg_source_mgr pub;
    cxStream *stream;
    const uint8_t *memory;
    size_t position;
    size_t size;
    JOCTET buffer[kBufferSize];
    boolean startOfFile;
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<SourceManager *>(cinfo->src)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    SourceManager *src = reinterpret_cast<SourceManager *>(cinfo->src);
    size_t n = 0;
    if (src->stream) {
        n = ReadStreamData(src->stream, src->buffer, kBufferSize);
    } else {
        n = src->size - src->position;
        if (n > kBufferSize) n = kBufferSize;
        memcpy(src->buffer, src->memory + src->position, n);
        src->position += n;
    }
    if (n == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A truncated file: the library fills what is missing.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = FALSE;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count < 1) return;
    SourceManager *src = reinterpret_cast<SourceManager *>(cinfo->src);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= count;
}

void TermSource(j_decompress_ptr) {}

// Progressive files: refuse a CPU bomb of many tiny scans.
void LimitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > CX_JPEG_MAX_SCANS) ERREXIT(cinfo, JERR_NOTIMPL);
}

// Where source pixel (x, y) of a width x height picture lands in the turned
// output, as a start and steps along x (per source pixel) and y (per row).
struct Placement {
    ptrdiff_t start;
    ptrdiff_t stepX;
    ptrdiff_t stepY;
};

Placement PlaceOrientation(int orientation, ptrdiff_t w, ptrdiff_t h) {
    switch (orientation) {
    case 2: return {w - 1, -1, w};
    case 3: return {w * h - 1, -1, -w};
    case 4: return {(h - 1) * w, 1, -w};
    case 5: return {0, h, 1};                  // transpose: output is h wide
    case 6: return {h - 1, h, -1};             // 90 degrees clockwise
    case 7: return {(w - 1) * h + h - 1, -h, -1};  // transverse
    case 8: return {(w - 1) * h, -h, 1};       // 90 degrees anticlockwise
    default: return {0, 1, w};
    }
}

struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    uint32_t *pixels;  // the result, freed after a jump
    uint8_t *rows;     // scratch rows, freed after a jump
};

void ConvertCmykRow(const uint8_t *in, uint32_t *out, int width, bool inverted) {
    for (int x = 0; x < width; x++, in += 4) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const unsigned r = (255 - c) * (255 - k) / 255;
        const unsigned g = (255 - m) * (255 - k) / 255;
        const unsigned b = (255 - y) * (255 - k) / 255;
        out[x] = (r << 16) | (g << 8) | b;
    }
}

bool IsAdobeInverted(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 14 && m->data_length > 11 && memcmp(m->data, "Adobe", 5) == 0) return true;
    return false;
}

// The decode proper. Only trivially destructible locals: a long jump may
// leave it from any library call.
int Decode(DecodeState *st, SourceManager *src, int headerOnly, int orientation, int *width, int *height) {
    j_decompress_ptr cinfo = &st->cinfo;
    if (setjmp(st->err.jump)) return ERR_LOADPICTURE2;

    jpeg_create_decompress(cinfo);
    cinfo->src = &src->pub;
    cinfo->progress = &st->progress;
    jpeg_save_markers(cinfo, JPEG_APP0 + 14, 256);
    jpeg_read_header(cinfo, TRUE);

    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : kWordSpace;
    const int turn = (cmyk || orientation < 1 || orientation > 8) ? 1 : orientation;

    const int w = static_cast<int>(cinfo->image_width);
    const int h = static_cast<int>(cinfo->image_height);
    if (!IsImageSizeAllowed(w, h)) return ERR_LOADPICTURE2;
    const bool turned = turn > 4;
    *width = turned ? h : w;
    *height = turned ? w : h;
    if (headerOnly) return 0;

    jpeg_start_decompress(cinfo);
    const bool inverted = cmyk && IsAdobeInverted(cinfo);
    if (cinfo->output_components != 4 || static_cast<int>(cinfo->output_width) != w ||
        static_cast<int>(cinfo->output_height) != h)
        return ERR_LOADPICTURE2;

    st->pixels = static_cast<uint32_t *>(malloc(static_cast<size_t>(w) * h * 4));
    if (!st->pixels) return ERR_MEM;

    if (turn <= 4 && !cmyk) {
        // Straight into the row where it belongs; mirrored rows are reversed
        // in place.
        const bool flipRows = turn == 3 || turn == 4;
        const bool mirror = turn == 2 || turn == 3;
        auto rowAt = [&](int y) { return st->pixels + static_cast<size_t>(flipRows ? h - 1 - y : y) * w; };
        while (cinfo->output_scanline < cinfo->output_height) {
            // Several rows per call, as the library likes them.
            const int y0 = static_cast<int>(cinfo->output_scanline);
            JSAMPROW rows[16];
            const int want = h - y0 < 16 ? h - y0 : 16;
            for (int i = 0; i < want; i++) rows[i] = reinterpret_cast<JSAMPROW>(rowAt(y0 + i));
            const int got = static_cast<int>(jpeg_read_scanlines(cinfo, rows, want));
            for (int i = 0; i < got; i++) {
                uint32_t *p = rowAt(y0 + i);
                if (mirror) std::reverse(p, p + w);
                ClearAlpha(p, w);
            }
        }
    } else {
        // Through a band of rows, then placed where the orientation puts them.
        // Tall bands whose rows are padded off a 4 KiB stride (rows of a
        // power-of-two width would all fall into one cache set), placed in
        // tiles of 16 columns.
        constexpr int kBand = 64, kTile = 16;
        const size_t stride = static_cast<size_t>(w) + 16;
        st->rows = static_cast<uint8_t *>(malloc(stride * 4 * kBand));
        if (!st->rows) return ERR_MEM;
        const Placement place = PlaceOrientation(turn, w, h);
        while (cinfo->output_scanline < cinfo->output_height) {
            const int y0 = static_cast<int>(cinfo->output_scanline);
            int n = 0;
            while (n < kBand && cinfo->output_scanline < cinfo->output_height) {
                JSAMPROW rows[kBand];
                for (int i = n; i < kBand; i++) rows[i - n] = st->rows + static_cast<size_t>(i) * stride * 4;
                n += static_cast<int>(jpeg_read_scanlines(cinfo, rows, kBand - n));
            }
            if (cmyk) {
                for (int i = 0; i < n; i++)
                    ConvertCmykRow(st->rows + static_cast<size_t>(i) * stride * 4,
                                   st->pixels + static_cast<size_t>(y0 + i) * w, w, inverted);
                continue;
            }
            const uint32_t *band = reinterpret_cast<const uint32_t *>(st->rows);
            for (int x0 = 0; x0 < w; x0 += kTile) {
                const int x1 = x0 + kTile < w ? x0 + kTile : w;
                for (int x = x0; x < x1; x++) {
                    ptrdiff_t at = place.start + place.stepX * x + place.stepY * y0;
                    for (int i = 0; i < n; i++, at += place.stepY) st->pixels[at] = band[static_cast<size_t>(i) * stride + x] & kRgbMask;
                }
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return 0;
}

// ---- destination ----

struct Output {
    uint8_t *data;
    size_t capacity;
    size_t used;
};

struct DestinationManager {
    jpeg_destination_mgr pub;
    Output *out;
    JOCTET *buffer;
};

void Append(j_compress_ptr cinfo, const JOCTET *bytes, size_t n) {
    Output *out = reinterpret_cast<DestinationManager *>(cinfo->dest)->out;
    if (out->used + n > out->capacity) {
        size_t cap = out->capacity ? out->capacity : kBufferSize;
        while (cap < out->used + n) cap *= 2;
        uint8_t *grown = static_cast<uint8_t *>(realloc(out->data, cap));
        if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        out->data = grown;
        out->capacity = cap;
    }
    memcpy(out->data + out->used, bytes, n);
    out->used += n;
}

void InitDestination(j_compress_ptr cinfo) {
    DestinationManager *dest = reinterpret_cast<DestinationManager *>(cinfo->dest);
    dest->buffer = static_cast<JOCTET *>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kBufferSize));
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    DestinationManager *dest = reinterpret_cast<DestinationManager *>(cinfo->dest);
    Append(cinfo, dest->buffer, kBufferSize);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    DestinationManager *dest = reinterpret_cast<DestinationManager *>(cinfo->dest);
    Append(cinfo, dest->buffer, kBufferSize - dest->pub.free_in_buffer);
}

struct EncodeState {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    DestinationManager dest;
    Output out;
};

int Encode(EncodeState *st, const cxJpegWriteRequest *req) {
    j_compress_ptr cinfo = &st->cinfo;
    if (setjmp(st->err.jump)) return ERR_MEM;
    jpeg_create_compress(cinfo);
    st->dest.pub.init_destination = InitDestination;
    st->dest.pub.empty_output_buffer = EmptyOutputBuffer;
    st->dest.pub.term_destination = TermDestination;
    st->dest.out = &st->out;
    cinfo->dest = &st->dest.pub;
    cinfo->image_width = static_cast<JDIMENSION>(req->width);
    cinfo->image_height = static_cast<JDIMENSION>(req->height);
    // The pixels are read in place: 0xAARRGGBB words, or A, R, G, B bytes.
    cinfo->input_components = 4;
    cinfo->in_color_space = req->byteOrder ? kArgbBytesSpace : kWordSpace;
    jpeg_set_defaults(cinfo);
    int quality = req->quality < 0 ? 0 : req->quality > 100 ? 100 : req->quality;
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const uint8_t *row = static_cast<const uint8_t *>(req->pixels);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW r = const_cast<JSAMPROW>(row);
        jpeg_write_scanlines(cinfo, &r, 1);
        row += req->bytesPerRow;
    }
    jpeg_finish_compress(cinfo);
    return 0;
}

}  // namespace

extern "C" int ReadJpegImage(const void *source, size_t memorySize, int headerOnly, int orientation, int *width,
                             int *height, uint32_t **pixels) {
    if (pixels) *pixels = nullptr;
    if (!source) return ERR_LOADPICTURE2;
    DecodeState *st = static_cast<DecodeState *>(calloc(1, sizeof(DecodeState)));
    SourceManager *src = static_cast<SourceManager *>(calloc(1, sizeof(SourceManager)));
    if (!st || !src) {
        free(st);
        free(src);
        return ERR_MEM;
    }
    if (memorySize) {
        src->memory = static_cast<const uint8_t *>(source);
        src->size = memorySize;
    } else {
        src->stream = static_cast<cxStream *>(const_cast<void *>(source));
    }
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    InstallErrorManager(&st->err);
    st->cinfo.err = &st->err.pub;
    st->progress.progress_monitor = LimitScans;

    int w = 0, h = 0;
    int err = Decode(st, src, headerOnly || !pixels, orientation, &w, &h);
    jpeg_destroy_decompress(&st->cinfo);
    free(st->rows);
    if (err == 0) {
        if (width) *width = w;
        if (height) *height = h;
        if (pixels) *pixels = st->pixels;
        else free(st->pixels);
    } else {
        free(st->pixels);
    }
    free(st);
    free(src);
    return err;
}

extern "C" void WriteJpegImage(cxJpegWriteRequest *req) {
    req->encoded = nullptr;
    req->data = nullptr;
    req->size = 0;
    req->error = ERR_MEM;
    if (!req->pixels || req->width < 1 || req->height < 1) return;
    EncodeState *st = static_cast<EncodeState *>(calloc(1, sizeof(EncodeState)));
    cxEncodedBuffer *record = static_cast<cxEncodedBuffer *>(calloc(1, sizeof(cxEncodedBuffer)));
    if (!st || !record) {
        free(st);
        free(record);
        return;
    }
    // Room for the usual stream from the start; Append grows it when needed.
    st->out.capacity = static_cast<size_t>(req->width) * req->height * 3;
    if (st->out.capacity < kBufferSize) st->out.capacity = kBufferSize;
    st->out.data = static_cast<uint8_t *>(malloc(st->out.capacity));
    if (!st->out.data) st->out.capacity = 0;
    InstallErrorManager(&st->err);
    st->cinfo.err = &st->err.pub;
    int err = st->out.data ? Encode(st, req) : ERR_MEM;
    jpeg_destroy_compress(&st->cinfo);
    if (err) {
        free(st->out.data);
        free(record);
    } else {
        record->data = st->out.data;
        record->size = st->out.used;
        req->encoded = record;
        req->data = record->data;
        req->size = record->size;
        req->error = 0;
    }
    free(st);
}

extern "C" void FreeEncodedBuffer(cxEncodedBuffer *buffer) {
    if (!buffer) return;
    free(buffer->data);
    free(buffer);
}
