// Building the font catalogue: the folders, the files in them by their
// extension, and one entry per face (a second one under the family name
// alone for regular faces), the first of each full name winning.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/charset/charset.h"
#include "errors/errors.h"
#include "text/fonts/font.h"
#include "text/fonts/font_catalogue.h"

namespace {

cxAvailableFont *g_list = nullptr;
cxAvailableFont *g_tail = nullptr;
// Folders of the system font trees already scanned in this scan, by device
// and inode: /usr/share/fonts holds the folders named before it.
std::set<std::pair<dev_t, ino_t>> g_scanned;

uint32_t BE16(const uint8_t *p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t BE32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool ReadAt(cxStream *s, uint64_t offset, void *buffer, size_t length) {
    return SeekFileStream(s, int64_t(offset), CX_SEEK_BEGINNING) >= 0 && ReadStreamData(s, buffer, length) == length;
}

bool Listed(const char *fullName) {
    for (const cxAvailableFont *f = g_list; f; f = f->next)
        if (Latin1CompareNoCase(f->fullName, fullName) == 0) return true;
    return false;
}

// One allocation for the record, its strings and its sizes.
void AddEntry(const std::string &family, const std::string &style, const std::string &path, uint32_t forkOffset,
              uint32_t forkLength, uint32_t collectionOffset, uint32_t bitmap, const std::vector<uint8_t> &sizes) {
    const std::string full = style.empty() ? family : family + " " + style;
    if (Listed(full.c_str())) return;
    const size_t bytes = sizeof(cxAvailableFont) + full.size() + family.size() + path.size() + 3 + sizes.size();
    auto *f = static_cast<cxAvailableFont *>(calloc(1, bytes));
    if (!f) return;
    char *p = reinterpret_cast<char *>(f + 1);
    auto put = [&p](const std::string &s) {
        memcpy(p, s.c_str(), s.size() + 1);
        char *at = p;
        p += s.size() + 1;
        return at;
    };
    f->fullName = put(full);
    f->family = put(family);
    f->path = put(path);
    f->sizes = reinterpret_cast<uint8_t *>(p);
    if (!sizes.empty()) memcpy(f->sizes, sizes.data(), sizes.size());
    f->sizeCount = uint32_t(sizes.size());
    ParseStyleWords(style.c_str(), &f->weight, &f->slant);
    f->dataForkOffset = forkOffset;
    f->dataForkLength = forkLength;
    f->collectionOffset = collectionOffset;
    f->bitmap = bitmap;
    if (g_tail) g_tail->next = f;
    else g_list = f;
    g_tail = f;
}

void AddFace(cxStream *s, const std::string &path, uint32_t faceOffset, uint32_t tableBase, uint32_t forkLength,
             bool collection, int familyOnly) {
    char family[256], style[256];
    if (!ReadTrueTypeNames(s, family, style, faceOffset, tableBase)) return;
    const uint32_t fork = forkLength ? faceOffset : 0, member = collection ? faceOffset : 0;
    AddEntry(family, style, path, fork, forkLength, member, 0, {});
    if (!familyOnly && style[0] && IsRegularStyleName(style)) AddEntry(family, "", path, fork, forkLength, member, 0, {});
}

bool EndsWith(const std::string &name, const char *suffix) {
    const size_t n = strlen(suffix);
    return name.size() >= n && Latin1CompareNoCase(name.c_str() + name.size() - n, suffix) == 0;
}

void ScanFile(const std::string &path, const std::string &name, int familyOnly) {
    cxStream *s = OpenFileStream(path.c_str(), CX_STREAM_READ, nullptr);
    if (!s) return;
    uint8_t b[12];
    if (EndsWith(name, ".ttf") || EndsWith(name, ".otf")) {
        AddFace(s, path, 0, 0, 0, false, familyOnly);
    } else if (EndsWith(name, ".ttc")) {
        if (ReadAt(s, 0, b, 12) && memcmp(b, "ttcf", 4) == 0) {
            const uint32_t count = BE32(b + 8);
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t o[4];
                if (!ReadAt(s, 12 + 4ull * i, o, 4)) break;
                AddFace(s, path, BE32(o), 0, 0, true, familyOnly);
            }
        }
    } else if (EndsWith(name, ".dfont")) {
        const uint64_t size = GetStreamSize(s);
        for (uint64_t pos = 256; size != CX_STREAM_SIZE_UNKNOWN && pos + 4 <= size && pos <= 0xFFFFFFFFu;) {
            uint8_t l[4];
            if (!ReadAt(s, pos, l, 4)) break;
            const uint32_t length = BE32(l);
            AddFace(s, path, uint32_t(pos + 4), uint32_t(pos + 4), length ? length : 1, false, familyOnly);
            pos += 4 + uint64_t(length);
        }
    } else if (EndsWith(name, ".font")) {
        if (ReadAt(s, 0, b, 4)) {
            const uint32_t id = BE16(b), n = BE16(b + 2);
            const std::string family = name.substr(0, name.size() - 5);
            if (id == 0x0F00 || id == 0x0F02) {
                std::vector<uint8_t> sizes;
                for (uint32_t i = 0; i < n; ++i) {
                    if (!ReadAt(s, 4 + 260ull * i + 256, b, 2)) break;
                    const uint8_t y = uint8_t(BE16(b));
                    if (std::find(sizes.begin(), sizes.end(), y) == sizes.end()) sizes.push_back(y);
                }
                AddEntry(family, "", path, 0, 0, 0, 1, sizes);
            } else if (id == 0x0F03) {
                AddEntry(family, "", path, 0, 0, 0, 0, {});
            }
        }
    }
    CloseFileStream(s);
}

bool IsFontFileName(const std::string &name) {
    if (name.size() < 6) return false;
    for (const char *e : {".font", ".ttf", ".otf", ".ttc", ".dfont"})
        if (EndsWith(name, e)) return true;
    return false;
}

} // namespace

extern "C" {

int ScanFontFolder(const char *folder, int familyOnly, int recursive) {
    struct stat st;
    DIR *dir = stat(folder, &st) == 0 && S_ISDIR(st.st_mode) ? opendir(folder) : nullptr;
    if (!dir) {
        SetErrorDetail(folder);
        return ERR_LOCK2;
    }
    if (recursive && !g_scanned.insert({st.st_dev, st.st_ino}).second) {
        closedir(dir);
        return 0;
    }
    // Names in order: which of two equal faces in one folder wins does not
    // depend on the file system.
    std::vector<std::pair<std::string, bool>> entries;
    std::string base(folder);
    if (!base.empty() && base.back() != '/') base += '/';
    while (const dirent *e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat es;
            if (stat((base + e->d_name).c_str(), &es) != 0) continue;
            isDir = S_ISDIR(es.st_mode);
        }
        entries.emplace_back(e->d_name, isDir);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    for (const auto &[name, isDir] : entries) {
        if (isDir) {
            if (recursive) ScanFontFolder((base + name).c_str(), familyOnly, 1);
        } else if (IsFontFileName(name)) {
            ScanFile(base + name, name, familyOnly);
        }
    }
    return 0;
}

int ScanFontFolders(int familyOnly) {
    int rc = 0;
    g_scanned.clear();
    for (size_t i = 0; i < GetFontPathCount(); ++i) rc = ScanFontFolder(GetFontPath(i), familyOnly, 0);
    // The system's font folders hold their fonts in sub-folders.
    for (const char *f : {"/usr/share/fonts/truetype", "/usr/local/share/fonts/truetype", "/usr/share/X11/fonts/TTF"})
        rc = ScanFontFolder(f, familyOnly, 1);
    if (const char *home = getenv("HOME")) rc = ScanFontFolder((std::string(home) + "/.fonts/truetype").c_str(), familyOnly, 1);
    rc = ScanFontFolder("/usr/share/fonts", familyOnly, 1);
    for (const char *f : {"Fonts", "FONTS", "fonts"}) rc = ScanFontFolder(f, familyOnly, 0);
    g_scanned.clear();
    return rc;
}

void BuildAvailableFontList(int familyOnly) {
    if (g_list) return;
    ScanFontFolders(familyOnly);
}

const cxAvailableFont *GetAvailableFontList(void) { return g_list; }

void FreeAvailableFontList(void) {
    while (g_list) {
        cxAvailableFont *next = g_list->next;
        free(g_list);
        g_list = next;
    }
    g_tail = nullptr;
}

const char *FindAvailableFont(const char *name, int32_t weight, int32_t slant, int keepCollections,
                              uint32_t *offset, uint32_t *length, int *temporary, char *pathOut,
                              size_t pathSize) {
    *offset = *length = 0;
    *temporary = 0;
    BuildAvailableFontList(0);
    for (const cxAvailableFont *f = g_list; f; f = f->next) {
        if (f->bitmap) continue;
        const bool match = weight == -1 ? Latin1CompareNoCase(f->fullName, name) == 0
                                        : Latin1CompareNoCase(f->family, name) == 0 && f->weight == weight &&
                                              f->slant == slant;
        if (!match) continue;
        if (keepCollections && (f->collectionOffset || f->dataForkLength)) continue;
        if (f->collectionOffset) {
            if (!ExtractCollectionFace(f->path, f->collectionOffset, pathOut, pathSize)) return nullptr;
            *temporary = 1;
            return pathOut;
        }
        if (strlen(f->path) >= pathSize) return nullptr;
        strcpy(pathOut, f->path);
        *offset = f->dataForkOffset;
        *length = f->dataForkLength;
        return pathOut;
    }
    return nullptr;
}

} // extern "C"
