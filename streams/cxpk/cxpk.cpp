#include "streams/cxpk/cxpk.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "errors/errors.h"
#include "streams/memory_name.h"

namespace {

// Fixed working blocks: the data is never held whole unless the caller's
// buffer asks for it.
constexpr size_t kBlockSize = 16384;

int ZlibError(int result) {
    switch (result) {
    case Z_VERSION_ERROR: return ERR_ZLIBVERSION;
    case Z_MEM_ERROR: return ERR_MEM;
    case Z_DATA_ERROR:
    case Z_NEED_DICT: return ERR_ZLIBDATA;
    case Z_STREAM_ERROR: return ERR_ZLIBSTREAM;
    case Z_ERRNO: return ERR_ZLIBIO;
    default: return ERR_UNKNOWN;  // Z_BUF_ERROR and anything unforeseen
    }
}

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

// The source of an unpack or pack: the caller's open stream or one opened
// here by name (and closed here).
struct Source {
    StreamPtr owned;
    cxStream *stream = nullptr;
    bool failed = false;

    int Open(cxStream *given, const char *name, int64_t offset) {
        if (given) {
            stream = given;
            return 0;
        }
        owned.reset(name ? OpenFileStream(name, CX_STREAM_READ, nullptr) : nullptr);
        if (!owned) {
            SetErrorDetail(name ? name : "");
            return ERR_READFILE;
        }
        stream = owned.get();
        if (offset < 0 || SeekFileStream(stream, offset, CX_SEEK_BEGINNING) < 0) return ERR_READ;
        const uint64_t size = GetStreamSize(stream);
        if (size != CX_STREAM_SIZE_UNKNOWN && static_cast<uint64_t>(offset) > size) return ERR_READ;
        return 0;
    }

    // Reads up to n bytes; fewer only at the end of the data.
    size_t Read(void *out, size_t n) {
        size_t got = ReadStreamData(stream, out, n);
        if (got < n && !IsStreamEof(stream)) failed = true;
        return got;
    }
};

struct StreamDiscarder {
    void operator()(cxStream *s) const { DiscardFileStream(s); }
};

// The target of an unpack or pack: the caller's open stream, or a file
// opened here that replaces an existing one only when Close succeeds (an
// error on the way leaves the old file as it was).
struct Target {
    std::unique_ptr<cxStream, StreamDiscarder> owned;
    cxStream *stream = nullptr;

    int Open(cxStream *given, const char *name) {
        if (given) {
            stream = given;
            return 0;
        }
        owned.reset(name ? OpenFileStream(name, CX_STREAM_WRITE | CX_STREAM_REPLACE, nullptr) : nullptr);
        if (!owned) {
            SetErrorDetail(name ? name : "");
            return ERR_WRITEFILE;
        }
        stream = owned.get();
        return 0;
    }
    bool Write(const void *data, size_t n) { return n == 0 || WriteStreamData(stream, data, n) == n; }
    int Close() { return owned && !CloseFileStream(owned.release()) ? ERR_WRITE : 0; }
};

struct Blocks {
    std::unique_ptr<unsigned char[]> in{new (std::nothrow) unsigned char[kBlockSize]};
    std::unique_ptr<unsigned char[]> out{new (std::nothrow) unsigned char[kBlockSize]};
    bool Ok() const { return in && out; }
};

}  // namespace

extern "C" int UnpackCxpk(const char *magic, const char *source, const char *target, cxStream *stream,
                          int64_t offset, uint64_t *written, uint64_t *consumed, void *buffer, size_t bufferSize) {
    if (!magic) return ERR_ARGS;
    Blocks blocks;
    if (!blocks.Ok()) return ERR_MEM;
    Source src;
    if (int err = src.Open(stream, source, offset)) return err;

    unsigned char header[8];
    if (src.Read(header, 4) < 4) return ERR_READ;
    if (std::memcmp(header, magic, 4) != 0) return ERR_PAKFORMAT;
    src.Read(header + 4, 4);  // reserved, whatever it holds
    if (src.failed) return ERR_READ;

    Target sink;
    if (target && !buffer) {
        if (int err = sink.Open(nullptr, target)) return err;
    }

    z_stream zs{};
    int z = inflateInit(&zs);
    if (z != Z_OK) return ZlibError(z);
    std::unique_ptr<z_stream, int (*)(z_stream *)> end(&zs, inflateEnd);

    unsigned char *out = static_cast<unsigned char *>(buffer);
    uint64_t produced = 0;
    auto report = [&]() {
        if (written) *written = produced;
        if (consumed) *consumed = zs.total_in + 8;
    };
    for (;;) {
        size_t n = src.Read(blocks.in.get(), kBlockSize);
        if (src.failed) return ERR_READ;
        if (n == 0) {  // the source ended inside the stream
            report();
            return ERR_ZLIBDATA;
        }
        zs.next_in = blocks.in.get();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = blocks.out.get();
            zs.avail_out = kBlockSize;
            z = inflate(&zs, Z_NO_FLUSH);
            if (z != Z_OK && z != Z_STREAM_END && z != Z_BUF_ERROR) return ZlibError(z);
            size_t have = kBlockSize - zs.avail_out;
            if (out) {
                // More data than the buffer holds: the caller wants only the
                // start. Data that fits exactly goes on to the stream's end,
                // so that its checksum is still verified.
                const size_t room = bufferSize - static_cast<size_t>(produced);
                if (have > room) {
                    if (room) std::memcpy(out + produced, blocks.out.get(), room);
                    produced += room;
                    report();
                    return 0;
                }
                if (have) std::memcpy(out + produced, blocks.out.get(), have);
            } else if (sink.stream && !sink.Write(blocks.out.get(), have)) {
                return ERR_WRITE;
            }
            produced += have;
            if (z == Z_STREAM_END) {
                // An open source stream is left just behind the item.
                if (!src.owned && zs.avail_in) SeekFileStream(src.stream, -int64_t(zs.avail_in), CX_SEEK_CURRENT);
                report();
                return sink.Close();
            }
        } while (zs.avail_out == 0);
    }
}

extern "C" int PackCxpk(const char *magic, const char *source, const char *target, cxStream *targetStream,
                        int64_t *packedSize) {
    if (!magic) return ERR_ARGS;
    Blocks blocks;
    if (!blocks.Ok()) return ERR_MEM;
    Source src;
    if (int err = src.Open(nullptr, source, 0)) return err;
    Target sink;
    if (int err = sink.Open(targetStream, target)) return err;

    static const unsigned char kReserved[4] = {0, 0, 0, 0};
    if (!sink.Write(magic, 4) || !sink.Write(kReserved, 4)) return ERR_WRITE;
    int64_t total = 8;

    z_stream zs{};
    int z = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    if (z != Z_OK) return ZlibError(z);
    std::unique_ptr<z_stream, int (*)(z_stream *)> end(&zs, deflateEnd);

    for (bool last = false; !last;) {
        size_t n = src.Read(blocks.in.get(), kBlockSize);
        if (src.failed) return ERR_READ;
        last = n < kBlockSize;
        zs.next_in = blocks.in.get();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = blocks.out.get();
            zs.avail_out = kBlockSize;
            z = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            if (z == Z_STREAM_ERROR) return ZlibError(z);
            size_t have = kBlockSize - zs.avail_out;
            if (!sink.Write(blocks.out.get(), have)) return ERR_WRITE;
            total += static_cast<int64_t>(have);
        } while (zs.avail_out == 0);
    }
    if (int err = sink.Close()) return err;
    if (packedSize) *packedSize = total;
    return 0;
}

extern "C" uint64_t MaxCxpkUnpackedSize(uint64_t packedSize) {
    // 1032:1 is deflate's limit; the rounding up covers the header bytes.
    return packedSize > UINT64_MAX / 1032 ? UINT64_MAX : packedSize * 1032 + 1032;
}
