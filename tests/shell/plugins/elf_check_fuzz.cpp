// libFuzzer target for the look at a plug-in file before the dynamic
// loader maps it: the input is the file (an anonymous memory file, named
// through /proc). A file the check passes holds its program headers and
// every loadable segment within its size; that is checked again here.
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/plugins/elf_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const int fd = memfd_create("cxfuzz-elf", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
    if (size && pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    std::string why;
    if (!CheckSharedObjectFile(path.c_str(), &why)) {
        if (why.empty()) abort(); // a refusal always says why
        return 0;
    }
    ElfW(Ehdr) eh;
    if (size < sizeof eh) abort();
    memcpy(&eh, data, sizeof eh);
    if (uint64_t(eh.e_phoff) + uint64_t(eh.e_phnum) * sizeof(ElfW(Phdr)) > size) abort();
    for (int i = 0; i < eh.e_phnum; ++i) {
        ElfW(Phdr) ph;
        memcpy(&ph, data + eh.e_phoff + size_t(i) * sizeof ph, sizeof ph);
        if ((ph.p_type == PT_LOAD || ph.p_type == PT_DYNAMIC) && uint64_t(ph.p_offset) + ph.p_filesz > size) abort();
    }
    return 0;
}
