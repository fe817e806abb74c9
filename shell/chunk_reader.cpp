#include "shell/chunk_reader.h"

#include <algorithm>
#include <new>

#include "errors/errors.h"
#include "streams/memory_name.h"

namespace {
constexpr size_t kBlock = 16384;
}

struct cxChunkReader {
    cxStream *stream = nullptr;
    bool ownsStream = false;
    uint64_t left = 0;
    int error = 0;
    char block[kBlock];

    ~cxChunkReader() {
        if (ownsStream) CloseFileStream(stream);
    }
};

extern "C" {

const char *ReadChunkBlock(void *ud, size_t *size) {
    auto *r = static_cast<cxChunkReader *>(ud);
    if (size) *size = 0;
    if (!r || r->error || r->left == 0) return nullptr;
    size_t want = static_cast<size_t>(std::min<uint64_t>(r->left, kBlock));
    size_t got = ReadStreamData(r->stream, r->block, want);
    if (got == 0) {
        r->error = ERR_READ;
        return nullptr;
    }
    r->left -= got;
    if (size) *size = got;
    return r->block;
}

cxChunkReader *OpenStreamChunkReader(cxStream *stream, uint64_t length) {
    if (!stream) return nullptr;
    auto *r = new (std::nothrow) cxChunkReader;
    if (!r) return nullptr;
    r->stream = stream;
    r->left = length;
    return r;
}

int OpenMainChunkReader(const cxApplet *applet, cxChunkReader **out) {
    if (out) *out = nullptr;
    if (!applet || !out || !applet->hasMainChunk) return ERR_EMPTYSCRIPT;
    cxStream *s;
    uint64_t length;
    if (applet->chunkData) {
        char name[64];
        if (!MakeMemoryName(name, sizeof name, applet->chunkData, applet->chunkSize)) return ERR_MEM;
        s = OpenFileStream(name, CX_STREAM_READ, nullptr);
        length = applet->chunkSize;
        if (!s) return ERR_MEM;
    } else {
        s = OpenWindowStream(applet->path, applet->base + applet->chunkOffset, applet->chunkLength);
        length = applet->chunkLength;
        if (!s) {
            SetErrorDetail(applet->path);
            return ERR_FILEEXIST;
        }
    }
    cxChunkReader *r = OpenStreamChunkReader(s, length);
    if (!r) {
        CloseFileStream(s);
        return ERR_MEM;
    }
    r->ownsStream = true;
    *out = r;
    return 0;
}

int GetChunkReaderError(const cxChunkReader *reader) { return reader ? reader->error : ERR_READ; }

void CloseChunkReader(cxChunkReader *reader) { delete reader; }

}  // extern "C"
