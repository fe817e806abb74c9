#include "io/cxpk/cxpk.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/errors/errors.h"
#include "shell/memory_name.h"

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

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A source read by name: a registered memory block or a file.
class Source {
public:
    int Open(const char *name, int64_t offset) {
        const void *block = nullptr;
        size_t length = 0;
        if (ParseMemoryName(name, &block, &length)) {
            if (offset < 0 || static_cast<uint64_t>(offset) > length) return ERR_READ;
            memory_ = static_cast<const unsigned char *>(block);
            memoryLength_ = length;
            memoryPos_ = static_cast<size_t>(offset);
            return 0;
        }
        if (!name) {
            SetErrorDetail("");
            return ERR_READFILE;
        }
        file_.reset(std::fopen(name, "rb"));
        if (!file_) {
            SetErrorDetail(name);
            return ERR_READFILE;
        }
        if (offset < 0 || fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return ERR_READ;
        return 0;
    }

    // Reads up to n bytes; fewer only at the end of the source or on a
    // read failure, which Failed() then reports.
    size_t Read(void *out, size_t n) {
        if (!file_) {
            size_t take = std::min(n, memoryLength_ - memoryPos_);
            if (take) std::memcpy(out, memory_ + memoryPos_, take);
            memoryPos_ += take;
            return take;
        }
        size_t got = std::fread(out, 1, n, file_.get());
        if (got < n && std::ferror(file_.get())) failed_ = true;
        return got;
    }

    bool Failed() const { return failed_; }

private:
    const unsigned char *memory_ = nullptr;
    size_t memoryLength_ = 0;
    size_t memoryPos_ = 0;
    FilePtr file_;
    bool failed_ = false;
};

int CreateTarget(const char *name, FilePtr &out) {
    out.reset(name ? std::fopen(name, "wb") : nullptr);
    if (out) return 0;
    SetErrorDetail(name ? name : "");
    return ERR_WRITEFILE;
}

bool WriteAll(FILE *f, const void *data, size_t n) { return std::fwrite(data, 1, n, f) == n; }

int CloseTarget(FilePtr &target) {
    return target && std::fclose(target.release()) != 0 ? ERR_WRITE : 0;
}

struct Blocks {
    std::unique_ptr<unsigned char[]> in{new (std::nothrow) unsigned char[kBlockSize]};
    std::unique_ptr<unsigned char[]> out{new (std::nothrow) unsigned char[kBlockSize]};
    bool Ok() const { return in && out; }
};

}  // namespace

extern "C" int UnpackCxpk(const char *magic, const char *source, const char *target, struct cxStream *stream,
                          int64_t offset, void *buffer, size_t bufferSize) {
    if (stream) return ERR_UNSUPPORTEDFEAT;
    if (!magic) return ERR_ARGS;
    Blocks blocks;
    if (!blocks.Ok()) return ERR_MEM;
    Source src;
    if (int err = src.Open(source, offset)) return err;

    unsigned char header[8];
    if (src.Read(header, 4) < 4) return ERR_READ;
    if (std::memcmp(header, magic, 4) != 0) return ERR_PAKFORMAT;
    src.Read(header + 4, 4);  // reserved, whatever it holds
    if (src.Failed()) return ERR_READ;

    FilePtr sink;
    if (target && !buffer) {
        if (int err = CreateTarget(target, sink)) return err;
    }

    z_stream zs{};
    int z = inflateInit(&zs);
    if (z != Z_OK) return ZlibError(z);
    std::unique_ptr<z_stream, int (*)(z_stream *)> end(&zs, inflateEnd);

    unsigned char *out = static_cast<unsigned char *>(buffer);
    size_t filled = 0;
    for (;;) {
        size_t n = src.Read(blocks.in.get(), kBlockSize);
        if (src.Failed()) return ERR_READ;
        if (n == 0) return ERR_ZLIBDATA;  // the source ended inside the stream
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
                const size_t room = bufferSize - filled;
                if (have > room) {
                    if (room) std::memcpy(out + filled, blocks.out.get(), room);
                    return 0;
                }
                if (have) std::memcpy(out + filled, blocks.out.get(), have);
                filled += have;
            } else if (sink && !WriteAll(sink.get(), blocks.out.get(), have)) {
                return ERR_WRITE;
            }
            if (z == Z_STREAM_END) return CloseTarget(sink);
        } while (zs.avail_out == 0);
    }
}

extern "C" int PackCxpk(const char *magic, const char *source, const char *target, struct cxStream *targetStream,
                        int64_t *packedSize) {
    if (targetStream) return ERR_UNSUPPORTEDFEAT;
    if (!magic) return ERR_ARGS;
    Blocks blocks;
    if (!blocks.Ok()) return ERR_MEM;
    Source src;
    if (int err = src.Open(source, 0)) return err;
    FilePtr sink;
    if (int err = CreateTarget(target, sink)) return err;

    static const unsigned char kReserved[4] = {0, 0, 0, 0};
    if (!WriteAll(sink.get(), magic, 4) || !WriteAll(sink.get(), kReserved, 4)) return ERR_WRITE;
    int64_t total = 8;

    z_stream zs{};
    int z = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    if (z != Z_OK) return ZlibError(z);
    std::unique_ptr<z_stream, int (*)(z_stream *)> end(&zs, deflateEnd);

    for (bool last = false; !last;) {
        size_t n = src.Read(blocks.in.get(), kBlockSize);
        if (src.Failed()) return ERR_READ;
        last = n < kBlockSize;
        zs.next_in = blocks.in.get();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = blocks.out.get();
            zs.avail_out = kBlockSize;
            z = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            if (z == Z_STREAM_ERROR) return ZlibError(z);
            size_t have = kBlockSize - zs.avail_out;
            if (!WriteAll(sink.get(), blocks.out.get(), have)) return ERR_WRITE;
            total += static_cast<int64_t>(have);
        } while (zs.avail_out == 0);
    }
    if (int err = CloseTarget(sink)) return err;
    if (packedSize) *packedSize = total;
    return 0;
}
