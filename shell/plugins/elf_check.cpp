#include "shell/plugins/elf_check.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

#if __SIZEOF_POINTER__ == 8
constexpr unsigned char kClass = ELFCLASS64;
#else
constexpr unsigned char kClass = ELFCLASS32;
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kData = ELFDATA2LSB;
#else
constexpr unsigned char kData = ELFDATA2MSB;
#endif

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

bool ReadAt(int fd, void *buf, size_t n, uint64_t offset) {
    auto *p = static_cast<unsigned char *>(buf);
    while (n) {
        ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool Fail(const char *path, const char *reason, std::string *why) {
    if (why) *why = std::string(path) + ": " + reason;
    return false;
}

}  // namespace

bool CheckSharedObjectFile(const char *path, std::string *why) {
    Fd f{open(path, O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) return Fail(path, strerror(errno), why);
    struct stat st;
    if (fstat(f.fd, &st) != 0) return Fail(path, strerror(errno), why);
    if (!S_ISREG(st.st_mode)) return Fail(path, "not a regular file", why);
    const uint64_t size = static_cast<uint64_t>(st.st_size);

    ElfW(Ehdr) eh;
    if (size < sizeof eh || !ReadAt(f.fd, &eh, sizeof eh, 0)) return Fail(path, "file too short", why);
    if (memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0) return Fail(path, "not a shared object (no ELF header)", why);
    if (eh.e_ident[EI_CLASS] != kClass || eh.e_ident[EI_DATA] != kData)
        return Fail(path, "shared object built for another machine", why);
    if (eh.e_type != ET_DYN) return Fail(path, "not a shared object", why);
    if (eh.e_phnum == 0 || eh.e_phentsize != sizeof(ElfW(Phdr)))
        return Fail(path, "invalid program headers", why);
    // 64-bit sums: the offsets come from the file.
    const uint64_t phEnd = static_cast<uint64_t>(eh.e_phoff) + uint64_t{eh.e_phnum} * sizeof(ElfW(Phdr));
    if (phEnd > size) return Fail(path, "file is truncated (program headers)", why);

    std::vector<ElfW(Phdr)> ph(eh.e_phnum);
    if (!ReadAt(f.fd, ph.data(), ph.size() * sizeof(ElfW(Phdr)), eh.e_phoff))
        return Fail(path, "file is truncated (program headers)", why);
    for (const ElfW(Phdr) &h : ph) {
        if (h.p_type != PT_LOAD && h.p_type != PT_DYNAMIC) continue;
        const uint64_t off = h.p_offset, len = h.p_filesz;
        if (off > size || len > size - off) return Fail(path, "file is truncated (segment past its end)", why);
    }
    return true;
}
