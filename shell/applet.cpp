// Applet file reader. Every length in the file is checked against what is
// left of the file or the section before anything is allocated or copied.
#include "shell/applet.h"

#include "streams/cxpk/cxpk.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/errors.h"

namespace {


constexpr size_t kSectionHeader = 16;
constexpr uint32_t kFlagPacked = 1;
// Unpacked sections are held in memory; a hostile size must not make the
// reader ask for more than this.
constexpr uint32_t kMaxUnpacked = 256u << 20;

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

// Appends in O(1): a hostile applet may hold millions of tiny sections.
template <typename T>
struct Tail {
    T **next;
    explicit Tail(T **head) : next(head) {
        while (*next) next = &(*next)->next;
    }
    void Add(T *node) {
        *next = node;
        next = &node->next;
    }
};

// Why a file did not open, in the system's words: missing, a folder (no
// applet), or there but unreadable.
int OpenFailureCode(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? ERR_FILEEXIST : ERR_READFILE;
    if (S_ISDIR(st.st_mode)) return ERR_NOAPPLET;
    return ERR_READFILE;
}

uint32_t BE32(const unsigned char *p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

char *DupBytes(const void *data, size_t n) {
    auto *p = static_cast<char *>(malloc(n + 1));
    if (!p) return nullptr;
    if (n) memcpy(p, data, n);
    p[n] = 0;
    return p;
}

// Appends up to limit - 1 bytes of text to a field of limit bytes, cut so
// that no UTF-8 character is split.
void CopyInfoString(char *field, size_t limit, const std::string &text) {
    size_t n = text.size();
    if (n >= limit) {
        n = limit - 1;
        for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; back++) n--;
    }
    memcpy(field, text.data(), n);
    field[n] = 0;
}


// Bounded reader over one section's payload.
class Cursor {
public:
    Cursor(const unsigned char *p, size_t n) : p_(p), end_(p + n) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return p_ == end_; }
    size_t left() const { return static_cast<size_t>(end_ - p_); }

    uint32_t U(int n) {
        if (!Need(static_cast<size_t>(n))) return 0;
        uint32_t v = 0;
        for (int i = 0; i < n; i++) v = (v << 8) | *p_++;
        return v;
    }
    double F64() {
        if (!Need(8)) return 0;
        uint64_t bits = 0;
        for (int i = 0; i < 8; i++) bits = (bits << 8) | *p_++;
        double d;
        memcpy(&d, &bits, sizeof d);
        return d;
    }
    // A string or data of n bytes; null on overrun, embedded NUL when text
    // is required, or no memory.
    char *Bytes(size_t n, bool text) {
        if (!Need(n)) return nullptr;
        if (text && n && memchr(p_, 0, n)) {  // p_ is null in an empty section
            ok_ = false;
            return nullptr;
        }
        char *s = DupBytes(p_, n);
        if (!s) {
            ok_ = false;
            noMemory_ = true;
            return nullptr;
        }
        p_ += n;
        return s;
    }
    char *Str16() { return Bytes(U(2), true); }
    bool noMemory() const { return noMemory_; }

private:
    bool Need(size_t n) {
        if (!ok_ || left() < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    const unsigned char *p_;
    const unsigned char *end_;
    bool ok_ = true;
    bool noMemory_ = false;
};

int CursorError(const Cursor &c) { return c.noMemory() ? ERR_MEM : ERR_FILEFORMAT; }

int ParseItem(Tail<cxPreprocItem> &list, Cursor &c) {
    auto *item = static_cast<cxPreprocItem *>(calloc(1, sizeof(cxPreprocItem)));
    if (!item) return ERR_MEM;
    item->type = c.U(4);
    item->id = static_cast<int32_t>(c.U(4));
    item->name = c.Str16();
    uint32_t count = c.U(2);
    cxPreprocTag **tail = &item->tags;
    for (uint32_t i = 0; i < count && c.ok(); i++) {
        auto *tag = static_cast<cxPreprocTag *>(calloc(1, sizeof(cxPreprocTag)));
        if (!tag) {
            FreePreprocItem(item);
            return ERR_MEM;
        }
        *tail = tag;
        tail = &tag->next;
        tag->key = c.Str16();
        tag->kind = static_cast<int>(c.U(1));
        switch (tag->kind) {
        case CX_TAG_NUMBER:
            tag->number = c.F64();
            break;
        case CX_TAG_STRING:
        case CX_TAG_DATA: {
            uint32_t n = c.U(4);
            tag->text = c.Bytes(n, tag->kind == CX_TAG_STRING);
            tag->size = n;
            break;
        }
        default:
            FreePreprocItem(item);
            return ERR_FILEFORMAT;
        }
    }
    if (!c.ok() || !c.atEnd()) {
        int err = CursorError(c);
        FreePreprocItem(item);
        return c.ok() ? ERR_FILEFORMAT : err;
    }
    list.Add(item);
    return 0;
}

int ParseLabel(Tail<cxAppletLabel> &list, Cursor &c) {
    auto *label = static_cast<cxAppletLabel *>(calloc(1, sizeof(cxAppletLabel)));
    if (!label) return ERR_MEM;
    label->name = c.Str16();
    label->position = static_cast<int32_t>(c.U(4));
    if (!c.ok() || !c.atEnd()) {
        int err = c.ok() ? ERR_FILEFORMAT : CursorError(c);
        FreeAppletLabel(label);
        return err;
    }
    list.Add(label);
    return 0;
}

int ParseInclude(Tail<cxIncludeRun> &list, Cursor &c) {
    auto *run = static_cast<cxIncludeRun *>(calloc(1, sizeof(cxIncludeRun)));
    if (!run) return ERR_MEM;
    run->file = c.Str16();
    run->firstLine = c.U(4);
    run->lineCount = c.U(4);
    run->ownFirstLine = c.U(4);
    if (!c.ok() || !c.atEnd()) {
        int err = c.ok() ? ERR_FILEFORMAT : CursorError(c);
        FreeIncludeRun(run);
        return err;
    }
    list.Add(run);
    return 0;
}

bool TagIs(const unsigned char *tag, const char *name) { return memcmp(tag, name, 4) == 0; }

class SectionReader {
public:
    SectionReader(cxApplet *a, cxStream *s, uint64_t size)
        : a_(a), s_(s), size_(size), items_(&a->items), files_(&a->files), fonts_(&a->fonts),
          labels_(&a->labels), includes_(&a->includes) {}

    int Run() {
        uint64_t at = a_->sectionsOffset;
        bool seenVersion = false, seenIdent = false;
        for (;;) {
            unsigned char h[kSectionHeader];
            if (at > size_ || size_ - at < kSectionHeader) return ERR_READ;
            if (!ReadAt(at, h, kSectionHeader)) return ERR_READ;
            const unsigned char *tag = h;
            uint32_t flags = BE32(h + 4);
            uint32_t stored = BE32(h + 8);
            uint32_t unpacked = BE32(h + 12);
            uint64_t payload = at + kSectionHeader;
            if (size_ - payload < stored) return ERR_READ;
            at = payload + stored;

            if (!(TagIs(tag, "VERS") || TagIs(tag, "IDNT") || TagIs(tag, "ITEM") || TagIs(tag, "FILE") ||
                  TagIs(tag, "FONT") || TagIs(tag, "LABL") || TagIs(tag, "INCL") || TagIs(tag, "CODE") ||
                  TagIs(tag, "END "))) {
                std::string t(reinterpret_cast<const char *>(tag), 4);
                for (char &ch : t) {
                    if (static_cast<unsigned char>(ch) < 32 || static_cast<unsigned char>(ch) > 126) ch = '?';
                }
                SetErrorDetail(t.c_str());
                return ERR_UNKNOWNSEC;
            }
            if (flags & ~kFlagPacked) return ERR_FILEFORMAT;
            bool packed = flags & kFlagPacked;
            if (!packed && unpacked != stored) return ERR_FILEFORMAT;

            if (TagIs(tag, "END ")) return stored == 0 && !packed ? 0 : ERR_FILEFORMAT;

            if (TagIs(tag, "FILE") || TagIs(tag, "FONT")) {
                // Linked files stay windows of the applet file, so they are
                // never packed.
                if (packed) return ERR_FILEFORMAT;
                int err = ReadLinked(TagIs(tag, "FONT") ? fonts_ : files_, payload, stored);
                if (err) return err;
                continue;
            }
            if (TagIs(tag, "CODE")) {
                if (a_->hasMainChunk) return ERR_FILEFORMAT;
                if (packed) {
                    std::vector<unsigned char> data;
                    int err = Unpack(payload, stored, unpacked, data);
                    if (err) return err;
                    a_->chunkData = reinterpret_cast<unsigned char *>(DupBytes(data.data(), data.size()));
                    if (!a_->chunkData) return ERR_MEM;
                    a_->chunkSize = data.size();
                } else {
                    a_->chunkOffset = payload;
                    a_->chunkLength = stored;
                }
                a_->hasMainChunk = 1;
                continue;
            }

            std::vector<unsigned char> data;
            int err = packed ? Unpack(payload, stored, unpacked, data) : ReadPayload(payload, stored, data);
            if (err) return err;
            Cursor c(data.data(), data.size());
            if (TagIs(tag, "VERS")) {
                if (seenVersion || data.size() != 4) return ERR_FILEFORMAT;
                seenVersion = true;
                a_->versionMajor = static_cast<int>(c.U(2));
                a_->versionMinor = static_cast<int>(c.U(2));
            } else if (TagIs(tag, "IDNT")) {
                if (seenIdent) return ERR_FILEFORMAT;
                seenIdent = true;
                a_->identifier = c.Bytes(data.size(), true);
                if (!a_->identifier) return CursorError(c);
            } else if (TagIs(tag, "ITEM")) {
                err = ParseItem(items_, c);
            } else if (TagIs(tag, "LABL")) {
                err = ParseLabel(labels_, c);
            } else {
                err = ParseInclude(includes_, c);
            }
            if (err) return err;
        }
    }

private:
    bool ReadAt(uint64_t at, void *dst, size_t n) {
        if (at > static_cast<uint64_t>(INT64_MAX)) return false;
        if (SeekFileStream(s_, static_cast<int64_t>(at), CX_SEEK_BEGINNING) < 0) return false;
        return ReadStream(s_, dst, n) == n;
    }

    int ReadPayload(uint64_t at, uint32_t n, std::vector<unsigned char> &out) {
        try {
            out.resize(n);
        } catch (const std::exception &) {  // bad_alloc, or length_error on 32 bits
            return ERR_MEM;
        }
        return ReadAt(at, out.data(), n) ? 0 : ERR_READ;
    }

    int ReadLinked(Tail<cxLinkedFile> &list, uint64_t payload, uint32_t stored) {
        unsigned char len[2];
        if (stored < 2 || !ReadAt(payload, len, 2)) return ERR_FILEFORMAT;
        uint32_t nameLen = (uint32_t{len[0]} << 8) | len[1];
        if (nameLen == 0 || stored - 2 < nameLen) return ERR_FILEFORMAT;
        std::vector<unsigned char> name(nameLen);
        if (!ReadAt(payload + 2, name.data(), nameLen)) return ERR_READ;
        if (memchr(name.data(), 0, nameLen)) return ERR_FILEFORMAT;
        auto *f = static_cast<cxLinkedFile *>(calloc(1, sizeof(cxLinkedFile)));
        if (!f) return ERR_MEM;
        f->name = DupBytes(name.data(), nameLen);
        if (!f->name) {
            free(f);
            return ERR_MEM;
        }
        f->offset = payload + 2 + nameLen;
        f->length = stored - 2 - nameLen;
        list.Add(f);
        return 0;
    }

    int Unpack(uint64_t payload, uint32_t stored, uint32_t unpacked, std::vector<unsigned char> &out) {
        if (unpacked > kMaxUnpacked || unpacked > MaxCxpkUnpackedSize(stored)) return ERR_FILEFORMAT;
        try {
            // One spare byte: an item that holds more than it claims would
            // fill it, which tells a wrong size from a right one.
            out.resize(size_t{unpacked} + 1);
        } catch (const std::bad_alloc &) {
            return ERR_MEM;
        }
        StreamPtr window(OpenWindowStream(a_->path, a_->base + payload, stored));
        if (!window) return ERR_READ;
        uint64_t written = 0;
        int err = UnpackCxpk("CXPK", nullptr, nullptr, window.get(), 0, &written, nullptr, out.data(), out.size());
        if (err) return err;
        if (written != unpacked) return ERR_FILEFORMAT;
        out.resize(unpacked);
        return 0;
    }

    cxApplet *a_;
    cxStream *s_;
    uint64_t size_;
    Tail<cxPreprocItem> items_;
    Tail<cxLinkedFile> files_;
    Tail<cxLinkedFile> fonts_;
    Tail<cxAppletLabel> labels_;
    Tail<cxIncludeRun> includes_;
};

}  // namespace

extern "C" {


void ParseAppletInfoBlock(cxApplet *applet, const unsigned char *block, size_t size) {
    if (!applet || !block) return;
    if (size > CX_APPLET_INFO_BLOCK) size = CX_APPLET_INFO_BLOCK;
    bool convert = false;
    size_t i = 4;
    while (i < size) {
        unsigned op = block[i++];
        int slot = -1;
        switch (op) {
        case 10:
            i += 2;
            continue;
        case 29:
            continue;
        case 35:
            if (i >= size) return;
            convert = block[i++] != 0;
            continue;
        case 11: slot = 0; break;
        case 12: slot = 1; break;
        case 13: slot = 2; break;
        case 14: slot = 3; break;
        case 15: slot = 4; break;
        case 34: slot = 5; break;
        default:
            return;
        }
        // The string runs to its NUL or to the end of the block.
        size_t start = i;
        while (i < size && block[i]) i++;
        std::string text;
        for (size_t k = start; k < i; k++) {
            unsigned char ch = block[k];
            if (k == start && slot == 1 && ch == 255) ch = '$';
            if (convert && ch >= 0x80) {
                text += static_cast<char>(0xC0 | (ch >> 6));
                text += static_cast<char>(0x80 | (ch & 0x3F));
            } else {
                text += static_cast<char>(ch);
            }
            if (text.size() >= 2 * CX_APPLET_INFO_SIZE) break;
        }
        CopyInfoString(applet->info[slot], CX_APPLET_INFO_SIZE, text);
        i++;  // the NUL
    }
}

int ReadAppletHeader(cxApplet *applet, const char *path, uint64_t base, int skipInfo) {
    if (!applet || !path) return ERR_NOAPPLET;
    size_t n = strlen(path);
    if (n > CX_APPLET_PATH_MAX) {
        SetErrorDetail(path);
        return ERR_FILEEXIST;
    }
    memcpy(applet->path, path, n + 1);
    applet->base = base;
    StreamPtr s(OpenWindowStream(path, base, UINT64_MAX - base));
    if (!s) {
        SetErrorDetail(path);
        return OpenFailureCode(path);
    }
    unsigned char h[8];
    if (ReadStream(s.get(), h, 4) != 4) {
        // Shorter than the mark every applet begins with.
        SetErrorDetail(path);
        return ERR_NOAPPLET;
    }
    if (h[0] != 'C' || h[1] != 'X' || (h[2] != 'A' && h[2] != 'Z') || h[3] != 0) {
        SetErrorDetail(path);
        return ERR_NOAPPLET;
    }
    applet->packed = h[2] == 'Z';
    uint64_t size = GetStreamSize(s.get());

    if (!applet->packed) {
        applet->sectionsOffset = CX_APPLET_INFO_BLOCK;
        if (skipInfo) return 0;
        std::vector<unsigned char> block(CX_APPLET_INFO_BLOCK);
        memcpy(block.data(), h, 4);
        if (ReadStream(s.get(), block.data() + 4, block.size() - 4) != block.size() - 4) {
            SetErrorDetail(path);
            return ERR_READFILE;
        }
        ParseAppletInfoBlock(applet, block.data(), block.size());
        return 0;
    }

    // A packed applet begins with its packed info block; the item's length,
    // kept in the bytes the unpacker skips, says where the sections begin.
    if (ReadStream(s.get(), h + 4, 4) != 4) {
        SetErrorDetail(path);
        return ERR_READFILE;
    }
    uint64_t itemLength = BE32(h + 4);
    if (itemLength < 8 || itemLength > size) return ERR_FILEFORMAT;
    applet->sectionsOffset = itemLength;
    if (skipInfo) return 0;
    std::vector<unsigned char> block;
    try {
        block.assign(CX_APPLET_INFO_BLOCK, 0);
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    StreamPtr item(OpenWindowStream(path, base, itemLength));
    if (!item) return ERR_READ;
    uint64_t written = 0;
    int err = UnpackCxpk("CXZ", nullptr, nullptr, item.get(), 0, &written, nullptr, block.data(), block.size());
    if (err) return err;
    ParseAppletInfoBlock(applet, block.data(), block.size());
    return 0;
}

int LoadApplet(cxApplet *applet) {
    if (!applet || !applet->path[0]) return ERR_NOAPPLET;
    ClearAppletSections(applet);
    StreamPtr s(OpenWindowStream(applet->path, applet->base, UINT64_MAX - applet->base));
    if (!s) {
        SetErrorDetail(applet->path);
        return OpenFailureCode(applet->path);
    }
    uint64_t size = GetStreamSize(s.get());
    int err = SectionReader(applet, s.get(), size).Run();
    if (err == ERR_READ) {
        // A cut file: the report names it.
        SetErrorDetail(applet->path);
        err = ERR_READFILE;
    }
    if (err) ClearAppletSections(applet);
    return err;
}

}  // extern "C"
