// Shared by the codec tests: where the corpora are, files as bytes, streams
// over bytes, and netpbm pictures as expected pixels.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "streams/stream.h"

namespace cxtest {

using Bytes = std::vector<uint8_t>;

// The generated corpus (CX_IMAGE_CORPUS) and gdk-pixbuf's test pictures.
std::string CorpusDir();
std::string PixbufDir();
std::vector<std::string> ListFiles(const std::string &dir, const std::string &prefix, const std::string &suffix);
bool ReadFileBytes(const std::string &path, Bytes *out);

// A read stream over bytes (a registered ":::memory" block), closed and
// released on destruction.
class MemoryStream {
public:
    explicit MemoryStream(const Bytes &bytes);
    MemoryStream(const uint8_t *data, size_t size);
    ~MemoryStream();
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;
    cxStream *get() const { return stream_; }

private:
    const uint8_t *data_;
    size_t size_;
    cxStream *stream_;
};

// A stream over bytes for a reader that takes the stream over (and closes
// it); the bytes must outlive it.
cxStream *OpenBytesStream(const Bytes &bytes);

// A picture as 0x00RRGGBB words (PPM, PGM or PBM in raw form).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};
bool ReadNetpbm(const std::string &path, Picture *out);

// malloc'd buffers the codecs hand out.
struct FreePixels {
    uint32_t *p = nullptr;
    ~FreePixels();
};

// A temporary file path that is removed on destruction.
struct TempPath {
    std::string path;
    explicit TempPath(const std::string &suffix);
    ~TempPath();
};

}  // namespace cxtest
