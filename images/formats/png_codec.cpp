// libpng reports fatal errors through png_error, which long-jumps to the
// recovery point of the calling function. Those functions keep only
// trivially destructible locals; buffers to free after a jump sit in a
// record reached through a pointer set before setjmp.
#include "images/formats/png_codec.h"

#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include <png.h>

#include "errors/errors.h"
#include "images/formats/image_limits.h"

namespace {

// The most an ancillary chunk may bring (colour profiles are the largest
// of those read, a few hundred kilobytes at most).
constexpr png_alloc_size_t kChunkBytesMax = 8u << 20;

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

void ReadCallback(png_structp png, png_bytep data, size_t length) {
    cxStream *s = static_cast<cxStream *>(png_get_io_ptr(png));
    if (ReadStreamData(s, data, length) != length) png_error(png, "Read error!");
}

struct WriteTarget {
    cxStream *stream;
    int failed;
};

void WriteCallback(png_structp png, png_bytep data, size_t length) {
    WriteTarget *t = static_cast<WriteTarget *>(png_get_io_ptr(png));
    if (WriteStream(t->stream, data, length) != length) {
        t->failed = 1;
        png_error(png, "Write error!");
    }
}

void FlushCallback(png_structp png) {
    WriteTarget *t = static_cast<WriteTarget *>(png_get_io_ptr(png));
    if (FlushStream(t->stream)) {
        t->failed = 1;
        png_error(png, "Write error!");
    }
}

struct ReadState {
    png_structp png;
    png_infop info;
    uint32_t *pixels;
    png_bytep *rows;
    int width;
    int height;
    int hasAlpha;
    int rowsDone;
};

// Only trivially destructible locals: png_error may leave from any call.
int Read(ReadState *st, cxStream *stream, int headerOnly) {
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png))) return st->rowsDone ? 0 : ERR_LOADPICTURE2;

    const uint64_t limit = GetImagePixelLimit();
    const png_uint_32 side = limit > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<png_uint_32>(limit);
    png_set_user_limits(png, side, side);
    // Every allocation a chunk's header can ask for is bounded before it is
    // made, and going beyond the bound is an error, not a warning after
    // which libpng reads on: a 49-byte file claiming a 2 GiB text chunk
    // would otherwise have it reserved and filled. Text is not used at all.
    png_set_benign_errors(png, 0);
    png_set_chunk_malloc_max(png, kChunkBytesMax);
    static const png_byte kText[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kText, 3);
    png_set_read_fn(png, stream, ReadCallback);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, &interlace, nullptr, nullptr);
    if (!IsImageSizeAllowed(w, h)) return ERR_LOADPICTURE2;

    // Normalise to 8-bit B, G, R, A bytes: 0xAARRGGBB words in memory.
    const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    png_set_swap_alpha(png);
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_BEFORE);
#else
    png_set_bgr(png);
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
#endif
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4) return ERR_LOADPICTURE2;

    st->width = static_cast<int>(w);
    st->height = static_cast<int>(h);
    st->hasAlpha = alpha;
    if (headerOnly) return 0;

    st->pixels = static_cast<uint32_t *>(malloc(static_cast<size_t>(w) * h * 4));
    if (!st->pixels) return ERR_MEM;
    if (passes > 1) {
        // Every pass fills the same rows: libpng combines them in place.
        st->rows = static_cast<png_bytep *>(malloc(sizeof(png_bytep) * h));
        if (!st->rows) return ERR_MEM;
        for (png_uint_32 y = 0; y < h; y++) st->rows[y] = reinterpret_cast<png_bytep>(st->pixels + static_cast<size_t>(y) * w);
        png_read_image(png, st->rows);
    } else {
        for (png_uint_32 y = 0; y < h; y++)
            png_read_row(png, reinterpret_cast<png_bytep>(st->pixels + static_cast<size_t>(y) * w), nullptr);
    }
    // The picture is complete: a damaged trailer after it loses nothing.
    st->rowsDone = 1;
    png_read_end(png, nullptr);
    return 0;
}

struct WriteState {
    png_structp png;
    png_infop info;
    WriteTarget target;
};

int Write(WriteState *st, const cxPngWriteRequest *req) {
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png))) return st->target.failed ? ERR_WRITE : ERR_MEM;
    png_set_write_fn(png, &st->target, WriteCallback, FlushCallback);
    png_set_IHDR(png, info, static_cast<png_uint_32>(req->width), static_cast<png_uint_32>(req->height), 8,
                 req->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The words are written in place; the filler byte is dropped for RGB.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    if (req->alpha) png_set_swap_alpha(png);
    else png_set_filler(png, 0, PNG_FILLER_BEFORE);
#else
    png_set_bgr(png);
    if (!req->alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
#endif
    const uint8_t *row = reinterpret_cast<const uint8_t *>(req->pixels);
    for (int y = 0; y < req->height; y++, row += req->bytesPerRow)
        png_write_row(png, const_cast<png_bytep>(row));
    png_write_end(png, nullptr);
    return 0;
}

}  // namespace

extern "C" void LoadPNGImage(cxStream *stream, int headerOnly, int *width, int *height, uint32_t **pixels,
                             int *hasAlpha, int *error) {
    if (pixels) *pixels = nullptr;
    int err = ERR_MEM;
    ReadState *st = static_cast<ReadState *>(calloc(1, sizeof(ReadState)));
    if (st) {
        st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
        if (st->png) st->info = png_create_info_struct(st->png);
        if (st->png && st->info && stream) err = Read(st, stream, headerOnly || !pixels);
        else if (!stream) err = ERR_LOADPICTURE2;
        png_destroy_read_struct(st->png ? &st->png : nullptr, st->info ? &st->info : nullptr, nullptr);
        free(st->rows);
        if (err == 0) {
            if (width) *width = st->width;
            if (height) *height = st->height;
            if (hasAlpha) *hasAlpha = st->hasAlpha;
            if (pixels && !(headerOnly)) *pixels = st->pixels;
            else free(st->pixels);
        } else {
            free(st->pixels);
        }
        free(st);
    }
    if (error) *error = err;
}

extern "C" void SavePNGImage(cxPngWriteRequest *req) {
    req->error = ERR_MEM;
    if (!req->pixels || req->width < 1 || req->height < 1) return;
    WriteState *st = static_cast<WriteState *>(calloc(1, sizeof(WriteState)));
    if (!st) return;
    st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (st->png) st->info = png_create_info_struct(st->png);
    if (st->png && st->info) {
        st->target.stream = OpenFileStream(req->file, CX_STREAM_WRITE, nullptr);
        if (!st->target.stream) {
            SetErrorDetail(req->file);
            req->error = ERR_WRITEFILE;
        } else {
            req->error = Write(st, req);
            if (!CloseFileStream(st->target.stream) && req->error == 0) req->error = ERR_WRITE;
        }
    }
    png_destroy_write_struct(st->png ? &st->png : nullptr, st->info ? &st->info : nullptr);
    free(st);
}
