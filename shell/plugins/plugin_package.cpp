#include "shell/plugins/plugin_package.h"

#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"

namespace {

std::string g_tempDir;
// The same path for the signal path, which may not allocate: set once the
// folder exists, cleared before the folder goes.
char g_signalDir[1024];
volatile sig_atomic_t g_signalDirSet = 0;

// The kernel's directory record (getdents64), which glibc does not declare.
struct KernelDirent {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

uint32_t BE32(const unsigned char *b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

// Reads exactly n bytes; false when the file ends first or fails.
bool ReadExact(FILE *f, void *out, size_t n) { return n == 0 || fread(out, 1, n, f) == n; }

// A name fit for the error detail: control bytes shown as "?".
std::string Printable(const char *name, size_t n) {
    std::string s(name, n);
    for (char &c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return s;
}

// The unpacked bytes of one entry, checked against its size and checksum.
int UnpackEntry(const std::vector<unsigned char> &stored, uint32_t size, uint32_t crc,
                std::vector<unsigned char> &out) {
    char source[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(source, sizeof source, stored.data(), stored.size())) return ERR_MEM;
    out.assign(size, 0);
    // The buffer bounds the output: a stream that unpacks to more than the
    // entry declares cannot fill the disk or the memory.
    int err = UnpackCxpk(CX_PACKAGE_ENTRY_MAGIC, source, nullptr, nullptr, 0, nullptr, nullptr, size ? out.data() : nullptr, size);
    ReleaseMemoryName(stored.data(), stored.size());
    if (err) return err;
    const uLong sum = crc32(crc32(0L, Z_NULL, 0), out.data(), static_cast<uInt>(out.size()));
    return static_cast<uint32_t>(sum) == crc ? 0 : ERR_ZLIBDATA;
}

int WriteEntry(int dirFd, const std::string &name, const std::vector<unsigned char> &data) {
    int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetErrorDetail(name.c_str());
        return errno == EEXIST ? ERR_LINKPLUGIN : ERR_WRITEFILE;
    }
    FdCloser closer{fd};
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ERR_WRITE;
        done += static_cast<size_t>(n);
    }
    closer.fd = -1;
    return close(fd) == 0 ? 0 : ERR_WRITE;
}

int Extract(FILE *f, const char *programPath, uint64_t offset, int dirFd, uint64_t *appletOffset) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0) return ERR_READ;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (offset > fileSize || fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return ERR_READ;

    unsigned char header[CX_PACKAGE_HEADER_SIZE];
    if (!ReadExact(f, header, sizeof header)) return ERR_READ;
    const uint32_t version = BE32(header + 4);
    const uint32_t count = BE32(header + 8);
    const uint32_t length = BE32(header + 12);
    SetErrorDetail(programPath);
    if (memcmp(header, CX_PACKAGE_MAGIC, 4) != 0 || version != CX_PACKAGE_VERSION) return ERR_FILEFORMAT;
    if (length < CX_PACKAGE_HEADER_SIZE || offset + length > fileSize) return ERR_FILEFORMAT;

    uint64_t used = CX_PACKAGE_HEADER_SIZE;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; i++) {
        unsigned char nameLength[2];
        if (used + 2 > length || !ReadExact(f, nameLength, 2)) return ERR_FILEFORMAT;
        const size_t n = (size_t{nameLength[0]} << 8) | nameLength[1];
        char name[CX_PACKAGE_NAME_MAX + 1];
        if (n == 0 || n > CX_PACKAGE_NAME_MAX || used + 2 + n + 12 > length) return ERR_FILEFORMAT;
        unsigned char sizes[12];
        if (!ReadExact(f, name, n) || !ReadExact(f, sizes, sizeof sizes)) return ERR_READ;
        name[n] = 0;
        // The scan takes names without regard to case: two that differ only
        // in case are one plug-in given twice.
        bool twice = false;
        for (const std::string &seen : names) twice = twice || strcasecmp(seen.c_str(), name) == 0;
        if (!IsValidPackageEntryName(name, n) || twice) {
            SetErrorDetail(Printable(name, n).c_str());
            return ERR_LINKPLUGIN;
        }
        names.emplace_back(name);
        const uint32_t size = BE32(sizes);
        const uint32_t crc = BE32(sizes + 4);
        const uint32_t storedSize = BE32(sizes + 8);
        used += 2 + n + 12;
        SetErrorDetail(programPath);
        if (size > CX_PACKAGE_ENTRY_MAX || storedSize > length - used || size > MaxCxpkUnpackedSize(storedSize))
            return ERR_FILEFORMAT;

        std::vector<unsigned char> stored;
        try {
            stored.resize(storedSize);
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        if (!ReadExact(f, stored.data(), storedSize)) return ERR_READ;
        used += storedSize;

        std::vector<unsigned char> data;
        int err = 0;
        try {
            err = UnpackEntry(stored, size, crc, data);
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
        if (err) {
            SetErrorDetail(name);
            return err;
        }
        if ((err = WriteEntry(dirFd, name, data))) return err;
    }
    SetErrorDetail(programPath);
    if (used != length) return ERR_FILEFORMAT;
    if (appletOffset) *appletOffset = offset + length;
    return 0;
}

}  // namespace

extern "C" int IsValidPackageEntryName(const char *name, size_t length) {
    if (!name || length < 5 || length > CX_PACKAGE_NAME_MAX) return 0;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return 0;
        if (c == '.' && i + 1 < length && name[i + 1] == '.') return 0;
    }
    return strncasecmp(name + length - 4, ".cxp", 4) == 0;
}

extern "C" const char *GetPluginTempDir(void) { return g_tempDir.empty() ? nullptr : g_tempDir.c_str(); }

extern "C" void RemoveAppendedPluginsFromSignal(void) {
    if (!g_signalDirSet) return;
    g_signalDirSet = 0;
    // Only async-signal-safe calls: the names come from getdents64 into a
    // static buffer. Entries may shift while they go, so a few passes.
    static char buf[8192];
    const int fd = open(g_signalDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        for (int pass = 0; pass < 8; pass++) {
            bool removed = false;
            lseek(fd, 0, SEEK_SET);
            for (;;) {
                const long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
                if (n <= 0) break;
                for (long at = 0; at < n;) {
                    const auto *e = reinterpret_cast<const KernelDirent *>(buf + at);
                    at += e->reclen;
                    if (strcmp(e->name, ".") == 0 || strcmp(e->name, "..") == 0) continue;
                    removed = unlinkat(fd, e->name, 0) == 0 || removed;
                }
            }
            if (!removed) break;
        }
        close(fd);
    }
    rmdir(g_signalDir);
}

extern "C" int RemoveAppendedPlugins(void) {
    if (g_tempDir.empty()) return 0;
    g_signalDirSet = 0;
    const std::string dir = g_tempDir;
    g_tempDir.clear();
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        // Entries go by the folder's descriptor: no change of the current
        // folder, and no path that could lead elsewhere.
        if (DIR *d = fdopendir(dup(fd))) {
            std::vector<std::string> names;
            while (dirent *e = readdir(d)) {
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
            }
            closedir(d);
            for (const std::string &name : names) unlinkat(fd, name.c_str(), 0);
        }
        close(fd);
    }
    if (rmdir(dir.c_str()) != 0 && errno != ENOENT) {
        SetErrorDetail(dir.c_str());
        return ERR_DELETEFILE;
    }
    return 0;
}

extern "C" int ExtractAppendedPlugins(const char *programPath, uint64_t packageOffset, const char *tempRoot,
                                      uint64_t *appletOffset) {
    RemoveAppendedPlugins();
    if (!programPath) {
        SetErrorDetail("");
        return ERR_READFILE;
    }
    FilePtr f(fopen(programPath, "rb"));
    if (!f) {
        SetErrorDetail(programPath);
        return ERR_READFILE;
    }
    std::string folder = (tempRoot && *tempRoot) ? tempRoot : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    folder += folder == "/" ? "cxplugins-XXXXXX" : "/cxplugins-XXXXXX";
    if (folder.size() >= 1024 || !mkdtemp(folder.data())) {
        SetErrorDetail(folder.c_str());
        return ERR_CREATEDIR;
    }
    g_tempDir = folder;
    memcpy(g_signalDir, folder.c_str(), folder.size() + 1);  // shorter than 1024, checked above
    g_signalDirSet = 1;

    int err = ERR_CREATEDIR;
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd >= 0) {
        err = Extract(f.get(), programPath, packageOffset, dirFd, appletOffset);
        close(dirFd);
    } else {
        SetErrorDetail(folder.c_str());
    }
    if (err) {
        // Keep the detail of the failure, not of the clean-up.
        char detail[CX_ERROR_DETAIL_MAX + 1];
        snprintf(detail, sizeof detail, "%s", GetErrorDetail());
        RemoveAppendedPlugins();
        SetErrorDetail(detail);
    }
    return err;
}
