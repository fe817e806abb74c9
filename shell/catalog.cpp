#include "shell/catalog.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "errors/errors.h"
#include "streams/stream.h"

struct cxCatalog {
    std::unordered_map<uint32_t, std::string> strings;
    std::string version;
};

namespace {

// Catalogs are small; anything larger is not one.
constexpr uint64_t kMaxCatalogSize = 64u << 20;

cxCatalog *g_playerCatalog;

uint32_t BE32(const unsigned char *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

std::string TrimNuls(const unsigned char *p, size_t n) {
    // A C string stored with its terminator (and padding) ends at the NUL.
    const void *nul = memchr(p, 0, n);
    if (nul) n = static_cast<size_t>(static_cast<const unsigned char *>(nul) - p);
    return std::string(reinterpret_cast<const char *>(p), n);
}

int ParseStrings(cxCatalog &c, const unsigned char *p, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (n - i < 8) return ERR_FILEFORMAT;
        uint32_t id = BE32(p + i);
        uint32_t len = BE32(p + i + 4);
        i += 8;
        if (len > n - i) return ERR_FILEFORMAT;
        c.strings.emplace(id, TrimNuls(p + i, len));
        i += len;
        // Entries are padded to a multiple of four; the last pad may be cut.
        size_t pad = (4 - (len & 3)) & 3;
        i += pad < n - i ? pad : n - i;
    }
    return 0;
}

int ParseIff(cxCatalog &c, const unsigned char *p, size_t n) {
    if (n < 12 || memcmp(p + 8, "CTLG", 4) != 0) return ERR_FILEFORMAT;
    uint32_t formSize = BE32(p + 4);
    if (formSize < 4 || formSize > n - 8) return ERR_FILEFORMAT;
    size_t end = 8 + size_t{formSize};
    size_t i = 12;
    while (i < end) {
        if (end - i < 8) return ERR_FILEFORMAT;
        const unsigned char *id = p + i;
        uint32_t size = BE32(p + i + 4);
        i += 8;
        if (size > end - i) return ERR_FILEFORMAT;
        if (memcmp(id, "FVER", 4) == 0) {
            c.version = TrimNuls(p + i, size);
        } else if (memcmp(id, "STRS", 4) == 0) {
            int err = ParseStrings(c, p + i, size);
            if (err) return err;
        }
        i += size;
        if ((size & 1) && i < end) i++;
    }
    return 0;
}

void ParseText(cxCatalog &c, const unsigned char *p, size_t n) {
    uint32_t id = 0;
    size_t i = 0;
    while (i < n) {
        size_t eol = i;
        while (eol < n && p[eol] != '\n') eol++;
        size_t stop = eol;
        if (stop > i && p[stop - 1] == '\r') stop--;
        std::string text;
        for (size_t k = i; k < stop && p[k]; k++) {
            char ch = static_cast<char>(p[k]);
            if (ch == '\\' && k + 1 < stop) {
                char e = static_cast<char>(p[k + 1]);
                if (e == 'n' || e == 't' || e == '\\') {
                    text += e == 'n' ? '\n' : e == 't' ? '\t' : '\\';
                    k++;
                    continue;
                }
            }
            text += ch;
        }
        if (!text.empty()) c.strings.emplace(id, std::move(text));
        id++;
        i = eol + 1;
    }
}

const char *PlayerLookup(unsigned id) { return GetCatalogString(g_playerCatalog, id); }

bool IsFile(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

extern "C" {

int LoadCatalogFromMemory(const void *data, size_t size, cxCatalog **out) {
    if (!out) return ERR_WRONGUSAGE;
    *out = nullptr;
    auto c = std::unique_ptr<cxCatalog>(new (std::nothrow) cxCatalog);
    if (!c) return ERR_MEM;
    const auto *p = static_cast<const unsigned char *>(data);
    try {
        if (size >= 4 && memcmp(p, "FORM", 4) == 0) {
            int err = ParseIff(*c, p, size);
            if (err) return err;
        } else if (size) {
            ParseText(*c, p, size);
        }
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    *out = c.release();
    return 0;
}

int LoadCatalog(const char *path, cxCatalog **out) {
    if (!out) return ERR_WRONGUSAGE;
    *out = nullptr;
    cxStream *s = OpenFileStream(path, CX_STREAM_READ, nullptr);
    if (!s) {
        SetErrorDetail(path);
        return ERR_READFILE;
    }
    std::vector<unsigned char> data;
    uint64_t size = GetStreamSize(s);
    int err = 0;
    if (size == CX_STREAM_SIZE_UNKNOWN || size > kMaxCatalogSize) {
        err = ERR_FILEFORMAT;
    } else {
        try {
            data.resize(static_cast<size_t>(size));
        } catch (const std::bad_alloc &) {
            err = ERR_MEM;
        }
        if (!err && ReadStreamData(s, data.data(), data.size()) != data.size()) {
            SetErrorDetail(path);
            err = ERR_READFILE;
        }
    }
    CloseFileStream(s);
    if (err) return err;
    return LoadCatalogFromMemory(data.data(), data.size(), out);
}

const char *GetCatalogString(const cxCatalog *catalog, unsigned id) {
    if (!catalog) return nullptr;
    auto it = catalog->strings.find(id);
    return it == catalog->strings.end() ? nullptr : it->second.c_str();
}

const char *GetCatalogVersion(const cxCatalog *catalog) { return catalog ? catalog->version.c_str() : ""; }

size_t GetCatalogStringCount(const cxCatalog *catalog) { return catalog ? catalog->strings.size() : 0; }

void FreeCatalog(cxCatalog *catalog) { delete catalog; }

int CatalogLanguage(const char *locale, char *out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (!locale) return 0;
    size_t n = strcspn(locale, ".@");
    if (n == 0 || (n == 1 && locale[0] == 'C') || (n == 5 && strncmp(locale, "POSIX", 5) == 0)) return 0;
    if (n >= size || memchr(locale, '/', n)) return 0;
    memcpy(out, locale, n);
    out[n] = 0;
    return 1;
}

int OpenPlayerCatalog(const char *programDir, const char *language) {
    ClosePlayerCatalog();
    if (!programDir || !language || !*language || strchr(language, '/')) return 0;
    std::string lang = language;
    std::vector<std::string> langs{lang};
    size_t us = lang.find('_');
    if (us != std::string::npos && us > 0) langs.push_back(lang.substr(0, us));
    std::string dir = programDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (const std::string &l : langs) {
        for (const char *folder : {"Catalogs/", "catalogs/"}) {
            std::string path = dir + folder + l + "/Calyxtone.catalog";
            if (!IsFile(path)) continue;
            cxCatalog *c;
            int err = LoadCatalog(path.c_str(), &c);
            if (err) return err;
            g_playerCatalog = c;
            SetMessageOverride(PlayerLookup);
            return 0;
        }
    }
    return 0;
}

void ClosePlayerCatalog(void) {
    if (GetMessageOverride() == PlayerLookup) SetMessageOverride(nullptr);
    FreeCatalog(g_playerCatalog);
    g_playerCatalog = nullptr;
}

}  // extern "C"
