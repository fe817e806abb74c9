// Streams address their backing store by explicit positions (pread/pwrite,
// offsets into memory, tracked adapter positions), so buffered and
// unbuffered calls can be mixed without the two views drifting apart.
#include "streams/stream.h"
#include "streams/memory_name.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "streams/chunk_names.h"
#include "platform/os_replace.h"

namespace {

constexpr size_t kBufferSize = 16384;
constexpr uint32_t kGrowStep = 65536;

const cxStreamAdapterHooks *g_adapterHooks;
cxVirtualBlockResolver g_blockResolver;

enum class Kind { File, Memory, Adapter };

}  // namespace

struct cxStream {
    Kind kind = Kind::File;
    int mode = CX_STREAM_READ;
    std::string name;

    // File and window.
    int fd = -1;
    bool window = false;
    uint64_t windowStart = 0;
    uint64_t windowLength = 0;

    // Memory: either the stream's own view of a caller's block or a virtual
    // string file's block, which the dos library owns and which is looked up
    // by its reference and serial on each access (Block()).
    cxVirtualBlock ownBlock{};
    bool virtualFile = false;
    int reference = 0;
    uint32_t serial = 0;

    // Adapter.
    const cxStreamAdapterHooks *hooks = nullptr;
    void *handle = nullptr;
    unsigned adapterFlags = 0;
    uint64_t adapterPos = 0;

    uint64_t pos = 0;
    bool hitEnd = false;
    // Set by the first write that did not reach the file, buffered or not,
    // and never cleared: the close reports that data was lost.
    bool writeFailed = false;

    // One buffer: read-ahead data of [bufStart, bufStart + bufLen), or, when
    // dirty, data waiting to be written there.
    std::vector<unsigned char> buf;
    uint64_t bufStart = 0;
    size_t bufLen = 0;
    bool dirty = false;

    // A file opened with CX_STREAM_REPLACE: fd is the new file's.
    std::unique_ptr<cxOsReplacement> replacement;

    ~cxStream() {
        if (kind == Kind::Memory && virtualFile) {
            if (cxVirtualBlock *b = Block()) b->users--;
        }
        if (replacement) {
            // Never finished: the old file stays.
            OsAbandonReplacement(replacement.get());
            fd = -1;
        }
        if (fd >= 0) close(fd);
    }

    // The bytes of a memory stream; null once a virtual string file's block
    // is gone.
    cxVirtualBlock *Block() {
        if (!virtualFile) return &ownBlock;
        cxVirtualBlock *b = g_blockResolver ? g_blockResolver(reference) : nullptr;
        return b && b->serial == serial ? b : nullptr;
    }

    bool CanRead() const { return mode & (CX_STREAM_READ | CX_STREAM_READWRITE); }
    bool CanWrite() const { return mode & (CX_STREAM_WRITE | CX_STREAM_READWRITE); }
    bool Buffered() const { return kind != Kind::Memory; }

    uint64_t RawSize() {
        switch (kind) {
        case Kind::File: {
            if (window) return windowLength;
            struct stat st;
            if (fstat(fd, &st) != 0) return CX_STREAM_SIZE_UNKNOWN;
            return static_cast<uint64_t>(st.st_size);
        }
        case Kind::Memory: {
            cxVirtualBlock *block = Block();
            return block ? block->length : 0;
        }
        case Kind::Adapter: {
            if (!hooks->GetSize) return CX_STREAM_SIZE_UNKNOWN;
            int64_t n = hooks->GetSize(handle);
            return n < 0 ? CX_STREAM_SIZE_UNKNOWN : static_cast<uint64_t>(n);
        }
        }
        return CX_STREAM_SIZE_UNKNOWN;
    }

    bool AdapterSeek(uint64_t at) {
        if (adapterPos == at) return true;
        if (!hooks->Seek || (adapterFlags & CX_ADAPTER_NOSEEK)) return false;
        if (at > static_cast<uint64_t>(INT64_MAX)) return false;
        if (hooks->Seek(handle, static_cast<int64_t>(at), CX_SEEK_BEGINNING) < 0) return false;
        adapterPos = at;
        return true;
    }

    size_t RawRead(uint64_t at, void *dst, size_t n) {
        auto *out = static_cast<unsigned char *>(dst);
        switch (kind) {
        case Kind::File: {
            if (window) {
                if (at >= windowLength) return 0;
                n = static_cast<size_t>(std::min<uint64_t>(n, windowLength - at));
                at += windowStart;
            }
            size_t done = 0;
            while (done < n) {
                if (at + done > static_cast<uint64_t>(INT64_MAX)) break;
                ssize_t r = pread(fd, out + done, n - done, static_cast<off_t>(at + done));
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) break;
                done += static_cast<size_t>(r);
            }
            return done;
        }
        case Kind::Memory: {
            cxVirtualBlock *block = Block();
            if (!block || at >= block->length) return 0;
            n = static_cast<size_t>(std::min<uint64_t>(n, block->length - at));
            memcpy(out, block->data + at, n);
            return n;
        }
        case Kind::Adapter: {
            if (!hooks->Read || !AdapterSeek(at)) return 0;
            size_t done = 0;
            while (done < n) {
                int64_t r = hooks->Read(handle, out + done, static_cast<int64_t>(n - done));
                if (r <= 0) break;
                done += static_cast<size_t>(std::min<int64_t>(r, static_cast<int64_t>(n - done)));
            }
            adapterPos += done;
            return done;
        }
        }
        return 0;
    }

    bool GrowBlock(cxVirtualBlock *block, uint64_t needed) {
        if (needed <= block->capacity) return true;
        if (!block->owned || needed > UINT32_MAX) return false;
        uint64_t cap = (needed + kGrowStep - 1) / kGrowStep * kGrowStep;
        if (cap > UINT32_MAX) cap = UINT32_MAX;
        auto *p = static_cast<unsigned char *>(realloc(block->data, cap));
        if (!p) return false;
        block->data = p;
        block->capacity = static_cast<uint32_t>(cap);
        return true;
    }

    size_t RawWrite(uint64_t at, const void *src, size_t n) {
        const auto *in = static_cast<const unsigned char *>(src);
        switch (kind) {
        case Kind::File: {
            if (window) return 0;
            size_t done = 0;
            while (done < n) {
                if (at + done > static_cast<uint64_t>(INT64_MAX)) break;
                ssize_t r = pwrite(fd, in + done, n - done, static_cast<off_t>(at + done));
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) {
                    writeFailed = true;
                    break;
                }
                done += static_cast<size_t>(r);
            }
            return done;
        }
        case Kind::Memory: {
            cxVirtualBlock *block = Block();
            uint64_t end = at + n;
            if (!block || end < at) {
                writeFailed = true;
                return 0;
            }
            if (!GrowBlock(block, end)) {
                // A block that cannot grow takes what fits.
                if (at >= block->capacity) return 0;
                n = static_cast<size_t>(block->capacity - at);
                end = at + n;
            }
            if (at > block->length) memset(block->data + block->length, 0, at - block->length);
            memcpy(block->data + at, in, n);
            if (end > block->length) block->length = static_cast<uint32_t>(end);
            return n;
        }
        case Kind::Adapter: {
            if (!hooks->Write || !AdapterSeek(at)) return 0;
            size_t done = 0;
            while (done < n) {
                int64_t r = hooks->Write(handle, in + done, static_cast<int64_t>(n - done));
                if (r <= 0) {
                    writeFailed = true;
                    break;
                }
                done += static_cast<size_t>(std::min<int64_t>(r, static_cast<int64_t>(n - done)));
            }
            adapterPos += done;
            return done;
        }
        }
        return 0;
    }

    // Writes pending data; false when some of it could not be written.
    bool FlushWrites() {
        if (!dirty) return true;
        size_t n = bufLen;
        size_t done = RawWrite(bufStart, buf.data(), n);
        dirty = false;
        bufLen = 0;
        if (done != n) {
            writeFailed = true;
            return false;
        }
        return true;
    }

    void DropReadAhead() {
        if (!dirty) bufLen = 0;
    }

    bool EnsureBuffer() {
        if (buf.size() == kBufferSize) return true;
        try {
            buf.resize(kBufferSize);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    // Copies what the read-ahead buffer holds at pos.
    size_t TakeBuffered(unsigned char *dst, size_t n) {
        if (dirty || bufLen == 0 || pos < bufStart || pos >= bufStart + bufLen) return 0;
        size_t off = static_cast<size_t>(pos - bufStart);
        size_t k = std::min(n, bufLen - off);
        memcpy(dst, buf.data() + off, k);
        pos += k;
        return k;
    }

    size_t Read(void *dst, size_t n, bool buffered) {
        if (!CanRead() || n == 0) return 0;
        if (!FlushWrites()) return 0;
        auto *out = static_cast<unsigned char *>(dst);
        size_t total = 0;
        if (Buffered()) total = TakeBuffered(out, n);
        while (total < n) {
            size_t want = n - total;
            if (!buffered || !Buffered() || want >= kBufferSize || !EnsureBuffer()) {
                size_t got = RawRead(pos, out + total, want);
                pos += got;
                total += got;
                if (got < want) hitEnd = true;
                break;
            }
            bufStart = pos;
            bufLen = RawRead(pos, buf.data(), kBufferSize);
            size_t got = TakeBuffered(out + total, want);
            total += got;
            if (got == 0) {
                hitEnd = true;
                break;
            }
        }
        return total;
    }

    size_t ReadUntil(void *dst, size_t n, unsigned char delimiter, bool buffered) {
        if (!CanRead() || n == 0) return 0;
        if (!FlushWrites()) return 0;
        auto *out = static_cast<unsigned char *>(dst);
        size_t total = 0;
        const bool useBuffer = buffered && Buffered() && EnsureBuffer();
        while (total < n) {
            if (useBuffer) {
                if (bufLen == 0 || pos < bufStart || pos >= bufStart + bufLen) {
                    bufStart = pos;
                    bufLen = RawRead(pos, buf.data(), kBufferSize);
                    if (bufLen == 0) {
                        hitEnd = true;
                        break;
                    }
                }
                const size_t off = static_cast<size_t>(pos - bufStart);
                const size_t avail = std::min(n - total, bufLen - off);
                const unsigned char *from = buf.data() + off;
                const auto *hit = static_cast<const unsigned char *>(memchr(from, delimiter, avail));
                const size_t k = hit ? static_cast<size_t>(hit - from) + 1 : avail;
                memcpy(out + total, from, k);
                pos += k;
                total += k;
                if (hit) break;
                continue;
            }
            // Read a piece straight into the caller's memory and move on
            // only past what it keeps.
            const size_t want = std::min<size_t>(n - total, 4096);
            const size_t got = RawRead(pos, out + total, want);
            const auto *hit = static_cast<const unsigned char *>(memchr(out + total, delimiter, got));
            const size_t k = hit ? static_cast<size_t>(hit - (out + total)) + 1 : got;
            pos += k;
            total += k;
            if (hit) break;
            if (got < want) {
                hitEnd = true;
                break;
            }
        }
        return total;
    }

    size_t Write(const void *src, size_t n, bool buffered) {
        if (!CanWrite() || n == 0) return 0;
        if (kind == Kind::File && window) return 0;
        DropReadAhead();
        if (dirty && pos != bufStart + bufLen && !FlushWrites()) return 0;
        if (!buffered || !Buffered() || n >= kBufferSize || !EnsureBuffer()) {
            if (!FlushWrites()) return 0;
            size_t done = RawWrite(pos, src, n);
            pos += done;
            return done;
        }
        if (dirty && bufLen + n > kBufferSize && !FlushWrites()) return 0;
        if (!dirty) {
            dirty = true;
            bufStart = pos;
            bufLen = 0;
        }
        memcpy(buf.data() + bufLen, src, n);
        bufLen += n;
        pos += n;
        return n;
    }

    int64_t Seek(int64_t offset, int mode) {
        if (!FlushWrites()) return -1;
        uint64_t prev = pos;
        int64_t base;
        switch (mode) {
        case CX_SEEK_CURRENT:
            base = static_cast<int64_t>(pos);
            break;
        case CX_SEEK_BEGINNING:
            base = 0;
            break;
        case CX_SEEK_END: {
            uint64_t size = RawSize();
            if (size == CX_STREAM_SIZE_UNKNOWN || size > static_cast<uint64_t>(INT64_MAX)) return -1;
            base = static_cast<int64_t>(size);
            break;
        }
        default:
            return -1;
        }
        int64_t target;
        if (__builtin_add_overflow(base, offset, &target)) return -1;
        bool clamp = (kind == Kind::File && window) || kind == Kind::Memory;
        if (clamp) {
            int64_t size = static_cast<int64_t>(RawSize());
            target = std::clamp<int64_t>(target, 0, size);
        } else if (target < 0) {
            return -1;
        }
        if (static_cast<uint64_t>(target) == pos) {
            hitEnd = false;
            return static_cast<int64_t>(prev);
        }
        if (kind == Kind::Adapter) {
            bufLen = 0;
            if (!AdapterSeek(static_cast<uint64_t>(target))) return -1;
        }
        pos = static_cast<uint64_t>(target);
        hitEnd = false;
        return static_cast<int64_t>(prev);
    }
};

namespace {

std::unique_ptr<cxStream> NewStream(const char *name, int mode) {
    auto s = std::unique_ptr<cxStream>(new (std::nothrow) cxStream);
    if (!s) return nullptr;
    try {
        s->name = name;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    s->mode = mode;
    return s;
}

int OpenFlags(int mode) {
    if (mode & CX_STREAM_READWRITE) return O_RDWR | O_CREAT;
    if (mode & CX_STREAM_WRITE) return O_WRONLY | O_CREAT | O_TRUNC;
    return O_RDONLY;
}

int BaseMode(int mode) {
    return mode & (CX_STREAM_READ | CX_STREAM_WRITE | CX_STREAM_READWRITE);
}

cxStream *OpenWindow(const char *name, const char *path, uint64_t offset, uint64_t length) {
    auto s = NewStream(name, CX_STREAM_READ);
    if (!s) return nullptr;
    s->fd = open(path, O_RDONLY | O_CLOEXEC);
    if (s->fd < 0) return nullptr;
    struct stat st;
    if (fstat(s->fd, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    s->window = true;
    s->windowStart = offset;
    s->windowLength = offset >= fileSize ? 0 : std::min(length, fileSize - offset);
    return s.release();
}

}  // namespace

extern "C" {

void SetStreamAdapterHooks(const cxStreamAdapterHooks *hooks) { g_adapterHooks = hooks; }
void SetVirtualBlockResolver(cxVirtualBlockResolver resolver) { g_blockResolver = resolver; }

cxStream *OpenWindowStream(const char *path, uint64_t offset, uint64_t length) {
    if (!path || !*path) return nullptr;
    return OpenWindow(path, path, offset, length);
}

cxStream *OpenFileStream(const char *name, int mode, const char *adapters) {
    if (!name || !*name) return nullptr;
    int base = BaseMode(mode);
    if (base != CX_STREAM_READ && base != CX_STREAM_WRITE && base != CX_STREAM_READWRITE) return nullptr;

    if (IsChunkName(name)) {
        auto parts = std::make_unique<cxChunkName>();
        if (!ParseChunkName(name, parts.get())) return nullptr;
        if (!parts->memory) {
            if (base != CX_STREAM_READ) return nullptr;
            return OpenWindow(name, parts->source, parts->offset, parts->length);
        }
        cxVirtualBlock *block = g_blockResolver ? g_blockResolver(parts->reference) : nullptr;
        if (!block) return nullptr;
        // A block that is not the layer's to grow (a script's own string)
        // is read only.
        if (base != CX_STREAM_READ && !block->owned) return nullptr;
        auto s = NewStream(name, base);
        if (!s) return nullptr;
        s->kind = Kind::Memory;
        s->virtualFile = true;
        s->reference = parts->reference;
        s->serial = block->serial;
        block->users++;
        if (base == CX_STREAM_WRITE) block->length = 0;
        return s.release();
    }

    if (IsMemoryName(name)) {
        const void *data;
        size_t length;
        // Only blocks registered by MakeMemoryName resolve: a name typed by
        // a script must never point the stream at arbitrary memory.
        if (!ParseMemoryName(name, &data, &length) || length > UINT32_MAX) return nullptr;
        auto s = NewStream(name, base);
        if (!s) return nullptr;
        s->kind = Kind::Memory;
        // A caller's block: its whole length is readable and writable in
        // place, and it never grows.
        s->ownBlock.data = static_cast<unsigned char *>(const_cast<void *>(data));
        s->ownBlock.capacity = static_cast<uint32_t>(length);
        s->ownBlock.length = static_cast<uint32_t>(length);
        return s.release();
    }

    if ((mode & CX_STREAM_ADAPTERS) && g_adapterHooks && g_adapterHooks->Open) {
        unsigned flags = 0;
        void *handle = g_adapterHooks->Open(name, base, adapters, &flags);
        if (handle) {
            auto s = NewStream(name, base);
            if (!s) {
                if (g_adapterHooks->Close) g_adapterHooks->Close(handle);
                return nullptr;
            }
            s->kind = Kind::Adapter;
            s->hooks = g_adapterHooks;
            s->handle = handle;
            s->adapterFlags = flags;
            return s.release();
        }
    }

    auto s = NewStream(name, base);
    if (!s) return nullptr;
    if ((mode & CX_STREAM_REPLACE) && base == CX_STREAM_WRITE) {
        auto r = std::unique_ptr<cxOsReplacement>(new (std::nothrow) cxOsReplacement);
        if (!r) return nullptr;
        if (!OsBeginReplacement(name, (mode & CX_STREAM_NOFOLLOW) ? CX_REPLACE_NOFOLLOW : 0, r.get())) return nullptr;
        s->fd = r->fd;
        s->replacement = std::move(r);
        return s.release();
    }
    s->fd = open(name, OpenFlags(base) | O_CLOEXEC, 0666);
    if (s->fd < 0) return nullptr;
    struct stat st;
    if (fstat(s->fd, &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    return s.release();
}

int CloseFileStream(cxStream *s) {
    if (!s) return 0;
    std::unique_ptr<cxStream> owner(s);
    bool ok = s->FlushWrites() && !s->writeFailed;
    if (s->replacement) {
        // The new file takes the name only when all of it was written.
        if (ok) {
            ok = OsFinishReplacement(s->replacement.get()) != 0;
        } else {
            OsAbandonReplacement(s->replacement.get());
        }
        s->replacement.reset();
        s->fd = -1;
    } else if (s->kind == Kind::Adapter) {
        if (s->hooks->Close && !s->hooks->Close(s->handle)) ok = false;
    } else if (s->fd >= 0) {
        if (close(s->fd) != 0) ok = false;
        s->fd = -1;
    }
    return ok ? 1 : 0;
}

void DiscardFileStream(cxStream *s) {
    if (!s) return;
    if (!s->replacement) {
        CloseFileStream(s);
        return;
    }
    // The destructor drops the new file.
    delete s;
}

int FlushStream(cxStream *s) {
    if (!s) return ERR_WRITE;
    if (!s->FlushWrites()) return ERR_WRITE;
    if (s->kind == Kind::Adapter && s->hooks->Flush && s->hooks->Flush(s->handle) != 0) return ERR_WRITE;
    return 0;
}

int WritePendingData(cxStream *s) {
    if (!s) return ERR_WRITE;
    return s->FlushWrites() ? 0 : ERR_WRITE;
}

int HasStreamLostData(cxStream *s) { return s && s->writeFailed ? 1 : 0; }

size_t ReadStream(cxStream *s, void *buffer, size_t length) {
    return s && buffer ? s->Read(buffer, length, false) : 0;
}
size_t ReadStreamData(cxStream *s, void *buffer, size_t length) {
    return s && buffer ? s->Read(buffer, length, true) : 0;
}
size_t WriteStream(cxStream *s, const void *buffer, size_t length) {
    return s && buffer ? s->Write(buffer, length, true) : 0;
}
size_t WriteStreamData(cxStream *s, const void *buffer, size_t length) {
    return s && buffer ? s->Write(buffer, length, false) : 0;
}

size_t ReadStreamUntil(cxStream *s, void *buffer, size_t length, int delimiter, int buffered) {
    return s && buffer ? s->ReadUntil(buffer, length, static_cast<unsigned char>(delimiter), buffered != 0) : 0;
}

int ReadStreamByte(cxStream *s) {
    unsigned char b;
    return ReadStreamData(s, &b, 1) == 1 ? b : -1;
}

int WriteStreamByte(cxStream *s, int byte) {
    unsigned char b = static_cast<unsigned char>(byte);
    return WriteStream(s, &b, 1) == 1 ? 1 : 0;
}

namespace {
uint32_t ReadRaw(cxStream *s, int n, bool bigEndian) {
    unsigned char b[4] = {0, 0, 0, 0};
    ReadStreamData(s, b, static_cast<size_t>(n));
    uint32_t v = 0;
    for (int i = 0; i < n; i++) {
        int k = bigEndian ? i : n - 1 - i;
        v = (v << 8) | b[k];
    }
    return v;
}
int WriteRaw(cxStream *s, uint32_t v, int n, bool bigEndian) {
    unsigned char b[4];
    for (int i = 0; i < n; i++) {
        int shift = bigEndian ? 8 * (n - 1 - i) : 8 * i;
        b[i] = static_cast<unsigned char>(v >> shift);
    }
    return static_cast<int>(WriteStream(s, b, static_cast<size_t>(n)));
}
}  // namespace

int ReadBE16(cxStream *s) { return static_cast<int16_t>(ReadRaw(s, 2, true)); }
int ReadLE16(cxStream *s) { return static_cast<int16_t>(ReadRaw(s, 2, false)); }
int ReadBEU16(cxStream *s) { return static_cast<int>(ReadRaw(s, 2, true)); }
int ReadLEU16(cxStream *s) { return static_cast<int>(ReadRaw(s, 2, false)); }
int32_t ReadBE32(cxStream *s) { return static_cast<int32_t>(ReadRaw(s, 4, true)); }
int32_t ReadLE32(cxStream *s) { return static_cast<int32_t>(ReadRaw(s, 4, false)); }
int WriteBE16(cxStream *s, int value) { return WriteRaw(s, static_cast<uint32_t>(value), 2, true); }
int WriteLE16(cxStream *s, int value) { return WriteRaw(s, static_cast<uint32_t>(value), 2, false); }
int WriteBE32(cxStream *s, int32_t value) { return WriteRaw(s, static_cast<uint32_t>(value), 4, true); }
int WriteLE32(cxStream *s, int32_t value) { return WriteRaw(s, static_cast<uint32_t>(value), 4, false); }

int64_t SeekFileStream(cxStream *s, int64_t offset, int mode) { return s ? s->Seek(offset, mode) : -1; }

uint64_t GetStreamSize(cxStream *s) {
    if (!s || !s->FlushWrites()) return CX_STREAM_SIZE_UNKNOWN;
    return s->RawSize();
}

int IsStreamEof(cxStream *s) {
    if (!s) return 1;
    // Read-ahead data waiting at the position is not the end; loops that
    // ask before every read need no look at the file's size then.
    if (s->bufLen && !s->dirty && s->pos >= s->bufStart && s->pos < s->bufStart + s->bufLen) return 0;
    uint64_t size = GetStreamSize(s);
    if (size != CX_STREAM_SIZE_UNKNOWN) return s->pos >= size ? 1 : 0;
    if (s->kind == Kind::Adapter && s->hooks->Eof) {
        return s->hooks->Eof(s->handle) ? 1 : 0;
    }
    return s->hitEnd ? 1 : 0;
}

int IsStreamUnseekable(cxStream *s) {
    return s && s->kind == Kind::Adapter && (s->adapterFlags & CX_ADAPTER_NOSEEK) ? 1 : 0;
}

unsigned GetStreamAdapterFlags(cxStream *s) {
    return s && s->kind == Kind::Adapter ? s->adapterFlags : 0;
}

const char *GetStreamName(cxStream *s) { return s ? s->name.c_str() : ""; }

int GetStreamDescriptor(cxStream *s) {
    return s && s->kind == Kind::File && !s->window ? s->fd : -1;
}

}  // extern "C"
