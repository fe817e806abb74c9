#include "tools/applet-writer/applet_writer.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace cxtools {
namespace {

constexpr size_t kInfoBlock = 2048;

void Put(Bytes &out, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; i--) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void PutStr16(Bytes &out, const std::string &s) {
    if (s.size() > 0xFFFF) throw std::length_error("string too long for the applet format");
    Put(out, s.size(), 2);
    out.insert(out.end(), s.begin(), s.end());
}

void PatchBE32(Bytes &out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace

Bytes PackCxpk(const char magic[4], const Bytes &data) {
    uLongf bound = compressBound(static_cast<uLong>(data.size()));
    Bytes out(8 + bound);
    memcpy(out.data(), magic, 4);
    if (compress2(out.data() + 8, &bound, data.data(), static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib failed");
    out.resize(8 + bound);
    return out;
}

void AppletWriter::SetInfo(int slot, const std::string &text) { info_.at(static_cast<size_t>(slot)) = text; }

void AppletWriter::SetRawInfo(const Bytes &opcodes) {
    rawInfo_ = true;
    infoOps_ = opcodes;
}

void AppletWriter::AddSection(const std::string &tag, const Bytes &payload, bool pack) {
    if (tag.size() != 4) throw std::invalid_argument("section tags have 4 characters");
    sections_.push_back({tag, payload, pack});
}

void AppletWriter::AddVersion(int major, int minor) {
    Bytes p;
    Put(p, static_cast<uint32_t>(major), 2);
    Put(p, static_cast<uint32_t>(minor), 2);
    AddSection("VERS", p);
}

void AppletWriter::AddIdentifier(const std::string &id) { AddSection("IDNT", Bytes(id.begin(), id.end())); }

void AppletWriter::AddItem(const DeclaredItem &item, bool pack) {
    Bytes p;
    Put(p, item.type, 4);
    Put(p, static_cast<uint32_t>(item.id), 4);
    PutStr16(p, item.name);
    Put(p, item.tags.size(), 2);
    for (const TagValue &t : item.tags) {
        PutStr16(p, t.key);
        Put(p, static_cast<uint32_t>(t.kind), 1);
        if (t.kind == 1) {
            uint64_t bits;
            memcpy(&bits, &t.number, sizeof bits);
            Put(p, bits, 8);
        } else {
            Put(p, t.text.size(), 4);
            p.insert(p.end(), t.text.begin(), t.text.end());
        }
    }
    AddSection("ITEM", p, pack);
}

void AppletWriter::AddFile(const std::string &name, const Bytes &data) {
    Bytes p;
    PutStr16(p, name);
    p.insert(p.end(), data.begin(), data.end());
    AddSection("FILE", p);
}

void AppletWriter::AddFont(const std::string &name, const Bytes &data) {
    Bytes p;
    PutStr16(p, name);
    p.insert(p.end(), data.begin(), data.end());
    AddSection("FONT", p);
}

void AppletWriter::AddLabel(const std::string &name, int32_t position) {
    Bytes p;
    PutStr16(p, name);
    Put(p, static_cast<uint32_t>(position), 4);
    AddSection("LABL", p);
}

void AppletWriter::AddInclude(const std::string &file, uint32_t firstLine, uint32_t lineCount, uint32_t ownFirstLine) {
    Bytes p;
    PutStr16(p, file);
    Put(p, firstLine, 4);
    Put(p, lineCount, 4);
    Put(p, ownFirstLine, 4);
    AddSection("INCL", p);
}

void AppletWriter::AddMainChunk(const Bytes &chunk, bool pack) { AddSection("CODE", chunk, pack); }

Bytes AppletWriter::InfoBlock() const {
    Bytes b(kInfoBlock, 0);
    b[0] = 'C';
    b[1] = 'X';
    b[2] = packed_ ? 'Z' : 'A';
    b[3] = 0;
    Bytes ops;
    if (rawInfo_) {
        ops = infoOps_;
    } else {
        static const unsigned char opcodes[6] = {11, 12, 13, 14, 15, 34};
        for (size_t i = 0; i < info_.size(); i++) {
            if (info_[i].empty()) continue;
            ops.push_back(opcodes[i]);
            ops.insert(ops.end(), info_[i].begin(), info_[i].end());
            ops.push_back(0);
        }
    }
    if (ops.size() > kInfoBlock - 4) throw std::length_error("info block overflow");
    std::copy(ops.begin(), ops.end(), b.begin() + 4);
    return b;
}

Bytes AppletWriter::Build() const {
    Bytes out;
    Bytes info = InfoBlock();
    if (packed_) {
        out = PackCxpk("CXZ", info);
        // The packed item's length sits in the bytes the unpacker skips.
        PatchBE32(out, 4, static_cast<uint32_t>(out.size()));
    } else {
        out = info;
    }
    for (const Section &s : sections_) {
        Bytes stored = s.pack ? PackCxpk("CXPK", s.payload) : s.payload;
        out.insert(out.end(), s.tag.begin(), s.tag.end());
        Put(out, s.pack ? 1 : 0, 4);
        Put(out, stored.size(), 4);
        Put(out, s.payload.size(), 4);
        out.insert(out.end(), stored.begin(), stored.end());
    }
    if (end_) {
        const char end[] = "END ";
        out.insert(out.end(), end, end + 4);
        Put(out, 0, 4);
        Put(out, 0, 4);
        Put(out, 0, 4);
    }
    return out;
}

bool AppletWriter::Write(const std::string &path) const {
    Bytes data = Build();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

}  // namespace cxtools
