#include "tests/shell/applet/cxpk_stub.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "engine/errors/error_codes.h"

namespace cxtest {

int StubUnpackCxpk(const char *magic, const char *source, const char *target, cxStream *stream, int64_t offset,
                   uint64_t *written, uint64_t *consumed, void *buffer, size_t bufferSize) {
    if (!stream || source || target || !buffer) return ERR_WRONGUSAGE;
    if (offset && SeekFileStream(stream, offset, CX_SEEK_BEGINNING) < 0) return ERR_READ;
    unsigned char head[8];
    if (ReadStreamData(stream, head, 8) != 8) return ERR_READ;
    if (memcmp(head, magic, 4) != 0) return ERR_PAKFORMAT;
    std::vector<unsigned char> in;
    unsigned char block[4096];
    size_t n;
    while ((n = ReadStreamData(stream, block, sizeof block)) > 0) in.insert(in.end(), block, block + n);

    z_stream z{};
    if (inflateInit(&z) != Z_OK) return ERR_ZLIBSTREAM;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = static_cast<Bytef *>(buffer);
    z.avail_out = static_cast<uInt>(bufferSize);
    int r = inflate(&z, Z_FINISH);
    uint64_t out = z.total_out;
    uint64_t used = z.total_in + 8;
    inflateEnd(&z);
    // A full buffer ends the unpacking with success, as the real one does.
    if (r != Z_STREAM_END && !(z.avail_out == 0 && (r == Z_OK || r == Z_BUF_ERROR))) return ERR_ZLIBDATA;
    if (written) *written = out;
    if (consumed) *consumed = used;
    return 0;
}

}  // namespace cxtest
