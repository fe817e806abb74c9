#include "tests/images/formats/image_test_support.h"

#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "streams/memory_name.h"

namespace cxtest {

std::string CorpusDir() {
    const char *d = getenv("CX_IMAGE_CORPUS");
    return d ? d : "image-corpus";
}

std::string PixbufDir() { return "/usr/libexec/installed-tests/gdk-pixbuf"; }

std::vector<std::string> ListFiles(const std::string &dir, const std::string &prefix, const std::string &suffix) {
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() >= prefix.size() + suffix.size() && n.compare(0, prefix.size(), prefix) == 0 &&
                n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(dir + "/" + n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool ReadFileBytes(const std::string &path, Bytes *out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

MemoryStream::MemoryStream(const Bytes &bytes) : MemoryStream(bytes.data(), bytes.size()) {}

MemoryStream::MemoryStream(const uint8_t *data, size_t size) : data_(data), size_(size), stream_(nullptr) {
    static const uint8_t kEmpty[1] = {0};
    if (!data_) data_ = kEmpty;
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, data_, size_);
    stream_ = OpenFileStream(name, CX_STREAM_READ, nullptr);
}

MemoryStream::~MemoryStream() {
    if (stream_) CloseFileStream(stream_);
    ReleaseMemoryName(data_, size_);
}

cxStream *OpenBytesStream(const Bytes &bytes) {
    static const uint8_t kEmpty[1] = {0};
    const uint8_t *data = bytes.empty() ? kEmpty : bytes.data();
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, data, bytes.size());
    return OpenFileStream(name, CX_STREAM_READ, nullptr);
}

namespace {
int NextNumber(const Bytes &b, size_t *pos) {
    while (*pos < b.size()) {
        if (b[*pos] == '#') {
            while (*pos < b.size() && b[*pos] != '\n') ++*pos;
        } else if (isspace(b[*pos])) {
            ++*pos;
        } else {
            break;
        }
    }
    int v = 0;
    while (*pos < b.size() && isdigit(b[*pos])) v = v * 10 + (b[(*pos)++] - '0');
    return v;
}
}  // namespace

bool ReadNetpbm(const std::string &path, Picture *out) {
    Bytes b;
    if (!ReadFileBytes(path, &b) || b.size() < 3 || b[0] != 'P') return false;
    const char kind = static_cast<char>(b[1]);
    size_t pos = 2;
    out->width = NextNumber(b, &pos);
    out->height = NextNumber(b, &pos);
    const int maxval = kind == '4' ? 1 : NextNumber(b, &pos);
    pos++;  // one white-space byte
    const size_t n = static_cast<size_t>(out->width) * out->height;
    out->pixels.assign(n, 0);
    if (kind == '6' && maxval < 256) {
        if (b.size() < pos + n * 3) return false;
        for (size_t i = 0; i < n; i++, pos += 3) out->pixels[i] = b[pos] << 16 | b[pos + 1] << 8 | b[pos + 2];
        return true;
    }
    if (kind == '5' && maxval < 256) {
        if (b.size() < pos + n) return false;
        for (size_t i = 0; i < n; i++) out->pixels[i] = b[pos + i] * 0x010101u;
        return true;
    }
    if (kind == '4') {
        const size_t rowBytes = (out->width + 7) / 8;
        if (b.size() < pos + rowBytes * out->height) return false;
        for (int y = 0; y < out->height; y++)
            for (int x = 0; x < out->width; x++)
                out->pixels[y * out->width + x] = (b[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? 0 : 0xFFFFFF;
        return true;
    }
    return false;
}

FreePixels::~FreePixels() { free(p); }

TempPath::TempPath(const std::string &suffix) {
    char tmpl[] = "/tmp/cximgXXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    unlink(tmpl);
    path = std::string(tmpl) + suffix;
}

TempPath::~TempPath() { unlink(path.c_str()); }

}  // namespace cxtest
