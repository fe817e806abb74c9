// One face of a TrueType collection as a file of its own: its header and
// table directory, then each table appended with its offset rewritten.
// FreeType opens such a file like any single-face font.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "streams/stream.h"
#include "text/fonts/font_catalogue.h"

namespace {

uint32_t BE16(const uint8_t *p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t BE32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void PutBE32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

bool ReadAt(cxStream *s, uint64_t offset, void *buffer, size_t length) {
    return SeekFileStream(s, int64_t(offset), CX_SEEK_BEGINNING) >= 0 && ReadStreamData(s, buffer, length) == length;
}

// A new empty file in the temporary folder.
bool CreateTempFile(char *path, size_t size) {
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    const int n = snprintf(path, size, "%s/cxfontXXXXXX", dir);
    if (n < 0 || size_t(n) >= size) return false;
    const int fd = mkstemp(path);
    if (fd < 0) return false;
    close(fd);
    return true;
}

} // namespace

namespace {

bool CopyFace(cxStream *in, const uint8_t *head, std::vector<uint8_t> &dir, const char *tempPath) {
    const uint32_t tables = BE16(head + 4);
    const uint64_t fileSize = GetStreamSize(in);
    StreamPtr out(OpenFileStream(tempPath, CX_STREAM_WRITE, nullptr));
    if (!out || WriteStream(out.get(), head, 12) != 12 || WriteStream(out.get(), dir.data(), dir.size()) != dir.size())
        return false;
    uint64_t pos = 12 + dir.size();
    std::vector<uint8_t> table;
    for (uint32_t i = 0; i < tables; ++i) {
        uint8_t *rec = dir.data() + 16 * i;
        const uint32_t offset = BE32(rec + 8), length = BE32(rec + 12);
        if (uint64_t(offset) + length > fileSize) return false;
        table.resize(length);
        if (!ReadAt(in, offset, table.data(), length)) return false;
        // Tables start on 4-byte boundaries, as in any font file.
        static const uint8_t pad[4] = {};
        const size_t fill = size_t((4 - pos % 4) % 4);
        if (WriteStream(out.get(), pad, fill) != fill) return false;
        pos += fill;
        PutBE32(rec + 8, uint32_t(pos));
        if (WriteStream(out.get(), table.data(), length) != length) return false;
        pos += length;
    }
    if (SeekFileStream(out.get(), 12, CX_SEEK_BEGINNING) < 0 ||
        WriteStream(out.get(), dir.data(), dir.size()) != dir.size())
        return false;
    return CloseFileStream(out.release()) != 0;
}

} // namespace

extern "C" int ExtractCollectionFace(const char *path, uint32_t directoryOffset, char *tempPath, size_t tempSize) {
    StreamPtr in(OpenFileStream(path, CX_STREAM_READ, nullptr));
    uint8_t head[12];
    if (!in || !ReadAt(in.get(), directoryOffset, head, sizeof head)) return 0;
    const uint32_t tables = BE16(head + 4);
    std::vector<uint8_t> dir(size_t(tables) * 16);
    if (!ReadAt(in.get(), uint64_t(directoryOffset) + 12, dir.data(), dir.size())) return 0;
    if (!CreateTempFile(tempPath, tempSize)) return 0;
    // A half-written file is of no use to anyone: it goes at once.
    if (!CopyFace(in.get(), head, dir, tempPath)) {
        unlink(tempPath);
        return 0;
    }
    return 1;
}
